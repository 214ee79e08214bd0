// tablepass: runs the table pass alone, turning ./pass1.tmp into ./pass2.tmp
// exactly as the browser does, then waits for one key before restoring the
// terminal.
//
// Curses is started with newterm rather than initscr, which would end the
// process inside curses when the terminal cannot be used (no TERM, unknown
// TERM). Then the pass still runs, one line on stderr says so, and the tool
// exits with status 1 without waiting for a key.

#include <curses.h>

#include <cstdio>
#include <cstdlib>

#include "common/check.h"
#include "common/programinfo.h"
#include "passone/pagestream.h"
#include "tables/table_engine.h"

namespace {

// The curses screen on the process's standard input and output, as initscr
// would set it up. end() restores the terminal; the destructor does it too,
// so no way out leaves the terminal in curses mode.
class CursesScreen {
public:
    CursesScreen() {
        // Without a terminal type curses cannot start; asking it anyway only
        // costs memory that a failed newterm never gives back.
        const char* term = std::getenv("TERM");
        if (term != nullptr && term[0] != '\0') screen_ = newterm(nullptr, stdout, stdin);
        if (screen_ != nullptr) wexa::fatalHook() = [] { endwin(); };
    }
    ~CursesScreen() {
        end();
        if (screen_ != nullptr) delscreen(screen_);
    }
    CursesScreen(const CursesScreen&) = delete;
    CursesScreen& operator=(const CursesScreen&) = delete;

    bool started() const { return screen_ != nullptr; }

    void end() {
        if (screen_ == nullptr || ended_) return;
        endwin();
        ended_ = true;
        wexa::fatalHook() = nullptr;
    }

private:
    SCREEN* screen_ = nullptr;
    bool ended_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (const int status = wexa::answerHelpAndVersion(argc, argv, "tablepass", wexa::TABLEPASS_USAGE);
        status >= 0)
        return status;
    CursesScreen screen;
    int status = 0;
    {
        table_engine engine(PASS1_FILE);
        engine.write_to_buffer();
        if (screen.started()) {
            std::fputs("\n", stdout);
            wgetch(stdscr);
            screen.end();
        } else {
            std::fputs(
                "tablepass: the terminal could not be started; tables laid out without waiting for a key\n",
                stderr);
            status = 1;
        }
    }  // the engine closes pass1.tmp and pass2.tmp here, after curses has ended
    return status;
}
