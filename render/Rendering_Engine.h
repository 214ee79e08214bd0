#pragma once
// The page buffer (a curses pad holding the laid-out page) and everything
// drawn around it: the frame, the status line with its scroll marks, and the
// view of the page on screen rows 4 to 20. Page position (column, row) is
// shown at screen row row - top + 4, screen column column + 1.

#include <curses.h>

#include <memory>
#include <vector>

#include "render/listStack.h"
#include "render/pageview.h"
#include "screen/window.h"

class ActiveSerialTable;

class Rendering_Engine : public PageView {
public:
    // The code given to scrollText to repaint the page view without moving
    // it (any code that is not a scrolling key only repaints; this one is
    // used for that).
    static constexpr short REPAINT_KEY = 274;

    // Touches no terminal; createPad does the curses work once curses runs.
    Rendering_Engine();
    ~Rendering_Engine() override;
    Rendering_Engine(const Rendering_Engine&) = delete;
    Rendering_Engine& operator=(const Rendering_Engine&) = delete;

    // The active element table whose elements the layout places and whose
    // focused element scrollNext_aE keeps in view; the shell connects it
    // once at start-up.
    void connect(ActiveSerialTable& activeTable) { table = &activeTable; }

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
    // The status line as in Global mode, where a control's help text may
    // have been: the key summary, the separators and "MODE: " (the key
    // handler draws the mode word; the scroll marks and the position stay).
    // Drawn on the standard screen, not yet refreshed.
    void drawStatusLine();
    // A control's key help on the status line, in the columns left of the
    // mode word (a text too long for them loses the blanks after its
    // semicolons, then its end).
    void write_helpString(const char* text);
    void reset();

    // Looks for text in the page, without regard to letter case, from the
    // first row shown (next false) or from just after the last match (next
    // true) to the end of the page, then on from its top. The match found
    // is marked (reverse video, the previous mark taken away) and scrolled
    // into view. False, with nothing changed, when the page has no match.
    // Text broken across two rows by the layout is not found.
    bool findText(const char* text, bool next);

    // The page view of the controls and dialogs (see pageview.h).
    void writeCell(short column, short pageRow, const char* text, short colourPair) override {
        writeToDB(column, pageRow, text, colourPair);
    }
    int screenRowOf(int pageRow) const override { return pageRow - top + VIEW_FIRST_SCREEN_ROW; }
    void showFocusedRow() override { scrollNext_aE(); }
    void repaint() override { scrollText(REPAINT_KEY); }
    void helpLine(const char* text) override { write_helpString(text); }

    // While held, writeToDB draws into the page buffer without copying the
    // view to the screen; pass three holds it while every element draws
    // itself and shows the page once at the end.
    void holdRefresh(bool held) { refreshHeld = held; }

    // For tests and the benchmark: the page buffer (one window for the
    // engine's life; it grows and shrinks in place) and the layout state.
    WINDOW* getPad() const { return pad.get(); }
    int getPadRows() const { return padRows; }
    short getX() const { return x; }
    short getRowCount() const { return row; }
    short getIndent() const { return indent; }

    static constexpr short LINE_WIDTH = 78;  // page columns 0 to 77
    static constexpr short PAD_COLUMNS = 80;
    static constexpr short VIEW_ROWS = 17;  // screen rows 4 to 20
    static constexpr short VIEW_FIRST_SCREEN_ROW = 4;
    static constexpr int FIRST_PAD_ROWS = 2000;
    static constexpr int MAX_PAD_ROWS = 32767;  // the curses size limit
    static constexpr short INDENT_STEP = 5;
    static constexpr short MAX_INDENT = 40;  // eight levels of lists
    // Status line columns: the help text ends a blank before the mode word.
    static constexpr short MODE_WORD_COLUMN = 62;
    static constexpr short HELP_COLUMNS = MODE_WORD_COLUMN - 2;

private:
    // Writes n bytes of text on the current line, wrapping after column 77.
    void writeText(const char* text, int n);
    void endLine();
    void openActive();
    void openList(bool ordered);
    void closeList(bool ordered);
    void listItem();
    void setIndentFromDepth();
    // Makes sure the pad holds page row r (grows it up to MAX_PAD_ROWS).
    void ensurePadRow(int r);
    void drawView();
    // Puts the marked cells of the last match back as they were.
    void unmark();

    WindowHandle pad;
    ActiveSerialTable* table = nullptr;
    short x = 0;
    short row = 0;
    short top = 0;
    short indent = 0;
    bool centring = false;
    bool insideActive = false;
    short pendingCount = 0;
    short pendingX[78] = {};
    std::unique_ptr<listStack> lists;
    short olDepth = 0;
    short ulDepth = 0;
    short bullets[7] = {':', '*', '+', 'o', '-', '>', '~'};

    int padRows = 0;          // the pad starts at 2000 rows and grows
    attr_t attrs = A_NORMAL;  // attributes of the text the layout writes
    short placed = 0;         // opening delimiters given an element so far
    short pendingExtra = 0;   // elements of a centred line beyond pendingX
    bool refreshHeld = false;

    // The last match of findText: its page position and its cells as they
    // were before they were marked (empty when nothing is marked).
    short matchRow = 0;
    short matchColumn = -1;
    std::vector<chtype> markedCells;
};
