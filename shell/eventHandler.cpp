#include "shell/eventHandler.h"

#include <curses.h>

#include <cstdlib>
#include <cstring>

#include "common/bounded.h"
#include "net/cache.h"
#include "screen/colours.h"
#include "screen/keys.h"
#include "screen/window.h"
#include "shell/global.h"

namespace {

// The key the handler starts with: F10 has no binding, so entering the
// handler rings the bell.
constexpr short FIRST_KEY = KEY_F(10);

// Back and forward: the entry's page is read from the cache only.
bool goToHistoryEntry(const char* url) {
    if (url == nullptr) return false;
    GlobalNamespace.url.setURL(url, CACHED);
    GlobalNamespace.renderer.reset();
    GlobalNamespace.ast.resetAST();
    return true;
}

}  // namespace

void eventHandler::drawModeWord() const {
    attron(COLOR_PAIR(PAIR_BUTTON));
    mvaddstr(23, 62, globalMode ? "GLOBAL" : "LOCAL ");
    attroff(COLOR_PAIR(PAIR_BUTTON));
    refresh();
}

bool eventHandler::urlWindow() {
    WindowHandle w = openInputWindow("Enter URL", 33);
    if (w == nullptr) return false;
    WINDOW* win = w.get();

    char input[67] = {};
    echo();
    curs_set(1);
    mvwaddstr(win, 2, 1, "http://");
    if (mvwgetnstr(win, 2, 8, input, 66) == ERR) input[0] = '\0';
    curs_set(0);
    noecho();
    w.reset();

    // Only the test for an empty input skips leading blanks; a URL keeps
    // them, right after the fixed "http://".
    const char* p = input;
    while (*p == ' ') ++p;
    if (*p == '\0') {
        GlobalNamespace.renderer.repaint();
        return false;
    }
    char url[74] = "http://";
    wexa::boundedAppend(url, input);
    GlobalNamespace.url.setURL(url, ABSOLUTE);
    GlobalNamespace.renderer.repaint();
    return true;
}

void eventHandler::shellEscape() {
    // Leave curses mode so that the shell gets a normal terminal, and come
    // back to the same screen afterwards.
    def_prog_mode();
    endwin();
    const int status = std::system("/bin/bash");
    (void)status;  // the shell's exit status means nothing to the browser
    reset_prog_mode();
    refresh();
    GlobalNamespace.renderer.browserWindow();
    GlobalNamespace.renderer.repaint();
}

bool eventHandler::handleEvents() {
    globalMode = true;
    key = FIRST_KEY;
    for (;;) {
        if (globalMode) {
            switch (key) {
                case ESC_KEY:
                    globalMode = false;
                    drawModeWord();
                    GlobalNamespace.ast.startSelect();
                    break;
                case 'Q':
                case 'q':
                    if (GlobalNamespace.message.optionWindow()) return true;
                    break;
                case 'R':
                case 'r': {
                    const char* current = GlobalNamespace.pageCache.lURLRendered();
                    if (std::strcmp(current, START_PAGE_URL) != 0) {
                        GlobalNamespace.url.setURL(current, REFRESH);
                        return false;
                    }
                    break;
                }
                case 'S':
                    shellEscape();
                    break;
                case KEY_DOWN:
                case KEY_UP:
                case KEY_HOME:
                case KEY_NPAGE:
                case KEY_PPAGE:
                case KEY_END:
                    GlobalNamespace.renderer.scrollText(key);
                    break;
                case KEY_LEFT:
                    if (goToHistoryEntry(GlobalNamespace.pageCache.showPrevPage())) return false;
                    break;
                case KEY_RIGHT:
                    if (goToHistoryEntry(GlobalNamespace.pageCache.showNextPage())) return false;
                    break;
                case KEY_F(1):
                    GlobalNamespace.help.showHelpScreen();
                    break;
                case KEY_F(2):
                    if (urlWindow()) return false;
                    break;
                case KEY_F(3):
                    GlobalNamespace.proxy.setNew();
                    break;
                default:
                    beep();
                    break;
            }
        } else {
            const int result = GlobalNamespace.ast.getKey(key);
            key = static_cast<short>(result);
            if (result == KEY_RESULT_PAGE_CHANGE) {  // a link set a new URL
                GlobalNamespace.renderer.reset();
                GlobalNamespace.ast.resetAST();
                globalMode = true;
                return false;
            }
            if (result == KEY_RESULT_SUBMITTED) return false;  // a form was sent; the reply is read next
            if (globalMode) {
                // A text field was left with ESC while it had the keys (also
                // in the middle of a run of fields that Tab walks through):
                // the browser is in Global mode now, and the focus must not
                // move on into the next field.
            } else if (result == KEY_RESULT_LEAVE) {
                GlobalNamespace.ast.moveNext(true);
            } else if (result == KEY_RESULT_ESCAPE) {
                globalMode = true;
                drawModeWord();
            }
        }
        drawModeWord();
        if (pendingTab) {
            // The Tab that starts a run of text fields; it means nothing once
            // the user has gone back to Global mode from the first field.
            pendingTab = false;
            key = globalMode ? static_cast<short>(readKey(stdscr)) : static_cast<short>(TAB_KEY);
        } else {
            key = static_cast<short>(readKey(stdscr));
        }
    }
}
