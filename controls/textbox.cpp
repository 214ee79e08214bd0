#include "controls/textbox.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/bounded.h"
#include "controls/attributes.h"
#include "controls/host.h"
#include "controls/padtext.h"
#include "render/keymode.h"
#include "render/pageview.h"
#include "screen/colours.h"
#include "screen/keys.h"
#include "screen/window.h"

namespace {

// Fills an 18-column window buffer: the first 18 characters of text, padded
// with blanks.
void fillWindow(char (&out)[19], const char* text) {
    std::size_t n = wexa::boundedCopy(out, text);
    while (n < 18) out[n++] = ' ';
    out[18] = '\0';
}

// A default as the field shows it. Attribute values are single words, so
// the proxy server writes the blanks of a default of several words (a text
// area's "Leave at the door") as "_": the field shows them as blanks.
void showBlanks(char* text) {
    for (; *text != '\0'; ++text)
        if (*text == '_') *text = ' ';
}

// Keys that leave a text field for the key handler to act on: they move the
// focus to another element.
bool movesFocus(int key) {
    return key == KEY_BTAB || key == KEY_UP || key == KEY_DOWN;
}

}  // namespace

SharedPad makeSharedPad(int rows, int cols) {
    SharedPad pad(newpad(rows, cols), WindowDeleter{});
    if (pad == nullptr) return nullptr;
    wbkgd(pad.get(), ' ');
    return pad;
}

void drawFieldWindow(WINDOW* pad, int padRow, int x, int r, int cursor, int length) {
    const int width = textBox::WINDOW_WIDTH;
    mvwaddch(stdscr, r, x + 20, (cursor < length && length > width) ? ACS_RARROW : ']');
    mvwaddch(stdscr, r, x + 1, cursor > width ? ACS_LARROW : '[');
    wrefresh(stdscr);
    if (pad != nullptr) {
        const int firstColumn = std::max(cursor - width, 0);
        prefresh(pad, padRow, firstColumn, r, x + 2, r, x + 1 + width);
    }
    wmove(stdscr, r, cursor <= width - 1 ? x + 2 + cursor : x + 1 + width);
    wrefresh(stdscr);
}

textBox::textBox(const char* tagText) : pad(makeSharedPad(1, CAPACITY)) {
    AttributeScan scan(tagText);
    while (scan.next()) {
        if (scan.is("NAME")) {
            scan.copyValue(name);
        } else if (scan.is("VALUE")) {
            if (scan.copyValue(initialValue)) {
                wexa::boundedCopy(initialShown, initialValue);
                showBlanks(initialShown);
                wexa::boundedCopy(currentValue, initialShown);
                length = static_cast<int>(std::strlen(currentValue));
            }
        }
    }
}

const char* textBox::getRepresentation() {
    char shown[19];
    fillWindow(shown, currentValue);
    representation[0] = '[';
    std::memcpy(representation + 1, shown, 18);
    representation[19] = ']';
    representation[20] = '\0';
    return representation;
}

const char* textBox::writeToDb() {
    const std::size_t shownFrom = std::min(static_cast<std::size_t>(viewStart), std::strlen(currentValue));
    fillWindow(window, currentValue + shownFrom);
    return window;
}

void textBox::drawUnfocused() {
    PageView& page = hostPage();
    // The part of the text the field showed when it was left; the brackets
    // turn into '<' and '>' where the text goes on beyond it.
    const bool before = viewStart > 0;
    const bool after = static_cast<int>(std::strlen(currentValue)) > viewStart + WINDOW_WIDTH;
    page.writeCell(static_cast<short>(x), y, before ? "<" : "[", 0);
    page.writeCell(static_cast<short>(x + 1), y, writeToDb(), PAIR_FIELD);
    page.writeCell(static_cast<short>(x + 1 + WINDOW_WIDTH), y, after ? ">" : "]", 0);
}

