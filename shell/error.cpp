#include "shell/error.h"

#include <curses.h>

#include <algorithm>

#include "common/check.h"
#include "shell/dialogs.h"
#include "shell/global.h"
#include "shell/keys.h"

namespace {

constexpr int kRows = 7, kCols = 60, kTop = 5, kLeft = 9;
// Columns 1 to 58 lie inside the border; a longer message is cut to fit.
constexpr int kInnerWidth = kCols - 2;

void drawButton(WINDOW* w, int col, const char* label, bool focused) {
    wattron(w, COLOR_PAIR(focused ? 1 : 8));
    mvwaddstr(w, 6, col, label);
    wattroff(w, COLOR_PAIR(focused ? 1 : 8));
}

DialogWindow openDialog(const char* title) {
    DialogWindow w(newwin(kRows, kCols, kTop, kLeft));
    WEXA_CHECK(w != nullptr, "erro != __null");
    keypad(w.get(), TRUE);
    wattron(w.get(), COLOR_PAIR(8));
    box(w.get(), 0, 0);
    wattroff(w.get(), COLOR_PAIR(8));
    wattron(w.get(), COLOR_PAIR(1));
    mvwaddstr(w.get(), 0, 25, title);
    wattroff(w.get(), COLOR_PAIR(1));
    return w;
}

}  // namespace

ErrorMessage::ErrorMessage(const char* t) : text(t != nullptr ? t : "") {}

void ErrorMessage::showErrorMessage(const char* t, bool success) {
    text = t != nullptr ? t : "";
    show(success);
}

void ErrorMessage::show(bool success) const {
    DialogWindow w = openDialog(success ? "  SUCCESS  " : "  ERROR  ");
    // Centred on column 29 of the window; a message too long for the row is
    // cut so that it stays inside the border rather than not being shown.
    const int n = std::min<int>(static_cast<int>(text.size()), kInnerWidth);
    const int col = std::max(1, 29 - n / 2);
    wattron(w.get(), COLOR_PAIR(5));
    mvwaddnstr(w.get(), 3, col, text.c_str(), n);
    wattroff(w.get(), COLOR_PAIR(5));
    drawButton(w.get(), 27, "[ OK ]", true);
    wrefresh(w.get());
    readKey(w.get());
    w.reset();
    GlobalNamespace.renderer.scrollText(274);
}

bool ErrorMessage::optionWindow() {
    DialogWindow w = openDialog("  ALERT  ");
    beep();
    wattron(w.get(), COLOR_PAIR(5));
    mvwaddstr(w.get(), 3, 15, "You are about to Shutdown Wexa!");
    wattroff(w.get(), COLOR_PAIR(5));
    bool okFocused = false;  // CANCEL has the focus at first
    for (;;) {
        drawButton(w.get(), 20, "[ OK ]", okFocused);
        drawButton(w.get(), 30, "[ CANCEL ]", !okFocused);
        wrefresh(w.get());
        const int key = readKey(w.get());
        if (key == '\t') okFocused = !okFocused;
        else if (key == '\n' || key == KEY_ENTER) break;
    }
    w.reset();
    GlobalNamespace.renderer.scrollText(274);
    return okFocused;
}
