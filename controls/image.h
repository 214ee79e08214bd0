#pragma once
// An image placeholder: the ALT word, or "IMAGE".

#include "render/component.h"

class Image : public Component {
public:
    Image();
    Image(const char* tagText, bool inLink);

    int getKey(int key) override;
    void setXY(short column, int row) override {
        x = column;
        y = row;
    }
    void select() override;
    void unselect() const override;
    short getLength() const override { return static_cast<short>(length); }
    int getRow() const override { return y; }
    const char* getRepresentation() override { return text; }
    void display() const override { unselect(); }
    // Whether the image stands inside a link (it then only lends its text).
    bool isInLink() const { return inLink; }

private:
    char text[256] = "IMAGE";
    short x = 0;
    int y = 0;
    bool inLink = false;
    int length = 5;
};
