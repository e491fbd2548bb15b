// The checks a request passes before anything acts on it: which Host names this server answers
// to, whether a change comes from the page's own origin, how a client's address is keyed for the
// lockout and the connection slots, and what a console query asks for. Plain functions of header
// texts; used on both threads.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct HostPolicy {
    uint16_t port = 0;
    bool tls = false;
    std::set<std::string> ownAddresses;  // the machine's addresses, in their canonical form
    std::vector<std::string> names;      // names given with --web-host, lowercase, no final dot
};

// The Host header names one of the machine's addresses (any 127.0.0.0/8, ::1, localhost,
// localhost. and *.localhost included) or a given name, with this server's port (or none when
// the port is the scheme's default).
bool HostAllowed(std::string_view host, const HostPolicy& policy);

// The origin "scheme://host[:port]" of an Origin header or of a Referer's URL, lowercase;
// nothing when the text is not an http or https URL.
std::optional<std::string> OriginOf(std::string_view url);

// The page's own origin for a request that named `host`.
std::string OwnOrigin(std::string_view host, bool tls);

// A state-changing request must come from the page itself: Origin, else Referer, else
// `Sec-Fetch-Site: same-origin`, matched against the Host (port included).
bool SameOriginChange(std::string_view host, bool tls, std::optional<std::string_view> origin,
                      std::optional<std::string_view> referer,
                      std::optional<std::string_view> fetchSite);

// `application/json`, parameters (a charset) allowed, in any case.
bool IsJsonContentType(std::string_view contentType);

// The value of cookie `name` in a Cookie header, or empty.
std::string CookieValue(std::string_view header, std::string_view name);

// The key an address is counted under for the lockout and the connection slots: IPv4 as it is,
// IPv6 by its /64 (an IPv4-mapped IPv6 address is its IPv4 address), and every loopback address
// (127.0.0.0/8, ::1) as one, since anyone on the machine can use all of them.
std::string AddressKey(std::string_view address);
bool IsLoopback(std::string_view address);

// What `after=SEQ` and `run=ID` ask of the console: the lines after SEQ of that run. Nothing when
// the query is malformed (`after` not a number of at most 19 digits, or a parameter twice).
struct ConsoleQuery {
    uint64_t after = 0;
    std::string run;  // empty: whatever run is current

    // Sequence numbers start over with every run: a query from another run asks for all lines.
    uint64_t AfterIn(const std::string& currentRun) const {
        return run.empty() || run == currentRun ? after : 0;
    }
};
std::optional<ConsoleQuery> ParseConsoleQuery(std::string_view query);

// The client's address: the peer, or, when the peer is the trusted proxy, the last address of
// its X-Forwarded-For (when that is a numeric address).
std::string ClientAddress(std::string_view peer, std::string_view trustedProxy,
                          std::optional<std::string_view> forwardedFor);

// The machine's addresses now, canonical, loopback included.
std::set<std::string> MachineAddresses();

// An address in the canonical text form the checks compare (IPv4-mapped IPv6 as IPv4);
// nothing when the text is not a numeric address.
std::optional<std::string> CanonicalAddress(std::string_view text);
