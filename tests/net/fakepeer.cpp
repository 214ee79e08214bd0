#include "fakepeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace nettest {

namespace {

// Every wait of the peer is bounded, so a client that misbehaves fails its
// test instead of hanging it.
constexpr int WAIT_MS = 5000;

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, WAIT_MS) > 0;
}

int listenOnLoopback(unsigned short& port, bool listen) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t size = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (listen && ::listen(fd, 8) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(a.sin_port);
    return fd;
}

}  // namespace

FakePeer::FakePeer(std::vector<Exchange> s) : script(std::move(s)) {
    listener = listenOnLoopback(port_, true);
    worker = std::thread([this] { serve(); });
}

FakePeer::~FakePeer() {
    if (worker.joinable()) worker.join();
    ::close(listener);
}

const std::vector<std::string>& FakePeer::requests() {
    if (worker.joinable()) worker.join();
    return received;
}

void FakePeer::serve() {
    for (const Exchange& step : script) {
        if (!readable(listener)) return;
        const int conn = ::accept(listener, nullptr, nullptr);
        if (conn < 0) return;
        std::string request;
        size_t lines = 0;
        char buf[1024];
        while (lines < step.requestLines && readable(conn)) {
            const ssize_t n = ::recv(conn, buf, sizeof buf, 0);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n; ++i) lines += buf[i] == '\n';
            request.append(buf, static_cast<size_t>(n));
        }
        received.push_back(request);
        size_t sent = 0;
        while (sent < step.reply.size()) {
            const ssize_t n = ::send(conn, step.reply.data() + sent, step.reply.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        if (step.after == AfterReply::WAIT_FOR_CLIENT) {
            while (readable(conn) && ::recv(conn, buf, sizeof buf, 0) > 0) {
            }
        }
        if (step.after == AfterReply::RESET) {
            // Closing with a zero linger time sends a reset.
            const linger abort{1, 0};
            ::setsockopt(conn, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        ::close(conn);
    }
}

unsigned short refusedPort() {
    unsigned short port = 0;
    ::close(listenOnLoopback(port, false));
    return port;
}

}  // namespace nettest
