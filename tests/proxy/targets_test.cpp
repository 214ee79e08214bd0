// The address rule of the proxy: which resolved addresses count as public.
// Addresses are data here; nothing is connected to.

#include "proxy/fetch/targets.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cstring>

using wexaproxy::isPublicAddress;
using wexaproxy::isPublicAddressText;

TEST(TargetAddresses, LoopbackPrivateLinkLocalAndUnspecifiedIPv4AreNotPublic) {
    for (const char* address :
         {"127.0.0.1", "127.255.255.254", "10.0.0.1", "10.255.255.255", "172.16.0.1", "172.31.255.255",
          "192.168.0.1", "192.168.255.255", "169.254.169.254", "0.0.0.0", "0.1.2.3"}) {
        EXPECT_FALSE(isPublicAddressText(address)) << address;
    }
}

TEST(TargetAddresses, NeighboursOfTheClosedRangesArePublic) {
    for (const char* address :
         {"1.1.1.1", "9.255.255.255", "11.0.0.0", "126.255.255.255", "128.0.0.0", "172.15.255.255",
          "172.32.0.0", "192.167.255.255", "192.169.0.0", "169.253.255.255", "169.255.0.0", "100.63.255.255",
          "100.128.0.0", "198.17.255.255", "198.20.0.0", "223.255.255.255", "203.0.114.5"}) {
        EXPECT_TRUE(isPublicAddressText(address)) << address;
    }
}

TEST(TargetAddresses, IPv6LoopbackUniqueLocalLinkLocalAndMappedPrivateAreNotPublic) {
    for (const char* address :
         {"::1", "::", "fc00::1", "fd12:3456::1", "fe80::1", "febf::1", "fec0::1", "::ffff:127.0.0.1",
          "::ffff:10.1.2.3", "::ffff:192.168.1.1", "::ffff:169.254.169.254", "::ffff:0.0.0.0"}) {
        EXPECT_FALSE(isPublicAddressText(address)) << address;
    }
    for (const char* address : {"2001:4860::1", "2606:4700::1111", "fbff::1", "::ffff:8.8.8.8"}) {
        EXPECT_TRUE(isPublicAddressText(address)) << address;
    }
}

// Every block of the special-purpose registries, at both ends, and the forms
// that carry an IPv4 address inside an IPv6 one.
TEST(TargetAddresses, SpecialPurposeBlocksAreNotPublicAtEitherEnd) {
    for (const char* address :
         {"100.64.0.0", "100.100.100.200", "100.127.255.255", "192.0.0.0", "192.0.0.255", "192.0.2.1",
          "192.31.196.1", "192.52.193.1", "192.88.99.1", "192.175.48.1", "198.18.0.0", "198.19.255.255",
          "198.51.100.7", "203.0.113.5", "224.0.0.1", "239.255.255.255", "240.0.0.1", "255.255.255.255",
          // IPv6 blocks
          "64:ff9b:1::1", "100::", "100::ffff:ffff:ffff:ffff", "2001::1", "2001:1ff:ffff::1", "2001:db8::1",
          "2620:4f:8000::1", "3fff::1", "3fff:fff::1", "5f00::1", "ff02::1",
          // IPv4 inside IPv6: NAT64, 6to4, compatible and translated forms
          "64:ff9b::7f00:1", "64:ff9b::a9fe:a9fe", "64:ff9b::100.64.0.1", "2002:c0a8:0101::1",
          "2002:7f00:1::", "::127.0.0.1", "::8.8.8.8", "::ffff:0:8.8.8.8", "::ffff:100.64.0.1"}) {
        EXPECT_FALSE(isPublicAddressText(address)) << address;
    }
    for (const char* address : {"64:ff9b::808:808", "2002:808:808::1", "2001:200::1", "2620:4f:8001::1",
                                "3fff:1000::1", "5eff::1", "fe7f::1"}) {
        EXPECT_TRUE(isPublicAddressText(address)) << address;
    }
}

TEST(TargetAddresses, TextThatIsNoAddressIsNotPublic) {
    EXPECT_FALSE(isPublicAddressText(""));
    EXPECT_FALSE(isPublicAddressText("example.com"));
    EXPECT_FALSE(isPublicAddressText("8.8.8.8 "));
}

TEST(TargetAddresses, SocketAddressesAreClassifiedByFamilyAndLength) {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    inet_pton(AF_INET, "192.168.1.10", &v4.sin_addr);
    EXPECT_FALSE(isPublicAddress(reinterpret_cast<sockaddr*>(&v4), sizeof v4));
    inet_pton(AF_INET, "93.184.216.34", &v4.sin_addr);
    EXPECT_TRUE(isPublicAddress(reinterpret_cast<sockaddr*>(&v4), sizeof v4));
    // A length too short to hold the address is refused, not read past.
    EXPECT_FALSE(isPublicAddress(reinterpret_cast<sockaddr*>(&v4), sizeof v4 - 4));

    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    inet_pton(AF_INET6, "::ffff:172.20.0.5", &v6.sin6_addr);
    EXPECT_FALSE(isPublicAddress(reinterpret_cast<sockaddr*>(&v6), sizeof v6));
    inet_pton(AF_INET6, "2606:4700::5", &v6.sin6_addr);
    EXPECT_TRUE(isPublicAddress(reinterpret_cast<sockaddr*>(&v6), sizeof v6));

    sockaddr other{};
    other.sa_family = AF_UNIX;
    EXPECT_FALSE(isPublicAddress(&other, sizeof other));
    EXPECT_FALSE(isPublicAddress(nullptr, 0));
}
