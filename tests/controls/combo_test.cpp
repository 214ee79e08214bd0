// The drop-down list: options, padding, which option is selected, the
// pop-up's keys and where the pop-up goes, including lists that do not fit.

#include "controls/combo.h"

#include <gtest/gtest.h>

#include <string>

#include "screen.h"
#include "shell/global.h"

using controlstest::cellsText;
using controlstest::freshPage;
using controlstest::pagePair;
using controlstest::pageText;
using controlstest::pushKeys;
using controlstest::symbolAt;

namespace {

// The line-drawing symbols exist only once curses runs.
chtype corner() {
    return ACS_ULCORNER & (A_CHARTEXT | A_ALTCHARSET);
}

// A list at page (x, y) with the given options, completed.
Combo makeCombo(short x, short y, std::initializer_list<std::pair<const char*, const char*>> options) {
    Combo combo("SELECT NAME=colour");
    for (const auto& [tag, text] : options) combo.addOption(tag, text);
    combo.adjustOptions();
    combo.setXY(x, y);
    return combo;
}

Combo numbered(short x, short y, int count, int textLength) {
    Combo combo("SELECT NAME=n");
    for (int i = 0; i < count; ++i) {
        std::string text = std::to_string(i);
        text.resize(static_cast<std::size_t>(textLength), '.');
        combo.addOption("OPTION", text.c_str());
    }
    combo.adjustOptions();
    combo.setXY(x, y);
    return combo;
}

}  // namespace

TEST(Combo, OptionsArePaddedAndTheSelectedOneIsShown) {
    freshPage();
    Combo combo = makeCombo(4, 1, {{"OPTION", "Red"}, {"OPTION SELECTED", "Green"}, {"OPTION", "Blue"}});
    EXPECT_EQ(combo.getLength(), 5);
    EXPECT_STREQ(combo.getFirst()->text, "Red__");
    EXPECT_STREQ(combo.getRepresentation(), "Green");
    EXPECT_STREQ(combo.valueOf(), "Green");
    EXPECT_STREQ(combo.nameOf(), "colour");

    pushKeys({KEY_DOWN, 10});
    EXPECT_EQ(combo.getKey(10), 10);
    EXPECT_STREQ(combo.valueOf(), "Blue_");
    EXPECT_EQ(pageText(4, 1, 5), "Blue_");
    EXPECT_EQ(pagePair(4, 1), 1);

    combo.reset();
    EXPECT_EQ(pageText(4, 1, 5), "Green");
    EXPECT_EQ(pagePair(4, 1), 2);
    EXPECT_EQ(combo.getKey(KEY_DOWN), KEY_DOWN);  // leaving: drawn unfocused
}

TEST(Combo, ValuesAndSelectedMarksComeFromTheOptionTags) {
    Combo valued = makeCombo(0, 0, {{"OPTION VALUE=r", "Red"}, {"OPTION VALUE=g", "Green"}});
    EXPECT_STREQ(valued.valueOf(), "r");  // none SELECTED: the first

    Combo twice = makeCombo(0, 0, {{"OPTION SELECTED", "a"}, {"OPTION", "b"}, {"option selected", "c"}});
    EXPECT_STREQ(twice.valueOf(), "c");
    EXPECT_EQ(twice.getDefault(), twice.getSelected());

    Combo valueWord = makeCombo(0, 0, {{"OPTION", "a"}, {"OPTION VALUE=SELECTED", "b"}});
    EXPECT_STREQ(valueWord.valueOf(), "SELECTED");
}

TEST(Combo, ASingleOptionIsShownUnpaddedAndArrowsDoNothing) {
    freshPage();
    Combo combo("SELECT NAME=one");
    combo.addOption("OPTION", "Only");
    EXPECT_EQ(combo.getSelected(), nullptr);  // until the list is complete
    combo.adjustOptions();
    EXPECT_STREQ(combo.getRepresentation(), "Only");
    EXPECT_EQ(combo.getLength(), 4);
    pushKeys({KEY_DOWN, KEY_UP, 9});
    EXPECT_EQ(combo.selectS(), 9);
    EXPECT_STREQ(combo.valueOf(), "Only");
    combo.reset();
    EXPECT_STREQ(combo.valueOf(), "Only");
}

