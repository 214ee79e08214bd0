#include "proxy/server/identity.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace wexaproxy {

namespace {

// A descriptor closed when it goes out of scope.
struct OwnedFd {
    int fd;
    ~OwnedFd() {
        if (fd >= 0) ::close(fd);
    }
};

// The whole of a kernel table; empty when it cannot be read (descriptors
// may have run out).
std::string readTable(const char* path) {
    OwnedFd file{::open(path, O_RDONLY | O_CLOEXEC)};
    std::string text;
    if (file.fd < 0) return text;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(file.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return text;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

bool isLoopback(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        return (ntohl(v4.sin_addr.s_addr) >> 24) == 127;
    }
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        if (IN6_IS_ADDR_LOOPBACK(&v6.sin6_addr)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr) && v6.sin6_addr.s6_addr[12] == 127;
    }
    return false;
}

// An address and port as the kernel's tables write them: the address as the
// hexadecimal digits of its 32-bit words in the machine's byte order, the
// port in hexadecimal, e.g. "0100007F:7530" for 127.0.0.1:30000 on x86.
std::string tableEndpoint(const void* addressBytes, std::size_t size, std::uint16_t portNetworkOrder) {
    std::string text;
    char word[9];
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        std::uint32_t value;
        std::memcpy(&value, static_cast<const unsigned char*>(addressBytes) + i, 4);
        std::snprintf(word, sizeof word, "%08X", value);
        text += word;
    }
    char port[6];
    std::snprintf(port, sizeof port, "%04X", ntohs(portNetworkOrder));
    return text + ":" + port;
}

// The fields of a table line, split at runs of blanks.
std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        if (end > at) fields.push_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

// The uid column of the table line whose local end is `local` and remote end
// `remote`; empty when there is none. Columns: slot, local end, remote end,
// state, queues, timer, retransmits, uid, ...
std::string findUid(std::string_view table, const std::string& local, const std::string& remote) {
    std::size_t at = table.find('\n');  // past the column names
    while (at != std::string_view::npos && at < table.size()) {
        const std::size_t end = std::min(table.find('\n', at + 1), table.size());
        const std::vector<std::string_view> fields = fieldsOf(table.substr(at + 1, end - at - 1));
        if (fields.size() >= 8 && fields[1] == local && fields[2] == remote) return std::string(fields[7]);
        at = end;
    }
    return {};
}

std::string addressText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (address.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof text);
    } else if (address.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text, sizeof text);
    }
    return text;
}

std::string uniqueConnectionIdentity() {
    static std::atomic<std::uint64_t> next{1};
    return "conn:" + std::to_string(next.fetch_add(1));
}

}  // namespace

OwnerLookup socketOwner(const sockaddr_storage& clientEnd, const sockaddr_storage& serverEnd, unsigned& uid,
                        bool* held) {
    const int family = clientEnd.ss_family;
    if ((family != AF_INET && family != AF_INET6) || serverEnd.ss_family != family)
        return OwnerLookup::CannotAsk;
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;  // one socket, looked up by its ends
    message.request.sdiag_family = static_cast<std::uint8_t>(family);
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0u;
    inet_diag_sockid& id = message.request.id;
    id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    if (family == AF_INET) {
        const auto& client = reinterpret_cast<const sockaddr_in&>(clientEnd);
        const auto& server = reinterpret_cast<const sockaddr_in&>(serverEnd);
        id.idiag_sport = client.sin_port;
        id.idiag_dport = server.sin_port;
        std::memcpy(id.idiag_src, &client.sin_addr, sizeof client.sin_addr);
        std::memcpy(id.idiag_dst, &server.sin_addr, sizeof server.sin_addr);
    } else {
        const auto& client = reinterpret_cast<const sockaddr_in6&>(clientEnd);
        const auto& server = reinterpret_cast<const sockaddr_in6&>(serverEnd);
        id.idiag_sport = client.sin6_port;
        id.idiag_dport = server.sin6_port;
        std::memcpy(id.idiag_src, &client.sin6_addr, sizeof client.sin6_addr);
        std::memcpy(id.idiag_dst, &server.sin6_addr, sizeof server.sin6_addr);
    }
    OwnedFd diag{::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)};
    if (diag.fd < 0) return OwnerLookup::CannotAsk;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(diag.fd, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) !=
        static_cast<ssize_t>(sizeof message))
        return OwnerLookup::CannotAsk;
    // The answer: the socket's description, or an error (no such socket).
    alignas(nlmsghdr) char answer[8192];
    const ssize_t got = ::recv(diag.fd, answer, sizeof answer, 0);
    if (got < static_cast<ssize_t>(sizeof(nlmsghdr))) return OwnerLookup::CannotAsk;
    const auto* header = reinterpret_cast<const nlmsghdr*>(answer);
    if (!NLMSG_OK(header, static_cast<unsigned>(got))) return OwnerLookup::CannotAsk;
    if (header->nlmsg_type == NLMSG_ERROR && header->nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr))) {
        const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
        return error->error == -ENOENT ? OwnerLookup::NoSuchSocket : OwnerLookup::CannotAsk;
    }
    if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY || header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
        return OwnerLookup::CannotAsk;
    const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
    uid = found->idiag_uid;
    // A socket no process holds (closed, lingering in the kernel) has no inode.
    if (held != nullptr) *held = found->idiag_inode != 0;
    return OwnerLookup::Found;
}

