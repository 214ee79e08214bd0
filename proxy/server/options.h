#pragma once
// Command-line options of wexapserver.

#include <cstddef>
#include <string>
#include <vector>

#include "proxy/core/log.h"
#include "proxy/fetch/fetcher.h"
#include "proxy/server/requestreader.h"

namespace wexaproxy {

struct PeerAddress {
    std::string host;  // IPv4 address
    int port = 0;
};

struct Config {
    std::string listenAddress = "127.0.0.1";
    int port = 30000;  // 0 picks a free port (tests)
    bool allowRemote = false;
    // The address rule of targets.h: "auto" turns it on exactly when the
    // server listens beyond loopback; the options force it off (local
    // testing behind a firewall) or on (testing the rule on loopback).
    enum class PrivateTargets { Auto, Allow, Refuse };
    PrivateTargets privateTargets = PrivateTargets::Auto;
    int workers = 32;
    int maxConnections = 512;
    // Fair shares: requests waiting for a worker (in all; one client
    // identity holds at most a quarter of them), fetches of one identity at
    // a time, and the reply bytes held for clients still reading them.
    int maxQueue = 256;
    int clientFetches = 8;
    std::size_t maxHeldBytes = 256 * 1024 * 1024;
    long readTimeoutMs = 10000;
    long writeTimeoutMs = 30000;
    RequestLimits requestLimits;
    FetchSettings fetch;
    LogLevel logLevel = LogLevel::Normal;
    // Pages with an article are served as their reader page (the page
    // filter decides what an article is).
    bool readerByDefault = false;
    // The page cache shared by all clients: its bound in bytes (0: none).
    std::size_t cacheBytes = 64 * 1024 * 1024;
    // The key of sealed link tokens, from --secret-file: every instance
    // behind one load balancer is given the same. Empty: a random key of
    // this process alone.
    std::string secret;
    // The port (on listenAddress) where other instances ask this one for
    // its stored link tokens and form records; 0: none. Needs secret.
    int peerPort = 0;
    // The peer ports of the other instances, asked for entries this one
    // does not hold (server/peers.h). Needs secret.
    std::vector<PeerAddress> peers;
    // Every connection begins with a PROXY protocol header (v1 or v2) from
    // a load balancer, naming the real client.
    bool proxyProtocol = false;
};

struct ParsedOptions {
    bool ok = false;
    bool help = false;
    Config config;
    std::string error;  // when not ok
};

// Reads the options that follow the program name.
ParsedOptions parseOptions(const std::vector<std::string>& args);

// The text of --help.
std::string usageText();

// The key in the file at path: all of its bytes, at least
// MIN_SECRET_BYTES and at most MAX_SECRET_BYTES. False, and error says
// why, when it cannot be read, is not a regular file, is too short or too
// long, or group or others may read or write it.
constexpr std::size_t MAX_SECRET_BYTES = 4096;
bool readSecretFile(const std::string& path, std::string& secret, std::string& error);

// True for an IPv4 address in 127.0.0.0/8.
bool isLoopbackAddress(const std::string& address);

}  // namespace wexaproxy
