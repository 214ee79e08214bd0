#pragma once
// Who is asking: the identity that owns a client's cookies, link and form
// tokens and form records.
//
// Every browser on a host talks to the same proxy port, so the proxy must
// tell its users apart without their help. For a connection from loopback
// the kernel knows which Unix user owns the connecting socket (local address
// and port = the peer's): the proxy asks for that one socket through the
// socket-diagnostics netlink interface, and reads the kernel's table of TCP
// sockets (/proc/net/tcp) only when that fails. For a connection from
// elsewhere the peer's address is all there is, so several people behind
// one NAT address share one identity.

#include <sys/socket.h>

#include <string>

namespace wexaproxy {

// The identity of the client on the other end of connected socket fd:
// "uid:<n>" for a loopback peer whose socket the kernel's table lists,
// "addr:<ip>" for any other peer. A loopback peer that cannot be found (it
// already went away) gets "conn:<n>", an identity no other connection
// shares, so that it can never act as somebody else.
std::string clientIdentity(int fd);

// The same for a client named by the two ends of its connection, as a load
// balancer reports them (proxyheader.h): the client's address and port, and
// the address and port it connected to. For a loopback client the kernel is
// asked for the socket with exactly those ends, so a local user keeps their
// own identity through a balancer on this host.
std::string clientIdentity(const sockaddr_storage& client, const sockaddr_storage& server);

// "192.0.2.7:4711" or "[2001:db8::1]:4711", for the log.
std::string endpointText(const sockaddr_storage& address);

// The owner of the TCP socket whose local end is clientEnd and whose
// remote end is serverEnd, asked of the kernel (socket diagnostics); held
// (when given) tells whether a process still has the socket open.
enum class OwnerLookup { Found, NoSuchSocket, CannotAsk };
OwnerLookup socketOwner(const sockaddr_storage& clientEnd, const sockaddr_storage& serverEnd, unsigned& uid,
                        bool* held = nullptr);

// Whether the client on the other end of fd, which has ended its stream,
// has closed its socket rather than only its sending side. For a loopback
// peer the kernel tells (its socket is gone, or no process holds it any
// more); for any other peer the end of its stream is all there is to go by,
// and counts as closing.
bool clientClosed(int fd);

// The same from the two ends of the connection (as getpeername and
// getsockname give them) and the text of the kernel's tables; tests give
// their own tables.
std::string clientIdentity(const sockaddr_storage& peer, const sockaddr_storage& local,
                           const std::string& tcp4Table, const std::string& tcp6Table);

}  // namespace wexaproxy
