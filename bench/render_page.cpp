// render_page: renders one page file the way the browser renders a page, then
// exits; timed as a whole process against other text browsers.
//
// Usage: render_page [--stats] PAGE
//
// Curses runs on a dummy 80x24 terminal: TERM is set to xterm when unset, and
// the screen is opened with newterm on /dev/null, so the screen updates are
// generated and written but go nowhere. Then the browser's own start-up and
// page code runs: the page pad is created, the terminal modes and colour
// pairs are set (StubClass::initCurses), and StubClass::Render renders the
// page: pass one writes pass1.tmp and the title, the title line is drawn, the
// table pass writes pass2.tmp, and pass three lays the page out into the pad,
// draws the frame and shows the top of the page. The pad is a window of
// 2,000 rows onto the page: pass three draws every row of the page once, the
// window moving on as it fills, and then draws the window at the top of the
// page anew to show it, as the browser does.
//
// Render reads pages from the cache directory "./cache/", so the page is
// reached through a symbolic link "./cache/p.html" made for the run (and the
// directory too when there is none); both are removed at the end. An existing
// "./cache/p.html" that is not a symbolic link is left alone and the program
// stops. pass1.tmp and pass2.tmp are left in the working directory, as the
// browser leaves them. Like the browser, the program prints "Stub
// constructor" on standard output when it starts.
//
// --stats prints, after curses has ended, the title, the number of page rows
// laid out (all drawn), the layout notes kept for drawing the window anew, the
// size of pass2.tmp and the wall time of each step on standard error.

#include <curses.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "bench/dummyscreen.h"
#include "common/check.h"
#include "net/cache.h"
#include "passone/pagestream.h"
#include "shell/global.h"
#include "shell/stub.h"

namespace {

constexpr const char* LINK_NAME = "p.html";  // Render takes names of up to 6 characters

std::string linkPath() {
    return std::string(CACHE_DIRECTORY) + LINK_NAME;
}

// The page under the name the browser's page code reads: "./cache/p.html",
// a symbolic link to it for the lifetime of this object.
class CacheLink {
public:
    explicit CacheLink(const char* page) {
        char target[PATH_MAX];
        if (realpath(page, target) == nullptr) {
            why_ = std::string("cannot read ") + page;
            return;
        }
        if (mkdir(CACHE_DIRECTORY, 0775) == 0) {
            madeDir_ = true;
        } else if (errno != EEXIST) {
            why_ = std::string("cannot make ") + CACHE_DIRECTORY;
            return;
        }
        struct stat st {};
        if (lstat(linkPath().c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                why_ = linkPath() + " exists and is not a symbolic link";
                return;
            }
            unlink(linkPath().c_str());
        }
        if (symlink(target, linkPath().c_str()) != 0) {
            why_ = "cannot make " + linkPath();
            return;
        }
        linked_ = true;
    }
    ~CacheLink() {
        if (linked_) unlink(linkPath().c_str());
        if (madeDir_) rmdir(CACHE_DIRECTORY);
    }
    CacheLink(const CacheLink&) = delete;
    CacheLink& operator=(const CacheLink&) = delete;

    bool ok() const { return linked_; }
    const std::string& why() const { return why_; }

private:
    bool madeDir_ = false;
    bool linked_ = false;
    std::string why_;
};

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

long fileSize(const char* path) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    return f ? static_cast<long>(f.tellg()) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    bool stats = false;
    const char* page = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--stats") == 0) {
            stats = true;
        } else if (page == nullptr && argv[i][0] != '-') {
            page = argv[i];
        } else {
            page = nullptr;
            break;
        }
    }
    if (page == nullptr) {
        std::fputs("usage: render_page [--stats] PAGE\n", stderr);
        return 2;
    }

    const Clock::time_point processStart = Clock::now();
    // Pass one reports nothing for a page it cannot read; a benchmark of an
    // empty page would be meaningless, so the link is made (and the page
    // found) before anything else.
    CacheLink link(page);
    if (!link.ok()) {
        std::fprintf(stderr, "render_page: %s\n", link.why().c_str());
        return 1;
    }

    StubClass stub;
    DummyScreen screen;
    if (!screen.started()) {
        std::fputs("render_page: curses could not start on /dev/null\n", stderr);
        return 1;
    }
    if (!GlobalNamespace.renderer.createPad()) {
        screen.end();
        std::fputs("render_page: cannot create the page buffer\n", stderr);
        return 1;
    }
    stub.initCurses();

    const Clock::time_point renderStart = Clock::now();
    stub.Render(LINK_NAME);
    const Clock::time_point renderEnd = Clock::now();
    screen.end();

    if (stats) {
        const Rendering_Engine& renderer = GlobalNamespace.renderer;
        std::fprintf(stderr, "title: %s\nrows: %d (window of %d rows at row %d)\nlayout notes: %zu\n",
                     GlobalNamespace.page.getTitle(), renderer.getRowCount(), renderer.getPadRows(),
                     renderer.getBase(), renderer.getCheckpointCount());
        std::fprintf(stderr, "pass2.tmp: %ld bytes\n", fileSize(PASS2_FILE));
        std::fprintf(stderr, "ms: start-up %.2f, three passes %.2f, curses end %.2f\n",
                     msBetween(processStart, renderStart), msBetween(renderStart, renderEnd),
                     msBetween(renderEnd, Clock::now()));
    }
    return 0;
}
