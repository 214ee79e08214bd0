#pragma once
// The proxy client: decides where the page of the current URL comes from
// (the page cache or the proxy server), sends the requests and reads the
// reply into ./cache/.

#include <string>
#include <utility>
#include <vector>

#include "net/netio.h"

class ActiveSerialTable;

// What the browser shows while a page is fetched from the proxy server: told
// when the fetch starts (what is fetched, as a short text), asked now and
// then whether to go on (ReplyWatcher: false gives the fetch up, and the page
// on screen stays as it was) and told when the fetch is over, before any
// message about it is shown.
class FetchProgress : public ReplyWatcher {
public:
    virtual void started(const char* what) = 0;
    virtual void finished() = 0;
};
class MessageWindow;
class Rendering_Engine;
class UniformResourceLocator;
class cache;

class Network {
public:
    // A form field as it is sent: name and value.
    using Field = std::pair<const char*, const char*>;

    // What the client works with: the URL to fetch and its request type,
    // the history and page cache, the message window for failures, and the
    // page on screen (engine and active element table), which is forgotten
    // once a new page is ready. The shell connects them once at start-up.
    void connect(UniformResourceLocator& url, cache& pageCache, MessageWindow& messages,
                 Rendering_Engine& renderer, ActiveSerialTable& table);
    // What shows the progress of the fetches from the proxy server (null:
    // nothing); the shell sets it once at start-up.
    void setProgress(FetchProgress* shown) { progress = shown; }

    // The file name, relative to ./cache/, of the page to show ("<d>.html",
    // "t.html"), or null when there is no page (error reply shown, connection
    // failed, cache-only miss, a reply without a page, a reply cut off by a
    // receive error or by the reply time-out, a page that could not be
    // written, a fetch the user gave up). The names are constant texts that
    // live for the whole run. The page on screen (the rendering engine and
    // the active element table) is forgotten only when a page is returned;
    // with null it stays usable.
    const char* Fetch();
    const char* sendSimpleGet();
    const char* sendRefresh();
    // Reads the reply to the request just sent on io and closes the
    // connection.
    const char* sendToProxy();
    // Sends a form to the proxy server: "FORM-POST" (post) or "FORM-GET",
    // the action, the number of fields, then each field's name and value
    // on lines of their own, then an empty line and "~~~". The connection
    // stays open for the reply, which the next Fetch reads (the request type
    // becomes FORM_REPLY). False, with nothing sent and nothing changed,
    // when no connection could be made.
    bool sendForm(bool post, const char* action, const std::vector<Field>& fields);
    // Whether a form was sent and its reply waits to be read by the next
    // Fetch.
    bool replyAwaited() const { return formSent; }
    // Where the form sent last went (its action as it was sent).
    const std::string& lastFormAction() const { return formAction; }

    ServerIO io;

    // The message shown when ./cache/ cannot take the page.
    static constexpr const char* CACHE_WRITE_FAILED = "Cannot write the page to ./cache/";
    static constexpr const char* CONNECTION_FAILED = "CONNECTION FAILED WITH WexaPServer!";
    // A reply that ended by a receive error (a reset connection, say).
    static constexpr const char* CONNECTION_LOST = "CONNECTION LOST WITH WexaPServer!";
    // A reply that was not complete within the reply time-out.
    static constexpr const char* REPLY_TIMED_OUT = "NO COMPLETE REPLY FROM WexaPServer IN TIME!";

private:
    enum class Request { GET_PAGE, REFRESH_PAGE };
    void showError(const char* text);
    void forgetOldPage();
    // The progress of a fetch from the proxy server: shown from begin to end
    // (end may come more than once).
    void beginProgress(const std::string& what);
    void endProgress();

    // Connects and sends the request; on a failed connection the bell and
    // the error message, and null.
    const char* connectAndSend(Request request);

    UniformResourceLocator* url = nullptr;
    cache* pageCache = nullptr;
    MessageWindow* messages = nullptr;
    Rendering_Engine* renderer = nullptr;
    ActiveSerialTable* table = nullptr;
    FetchProgress* progress = nullptr;
    bool progressShown = false;
    bool formSent = false;
    std::string formAction;  // where the form sent last goes, as it was sent
};
