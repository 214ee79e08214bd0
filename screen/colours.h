#pragma once
// The browser's colour pairs by what they are used for. The shell defines
// each pair's colours at start-up (initColours); everything that draws names
// the pair here. Some pairs serve several purposes: each has one name.

// Red on white: dialog titles, the focused dialog button, a focused link,
// image, checkbox, radio button or drop-down list.
inline constexpr short PAIR_FOCUS = 1;
// White on black: text fields, drop-down lists, the options of an open list.
inline constexpr short PAIR_FIELD = 2;
// Green on black: the highlighted option of an open drop-down list.
inline constexpr short PAIR_OPTION = 3;
// Magenta on black: submit and reset buttons, the password field, the mode
// word.
inline constexpr short PAIR_BUTTON = 4;
// Blue on white: dialog message text, help text, an image.
inline constexpr short PAIR_MESSAGE = 5;
// Yellow on black: the status line, an unfocused checkbox or radio button.
inline constexpr short PAIR_STATUS = 6;
// Blue on black: defined, used by nothing.
inline constexpr short PAIR_SPARE = 7;
// Black on yellow: dialog borders and input window titles, the unfocused
// dialog button, the help screen's frame.
inline constexpr short PAIR_DIALOG = 8;
// Cyan on black: an unfocused link.
inline constexpr short PAIR_LINK = 9;
// Black on white: the screen's frame.
inline constexpr short PAIR_BORDER = 10;
// Yellow on blue: a focused submit or reset button.
inline constexpr short PAIR_BUTTON_FOCUS = 11;
// The splash screen: white on white behind the letters, red on white for
// the upper letters, blue on white for the lower ones.
inline constexpr short PAIR_SPLASH_BACK = 12;
inline constexpr short PAIR_SPLASH_UPPER = 13;
inline constexpr short PAIR_SPLASH_LOWER = 14;

inline constexpr short PAIR_COUNT = 14;
