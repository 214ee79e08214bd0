#pragma once
// A single-line text box (INPUT TYPE=TEXTBOX). On the page it takes 20
// columns: '[', an 18-column text area, ']'. Its text is edited in a 1 x 512
// curses pad shown through that 18-column window; the pad is shared by
// copies of the control and released with the last of them.

#include <curses.h>

#include <functional>
#include <memory>

#include "render/component.h"

using SharedPad = std::shared_ptr<WINDOW>;

// Creates a pad of rows x cols with a blank background, owned by the handle
// (released with delwin when the last copy goes). Null when curses cannot
// make it.
SharedPad makeSharedPad(int rows, int cols);

class textBox : public virtual Component {
public:
    static constexpr int CAPACITY = 512;  // characters
    static constexpr int WINDOW_WIDTH = 18;

    textBox() = default;  // no pad: only for list nodes, which get a copy
    explicit textBox(const char* tagText);

    void setXY(short column, int row) override {
        x = column;
        y = row;
    }
    int getRow() const override { return y; }
    short getLength() const override { return 20; }
    // '[' + the first 18 characters padded with blanks + ']'.
    const char* getRepresentation() override;
    // The edit loop: keys are read from the standard screen until Tab or
    // Escape (Escape also switches the browser to Global mode); the text is
    // then stored and the field drawn unfocused.
    void select() override;
    void reset() override;
    // The text as the field shows it, or null while it is empty (an empty
    // field is not sent). A default shows "_" as a blank (see textbox.cpp);
    // left as it was, it is sent as the page gave it.
    const char* valueOf() const override;
    // The NAME, or null when the tag had none.
    const char* nameOf() const override;

    // Puts the current text into the pad; the cursor ends after it.
    void retrieveString();
    // Reads the edited text back from the pad into the current text.
    void storeString();
    // The 18 columns shown on the page when not editing: those the field
    // showed when it was left (the start of the text at first).
    const char* writeToDb();
    // The field draws itself at the end of its own edit loop, so the
    // interface's unselect does nothing.
    void unselect() const override {}
    // Writes writeToDb() into the page buffer in the field colours.
    void drawUnfocused();

    // One key of the edit loop: its effect on the text, then the drawing.
    void applyKey(int key);

    // For tests.
    int getCursor() const { return cursor; }
    int getTextLength() const { return length; }
    bool isInsertMode() const { return insertMode; }
    const SharedPad& getPad() const { return pad; }

private:
    void typeCharacter(char ch);
    void draw();

    SharedPad pad;
    char name[40] = {};
    char initialValue[513] = {};
    char initialShown[513] = {};  // initialValue with "_" shown as blanks
    char currentValue[513] = {};
    int length = 0;
    int cursor = 0;
    int padRow = 0;
    int x = 0;
    int y = 0;
    bool insertMode = true;
    int viewStart = 0;  // the first character shown when not editing
    char representation[21] = {};
    char window[19] = {};
};

// Shared by both text fields: the 18-column window onto a pad on screen row
// r, field at page column x: the scroll markers, the visible part of the pad
// and the terminal cursor.
void drawFieldWindow(WINDOW* pad, int padRow, int x, int r, int cursor, int length);

// The start of a text field's edit loop: the field's row brought into view,
// the page repainted, the field's help line shown.
void beginFieldEdit(const char* helpText);
// Feeds keys to applyKey until Tab, ESC, Shift-Tab, Up or Down (the first
// round passes a key that only draws) and returns that key; ESC puts the
// browser in Global mode, and the key handler acts on Shift-Tab, Up and
// Down next (they move the focus).
int runFieldKeys(const std::function<void(int)>& applyKey);
