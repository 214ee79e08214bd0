#include "controls/combo.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/bounded.h"
#include "controls/attributes.h"
#include "controls/host.h"
#include "render/pageview.h"
#include "screen/colours.h"
#include "screen/keys.h"
#include "screen/window.h"

namespace {

// Option texts come from the page; anything but printable ASCII is shown as
// '?' so that it takes exactly one column of the pop-up.
std::string printable(const char* text, int columns) {
    std::string out;
    for (int i = 0; i < columns && text[i] != '\0'; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out.push_back(c >= 32 && c <= 126 ? static_cast<char>(c) : '?');
    }
    return out;
}

}  // namespace

Combo::Combo(const char* tagText) : options(std::make_shared<OptionStore>()) {
    AttributeScan scan(tagText);
    while (scan.next())
        if (scan.is("NAME")) scan.copyValue(name);
}

bool Combo::storeValue(const char* optionTagText, char* valueOut, int valueSize) {
    bool isSelected = false;
    AttributeScan scan(optionTagText);
    while (scan.next()) {
        if (scan.is("VALUE")) {
            if (valueOut != nullptr && valueSize > 0)
                scan.copyValue(valueOut, static_cast<std::size_t>(valueSize));
            else
                scan.value();
        }
        // Checked after VALUE too: the value word itself may be SELECTED.
        if (scan.is("SELECTED")) isSelected = true;
    }
    return isSelected;
}

void Combo::addOption(const char* optionTagText, const char* text) {
    if (options == nullptr) options = std::make_shared<OptionStore>();
    if (selected == nullptr) selected = last;
    if (defaultOption == nullptr) defaultOption = last;

    auto owned = std::make_unique<OptionNode>();
    OptionNode* node = owned.get();
    const bool isSelected = storeValue(optionTagText, node->value, sizeof node->value);
    node->length = static_cast<int>(wexa::boundedCopy(node->text, text));
    if (node->length > width) width = static_cast<short>(node->length);

    if (first == nullptr) {
        first = last = node;
    } else {
        last->next = node;
        node->prev = last;
        node->next = first;
        first->prev = node;
        last = node;
    }
    options->nodes.push_back(std::move(owned));
    if (isSelected) selected = defaultOption = node;
    ++optionCount;
}

void Combo::adjustOptions() {
    if (optionCount == 1) {
        width = static_cast<short>(first->length);
        selected = first;
    } else if (optionCount > 1) {
        OptionNode* node = first;
        for (int i = 0; i < optionCount; ++i, node = node->next) {
            while (node->length < width) node->text[node->length++] = '_';
            node->text[node->length] = '\0';
        }
    }
}

const char* Combo::shownText() const {
    if (optionCount == 1) return first->text;
    if (selected != nullptr) return selected->text;
    return EMPTY_TEXT;
}

short Combo::getLength() const {
    return optionCount == 0 ? static_cast<short>(std::strlen(EMPTY_TEXT)) : width;
}

const char* Combo::getRepresentation() {
    return shownText();
}

void Combo::drawSelected(short pair) const {
    hostPage().writeCell(x, y, shownText(), pair);
}

void Combo::display() const {
    drawSelected(PAIR_FIELD);
}

int Combo::getKey(int key) {
    PageView& page = hostPage();
    switch (key) {
        case KEY_UP:  // also: the list gets the focus
            drawSelected(PAIR_FOCUS);
            page.helpLine("Keys: UP/DOWN-<Arrow keys>; SELECT-<Enter/Tab>; UNSELECT-<Tab>");
            page.showFocusedRow();
            page.repaint();
            return key;
        case KEY_DOWN:  // also: the list loses the focus
            drawSelected(PAIR_FIELD);
            return key;
        case ENTER_KEY: {
            const int closedWith = selectS();
            drawSelected(closedWith == ENTER_KEY ? PAIR_FOCUS : PAIR_FIELD);
            page.repaint();
            return closedWith;
        }
        default:
            return key;
    }
}

