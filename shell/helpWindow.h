#pragma once
// The scrollable help screen, and the start-up splash screen.

#include <curses.h>

class helpWindow {
public:
    helpWindow() = default;
    ~helpWindow();
    helpWindow(const helpWindow&) = delete;
    helpWindow& operator=(const helpWindow&) = delete;

    // Shows the help screen; returns after ESC.
    void showHelpScreen();

private:
    WINDOW* frame = nullptr;
};

// Draws the product name in block letters, cell by cell; returns after a key.
void splashScreen();
