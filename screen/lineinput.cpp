#include "screen/lineinput.h"

#include <algorithm>
#include <vector>

#include "screen/colours.h"
#include "screen/keys.h"

namespace {

constexpr int DELETE_CHARACTER = 127;
constexpr int BACKSPACE_CHARACTER = 8;

bool isPrintable(int key) {
    return key >= 32 && key <= 126;
}

// The part of the text from `first` on, padded with blanks to the width.
void drawText(WINDOW* w, const LineField& f, const std::string& text, std::size_t first) {
    std::vector<chtype> cells(static_cast<std::size_t>(f.width), static_cast<chtype>(' '));
    for (std::size_t i = 0; i < cells.size() && first + i < text.size(); ++i)
        cells[i] = static_cast<unsigned char>(text[first + i]);
    mvwaddchnstr(w, f.row, f.column, cells.data(), f.width);
}

void showNote(WINDOW* w, const LineField& f) {
    const int inner = getmaxx(w) - 2;
    const std::string note = std::string(" ") + f.tooLong + " ";
    const int column = 1 + std::max(0, (inner - static_cast<int>(note.size())) / 2);
    wattron(w, COLOR_PAIR(PAIR_DIALOG));
    mvwaddnstr(w, f.noteRow, column, note.c_str(), inner);
    wattroff(w, COLOR_PAIR(PAIR_DIALOG));
}

void clearNote(WINDOW* w, const LineField& f) {
    mvwhline(w, f.noteRow, 1, ACS_BLOCK, getmaxx(w) - 2);
}

}  // namespace

LineEnd editLine(WINDOW* w, const LineField& f, std::string& text) {
    if (w == nullptr || f.width <= 0) return LineEnd::CANCELLED;
    if (text.size() > f.maxLength) text.resize(f.maxLength);
    const std::size_t width = static_cast<std::size_t>(f.width);
    std::size_t cursor = text.size();
    std::size_t first = 0;  // the first character shown
    bool noteShown = false;
    LineEnd end = LineEnd::CANCELLED;
    showTextCursor();
    for (bool editing = true; editing;) {
        // The cursor's cell stays within the field (after the last
        // character it takes a cell of its own).
        if (cursor < first) first = cursor;
        if (cursor >= first + width) first = cursor - width + 1;
        drawText(w, f, text, first);
        wmove(w, f.row, f.column + static_cast<int>(cursor - first));
        wrefresh(w);

        const int key = readKeyOrResize(w);
        if (noteShown) {
            clearNote(w, f);
            noteShown = false;
        }
        switch (key) {
            case ENTER_KEY:
            case '\r':
            case KEY_ENTER:
                end = LineEnd::ENTERED;
                editing = false;
                break;
            case ESC_KEY:
            case KEY_RESIZE:
                editing = false;
                break;
            case KEY_LEFT:
                if (cursor > 0) --cursor;
                break;
            case KEY_RIGHT:
                if (cursor < text.size()) ++cursor;
                break;
            case KEY_HOME:
                cursor = 0;
                break;
            case KEY_END:
                cursor = text.size();
                break;
            case KEY_BACKSPACE:
            case DELETE_CHARACTER:
            case BACKSPACE_CHARACTER:
                if (cursor > 0) text.erase(--cursor, 1);
                break;
            case KEY_DC:
                if (cursor < text.size()) text.erase(cursor, 1);
                break;
            default:
                if (!isPrintable(key)) break;
                if (text.size() >= f.maxLength) {
                    beep();
                    showNote(w, f);
                    noteShown = true;
                    break;
                }
                text.insert(cursor++, 1, static_cast<char>(key));
                break;
        }
    }
    hideTextCursor();
    return end;
}
