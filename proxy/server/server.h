#pragma once
// The network side of wexapserver.
//
// Design: one event-loop thread owns every browser connection (epoll,
// non-blocking sockets) and a bounded pool of worker threads does the
// fetching. The loop reads requests, with a deadline per connection, and
// only a complete request is handed to a worker; the worker hands the reply
// back and the loop writes it: only the loop ever touches a socket. So a
// silent or slow client costs one idle socket, never a worker, and the
// workers, which block in libcurl for as long as a web server takes, are
// all busy with real fetches. Blocking fetches on threads (rather than one
// event-driven curl multi handle) keep the fetch code simple and let the
// page filter, which does real CPU work, run on every core.
//
// Many users share one server, so every request carries the identity of
// its client (identity.h), found once when the connection is accepted (or,
// behind a load balancer speaking the PROXY protocol, once its header has
// named the real client), and
// the server shares out its work by identity: waiting requests queue per
// identity and workers take them in turns, one identity at most
// clientFetches at a time; the queue is bounded in all and per identity,
// and a request beyond it is told the server is busy. PING is answered by
// the loop itself. A client that hangs up while its request waits is
// dropped before anything is fetched (and a fetch under way for it is
// abandoned). Replies held for clients still reading are bounded in bytes:
// past the bound the slowest readers are dropped.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "proxy/core/log.h"
#include "proxy/core/pagefilter.h"
#include "proxy/fetch/cookiejar.h"
#include "proxy/fetch/fetcher.h"
#include "proxy/server/handler.h"
#include "proxy/server/options.h"
#include "proxy/server/requestreader.h"

namespace wexaproxy {

class Server {
public:
    Server(const Config& config, const PageFilter& filter, const Log& log);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; on failure error says why.
    bool open(std::string& error);
    // The port listened on (useful after asking for port 0).
    int port() const { return port_; }

    // Serves until stop() is called.
    void run();
    // Asks run() to return. Safe to call from a signal handler.
    void stop();

private:
    using Clock = std::chrono::steady_clock;
    enum class Phase { Reading, Waiting, Writing, Draining };

    struct Connection {
        std::uint64_t id = 0;
        int fd = -1;
        Phase phase = Phase::Reading;
        bool watched = false;  // registered with epoll
        RequestReader reader;
        // With --proxy-protocol: the bytes of the PROXY header received so
        // far, until it is complete; the identity is found from it.
        bool awaitingHeader = false;
        std::string header;
        std::string identity;  // who the client is (identity.h)
        Clock::time_point started;
        Clock::time_point deadline;
        std::string out;
        std::size_t sent = 0;
        Clock::time_point writeStarted;
        // Set when the client hangs up while its request waits or is fetched.
        std::shared_ptr<std::atomic<bool>> dropped;
    };
    // A complete request for a worker, and the reply it hands back: workers
    // never touch a socket.
    struct Job {
        std::uint64_t id = 0;
        Request request;
        std::shared_ptr<std::atomic<bool>> dropped;
    };
    // The requests of one identity: those waiting for a worker, and the
    // number being fetched.
    struct ClientJobs {
        std::deque<Job> waiting;
        int running = 0;
    };
    struct Finished {
        std::uint64_t id = 0;
        Served served;
        std::string command;
    };

    void acceptAll();
    void pauseAccepting(Clock::time_point until);
    bool connectionsWaiting() const;
    Connection* evictable(Clock::time_point now);
    void onEvent(std::uint64_t id, std::uint32_t events);
    void readFrom(Connection& conn);
    bool takeHeader(Connection& conn, const char* bytes, std::size_t size);
    bool takeRequestBytes(Connection& conn, const char* bytes, std::size_t size);
    void requestRead(Connection& conn);
    bool enqueue(Connection& conn);
    void clientGone(Connection& conn);
    bool makeRoom(std::size_t bytes, Clock::time_point now);
    void startReply(Connection& conn, std::string bytes);
    void releaseOut(Connection& conn);
    void writeTo(Connection& conn);
    void drain(Connection& conn);
    void watch(Connection& conn, std::uint32_t events);
    void unwatch(Connection& conn);
    void close(std::uint64_t id);
    void collectFinished();
    void sweepDeadlines();
    void logDone(const Connection& conn, const std::string& command, const std::string& url,
                 const std::string& outcome, std::size_t bytes, const std::string& cache = {});
    void workerMain();
    bool takeJobLocked(Job& job);
    void jobDoneLocked(const std::string& identity);

    const Config config_;
    const PageFilter& filter_;
    const Log& log_;
    CurlShare share_;

    int listenFd_ = -1;
    int epollFd_ = -1;
    int wakeFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    // Accepting pauses while the connection table is full, and for a moment
    // when descriptors run out (the listening socket would stay readable and
    // the loop would spin); it resumes at acceptResumes_ once there is room.
    bool acceptPaused_ = false;
    Clock::time_point acceptResumes_;
    std::uint64_t nextId_ = 2;  // 0 is the listening socket, 1 the wake-up descriptor
    std::unordered_map<std::uint64_t, Connection> connections_;

    CookieJars jars_;
    // Pages kept for every client (null when --cache-bytes is 0).
    std::unique_ptr<PageCache> cache_;
    std::size_t heldBytes_ = 0;  // reply bytes of connections still writing

    std::mutex jobsMutex_;
    std::condition_variable jobsReady_;
    std::unordered_map<std::string, ClientJobs> clients_;
    std::list<std::string> turns_;  // identities with waiting requests, next turn first
    std::size_t queued_ = 0;        // requests waiting in all
    bool workersStop_ = false;

    std::mutex finishedMutex_;
    std::vector<Finished> finished_;

    std::vector<std::thread> workers_;
};

}  // namespace wexaproxy
