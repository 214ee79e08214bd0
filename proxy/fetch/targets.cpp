#include "proxy/fetch/targets.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstring>

namespace wexaproxy {

namespace {

// An IPv4 block: network address in host byte order and prefix length.
struct V4Block {
    std::uint32_t network;
    int prefix;
};

// The IPv4 blocks this proxy never connects to: every block of the IANA IPv4
// special-purpose address registry (RFC 6890 and its updates), the whole of
// 192.0.0.0/24 although a few single addresses in it are reachable anycast
// services, and the multicast and reserved space above 224.0.0.0.
constexpr V4Block SPECIAL_V4[] = {
    {0x00000000u, 8},   // 0.0.0.0/8       "this network"
    {0x0a000000u, 8},   // 10.0.0.0/8      private
    {0x64400000u, 10},  // 100.64.0.0/10   shared address space (carrier NAT; cloud metadata)
    {0x7f000000u, 8},   // 127.0.0.0/8     loopback
    {0xa9fe0000u, 16},  // 169.254.0.0/16  link-local
    {0xac100000u, 12},  // 172.16.0.0/12   private
    {0xc0000000u, 24},  // 192.0.0.0/24    IETF protocol assignments
    {0xc0000200u, 24},  // 192.0.2.0/24    documentation
    {0xc01fc400u, 24},  // 192.31.196.0/24 AS112
    {0xc034c100u, 24},  // 192.52.193.0/24 AMT
    {0xc0586300u, 24},  // 192.88.99.0/24  6to4 relay anycast (deprecated)
    {0xc0a80000u, 16},  // 192.168.0.0/16  private
    {0xc0af3000u, 24},  // 192.175.48.0/24 AS112 direct delegation
    {0xc6120000u, 15},  // 198.18.0.0/15   benchmarking
    {0xc6336400u, 24},  // 198.51.100.0/24 documentation
    {0xcb007100u, 24},  // 203.0.113.0/24  documentation
    {0xe0000000u, 4},   // 224.0.0.0/4     multicast
    {0xf0000000u, 4},   // 240.0.0.0/4     reserved, and the broadcast address
};

bool within(std::uint32_t host, V4Block block) {
    const std::uint32_t mask = block.prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - block.prefix);
    return (host & mask) == block.network;
}

// host: the IPv4 address in host byte order.
bool isPublicIPv4(std::uint32_t host) {
    for (const V4Block& block : SPECIAL_V4) {
        if (within(host, block)) return false;
    }
    return true;
}

std::uint32_t embeddedIPv4(const unsigned char* b) {
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           std::uint32_t{b[3]};
}

// An IPv6 block: the first bytes of the network and the prefix length in bits.
struct V6Block {
    unsigned char bytes[6];
    int prefix;
};

// The IPv6 blocks of the IANA IPv6 special-purpose address registry, and the
// rest of the address space that reaches no public host: multicast, the
// deprecated site-local block. (::/8 and the two blocks that embed an IPv4
// address, NAT64 and 6to4, are handled before this table.)
constexpr V6Block SPECIAL_V6[] = {
    {{0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, 64},  // 100::/64         discard-only (first 6 bytes; rest below)
    {{0x20, 0x01, 0x00, 0x00, 0x00, 0x00},
     23},  // 2001::/23        IETF protocol assignments (Teredo included)
    {{0x20, 0x01, 0x0d, 0xb8, 0x00, 0x00}, 32},  // 2001:db8::/32    documentation
    {{0x26, 0x20, 0x00, 0x4f, 0x80, 0x00}, 48},  // 2620:4f:8000::/48 AS112 direct delegation
    {{0x3f, 0xff, 0x00, 0x00, 0x00, 0x00}, 20},  // 3fff::/20        documentation
    {{0x5f, 0x00, 0x00, 0x00, 0x00, 0x00}, 16},  // 5f00::/16        segment routing identifiers
    {{0xfc, 0x00, 0x00, 0x00, 0x00, 0x00}, 7},   // fc00::/7         unique local
    {{0xfe, 0x80, 0x00, 0x00, 0x00, 0x00}, 10},  // fe80::/10        link-local
    {{0xfe, 0xc0, 0x00, 0x00, 0x00, 0x00}, 10},  // fec0::/10        site-local (deprecated)
    {{0xff, 0x00, 0x00, 0x00, 0x00, 0x00}, 8},   // ff00::/8         multicast
};

bool within(const unsigned char* b, const V6Block& block) {
    int bits = block.prefix;
    for (int i = 0; bits > 0; ++i, bits -= 8) {
        if (i >= 6) {
            // Prefixes longer than the table's six bytes (only 100::/64)
            // continue with zero bytes.
            if (bits >= 8 ? b[i] != 0 : (b[i] >> (8 - bits)) != 0) return false;
            continue;
        }
        const unsigned char mask = bits >= 8 ? 0xff : static_cast<unsigned char>(0xff << (8 - bits));
        if ((b[i] & mask) != (block.bytes[i] & mask)) return false;
    }
    return true;
}

bool isPublicIPv6(const in6_addr& address) {
    const unsigned char* b = address.s6_addr;
    // The well-known NAT64 prefix 64:ff9b::/96 reaches the IPv4 address in
    // its last four bytes.
    static const unsigned char NAT64[12] = {0x00, 0x64, 0xff, 0x9b, 0, 0, 0, 0, 0, 0, 0, 0};
    if (std::memcmp(b, NAT64, sizeof NAT64) == 0) return isPublicIPv4(embeddedIPv4(b + 12));
    static const unsigned char ZERO[10] = {};
    // The rest of ::/8 holds the unspecified and loopback addresses, the
    // local-use translation prefix 64:ff9b:1::/48 and three ways of writing
    // an IPv4 address. Only the mapped form (::ffff:a.b.c.d), which reaches
    // a.b.c.d, can be public; the deprecated compatible form (::a.b.c.d) and
    // the translated form (::ffff:0:a.b.c.d) are refused.
    if (b[0] == 0) {
        if (std::memcmp(b, ZERO, sizeof ZERO) == 0 && b[10] == 0xff && b[11] == 0xff) {
            return isPublicIPv4(embeddedIPv4(b + 12));
        }
        return false;
    }
    // 6to4 (2002::/16) reaches the IPv4 address in bytes 2 to 5.
    if (b[0] == 0x20 && b[1] == 0x02) return isPublicIPv4(embeddedIPv4(b + 2));
    for (const V6Block& block : SPECIAL_V6) {
        if (within(b, block)) return false;
    }
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
