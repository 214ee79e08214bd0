// screen_text: renders one page the way the browser renders a page and writes
// the laid-out page as plain text, one line per page row (row 0 first), so
// that the reader benchmark can score what a user would read.
//
// Usage: screen_text NAME OUT
//
// NAME is a page file in "./cache/" (the browser's cache directory, where the
// browser's page code reads pages from; at most 6 characters). OUT receives
// the rows of the page buffer: each row's 80 cells as characters, trailing
// blanks dropped, attributes (bold, underline, colours) left out.
//
// Curses runs on a dummy 80x24 terminal: TERM is set to xterm when unset and
// the screen is opened with newterm on /dev/null. The browser's own page code
// renders the page: pass one, the table pass, pass three into the page pad.
// pass1.tmp and pass2.tmp are left in the working directory, as the browser
// leaves them. Like the browser, the program prints "Stub constructor" on
// standard output when it starts, which is why the rows go to a file.

#include <curses.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench/dummyscreen.h"
#include "common/check.h"
#include "shell/global.h"
#include "shell/stub.h"

namespace {

constexpr size_t MAX_NAME = 6;  // the browser's page file names

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Writes the page rows of the pad to out; false when a write fails.
bool writeRows(WINDOW* pad, int lastRow, std::FILE* out) {
    constexpr int COLUMNS = Rendering_Engine::PAD_COLUMNS;
    chtype cells[COLUMNS + 1];
    char line[COLUMNS + 2];
    for (int r = 0; r <= lastRow; ++r) {
        const int n = mvwinchnstr(pad, r, 0, cells, COLUMNS);
        int length = 0;
        for (int c = 0; c < n && c < COLUMNS; ++c) {
            const chtype ch = cells[c] & A_CHARTEXT;
            line[c] = (ch >= 32 && ch <= 126 && (cells[c] & A_ALTCHARSET) == 0) ? static_cast<char>(ch) : ' ';
            if (line[c] != ' ') length = c + 1;
        }
        line[length] = '\n';
        if (std::fwrite(line, 1, static_cast<size_t>(length) + 1, out) != static_cast<size_t>(length) + 1)
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::strlen(argv[1]) == 0 || std::strlen(argv[1]) > MAX_NAME) {
        std::fputs("usage: screen_text NAME OUT  (renders ./cache/NAME, NAME at most 6 characters)\n",
                   stderr);
        return 2;
    }
    const std::string page = std::string("./cache/") + argv[1];
    if (File probe{std::fopen(page.c_str(), "rb")}; !probe) {
        std::fprintf(stderr, "screen_text: cannot read %s\n", page.c_str());
        return 1;
    }
    File out{std::fopen(argv[2], "w")};
    if (!out) {
        std::fprintf(stderr, "screen_text: cannot write %s\n", argv[2]);
        return 1;
    }

    StubClass stub;
    {
        DummyScreen screen;
        if (!screen.started()) {
            std::fputs("screen_text: curses could not start on /dev/null\n", stderr);
            return 1;
        }
        Rendering_Engine& engine = GlobalNamespace.renderer;
        if (!engine.createPad()) {
            std::fputs("screen_text: cannot create the page buffer\n", stderr);
            return 1;
        }
        stub.initCurses();
        stub.Render(argv[1]);
        // The row being written when the page ended counts too: it holds the
        // page's last words when the page does not end with a line end.
        const int lastRow = std::min(static_cast<int>(engine.getRowCount()), engine.getPadRows() - 1);
        if (!writeRows(engine.getPad(), lastRow, out.get())) {
            std::fprintf(stderr, "screen_text: cannot write %s\n", argv[2]);
            return 1;
        }
    }
    if (std::fclose(out.release()) != 0) {
        std::fprintf(stderr, "screen_text: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
