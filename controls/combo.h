#pragma once
// A drop-down list (SELECT). Shows the current option's text; Enter opens a
// boxed pop-up listing the options, in which the arrows move the highlight
// (and the selection with it) and Enter or Tab close it. The options are
// shared by copies of the control and released with the last of them.
//
// The active element table gives the list the focus with the cursor-up key
// code and takes it away with the cursor-down code, instead of
// select/unselect.

#include <curses.h>

#include <memory>
#include <vector>

#include "render/component.h"

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
    // The pop-up stays inside screen rows 0 to 20 and the 80 columns.
    static constexpr int POPUP_MAX_ROWS = 21;
    static constexpr int POPUP_MAX_COLUMNS = 80;
    // What a list without any option shows.
    static constexpr const char* EMPTY_TEXT = "-";

    Combo() = default;
    explicit Combo(const char* tagText);

    // Appends an option; VALUE and SELECTED are read from the OPTION tag
    // text, the display text is `text` (cut to 42 characters).
    void addOption(const char* optionTagText, const char* text);
    // Copies the word after VALUE into valueOut (cut to valueSize - 1); true
    // when any word of the tag, the value included, is SELECTED.
    static bool storeValue(const char* optionTagText, char* valueOut, int valueSize);
    // Completes the list after its last option: a single option becomes the
    // selection; with several, every text is padded with '_' to the longest.
    void adjustOptions();
    // Runs the pop-up; returns the key that closed it, 10 (Enter) or 9 (Tab).
    int selectS();
    // Draws the options into the open pop-up with the option at `index`
    // highlighted, scrolling the options so that it is in view.
    void repaint(WINDOW* winPtr, int index);

    void setXY(short column, int row) override {
        x = column;
        y = row;
    }
    int getRow() const override { return y; }
    short getLength() const override;
    const char* getRepresentation() override;
    void select() override {}
    void display() const override;
    int getKey(int key) override;
    void reset() override;
    // The selected option's VALUE, else its text; null when there is no
    // selected option or both are empty (the list is then not sent).
    const char* valueOf() const override;
    const char* nameOf() const override { return name; }

    // For tests.
    int getOptionCount() const { return optionCount; }
    const OptionNode* getSelected() const { return selected; }
    const OptionNode* getDefault() const { return defaultOption; }
    const OptionNode* getFirst() const { return first; }
    short getWidth() const { return width; }
    const std::shared_ptr<OptionStore>& getStore() const { return options; }

private:
    const char* shownText() const;
    void drawSelected(short pair) const;

    char name[50] = {};
    int optionCount = 0;
    std::shared_ptr<OptionStore> options;
    OptionNode* first = nullptr;
    OptionNode* last = nullptr;
    OptionNode* defaultOption = nullptr;
    OptionNode* selected = nullptr;
    short x = 0;
    int y = 0;
    short width = 0;
    // First option shown in the open pop-up (when not all of them fit).
    int popupFirst = 0;
};
