// Load generator for wexapserver: N concurrent clients fetch one page for a
// fixed time, either through the proxy with the browser's line protocol
// ("proxy" mode: one connection per page, "GET\n<url>\n", reply read to the
// six "~"), or straight from the web server ("direct" mode: one connection
// per page, HTTP/1.1 with Connection: close), which is the floor the proxy
// is measured against. Connects to 127.0.0.1 only.
//
// With --sources N (1 to 254), client i sends from the loopback address
// 127.0.0.(1 + i mod N): it binds its socket to that address before
// connecting. A load balancer that picks the server by the client's address
// then sees N clients' addresses instead of one. Every address stays within
// 127.0.0.0/8, which the kernel routes to the loopback interface.
//
// Output, one line: pages, seconds, pages/s, p50 and p99 latency in ms, errors.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string mode = "proxy";
    int port = 0;
    std::string target;  // proxy: the URL to ask for; direct: the path
    int clients = 1;
    double seconds = 5;
    std::size_t minBytes = 0;  // a page shorter than this counts as an error
    int sources = 1;           // loopback source addresses 127.0.0.1 .. 127.0.0.<sources>
};

// The most source addresses: 127.0.0.1 to 127.0.0.254.
constexpr int MAX_SOURCES = 254;

// Why a fetch failed, counted separately so that a failing run says where.
enum Failure { CONNECT, SEND, RECEIVE, BAD_REPLY, FAILURE_KINDS };
const char* const FAILURE_NAMES[FAILURE_KINDS] = {"connect", "send", "receive", "bad_reply"};

struct ClientStats {
    std::vector<double> latenciesMs;
    long errors = 0;
    long failures[FAILURE_KINDS] = {};
};

// Connects to 127.0.0.1:port from 127.0.0.<source> (1 to MAX_SOURCES); the
// kernel picks the source port. Source 1 is the address an unbound socket
// would get, so it needs no bind.
int connectLoopback(int port, int source) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (source != 1) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_port = 0;
        from.sin_addr.s_addr = htonl((127u << 24) | static_cast<std::uint32_t>(source));
        if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
            ::close(fd);
            return -1;
        }
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval limit{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

bool sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t put = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (put <= 0) return false;
        sent += static_cast<std::size_t>(put);
    }
    return true;
}

// One fetch; true when the whole page arrived, otherwise failure says why.
bool fetchOnce(const Options& options, int source, const std::string& request, std::string& buffer,
               Failure& failure) {
    int fd = connectLoopback(options.port, source);
    failure = CONNECT;
    if (fd < 0) return false;
    bool ok = sendAll(fd, request);
    failure = ok ? RECEIVE : SEND;
    buffer.clear();
    char chunk[65536];
    bool proxy = options.mode == "proxy";
    while (ok) {
        ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got < 0) ok = false;
        if (got <= 0) break;
        buffer.append(chunk, static_cast<std::size_t>(got));
        // The browser stops at the end mark; it does not wait for the close.
        if (proxy && buffer.size() >= 7 && buffer.compare(buffer.size() - 7, 7, "~~~~~~\n") == 0) break;
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
    if (!ok) return false;
    failure = BAD_REPLY;
    if (proxy) {
        // A page the browser may cache (TRUE) or not (FALSE, no-store pages).
        const bool page = buffer.compare(0, 8, "OK\nTRUE\n") == 0 || buffer.compare(0, 9, "OK\nFALSE\n") == 0;
        return page && buffer.size() >= options.minBytes &&
               buffer.compare(buffer.size() - 7, 7, "~~~~~~\n") == 0;
    }
    std::size_t headerEnd = buffer.find("\r\n\r\n");
    return buffer.compare(0, 12, "HTTP/1.1 200") == 0 && headerEnd != std::string::npos &&
           buffer.size() - headerEnd - 4 >= options.minBytes;
}

void clientLoop(const Options& options, int source, Clock::time_point until, ClientStats& stats) {
    std::string request =
        options.mode == "proxy"
            ? "GET\n" + options.target + "\n"
            : "GET " + options.target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    std::string buffer;
    buffer.reserve(1 << 17);
    while (Clock::now() < until) {
        Clock::time_point start = Clock::now();
        Failure failure = CONNECT;
        bool ok = fetchOnce(options, source, request, buffer, failure);
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (ok) {
            stats.latenciesMs.push_back(ms);
        } else {
            ++stats.errors;
            ++stats.failures[failure];
            if (failure == BAD_REPLY && stats.failures[BAD_REPLY] == 1) {
                std::fprintf(stderr, "first bad reply (%zu bytes): %.60s\n", buffer.size(), buffer.c_str());
            }
        }
    }
}

double percentile(std::vector<double>& values, double fraction) {
    if (values.empty()) return 0;
    std::size_t index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    std::nth_element(values.begin(), values.begin() + static_cast<long>(index), values.end());
    return values[index];
}

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: proxy_loadgen --mode proxy|direct --port N --target URL_OR_PATH\n"
                 "                     [--clients N] [--seconds S] [--min-bytes N] [--sources N]\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc) usage();
        std::string value = argv[++i];
        if (option == "--mode") {
            options.mode = value;
        } else if (option == "--port") {
            options.port = std::atoi(value.c_str());
        } else if (option == "--target") {
            options.target = value;
        } else if (option == "--clients") {
            options.clients = std::max(1, std::atoi(value.c_str()));
        } else if (option == "--seconds") {
            options.seconds = std::atof(value.c_str());
        } else if (option == "--sources") {
            options.sources = std::atoi(value.c_str());
        } else if (option == "--min-bytes") {
            options.minBytes = static_cast<std::size_t>(std::atol(value.c_str()));
        } else {
            usage();
        }
    }
    if ((options.mode != "proxy" && options.mode != "direct") || options.port <= 0 ||
        options.target.empty() || options.sources < 1 || options.sources > MAX_SOURCES) {
        usage();
    }

    std::vector<ClientStats> stats(static_cast<std::size_t>(options.clients));
    std::vector<std::thread> threads;
    Clock::time_point start = Clock::now();
    Clock::time_point until =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
    for (int i = 0; i < options.clients; ++i) {
        threads.emplace_back(clientLoop, std::cref(options), 1 + i % options.sources, until,
                             std::ref(stats[static_cast<std::size_t>(i)]));
    }
    for (std::thread& thread : threads) thread.join();
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    std::vector<double> all;
    long errors = 0;
    long failures[FAILURE_KINDS] = {};
    for (ClientStats& client : stats) {
        all.insert(all.end(), client.latenciesMs.begin(), client.latenciesMs.end());
        errors += client.errors;
        for (int kind = 0; kind < FAILURE_KINDS; ++kind) failures[kind] += client.failures[kind];
    }
    if (errors > 0) {
        std::fprintf(stderr, "errors by kind:");
        for (int kind = 0; kind < FAILURE_KINDS; ++kind)
            std::fprintf(stderr, " %s=%ld", FAILURE_NAMES[kind], failures[kind]);
        std::fprintf(stderr, "\n");
    }
    std::size_t pages = all.size();
    double p50 = percentile(all, 0.50);
    double p99 = percentile(all, 0.99);
    std::printf("pages=%zu seconds=%.2f rate=%.0f p50_ms=%.3f p99_ms=%.3f errors=%ld\n", pages, elapsed,
                static_cast<double>(pages) / elapsed, p50, p99, errors);
    return 0;
}
