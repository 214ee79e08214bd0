#include "screen/keys.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "screen/window.h"

// Last: it defines many short macro names.
#include <term.h>

namespace {

volatile std::sig_atomic_t resized = 0;
// The size notice is on the terminal in place of the screen (shown while the
// browser was busy, see followTerminalSize).
bool noticeShown = false;

extern "C" void onResize(int) {
    resized = 1;
}

// The terminal's size as the system reports it; false when it cannot tell
// (the output is not a terminal), which counts as large enough.
bool terminalSize(int& rows, int& cols) {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) return false;
    rows = size.ws_row;
    cols = size.ws_col;
    return true;
}

bool tooSmall() {
    int rows = 0, cols = 0;
    return terminalSize(rows, cols) && (rows < SCREEN_ROWS || cols < SCREEN_COLS);
}

std::string noticeBytes;

extern "C" int collectByte(int c) {
    noticeBytes.push_back(static_cast<char>(c));
    return c;
}

// Clears the terminal and writes the notice at its top left, straight to the
// terminal: curses still holds the whole 80x24 screen, which it draws again
// from its own copy once the terminal is large enough.
void showSizeNotice() {
    noticeBytes.clear();
    const char* clearBytes = tigetstr("clear");
    if (clearBytes != nullptr && clearBytes != reinterpret_cast<char*>(-1)) tputs(clearBytes, 1, collectByte);
    noticeBytes += SIZE_NOTICE;
    const char* p = noticeBytes.data();
    size_t left = noticeBytes.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, left);
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

// Gives curses the terminal's new size and shows the screen again exactly as
// it was. Curses learns the new size only when it is large enough: its
// screen never shrinks below 80x24, so no window is ever cut.
void redrawAfterResize() {
    // The browser draws only within 80x24; what a larger terminal has beyond
    // stays blank. (resize_term, unlike resizeterm, queues no KEY_RESIZE.)
    int rows = 0, cols = 0;
    if (terminalSize(rows, cols) && (rows != LINES || cols != COLS)) {
        // Changing the size marks the whole standard screen as changed, and
        // its next refresh would paint its own cells over everything drawn
        // on top of it (the page view, a text field, a pop-up). So the
        // screen as it was shown is kept, and shown again as it was.
        WindowHandle shown(dupwin(curscr));
        resize_term(rows, cols);
        untouchwin(stdscr);
        if (shown != nullptr) {
            const int lastRow = std::min(getmaxy(shown.get()), getmaxy(newscr)) - 1;
            const int lastColumn = std::min(getmaxx(shown.get()), getmaxx(newscr)) - 1;
            copywin(shown.get(), newscr, 0, 0, 0, 0, lastRow, lastColumn, FALSE);
        }
    }
    // Refreshing curscr clears the terminal and draws everything again.
    wrefresh(curscr);
}

// Runs after the terminal reported a new size.
void followResize() {
    sigset_t winch, previous;
    sigemptyset(&winch);
    sigaddset(&winch, SIGWINCH);
    // Blocked between the size check and the wait, so that a resize in
    // between still ends the wait.
    sigprocmask(SIG_BLOCK, &winch, &previous);
    bool waited = false;
    for (;;) {
        resized = 0;
        if (!tooSmall()) break;
        showSizeNotice();
        waited = true;
        while (resized == 0) sigsuspend(&previous);
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    noticeShown = false;
    // Keys typed while the screen could not be seen are not acted on.
    if (waited) flushinp();
    redrawAfterResize();
}

}  // namespace

void watchTerminalSize() {
    struct sigaction action {};
    action.sa_handler = onResize;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read waiting for a key returns at once, so that the
    // notice or the redrawn screen appears without waiting for a key.
    action.sa_flags = 0;
    sigaction(SIGWINCH, &action, nullptr);
}

namespace {

// Reads one key; a resize is followed and, with returnOnResize, reported as
// KEY_RESIZE once the screen has been drawn again.
int readOneKey(WINDOW* w, bool returnOnResize) {
    // A blocking read returns ERR only when input fails; a few in a row
    // are retried, a steady stream of them means the terminal is gone. A
    // read cut short by a resize is no failure.
    int failures = 0;
    while (failures < 64) {
        if (resized != 0 || noticeShown) {
            followResize();
            if (returnOnResize) return KEY_RESIZE;
            continue;
        }
        const int key = wgetch(w);
        // Curses reports a resize itself only if its own handler runs.
        if (key == KEY_RESIZE) {
            resized = 1;
            continue;
        }
        if (key != ERR) return key;
        if (resized == 0) ++failures;
    }
    restoreTerminal();
    std::fputs("wexa: the terminal's input has ended\n", stderr);
    std::exit(1);
}

}  // namespace

int readKey(WINDOW* w) {
    return readOneKey(w, false);
}

int readKeyOrResize(WINDOW* w) {
    return readOneKey(w, true);
}

bool followTerminalSize() {
    if (resized == 0) return !noticeShown;
    resized = 0;
    if (tooSmall()) {
        showSizeNotice();
        noticeShown = true;
        return false;
    }
    noticeShown = false;
    redrawAfterResize();
    return true;
}

void useShortEscapeDelay() {
    // The user's own ESCDELAY is left as curses read it.
    const char* own = std::getenv("ESCDELAY");
    if (own == nullptr || *own == '\0') set_escdelay(SHORT_ESCAPE_DELAY_MS);
}

void defineEditingKeys() {
    // Home and End as terminals send them when curses' terminal description
    // names other sequences (an xterm description inside tmux or screen, a
    // console): without these they would arrive as ESC and three characters.
    static const struct {
        const char* sequence;
        int key;
    } KEYS[] = {{"\033[1~", KEY_HOME}, {"\033[7~", KEY_HOME}, {"\033[H", KEY_HOME}, {"\033OH", KEY_HOME},
                {"\033[4~", KEY_END},  {"\033[8~", KEY_END},  {"\033[F", KEY_END},  {"\033OF", KEY_END}};
    for (const auto& k : KEYS)
        if (key_defined(k.sequence) == 0) define_key(k.sequence, k.key);
}

void showTextCursor() {
    // The normal cursor first, then "very visible" where the terminal has
    // it. Some descriptions (screen, tmux) have no "very visible" at all, and
    // others give it a sequence that only makes a shown cursor stand out and
    // leaves a hidden one hidden: on its own it may show nothing.
    curs_set(1);
    curs_set(2);
}

void hideTextCursor() {
    curs_set(0);
}

void restoreTerminal() {
    if (stdscr != nullptr && !isendwin()) {
        echo();
        noraw();
        curs_set(1);
        endwin();
    }
}
