#include "shell/initcolours.h"

#include <curses.h>

void initColours() {
    // Pair numbers are what the rest of the browser refers to; keep the order.
    static const short pairs[14][2] = {
        {COLOR_RED, COLOR_WHITE},     // 1 dialog titles, focused buttons, selected link/mark
        {COLOR_WHITE, COLOR_BLACK},   // 2 drop-down lists and text fields
        {COLOR_GREEN, COLOR_BLACK},   // 3 drop-down list box
        {COLOR_MAGENTA, COLOR_BLACK}, // 4 mode word, submit and reset buttons
        {COLOR_BLUE, COLOR_WHITE},    // 5 dialog message text, help text, image
        {COLOR_YELLOW, COLOR_BLACK},  // 6 status line, unselected checkbox and radio
        {COLOR_BLUE, COLOR_BLACK},    // 7
        {COLOR_BLACK, COLOR_YELLOW},  // 8 dialog borders and titles, unfocused button
        {COLOR_CYAN, COLOR_BLACK},    // 9 unselected link
        {COLOR_BLACK, COLOR_WHITE},   // 10 screen border
        {COLOR_YELLOW, COLOR_BLUE},   // 11 selected submit and reset button
        {COLOR_WHITE, COLOR_WHITE},   // 12 splash screen background
        {COLOR_RED, COLOR_WHITE},     // 13 splash screen, upper letters
        {COLOR_BLUE, COLOR_WHITE},    // 14 splash screen, lower letters
    };
    for (short i = 0; i < 14; ++i) init_pair(static_cast<short>(i + 1), pairs[i][0], pairs[i][1]);
}
