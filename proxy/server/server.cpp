#include "proxy/server/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "proxy/server/identity.h"
#include "proxy/server/proxyheader.h"
#include "proxy/server/reply.h"

namespace wexaproxy {

namespace {

constexpr std::uint64_t LISTEN_ID = 0;
constexpr std::uint64_t WAKE_ID = 1;
// After the reply, the server waits this long for the client to close, so
// that closing with unread bytes never resets a connection whose reply the
// client is still reading.
constexpr auto LINGER = std::chrono::seconds(2);
constexpr int ACCEPT_BATCH = 32;
// When the connection table is full and others wait, a client that has sent
// no complete request for this long gives up its place to them. A browser
// sends its request right after connecting, so only silent or very slow
// clients are ever that old: without this, a flood of them would hold every
// place until their read deadline, and nobody else (a PING included) would
// get in meanwhile.
constexpr auto EVICTABLE_AFTER = std::chrono::seconds(1);
constexpr const char* BUSY_MESSAGE = "Server busy; try again";
// How fast a client reads is judged over at least this time.
constexpr auto READING_CHANCE = std::chrono::seconds(1);
// How often the page cache's counts go to the log (and once at the end).
constexpr std::int64_t CACHE_SUMMARY_SECONDS = 600;

// True when the client has ended its stream (or the connection failed): the
// end of the stream is all that is left to read. Bytes after a complete
// request are left alone.
bool peerGone(int fd) {
    char byte;
    for (;;) {
        const ssize_t got = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (got < 0 && errno == EINTR) continue;
        return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }
}

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

enum class Sent { All, Blocked, Failed };

// The one place that writes to a client: bytes from sent on, as far as the
// socket takes them now (sockets are non-blocking); sent moves past them.
Sent sendAvailable(int fd, std::string_view bytes, std::size_t& sent) {
    while (sent < bytes.size()) {
        ssize_t put = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? Sent::Blocked : Sent::Failed;
        }
        sent += static_cast<std::size_t>(put);
    }
    return Sent::All;
}

}  // namespace

Server::Server(const Config& config, const PageFilter& filter, const Log& log)
    : config_(config), filter_(filter), log_(log) {
    if (config.cacheBytes > 0) cache_ = std::make_unique<PageCache>(config.cacheBytes);
}

Server::~Server() {
    for (auto& entry : connections_) ::close(entry.second.fd);
    if (listenFd_ >= 0) ::close(listenFd_);
    if (epollFd_ >= 0) ::close(epollFd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool Server::open(std::string& error) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        error = errnoText("socket");
        return false;
    }
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(config_.port));
    if (inet_pton(AF_INET, config_.listenAddress.c_str(), &address.sin_addr) != 1) {
        error = "not an IPv4 address: " + config_.listenAddress;
        return false;
    }
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = "cannot listen on " + config_.listenAddress + ":" + std::to_string(config_.port) + ": " +
                std::strerror(errno);
        return false;
    }
    if (::listen(listenFd_, 1024) != 0) {
        error = errnoText("listen");
        return false;
    }
    socklen_t length = sizeof address;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);

    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (epollFd_ < 0 || wakeFd_ < 0) {
        error = errnoText("epoll");
        return false;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = LISTEN_ID;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &event);
    event.data.u64 = WAKE_ID;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &event);
    return true;
}

void Server::stop() {
    stopping_.store(true);
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
        (void)ignored;
    }
}

void Server::run() {
    for (int i = 0; i < config_.workers; ++i) workers_.emplace_back(&Server::workerMain, this);

    epoll_event events[256];
    while (!stopping_.load()) {
        int count = epoll_wait(epollFd_, events, 256, 100);
        if (count < 0 && errno != EINTR) {
            log_.notice(errnoText("epoll_wait"));
            break;
        }
        for (int i = 0; i < count; ++i) {
            std::uint64_t id = events[i].data.u64;
            if (id == LISTEN_ID) {
                acceptAll();
            } else if (id == WAKE_ID) {
                std::uint64_t value = 0;
                ssize_t ignored = ::read(wakeFd_, &value, sizeof value);
                (void)ignored;
                collectFinished();
            } else {
                onEvent(id, events[i].events);
            }
        }
        sweepDeadlines();
        if (cache_ && cache_->summaryDue(CACHE_SUMMARY_SECONDS)) log_.notice(cache_->summary());
    }

    {
        std::lock_guard<std::mutex> lock(jobsMutex_);
        workersStop_ = true;
        clients_.clear();
        turns_.clear();
        queued_ = 0;
    }
    jobsReady_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
    if (cache_) log_.notice(cache_->summary());
}

