#pragma once
// Reading keys in the browser's blocking loops.

#include <curses.h>

// Reads one key from w (blocking). When the terminal's input has ended for
// good (the terminal was closed), the program cannot go on: the terminal is
// restored and the program ends, instead of spinning on errors.
int readKey(WINDOW* w);

// Restores the terminal (leaves curses mode) if curses is running.
void restoreTerminal();
