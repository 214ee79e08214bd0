#pragma once
// Curses windows and pads owned by a handle: created when a dialog opens (or
// a pad is needed) and deleted when the handle goes out of scope or is reset.
// Every window and pad of the browser is held this way.

#include <curses.h>

#include <memory>

struct WindowDeleter {
    void operator()(WINDOW* w) const {
        if (w != nullptr) delwin(w);
    }
};
using WindowHandle = std::unique_ptr<WINDOW, WindowDeleter>;

// The one-line input window shared by the URL window and the proxy address
// dialog: 5 rows by 76 columns at screen row 12, column 2, boxed with the
// title in the dialog colour pair, rows 1 and 3 filled with solid blocks so
// that row 2 is the input line between two bars. Null when curses cannot
// make it.
WindowHandle openInputWindow(const char* title, int titleColumn);
