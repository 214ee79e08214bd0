#pragma once
// Shared set-up for the rendering tests: curses on a dummy terminal, the
// global engine and active element table emptied around each case, a fake
// active element that records what is done to it, and helpers that feed
// page stream bytes to the engine and read the page buffer back.

#include <curses.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/Pass3_Tokenizer.h"
#include "shell/global.h"
#include "support/testsupport.h"

namespace rendertest {

// Page stream codes, as strings so that streams read naturally.
const std::string TAB(1, 9), NL(1, 10), OL(1, 16), OL_END(1, 17), UL(1, 18), UL_END(1, 19), LI(1, 20),
    BOLD(1, 22), BOLD_END(1, 23), UNDERLINE(1, 24), UNDERLINE_END(1, 25), CENTER(1, 26), CENTER_END(1, 28);

class FakeComponent : public Component {
public:
    explicit FakeComponent(short width = 0) : width(width) {}
    int getKey(int key) override {
        keys.push_back(key);
        return key == 9 ? tabResult : key;
    }
    void setXY(short column, int pageRow) override {
        x = column;
        y = pageRow;
        ++placements;
    }
    void select() override {
        ++selects;
        if (selectSetsGlobalMode) GlobalNamespace.events.globalMode = true;
    }
    short getLength() const override { return width; }
    int getRow() const override { return y; }
    void display() const override { ++displays; }

    short width;
    short x = -1;
    int y = -1;
    int placements = 0, selects = 0;
    mutable int displays = 0;
    int tabResult = 9;
    bool selectSetsGlobalMode = false;
    std::vector<int> keys;
};

inline Rendering_Engine& engine() {
    return GlobalNamespace.renderer;
}
inline ActiveSerialTable& table() {
    return GlobalNamespace.ast;
}

// Hands a page stream to the engine split into tokens as the reader does.
inline void feed(const std::string& stream) {
    Pass3_Tokenizer reader;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= stream.size(); ++i) {
        const bool atEnd = i == stream.size();
        if (!atEnd && !reader.ifDelimiter(stream[i])) continue;
        if (i > start) engine().acceptToken(stream.data() + start, static_cast<short>(i - start - 1));
        if (!atEnd) engine().acceptToken(&stream[i], -1);
        start = i + 1;
    }
}

// Lays a page stream out as pass three does, from a file (named name, in
// the working directory), so that the window can be drawn anew from it.
inline void feedFile(const std::string& stream, const char* name = "stream.tmp") {
    wexatest::writeFile(name, stream);
    engine().setSource(name);
    Pass3_Tokenizer().findToken(name, engine());
}

// The characters of a window row, trailing blanks removed; without a
// window, of page row r in the page buffer.
inline std::string rowText(int r, WINDOW* win = nullptr) {
    if (win == nullptr) {
        win = engine().getPad();
        r -= engine().getBase();
    }
    std::string text;
    for (int c = 0; c < getmaxx(win); ++c) text += static_cast<char>(mvwinch(win, r, c) & A_CHARTEXT);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// The cell at page row r, column c in the page buffer.
inline chtype padCell(int r, int c) {
    return mvwinch(engine().getPad(), r - engine().getBase(), c);
}
inline chtype glyph(chtype c) {
    return c & (A_CHARTEXT | A_ALTCHARSET);
}

inline std::string letters(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
    return s;
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        wexatest::useDummyTerminal();
        ASSERT_TRUE(engine().createPad());
        table().resetAST();
        engine().reset();
        GlobalNamespace.events.globalMode = false;
        GlobalNamespace.events.pendingTab = false;
    }
    void TearDown() override {
        table().resetAST();
        engine().reset();
    }
};

}  // namespace rendertest
