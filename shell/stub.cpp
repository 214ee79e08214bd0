#include "shell/stub.h"

#include <curses.h>

#include <cstdio>
#include <memory>

#include "common/bounded.h"
#include "render/pass3.h"
#include "shell/global.h"
#include "shell/initcolours.h"
#include "shell/keys.h"
#include "tables/table_engine.h"

StubClass::StubClass() {
    std::fputs("Stub constructor", stdout);
    std::fflush(stdout);
}

void StubClass::initCurses() {
    noecho();
    raw();
    keypad(stdscr, TRUE);
    start_color();
    initColours();
    nodelay(stdscr, FALSE);
}

void StubClass::endCurses() {
    echo();
    noraw();
    endwin();
}

const char* StubClass::fetch() { return GlobalNamespace.network.Fetch(); }

void StubClass::Render(const char* fileName) {
    // "./cache/" and a 6-character name: at most 14 characters.
    char path[15] = "./cache/";
    wexa::boundedAppend(path, fileName);
    GlobalNamespace.passOne.passOne(path);

    // The title line: blank the old title first so a shorter one leaves no
    // trace; a title is cut at the frame (78 columns).
    mvprintw(1, 1, "%78s", "");
    attron(A_BOLD);
    mvaddnstr(1, 1, GlobalNamespace.page.getTitle(), 78);
    attroff(A_BOLD);

    {
        // pass2.tmp is complete on disk once the engine is gone.
        std::unique_ptr<table_engine> engine(new table_engine("pass1.tmp"));
        GlobalNamespace.tableEngine = engine.get();
        engine->write_to_buffer();
        GlobalNamespace.tableEngine = nullptr;
    }
    Pass3("pass2.tmp");
}

bool StubClass::EventHandler() {
    GlobalNamespace.ast.setSelect();
    return GlobalNamespace.events.handleEvents();
}

void StubClass::killAll() {
    endwin();
    echo();
}

void StubClass::Pass3(const char* fileName) { runPassThree(fileName); }
