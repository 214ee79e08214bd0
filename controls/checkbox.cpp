#include "controls/checkbox.h"

#include "controls/attributes.h"
#include "shell/global.h"

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
    GlobalNamespace.renderer.writeToDB(x, y, checked ? "[X]" : "[ ]", pair);
}

int Checkbox::getKey(int key) {
    if (key == 10) {
        if (checked)
            unCheck();
        else
            check();
        select();
        return 10;
    }
    if (key == KEY_RESULT_LEAVE) unselect();
    return key;
}

void Checkbox::setXY(short column, short row) {
    x = column;
    y = row;
}

void Checkbox::select() {
    GlobalNamespace.renderer.scrollNext_aE();
    draw(1);
    GlobalNamespace.renderer.write_helpString("Keys: CHECK/UNCHECK-<Enter>;UNSELECT-<TAB>");
}

void Checkbox::unselect() const {
    draw(6);
}

const char* Checkbox::getRepresentation() {
    return checked ? "[X]" : "[ ]";
}

void Checkbox::display() const {
    draw(6);
}

void Checkbox::reset() {
    checked = defaultChecked;
    draw(6);
}

// An unchecked box is still sent, with an empty value.
const char* Checkbox::valueOf() const {
    if (!checked) return "";
    return value[0] != '\0' ? value : "on";
}
