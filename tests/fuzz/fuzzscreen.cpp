#include <curses.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>

#include "common/check.h"
#include "fuzzsupport.h"
#include "shell/global.h"
#include "shell/initcolours.h"

namespace wexafuzz {

void startDummyTerminal() {
    static bool started = false;
    if (started) return;
    const char* term = std::getenv("TERM");
    if (term == nullptr || term[0] == '\0') setenv("TERM", "xterm", 1);
    setenv("LINES", "24", 1);
    setenv("COLUMNS", "80", 1);
    // Kept open for the whole process: the screen writes to and reads from them.
    static std::FILE* out = std::fopen("/dev/null", "w");
    static std::FILE* in = std::fopen("/dev/null", "r");
    WEXA_CHECK(out != nullptr && in != nullptr, "dummy terminal files open");
    WEXA_CHECK(newterm(nullptr, out, in) != nullptr, "newterm(dummy) != __null");
    resizeterm(24, 80);
    start_color();
    initColours();
    WEXA_CHECK(GlobalNamespace.renderer.createPad(), "renderer.createPad()");
    started = true;
}

void forgetPage() {
    GlobalVariables& g = GlobalNamespace;
    g.ast.resetAST();
    g.checkboxes.resetList();
    g.combos.resetList();
    g.hyperlinks.resetList();
    g.textBoxes.resetList();
    g.passwords.resetList();
    g.submits.resetList();
    g.resets.resetList();
    g.radios.resetList();
    g.forms.resetList();
    g.renderer.reset();
}

}  // namespace wexafuzz
