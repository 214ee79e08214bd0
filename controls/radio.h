#pragma once
// A radio button: "(*)" or "( )". Buttons with the same NAME (compared
// without regard to case) form a group, linked in a ring by the radio list;
// checking one unchecks the others.

#include "render/component.h"

class Radio : public Component {
public:
    Radio() = default;
    explicit Radio(const char* tagText);
    // Copies take the state but not the ring: a copy starts alone in its
    // group until the radio list links it (the ring pointers belong to the
    // stored element).
    Radio(const Radio& other);
    Radio& operator=(const Radio& other);

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
    const char* nameOf() const override;

    void check();
    void unCheck() { checked = false; }
    bool isChecked() const { return checked; }
    bool isOfSameGroup(const Radio& other) const;
    int retX() const { return x; }
    int retY() const { return y; }

    Radio* nextInGroup = nullptr;
    Radio* prevInGroup = nullptr;

private:
    void uncheckOthers();

    bool checked = false;
    bool defaultChecked = false;
    char name[51] = {};
    char value[51] = {};
    int x = 0;
    int y = 0;
};
