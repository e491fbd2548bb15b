// The checks a request passes before anything acts on it: which Host names this server answers
// to, whether a change comes from the page's own origin, and how a client's address is keyed for
// the lockout. Plain functions of header texts; used on the network thread.
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

// The lockout's key for an address: IPv4 as it is, IPv6 by its /64 (an IPv4-mapped IPv6 address
// is its IPv4 address).
std::string AddressKey(std::string_view address);

// The client's address: the peer, or, when the peer is the trusted proxy, the last address of
// its X-Forwarded-For (when that is a numeric address).
std::string ClientAddress(std::string_view peer, std::string_view trustedProxy,
                          std::optional<std::string_view> forwardedFor);

// The machine's addresses now, canonical, loopback included.
std::set<std::string> MachineAddresses();

// An address in the canonical text form the checks compare (IPv4-mapped IPv6 as IPv4);
// nothing when the text is not a numeric address.
std::optional<std::string> CanonicalAddress(std::string_view text);