void Server::pauseAccepting(Clock::time_point until) {
    if (!acceptPaused_) epoll_ctl(epollFd_, EPOLL_CTL_DEL, listenFd_, nullptr);
    acceptPaused_ = true;
    acceptResumes_ = until;
}

bool Server::connectionsWaiting() const {
    pollfd waiting{};
    waiting.fd = listenFd_;
    waiting.events = POLLIN;
    return ::poll(&waiting, 1, 0) == 1 && (waiting.revents & POLLIN) != 0;
}

// The connection that gives up its place when the table is full and others
// wait: one that has its whole reply and only waits for the client to close
// (the one waiting longest), else the client that has been sending its
// request the longest, for at least EVICTABLE_AFTER.
Server::Connection* Server::evictable(Clock::time_point now) {
    Connection* draining = nullptr;
    Connection* reader = nullptr;
    for (auto& entry : connections_) {
        Connection& conn = entry.second;
        if (conn.phase == Phase::Draining) {
            if (draining == nullptr || conn.deadline < draining->deadline) draining = &conn;
        } else if (conn.phase == Phase::Reading && now - conn.started >= EVICTABLE_AFTER) {
            if (reader == nullptr || conn.started < reader->started) reader = &conn;
        }
    }
    return draining != nullptr ? draining : reader;
}

void Server::acceptAll() {
    // A bounded batch per pass: clients served straight from the workers
    // come back at once, and an endless accept loop would starve the
    // replies and closes waiting behind it.
    for (int batch = 0; batch < ACCEPT_BATCH; ++batch) {
        if (connections_.size() >= static_cast<std::size_t>(config_.maxConnections)) {
            Connection* idle = connectionsWaiting() ? evictable(Clock::now()) : nullptr;
            if (idle == nullptr) {
                // Full: new clients wait in the kernel's queue until a
                // connection closes. Refusing them instead would make them
                // retry at once, in a storm.
                log_.debug("connection limit reached; new connections wait");
                pauseAccepting(Clock::now());
                return;
            }
            if (idle->phase == Phase::Reading) {
                // The reply is a few bytes on a socket that has sent nothing
                // back yet: the send buffer takes it at once, or it is lost
                // with a client that is not listening anyway.
                std::string reply = errorReply(BUSY_MESSAGE);
                std::size_t sent = 0;
                sendAvailable(idle->fd, reply, sent);
                logDone(*idle, "-", "", std::string("ERROR ") + BUSY_MESSAGE, reply.size());
            }
            close(idle->id);
        }
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                log_.notice(errnoText("accept") + "; pausing new connections");
                pauseAccepting(Clock::now() + std::chrono::milliseconds(200));
            }
            return;  // EAGAIN: every waiting connection has been taken
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::uint64_t id = nextId_++;
        Connection& conn = connections_[id];
        conn.id = id;
        conn.fd = fd;
        conn.reader = RequestReader(config_.requestLimits);
        // Behind a balancer the client is known from the PROXY header; its
        // time counts against the read deadline.
        conn.awaitingHeader = config_.proxyProtocol;
        if (!conn.awaitingHeader) conn.identity = clientIdentity(fd);
        conn.started = Clock::now();
        conn.deadline = conn.started + std::chrono::milliseconds(config_.readTimeoutMs);
        watch(conn, EPOLLIN | EPOLLRDHUP);
        log_.debug("connection " + std::to_string(id) + " accepted" +
                   (conn.awaitingHeader ? std::string() : ": client " + conn.identity));
        // The browser sends its request right after connecting, so it is
        // often here already.
        readFrom(conn);
    }
}

void Server::watch(Connection& conn, std::uint32_t events) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = conn.id;
    epoll_ctl(epollFd_, conn.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, conn.fd, &event);
    conn.watched = true;
}

void Server::unwatch(Connection& conn) {
    if (conn.watched) epoll_ctl(epollFd_, EPOLL_CTL_DEL, conn.fd, nullptr);
    conn.watched = false;
}

void Server::close(std::uint64_t id) {
    auto found = connections_.find(id);
    if (found == connections_.end()) return;
    releaseOut(found->second);
    unwatch(found->second);
    ::close(found->second.fd);
    connections_.erase(found);
    log_.debug("connection " + std::to_string(id) + " closed");
}

