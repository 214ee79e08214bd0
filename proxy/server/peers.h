#pragma once
// Instances behind one load balancer asking each other for stored entries.
//
// Stored link tokens and form tokens (normalise/tokens.h) live in the memory
// of the instance that served the page. When the balancer sends a client's
// next request to another instance, that instance asks its peers, one after
// the other and each with a short deadline, for the entry of that id and
// that owner; a peer down or slow is skipped. What is found joins the local
// store, so the next use is local.
//
// Every instance shares the secret of --secret-file, which authenticates
// both directions with HMAC-SHA256 (messages begin with labels of their own,
// so no peer MAC is ever valid for a sealed token or the other way round):
//
//   request, one line of at most MAX_PEER_REQUEST bytes:
//     "WEXAPEER1 <link|form> <id, 16 hex digits> <seconds since 1970>
//      <owner, hex> <MAC, 64 hex digits>\n"           (on one line)
//     MAC over REQUEST_LABEL and the line up to the blank before the MAC.
//   reply: the payload's length (4 bytes, most significant first, at most
//     MAX_PEER_PAYLOAD), the payload, and 32 bytes of MAC over REPLY_LABEL,
//     the request's MAC, the length and the payload. The payload is empty
//     when the peer holds no such entry; else the URL (links) or the form
//     record's bytes (forms, see formrecord.h).
//
// A request whose time is more than PEER_CLOCK_SKEW away from the peer's
// clock, whose MAC is wrong or which is malformed gets no reply at all: the
// connection closes and the peer logs why with the asker's address. A reply
// is bound to its request by the request's MAC, so it cannot be replayed
// for another. The traffic is authenticated, not encrypted: keep it on
// loopback or a private link.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "proxy/core/log.h"
#include "proxy/normalise/tokens.h"
#include "proxy/server/options.h"

namespace wexaproxy {

constexpr std::size_t MAX_PEER_REQUEST = 512;
constexpr std::size_t MAX_PEER_PAYLOAD = 1024 * 1024;
constexpr std::int64_t PEER_CLOCK_SKEW = 60;  // seconds

using PeerMac = std::array<unsigned char, HMAC_BYTES>;

// The request line asking for the entry of kind and id of owner, at now
// (seconds since 1970); mac is set to its MAC (what the reply is bound to).
std::string peerRequest(std::string_view secret, TokenStore::EntryKind kind, const std::string& owner,
                        std::uint64_t id, std::int64_t now, PeerMac& mac);

// The reply to a request line (without its line break) as the instance
// holding store answers it at now; empty when it gets none, and then why
// says why.
std::string answerPeerRequest(std::string_view line, TokenStore& store, std::int64_t now, std::string& why);

// What a whole reply to the request whose MAC is requestMac holds: an entry
// of kind (found is set), none, or nothing to go by (not authentic, not of
// this request, or not readable).
enum class PeerReply { Entry, NoEntry, Invalid };
PeerReply readPeerReply(std::string_view secret, const PeerMac& requestMac, TokenStore::EntryKind kind,
                        std::string_view reply, TokenStore::Entry& found);

// Asks the peers for entries this instance does not hold (install lookUp as
// the token store's fallback).
class PeerClient {
public:
    // Each peer has PEER_DEADLINE to answer, all of them together PEER_TOTAL.
    static constexpr std::chrono::milliseconds PEER_DEADLINE{500};
    static constexpr std::chrono::milliseconds PEER_TOTAL{1500};

    PeerClient(std::vector<PeerAddress> peers, const TokenStore& store, const Log& log);
    bool lookUp(TokenStore::EntryKind kind, const std::string& owner, std::uint64_t id,
                TokenStore::Entry& found);

private:
    // The whole reply of one peer, or false (down, slow, or it refused).
    bool ask(const PeerAddress& peer, const std::string& request,
             std::chrono::steady_clock::time_point deadline, std::string& reply) const;

    const std::vector<PeerAddress> peers_;
    const TokenStore& store_;
    const Log& log_;
};

// Answers the peers' requests on a port of its own: one thread accepts, a
// few serve, each connection within PEER_SERVE_DEADLINE; connections beyond
// what waits in the queue are closed at once. None of it touches the
// browser port.
class PeerListener {
public:
    static constexpr int PEER_THREADS = 2;
    static constexpr std::size_t PEER_QUEUE = 32;
    static constexpr std::chrono::milliseconds PEER_SERVE_DEADLINE{1000};

    PeerListener(TokenStore& store, const Log& log);
    ~PeerListener();
    PeerListener(const PeerListener&) = delete;
    PeerListener& operator=(const PeerListener&) = delete;

    // Binds and listens (port 0 picks a free one); error says why not.
    bool open(const std::string& address, int port, std::string& error);
    int port() const { return port_; }
    // Starts the threads; stop() (also the destructor) ends them.
    void start();
    void stop();

private:
    void acceptMain();
    void serveMain();
    void serve(int fd);

    TokenStore& store_;
    const Log& log_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<int> waiting_;
    std::vector<std::thread> threads_;
};

}  // namespace wexaproxy
