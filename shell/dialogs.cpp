#include "shell/dialogs.h"

DialogWindow openInputWindow(const char* title, int titleColumn) {
    DialogWindow w(newwin(5, 76, 12, 2));
    if (w == nullptr) return w;
    WINDOW* win = w.get();
    keypad(win, TRUE);
    wattron(win, COLOR_PAIR(8));
    box(win, 0, 0);
    mvwaddstr(win, 0, titleColumn, title);
    wattroff(win, COLOR_PAIR(8));
    mvwhline(win, 1, 1, ACS_BLOCK, 74);
    mvwhline(win, 3, 1, ACS_BLOCK, 74);
    return w;
}
