#pragma once
// A curses screen on /dev/null for the benchmarks that run the browser's page
// code without a terminal: TERM is xterm when unset, the geometry is the
// browser's 80x24 whatever the environment says, and the screen updates are
// generated and written but go nowhere.
//
// end() restores curses' state; the destructor ends it too, so no way out
// skips it. The screen is not deleted: the page pad belongs to the global
// rendering engine, which deletes it after main returns (as in the browser),
// and deleting the screen would free the pad under it.

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "screen/cursesscreen.h"

class DummyScreen {
public:
    DummyScreen() {
        const char* term = std::getenv("TERM");
        if (term == nullptr || *term == '\0') setenv("TERM", "xterm", 1);
        setenv("LINES", "24", 1);
        setenv("COLUMNS", "80", 1);
        out_ = std::fopen("/dev/null", "w");
        in_ = std::fopen("/dev/null", "r");
        screen_.emplace(out_, in_, false);
    }
    ~DummyScreen() {
        screen_.reset();
        if (out_ != nullptr) std::fclose(out_);
        if (in_ != nullptr) std::fclose(in_);
    }
    DummyScreen(const DummyScreen&) = delete;
    DummyScreen& operator=(const DummyScreen&) = delete;

    bool started() const { return screen_->started(); }
    void end() { screen_->end(); }

private:
    std::FILE* out_ = nullptr;
    std::FILE* in_ = nullptr;
    std::optional<wexa::CursesScreen> screen_;  // after the files it runs on
};
