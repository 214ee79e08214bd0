#pragma once
// Reading keys in the browser's blocking loops, and keeping the screen whole
// while the terminal changes size.

#include <curses.h>

// The browser's screen: it draws only within these rows and columns, and
// needs a terminal at least this large.
inline constexpr int SCREEN_ROWS = 24;
inline constexpr int SCREEN_COLS = 80;

// The line shown on a terminal made smaller than the browser's screen.
inline constexpr const char* SIZE_NOTICE = "wexa needs at least 80x24";

// Keys that arrive as plain characters (curses names the others: KEY_UP,
// KEY_F(1) and so on).
inline constexpr int TAB_KEY = '\t';
inline constexpr int ENTER_KEY = '\n';
inline constexpr int ESC_KEY = 27;

// Takes the terminal's resize signal for the browser. Must run before curses
// starts: curses then leaves the signal alone and never resizes its screen or
// its windows on its own (it would cut dialogs to a small terminal and not
// restore them); readKey follows the size instead.
void watchTerminalSize();

// Reads one key from w (blocking). When the terminal changes size while the
// browser waits, a terminal smaller than 80x24 shows SIZE_NOTICE (keys typed
// meanwhile are dropped) until it is large enough again; then the screen is
// drawn again exactly as it was, dialogs included, and the wait goes on.
// When the terminal's input has ended for good (the terminal was closed),
// the program cannot go on: the terminal is restored and the program ends,
// instead of spinning on errors.
int readKey(WINDOW* w);
// The same, for the input editors, which close when the terminal changes
// size: KEY_RESIZE once the screen has been drawn again after a resize.
int readKeyOrResize(WINDOW* w);

// For work that does not wait for keys (a page being fetched): follows a
// resize that happened since the last call without waiting. A terminal too
// small shows SIZE_NOTICE (and the next readKey waits until it is large
// enough again); a large enough one gets the screen drawn again as it was.
// True when the screen is on the terminal.
bool followTerminalSize();

// The escape delay: how long curses waits after ESC for the rest of a key's
// sequence. Short (SHORT_ESCAPE_DELAY_MS), so that ESC acts at once, unless
// the user set ESCDELAY. Called once curses runs.
inline constexpr int SHORT_ESCAPE_DELAY_MS = 25;
void useShortEscapeDelay();
// Teaches curses the other sequences terminals send for Home and End.
void defineEditingKeys();

// The terminal's cursor in a text field (visible on every terminal that can
// show one) and hidden elsewhere.
void showTextCursor();
void hideTextCursor();

// Restores the terminal (leaves curses mode) if curses is running.
void restoreTerminal();
