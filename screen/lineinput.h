#pragma once
// One line of text typed into a window, as in a line editor: the URL window
// and the search prompt.

#include <curses.h>

#include <cstddef>
#include <string>

struct LineField {
    int row = 0;     // the input line, in the window's rows
    int column = 0;  // its first column
    int width = 0;   // columns it may use; longer text scrolls sideways
    std::size_t maxLength = 0;
    // A row of the window where the refusal of a character beyond maxLength
    // is explained (the bar of solid blocks under the input line of
    // openInputWindow, drawn again at the next key), and the explanation.
    int noteRow = 0;
    const char* tooLong = "";
};

enum class LineEnd { ENTERED, CANCELLED };

// Edits text in the field, the cursor after it at first: printable
// characters are inserted at the cursor; Left, Right, Home and End move it;
// Backspace deletes before it and Delete at it; Enter ends with ENTERED; ESC,
// or the terminal changing size, ends with CANCELLED. A character that would
// make the text longer than maxLength is refused with the bell and the note.
// The terminal's cursor shows while the line is edited.
LineEnd editLine(WINDOW* w, const LineField& field, std::string& text);
