#include "shell/stub.h"

#include <curses.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/bounded.h"
#include "net/cache.h"
#include "passone/pagestream.h"
#include "render/pass3.h"
#include "shell/global.h"
#include "shell/initcolours.h"
#include "tables/table_engine.h"

namespace {

constexpr int TITLE_WIDTH = 78;  // the title row inside the frame

// Whether the passes can write their stream file in the working directory.
// Probed without blocking: a pipe of that name must not hang the browser.
bool canWrite(const char* name) {
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0664);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// The title as the page shows text: one cell per byte, and a byte that is
// not printable ASCII (which curses would spell out in several cells) as '?'.
void drawTitle(const char* title) {
    chtype cells[TITLE_WIDTH];
    int n = 0;
    for (; n < TITLE_WIDTH && title[n] != '\0'; ++n) {
        const unsigned char byte = static_cast<unsigned char>(title[n]);
        cells[n] = ((byte >= 32 && byte <= 126) ? byte : '?') | A_BOLD;
    }
    mvaddchnstr(1, 1, cells, n);
}

}  // namespace

StubClass::StubClass() {
    std::fputs("Stub constructor", stdout);
    std::fflush(stdout);
}

void StubClass::initCurses() {
    noecho();
    raw();
    keypad(stdscr, TRUE);
    start_color();
    initColours();
    nodelay(stdscr, FALSE);
}

void StubClass::endCurses() {
    echo();
    noraw();
    endwin();
}

const char* StubClass::fetch() {
    return GlobalNamespace.network.Fetch();
}

void StubClass::Render(const char* fileName) {
    for (const char* stream : {PASS1_FILE, PASS2_FILE}) {
        if (!canWrite(stream)) {
            // The frame stays, around an empty page view.
            GlobalNamespace.renderer.browserWindow();
            GlobalNamespace.message.showErrorMessage(
                ("Cannot write " + std::string(stream) + "; no page shown").c_str(), false);
            return;
        }
    }

    // "./cache/" and a 6-character name: at most 14 characters.
    char path[15] = {};
    wexa::boundedCopy(path, CACHE_DIRECTORY);
    wexa::boundedAppend(path, fileName);
    GlobalNamespace.passOne.passOne(path);

    // The title line: blank the old title first so a shorter one leaves no
    // trace; a title is cut at the frame (78 columns).
    mvprintw(1, 1, "%78s", "");
    drawTitle(GlobalNamespace.page.getTitle());

    {
        // pass2.tmp is complete on disk once the engine is gone.
        std::unique_ptr<table_engine> engine(new table_engine(PASS1_FILE));
        GlobalNamespace.tableEngine = engine.get();
        engine->write_to_buffer();
        GlobalNamespace.tableEngine = nullptr;
    }
    Pass3(PASS2_FILE);
}

bool StubClass::EventHandler(bool resume) {
    if (!resume) GlobalNamespace.ast.setSelect();
    return GlobalNamespace.events.handleEvents(resume);
}

void StubClass::killAll() {
    endwin();
    echo();
}

void StubClass::Pass3(const char* fileName) {
    runPassThree(fileName, GlobalNamespace.renderer, GlobalNamespace.ast);
}
