// The PROXY protocol header a load balancer sends first: versions 1 and 2,
// addresses read exactly, and everything else refused or waited for.

#include "proxy/server/proxyheader.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <string>

using wexaproxy::parseProxyHeader;
using wexaproxy::ProxyHeader;

namespace {

std::string text(const sockaddr_storage& address) {
    char buffer[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, buffer, sizeof buffer);
        return std::string(buffer) + " " + std::to_string(ntohs(v4.sin_port));
    }
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, buffer, sizeof buffer);
        return std::string(buffer) + " " + std::to_string(ntohs(v6.sin6_port));
    }
    return "none";
}

const std::string V2_SIGNATURE("\r\n\r\n\0\r\nQUIT\n", 12);

std::string v2(unsigned char command, unsigned char family, const std::string& body) {
    std::string header = V2_SIGNATURE;
    header.push_back(static_cast<char>(command));
    header.push_back(static_cast<char>(family));
    header.push_back(static_cast<char>(body.size() >> 8));
    header.push_back(static_cast<char>(body.size() & 0xFF));
    return header + body;
}

// Every shorter beginning of a whole header is "wait for more".
void expectEveryPrefixWaits(const std::string& header) {
    for (std::size_t n = 0; n < header.size(); ++n)
        EXPECT_EQ(parseProxyHeader(header.substr(0, n)).state, ProxyHeader::State::NeedMore) << n;
}

}  // namespace

TEST(ProxyHeader, VersionOneNamesClientAndServerAndStopsAtItsEnd) {
    const std::string header = "PROXY TCP4 192.0.2.7 127.0.0.1 51234 30000\r\n";
    const ProxyHeader four = parseProxyHeader(header + "GET\nhttp://x/\n");
    ASSERT_EQ(four.state, ProxyHeader::State::Complete) << four.error;
    EXPECT_EQ(four.length, header.size());
    ASSERT_TRUE(four.hasAddresses);
    EXPECT_EQ(text(four.client), "192.0.2.7 51234");
    EXPECT_EQ(text(four.server), "127.0.0.1 30000");
    expectEveryPrefixWaits(header);

    const ProxyHeader six = parseProxyHeader("PROXY TCP6 2001:db8::7 ::1 65535 0\r\n");
    ASSERT_EQ(six.state, ProxyHeader::State::Complete) << six.error;
    EXPECT_EQ(text(six.client), "2001:db8::7 65535");
    EXPECT_EQ(text(six.server), "::1 0");

    // UNKNOWN names no client, whatever follows it on the line.
    for (const char* unknown : {"PROXY UNKNOWN\r\n", "PROXY UNKNOWN ffff::1 ffff::2 1 2\r\n"}) {
        const ProxyHeader none = parseProxyHeader(unknown);
        ASSERT_EQ(none.state, ProxyHeader::State::Complete) << unknown;
        EXPECT_FALSE(none.hasAddresses);
        EXPECT_EQ(none.length, std::string(unknown).size());
    }
}

TEST(ProxyHeader, VersionOneThatIsNotExactlyRightIsRefused) {
    const char* bad[] = {
        "PROXY TCP4 192.0.2.7 127.0.0.1 51234 30000\n",      // no CR
        "PROXY TCP4 192.0.2.7 127.0.0.1 51234\r\n",          // a port missing
        "PROXY TCP4 192.0.2.7 127.0.0.1 51234 30000 1\r\n",  // one field too many
        "PROXY TCP4 192.0.2.7  127.0.0.1 51234 30000\r\n",   // two blanks
        "PROXY TCP4 192.0.2.7 127.0.0.1 65536 30000\r\n",    // port out of range
        "PROXY TCP4 192.0.2.7 127.0.0.1 051234 30000\r\n",   // leading zero
        "PROXY TCP4 192.0.2.7 127.0.0.1 -1 30000\r\n",       // sign
        "PROXY TCP4 2001:db8::7 127.0.0.1 1 2\r\n",          // IPv6 address as TCP4
        "PROXY TCP6 192.0.2.7 ::1 1 2\r\n",                  // IPv4 address as TCP6
        "PROXY UDP4 192.0.2.7 127.0.0.1 1 2\r\n",            // not TCP
        "PROXY TCP4 192.0.2.7\t127.0.0.1 1 2\r\n",           // control character
        "PROXY TCP4 192.0.2.999 127.0.0.1 1 2\r\n",          // not an address
        "PROXY TCP4 192.0.2.7 127.0.0.1 1 2\r\r\n",          // CR inside
        "GET\nhttp://example.org/\n",                        // a request without a header
        "proxy TCP4 192.0.2.7 127.0.0.1 1 2\r\n",            // lower case
        "\r\n\r\n\x01",                                      // neither version
    };
    for (const char* header : bad) {
        const ProxyHeader parsed = parseProxyHeader(header);
        EXPECT_EQ(parsed.state, ProxyHeader::State::Malformed) << header;
        EXPECT_FALSE(parsed.error.empty()) << header;
    }
    // A line that never ends is refused once it passes the longest header,
    // and is never waited for beyond it.
    const std::string endless = "PROXY UNKNOWN " + std::string(200, 'x');
    EXPECT_EQ(parseProxyHeader(endless.substr(0, 106)).state, ProxyHeader::State::NeedMore);
    EXPECT_EQ(parseProxyHeader(endless.substr(0, 107)).state, ProxyHeader::State::Malformed);
    EXPECT_EQ(parseProxyHeader(endless).state, ProxyHeader::State::Malformed);
    const std::string longest = "PROXY UNKNOWN " + std::string(91, 'x') + "\r\n";  // 107 bytes
    EXPECT_EQ(parseProxyHeader(longest).state, ProxyHeader::State::Complete);
    EXPECT_EQ(parseProxyHeader("PROXY UNKNOWN " + std::string(92, 'x') + "\r\n").state,
              ProxyHeader::State::Malformed);
}

