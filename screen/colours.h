#pragma once
// The browser's colour pairs by what they are used for. The shell defines
// each pair's colours at start-up (initColours); everything that draws names
// the pair here. Some pairs serve several purposes: each has one name.

inline constexpr short PAIR_FOCUS = 1;         // red on white: dialog titles, the focused dialog button,
                                               // a focused link, image, checkbox, radio button or list
inline constexpr short PAIR_FIELD = 2;         // white on black: text fields, drop-down lists and the
                                               // options of an open list
inline constexpr short PAIR_OPTION = 3;        // green on black: the highlighted option of an open list
inline constexpr short PAIR_BUTTON = 4;        // magenta on black: submit and reset buttons, the
                                               // password field, the mode word
inline constexpr short PAIR_MESSAGE = 5;       // blue on white: dialog message text, help text, an image
inline constexpr short PAIR_STATUS = 6;        // yellow on black: the status line, an unfocused checkbox
                                               // or radio button
inline constexpr short PAIR_SPARE = 7;         // blue on black: defined, used by nothing
inline constexpr short PAIR_DIALOG = 8;        // black on yellow: dialog borders and input window titles,
                                               // the unfocused dialog button, the help screen's frame
inline constexpr short PAIR_LINK = 9;          // cyan on black: an unfocused link
inline constexpr short PAIR_BORDER = 10;       // black on white: the screen's frame
inline constexpr short PAIR_BUTTON_FOCUS = 11; // yellow on blue: a focused submit or reset button
inline constexpr short PAIR_SPLASH_BACK = 12;  // white on white: the splash screen's background
inline constexpr short PAIR_SPLASH_UPPER = 13; // red on white: the splash screen's upper letters
inline constexpr short PAIR_SPLASH_LOWER = 14; // blue on white: the splash screen's lower letters

inline constexpr short PAIR_COUNT = 14;
