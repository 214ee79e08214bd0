#include "net/network.h"

#include <curses.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/check.h"
#include "shell/global.h"

namespace {

constexpr const char* kTempPath = "./cache/t.html";
constexpr const char* kTempName = "t.html";

// The page file names by digit; Fetch hands out these constant texts.
constexpr const char* kPageNames[10] = {"0.html", "1.html", "2.html", "3.html", "4.html",
                                        "5.html", "6.html", "7.html", "8.html", "9.html"};

const char* pageName(int digit) {
    WEXA_CHECK(digit >= 0 && digit <= 9, "digit >= 0 && digit <= 9");
    return kPageNames[digit];
}

std::string pagePath(int digit) { return std::string("./cache/") + pageName(digit); }

// Keywords are matched as case-sensitive prefixes of their own length.
bool startsWith(const char* line, const char* keyword) {
    return std::strncmp(line, keyword, std::strlen(keyword)) == 0;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Writes the line's bytes without NUL bytes: a NUL in the middle of a page
// would end the text for the passes that read it.
bool writeLine(std::FILE* f, const char* line, size_t length) {
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && line[i] != '\0') continue;
        const size_t run = i - start;
        if (run > 0 && std::fwrite(line + start, 1, run, f) != run) return false;
        start = i + 1;
    }
    return true;
}

void showError(const char* text) {
    beep();
    GlobalNamespace.message.showErrorMessage(text, false);
}

void forgetOldPage() {
    GlobalNamespace.renderer.reset();
    GlobalNamespace.ast.resetAST();
}

enum class Status { None, Ok, Error };
enum class Cacheable { Unknown, Yes, No };

}  // namespace

const char* Network::Fetch() {
    GlobalVariables& g = GlobalNamespace;
    const char* url = g.url.currentURL;
    switch (g.url.requestType) {
    case FORM_REPLY:
        return sendToProxy();
    case CACHED:
        // Back, forward and the start page: the history position stays.
        if (!g.pageCache.hit(url)) return nullptr;
        forgetOldPage();
        return pageName(g.pageCache.fetchFileName(url));
    case REFRESH:
        return connectAndSend(Request::Refresh);
    default:
        if (g.pageCache.hit(url)) {
            g.pageCache.update(url);
            forgetOldPage();
            return pageName(g.pageCache.fetchFileName(url));
        }
        return connectAndSend(Request::Get);
    }
}

const char* Network::connectAndSend(Request request) {
    io.Connect();
    if (!io.isConnected()) {
        showError(CONNECTION_FAILED);
        return nullptr;
    }
    return request == Request::Get ? sendSimpleGet() : sendRefresh();
}

const char* Network::sendSimpleGet() {
    const std::string request = std::string("GET\n") + GlobalNamespace.url.currentURL + "\n";
    io.println(request.c_str());
    return sendToProxy();
}

const char* Network::sendRefresh() {
    const std::string request = std::string("REFRESH\n") + GlobalNamespace.url.currentURL + "\n";
    io.println(request.c_str());
    return sendToProxy();
}

const char* Network::sendToProxy() {
    GlobalVariables& g = GlobalNamespace;
    File page(std::fopen(kTempPath, "w+b"));
    if (!page) {
        // Nowhere to put the page: the reply is read to its end and dropped.
        while (io.readLine() != nullptr) {
        }
        io.close();
        showError(CACHE_WRITE_FAILED);
        return nullptr;
    }

    // The page on screen stays, elements and all, until the new page is
    // complete: a reply that brings no page leaves it usable.
    Status status = Status::None;
    Cacheable cacheable = Cacheable::Unknown;
    bool written = true;
    while (const char* line = io.readLine()) {
        if (status == Status::Error) {
            // The line after "ERROR" is the server's explanation.
            const std::string text(line);
            io.close();
            showError(text.c_str());
            return nullptr;
        }
        if (status == Status::Ok && cacheable != Cacheable::Unknown)
            written = writeLine(page.get(), line, io.lineLength()) && written;
        if (status == Status::None && startsWith(line, "OK")) {
            status = Status::Ok;
        } else if (status == Status::None && startsWith(line, "ERROR")) {
            status = Status::Error;
        }
        // A page line that begins with TRUE or FALSE switches the flag too:
        // the last such line decides.
        if (status == Status::Ok && startsWith(line, "TRUE")) cacheable = Cacheable::Yes;
        if (status == Status::Ok && startsWith(line, "FALSE")) cacheable = Cacheable::No;
    }
    const ServerIO::Ending ending = io.ending();
    io.close();
    written = std::fclose(page.release()) == 0 && written;

    // A reply cut off by an error or by the time limit may lack any part of
    // its page: nothing of it is shown or kept.
    if (ending == ServerIO::Ending::Failed || ending == ServerIO::Ending::TimedOut) {
        showError(ending == ServerIO::Ending::TimedOut ? REPLY_TIMED_OUT : CONNECTION_LOST);
        return nullptr;
    }
    if (status != Status::Ok || cacheable == Cacheable::Unknown) return nullptr;
    if (!written) {
        showError(CACHE_WRITE_FAILED);
        return nullptr;
    }
    if (cacheable == Cacheable::No) {
        forgetOldPage();
        return kTempName;
    }

    // The history learns of the page only once its file is in place, so that
    // no entry ever points to a file that does not hold its page.
    const char* url = g.url.currentURL;
    cache next = g.pageCache;
    next.update(url);
    const int digit = next.fetchFileName(url);
    // The start page's file is never replaced: a reply for its URL is shown
    // from the reply file like a page that may not be cached.
    if (digit == 0) {
        forgetOldPage();
        return kTempName;
    }
    if (std::rename(kTempPath, pagePath(digit).c_str()) != 0) {
        showError(CACHE_WRITE_FAILED);
        return nullptr;
    }
    g.pageCache = next;
    forgetOldPage();
    return pageName(digit);
}
