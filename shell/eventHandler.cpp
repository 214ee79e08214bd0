#include "shell/eventHandler.h"

#include <curses.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/bounded.h"
#include "controls/hyperlink.h"
#include "controls/reset.h"
#include "controls/submit.h"
#include "net/cache.h"
#include "screen/colours.h"
#include "screen/keys.h"
#include "screen/lineinput.h"
#include "screen/window.h"
#include "shell/global.h"

namespace {

// The key the handler starts with: F10 has no binding, so entering the
// handler rings the bell.
constexpr short FIRST_KEY = KEY_F(10);

constexpr const char* HTTP_PREFIX = "http://";
// The input after "http://": as long as the longest URL the history keeps.
constexpr std::size_t MAX_URL_INPUT = sizeof UniformResourceLocator::currentURL - 1 - 7;
// A search text fits on one row of the page.
constexpr std::size_t MAX_SEARCH_TEXT = Rendering_Engine::LINE_WIDTH;

// Back and forward: the entry's page is read from the cache only. The page
// on screen stays until the entry's page is there.
bool goToHistoryEntry(const char* url) {
    if (url == nullptr) return false;
    GlobalNamespace.url.setURL(url, CACHED);
    return true;
}

// Text from a page or a URL as the screen shows it: one cell per byte.
std::string printable(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c < 32 || c > 126) c = '?';
    return out;
}

// The position (from 0) of node in the active element table, or -1.
short positionOf(const ASTNode* node) {
    const ActiveSerialTable& table = GlobalNamespace.ast;
    const ASTNode* at = table.getPointerToAST();
    for (short i = 0; i < table.getCount() && at != nullptr; ++i, at = at->next)
        if (at == node) return i;
    return -1;
}

// The form whose member the element at a table position is, or null.
const Form* formWithMember(short position) {
    const FormListNode* first = GlobalNamespace.forms.getFirst();
    const FormListNode* node = first;
    for (short n = 0; node != nullptr && n < GlobalNamespace.forms.getCount(); ++n) {
        for (const Form::Member* m = node->form.getMembers(); m != nullptr; m = m->next)
            if (m->index == position) return &node->form;
        node = node->next;
        if (node == first) break;
    }
    return nullptr;
}

// Where a form is sent, as the browser will send it.
std::string formTarget(const Form& form) {
    const std::string method = strcasecmp(form.getMethod(), "POST") == 0 ? "POST" : "GET";
    const char* action = form.getAction();
    if (std::strstr(action, "~~F") != nullptr)
        return method + " to the address the proxy server keeps for it";
    std::string target = action;
    if (target.compare(0, std::strlen(HTTP_PREFIX), HTTP_PREFIX) != 0) target = HTTP_PREFIX + target;
    return method + " to " + target;
}

// A line of the = window: its label, then the text, broken over as many
// rows as it needs.
struct WhereLine {
    std::string label;
    std::string text;
};

}  // namespace

void eventHandler::drawModeWord() const {
    attron(COLOR_PAIR(PAIR_BUTTON));
    mvaddstr(23, Rendering_Engine::MODE_WORD_COLUMN, globalMode ? "GLOBAL" : "LOCAL ");
    attroff(COLOR_PAIR(PAIR_BUTTON));
    refresh();
}

