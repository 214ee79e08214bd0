#include "screen.h"

#include <stdexcept>
#include <vector>

#include "shell/global.h"
#include "support/testsupport.h"

namespace controlstest {

void freshPage() {
    wexatest::useDummyTerminal();
    if (!GlobalNamespace.renderer.createPad()) throw std::runtime_error("no page pad");
    GlobalNamespace.ast.resetAST();
    // resetAST leaves the lists alone when the table is already empty.
    GlobalNamespace.checkboxes.resetList();
    GlobalNamespace.combos.resetList();
    GlobalNamespace.textBoxes.resetList();
    GlobalNamespace.passwords.resetList();
    GlobalNamespace.radios.resetList();
    GlobalNamespace.forms.resetList();
    GlobalNamespace.renderer.reset();
    GlobalNamespace.events.globalMode = false;
    while (getch() != ERR) {
    }
    wclear(stdscr);
    wrefresh(stdscr);
}

std::string cellsText(WINDOW* w, int row, int column, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out.push_back(static_cast<char>(mvwinch(w, row, column + i) & A_CHARTEXT));
    return out;
}

std::string pageText(int column, int row, int n) {
    return cellsText(GlobalNamespace.renderer.getPad(), row, column, n);
}

short pagePair(int column, int row) {
    return static_cast<short>(PAIR_NUMBER(mvwinch(GlobalNamespace.renderer.getPad(), row, column)));
}

chtype symbolAt(WINDOW* w, int row, int column) {
    return mvwinch(w, row, column) & (A_CHARTEXT | A_ALTCHARSET);
}

void pushKeys(std::initializer_list<int> keys) {
    // ungetch is a stack: the last key pushed is read first.
    std::vector<int> all(keys);
    for (auto it = all.rbegin(); it != all.rend(); ++it) ungetch(*it);
}

}  // namespace controlstest
