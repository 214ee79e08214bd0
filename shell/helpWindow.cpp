#include "shell/helpWindow.h"

#include "screen/colours.h"
#include "screen/keys.h"
#include "shell/global.h"

namespace {

constexpr int PAD_ROWS = 40, PAD_COLUMNS = 56;
constexpr int VIEW_ROWS = 14;      // pad rows visible at once
constexpr int LAST_TEXT_ROW = 37;  // the last pad row that holds text

struct HelpLine {
    int row, col;
    const char* text;  // null: a horizontal line of 55 characters
};

// The help text. The three function-key lines name the keys that really do
// these things (F1 help, F2 URL window, F3 proxy address).
const HelpLine HELP_TEXT[] = {
    {0, 0, " KEY STROKES"},
    {1, 0, nullptr},
    {2, 0, " ESC      : Toggling Global & Local Mode."},
    {4, 0, " F1       : Wexa Help-Window."},
    {6, 0, " F2       : URL Request Window."},
    {8, 0, " F3       : WexaPServer IPconfiguration."},
    {10, 0, " Q(or q) : To shutdown Wexa System."},
    {12, 0, " R(or r) : Refresh the Page"},
    {14, 0, " /        : Search the page; n : Next match."},
    {16, 0, " =        : Show the URL of the page and link."},
    {18, 0, " Keys for Scrolling the Page."},
    {19, 0, nullptr},
    {20, 0, " UP or DOWN   : Scroll page UP or DOWN"},
    {22, 0, " HOME or END  : Move to Begining or End of page."},
    {24, 0, " PageUP or PageDOWN:Move UP or DOWN page by page."},
    {26, 0, " Keys in Local Mode."},
    {27, 0, nullptr},
    {28, 0, " DOWN or TAB  : Move to the next link or field."},
    {29, 0, " UP or S-TAB  : Move to the previous link or field."},
    {30, 0, " PageUP or PageDOWN:Page, select first link in view."},
    {31, 0, nullptr},
    {33, 20, " Wexa Version 1.1"},
    {34, 20, " Developed By:- "},
    {35, 20, " The page passes team"},
    {36, 20, " The controls team"},
    {37, 20, " The proxy server team"},
};

}  // namespace

void helpWindow::showHelpScreen() {
    frame.reset(newwin(16, 56, 4, 10));
    WindowHandle pad(newpad(PAD_ROWS, PAD_COLUMNS));
    if (frame == nullptr || pad == nullptr) return;
    WINDOW* win = frame.get();
    WINDOW* text = pad.get();
    keypad(win, TRUE);
    wattron(win, COLOR_PAIR(PAIR_DIALOG));
    box(win, 0, 0);
    mvwaddstr(win, 0, 21, "Wexa Help Window");
    mvwaddstr(win, 15, 1, "Press ESC to Return to Browser Window");
    wattroff(win, COLOR_PAIR(PAIR_DIALOG));
    wrefresh(win);

    for (int r = 0; r < PAD_ROWS; ++r)
        for (int c = 0; c < PAD_COLUMNS; ++c) mvwaddch(text, r, c, ACS_BLOCK);
    wattron(text, COLOR_PAIR(PAIR_MESSAGE));
    for (const HelpLine& line : HELP_TEXT) {
        if (line.text != nullptr)
            mvwaddstr(text, line.row, line.col, line.text);
        else
            mvwhline(text, line.row, line.col, ACS_HLINE, 55);
    }
    wattroff(text, COLOR_PAIR(PAIR_MESSAGE));

    int offset = 0;
    int key = 0;
    do {
        if (key == KEY_DOWN && offset + VIEW_ROWS < LAST_TEXT_ROW + 1)
            ++offset;
        else if (key == KEY_UP && offset >= 1)
            --offset;
        prefresh(text, offset, 0, 5, 11, 18, 64);
        // The scroll marks sit on the frame at screen (4, 64) and (19, 64).
        mvwaddch(win, 0, 54, ACS_UARROW);
        mvwaddch(win, 15, 54, ACS_DARROW);
        wrefresh(win);
        key = readKey(win);
    } while (key != ESC_KEY);

    werase(text);
    pad.reset();
    refresh();
    GlobalNamespace.renderer.repaint();
}

namespace {

// "Wexa" in block letters, 13 rows by 37 columns: '#' is a filled cell.
const char* const SPLASH[13] = {
    ".....................................", ".#.........#.........................",
    ".#.........#.........................", ".#.........#.........................",
    ".#.........#.........................", ".#....#....#..#####..#.....#..#####..",
    ".#....#....#.#.....#..#...#........#.", ".#...#.#...#.#.....#...#.#.........#.",
    ".#..#...#..#.#######....#.....######.", ".#.#.....#.#.#.........#.#...#.....#.",
    ".##.......##.#.....#..#...#..#....##.", ".#.........#..#####..#.....#..####.#.",
    ".....................................",
};

}  // namespace

void splashScreen() {
    for (int r = 0; r < 13; ++r) {
        for (int c = 0; c < 37; ++c) {
            const bool filled = SPLASH[r][c] == '#';
            const short pair = filled ? (r <= 6 ? PAIR_SPLASH_UPPER : PAIR_SPLASH_LOWER) : PAIR_SPLASH_BACK;
            attron(COLOR_PAIR(pair));
            mvaddch(4 + r, 21 + c, filled ? ACS_BLOCK : ' ');
            attroff(COLOR_PAIR(pair));
            refresh();
        }
    }
    attron(COLOR_PAIR(PAIR_SPLASH_UPPER));
    mvaddstr(17, 22, "Wexa");
    attroff(COLOR_PAIR(PAIR_SPLASH_UPPER));
    refresh();
    readKey(stdscr);
    erase();
    refresh();
}
