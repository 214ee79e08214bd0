#pragma once
// --help and --version for the browser and its developer tools, which take
// no other arguments.

#include <cstdio>
#include <cstring>

#include "common/version.h"

namespace wexa {

constexpr const char* WEXA_USAGE =
    "Usage: wexa [--help | --version]\n"
    "A keyboard-driven text-mode web browser for a terminal of at least 80x24.\n"
    "It runs in the current directory: pages are kept in ./cache/ (the start page\n"
    "is ./cache/0.html) and the proxy server's address in ./.proxy.conf. Pages come\n"
    "from the proxy server wexapserver, by default on 127.0.0.1:30000.\n"
    "The installed 'wexa' command prepares ~/.local/share/wexa and starts there.\n"
    "\n"
    "Keys: F1 help, F2 open a URL, F3 proxy address, arrows and Page Up/Down scroll,\n"
    "Left and Right go back and forward, R reload, S shell, Q quit, ESC switches\n"
    "to Local mode, where Tab moves between links and controls and Enter follows.\n"
    "See wexa(1).\n";

constexpr const char* TABLEPASS_USAGE =
    "Usage: tablepass [--help | --version]\n"
    "Runs the browser's table pass alone: lays out the tables of ./pass1.tmp into\n"
    "./pass2.tmp, then waits for a key. See tablepass(1).\n";

constexpr const char* PASSDUMP_USAGE =
    "Usage: passdump [--help | --version]\n"
    "Prints ./pass1.tmp with the page stream's control codes spelled out.\n"
    "See passdump(1).\n";

// Answers --help (usage on standard output) and --version; any other
// argument is refused. Returns the exit status when the program is to stop
// here, -1 when it is to go on.
inline int answerHelpAndVersion(int argc, char** argv, const char* program, const char* usage) {
    if (argc < 2) return -1;
    const char* arg = argv[1];
    if (argc == 2 && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(arg, "--version") == 0) {
        std::printf("%s %s\n", program, WEXA_VERSION);
        return 0;
    }
    std::fprintf(stderr, "%s: unexpected argument '%s'\nTry '%s --help'.\n", program, arg, program);
    return 2;
}

}  // namespace wexa
