#include "RequestRules.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <boost/asio/ip/address.hpp>
#include <charconv>
#include <utility>

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

struct HostParts {
    std::string name;  // lowercase; an IPv6 address without its brackets
    std::optional<uint16_t> port;
    bool bracketed = false;
};

std::optional<HostParts> SplitHost(std::string_view host) {
    HostParts parts;
    std::string_view portText;
    bool hasPort = false;
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        parts.name = Lower(host.substr(1, close - 1));
        parts.bracketed = true;
        const std::string_view rest = host.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            portText = rest.substr(1);
            hasPort = true;
        }
    } else {
        const std::size_t colon = host.find(':');
        parts.name = Lower(host.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = host.substr(colon + 1);
            hasPort = true;
        }
    }
    if (parts.name.empty()) return std::nullopt;
    if (hasPort) {
        unsigned value = 0;
        const auto [end, error] =
            std::from_chars(portText.data(), portText.data() + portText.size(), value);
        if (portText.empty() || error != std::errc() || end != portText.data() + portText.size() ||
            value > 65535)
            return std::nullopt;
        parts.port = static_cast<uint16_t>(value);
    }
    return parts;
}

bool IsLocalhostName(std::string_view name) {
    if (EndsWith(name, ".")) name.remove_suffix(1);
    return name == "localhost" || EndsWith(name, ".localhost");
}

}  // namespace

std::optional<std::string> CanonicalAddress(std::string_view text) {
    boost::system::error_code error;
    auto address = boost::asio::ip::make_address(std::string(text), error);
    if (error) return std::nullopt;
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        address = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
    if (address.is_v6()) {
        auto v6 = address.to_v6();
        v6.scope_id(0);
        return v6.to_string();
    }
    return address.to_string();
}

bool HostAllowed(std::string_view host, const HostPolicy& policy) {
    const std::optional<HostParts> parts = SplitHost(Trim(host));
    if (!parts) return false;
    const uint16_t defaultPort = policy.tls ? 443 : 80;
    if (parts->port.value_or(defaultPort) != policy.port) return false;
    if (const auto address = CanonicalAddress(parts->name)) {
        // A bare IPv6 address would be read with its last group as the port.
        if (address->find(':') != std::string::npos && !parts->bracketed) return false;
        if (address->rfind("127.", 0) == 0 || *address == "::1") return true;
        return policy.ownAddresses.count(*address) != 0;
    }
    if (parts->bracketed) return false;
    if (IsLocalhostName(parts->name)) return true;
    std::string_view name = parts->name;
    if (EndsWith(name, ".")) name.remove_suffix(1);
    return std::find(policy.names.begin(), policy.names.end(), name) != policy.names.end();
}

std::optional<std::string> OriginOf(std::string_view url) {
    const std::string lower = Lower(url);
    std::size_t schemeEnd;
    if (lower.rfind("http://", 0) == 0) {
        schemeEnd = 7;
    } else if (lower.rfind("https://", 0) == 0) {
        schemeEnd = 8;
    } else {
        return std::nullopt;
    }
    const std::size_t end = lower.find_first_of("/?#", schemeEnd);
    const std::string origin = lower.substr(0, end);
    if (origin.size() == schemeEnd || origin.find('@') != std::string::npos) return std::nullopt;
    return origin;
}

std::string OwnOrigin(std::string_view host, bool tls) {
    return (tls ? "https://" : "http://") + Lower(Trim(host));
}

bool SameOriginChange(std::string_view host, bool tls, std::optional<std::string_view> origin,
                      std::optional<std::string_view> referer,
                      std::optional<std::string_view> fetchSite) {
    const std::string own = OwnOrigin(host, tls);
    if (origin) return Lower(Trim(*origin)) == own;
    if (referer) return OriginOf(Trim(*referer)) == own;
    return fetchSite && Lower(Trim(*fetchSite)) == "same-origin";
}

bool IsJsonContentType(std::string_view contentType) {
    const std::string_view type = Trim(contentType.substr(0, contentType.find(';')));
    return Lower(type) == "application/json";
}

std::string CookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const std::size_t end = header.find(';');
        const std::string_view pair = Trim(header.substr(0, end));
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos && Trim(pair.substr(0, equals)) == name)
            return std::string(Trim(pair.substr(equals + 1)));
        if (end == std::string_view::npos) break;
        header.remove_prefix(end + 1);
    }
    return {};
}

std::string AddressKey(std::string_view address) {
    const std::optional<std::string> canonical = CanonicalAddress(address);
    if (!canonical) return std::string(address);
    boost::system::error_code error;
    const auto parsed = boost::asio::ip::make_address(*canonical, error);
    if (!error && parsed.is_loopback()) return "loopback";
    if (error || !parsed.is_v6()) return *canonical;
    auto bytes = parsed.to_v6().to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return boost::asio::ip::address_v6(bytes).to_string() + "/64";
}

bool IsLoopback(std::string_view address) {
    return AddressKey(address) == "loopback";
}

std::optional<ConsoleQuery> ParseConsoleQuery(std::string_view query) {
    ConsoleQuery parsed;
    bool sawAfter = false, sawRun = false;
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        query.remove_prefix(end == std::string_view::npos ? query.size() : end + 1);
        if (pair.rfind("after=", 0) == 0) {
            const std::string_view digits = pair.substr(6);
            const auto [stop, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), parsed.after);
            if (std::exchange(sawAfter, true) || digits.empty() || digits.size() > 19 ||
                error != std::errc() || stop != digits.data() + digits.size())
                return std::nullopt;
        } else if (pair.rfind("run=", 0) == 0) {
            // A run id is what the server gave out: hex digits, nothing to unescape.
            const std::string_view run = pair.substr(4);
            if (std::exchange(sawRun, true) || run.size() > 32 ||
                run.find_first_not_of("0123456789abcdef") != std::string_view::npos)
                return std::nullopt;
            parsed.run = std::string(run);
        }
    }
    return parsed;
}

std::string ClientAddress(std::string_view peer, std::string_view trustedProxy,
                          std::optional<std::string_view> forwardedFor) {
    const std::string canonicalPeer = CanonicalAddress(peer).value_or(std::string(peer));
    if (trustedProxy.empty() || !forwardedFor) return canonicalPeer;
    if (CanonicalAddress(trustedProxy) != canonicalPeer) return canonicalPeer;
    std::string_view list = *forwardedFor;
    const std::size_t comma = list.rfind(',');
    const std::string_view last =
        Trim(comma == std::string_view::npos ? list : list.substr(comma + 1));
    return CanonicalAddress(last).value_or(canonicalPeer);
}

std::set<std::string> MachineAddresses() {
    std::set<std::string> addresses{"127.0.0.1", "::1"};
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return addresses;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr) continue;
        if (entry->ifa_addr->sa_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            addresses.insert(boost::asio::ip::address_v4(ntohl(in->sin_addr.s_addr)).to_string());
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            boost::asio::ip::address_v6::bytes_type bytes;
            std::copy(std::begin(in6->sin6_addr.s6_addr), std::end(in6->sin6_addr.s6_addr),
                      bytes.begin());
            addresses.insert(boost::asio::ip::address_v6(bytes).to_string());
        }
    }
    freeifaddrs(list);
    return addresses;
}
