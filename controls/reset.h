#pragma once
// The reset button: puts its form's controls back to their initial state.

#include "render/component.h"

class Form;

class Reset : public virtual Component {
public:
    Reset() = default;
    Reset(const char* tagText, Form* form);

    int getKey(int key) override;
    void setXY(short column, int row) override {
        x = column;
        y = row;
    }
    void select() override;
    void unselect() const override;
    short getLength() const override { return static_cast<short>(length); }
    int getRow() const override { return y; }
    const char* getRepresentation() override { return label; }
    void display() const override { unselect(); }
    Form* getForm() const { return form; }

private:
    char label[100] = {};
    short x = 0;
    int y = 0;
    Form* form = nullptr;
    int length = 0;
};
