#include "controls/password.h"

#include <curses.h>

#include "controls/attributes.h"
#include "controls/host.h"
#include "controls/padtext.h"
#include "render/pageview.h"
#include "screen/colours.h"
#include "screen/keys.h"

password::password(const char* tagText)
    : plainPad(makeSharedPad(1, CAPACITY)), maskPad(makeSharedPad(1, CAPACITY)) {
    AttributeScan scan(tagText);
    while (scan.next())
        if (scan.is("NAME")) scan.copyValue(name);
}

void password::storeString() {
    if (plainPad == nullptr) return;
    storedValue = padtext::read(plainPad.get(), padRow, length);
}

const char* password::dBuffString() {
    const int stars = length <= textBox::WINDOW_WIDTH ? length : textBox::WINDOW_WIDTH;
    for (int i = 0; i < textBox::WINDOW_WIDTH; ++i) masked[i] = i < stars ? '*' : ' ';
    masked[textBox::WINDOW_WIDTH] = '\0';
    return masked;
}

void password::drawUnfocused() {
    hostPage().writeCell(static_cast<short>(x + 1), y, dBuffString(), PAIR_BUTTON);
}

void password::applyKey(int key) {
    WINDOW* plain = plainPad.get();
    WINDOW* mask = maskPad.get();
    const bool editable = plain != nullptr && mask != nullptr;
    if (padtext::moveCursor(key, cursor, length)) {
        draw();
        return;
    }
    switch (key) {
        case KEY_BACKSPACE:
            if (editable && length >= 1 && cursor >= 1 && cursor <= length) {
                padtext::remove(plain, padRow, cursor - 1, length);
                padtext::remove(mask, padRow, cursor - 1, length);
                --length;
                --cursor;
            }
            break;
        case KEY_DC:
            if (editable && length > 0 && cursor < length) {
                padtext::remove(plain, padRow, cursor, length);
                padtext::remove(mask, padRow, cursor, length);
                --length;
            }
            break;
        default:
            // Insert and the other key codes never become text (see
            // padtext::isTypedCharacter); the field always inserts.
            if (editable && padtext::isTypedCharacter(key) && length < CAPACITY) {
                padtext::insert(plain, padRow, cursor, length, static_cast<char>(key));
                padtext::insert(mask, padRow, cursor, length, '*');
                ++length;
                ++cursor;
            }
            break;
    }
    draw();
}

void password::draw() {
    drawFieldWindow(maskPad.get(), padRow, x, hostPage().screenRowOf(y), cursor, length);
}

void password::select() {
    beginFieldEdit("Keys: TEXT-<Alphanumeric>;UNSELCT-<Tab>");
    showTextCursor();
    runFieldKeys([this](int key) { applyKey(key); });
    storeString();
    drawUnfocused();
    hideTextCursor();
}

void password::reset() {
    if (plainPad != nullptr) werase(plainPad.get());
    if (maskPad != nullptr) werase(maskPad.get());
    storedValue.reset();
    length = cursor = padRow = 0;
    hostPage().writeCell(static_cast<short>(x + 1), y, "                  ", PAIR_FIELD);
}

const char* password::valueOf() const {
    return storedValue ? storedValue->c_str() : nullptr;
}
