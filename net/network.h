#pragma once
// The proxy client: decides where the page of the current URL comes from
// (the page cache or the proxy server), sends the requests and reads the
// reply into ./cache/.

#include "net/netio.h"

class Network {
public:
    // The file name, relative to ./cache/, of the page to show ("<d>.html",
    // "t.html"), or null when there is no page (error reply shown, connection
    // failed, cache-only miss). The text stays valid until the next call.
    const char* Fetch();
    const char* sendSimpleGet();
    const char* sendRefresh();
    const char* sendToProxy();

    ServerIO io;
};
