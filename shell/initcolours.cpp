#include "shell/initcolours.h"

#include <curses.h>

#include "screen/colours.h"

void initColours() {
    // In pair order; screen/colours.h tells what each pair is for.
    struct Pair {
        short number, foreground, background;
    };
    static const Pair PAIRS[PAIR_COUNT] = {
        {PAIR_FOCUS, COLOR_RED, COLOR_WHITE},          {PAIR_FIELD, COLOR_WHITE, COLOR_BLACK},
        {PAIR_OPTION, COLOR_GREEN, COLOR_BLACK},       {PAIR_BUTTON, COLOR_MAGENTA, COLOR_BLACK},
        {PAIR_MESSAGE, COLOR_BLUE, COLOR_WHITE},       {PAIR_STATUS, COLOR_YELLOW, COLOR_BLACK},
        {PAIR_SPARE, COLOR_BLUE, COLOR_BLACK},         {PAIR_DIALOG, COLOR_BLACK, COLOR_YELLOW},
        {PAIR_LINK, COLOR_CYAN, COLOR_BLACK},          {PAIR_BORDER, COLOR_BLACK, COLOR_WHITE},
        {PAIR_BUTTON_FOCUS, COLOR_YELLOW, COLOR_BLUE}, {PAIR_SPLASH_BACK, COLOR_WHITE, COLOR_WHITE},
        {PAIR_SPLASH_UPPER, COLOR_RED, COLOR_WHITE},   {PAIR_SPLASH_LOWER, COLOR_BLUE, COLOR_WHITE},
    };
    for (const Pair& pair : PAIRS) init_pair(pair.number, pair.foreground, pair.background);
}
