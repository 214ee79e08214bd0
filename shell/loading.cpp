#include "shell/loading.h"

#include <algorithm>

#include "render/Rendering_Engine.h"
#include "screen/colours.h"

namespace {

constexpr int STATUS_ROW = SCREEN_ROWS - 1;
constexpr int FIRST_COLUMN = 1;
// The columns up to the separator after the mode word, which the line takes
// while the page loads.
constexpr int WIDTH = Rendering_Engine::MODE_WORD_COLUMN + 6 - FIRST_COLUMN;

}  // namespace

void LoadingLine::started(const char* text) {
    if (stdscr == nullptr) return;
    active = true;
    what = text != nullptr ? text : "";
    shownKilobytes = 0;
    mvwinchnstr(stdscr, STATUS_ROW, 0, savedStatus, SCREEN_COLS);
    // Keys are looked at between the pieces of the reply, without waiting.
    // Those already waiting now were typed before the fetch began: they are
    // kept for afterwards (a message about the fetch may take one).
    nodelay(stdscr, TRUE);
    typedBefore.clear();
    for (int key = wgetch(stdscr); key != ERR; key = wgetch(stdscr)) typedBefore.push_back(key);
    draw(0);
}

void LoadingLine::draw(std::size_t received) {
    std::string tail = "  ESC cancels";
    if (received >= 1024) tail = "  " + std::to_string(received / 1024) + " KB" + tail;
    std::string line = what;
    // The end of a long address gives way to the size and the way out.
    const std::size_t room = static_cast<std::size_t>(WIDTH) - tail.size();
    if (line.size() > room) line = line.substr(0, room - 3) + "...";
    for (char& c : line)
        if (c < 32 || c > 126) c = '?';
    line += tail;
    mvwhline(stdscr, STATUS_ROW, FIRST_COLUMN, ' ', WIDTH);
    wattron(stdscr, COLOR_PAIR(PAIR_STATUS));
    mvwaddnstr(stdscr, STATUS_ROW, FIRST_COLUMN, line.c_str(), WIDTH);
    wattroff(stdscr, COLOR_PAIR(PAIR_STATUS));
    wrefresh(stdscr);
}

bool LoadingLine::keepWaiting(std::size_t received) {
    if (!active) return true;
    followTerminalSize();
    bool goOn = true;
    for (int key = wgetch(stdscr); key != ERR; key = wgetch(stdscr))
        if (key == ESC_KEY) goOn = false;
    if (goOn && received / 1024 != shownKilobytes) {
        shownKilobytes = received / 1024;
        draw(received);
    }
    return goOn;
}

void LoadingLine::finished() {
    if (!active) return;
    active = false;
    nodelay(stdscr, FALSE);
    flushinp();
    for (auto key = typedBefore.rbegin(); key != typedBefore.rend(); ++key) ungetch(*key);
    typedBefore.clear();
    mvwaddchnstr(stdscr, STATUS_ROW, 0, savedStatus, SCREEN_COLS);
    wrefresh(stdscr);
}