TEST(ProxyHeader, VersionTwoIPv4AndIPv6ExtensionsSkipped) {
    // 192.0.2.7:51234 to 127.0.0.1:30000, then a 5-byte extension (NOOP).
    const std::string four = v2(0x21, 0x11,
                                std::string("\xC0\x00\x02\x07\x7F\x00\x00\x01\xC8\x22\x75\x30", 12) +
                                    std::string("\x04\x00\x02xy", 5));
    const ProxyHeader parsed = parseProxyHeader(four + "PING\n");
    ASSERT_EQ(parsed.state, ProxyHeader::State::Complete) << parsed.error;
    EXPECT_EQ(parsed.length, four.size());
    ASSERT_TRUE(parsed.hasAddresses);
    EXPECT_EQ(text(parsed.client), "192.0.2.7 51234");
    EXPECT_EQ(text(parsed.server), "127.0.0.1 30000");
    expectEveryPrefixWaits(four);

    std::string addresses(36, '\0');
    addresses[0] = '\x20';  // 2001:db8::7
    addresses[1] = '\x01';
    addresses[2] = '\x0d';
    addresses[3] = '\xb8';
    addresses[15] = '\x07';
    addresses[31] = '\x01';  // ::1
    addresses[32] = '\x00';
    addresses[33] = '\x50';  // 80
    addresses[34] = '\x75';
    addresses[35] = '\x30';  // 30000
    const ProxyHeader six = parseProxyHeader(v2(0x21, 0x21, addresses));
    ASSERT_EQ(six.state, ProxyHeader::State::Complete) << six.error;
    EXPECT_EQ(text(six.client), "2001:db8::7 80");
    EXPECT_EQ(text(six.server), "::1 30000");
}

TEST(ProxyHeader, VersionTwoLocalOtherFamiliesAndFaults) {
    // LOCAL (a health check), unspecified and Unix-socket families: no client.
    for (const std::string& header : {v2(0x20, 0x00, ""), v2(0x20, 0x11, std::string(12, '\1')),
                                      v2(0x21, 0x00, ""), v2(0x21, 0x31, std::string(216, 'u'))}) {
        const ProxyHeader parsed = parseProxyHeader(header + "GET\n");
        ASSERT_EQ(parsed.state, ProxyHeader::State::Complete) << parsed.error;
        EXPECT_FALSE(parsed.hasAddresses);
        EXPECT_EQ(parsed.length, header.size());
    }
    const std::string faults[] = {
        v2(0x11, 0x11, std::string(12, '\1')),    // version 1 in a version 2 header
        v2(0x22, 0x11, std::string(12, '\1')),    // unknown command
        v2(0x21, 0x11, std::string(11, '\1')),    // too short for two IPv4 ends
        v2(0x21, 0x21, std::string(35, '\1')),    // too short for two IPv6 ends
        v2(0x21, 0x11, std::string(1025, '\1')),  // longer than accepted
    };
    for (const std::string& header : faults)
        EXPECT_EQ(parseProxyHeader(header).state, ProxyHeader::State::Malformed) << header.size();
    // The oversize length is refused from the fixed part alone, without waiting for it.
    EXPECT_EQ(parseProxyHeader(faults[4].substr(0, 16)).state, ProxyHeader::State::Malformed);
    // A signature that goes wrong part way.
    EXPECT_EQ(parseProxyHeader(V2_SIGNATURE.substr(0, 7) + "X").state, ProxyHeader::State::Malformed);
}
