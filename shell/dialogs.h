#pragma once
// Curses windows of the dialogs: created when a dialog opens and deleted
// when it closes (when the handle goes out of scope).

#include <curses.h>

#include <memory>

struct WindowDeleter {
    void operator()(WINDOW* w) const {
        if (w != nullptr) delwin(w);
    }
};
using DialogWindow = std::unique_ptr<WINDOW, WindowDeleter>;

// The one-line input window shared by the URL window and the proxy address
// dialog: 5 rows by 76 columns at screen row 12, column 2, boxed with the
// title in colour pair 8, rows 1 and 3 filled with solid blocks so that row 2
// is the input line between two bars. Null when curses cannot make it.
DialogWindow openInputWindow(const char* title, int titleColumn);
