#pragma once
// Helpers for the controls' tests: a dummy terminal with the renderer's page
// pad, and reading back what was drawn.

#include <curses.h>

#include <initializer_list>
#include <string>

namespace controlstest {

// Starts curses on the dummy terminal and creates the page pad (once); then
// empties the page, the active element table and every control list, and
// blanks the screen. The view shows page row 0 at screen row 4.
void freshPage();

// The characters of n page cells from (column, row), and the colour pair of
// one cell.
std::string pageText(int column, int row, int n);
short pagePair(int column, int row);

// The characters of n cells of a window (stdscr, curscr) from (row, column).
std::string cellsText(WINDOW* w, int row, int column, int n);
// One cell without its colour: character and the alternate-charset bit, to
// compare with the ACS_ symbols.
chtype symbolAt(WINDOW* w, int row, int column);

// Queues keys so that the next reads return them in this order.
void pushKeys(std::initializer_list<int> keys);

}  // namespace controlstest
