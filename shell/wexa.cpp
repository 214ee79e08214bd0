// wexa: a keyboard-driven text-mode web browser for an 80x24 terminal.
// Pages come from the proxy server wexapserver; ./cache/0.html is the start
// page, shown without any network traffic.

#include <curses.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/check.h"
#include "shell/global.h"
#include "shell/keys.h"
#include "shell/stub.h"

namespace {

constexpr int kMinRows = 24, kMinCols = 80;

// Starts curses on the user's terminal. On failure the terminal is left as
// it was and `why` says what is wrong, in one line.
bool startScreen(std::string& why) {
    const char* term = std::getenv("TERM");
    if (term == nullptr || *term == '\0') {
        why = "TERM is not set; wexa needs a terminal of at least 80x24";
        return false;
    }
    if (newterm(nullptr, stdout, stdin) == nullptr) {
        why = std::string("unknown terminal type \"") + term + "\"";
        return false;
    }
    if (LINES < kMinRows || COLS < kMinCols) {
        why = "the terminal is " + std::to_string(COLS) + "x" + std::to_string(LINES) +
              "; wexa needs at least 80x24";
        endwin();
        return false;
    }
    return true;
}

extern "C" void onTerminatingSignal(int sig) {
    // Give the terminal back before the default action ends the program.
    restoreTerminal();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

}  // namespace

int main() {
    StubClass stub;

    // The address kept by the proxy address dialog, when there is one.
    if (GlobalNamespace.proxy.load()) GlobalNamespace.network.io.setAddress(GlobalNamespace.proxy.getIP());

    std::string why;
    if (!startScreen(why)) {
        std::fprintf(stderr, "\nwexa: %s\n", why.c_str());
        return 1;
    }
    wexa::fatalHook() = restoreTerminal;
    std::signal(SIGTERM, onTerminatingSignal);
    std::signal(SIGHUP, onTerminatingSignal);
    if (!GlobalNamespace.renderer.createPad()) {
        restoreTerminal();
        std::fputs("\nwexa: cannot create the page buffer\n", stderr);
        return 1;
    }

    stub.initCurses();
    splashScreen();
    GlobalNamespace.url.setURL("wexa.html", CACHED);

    bool quit = false;
    while (!quit) {
        if (const char* fileName = stub.fetch()) stub.Render(fileName);
        quit = stub.EventHandler();
    }
    stub.endCurses();
    stub.killAll();
    return 0;
}
