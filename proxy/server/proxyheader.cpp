#include "proxy/server/proxyheader.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace wexaproxy {

namespace {

constexpr std::string_view V1_PREFIX = "PROXY ";
constexpr std::string_view V2_SIGNATURE("\r\n\r\n\0\r\nQUIT\n", 12);
constexpr std::size_t V2_FIXED_BYTES = 16;
constexpr unsigned char V2_LOCAL = 0x20;
constexpr unsigned char V2_PROXY = 0x21;
constexpr unsigned char V2_TCP4 = 0x11;
constexpr unsigned char V2_TCP6 = 0x21;
constexpr std::size_t V2_TCP4_BYTES = 12;
constexpr std::size_t V2_TCP6_BYTES = 36;

ProxyHeader malformed(std::string why) {
    ProxyHeader header;
    header.state = ProxyHeader::State::Malformed;
    header.error = std::move(why);
    return header;
}

// Whether bytes could still become prefix (they are its beginning, or it is theirs).
bool agreesWith(std::string_view bytes, std::string_view prefix) {
    const std::size_t n = std::min(bytes.size(), prefix.size());
    return bytes.compare(0, n, prefix.substr(0, n)) == 0;
}

std::vector<std::string_view> splitAtBlanks(std::string_view line) {
    std::vector<std::string_view> parts;
    std::size_t at = 0;
    for (;;) {
        const std::size_t blank = line.find(' ', at);
        parts.push_back(
            line.substr(at, blank == std::string_view::npos ? std::string_view::npos : blank - at));
        if (blank == std::string_view::npos) return parts;
        at = blank + 1;
    }
}

// A port as version 1 writes it: decimal, no sign, no leading zero.
bool parsePort(std::string_view text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) return false;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool parseEndpoint(int family, std::string_view address, std::string_view portText, sockaddr_storage& out) {
    // inet_pton wants a terminated string; an address is at most 45 characters.
    char text[INET6_ADDRSTRLEN];
    if (address.empty() || address.size() >= sizeof text) return false;
    std::memcpy(text, address.data(), address.size());
    text[address.size()] = '\0';
    std::uint16_t port = 0;
    if (!parsePort(portText, port)) return false;
    out = sockaddr_storage{};
    if (family == AF_INET) {
        auto& v4 = reinterpret_cast<sockaddr_in&>(out);
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        return inet_pton(AF_INET, text, &v4.sin_addr) == 1;
    }
    auto& v6 = reinterpret_cast<sockaddr_in6&>(out);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    return inet_pton(AF_INET6, text, &v6.sin6_addr) == 1;
}

ProxyHeader parseV1(std::string_view bytes) {
    const std::size_t lf = bytes.find('\n');
    if (lf == std::string_view::npos) {
        if (bytes.size() >= MAX_PROXY_V1_BYTES) return malformed("PROXY header too long");
        for (char c : bytes)
            if (c != '\r' && (c < 0x20 || c > 0x7e))
                return malformed("PROXY header holds a control character");
        return ProxyHeader{};
    }
    if (lf + 1 > MAX_PROXY_V1_BYTES) return malformed("PROXY header too long");
    if (lf == 0 || bytes[lf - 1] != '\r') return malformed("PROXY header line does not end in CR LF");
    const std::string_view line = bytes.substr(0, lf - 1);
    for (char c : line)
        if (c < 0x20 || c > 0x7e) return malformed("PROXY header holds a control character");
    ProxyHeader header;
    header.state = ProxyHeader::State::Complete;
    header.length = lf + 1;
    const std::vector<std::string_view> parts = splitAtBlanks(line);
    // parts[0] is "PROXY".
    if (parts.size() >= 2 && parts[1] == "UNKNOWN") return header;
    if (parts.size() != 6 || (parts[1] != "TCP4" && parts[1] != "TCP6"))
        return malformed("PROXY header is not TCP4, TCP6 or UNKNOWN with two addresses and ports");
    const int family = parts[1] == "TCP4" ? AF_INET : AF_INET6;
    if (!parseEndpoint(family, parts[2], parts[4], header.client) ||
        !parseEndpoint(family, parts[3], parts[5], header.server))
        return malformed("PROXY header holds a bad address or port");
    header.hasAddresses = true;
    return header;
}

ProxyHeader parseV2(std::string_view bytes) {
    if (bytes.size() < V2_FIXED_BYTES) return ProxyHeader{};
    const auto byteAt = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char command = byteAt(12);
    const unsigned char family = byteAt(13);
    const std::size_t extra = static_cast<std::size_t>(byteAt(14)) << 8 | byteAt(15);
    if (command != V2_LOCAL && command != V2_PROXY)
        return malformed("PROXY v2 header of an unknown version or command");
    if (extra > MAX_PROXY_V2_EXTRA_BYTES) return malformed("PROXY v2 header too long");
    if (bytes.size() < V2_FIXED_BYTES + extra) return ProxyHeader{};
    ProxyHeader header;
    header.state = ProxyHeader::State::Complete;
    header.length = V2_FIXED_BYTES + extra;
    // LOCAL: the balancer speaking for itself; other families (UDP, Unix
    // sockets, unspecified) name no TCP client.
    if (command == V2_LOCAL || (family != V2_TCP4 && family != V2_TCP6)) return header;
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data()) + V2_FIXED_BYTES;
    if (family == V2_TCP4) {
        if (extra < V2_TCP4_BYTES) return malformed("PROXY v2 header too short for its addresses");
        auto& client = reinterpret_cast<sockaddr_in&>(header.client);
        auto& server = reinterpret_cast<sockaddr_in&>(header.server);
        client.sin_family = server.sin_family = AF_INET;
        std::memcpy(&client.sin_addr, data, 4);
        std::memcpy(&server.sin_addr, data + 4, 4);
        std::memcpy(&client.sin_port, data + 8, 2);  // both in network order
        std::memcpy(&server.sin_port, data + 10, 2);
    } else {
        if (extra < V2_TCP6_BYTES) return malformed("PROXY v2 header too short for its addresses");
        auto& client = reinterpret_cast<sockaddr_in6&>(header.client);
        auto& server = reinterpret_cast<sockaddr_in6&>(header.server);
        client.sin6_family = server.sin6_family = AF_INET6;
        std::memcpy(&client.sin6_addr, data, 16);
        std::memcpy(&server.sin6_addr, data + 16, 16);
        std::memcpy(&client.sin6_port, data + 32, 2);
        std::memcpy(&server.sin6_port, data + 34, 2);
    }
    header.hasAddresses = true;
    return header;
}

}  // namespace

ProxyHeader parseProxyHeader(std::string_view bytes) {
    if (bytes.empty()) return ProxyHeader{};
    if (agreesWith(bytes, V2_SIGNATURE)) {
        if (bytes.size() < V2_SIGNATURE.size()) return ProxyHeader{};
        return parseV2(bytes);
    }
    if (agreesWith(bytes, V1_PREFIX)) {
        if (bytes.size() < V1_PREFIX.size()) return ProxyHeader{};
        return parseV1(bytes);
    }
    return malformed("connection does not begin with a PROXY header");
}

}  // namespace wexaproxy
