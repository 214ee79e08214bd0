#include "controls/radio.h"

#include <strings.h>

#include "common/bounded.h"
#include "controls/attributes.h"
#include "controls/host.h"
#include "render/pageview.h"
#include "screen/colours.h"
#include "screen/keys.h"

Radio::Radio(const char* tagText) : nextInGroup(this), prevInGroup(this) {
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

Radio::Radio(const Radio& other)
    : Component(other),
      nextInGroup(this),
      prevInGroup(this),
      checked(other.checked),
      defaultChecked(other.defaultChecked),
      x(other.x),
      y(other.y) {
    wexa::boundedCopy(name, other.name);
    wexa::boundedCopy(value, other.value);
}

// The target keeps its own place in its ring: its neighbours still point to
// it, so taking the source's ring would leave them pointing at a button
// that no longer points back.
Radio& Radio::operator=(const Radio& other) {
    if (this == &other) return *this;
    Component::operator=(other);
    checked = other.checked;
    defaultChecked = other.defaultChecked;
    wexa::boundedCopy(name, other.name);
    wexa::boundedCopy(value, other.value);
    x = other.x;
    y = other.y;
    return *this;
}

int Radio::getKey(int key) {
    if (key == ENTER_KEY) {
        // A radio button cannot be unchecked by the user: Enter on a checked
        // one changes nothing.
        if (!checked) {
            check();
            select();
        }
        return ENTER_KEY;
    }
    if (key == KEY_RESULT_LEAVE) unselect();
    return key;
}

void Radio::setXY(short column, int row) {
    x = column;
    y = row;
}

void Radio::select() {
    PageView& page = hostPage();
    page.showFocusedRow();
    page.writeCell(static_cast<short>(x), y, checked ? "(*)" : "( )", PAIR_FOCUS);
    page.helpLine("Keys: CHECK-<Enter>; UNSELECT-<Tab>");
}

void Radio::unselect() const {
    hostPage().writeCell(static_cast<short>(x), y, checked ? "(*)" : "( )", PAIR_STATUS);
}

const char* Radio::getRepresentation() {
    return checked ? "(*)" : "( )";
}

void Radio::display() const {
    unselect();
}

void Radio::reset() {
    checked = defaultChecked;
    unselect();
    if (checked) uncheckOthers();
}

const char* Radio::valueOf() const {
    if (!checked) return nullptr;
    return value[0] != '\0' ? value : "on";
}

const char* Radio::nameOf() const {
    return name[0] != '\0' ? name : nullptr;
}

void Radio::check() {
    checked = true;
    uncheckOthers();
}

bool Radio::isOfSameGroup(const Radio& other) const {
    return strcasecmp(name, other.name) == 0;
}

void Radio::uncheckOthers() {
    for (Radio* other = nextInGroup; other != nullptr && other != this; other = other->nextInGroup) {
        other->unCheck();
        other->unselect();
    }
}
