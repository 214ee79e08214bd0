#pragma once
// Which web server addresses this proxy may connect to on its clients'
// behalf.
//
// A proxy that listens beyond loopback is an open fetcher for whoever
// reaches it: without a rule, its users could make it fetch the machine's
// own services and the private network it stands in. The rule is checked
// on the address actually connected to (after name resolution, for the
// first request and for every redirect), never on the host name text, so a
// public name that resolves to a private address is refused as well.

#include <sys/socket.h>

#include <string>

namespace wexaproxy {

// The ERROR line for a fetch refused by the rule.
constexpr const char* TARGET_NOT_ALLOWED = "Address not allowed from this proxy";

// True for an address on the public internet. False for every block of the
// IANA IPv4 and IPv6 special-purpose address registries (loopback, private,
// shared carrier-NAT space with the cloud metadata addresses, link-local,
// documentation, benchmarking, protocol assignments, unique local, ...),
// multicast and reserved space, and every family but IPv4 and IPv6. IPv6
// forms that carry an IPv4 address (mapped ::ffff:a.b.c.d, NAT64
// 64:ff9b::a.b.c.d, 6to4 2002:aabb:ccdd::) are judged by that address; the
// compatible and translated forms are refused.
bool isPublicAddress(const sockaddr* address, socklen_t length);

// The same for an address written as text (IPv4 dotted or IPv6); false for
// text that is not an address.
bool isPublicAddressText(const std::string& text);

}  // namespace wexaproxy
