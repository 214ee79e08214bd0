#include "shell/error.h"

#include <curses.h>

#include <algorithm>

#include "common/check.h"
#include "screen/colours.h"
#include "screen/keys.h"
#include "screen/window.h"
#include "shell/global.h"

namespace {

constexpr int DIALOG_ROWS = 7, DIALOG_COLUMNS = 60, DIALOG_TOP = 5, DIALOG_LEFT = 9;
// Columns 1 to 58 lie inside the border; a longer message is cut to fit.
constexpr int INNER_WIDTH = DIALOG_COLUMNS - 2;

void drawButton(WINDOW* w, int col, const char* label, bool focused) {
    const short pair = focused ? PAIR_FOCUS : PAIR_DIALOG;
    wattron(w, COLOR_PAIR(pair));
    mvwaddstr(w, 6, col, label);
    wattroff(w, COLOR_PAIR(pair));
}

WindowHandle openDialog(const char* title) {
    WindowHandle w(newwin(DIALOG_ROWS, DIALOG_COLUMNS, DIALOG_TOP, DIALOG_LEFT));
    WEXA_CHECK(w != nullptr, "erro != __null");
    keypad(w.get(), TRUE);
    wattron(w.get(), COLOR_PAIR(PAIR_DIALOG));
    box(w.get(), 0, 0);
    wattroff(w.get(), COLOR_PAIR(PAIR_DIALOG));
    wattron(w.get(), COLOR_PAIR(PAIR_FOCUS));
    mvwaddstr(w.get(), 0, 25, title);
    wattroff(w.get(), COLOR_PAIR(PAIR_FOCUS));
    return w;
}

}  // namespace

ErrorMessage::ErrorMessage(const char* t) : text(t != nullptr ? t : "") {}

void ErrorMessage::showErrorMessage(const char* t, bool success) {
    text = t != nullptr ? t : "";
    show(success);
}

void ErrorMessage::show(bool success) const {
    WindowHandle w = openDialog(success ? "  SUCCESS  " : "  ERROR  ");
    // Centred on column 29 of the window; a message too long for the row is
    // cut so that it stays inside the border rather than not being shown.
    const int n = std::min<int>(static_cast<int>(text.size()), INNER_WIDTH);
    const int col = std::max(1, 29 - n / 2);
    wattron(w.get(), COLOR_PAIR(PAIR_MESSAGE));
    mvwaddnstr(w.get(), 3, col, text.c_str(), n);
    wattroff(w.get(), COLOR_PAIR(PAIR_MESSAGE));
    drawButton(w.get(), 27, "[ OK ]", true);
    wrefresh(w.get());
    readKey(w.get());
    w.reset();
    GlobalNamespace.renderer.repaint();
}

bool ErrorMessage::optionWindow() {
    WindowHandle w = openDialog("  ALERT  ");
    beep();
    wattron(w.get(), COLOR_PAIR(PAIR_MESSAGE));
    mvwaddstr(w.get(), 3, 15, "You are about to Shutdown Wexa!");
    wattroff(w.get(), COLOR_PAIR(PAIR_MESSAGE));
    bool okFocused = false;  // CANCEL has the focus at first
    for (;;) {
        drawButton(w.get(), 20, "[ OK ]", okFocused);
        drawButton(w.get(), 30, "[ CANCEL ]", !okFocused);
        wrefresh(w.get());
        const int key = readKey(w.get());
        if (key == TAB_KEY)
            okFocused = !okFocused;
        else if (key == ENTER_KEY || key == KEY_ENTER)
            break;
    }
    w.reset();
    GlobalNamespace.renderer.repaint();
    return okFocused;
}