TEST(Combo, ArrowsWrapAroundAndTabKeepsTheHighlightedOption) {
    freshPage();
    Combo combo = makeCombo(0, 0, {{"OPTION", "a"}, {"OPTION", "b"}, {"OPTION", "c"}});
    pushKeys({KEY_UP, 9});  // from the first to the last
    EXPECT_EQ(combo.getKey(10), 9);
    EXPECT_STREQ(combo.valueOf(), "c");
    EXPECT_EQ(pagePair(0, 0), 2);   // Tab moves the focus on
    pushKeys({KEY_DOWN, 'x', 10});  // from the last to the first; other keys ignored
    EXPECT_EQ(combo.getKey(10), 10);
    EXPECT_STREQ(combo.valueOf(), "a");
}

TEST(Combo, AListWithoutOptionsShowsADashAndIsNotSent) {
    freshPage();
    Combo combo("SELECT NAME=none");
    combo.adjustOptions();
    combo.setXY(0, 0);
    EXPECT_STREQ(combo.getRepresentation(), "-");
    EXPECT_EQ(combo.getLength(), 1);
    EXPECT_EQ(combo.valueOf(), nullptr);
    EXPECT_EQ(combo.getKey(10), 10);
    combo.display();
    combo.reset();
    EXPECT_EQ(pageText(0, 0, 1), "-");
}

TEST(ComboPopup, StartsOnTheFieldRowUnlessItWouldPassRow20) {
    freshPage();
    Combo low = numbered(3, 14, 5, 2);  // screen row 18
    pushKeys({10});
    low.selectS();
    EXPECT_EQ(symbolAt(curscr, 14, 4), corner());  // 7 rows end on row 20
    EXPECT_EQ(cellsText(curscr, 15, 6, 2), "0.");

    freshPage();
    Combo high = numbered(3, 1, 3, 2);  // screen row 5
    pushKeys({10});
    high.selectS();
    EXPECT_EQ(symbolAt(curscr, 5, 4), corner());
}

TEST(ComboPopup, ALongListStaysWithinRows0To20AndScrollsWithTheHighlight) {
    freshPage();
    Combo combo = numbered(0, 10, 30, 2);
    pushKeys({KEY_UP, 10});  // to the last option, which must come into view
    combo.selectS();
    EXPECT_STREQ(combo.valueOf(), "29");
    EXPECT_EQ(symbolAt(curscr, 0, 1), corner());
    EXPECT_EQ(symbolAt(curscr, 20, 1), ACS_LLCORNER & (A_CHARTEXT | A_ALTCHARSET));
    EXPECT_EQ(cellsText(curscr, 19, 3, 2), "29");
    EXPECT_EQ(cellsText(curscr, 1, 3, 2), "11");  // 19 rows of options: 11 to 29
    EXPECT_EQ(PAIR_NUMBER(mvwinch(curscr, 19, 3)), 3);
    EXPECT_EQ(PAIR_NUMBER(mvwinch(curscr, 18, 3)), 2);
}

TEST(ComboPopup, AFieldNearTheRightEdgeMovesThePopupLeft) {
    freshPage();
    Combo combo = numbered(70, 0, 2, 42);  // 46 columns wide
    pushKeys({10});
    combo.selectS();
    EXPECT_EQ(symbolAt(curscr, 4, 34), corner());
    EXPECT_EQ(symbolAt(curscr, 4, 79), ACS_URCORNER & (A_CHARTEXT | A_ALTCHARSET));
    EXPECT_EQ(cellsText(curscr, 5, 36, 3), "0..");
}
