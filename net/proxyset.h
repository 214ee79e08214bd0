#pragma once
// The proxy server's address: tested with PING, set at run time by the
// address dialog, and kept in ./.proxy.conf (18 bytes: the address, its
// terminating NUL, filler).

#include <fstream>

class Proxy {
public:
    Proxy() = default;
    // Reads ./.proxy.conf (creating it empty with permissions 0664 when
    // missing). Returns true when it held an address.
    bool load();
    // The address dialog; true when an address was accepted or nothing was
    // entered, false when the test failed.
    bool setNew();
    const char* getIP() const { return address; }

private:
    std::fstream conf;
    char address[18] = {};
};
