#include "proxy/fetch/targets.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstring>

namespace wexaproxy {

namespace {

// host: the IPv4 address in host byte order.
bool isPublicIPv4(std::uint32_t host) {
    auto within = [host](std::uint32_t network, int prefix) {
        std::uint32_t mask = prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - prefix);
        return (host & mask) == network;
    };
    return !(within(0x00000000u, 8) ||   // "this network", 0.0.0.0 included
             within(0x7f000000u, 8) ||   // loopback
             within(0x0a000000u, 8) ||   // private
             within(0xac100000u, 12) ||  // private
             within(0xc0a80000u, 16) ||  // private
             within(0xa9fe0000u, 16));   // link-local
}

bool isPublicIPv6(const in6_addr& address) {
    const unsigned char* b = address.s6_addr;
    static const unsigned char ZERO[16] = {};
    // ::ffff:a.b.c.d reaches the IPv4 address a.b.c.d.
    static const unsigned char MAPPED_PREFIX[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::memcmp(b, MAPPED_PREFIX, sizeof MAPPED_PREFIX) == 0) {
        std::uint32_t host = (std::uint32_t{b[12]} << 24) | (std::uint32_t{b[13]} << 16) |
                             (std::uint32_t{b[14]} << 8) | std::uint32_t{b[15]};
        return isPublicIPv4(host);
    }
    if (std::memcmp(b, ZERO, 15) == 0 && (b[15] == 0 || b[15] == 1)) return false;  // :: and ::1
    if ((b[0] & 0xfe) == 0xfc) return false;                                        // fc00::/7
    if (b[0] == 0xfe && (b[1] & 0xc0) == 0x80) return false;                        // fe80::/10
    if (b[0] == 0xfe && (b[1] & 0xc0) == 0xc0) return false;                        // fec0::/10
    return true;
}

}  // namespace

bool isPublicAddress(const sockaddr* address, socklen_t length) {
    if (address == nullptr) return false;
    if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        sockaddr_in v4{};
        std::memcpy(&v4, address, sizeof v4);
        return isPublicIPv4(ntohl(v4.sin_addr.s_addr));
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, address, sizeof v6);
        return isPublicIPv6(v6.sin6_addr);
    }
    return false;
}

bool isPublicAddressText(const std::string& text) {
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return isPublicIPv4(ntohl(v4.s_addr));
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) return isPublicIPv6(v6);
    return false;
}

}  // namespace wexaproxy
