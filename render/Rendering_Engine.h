#pragma once
// The page buffer (a curses pad holding the laid-out page) and everything
// drawn around it: the frame, the status line with its scroll marks, and the
// view of the page on screen rows 4 to 20. Page position (column, row) is
// shown at screen row row - top + 4, screen column column + 1.

#include <curses.h>

#include "render/listStack.h"

class Rendering_Engine {
public:
    // Touches no terminal; createPad does the curses work once curses runs.
    Rendering_Engine();
    ~Rendering_Engine();
    Rendering_Engine(const Rendering_Engine&) = delete;
    Rendering_Engine& operator=(const Rendering_Engine&) = delete;

    // Creates the page pad; curses must be running. Returns false on failure.
    bool createPad();

    void acceptToken(const char* token, short last);
    void toTempBuffer(bool endLine, const char* text, short n);
    void toTempBuffer(char c);
    void toDoubleBuffer();
    void setActiveE_Position(short x, short y);
    void updateActiveE_Position(short offset);
    void writeToDB(short x, short y, const char* text, short colourPair);
    void scrollText(short key);
    void scrollNext_aE();
    short current_displayY() const { return top; }
    void browserWindow();
    void write_helpString(const char* text);
    void reset();

    // For tests and the benchmark: the page buffer and the layout state.
    WINDOW* getPad() const { return pad; }
    short getX() const { return x; }
    short getRowCount() const { return row; }
    short getIndent() const { return indent; }

private:
    WINDOW* pad = nullptr;
    short x = 0;
    short row = 0;
    short top = 0;
    short indent = 0;
    bool centring = false;
    bool insideActive = false;
    short pendingCount = 0;
    short pendingX[78] = {};
    listStack* lists = nullptr;
    short olDepth = 0;
    short ulDepth = 0;
    short bullets[7] = {':', '*', '+', 'o', '-', '>', '~'};
};

// Width of the selected active element's representation.
short getLength();
