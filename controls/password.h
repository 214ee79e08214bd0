#pragma once
// A password field (INPUT TYPE=PASSWORD): up to 25 characters, typed into a
// plain pad and shown from a pad of asterisks. Both pads are shared by copies.

#include <string>

#include "controls/textbox.h"

class password : public virtual Component {
public:
    password() = default;
    explicit password(const char* tagText);

    void setXY(short column, short row) override { x = column; y = row; }
    short getRow() const override { return static_cast<short>(y); }
    short getLength() const override { return 20; }
    const char* getRepresentation() override { return "[                  ]"; }
    void select() override;  // the edit loop
    void reset() override;
    const char* valueOf() const override;
    const char* nameOf() const override { return name; }

    void storeString();
    const char* dBuffString();
    void unselect() const override {}
    void drawUnfocused();

    // For tests: apply one key of the edit loop and draw, as the loop does.
    void applyKey(int key);
    int getCursor() const { return cursor; }
    int getTextLength() const { return length; }

private:
    void draw();

    SharedPad plainPad;
    SharedPad maskPad;
    // The text read back after the last edit; shared by copies like the pads
    // (a copy made before an edit sees it too). Null before the first edit
    // and after reset.
    std::shared_ptr<std::string> storedValue;
    char name[15] = {};
    int length = 0;
    int cursor = 0;
    int padRow = 0;
    int x = 0;
    int y = 0;
    char masked[19] = {};
};