void Server::onEvent(std::uint64_t id, std::uint32_t events) {
    auto found = connections_.find(id);
    if (found == connections_.end()) return;
    Connection& conn = found->second;
    switch (conn.phase) {
        case Phase::Reading:
            readFrom(conn);
            break;
        case Phase::Writing:
            if (events & (EPOLLERR | EPOLLHUP)) {
                close(id);
            } else {
                writeTo(conn);
            }
            break;
        case Phase::Draining:
            drain(conn);
            break;
        case Phase::Waiting:
            // Watched for the end of the client's stream only: the client is
            // gone when it closed its socket (not when it only ended its
            // sending side and still waits for the reply).
            if ((events & (EPOLLHUP | EPOLLERR)) || ((events & EPOLLRDHUP) && clientClosed(conn.fd)))
                clientGone(conn);
            break;
    }
}

void Server::logDone(const Connection& conn, const std::string& command, const std::string& url,
                     const std::string& outcome, std::size_t bytes, const std::string& cache) {
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - conn.started);
    log_.request(command, url, outcome, bytes, elapsed.count(), cache);
}

void Server::readFrom(Connection& conn) {
    char buffer[16384];
    for (;;) {
        ssize_t got = ::recv(conn.fd, buffer, sizeof buffer, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            close(conn.id);
            return;
        }
        const auto size = static_cast<std::size_t>(got);
        const bool done =
            conn.awaitingHeader ? takeHeader(conn, buffer, size) : takeRequestBytes(conn, buffer, size);
        if (done) return;
    }
}

// Bytes of a connection still owing its PROXY header (size 0: the end of
// its stream). True when the connection has left the reading of its
// request (answered or closed).
bool Server::takeHeader(Connection& conn, const char* bytes, std::size_t size) {
    const std::string prefix = "connection " + std::to_string(conn.id) + ": ";
    if (size == 0) {
        // Nothing at all: a balancer's health check. A part of a header: a fault.
        if (conn.header.empty()) {
            log_.debug(prefix + "closed before sending anything");
        } else {
            log_.notice(prefix + "closed in the middle of its PROXY header");
        }
        close(conn.id);
        return true;
    }
    conn.header.append(bytes, size);
    const ProxyHeader parsed = parseProxyHeader(conn.header);
    if (parsed.state == ProxyHeader::State::NeedMore) return false;
    if (parsed.state == ProxyHeader::State::Malformed) {
        log_.notice(prefix + parsed.error + "; closed");
        close(conn.id);
        return true;
    }
    if (parsed.hasAddresses) {
        conn.identity = clientIdentity(parsed.client, parsed.server);
        log_.debug(prefix + "client " + endpointText(parsed.client) + " to " + endpointText(parsed.server) +
                   " is " + conn.identity);
    } else {
        conn.identity = clientIdentity(conn.fd);
        log_.debug(prefix + "PROXY header names no client; the connection's own is " + conn.identity);
    }
    conn.awaitingHeader = false;
    std::string rest = conn.header.substr(parsed.length);
    std::string().swap(conn.header);
    if (rest.empty()) return false;
    return takeRequestBytes(conn, rest.data(), rest.size());
}

// Bytes of the request (size 0: the end of the stream). True when the
// request is complete or refused.
bool Server::takeRequestBytes(Connection& conn, const char* bytes, std::size_t size) {
    RequestReader::State state = size == 0 ? conn.reader.finish() : conn.reader.feed(bytes, size);
    if (state == RequestReader::State::Complete) {
        requestRead(conn);
        return true;
    }
    if (state == RequestReader::State::Malformed) {
        std::string reply = errorReply(conn.reader.error());
        logDone(conn, "-", "", "ERROR " + conn.reader.error(), reply.size());
        startReply(conn, std::move(reply));
        return true;
    }
    return size == 0;  // cannot be: finish() always decides
}

void Server::requestRead(Connection& conn) {
    const Request& request = conn.reader.request();
    if (request.command == Command::Ping) {
        std::string reply = aliveReply();
        logDone(conn, "PING", "", "ALIVE", reply.size());
        startReply(conn, std::move(reply));
        return;
    }
    // A client that sent its request and hung up at once wants nothing.
    if (peerGone(conn.fd) && clientClosed(conn.fd)) {
        logDone(conn, commandName(request.command), request.url, "DROPPED client went away", 0);
        close(conn.id);
        return;
    }
    if (!enqueue(conn)) {
        std::string reply = errorReply(BUSY_MESSAGE);
        logDone(conn, commandName(request.command), request.url, std::string("ERROR ") + BUSY_MESSAGE,
                reply.size());
        startReply(conn, std::move(reply));
        return;
    }
    // While the request waits and is fetched, the socket is watched for the
    // client's hang-up only, once (edge-triggered): a closed socket would
    // otherwise keep waking the loop.
    conn.phase = Phase::Waiting;
    watch(conn, EPOLLRDHUP | EPOLLET);
    jobsReady_.notify_one();
}

