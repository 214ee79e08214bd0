#include "proxy/server/peers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/crypto.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "proxy/normalise/formrecord.h"
#include "proxy/server/identity.h"

namespace wexaproxy {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view PEER_MAGIC = "WEXAPEER1";
// What each MAC's message begins with; neither begins with a sealed
// token's version byte.
constexpr std::string_view REQUEST_LABEL = "wexa peer request\n";
constexpr std::string_view REPLY_LABEL = "wexa peer reply\n";
constexpr std::size_t LENGTH_BYTES = 4;
constexpr std::size_t ID_DIGITS = 16;
constexpr std::size_t MAX_TIME_DIGITS = 12;
const char HEX_DIGITS[] = "0123456789abcdef";

// Closes its descriptor when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string hexText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out.push_back(HEX_DIGITS[byte >> 4]);
        out.push_back(HEX_DIGITS[byte & 15]);
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Lower-case hex back to bytes; false for anything else.
bool fromHex(std::string_view text, std::string& out) {
    if (text.size() % 2 != 0) return false;
    out.clear();
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

std::string lengthBytes(std::size_t size) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((size >> shift) & 0xFF));
    return out;
}

std::size_t lengthOf(std::string_view bytes) {
    std::size_t size = 0;
    for (std::size_t i = 0; i < LENGTH_BYTES; ++i) size = (size << 8) | static_cast<unsigned char>(bytes[i]);
    return size;
}

std::string_view macBytes(const PeerMac& mac) {
    return std::string_view(reinterpret_cast<const char*>(mac.data()), mac.size());
}

PeerMac replyMac(std::string_view secret, const PeerMac& requestMac, std::string_view lengthAndPayload) {
    std::string message(REPLY_LABEL);
    message.append(macBytes(requestMac));
    message.append(lengthAndPayload);
    return hmacSha256(secret, message);
}

std::string reply(std::string_view secret, const PeerMac& requestMac, std::string_view payload) {
    std::string out = lengthBytes(payload.size());
    out.append(payload);
    out.append(macBytes(replyMac(secret, requestMac, out)));
    return out;
}

const char* kindText(TokenStore::EntryKind kind) {
    return kind == TokenStore::EntryKind::Link ? "link" : "form";
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    while (!line.empty()) {
        const std::size_t blank = line.find(' ');
        out.push_back(line.substr(0, blank));
        if (blank == std::string_view::npos) break;
        line.remove_prefix(blank + 1);
    }
    return out;
}

// Milliseconds to the deadline; 0 once it has passed.
int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// Waits until fd is ready for events (or has failed, which the next call
// finds); false when the deadline passes first.
bool waitReady(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const int left = millisecondsLeft(deadline);
        if (left == 0) return false;
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, left);
        if (ready < 0 && errno == EINTR) continue;
        return ready == 1;
    }
}

// All of bytes to a non-blocking socket before the deadline.
bool sendAll(int fd, std::string_view bytes, Clock::time_point deadline) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t put = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (put > 0) {
            sent += static_cast<std::size_t>(put);
        } else if (put < 0 && errno == EINTR) {
            continue;
        } else if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitReady(fd, POLLOUT, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

// Some bytes from a non-blocking socket into out, so that it holds at most
// limit; false at the end of the stream, on an error or at the deadline.
bool receiveSome(int fd, std::string& out, std::size_t limit, Clock::time_point deadline) {
    char buffer[16384];
    for (;;) {
        const std::size_t room = std::min(sizeof buffer, limit - std::min(limit, out.size()));
        if (room == 0) return false;
        const ssize_t got = ::recv(fd, buffer, room, 0);
        if (got > 0) {
            out.append(buffer, static_cast<std::size_t>(got));
            return true;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitReady(fd, POLLIN, deadline)) return false;
            continue;
        }
        return false;
    }
}

bool parseTime(std::string_view text, std::int64_t& seconds) {
    if (text.empty() || text.size() > MAX_TIME_DIGITS) return false;
    seconds = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        seconds = seconds * 10 + (c - '0');
    }
    return true;
}

}  // namespace

std::string peerRequest(std::string_view secret, TokenStore::EntryKind kind, const std::string& owner,
                        std::uint64_t id, std::int64_t now, PeerMac& mac) {
    std::string idText;
    for (int shift = 60; shift >= 0; shift -= 4) idText.push_back(HEX_DIGITS[(id >> shift) & 15]);
    std::string line(PEER_MAGIC);
    line += ' ';
    line += kindText(kind);
    line += ' ' + idText + ' ' + std::to_string(now) + ' ' + hexText(owner);
    mac = hmacSha256(secret, std::string(REQUEST_LABEL) + line);
    line += ' ' + hexText(macBytes(mac)) + '\n';
    return line;
}

