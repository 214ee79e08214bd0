#pragma once
// The proxy client: decides where the page of the current URL comes from
// (the page cache or the proxy server), sends the requests and reads the
// reply into ./cache/.

#include "net/netio.h"

class Network {
public:
    // The file name, relative to ./cache/, of the page to show ("<d>.html",
    // "t.html"), or null when there is no page (error reply shown, connection
    // failed, cache-only miss, a reply without a page, a reply cut off by a
    // receive error or by the reply time-out, a page that could not be
    // written). The names are constant texts that live for the whole run.
    // The page on screen (the rendering engine and the active element table)
    // is forgotten only when a page is returned; with null it stays usable.
    const char* Fetch();
    const char* sendSimpleGet();
    const char* sendRefresh();
    // Reads the reply to the request just sent on io and closes the
    // connection.
    const char* sendToProxy();

    ServerIO io;

    // The message shown when ./cache/ cannot take the page.
    static constexpr const char* CACHE_WRITE_FAILED = "Cannot write the page to ./cache/";
    static constexpr const char* CONNECTION_FAILED = "CONNECTION FAILED WITH WexaPServer!";
    // A reply that ended by a receive error (a reset connection, say).
    static constexpr const char* CONNECTION_LOST = "CONNECTION LOST WITH WexaPServer!";
    // A reply that was not complete within the reply time-out.
    static constexpr const char* REPLY_TIMED_OUT = "NO COMPLETE REPLY FROM WexaPServer IN TIME!";

private:
    enum class Request { Get, Refresh };
    // Connects and sends the request; on a failed connection the bell and
    // the error message, and null.
    const char* connectAndSend(Request request);
};
