#include "shell/keys.h"

#include <cstdio>
#include <cstdlib>

int readKey(WINDOW* w) {
    // A blocking read returns ERR only when input fails; a few in a row
    // (an interrupted read, say) are retried, a steady stream of them means
    // the terminal is gone.
    for (int failures = 0; failures < 64; ++failures) {
        const int key = wgetch(w);
        if (key != ERR) return key;
    }
    restoreTerminal();
    std::fputs("wexa: the terminal's input has ended\n", stderr);
    std::exit(1);
}

void restoreTerminal() {
    if (stdscr != nullptr && !isendwin()) {
        echo();
        noraw();
        curs_set(1);
        endwin();
    }
}
