#pragma once
// Cell-level editing of one row of a curses pad, used by the text fields.
// The cells are written as they are (no control-character expansion, no
// wrapping, no cursor movement), so the row always holds exactly the
// characters of the text being edited, one per column. Every function does
// nothing (or returns an empty text) when the pad is null.

#include <curses.h>

#include <string>

namespace padtext {

// A key is typed into a text field only when it is a printable ASCII
// character: control codes, DEL and the curses key codes never become text
// (they would corrupt the value sent to the server and be echoed raw to the
// terminal).
bool isTypedCharacter(int key);

// Home, End, Left and Right move the cursor of a text of `length`
// characters (it stays within 0..length); true when key was one of them.
bool moveCursor(int key, int& cursor, int length);

// Writes ch at column col of row, over what was there.
void put(WINDOW* pad, int row, int col, char ch);
// Inserts ch at column col of a text of `used` characters; the characters
// from col on move one column right (one that would pass the pad's last
// column is lost, so callers keep used below the width).
void insert(WINDOW* pad, int row, int col, int used, char ch);
// Removes the character at column col of a text of `used` characters; the
// rest moves one column left and the freed last column becomes blank.
void remove(WINDOW* pad, int row, int col, int used);
// Writes text from column 0 (the rest of the row is left as it is).
void write(WINDOW* pad, int row, const std::string& text);
// The characters (low 8 bits of each cell) of the first n columns of row.
std::string read(WINDOW* pad, int row, int n);

}  // namespace padtext
