#pragma once
// Who is asking: the identity that owns a client's cookies, link and form
// tokens and form records.
//
// Every browser on a host talks to the same proxy port, so the proxy must
// tell its users apart without their help. For a connection from loopback
// the kernel knows which Unix user owns the connecting socket: its table of
// TCP sockets lists that socket (local address and port = the peer's) with
// its owner's uid. For a connection from elsewhere the peer's address is all
// there is, so several people behind one NAT address share one identity.

#include <sys/socket.h>

#include <string>

namespace wexaproxy {

// The identity of the client on the other end of connected socket fd:
// "uid:<n>" for a loopback peer whose socket the kernel's table lists,
// "addr:<ip>" for any other peer. A loopback peer that cannot be found (it
// already went away) gets "conn:<n>", an identity no other connection
// shares, so that it can never act as somebody else.
std::string clientIdentity(int fd);

// The same from the two ends of the connection (as getpeername and
// getsockname give them) and the text of the kernel's tables; tests give
// their own tables.
std::string clientIdentity(const sockaddr_storage& peer, const sockaddr_storage& local,
                           const std::string& tcp4Table, const std::string& tcp6Table);

}  // namespace wexaproxy
