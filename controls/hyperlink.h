#pragma once
// A link: Enter makes its target the next URL, resolved against the folder
// of the page that holds it.

#include "render/component.h"

class Hyperlink : public virtual Component {
public:
    Hyperlink() = default;
    explicit Hyperlink(const char* tagText);

    void setText(const char* s);
    void gotoNextURL();

    int getKey(int key) override;
    void setXY(short column, int row) override {
        x = column;
        y = row;
    }
    void select() override;
    void unselect() const override;
    short getLength() const override { return length; }
    int getRow() const override { return y; }
    const char* getRepresentation() override { return text; }
    void display() const override { unselect(); }
    const char* getHref() const { return href; }

private:
    char href[150] = {};
    char text[100] = {};
    short x = 0;
    int y = 0;
    short length = 0;
};
