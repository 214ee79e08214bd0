#pragma once
// A stand-in for the proxy server in tests: listens on 127.0.0.1 on a free
// port, accepts one connection per scripted reply, records the request bytes
// and sends the reply.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace nettest {

class FakePeer {
public:
    enum class AfterReply {
        CLOSE,            // the reply ends with the end of the stream
        WAIT_FOR_CLIENT,  // keep the connection open until the client closes it
        RESET,            // reset the connection instead of ending it in order
    };
    struct Exchange {
        std::string reply;
        size_t requestLines;  // the request is complete after this many "\n"
        AfterReply after = AfterReply::CLOSE;
    };

    explicit FakePeer(std::vector<Exchange> script);
    ~FakePeer();
    FakePeer(const FakePeer&) = delete;
    FakePeer& operator=(const FakePeer&) = delete;

    unsigned short port() const { return port_; }
    // Waits until the script has run (or given up) and returns the bytes of
    // each request received, in order.
    const std::vector<std::string>& requests();

private:
    void serve();

    int listener = -1;
    unsigned short port_ = 0;
    std::vector<Exchange> script;
    std::vector<std::string> received;
    std::thread worker;
};

// A port on 127.0.0.1 where nothing listens: connecting is refused.
unsigned short refusedPort();

}  // namespace nettest
