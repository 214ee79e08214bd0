#pragma once
// The page buffer and everything drawn around it: the frame, the status line
// with its scroll marks, and the view of the page on screen rows 4 to 20.
// Page position (column, row) is shown at screen row row - top + 4, screen
// column column + 1.
//
// A page may have far more rows than a curses pad can hold (a text page of
// 8 MB lays out to about 100,000 rows), so the page buffer is a window onto
// the page: a pad of PAD_ROWS rows holding page rows base to base +
// PAD_ROWS - 1. Laying the page out (pass three) draws every row once, the
// window moving on whenever it is full, and notes the layout state every
// CHECKPOINT_ROWS rows together with the place in the page stream it was
// reached at. Whenever the view leaves the window, the window is drawn anew
// around it: the layout starts again from the last note before it, reading
// the page stream from that place, and draws only the rows of the window;
// then the active elements in it draw themselves. Page rows (the view's
// top, the row being laid out, the rows of the elements) are ints; pad rows
// are page rows minus base.

#include <curses.h>

#include <memory>
#include <string>
#include <vector>

#include "render/listStack.h"
#include "render/pageview.h"
#include "screen/window.h"

class ActiveSerialTable;
class Component;

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

    // The page stream file the tokens of this page come from (pass2.tmp);
    // the window is drawn anew from it. Without one (tokens handed over
    // directly) the rows outside the window stay blank.
    void setSource(const char* fileName);

    void acceptToken(const char* token, short last);
    void toTempBuffer(bool endLine, const char* text, short n);
    void toTempBuffer(char c);
    void toDoubleBuffer();
    void setActiveE_Position(short x, int y);
    void updateActiveE_Position(short offset);
    void writeToDB(short x, int y, const char* text, short colourPair);
    void scrollText(short key);
    void scrollNext_aE();
    int current_displayY() const { return top; }
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
    void writeCell(short column, int pageRow, const char* text, short colourPair) override {
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

    // Draws the window anew so that it begins at page row first (at 0 for
    // a negative one): the layout from the last note before it, then the
    // active elements in it and the mark of the last match.
    void renderWindow(int first);

    // For tests and the benchmark: the page buffer (one pad for the
    // engine's life), the page row its first row holds, and the layout
    // state.
    WINDOW* getPad() const { return pad.get(); }
    int getPadRows() const { return pad != nullptr ? PAD_ROWS : 0; }
    int getBase() const { return base; }
    short getX() const { return x; }
    int getRowCount() const { return row; }
    short getIndent() const { return indent; }
    std::size_t getCheckpointCount() const { return checkpoints.size(); }

    static constexpr short LINE_WIDTH = 78;  // page columns 0 to 77
    static constexpr short PAD_COLUMNS = 80;
    static constexpr short VIEW_ROWS = 17;  // screen rows 4 to 20
    static constexpr short VIEW_FIRST_SCREEN_ROW = 4;
    static constexpr int PAD_ROWS = 2000;  // rows of the window onto the page
    // Rows between two notes of the layout state: drawing the window anew
    // lays out at most this many rows more than the window holds.
    static constexpr int CHECKPOINT_ROWS = 250;
    // A note is not taken while more lists than this are open (the copy of
    // the open lists is part of it), so that the notes stay small.
    static constexpr std::size_t MAX_CHECKPOINT_LISTS = 64;
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
    // Whether page row r is in the window.
    bool inPad(int r) const { return pad != nullptr && r >= base && r - base < PAD_ROWS; }
    // The layout has gone past the window: while the page is laid out the
    // window moves on to the current row; while the window is drawn anew
    // the layout stops.
    void windowFilled();
    // Draws the window anew around the view when the view is not in it.
    void keepViewInPad();
    void drawView();
    // Puts the marked cells of the last match back as they were.
    void unmark();
    // Marks the cells of the last match (reverse video), keeping them as
    // they were, when its row is in the window.
    void applyMark();

    // The layout state at a token boundary, with the bytes of the page
    // stream consumed up to it: enough to go on laying out from there.
    struct LayoutState {
        long offset = 0;
        int row = 0;
        short x = 0;
        short indent = 0;
        bool centring = false;
        bool insideActive = false;
        short olDepth = 0;
        short ulDepth = 0;
        attr_t attrs = A_NORMAL;
        short placed = 0;
        short pendingCount = 0;
        short pendingExtra = 0;
        std::vector<listStack::Entry> lists;
    };
    LayoutState saveLayout() const;
    void restoreLayout(const LayoutState& state);
    void takeCheckpoint();

    WindowHandle pad;
    ActiveSerialTable* table = nullptr;
    short x = 0;
    int row = 0;  // the page row being laid out (also the rows completed)
    int top = 0;  // the first page row shown
    short indent = 0;
    bool centring = false;
    bool insideActive = false;
    short pendingCount = 0;
    short pendingX[78] = {};
    std::unique_ptr<listStack> lists;
    short olDepth = 0;
    short ulDepth = 0;
    short bullets[7] = {':', '*', '+', 'o', '-', '>', '~'};

    attr_t attrs = A_NORMAL;  // attributes of the text the layout writes
    short placed = 0;         // opening delimiters given an element so far
    short pendingExtra = 0;   // elements of a centred line beyond pendingX
    bool refreshHeld = false;

    // The last match of findText: its page position and its cells as they
    // were before they were marked (empty when nothing is marked).
    int matchRow = 0;
    short matchColumn = -1;
    std::vector<chtype> markedCells;

    // The window and what is needed to draw it anew.
    int base = 0;                          // the page row in pad row 0
    std::string source;                    // the page stream file
    long consumed = 0;                     // bytes of the page stream laid out so far
    std::vector<LayoutState> checkpoints;  // in page order
    int nextCheckpointRow = 0;
    bool relayout = false;       // laying out again to draw the window anew
    bool windowFull = false;     // that layout has reached the window's end
    bool drawingWindow = false;  // the window is being drawn anew
    // The page's elements in page order, while the window is drawn anew.
    std::vector<Component*> elements;
};