std::string answerPeerRequest(std::string_view line, TokenStore& store, std::int64_t now, std::string& why) {
    const std::vector<std::string_view> parts = words(line);
    std::string owner;
    std::string macText;
    std::int64_t asked = 0;
    if (line.size() >= MAX_PEER_REQUEST || parts.size() != 6 || parts[0] != PEER_MAGIC ||
        (parts[1] != "link" && parts[1] != "form") || parts[2].size() != ID_DIGITS ||
        !parseTime(parts[3], asked) || parts[4].empty() || !fromHex(parts[4], owner) ||
        parts[5].size() != 2 * HMAC_BYTES || !fromHex(parts[5], macText)) {
        why = "malformed request";
        return {};
    }
    std::string idBytes;
    if (!fromHex(parts[2], idBytes)) {
        why = "malformed request";
        return {};
    }
    const std::size_t signedSize = line.size() - parts[5].size() - 1;
    PeerMac mac =
        hmacSha256(store.secret(), std::string(REQUEST_LABEL) + std::string(line.substr(0, signedSize)));
    if (CRYPTO_memcmp(mac.data(), macText.data(), mac.size()) != 0) {
        why = "request with a wrong MAC (another secret?)";
        return {};
    }
    if (asked < now - PEER_CLOCK_SKEW || asked > now + PEER_CLOCK_SKEW) {
        why = "request " + std::to_string(now - asked) + " s old (clocks apart, or replayed)";
        return {};
    }
    std::uint64_t id = 0;
    for (char c : idBytes) id = (id << 8) | static_cast<unsigned char>(c);
    const auto kind = parts[1] == "link" ? TokenStore::EntryKind::Link : TokenStore::EntryKind::Form;
    TokenStore::Entry found;
    std::string payload;
    if (store.localEntry(kind, owner, id, found))
        payload = kind == TokenStore::EntryKind::Link ? found.url : formRecordToBytes(*found.form);
    if (payload.size() > MAX_PEER_PAYLOAD) {
        why = "entry larger than a reply may be";
        payload.clear();
    }
    return reply(store.secret(), mac, payload);
}

PeerReply readPeerReply(std::string_view secret, const PeerMac& requestMac, TokenStore::EntryKind kind,
                        std::string_view bytes, TokenStore::Entry& found) {
    if (bytes.size() < LENGTH_BYTES + HMAC_BYTES) return PeerReply::Invalid;
    const std::size_t size = lengthOf(bytes);
    if (size > MAX_PEER_PAYLOAD || bytes.size() != LENGTH_BYTES + size + HMAC_BYTES)
        return PeerReply::Invalid;
    const PeerMac expected = replyMac(secret, requestMac, bytes.substr(0, LENGTH_BYTES + size));
    if (CRYPTO_memcmp(expected.data(), bytes.data() + LENGTH_BYTES + size, HMAC_BYTES) != 0)
        return PeerReply::Invalid;
    const std::string_view payload = bytes.substr(LENGTH_BYTES, size);
    if (payload.empty()) return PeerReply::NoEntry;
    found = TokenStore::Entry();
    if (kind == TokenStore::EntryKind::Link) {
        found.url = std::string(payload);
        return PeerReply::Entry;
    }
    auto form = std::make_shared<FormRecord>();
    if (!formRecordFromBytes(payload, *form)) return PeerReply::Invalid;
    found.form = std::move(form);
    return PeerReply::Entry;
}

PeerClient::PeerClient(std::vector<PeerAddress> peers, const TokenStore& store, const Log& log)
    : peers_(std::move(peers)), store_(store), log_(log) {}

bool PeerClient::lookUp(TokenStore::EntryKind kind, const std::string& owner, std::uint64_t id,
                        TokenStore::Entry& found) {
    PeerMac mac{};
    const std::string request = peerRequest(store_.secret(), kind, owner, id, store_.wallNow(), mac);
    if (request.size() > MAX_PEER_REQUEST) return false;  // an owner no peer would take
    const Clock::time_point end = Clock::now() + PEER_TOTAL;
    for (const PeerAddress& peer : peers_) {
        const std::string name = peer.host + ":" + std::to_string(peer.port);
        const Clock::time_point deadline = std::min(end, Clock::now() + PEER_DEADLINE);
        std::string answer;
        if (!ask(peer, request, deadline, answer)) {
            log_.debug("peer " + name + " gave no answer for a " + kindText(kind) + " token; skipped");
        } else {
            switch (readPeerReply(store_.secret(), mac, kind, answer, found)) {
                case PeerReply::Entry:
                    log_.debug("peer " + name + " had the " + kindText(kind) + " token's entry");
                    return true;
                case PeerReply::NoEntry:
                    break;
                case PeerReply::Invalid:
                    log_.notice("peer " + name +
                                " sent a reply that is not authentic or not readable; ignored");
                    break;
            }
        }
        if (Clock::now() >= end) break;
    }
    return false;
}

