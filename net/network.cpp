#include "net/network.h"

#include <curses.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/check.h"
#include "net/cache.h"
#include "net/url.h"
#include "render/Rendering_Engine.h"
#include "render/ast.h"
#include "screen/messages.h"

namespace {

// The file a reply is read into; kept under a digit's name when the page
// may be cached.
std::string replyPath() {
    return std::string(CACHE_DIRECTORY) + REPLY_FILE_NAME;
}

std::string pagePath(int digit) {
    return std::string(CACHE_DIRECTORY) + cacheFileName(digit);
}

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

enum class Status { NONE, OK_REPLY, ERROR_REPLY };
enum class Cacheable { UNKNOWN, YES, NO };

}  // namespace

void Network::connect(UniformResourceLocator& currentUrl, cache& history, MessageWindow& messageWindow,
                      Rendering_Engine& engine, ActiveSerialTable& activeTable) {
    url = &currentUrl;
    pageCache = &history;
    messages = &messageWindow;
    renderer = &engine;
    table = &activeTable;
}

void Network::beginProgress(const std::string& what) {
    if (progress == nullptr) return;
    progress->started(what.c_str());
    io.setWatcher(progress);
    progressShown = true;
}

void Network::endProgress() {
    if (!progressShown) return;
    progressShown = false;
    io.setWatcher(nullptr);
    progress->finished();
}

void Network::showError(const char* text) {
    endProgress();
    beep();
    if (messages != nullptr) messages->showErrorMessage(text, false);
}

void Network::forgetOldPage() {
    if (renderer != nullptr) renderer->reset();
    if (table != nullptr) table->resetAST();
}

const char* Network::Fetch() {
    WEXA_CHECK(url != nullptr && pageCache != nullptr, "network connected");
    const char* wanted = url->currentURL;
    const bool formReply = formSent;
    formSent = false;
    switch (url->requestType) {
        case FORM_REPLY: {
            // An action the proxy server keeps for the form is no address
            // to show.
            if (formReply)
                beginProgress(formAction.find("~~F") != std::string::npos
                                  ? std::string("Sending the form")
                                  : "Sending the form to " + readableURL(formAction.c_str()));
            const char* page = sendToProxy();
            endProgress();
            return page;
        }
        case CACHED:
            // Back, forward and the start page: the history position stays.
            if (!pageCache->hit(wanted)) return nullptr;
            forgetOldPage();
            return cacheFileName(pageCache->fetchFileName(wanted));
        case REFRESH:
            return connectAndSend(Request::REFRESH_PAGE);
        default:
            if (pageCache->hit(wanted)) {
                pageCache->update(wanted);
                forgetOldPage();
                return cacheFileName(pageCache->fetchFileName(wanted));
            }
            return connectAndSend(Request::GET_PAGE);
    }
}

const char* Network::connectAndSend(Request request) {
    beginProgress("Loading " + readableURL(url->currentURL));
    io.Connect();
    if (!io.isConnected()) {
        // Given up by the user: nothing to report.
        if (io.ending() == ServerIO::Ending::CANCELLED)
            endProgress();
        else
            showError(CONNECTION_FAILED);
        return nullptr;
    }
    const char* page = request == Request::GET_PAGE ? sendSimpleGet() : sendRefresh();
    endProgress();
    return page;
}

const char* Network::sendSimpleGet() {
    const std::string request = std::string("GET\n") + url->currentURL + "\n";
    io.println(request.c_str());
    return sendToProxy();
}

const char* Network::sendRefresh() {
    const std::string request = std::string("REFRESH\n") + url->currentURL + "\n";
    io.println(request.c_str());
    return sendToProxy();
}

const char* Network::sendToProxy() {
    WEXA_CHECK(url != nullptr && pageCache != nullptr, "network connected");
    const std::string temporary = replyPath();
    File page(std::fopen(temporary.c_str(), "w+b"));
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
    Status status = Status::NONE;
    Cacheable cacheable = Cacheable::UNKNOWN;
    bool written = true;
    while (const char* line = io.readLine()) {
        if (status == Status::ERROR_REPLY) {
            // The line after "ERROR" is the server's explanation.
            const std::string text(line);
            io.close();
            showError(text.c_str());
            return nullptr;
        }
        if (status == Status::OK_REPLY && cacheable != Cacheable::UNKNOWN)
            written = writeLine(page.get(), line, io.lineLength()) && written;
        if (status == Status::NONE && startsWith(line, "OK")) {
            status = Status::OK_REPLY;
        } else if (status == Status::NONE && startsWith(line, "ERROR")) {
            status = Status::ERROR_REPLY;
        }
        // A page line that begins with TRUE or FALSE switches the flag too:
        // the last such line decides.
        if (status == Status::OK_REPLY && startsWith(line, "TRUE")) cacheable = Cacheable::YES;
        if (status == Status::OK_REPLY && startsWith(line, "FALSE")) cacheable = Cacheable::NO;
    }
    const ServerIO::Ending ending = io.ending();
    io.close();
    written = std::fclose(page.release()) == 0 && written;

    // A reply cut off by an error or by the time limit may lack any part of
    // its page: nothing of it is shown or kept; neither of one given up.
    if (ending == ServerIO::Ending::CANCELLED) return nullptr;
    if (ending == ServerIO::Ending::FAILED || ending == ServerIO::Ending::TIMED_OUT) {
        showError(ending == ServerIO::Ending::TIMED_OUT ? REPLY_TIMED_OUT : CONNECTION_LOST);
        return nullptr;
    }
    if (status != Status::OK_REPLY || cacheable == Cacheable::UNKNOWN) return nullptr;
    if (!written) {
        showError(CACHE_WRITE_FAILED);
        return nullptr;
    }
    if (cacheable == Cacheable::NO) {
        forgetOldPage();
        return REPLY_FILE_NAME;
    }

    // The history learns of the page only once its file is in place, so that
    // no entry ever points to a file that does not hold its page.
    const char* shown = url->currentURL;
    cache next = *pageCache;
    next.update(shown);
    const int digit = next.fetchFileName(shown);
    // The start page's file is never replaced: a reply for its URL is shown
    // from the reply file like a page that may not be cached.
    if (digit == 0) {
        forgetOldPage();
        return REPLY_FILE_NAME;
    }
    if (std::rename(temporary.c_str(), pagePath(digit).c_str()) != 0) {
        showError(CACHE_WRITE_FAILED);
        return nullptr;
    }
    *pageCache = next;
    forgetOldPage();
    return cacheFileName(digit);
}

bool Network::sendForm(bool post, const char* action, const std::vector<Field>& fields) {
    io.Connect();
    if (!io.isConnected()) return false;

    io.println(post ? "FORM-POST\n" : "FORM-GET\n");
    io.println(action);
    io.println("\n");
    io.println(std::to_string(fields.size()).c_str());
    io.println("\n");
    for (const Field& field : fields) {
        io.println(field.first);
        io.println("\n");
        io.println(field.second);
        io.println("\n");
    }
    io.println("\n~~~\n");

    if (url != nullptr) url->setReqType(FORM_REPLY);
    formSent = true;
    formAction = action != nullptr ? action : "";
    return true;
}