int Combo::selectS() {
    // Nothing to choose from: the focus stays, nothing opens.
    if (optionCount == 0) return ENTER_KEY;

    const int fieldRow = hostPage().screenRowOf(y);
    const int rows = std::min(optionCount + 2, POPUP_MAX_ROWS);
    const int columns = std::min(width + 4, POPUP_MAX_COLUMNS);
    // Start on the field's row, moved up just enough for the bottom border to
    // be on row 20 at the lowest, and never above row 0.
    int top = fieldRow - std::max(fieldRow + rows - POPUP_MAX_ROWS, 0);
    top = std::clamp(top, 0, POPUP_MAX_ROWS - rows);
    const int left = std::clamp(x + 1, 0, POPUP_MAX_COLUMNS - columns);

    WindowHandle window(newwin(rows, columns, top, left));
    if (window == nullptr) return ENTER_KEY;
    WINDOW* win = window.get();
    box(win, 0, 0);
    wrefresh(win);
    keypad(win, TRUE);

    int index = 0;
    for (const OptionNode* node = first; node != nullptr && node != selected && index < optionCount;
         node = node->next)
        ++index;
    if (index >= optionCount || selected == nullptr) {
        index = 0;
        selected = first;
    }
    popupFirst = 0;
    repaint(win, index);

    int key = 0;
    for (;;) {
        // A resize while the list is open redraws the screen, the list
        // stays open.
        key = readKey(win);
        if (key == ENTER_KEY || key == TAB_KEY) break;
        if (optionCount < 2) continue;
        if (key == KEY_DOWN) {
            selected = selected->next;
            index = (index + 1) % optionCount;
            repaint(win, index);
        } else if (key == KEY_UP) {
            selected = selected->prev;
            index = index == 0 ? optionCount - 1 : index - 1;
            repaint(win, index);
        }
    }
    wrefresh(win);
    touchwin(stdscr);  // the next refresh redraws what the pop-up covered
    return key;
}

void Combo::repaint(WINDOW* winPtr, int index) {
    if (winPtr == nullptr || optionCount == 0) return;
    const int visible = std::max(getmaxy(winPtr) - 2, 1);
    const int columns = getmaxx(winPtr);
    const int textColumns = std::max(columns - 4, 0);
    index = std::clamp(index, 0, optionCount - 1);
    if (index < popupFirst) popupFirst = index;
    if (index >= popupFirst + visible) popupFirst = index - visible + 1;

    const OptionNode* node = first;
    for (int i = 0; i < popupFirst && node != nullptr; ++i) node = node->next;
    for (int row = 0; row < visible && popupFirst + row < optionCount && node != nullptr; ++row) {
        const short pair = popupFirst + row == index ? PAIR_OPTION : PAIR_FIELD;
        wattron(winPtr, COLOR_PAIR(pair));
        mvwaddstr(winPtr, row + 1, 2, printable(node->text, textColumns).c_str());
        wattroff(winPtr, COLOR_PAIR(pair));
        node = node->next;
    }
    // Arrows on the border tell that more options lie above or below.
    if (optionCount > visible) {
        mvwaddch(winPtr, 0, columns - 2, popupFirst > 0 ? ACS_UARROW : ACS_HLINE);
        mvwaddch(winPtr, visible + 1, columns - 2,
                 popupFirst + visible < optionCount ? ACS_DARROW : ACS_HLINE);
    }
    wrefresh(winPtr);
}

void Combo::reset() {
    selected = defaultOption;
    if (selected == nullptr) {
        selected = first;
        drawSelected(PAIR_FIELD);
        return;
    }
    char shown[sizeof selected->text];
    const std::size_t keep = std::min(static_cast<std::size_t>(std::max<short>(width, 0)) + 1, sizeof shown);
    wexa::boundedCopy(shown, keep, selected->text);
    hostPage().writeCell(x, y, shown, PAIR_FIELD);
}

const char* Combo::valueOf() const {
    if (selected == nullptr) return nullptr;
    if (selected->value[0] != '\0') return selected->value;
    if (selected->text[0] != '\0') return selected->text;
    return nullptr;
}
