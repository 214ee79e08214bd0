#include "net/netio.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "common/bounded.h"
#include "common/check.h"

namespace {

constexpr const char* DEFAULT_ADDRESS = "127.0.0.1";

// Waits for the events on fd for at most timeoutMs in all, resuming after
// signals. Returns the revents, or 0 when the time ran out or poll failed.
short waitFor(int fd, short events, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
        if (rc > 0) return p.revents;
        if (rc == 0 || errno != EINTR) return 0;
    }
}

}  // namespace

ServerIO::ServerIO() {
    wexa::boundedCopy(addressText, DEFAULT_ADDRESS);
}

ServerIO::ServerIO(const char* address) {
    wexa::boundedCopy(addressText, address);
}

ServerIO::~ServerIO() {
    close();
}

void ServerIO::Connect() {
    connectTo(addressText);
}

void ServerIO::Connect(const char* address) {
    connectTo(address);
}

void ServerIO::startAfresh() {
    close();
    connected = true;
    cancelled = false;
    received = 0;
    lastWatch = std::chrono::steady_clock::now();
    inputPos = inputLen = 0;
    streamEnded = false;
    ending_ = Ending::NONE;
    replyDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(replyTimeoutMs);
    tildeRun = 0;
    continuingLine = false;
    lineLen = 0;
}

void ServerIO::adopt(int fd) {
    startAfresh();
    connected = fd >= 0;
    sock = fd;
}

void ServerIO::connectTo(const char* address) {
    startAfresh();

    server = sockaddr_in{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port_);
    const in_addr_t numeric = address != nullptr ? inet_addr(address) : INADDR_NONE;
    if (numeric == INADDR_NONE) {
        connected = false;
        return;
    }
    server.sin_addr.s_addr = numeric;

    // Non-blocking while connecting, so that an address that never answers
    // costs at most the connect time-out instead of the system's minutes.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        connected = false;
        return;
    }
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server);
    const bool pending = rc != 0 && (errno == EINPROGRESS || errno == EINTR);
    if ((rc != 0 && !pending) || (pending && !waitUntilConnected(fd))) {
        ::close(fd);
        connected = false;
        if (cancelled) {
            streamEnded = true;
            ending_ = Ending::CANCELLED;
        }
        return;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    // A peer that stops reading must not hold a request forever either.
    timeval limit{replyTimeoutMs / 1000, static_cast<suseconds_t>((replyTimeoutMs % 1000) * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sock = fd;
    // The reply's time starts once the connection stands.
    replyDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(replyTimeoutMs);
}

short ServerIO::waitWatched(int fd, short events, int timeoutMs) {
    if (watcher == nullptr) return waitFor(fd, events, timeoutMs);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return 0;
        const short revents =
            waitFor(fd, events, static_cast<int>(std::min<long long>(left, WATCH_INTERVAL_MS)));
        if (revents != 0) return revents;
        if (!watcherKeepsWaiting(true)) return 0;
    }
}

bool ServerIO::watcherKeepsWaiting(bool now) {
    if (watcher == nullptr || cancelled) return !cancelled;
    const auto at = std::chrono::steady_clock::now();
    if (!now && at - lastWatch < std::chrono::milliseconds(WATCH_INTERVAL_MS)) return true;
    lastWatch = at;
    if (!watcher->keepWaiting(received)) cancelled = true;
    return !cancelled;
}

bool ServerIO::waitUntilConnected(int fd) {
    if ((waitWatched(fd, POLLOUT, connectTimeoutMs) & (POLLOUT | POLLERR | POLLHUP)) == 0) return false;
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool ServerIO::println(const char* text) {
    if (!connected || sock < 0) return false;
    if (text == nullptr) return true;
    const size_t total = std::strlen(text);
    size_t sent = 0;
    while (sent < total) {
        // MSG_NOSIGNAL: a peer that has gone away must not end the program.
        const ssize_t n = ::send(sock, text + sent, total - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // what arrives of the reply tells the rest
        sent += static_cast<size_t>(n);
    }
    return true;
}

int ServerIO::read() {
    if (inputPos < inputLen) return input[inputPos++];
    if (!connected || sock < 0 || streamEnded) return END;
    // The whole reply shares one time limit, so that neither a silent peer
    // nor one that sends a byte now and then holds the browser longer.
    using namespace std::chrono;
    const auto left = duration_cast<milliseconds>(replyDeadline - steady_clock::now()).count();
    if (left <= 0 || !watcherKeepsWaiting(false) || waitWatched(sock, POLLIN, static_cast<int>(left)) == 0) {
        streamEnded = true;
        ending_ = cancelled ? Ending::CANCELLED : Ending::TIMED_OUT;
        return END;
    }
    ssize_t n;
    do {
        n = ::recv(sock, input, sizeof input, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        streamEnded = true;
        ending_ = n == 0 ? Ending::CLOSED : Ending::FAILED;
        return END;
    }
    inputPos = 0;
    inputLen = static_cast<size_t>(n);
    received += inputLen;
    return input[inputPos++];
}

char* ServerIO::readLine() {
    constexpr size_t PIECE = sizeof lineBuffer - 1;
    lineLen = 0;
    for (;;) {
        const int c = read();
        if (c == END) {
            continuingLine = false;
            if (lineLen == 0) return nullptr;
            break;
        }
        // Six "~" in a row end the reply, also across pieces of a long line.
        if (c == '~') {
            if (++tildeRun == 6) {
                tildeRun = 0;
                continuingLine = false;
                return nullptr;
            }
        } else {
            tildeRun = 0;
        }
        if (c == '\n') {
            if (lineLen == 0 && continuingLine) {
                // The newline of a line that was cut after exactly 511 bytes.
                continuingLine = false;
                continue;
            }
            continuingLine = false;
            if (lineLen == 0) return nullptr;  // an empty line ends the reply
            break;
        }
        lineBuffer[lineLen++] = static_cast<char>(c);
        if (lineLen == PIECE) {
            continuingLine = true;
            break;
        }
    }
    WEXA_CHECK(lineLen < sizeof lineBuffer, "strlen(buffer) < 512");
    lineBuffer[lineLen] = '\0';
    return lineBuffer;
}

void ServerIO::close() {
    if (sock >= 0) {
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        sock = -1;
    }
    inputPos = inputLen = 0;
}

void ServerIO::setAddress(const char* address) {
    if (address != nullptr) wexa::boundedCopy(addressText, address);
}
