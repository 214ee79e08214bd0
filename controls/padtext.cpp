#include "controls/padtext.h"

#include <vector>

namespace padtext {

bool moveCursor(int key, int& cursor, int length) {
    switch (key) {
        case KEY_HOME:
            cursor = 0;
            return true;
        case KEY_END:
            cursor = length;
            return true;
        case KEY_LEFT:
            if (cursor > 0) --cursor;
            return true;
        case KEY_RIGHT:
            if (cursor < length) ++cursor;
            return true;
        default:
            return false;
    }
}

namespace {

int widthOf(WINDOW* pad) {
    return pad != nullptr ? getmaxx(pad) : 0;
}

// Cells of row from column col to col + n - 1.
std::vector<chtype> cells(WINDOW* pad, int row, int col, int n) {
    std::vector<chtype> out(static_cast<std::size_t>(n) + 1, 0);
    if (n > 0) mvwinchnstr(pad, row, col, out.data(), n);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

void writeCells(WINDOW* pad, int row, int col, const std::vector<chtype>& in) {
    if (in.empty()) return;
    mvwaddchnstr(pad, row, col, in.data(), static_cast<int>(in.size()));
}

chtype cellOf(char ch) {
    return static_cast<chtype>(static_cast<unsigned char>(ch));
}

}  // namespace

bool isTypedCharacter(int key) {
    return key >= 32 && key <= 126;
}

void put(WINDOW* pad, int row, int col, char ch) {
    if (col < 0 || col >= widthOf(pad)) return;
    writeCells(pad, row, col, {cellOf(ch)});
}

void insert(WINDOW* pad, int row, int col, int used, char ch) {
    const int width = widthOf(pad);
    if (col < 0 || col >= width || used < col) return;
    int moving = used - col;
    if (col + 1 + moving > width) moving = width - col - 1;  // the last column falls off
    writeCells(pad, row, col + 1, cells(pad, row, col, moving));
    put(pad, row, col, ch);
}

void remove(WINDOW* pad, int row, int col, int used) {
    const int width = widthOf(pad);
    if (used > width) used = width;
    if (col < 0 || col >= used) return;
    writeCells(pad, row, col, cells(pad, row, col + 1, used - col - 1));
    put(pad, row, used - 1, ' ');
}

void write(WINDOW* pad, int row, const std::string& text) {
    const int width = widthOf(pad);
    std::vector<chtype> out;
    for (char ch : text) {
        if (static_cast<int>(out.size()) == width) break;
        // A NUL cell would end the copy early; the text never holds one.
        out.push_back(cellOf(ch == '\0' ? ' ' : ch));
    }
    writeCells(pad, row, 0, out);
}

std::string read(WINDOW* pad, int row, int n) {
    const int width = widthOf(pad);
    if (n > width) n = width;
    std::string text;
    if (n <= 0) return text;
    for (chtype cell : cells(pad, row, 0, n)) text.push_back(static_cast<char>(cell & A_CHARTEXT));
    return text;
}

}  // namespace padtext
