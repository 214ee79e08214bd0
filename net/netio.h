#pragma once
// ServerIO: one TCP connection to the proxy server (port 30000) and the raw
// line input and output of its protocol.

#include <netinet/in.h>

#include <chrono>
#include <cstddef>

// Told about a reply while it is awaited and read, so that the browser can
// show its progress and the user can give up waiting.
class ReplyWatcher {
public:
    virtual ~ReplyWatcher() = default;
    // Called about every WATCH_INTERVAL_MS while a connection is made or a
    // reply awaited, and as often while it arrives, with the bytes received
    // so far. False ends the wait: the reply is given up.
    virtual bool keepWaiting(std::size_t received) = 0;
};

class ServerIO {
public:
    static constexpr unsigned short PORT = 30000;
    static constexpr int END = -1;  // read(): end of stream, error, time-out
    static constexpr int CONNECT_TIMEOUT_MS = 10000;
    static constexpr int REPLY_TIMEOUT_MS = 30000;
    static constexpr int WATCH_INTERVAL_MS = 100;

    // How the input of the current connection ended, once read() gave END.
    enum class Ending {
        NONE,       // not ended (or ended by the reader: an end mark, an empty line)
        CLOSED,     // the peer ended the stream in order
        FAILED,     // a receive error, such as a reset connection
        TIMED_OUT,  // the reply was not complete within the reply time-out
        CANCELLED,  // the watcher gave it up
    };

    ServerIO();  // built-in default address 127.0.0.1
    explicit ServerIO(const char* address);
    ~ServerIO();
    ServerIO(const ServerIO&) = delete;
    ServerIO& operator=(const ServerIO&) = delete;

    // Opens a new connection (closing any open one); the outcome is in
    // isConnected(). Gives up after 10 seconds. Connect(address) connects to
    // the given address without changing the stored one.
    void Connect();
    void Connect(const char* address);
    // Sends the bytes of text; false without sending when not connected.
    bool println(const char* text);
    // One byte 0..255, or END. A reply must be complete within 30 seconds of
    // the connection (a silent peer and one that trickles its bytes alike);
    // after that time read gives END. Once END has been seen every later read
    // gives END until the next Connect; ending() tells why it came.
    int read();
    Ending ending() const { return ending_; }
    // The next line without its "\n" (at most 511 bytes per piece), or null
    // at the end of the reply (six "~", an empty line, or the end of the
    // stream). The line may hold NUL bytes: lineLength() is its true length.
    // The buffer belongs to this object and stays valid until the next call.
    char* readLine();
    size_t lineLength() const { return lineLen; }
    // Shuts the connection down in both directions and closes it.
    void close();
    // For tests and fuzzing: takes fd, an already connected stream socket
    // (one end of a socket pair, say), as the connection of the next reply,
    // as if Connect had opened it; any open connection is closed first. The
    // object owns fd from then on.
    void adopt(int fd);

    bool isConnected() const { return connected; }
    const char* getAddress() const { return addressText; }
    void setAddress(const char* address);
    // For tests: the port to connect to (the proxy protocol uses 30000) and
    // shorter limits for connecting and for a reply (from the next
    // connection on).
    void setPort(unsigned short port) { port_ = port; }
    void setConnectTimeout(int ms) { connectTimeoutMs = ms; }
    void setReplyTimeout(int ms) { replyTimeoutMs = ms; }
    // The watcher of the connections and replies from now on (null: none).
    // Making a connection that the watcher gives up leaves the object not
    // connected, with ending() CANCELLED.
    void setWatcher(ReplyWatcher* w) { watcher = w; }

private:
    void connectTo(const char* address);
    // Closes any open connection and forgets what was read from it.
    void startAfresh();
    bool waitUntilConnected(int fd);
    // Waits for the events on fd for at most timeoutMs, asking the watcher
    // now and then whether to go on. The revents, or 0 when the time ran out
    // or the watcher gave up (then `cancelled` is set).
    short waitWatched(int fd, short events, int timeoutMs);
    // Tells the watcher how far the reply has come, at most every
    // WATCH_INTERVAL_MS; false when it gives up.
    bool watcherKeepsWaiting(bool now);

    sockaddr_in server{};
    char addressText[20] = {};
    int sock = -1;
    bool connected = true;
    unsigned short port_ = PORT;
    char lineBuffer[512] = {};
    size_t lineLen = 0;
    int tildeRun = 0;
    // The previous piece was cut at 511 bytes, so a "\n" that comes next
    // ends that long line and is not an empty line.
    bool continuingLine = false;

    // Bytes received but not yet handed out by read().
    unsigned char input[4096] = {};
    size_t inputPos = 0;
    size_t inputLen = 0;
    bool streamEnded = false;
    Ending ending_ = Ending::NONE;
    // When the reply of the current connection must be complete.
    std::chrono::steady_clock::time_point replyDeadline{};

    int connectTimeoutMs = CONNECT_TIMEOUT_MS;
    int replyTimeoutMs = REPLY_TIMEOUT_MS;

    ReplyWatcher* watcher = nullptr;
    bool cancelled = false;
    std::size_t received = 0;  // bytes of the current connection
    std::chrono::steady_clock::time_point lastWatch{};
};