std::string clientIdentity(const sockaddr_storage& peer, const sockaddr_storage& local,
                           const std::string& tcp4Table, const std::string& tcp6Table) {
    if (!isLoopback(peer)) return "addr:" + addressText(peer);
    // The client's own socket: its local end is our peer, its remote end is us.
    std::string uid;
    if (peer.ss_family == AF_INET && local.ss_family == AF_INET) {
        const auto& p = reinterpret_cast<const sockaddr_in&>(peer);
        const auto& l = reinterpret_cast<const sockaddr_in&>(local);
        uid = findUid(tcp4Table, tableEndpoint(&p.sin_addr, 4, p.sin_port),
                      tableEndpoint(&l.sin_addr, 4, l.sin_port));
    } else if (peer.ss_family == AF_INET6 && local.ss_family == AF_INET6) {
        const auto& p = reinterpret_cast<const sockaddr_in6&>(peer);
        const auto& l = reinterpret_cast<const sockaddr_in6&>(local);
        uid = findUid(tcp6Table, tableEndpoint(&p.sin6_addr, 16, p.sin6_port),
                      tableEndpoint(&l.sin6_addr, 16, l.sin6_port));
    }
    if (uid.empty() || uid.find_first_not_of("0123456789") != std::string::npos)
        return uniqueConnectionIdentity();
    return "uid:" + uid;
}

std::string clientIdentity(int fd) {
    sockaddr_storage peer{}, local{};
    socklen_t peerLength = sizeof peer, localLength = sizeof local;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) {
        return uniqueConnectionIdentity();
    }
    return clientIdentity(peer, local);
}

std::string endpointText(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET)
        return addressText(address) + ":" +
               std::to_string(ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port));
    if (address.ss_family == AF_INET6)
        return "[" + addressText(address) +
               "]:" + std::to_string(ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port));
    return "?";
}

std::string clientIdentity(const sockaddr_storage& peer, const sockaddr_storage& local) {
    if (!isLoopback(peer)) return "addr:" + addressText(peer);
    unsigned uid = 0;
    switch (socketOwner(peer, local, uid)) {
        case OwnerLookup::Found:
            return "uid:" + std::to_string(uid);
        case OwnerLookup::NoSuchSocket:
            return uniqueConnectionIdentity();  // gone already
        case OwnerLookup::CannotAsk:
            break;  // no socket diagnostics here: the table has the answer
    }
    const bool v6 = peer.ss_family == AF_INET6;
    return clientIdentity(peer, local, v6 ? std::string() : readTable("/proc/net/tcp"),
                          v6 ? readTable("/proc/net/tcp6") : std::string());
}

bool clientClosed(int fd) {
    sockaddr_storage peer{}, local{};
    socklen_t peerLength = sizeof peer, localLength = sizeof local;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) {
        return true;
    }
    if (!isLoopback(peer)) return true;
    unsigned uid = 0;
    bool held = false;
    switch (socketOwner(peer, local, uid, &held)) {
        case OwnerLookup::Found:
            return !held;
        case OwnerLookup::NoSuchSocket:
        case OwnerLookup::CannotAsk:
            break;
    }
    return true;
}

}  // namespace wexaproxy