bool Server::enqueue(Connection& conn) {
    Job job;
    job.id = conn.id;
    job.request = conn.reader.request();
    job.request.identity = conn.identity;
    conn.dropped = std::make_shared<std::atomic<bool>>(false);
    job.dropped = conn.dropped;
    // One identity holds at most a quarter of the queue, so that a few
    // others always find room.
    const std::size_t clientShare = std::max(1, config_.maxQueue / 4);
    std::lock_guard<std::mutex> lock(jobsMutex_);
    ClientJobs& client = clients_[conn.identity];
    if (queued_ >= static_cast<std::size_t>(config_.maxQueue) || client.waiting.size() >= clientShare) {
        if (client.waiting.empty() && client.running == 0) clients_.erase(conn.identity);
        return false;
    }
    if (client.waiting.empty()) turns_.push_back(conn.identity);
    client.waiting.push_back(std::move(job));
    ++queued_;
    return true;
}

// The client of a waiting connection hung up: its request leaves the queue
// (or its fetch is abandoned) and the connection closes.
void Server::clientGone(Connection& conn) {
    if (conn.dropped) conn.dropped->store(true);
    {
        std::lock_guard<std::mutex> lock(jobsMutex_);
        auto client = clients_.find(conn.identity);
        if (client != clients_.end()) {
            std::deque<Job>& waiting = client->second.waiting;
            for (auto job = waiting.begin(); job != waiting.end(); ++job) {
                if (job->id != conn.id) continue;
                waiting.erase(job);
                --queued_;
                if (waiting.empty()) turns_.remove(conn.identity);
                break;
            }
            if (waiting.empty() && client->second.running == 0) clients_.erase(client);
        }
    }
    const Request& request = conn.reader.request();
    logDone(conn, commandName(request.command), request.url, "DROPPED client went away", 0);
    close(conn.id);
}

void Server::startReply(Connection& conn, std::string bytes) {
    conn.phase = Phase::Writing;
    releaseOut(conn);
    conn.out = std::move(bytes);
    heldBytes_ += conn.out.size();
    conn.sent = 0;
    conn.writeStarted = Clock::now();
    conn.deadline = conn.writeStarted + std::chrono::milliseconds(config_.writeTimeoutMs);
    writeTo(conn);
}

void Server::releaseOut(Connection& conn) {
    heldBytes_ -= std::min(heldBytes_, conn.out.size());
    std::string().swap(conn.out);
}

// Makes room for a reply of bytes among the replies held for clients still
// reading, by dropping the slowest readers: those that took the fewest
// bytes per second since their reply started, counted over at least
// READING_CHANCE (so a reply just started is judged by what the client took
// at once); the one waiting longest first among equals. A client that reads
// has its reply in the socket soon and is no longer held. False when there
// is no room even so (a reply larger than the bound).
bool Server::makeRoom(std::size_t bytes, Clock::time_point now) {
    while (heldBytes_ + bytes > config_.maxHeldBytes) {
        Connection* slowest = nullptr;
        double slowestRate = 0;
        for (auto& entry : connections_) {
            Connection& conn = entry.second;
            if (conn.phase != Phase::Writing || conn.out.empty()) continue;
            const double seconds = std::chrono::duration<double>(
                                       std::max<Clock::duration>(now - conn.writeStarted, READING_CHANCE))
                                       .count();
            const double rate = static_cast<double>(conn.sent) / seconds;
            if (slowest == nullptr || rate < slowestRate ||
                (rate == slowestRate && conn.writeStarted < slowest->writeStarted)) {
                slowest = &conn;
                slowestRate = rate;
            }
        }
        if (slowest == nullptr) return false;
        log_.notice("reply memory full: dropped a client that read " + std::to_string(slowest->sent) +
                    " of " + std::to_string(slowest->out.size()) + " bytes");
        close(slowest->id);
    }
    return true;
}

void Server::writeTo(Connection& conn) {
    switch (sendAvailable(conn.fd, conn.out, conn.sent)) {
        case Sent::Blocked:
            watch(conn, EPOLLOUT);
            return;
        case Sent::Failed:
            close(conn.id);
            return;
        case Sent::All:
            break;
    }
    releaseOut(conn);
    ::shutdown(conn.fd, SHUT_WR);
    conn.phase = Phase::Draining;
    conn.deadline = Clock::now() + LINGER;
    watch(conn, EPOLLIN | EPOLLRDHUP);
    drain(conn);
}

