#pragma once
// The PROXY protocol header a load balancer puts in front of each
// connection it passes on: who the real client is (its address and port)
// and which address it connected to.
//
// Version 1 is one line of text, at most 107 bytes with its CR LF:
//     PROXY TCP4 <client> <server> <client port> <server port>\r\n
//     PROXY TCP6 ...   or   PROXY UNKNOWN[anything]\r\n
// Version 2 is binary: a 12-byte signature, the version and command, the
// family, the length of what follows (addresses, then optional extensions
// that are skipped). Its LOCAL command (the balancer's own health checks)
// and UNKNOWN in version 1, and families other than TCP over IPv4 or IPv6,
// name no client: the connection's own address stands.
//
// The parser sees the bytes received so far and never reads past the
// header: what follows it is the request.

#include <sys/socket.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace wexaproxy {

// Longest version 1 header, CR LF included.
constexpr std::size_t MAX_PROXY_V1_BYTES = 107;
// Most bytes accepted after a version 2 header's first 16 (addresses and
// extensions); a longer header is refused.
constexpr std::size_t MAX_PROXY_V2_EXTRA_BYTES = 1024;

struct ProxyHeader {
    enum class State {
        NeedMore,   // a header's beginning: wait for more bytes
        Complete,   // length bytes were the header
        Malformed,  // not a header we read: error says why
    };
    State state = State::NeedMore;
    std::size_t length = 0;
    // False for LOCAL, UNKNOWN and other families: no client named.
    bool hasAddresses = false;
    sockaddr_storage client{};  // the real client's address and port
    sockaddr_storage server{};  // the address it connected to
    std::string error;
};

// The header at the start of bytes.
ProxyHeader parseProxyHeader(std::string_view bytes);

}  // namespace wexaproxy