bool PeerClient::ask(const PeerAddress& peer, const std::string& request, Clock::time_point deadline,
                     std::string& answer) const {
    Descriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.get() < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(peer.port));
    if (inet_pton(AF_INET, peer.host.c_str(), &address.sin_addr) != 1) return false;
    if (::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS || !waitReady(socket.get(), POLLOUT, deadline)) return false;
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return false;
    }
    int one = 1;
    setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (!sendAll(socket.get(), request, deadline)) return false;
    // The length first, then exactly as much as it announces.
    std::size_t wanted = LENGTH_BYTES;
    while (answer.size() < wanted) {
        if (!receiveSome(socket.get(), answer, wanted, deadline)) return false;
        if (wanted == LENGTH_BYTES && answer.size() == LENGTH_BYTES) {
            const std::size_t size = lengthOf(answer);
            if (size > MAX_PEER_PAYLOAD) return false;
            wanted = LENGTH_BYTES + size + HMAC_BYTES;
        }
    }
    return true;
}

PeerListener::PeerListener(TokenStore& store, const Log& log) : store_(store), log_(log) {}

PeerListener::~PeerListener() {
    stop();
    if (listenFd_ >= 0) ::close(listenFd_);
}

bool PeerListener::open(const std::string& address, int port, std::string& error) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &bound.sin_addr) != 1) {
        error = "not an IPv4 address: " + address;
        return false;
    }
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0 ||
        ::listen(listenFd_, 64) != 0) {
        error = "cannot listen for peers on " + address + ":" + std::to_string(port) + ": " +
                std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof bound;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.sin_port);
    return true;
}

void PeerListener::start() {
    threads_.emplace_back(&PeerListener::acceptMain, this);
    for (int i = 0; i < PEER_THREADS; ++i) threads_.emplace_back(&PeerListener::serveMain, this);
}

void PeerListener::stop() {
    stopping_.store(true);
    ready_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : waiting_) ::close(fd);
    waiting_.clear();
}

void PeerListener::acceptMain() {
    while (!stopping_.load()) {
        // A short wait, so that stop() is seen soon.
        if (!waitReady(listenFd_, POLLIN, Clock::now() + std::chrono::milliseconds(200))) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors: a moment's pause instead of a spin.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (waiting_.size() >= PEER_QUEUE) {
            lock.unlock();
            ::close(fd);
            log_.debug("peer port: too many requests waiting; one closed");
            continue;
        }
        waiting_.push_back(fd);
        lock.unlock();
        ready_.notify_one();
    }
}

void PeerListener::serveMain() {
    for (;;) {
        int fd = -1;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return stopping_.load() || !waiting_.empty(); });
            if (stopping_.load()) return;
            fd = waiting_.front();
            waiting_.pop_front();
        }
        serve(fd);
    }
}

void PeerListener::serve(int fd) {
    Descriptor socket(fd);
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    const std::string from =
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) == 0 ? endpointText(peer) : "unknown";
    const Clock::time_point deadline = Clock::now() + PEER_SERVE_DEADLINE;
    std::string line;
    std::size_t end = std::string::npos;
    while ((end = line.find('\n')) == std::string::npos) {
        if (!receiveSome(fd, line, MAX_PEER_REQUEST, deadline)) {
            if (!line.empty())
                log_.notice("peer request from " + from + " incomplete, too long or too slow; closed");
            return;
        }
    }
    // The asker sends its line and waits: anything after it is not ours.
    std::string why;
    std::string answer;
    if (end + 1 == line.size()) {
        answer = answerPeerRequest(std::string_view(line).substr(0, end), store_, store_.wallNow(), why);
    } else {
        why = "bytes after the request";
    }
    if (answer.empty()) {
        log_.notice("peer request from " + from + " refused: " + why + "; closed");
        return;
    }
    if (!why.empty()) log_.notice("peer request from " + from + ": " + why);
    if (!sendAll(fd, answer, deadline)) log_.debug("peer " + from + " did not take its reply in time");
}

}  // namespace wexaproxy
