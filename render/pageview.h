#pragma once
// The page on screen as the controls and the dialogs below the shell see it:
// drawing into the page buffer, where a page row is on the screen, keeping
// the focused element in view, showing the help line and repainting the page
// view after a window over it has closed. The rendering engine implements it.

class PageView {
public:
    virtual ~PageView() = default;

    // Draws text at page position (column, pageRow) in a colour pair (see
    // screen/colours.h); the page view is then copied to the screen unless
    // pass three holds the copy back.
    virtual void writeCell(short column, int pageRow, const char* text, short colourPair) = 0;
    // The screen row on which page row pageRow is shown now; outside the page
    // view (rows 4 to 20) when the row is scrolled away.
    virtual int screenRowOf(int pageRow) const = 0;
    // Scrolls the view so that the focused active element's row is shown.
    virtual void showFocusedRow() = 0;
    // Copies the page view and the scroll marks to the screen again.
    virtual void repaint() = 0;
    // Shows a control's key help on the status line.
    virtual void helpLine(const char* text) = 0;
};
