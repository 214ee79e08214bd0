#include "screen/window.h"

#include "screen/colours.h"

WindowHandle openInputWindow(const char* title, int titleColumn) {
    WindowHandle w(newwin(5, 76, 12, 2));
    if (w == nullptr) return w;
    WINDOW* win = w.get();
    keypad(win, TRUE);
    wattron(win, COLOR_PAIR(PAIR_DIALOG));
    box(win, 0, 0);
    mvwaddstr(win, 0, titleColumn, title);
    wattroff(win, COLOR_PAIR(PAIR_DIALOG));
    mvwhline(win, 1, 1, ACS_BLOCK, 74);
    mvwhline(win, 3, 1, ACS_BLOCK, 74);
    return w;
}
