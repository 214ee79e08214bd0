#include "controls/checkbox.h"

#include "controls/attributes.h"
#include "controls/host.h"
#include "render/pageview.h"
#include "screen/colours.h"
#include "screen/keys.h"

Checkbox::Checkbox(const char* tagText) {
    AttributeScan scan(tagText);
    while (scan.next()) {
        if (scan.is("NAME")) {
            scan.copyValue(name);
        } else if (scan.is("VALUE")) {
            scan.copyValue(value);
        } else if (scan.is("CHECKED")) {
            checked = defaultChecked = true;
        }
    }
}

void Checkbox::draw(short pair) const {
    hostPage().writeCell(x, y, checked ? "[X]" : "[ ]", pair);
}

int Checkbox::getKey(int key) {
    if (key == ENTER_KEY) {
        if (checked)
            unCheck();
        else
            check();
        select();
        return ENTER_KEY;
    }
    if (key == KEY_RESULT_LEAVE) unselect();
    return key;
}

void Checkbox::setXY(short column, int row) {
    x = column;
    y = row;
}

void Checkbox::select() {
    hostPage().showFocusedRow();
    draw(PAIR_FOCUS);
    hostPage().helpLine("Keys: CHECK/UNCHECK-<Enter>;UNSELECT-<TAB>");
}

void Checkbox::unselect() const {
    draw(PAIR_STATUS);
}

const char* Checkbox::getRepresentation() {
    return checked ? "[X]" : "[ ]";
}

void Checkbox::display() const {
    draw(PAIR_STATUS);
}

void Checkbox::reset() {
    checked = defaultChecked;
    draw(PAIR_STATUS);
}

// An unchecked box is still sent, with an empty value.
const char* Checkbox::valueOf() const {
    if (!checked) return "";
    return value[0] != '\0' ? value : "on";
}
