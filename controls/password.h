#pragma once
// A password field (INPUT TYPE=PASSWORD): up to 25 characters, typed into a
// plain pad and shown from a pad of asterisks through the same 18-column
// window as the text box. Both pads are shared by copies and keep their
// contents between edits, so each edit goes on where the last one stopped.

#include <optional>
#include <string>

#include "controls/textbox.h"

class password : public virtual Component {
public:
    static constexpr int CAPACITY = 25;  // characters

    password() = default;  // no pads: only for list nodes, which get a copy
    // Reads NAME only: a password field always starts empty.
    explicit password(const char* tagText);

    void setXY(short column, int row) override {
        x = column;
        y = row;
    }
    int getRow() const override { return y; }
    short getLength() const override { return 20; }
    const char* getRepresentation() override { return "[                  ]"; }
    // The edit loop (as the text box's, always inserting).
    void select() override;
    void reset() override;
    // The text stored by the last edit; null before the first edit and
    // after reset, so an untouched field is not sent.
    const char* valueOf() const override;
    const char* nameOf() const override { return name; }

    // Makes the first `length` characters of the plain pad the value.
    void storeString();
    // The 18 columns shown on the page: one '*' per character, blanks after.
    const char* dBuffString();
    void unselect() const override {}
    // Writes dBuffString() into the page buffer in the button colours.
    void drawUnfocused();

    // One key of the edit loop: its effect on the text, then the drawing.
    void applyKey(int key);

    // For tests.
    int getCursor() const { return cursor; }
    int getTextLength() const { return length; }
    const SharedPad& getPlainPad() const { return plainPad; }
    const SharedPad& getMaskPad() const { return maskPad; }

private:
    void draw();

    SharedPad plainPad;
    SharedPad maskPad;
    // The text read back after the last edit; each copy holds its own.
    std::optional<std::string> storedValue;
    char name[15] = {};
    int length = 0;
    int cursor = 0;
    int padRow = 0;
    int x = 0;
    int y = 0;
    char masked[19] = {};
};
