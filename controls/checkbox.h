#pragma once
// A checkbox: "[X]" or "[ ]", switched with Enter.

#include "render/component.h"

class Checkbox : public Component {
public:
    Checkbox() = default;
    explicit Checkbox(const char* tagText);

    int getKey(int key) override;
    void setXY(short column, int row) override;
    void select() override;
    void unselect() const override;
    short getLength() const override { return 3; }
    int getRow() const override { return y; }
    const char* getRepresentation() override;
    void display() const override;
    void reset() override;
    const char* valueOf() const override;
    const char* nameOf() const override { return name; }

    void check() { checked = true; }
    void unCheck() { checked = false; }
    bool isChecked() const { return checked; }

private:
    void draw(short pair) const;

    char value[40] = {};
    char name[40] = {};
    bool checked = false;
    bool defaultChecked = false;
    short x = 0;
    int y = 0;
};