void Server::drain(Connection& conn) {
    char buffer[4096];
    for (;;) {
        ssize_t got = ::recv(conn.fd, buffer, sizeof buffer, 0);
        if (got > 0) continue;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        close(conn.id);  // end of stream or error: the client is done
        return;
    }
}

void Server::collectFinished() {
    std::vector<Finished> done;
    {
        std::lock_guard<std::mutex> lock(finishedMutex_);
        done.swap(finished_);
    }
    const Clock::time_point now = Clock::now();
    for (Finished& item : done) {
        auto found = connections_.find(item.id);
        if (found == connections_.end()) continue;  // the client went away
        Connection& conn = found->second;
        if (!makeRoom(item.served.reply.size(), now)) {
            std::string reply = errorReply(BUSY_MESSAGE);
            logDone(conn, item.command, item.served.url,
                    std::string("ERROR ") + BUSY_MESSAGE + " (reply memory)", reply.size());
            startReply(conn, std::move(reply));
            continue;
        }
        logDone(conn, item.command, item.served.url, item.served.outcome, item.served.reply.size(),
                item.served.cache);
        startReply(conn, std::move(item.served.reply));
    }
}

void Server::sweepDeadlines() {
    Clock::time_point now = Clock::now();
    std::vector<std::uint64_t> expired;
    for (auto& entry : connections_) {
        Connection& conn = entry.second;
        if (conn.phase != Phase::Waiting && now >= conn.deadline) expired.push_back(entry.first);
    }
    for (std::uint64_t id : expired) {
        auto found = connections_.find(id);
        if (found == connections_.end()) continue;
        Connection& conn = found->second;
        if (conn.phase == Phase::Reading && conn.awaitingHeader) {
            // Nobody to tell: it is not a client speaking our protocol yet.
            log_.notice("connection " + std::to_string(id) + ": PROXY header not received in time; closed");
            close(id);
        } else if (conn.phase == Phase::Reading) {
            // Say why, in case a slow client is still there to read it; the
            // drain deadline then bounds how long it may keep the socket.
            std::string reply = errorReply("Request not received in time");
            logDone(conn, "-", "", "ERROR Request not received in time", reply.size());
            startReply(conn, std::move(reply));
        } else {
            close(id);
        }
    }
    // Resumed after the deadlines: a client whose time is up is answered,
    // not evicted.
    if (acceptPaused_ && now >= acceptResumes_ &&
        (connections_.size() < static_cast<std::size_t>(config_.maxConnections) ||
         (connectionsWaiting() && evictable(now) != nullptr))) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = LISTEN_ID;
        epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &event);
        acceptPaused_ = false;
    }
}

// The next request to fetch: identities with waiting requests take turns,
// each up to config_.clientFetches fetches at a time. A request whose client
// has gone is dropped here, before anything is fetched.
bool Server::takeJobLocked(Job& job) {
    for (auto turn = turns_.begin(); turn != turns_.end();) {
        const std::string identity = *turn;
        ClientJobs& client = clients_[identity];
        if (client.running >= config_.clientFetches) {
            ++turn;
            continue;
        }
        job = std::move(client.waiting.front());
        client.waiting.pop_front();
        --queued_;
        turn = turns_.erase(turn);
        if (!client.waiting.empty()) turns_.push_back(identity);
        if (job.dropped && job.dropped->load()) {
            if (client.waiting.empty() && client.running == 0) clients_.erase(identity);
            continue;
        }
        ++client.running;
        return true;
    }
    return false;
}

void Server::jobDoneLocked(const std::string& identity) {
    auto client = clients_.find(identity);
    if (client == clients_.end()) return;
    --client->second.running;
    if (client->second.running <= 0 && client->second.waiting.empty()) clients_.erase(client);
}

void Server::workerMain() {
    Fetcher fetcher(config_.fetch, share_, jars_, &stopping_);
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(jobsMutex_);
            jobsReady_.wait(lock, [this, &job] { return workersStop_ || takeJobLocked(job); });
            if (workersStop_) return;
        }
        Finished finished;
        finished.id = job.id;
        finished.served = serveRequest(job.request, fetcher, filter_, job.dropped.get(), cache_.get());
        finished.command = commandName(job.request.command);
        {
            std::lock_guard<std::mutex> lock(jobsMutex_);
            jobDoneLocked(job.request.identity);
        }
        // A turn may have come for a request of this identity.
        jobsReady_.notify_all();
        {
            std::lock_guard<std::mutex> lock(finishedMutex_);
            finished_.push_back(std::move(finished));
        }
        std::uint64_t one = 1;
        ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
        (void)ignored;
    }
}

}  // namespace wexaproxy
