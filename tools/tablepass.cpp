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

#include "common/programinfo.h"
#include "passone/pagestream.h"
#include "screen/cursesscreen.h"
#include "tables/table_engine.h"

namespace {

// The curses screen on the process's standard input and output, as initscr
// would set it up; none without a terminal type, as curses cannot start
// then, and asking it anyway only costs memory that a failed newterm never
// gives back.
std::FILE* terminalOutput() {
    const char* term = std::getenv("TERM");
    return term != nullptr && term[0] != '\0' ? stdout : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = wexa::answerHelpAndVersion(argc, argv, "tablepass", wexa::TABLEPASS_USAGE);
        status >= 0)
        return status;
    wexa::CursesScreen screen(terminalOutput(), stdin, true);
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
