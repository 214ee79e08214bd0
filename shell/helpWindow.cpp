#include "shell/helpWindow.h"

#include "shell/global.h"
#include "shell/keys.h"

namespace {

constexpr int kPadRows = 32, kPadCols = 56;
constexpr int kViewRows = 14;    // pad rows visible at once
constexpr int kLastTextRow = 29; // the last pad row that holds text

struct HelpLine {
    int row, col;
    const char* text;  // null: a horizontal line of 55 characters
};

// The help text. The three function-key lines name the keys that really do
// these things (F1 help, F2 URL window, F3 proxy address).
const HelpLine kHelpText[] = {
    {0, 0, " KEY STROKES"},
    {1, 0, nullptr},
    {2, 0, " ESC      : Toggling Global & Local Mode."},
    {4, 0, " F1       : Wexa Help-Window."},
    {6, 0, " F2       : URL Request Window."},
    {8, 0, " F3       : WexaPServer IPconfiguration."},
    {10, 0, " Q(or q) : To shutdown Wexa System."},
    {12, 0, " R(or r) : Refresh the Page"},
    {15, 0, " Keys for Scrolling the Page."},
    {16, 0, nullptr},
    {17, 0, " UP or DOWN   : Scroll page UP or DOWN"},
    {19, 0, " HOME or END  : Move to Begining or End of page."},
    {21, 0, " PageUP or PageDOWN:Move UP or DOWN page by page."},
    {23, 0, nullptr},
    {25, 20, " Wexa Version 1.1"},
    {26, 20, " Developed By:- "},
    {27, 20, " The page passes team"},
    {28, 20, " The controls team"},
    {29, 20, " The proxy server team"},
};

}  // namespace

helpWindow::~helpWindow() {
    if (frame != nullptr) delwin(frame);
}

void helpWindow::showHelpScreen() {
    if (frame != nullptr) delwin(frame);
    frame = newwin(16, 56, 4, 10);
    WINDOW* pad = newpad(kPadRows, kPadCols);
    if (frame == nullptr || pad == nullptr) {
        if (pad != nullptr) delwin(pad);
        return;
    }
    keypad(frame, TRUE);
    wattron(frame, COLOR_PAIR(8));
    box(frame, 0, 0);
    mvwaddstr(frame, 0, 21, "Wexa Help Window");
    mvwaddstr(frame, 15, 1, "Press ESC to Return to Browser Window");
    wattroff(frame, COLOR_PAIR(8));
    wrefresh(frame);

    for (int r = 0; r < kPadRows; ++r)
        for (int c = 0; c < kPadCols; ++c) mvwaddch(pad, r, c, ACS_BLOCK);
    wattron(pad, COLOR_PAIR(5));
    for (const HelpLine& line : kHelpText) {
        if (line.text != nullptr) mvwaddstr(pad, line.row, line.col, line.text);
        else mvwhline(pad, line.row, line.col, ACS_HLINE, 55);
    }
    wattroff(pad, COLOR_PAIR(5));

    int offset = 0;
    int key = 0;
    do {
        if (key == KEY_DOWN && offset + kViewRows < kLastTextRow + 1) ++offset;
        else if (key == KEY_UP && offset >= 1) --offset;
        prefresh(pad, offset, 0, 5, 11, 18, 64);
        // The scroll marks sit on the frame at screen (4, 64) and (19, 64).
        mvwaddch(frame, 0, 54, ACS_UARROW);
        mvwaddch(frame, 15, 54, ACS_DARROW);
        wrefresh(frame);
        key = readKey(frame);
    } while (key != 27);

    werase(pad);
    delwin(pad);
    refresh();
    GlobalNamespace.renderer.scrollText(265);
}

namespace {

// "Wexa" in block letters, 13 rows by 37 columns: '#' is a filled cell.
const char* const kSplash[13] = {
    ".....................................",
    ".#.........#.........................",
    ".#.........#.........................",
    ".#.........#.........................",
    ".#.........#.........................",
    ".#....#....#..#####..#.....#..#####..",
    ".#....#....#.#.....#..#...#........#.",
    ".#...#.#...#.#.....#...#.#.........#.",
    ".#..#...#..#.#######....#.....######.",
    ".#.#.....#.#.#.........#.#...#.....#.",
    ".##.......##.#.....#..#...#..#....##.",
    ".#.........#..#####..#.....#..####.#.",
    ".....................................",
};

}  // namespace

void splashScreen() {
    for (int r = 0; r < 13; ++r) {
        for (int c = 0; c < 37; ++c) {
            const bool filled = kSplash[r][c] == '#';
            const short pair = filled ? (r <= 6 ? 13 : 14) : 12;
            attron(COLOR_PAIR(pair));
            mvaddch(4 + r, 21 + c, filled ? ACS_BLOCK : ' ');
            attroff(COLOR_PAIR(pair));
            refresh();
        }
    }
    attron(COLOR_PAIR(13));
    mvaddstr(17, 22, "Wexa");
    attroff(COLOR_PAIR(13));
    refresh();
    readKey(stdscr);
    erase();
    refresh();
}