bool eventHandler::urlWindow() {
    WindowHandle w = openInputWindow("Enter URL", 33);
    if (w == nullptr) return false;
    WINDOW* win = w.get();

    mvwaddstr(win, 2, 1, HTTP_PREFIX);
    LineField field;
    field.row = 2;
    field.column = 8;
    field.width = 74 - 8 + 1;
    field.maxLength = MAX_URL_INPUT;
    field.noteRow = 3;
    const std::string tooLong = "A URL here has at most " + std::to_string(MAX_URL_INPUT) + " characters";
    field.tooLong = tooLong.c_str();
    std::string input;
    // ESC, or a resize of the terminal, closes the window as after an empty
    // input.
    if (editLine(win, field, input) != LineEnd::ENTERED) input.clear();
    w.reset();

    // Only the test for an empty input skips leading blanks; a URL keeps
    // them, right after the fixed "http://".
    if (input.find_first_not_of(' ') == std::string::npos) {
        GlobalNamespace.renderer.repaint();
        return false;
    }
    GlobalNamespace.url.setURL((HTTP_PREFIX + input).c_str(), ABSOLUTE);
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

bool eventHandler::search(bool next) {
    Rendering_Engine& page = GlobalNamespace.renderer;
    if (!next || searchText.empty()) {
        WindowHandle w = openInputWindow("Search for", 33);
        if (w == nullptr) return false;
        LineField field;
        field.row = 2;
        field.column = 1;
        field.width = 74;
        field.maxLength = MAX_SEARCH_TEXT;
        field.noteRow = 3;
        const std::string tooLong =
            "Text to find has at most " + std::to_string(MAX_SEARCH_TEXT) + " characters";
        field.tooLong = tooLong.c_str();
        std::string text;
        const bool entered = editLine(w.get(), field, text) == LineEnd::ENTERED;
        w.reset();
        page.repaint();
        if (!entered || text.empty()) return false;
        searchText = text;
        next = false;
    }
    if (page.findText(searchText.c_str(), next)) return true;
    GlobalNamespace.message.showErrorMessage(("Not found: " + printable(searchText)).c_str(), false);
    return false;
}

void eventHandler::showWhere() const {
    std::vector<WhereLine> lines;
    const UniformResourceLocator& url = GlobalNamespace.url;
    const std::string& action = GlobalNamespace.network.lastFormAction();
    if (url.requestType == FORM_REPLY && action.find("~~F") != std::string::npos)
        lines.push_back({"Page: ", "the reply to a form sent through the proxy server"});
    else if (url.requestType == FORM_REPLY)
        lines.push_back({"Page: ", "the reply to a form sent to " + readableURL(action.c_str())});
    else if (std::strcmp(url.currentURL, START_PAGE_URL) == 0)
        lines.push_back({"Page: ", std::string(START_PAGE_URL) + ", the start page"});
    else
        lines.push_back({"Page: ", readableURL(url.currentURL)});

    const ASTNode* node = GlobalNamespace.ast.getSelected();
    if (!globalMode && node != nullptr) {
        if (node->type == HYPERLINK) {
            if (const auto* link = dynamic_cast<const Hyperlink*>(node->info)) {
                // Resolved against the page as following it would.
                UniformResourceLocator target = url;
                target.setURL(link->getHref(), RELATIVE);
                lines.push_back({"Link: ", readableURL(target.currentURL)});
            }
        } else {
            const Form* form = nullptr;
            if (const auto* submit = dynamic_cast<const Submit*>(node->info))
                form = submit->getForm();
            else if (const auto* reset = dynamic_cast<const Reset*>(node->info))
                form = reset->getForm();
            else
                form = formWithMember(positionOf(node));
            if (form != nullptr) lines.push_back({"Form: ", formTarget(*form)});
        }
    }

    // Each text broken into rows of the window's width.
    constexpr int COLUMNS = 78, TEXT_WIDTH = COLUMNS - 4;
    std::vector<std::string> rows;
    for (const WhereLine& line : lines) {
        std::string text = printable(line.label + line.text);
        for (std::size_t at = 0; at < text.size() || at == 0; at += TEXT_WIDTH)
            rows.push_back(text.substr(at, TEXT_WIDTH));
    }
    const int height = static_cast<int>(rows.size()) + 4;
    WindowHandle w(newwin(height, COLUMNS, (SCREEN_ROWS - height) / 2, 1));
    if (w == nullptr) return;
    WINDOW* win = w.get();
    keypad(win, TRUE);
    wattron(win, COLOR_PAIR(PAIR_DIALOG));
    box(win, 0, 0);
    wattroff(win, COLOR_PAIR(PAIR_DIALOG));
    wattron(win, COLOR_PAIR(PAIR_FOCUS));
    mvwaddstr(win, 0, COLUMNS / 2 - 5, "  Where  ");
    wattroff(win, COLOR_PAIR(PAIR_FOCUS));
    for (std::size_t i = 0; i < rows.size(); ++i) mvwaddstr(win, static_cast<int>(i) + 1, 2, rows[i].c_str());
    wattron(win, COLOR_PAIR(PAIR_FOCUS));
    mvwaddstr(win, height - 2, COLUMNS / 2 - 3, "[ OK ]");
    wattroff(win, COLOR_PAIR(PAIR_FOCUS));
    wrefresh(win);
    readKey(win);
    w.reset();
    GlobalNamespace.renderer.repaint();
}

int eventHandler::nextKey() {
    if (pendingKey != 0) {
        const int waiting = pendingKey;
        pendingKey = 0;
        pendingTab = false;
        if (!globalMode) return waiting;
    } else if (pendingTab) {
        // The Tab that starts a run of text fields; it means nothing once
        // the user has gone back to Global mode from the first field.
        pendingTab = false;
        if (!globalMode) return TAB_KEY;
    }
    return readKey(stdscr);
}

void eventHandler::enterLocalMode() {
    globalMode = false;
    drawModeWord();
    // The first element in view, or the next one below the view (on a page
    // shown from its top: the page's first element).
    GlobalNamespace.ast.selectFrom(GlobalNamespace.renderer.current_displayY());
    GlobalNamespace.ast.startSelect();
}

void eventHandler::leaveLocalMode() {
    GlobalNamespace.ast.leaveFocus();
    GlobalNamespace.renderer.drawStatusLine();
}

bool eventHandler::localNavigation() {
    Rendering_Engine& page = GlobalNamespace.renderer;
    ActiveSerialTable& table = GlobalNamespace.ast;
    switch (key) {
        case KEY_UP:
        case KEY_BTAB:
            table.movePrev();
            return true;
        case KEY_NPAGE:
        case KEY_PPAGE:
            page.scrollText(key);
            focusFirstInView();
            return true;
        case '/':
        case 'n':
            if (search(key == 'n')) focusInView();
            return true;
        case '=':
            showWhere();
            return true;
        default:
            return false;
    }
}

bool eventHandler::inView(const ASTNode* node) const {
    const int top = GlobalNamespace.renderer.current_displayY();
    return node != nullptr && node->info->getRow() >= top &&
           node->info->getRow() < top + Rendering_Engine::VIEW_ROWS;
}

void eventHandler::focusFirstInView() {
    ActiveSerialTable& table = GlobalNamespace.ast;
    ASTNode* first = table.firstFrom(GlobalNamespace.renderer.current_displayY());
    if (inView(first)) table.moveTo(first);
}

void eventHandler::focusInView() {
    ActiveSerialTable& table = GlobalNamespace.ast;
    ASTNode* focused = table.getSelected();
    if (!inView(focused)) {
        focusFirstInView();
        return;
    }
    // Drawn anew with the page around the match: focused again (a text field
    // has the keys only while it is edited, never here).
    if (focused->type != TEXTBOX && focused->type != PASSWORD) table.moveTo(focused);
}

bool eventHandler::handleEvents(bool resume) {
    pendingTab = false;
    pendingKey = 0;
    if (resume) {
        drawModeWord();
        key = static_cast<short>(nextKey());
    } else {
        globalMode = true;
        key = FIRST_KEY;
    }
    for (;;) {
        const bool wasLocal = !globalMode;
        if (globalMode) {
            switch (key) {
                case ESC_KEY:
                    enterLocalMode();
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
                case '/':
                case 'n':
                    search(key == 'n');
                    break;
                case '=':
                    showWhere();
                    break;
                default:
                    beep();
                    break;
            }
        } else {
            // Down is Tab in Local mode.
            if (key == KEY_DOWN) key = TAB_KEY;
            if (!localNavigation()) {
                const int result = GlobalNamespace.ast.getKey(key);
                key = static_cast<short>(result);
                // A link set a new URL: the page stays on screen, elements and
                // all, until the new one is there (a failed fetch leaves it).
                if (result == KEY_RESULT_PAGE_CHANGE) return false;
                if (result == KEY_RESULT_SUBMITTED) {
                    // The reply is read next; a form that could not be sent
                    // (the message said why) leaves the page as it is.
                    if (GlobalNamespace.network.replyAwaited()) return false;
                } else if (globalMode) {
                    // A text field was left with ESC while it had the keys
                    // (also in the middle of a run of fields that Tab walks
                    // through): the browser is in Global mode now, and the
                    // focus must not move on into the next field.
                } else if (result == KEY_RESULT_LEAVE) {
                    // Unless the field that had the keys was left with a key
                    // that moves the focus itself.
                    if (pendingKey == 0) GlobalNamespace.ast.moveNext(true);
                } else if (result == KEY_RESULT_ESCAPE) {
                    globalMode = true;
                }
            }
        }
        if (wasLocal && globalMode) leaveLocalMode();
        drawModeWord();
        key = static_cast<short>(nextKey());
    }
}