void textBox::retrieveString() {
    length = static_cast<int>(std::strlen(currentValue));
    cursor = length;
    if (pad == nullptr) return;
    werase(pad.get());
    padtext::write(pad.get(), padRow, currentValue);
}

void textBox::storeString() {
    if (pad == nullptr) return;
    wexa::boundedCopy(currentValue, padtext::read(pad.get(), padRow, length).c_str());
    length = static_cast<int>(std::strlen(currentValue));
    cursor = std::min(cursor, length);
}

void textBox::typeCharacter(char ch) {
    if (insertMode) {
        if (length >= CAPACITY) return;
        padtext::insert(pad.get(), padRow, cursor, length, ch);
        ++length;
    } else if (cursor < length) {
        padtext::put(pad.get(), padRow, cursor, ch);
    } else {
        if (length >= CAPACITY) return;
        padtext::put(pad.get(), padRow, cursor, ch);
        ++length;
    }
    ++cursor;
}

void textBox::applyKey(int key) {
    // Without a pad (curses could not make one) the text cannot change; the
    // cursor keys still move.
    const bool editable = pad != nullptr;
    if (padtext::moveCursor(key, cursor, length)) {
        draw();
        return;
    }
    switch (key) {
        case KEY_BACKSPACE:
            if (editable && length >= 1 && cursor >= 1 && cursor <= length) {
                padtext::remove(pad.get(), padRow, cursor - 1, length);
                --length;
                --cursor;
            }
            break;
        case KEY_DC:
            if (editable && length > 0 && cursor < length) {
                padtext::remove(pad.get(), padRow, cursor, length);
                --length;
            }
            break;
        case KEY_IC:
            insertMode = !insertMode;
            break;
        default:
            if (editable && padtext::isTypedCharacter(key)) typeCharacter(static_cast<char>(key));
            break;
    }
    draw();
}

void beginFieldEdit(const char* helpText) {
    PageView& page = hostPage();
    page.showFocusedRow();
    page.repaint();
    page.helpLine(helpText);
}

int runFieldKeys(const std::function<void(int)>& applyKey) {
    int key = KEY_F(1);  // ignored by applyKey: the first round only draws
    while (key != KEY_RESULT_LEAVE && key != KEY_RESULT_ESCAPE && !movesFocus(key)) {
        applyKey(key);
        // A resize while the field has the keys redraws the screen and the
        // field keeps them.
        key = readKey(stdscr);
    }
    if (key == KEY_RESULT_ESCAPE) hostMode().enterGlobalMode();
    if (movesFocus(key)) hostMode().takeKeyNext(key);
    return key;
}

void textBox::draw() {
    drawFieldWindow(pad.get(), padRow, x, hostPage().screenRowOf(y), cursor, length);
}

void textBox::select() {
    beginFieldEdit("Keys: INS-MODE<Insert>;NAV-[Home/End/->/<-];");
    insertMode = true;
    retrieveString();
    showTextCursor();
    runFieldKeys([this](int key) { applyKey(key); });
    storeString();
    // The field goes on showing what it showed while it was edited.
    viewStart = std::max(cursor - WINDOW_WIDTH, 0);
    drawUnfocused();
    hideTextCursor();
}

void textBox::reset() {
    wexa::boundedCopy(currentValue, initialShown);
    length = static_cast<int>(std::strlen(currentValue));
    cursor = length;
    viewStart = 0;
    drawUnfocused();
    if (pad != nullptr) werase(pad.get());
}

const char* textBox::valueOf() const {
    if (currentValue[0] == '\0') return nullptr;
    // A default left as it was goes back as the page gave it, so that the
    // proxy server sends the page's real default (with its own blanks,
    // underscores and line breaks); anything edited goes exactly as shown.
    if (std::strcmp(currentValue, initialShown) == 0) return initialValue;
    return currentValue;
}

const char* textBox::nameOf() const {
    return name[0] != '\0' ? name : nullptr;
}
