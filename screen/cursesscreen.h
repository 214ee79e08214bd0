#pragma once
// A curses screen started with newterm on the given streams. Unlike initscr,
// newterm gives null instead of ending the process when the terminal cannot
// be used, so a program can go on without a screen. While the screen runs, a
// failed check gives the terminal back before its message. end() restores
// the terminal; the destructor does it too, so no way out leaves the
// terminal in curses mode.

#include <curses.h>

#include <cstdio>

#include "common/check.h"

namespace wexa {

class CursesScreen {
public:
    // Not started when out or in is null, or when newterm fails. With
    // deleteAtEnd the screen's memory is given back at the end; without, it
    // stays for windows that outlive this object (a pad deleted after main
    // returns would be freed under it otherwise).
    CursesScreen(std::FILE* out, std::FILE* in, bool deleteAtEnd) : deleteAtEnd_(deleteAtEnd) {
        if (out != nullptr && in != nullptr) screen_ = newterm(nullptr, out, in);
        if (screen_ != nullptr) fatalHook() = [] { endwin(); };
    }
    ~CursesScreen() {
        end();
        if (screen_ != nullptr && deleteAtEnd_) delscreen(screen_);
    }
    CursesScreen(const CursesScreen&) = delete;
    CursesScreen& operator=(const CursesScreen&) = delete;

    bool started() const { return screen_ != nullptr; }

    void end() {
        if (screen_ == nullptr || ended_) return;
        endwin();
        ended_ = true;
        fatalHook() = nullptr;
    }

private:
    SCREEN* screen_ = nullptr;
    bool deleteAtEnd_;
    bool ended_ = false;
};

}  // namespace wexa
