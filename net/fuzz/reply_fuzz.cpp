// Fuzz target: arbitrary proxy replies through the browser's reply reader
// (Network::sendToProxy, ServerIO::readLine) and the page cache update.
// Each reply is written into one end of a socket pair, whose other end the
// browser's connection adopts; nothing else touches the network.
//
// Input: up to 12 replies separated by the line "NEXT-REPLY". The first byte
// of each picks the current URL from a fixed list (the start page, in two
// letter cases, ten other pages, and one URL longer than a history entry
// used to hold); the rest is the reply. So one input can fill the history,
// drop its oldest entries and reuse digits. The history starts afresh for
// every input, with the start page ./cache/0.html present.
//
// Besides what the sanitizers catch, after every reply:
//  - the history's invariants: used entries contiguous from entry 0, the
//    position on a used entry, digits 0 to 9, digit 0 only for the start page;
//  - the start page's file never replaced;
//  - a page result names a file that exists; a cached page is the history
//    entry at the position and holds the current URL;
//  - reading the same URL from the cache only (as back and forward do) finds
//    a file exactly when the URL is in the history, and moves nothing.

#include <curses.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/bounded.h"
#include "common/check.h"
#include "fuzzsupport.h"
#include "shell/global.h"

namespace {

constexpr const char* START_PAGE = "<html><title>start</title>start page</html>";
constexpr const char* SEPARATOR = "\nNEXT-REPLY\n";
constexpr std::size_t MAX_REPLIES = 12;

const std::vector<std::string>& urls() {
    static const std::vector<std::string> URLS = [] {
        std::vector<std::string> u = {"wexa.html", "WEXA.HTML"};
        for (int i = 0; i < 10; ++i) u.push_back("http://example.test/page" + std::to_string(i) + ".html");
        u.push_back("http://example.test/" + std::string(150, 'l') + ".html");
        return u;
    }();
    return URLS;
}

void checkHistory() {
    const cache& history = GlobalNamespace.pageCache;
    bool freeSeen = false;
    for (int i = 0; i < 10; ++i) {
        const cache::Entry& e = history.entry(i);
        if (e.digit == -1) {
            freeSeen = true;
            WEXA_CHECK(e.url[0] == '\0', "a free entry has no URL");
            continue;
        }
        WEXA_CHECK(!freeSeen, "used entries contiguous");
        WEXA_CHECK(e.digit >= 0 && e.digit <= 9, "digit in 0..9");
        WEXA_CHECK(e.digit != 0 || strcasecmp(e.url, "wexa.html") == 0, "digit 0 only for wexa.html");
    }
    const int position = history.getPosition();
    WEXA_CHECK(position >= 0 && position <= 9, "position in 0..9");
    WEXA_CHECK(history.entry(position).digit != -1, "position on a used entry");
}

bool fileExists(const std::string& path) {
    struct stat s {};
    return ::stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode);
}

// Writes the reply into one end of a fresh socket pair, closes that end's
// sending side, and gives the other end to the browser's connection.
void serveReply(const char* reply, std::size_t size) {
    int ends[2];
    WEXA_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0, "socketpair() == 0");
    // The whole reply is written before it is read: the buffer must hold it.
    const int room = static_cast<int>(size) + 65536;
    ::setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(ends[1], reply + sent, size - sent, MSG_NOSIGNAL);
        WEXA_CHECK(n > 0, "reply written to the socket pair");
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(ends[1], SHUT_WR);
    ::close(ends[1]);
    GlobalNamespace.network.io.adopt(ends[0]);
}

void readOneReply(const std::string& url, const char* reply, std::size_t size) {
    GlobalVariables& g = GlobalNamespace;
    wexa::boundedCopy(g.url.currentURL, url.c_str());
    g.url.requestType = ABSOLUTE;
    serveReply(reply, size);
    // An error reply opens the message window, which waits for a key.
    ungetch(' ');
    const char* result = g.network.sendToProxy();
    flushinp();

    checkHistory();
    WEXA_CHECK(wexafuzz::readBytes("cache/0.html") == START_PAGE, "start page file unchanged");
    if (result == nullptr) return;
    WEXA_CHECK(std::strlen(result) == 6 && std::strcmp(result + 1, ".html") == 0, "result is a page name");
    WEXA_CHECK(fileExists(std::string("cache/") + result), "result names an existing file");
    if (std::strcmp(result, "t.html") != 0) {
        const cache::Entry& shown = g.pageCache.entry(g.pageCache.getPosition());
        WEXA_CHECK(shown.digit == result[0] - '0', "cached page is at the position");
        WEXA_CHECK(strcasecmp(shown.url, g.url.currentURL) == 0, "cached page holds the current URL");
    }
}

// Back, forward and the start page read the URL's page from the cache
// only: a URL in the history gives the name of an existing file, and the
// history does not move.
void readFromCache() {
    GlobalVariables& g = GlobalNamespace;
    g.url.requestType = CACHED;
    const int position = g.pageCache.getPosition();
    const char* result = g.network.Fetch();
    WEXA_CHECK(g.pageCache.getPosition() == position, "a cache read leaves the history");
    WEXA_CHECK((result != nullptr) == g.pageCache.hit(g.url.currentURL), "a cache read finds what is cached");
    if (result != nullptr) WEXA_CHECK(fileExists(std::string("cache/") + result), "cached file exists");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    wexafuzz::enterScratchDirectory();
    wexafuzz::startDummyTerminal();
    static const bool ready = [] {
        ::mkdir("cache", 0755);
        GlobalNamespace.network.io.setReplyTimeout(2000);
        return true;
    }();
    (void)ready;

    GlobalNamespace.pageCache = cache();
    wexafuzz::writeBytes("cache/0.html", START_PAGE);

    const char* bytes = reinterpret_cast<const char*>(data);
    const std::size_t separator = std::strlen(SEPARATOR);
    std::size_t start = 0;
    for (std::size_t replies = 0; replies < MAX_REPLIES && start < size; ++replies) {
        const void* found = memmem(bytes + start, size - start, SEPARATOR, separator);
        const std::size_t end =
            found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes) : size;
        if (end > start) {
            const std::string& url = urls()[static_cast<unsigned char>(bytes[start]) % urls().size()];
            readOneReply(url, bytes + start + 1, end - start - 1);
            readFromCache();
        }
        start = end + separator;
    }
    wexafuzz::forgetPage();
    return 0;
}
