#pragma once
// A single-line text box (INPUT TYPE=TEXTBOX). Its text is edited in a
// 1 x 512 curses pad shown through an 18-column window on the page; the pad
// is shared by copies of the control and released with the last of them.

#include <curses.h>

#include <memory>

#include "controls/component.h"

using SharedPad = std::shared_ptr<WINDOW>;

// Creates a pad of rows x cols with a blank background, owned by the handle
// (released with delwin when the last copy goes). Null when curses cannot
// make it.
SharedPad makeSharedPad(int rows, int cols);

class textBox : public virtual Component {
public:
    textBox() = default;
    explicit textBox(const char* tagText);

    void setXY(short column, short row) override { x = column; y = row; }
    short getRow() const override { return static_cast<short>(y); }
    short getLength() const override { return 20; }
    const char* getRepresentation() override;
    void select() override;  // the edit loop
    void reset() override;
    const char* valueOf() const override;
    const char* nameOf() const override;

    void retrieveString();
    void storeString();
    const char* writeToDb();
    void unselect() const override {}
    void drawUnfocused();

    // For tests: apply one key of the edit loop and draw, as the loop does.
    void applyKey(int key);
    int getCursor() const { return cursor; }
    int getTextLength() const { return length; }
    bool isInsertMode() const { return insertMode; }

private:
    void draw();

    SharedPad pad;
    char name[40] = {};
    char initialValue[513] = {};
    char currentValue[513] = {};
    int length = 0;
    int cursor = 0;
    int padRow = 0;
    int x = 0;
    int y = 0;
    bool insertMode = true;
    char representation[21] = {};
    char window[19] = {};
};
