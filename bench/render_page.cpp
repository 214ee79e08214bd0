// render_page: renders one page file the way the browser renders a page, then
// exits; timed as a whole process against other text browsers.
//
// Usage: render_page [--stats] PAGE
//
// Curses runs on a dummy 80x24 terminal: TERM is set to xterm when unset, and
// the screen is opened with newterm on /dev/null, so the screen updates are
// generated and written but go nowhere. Then, with the browser's own code and
// in the browser's order: the page pad is created, the terminal modes and
// colour pairs are set, pass one writes pass1.tmp and the title, the title
// line is drawn, the table pass writes pass2.tmp, and pass three lays the
// page out into the pad, draws the frame and shows the top of the page.
// pass1.tmp and pass2.tmp are left in the working directory, as the browser
// leaves them.
//
// --stats prints, after curses has ended, the title, the number of page rows
// laid out, the size of pass2.tmp and the wall time of each step on standard
// error.

#include <curses.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "common/check.h"
#include "render/pass3.h"
#include "shell/global.h"
#include "shell/initcolours.h"
#include "tables/table_engine.h"

namespace {

// A curses screen on /dev/null. end() restores curses' state; the destructor
// ends it too, so no way out skips it. The screen is not deleted: the page pad
// belongs to the global rendering engine, which deletes it after main returns
// (as in the browser), and deleting the screen would free the pad under it.
class DummyScreen {
public:
    DummyScreen() {
        const char* term = std::getenv("TERM");
        if (term == nullptr || *term == '\0') setenv("TERM", "xterm", 1);
        // The browser's geometry, whatever the environment says.
        setenv("LINES", "24", 1);
        setenv("COLUMNS", "80", 1);
        out_ = std::fopen("/dev/null", "w");
        in_ = std::fopen("/dev/null", "r");
        if (out_ != nullptr && in_ != nullptr) screen_ = newterm(nullptr, out_, in_);
        if (screen_ != nullptr) wexa::fatalHook() = [] { endwin(); };
    }
    ~DummyScreen() {
        end();
        if (out_ != nullptr) std::fclose(out_);
        if (in_ != nullptr) std::fclose(in_);
    }
    DummyScreen(const DummyScreen&) = delete;
    DummyScreen& operator=(const DummyScreen&) = delete;

    bool started() const { return screen_ != nullptr; }

    void end() {
        if (screen_ == nullptr || ended_) return;
        endwin();
        ended_ = true;
        wexa::fatalHook() = nullptr;
    }

private:
    std::FILE* out_ = nullptr;
    std::FILE* in_ = nullptr;
    SCREEN* screen_ = nullptr;
    bool ended_ = false;
};

// The terminal modes and colour pairs the browser sets after start-up.
void setBrowserModes() {
    noecho();
    raw();
    keypad(stdscr, TRUE);
    start_color();
    initColours();
    nodelay(stdscr, FALSE);
}

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// When each step of a page ended; for --stats.
struct StepTimes {
    Clock::time_point start, passOne, tables, passThree;
};

// One page through the three passes, as the browser's page cycle does it.
void renderPage(const char* path, StepTimes& times) {
    times.start = Clock::now();
    GlobalNamespace.passOne.passOne(path);
    times.passOne = Clock::now();

    mvprintw(1, 1, "%78s", "");
    attron(A_BOLD);
    mvaddnstr(1, 1, GlobalNamespace.page.getTitle(), 78);
    attroff(A_BOLD);

    {
        // pass2.tmp is complete on disk once the engine is gone.
        table_engine engine("pass1.tmp");
        GlobalNamespace.tableEngine = &engine;
        engine.write_to_buffer();
        GlobalNamespace.tableEngine = nullptr;
    }
    times.tables = Clock::now();
    runPassThree("pass2.tmp");
    times.passThree = Clock::now();
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
    // Pass one reports nothing for a page it cannot read; a benchmark of an
    // empty page would be meaningless, so say it here.
    if (std::FILE* f = std::fopen(page, "r")) {
        std::fclose(f);
    } else {
        std::fprintf(stderr, "render_page: cannot read %s\n", page);
        return 1;
    }

    const Clock::time_point processStart = Clock::now();
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
    setBrowserModes();
    StepTimes times;
    renderPage(page, times);
    screen.end();

    if (stats) {
        std::fprintf(stderr, "title: %s\nrows: %d\npass2.tmp: %ld bytes\n", GlobalNamespace.page.getTitle(),
                     static_cast<int>(GlobalNamespace.renderer.getRowCount()), fileSize("pass2.tmp"));
        std::fprintf(stderr,
                     "ms: curses start %.2f, pass one %.2f, table pass %.2f, pass three %.2f, curses end %.2f\n",
                     msBetween(processStart, times.start), msBetween(times.start, times.passOne),
                     msBetween(times.passOne, times.tables), msBetween(times.tables, times.passThree),
                     msBetween(times.passThree, Clock::now()));
    }
    return 0;
}
