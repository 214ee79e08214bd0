#pragma once
// The scrollable help screen, and the start-up splash screen.

#include "screen/window.h"

class helpWindow {
public:
    helpWindow() = default;
    helpWindow(const helpWindow&) = delete;
    helpWindow& operator=(const helpWindow&) = delete;

    // Shows the help screen; returns after ESC.
    void showHelpScreen();

private:
    // The help frame: made when the screen is shown, kept until the next
    // showing replaces it (or the object goes).
    WindowHandle frame;
};

// Draws the product name in block letters, cell by cell; returns after a key.
void splashScreen();
