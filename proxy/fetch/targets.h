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

// True for an address on the public internet. False for loopback
// (127.0.0.0/8, ::1), private (10/8, 172.16/12, 192.168/16, fc00::/7),
// link-local (169.254/16, fe80::/10), "this network" and unspecified
// (0.0.0.0/8, ::) addresses, IPv6 site-local (fec0::/10), any of those
// written as an IPv4-mapped IPv6 address, and every family but IPv4 and IPv6.
bool isPublicAddress(const sockaddr* address, socklen_t length);

// The same for an address written as text (IPv4 dotted or IPv6); false for
// text that is not an address.
bool isPublicAddressText(const std::string& text);

}  // namespace wexaproxy
