#pragma once
// A drop-down list (SELECT). Shows the current option's text; Enter opens a
// pop-up listing the options. The options are shared by copies of the
// control and released with the last of them.

#include <curses.h>

#include <memory>
#include <vector>

#include "controls/component.h"

struct OptionNode {
    int length = 0;
    char value[41] = {};
    char text[43] = {};
    OptionNode* next = nullptr;
    OptionNode* prev = nullptr;
};

// Owns the option nodes of one drop-down list (they are linked into a ring
// by their next/prev pointers; the store only keeps them alive).
struct OptionStore {
    std::vector<std::unique_ptr<OptionNode>> nodes;
};

class Combo : public virtual Component {
public:
    Combo() = default;
    explicit Combo(const char* tagText);

    void addOption(const char* optionTagText, const char* text);
    static bool storeValue(const char* optionTagText, char* valueOut, int valueSize);
    void adjustOptions();
    int selectS();
    void repaint(WINDOW* winPtr, int index);

    void setXY(short column, short row) override { x = column; y = row; }
    short getRow() const override { return y; }
    short getLength() const override { return width; }
    const char* getRepresentation() override;
    void select() override {}
    void display() const override;
    int getKey(int key) override;
    void reset() override;
    const char* valueOf() const override;
    const char* nameOf() const override { return name; }

    int getOptionCount() const { return optionCount; }
    const OptionNode* getSelected() const { return selected; }

private:
    void drawSelected(short pair) const;

    char name[50] = {};
    int optionCount = 0;
    std::shared_ptr<OptionStore> options;
    OptionNode* first = nullptr;
    OptionNode* last = nullptr;
    OptionNode* defaultOption = nullptr;
    OptionNode* selected = nullptr;
    short x = 0;
    short y = 0;
    short width = 0;
};
