#pragma once
// A one-connection peer on 127.0.0.1 that records every byte it receives,
// standing in for the proxy server.

#include <string>
#include <thread>

namespace controlstest {

class FakePeer {
public:
    FakePeer();  // listens on a free port of 127.0.0.1
    ~FakePeer();
    FakePeer(const FakePeer&) = delete;
    FakePeer& operator=(const FakePeer&) = delete;

    unsigned short port() const { return port_; }
    // Waits (at most a few seconds) until the client has closed its side,
    // and returns what arrived.
    std::string received();

private:
    void serve();

    int listener = -1;
    unsigned short port_ = 0;
    std::string bytes;
    std::thread worker;
};

// A port of 127.0.0.1 on which nothing listens.
unsigned short closedPort();

}  // namespace controlstest
