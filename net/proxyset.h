#pragma once
// The proxy server's address: tested with PING, set at run time by the
// address dialog, and kept in ./.proxy.conf (18 bytes: the address, its
// terminating NUL, filler).

#include <fstream>

class MessageWindow;
class PageView;
class ServerIO;

class Proxy {
public:
    Proxy() = default;
    // The connection the dialog tests addresses on and gives the accepted
    // one to, the message window for the outcome, and the page view that is
    // repainted when the dialog closes; the shell connects them once at
    // start-up. load() needs none of them.
    void connect(ServerIO& connection, MessageWindow& messageWindow, PageView& pageView);

    // Reads ./.proxy.conf (creating it empty with permissions 0664 when
    // missing). Returns true when it held an address, which getIP() then
    // gives; the caller applies it to the network client. A file that is not
    // a regular file, cannot be read, or holds no NUL-terminated address in
    // its first 18 bytes leaves the address empty.
    bool load();
    // The address dialog; true when an address was accepted or nothing was
    // entered, false when the test failed.
    bool setNew();
    const char* getIP() const { return address; }

    static constexpr const char* CONF_FILE = ".proxy.conf";
    static constexpr int CONF_SIZE = 18;

private:
    // Writes the 18 bytes of input to the configuration file, unless the
    // name is taken by something that is not a regular file.
    void store(const char (&input)[CONF_SIZE]);

    std::fstream conf;  // open only while reading or writing the file
    char address[CONF_SIZE] = {};
    ServerIO* io = nullptr;
    MessageWindow* messages = nullptr;
    PageView* page = nullptr;
};
