#include "peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace controlstest {

namespace {

constexpr int WAIT_MS = 5000;

// A socket bound to a free port of 127.0.0.1; its port goes to *port.
int boundSocket(unsigned short* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(fd);
        throw std::runtime_error("bind");
    }
    *port = ntohs(address.sin_port);
    return fd;
}

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, WAIT_MS) > 0;
}

}  // namespace

FakePeer::FakePeer() {
    listener = boundSocket(&port_);
    if (::listen(listener, 1) != 0) throw std::runtime_error("listen");
    worker = std::thread([this] { serve(); });
}

FakePeer::~FakePeer() {
    if (worker.joinable()) worker.join();
    ::close(listener);
}

void FakePeer::serve() {
    if (!readable(listener)) return;
    const int connection = ::accept(listener, nullptr, nullptr);
    if (connection < 0) return;
    char chunk[4096];
    while (readable(connection)) {
        const ssize_t n = ::recv(connection, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(connection);
}

std::string FakePeer::received() {
    if (worker.joinable()) worker.join();
    return bytes;
}

unsigned short closedPort() {
    unsigned short port = 0;
    ::close(boundSocket(&port));
    return port;
}

}  // namespace controlstest
