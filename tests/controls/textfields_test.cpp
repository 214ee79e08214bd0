// The text box and the password field: editing keys, limits, the 18-column
// window with its markers, the edit loop, values and reset.

#include <gtest/gtest.h>

#include <string>

#include "controls/password.h"
#include "controls/textbox.h"
#include "screen.h"
#include "shell/global.h"

using controlstest::cellsText;
using controlstest::freshPage;
using controlstest::pagePair;
using controlstest::pageText;
using controlstest::pushKeys;
using controlstest::symbolAt;

namespace {

template <class Field>
void type(Field& field, const std::string& text) {
    for (char c : text) field.applyKey(c);
}

}  // namespace

TEST(TextBox, RepresentationAndValueFollowTheValueAttribute) {
    freshPage();
    textBox withValue("INPUT TYPE=TEXTBOX NAME=q VALUE=abc");
    EXPECT_STREQ(withValue.getRepresentation(), "[abc               ]");
    EXPECT_STREQ(withValue.valueOf(), "abc");
    EXPECT_STREQ(withValue.nameOf(), "q");

    textBox empty("INPUT TYPE=TEXTBOX");
    EXPECT_STREQ(empty.getRepresentation(), "[                  ]");
    EXPECT_EQ(empty.valueOf(), nullptr);  // not sent until something is typed
    EXPECT_EQ(empty.nameOf(), nullptr);

    withValue.retrieveString();
    EXPECT_EQ(withValue.getCursor(), 3);  // entering puts the cursor after the text
}

TEST(TextBox, TwentyCharactersScrollTheWindowAndThePageShowsTheFirstEighteen) {
    freshPage();
    textBox box("INPUT TYPE=TEXTBOX");
    box.setXY(5, 3);  // screen row 7, '[' at column 6, text from column 7
    box.retrieveString();
    type(box, "abcdefghijklmnopqrst");
    EXPECT_EQ(cellsText(curscr, 7, 7, 18), "cdefghijklmnopqrst");
    EXPECT_EQ(symbolAt(stdscr, 7, 6), ACS_LARROW & (A_CHARTEXT | A_ALTCHARSET));
    EXPECT_EQ(symbolAt(stdscr, 7, 25), static_cast<chtype>(']'));

    box.applyKey(KEY_HOME);  // text continues to the right, nothing to the left
    EXPECT_EQ(symbolAt(stdscr, 7, 6), static_cast<chtype>('['));
    EXPECT_EQ(symbolAt(stdscr, 7, 25), ACS_RARROW & (A_CHARTEXT | A_ALTCHARSET));
    EXPECT_EQ(cellsText(curscr, 7, 7, 18), "abcdefghijklmnopqr");

    box.storeString();
    box.drawUnfocused();
    EXPECT_STREQ(box.valueOf(), "abcdefghijklmnopqrst");
    EXPECT_EQ(pageText(6, 3, 18), "abcdefghijklmnopqr");
    EXPECT_EQ(pagePair(6, 3), 2);
}

TEST(TextBox, CursorKeysInsertOverwriteAndDeletion) {
    freshPage();
    textBox box("INPUT TYPE=TEXTBOX VALUE=ace");
    box.retrieveString();
    box.applyKey(KEY_LEFT);
    box.applyKey(KEY_LEFT);
    box.applyKey('b');  // insert mode: "abce"
    box.applyKey(KEY_END);
    box.applyKey(KEY_RIGHT);  // already at the end
    EXPECT_EQ(box.getCursor(), 4);
    box.applyKey(KEY_IC);
    EXPECT_FALSE(box.isInsertMode());
    box.applyKey('f');  // overwrite at the end appends: "abcef"
    box.applyKey(KEY_HOME);
    box.applyKey('X');            // overwrite inside: "Xbcef"
    box.applyKey(KEY_DC);         // "Xcef"
    box.applyKey(KEY_BACKSPACE);  // "cef", cursor 0
    box.applyKey(KEY_BACKSPACE);  // nothing before the cursor
    box.applyKey(KEY_LEFT);
    EXPECT_EQ(box.getCursor(), 0);
    box.applyKey(KEY_END);
    box.applyKey(KEY_DC);  // nothing at the cursor
    box.storeString();
    EXPECT_STREQ(box.valueOf(), "cef");
}

TEST(TextBox, KeepsAtMost512CharactersAndIgnoresNonTextKeys) {
    freshPage();
    textBox box("INPUT TYPE=TEXTBOX");
    box.retrieveString();
    for (int key : {10, 1, 127, 258, 259, 265, 338, 339, 410, 0x1ff}) box.applyKey(key);
    EXPECT_EQ(box.getTextLength(), 0);

    type(box, std::string(513, 'w'));
    EXPECT_EQ(box.getTextLength(), 512);
    box.applyKey(KEY_IC);
    box.applyKey('z');  // overwrite mode at the end of a full box: ignored too
    box.applyKey(KEY_HOME);
    box.applyKey('y');  // overwriting inside stays possible
    box.storeString();
    EXPECT_EQ(std::string(box.valueOf()), "y" + std::string(511, 'w'));
}

TEST(TextBox, TheEditLoopRunsUntilTabOrEscape) {
    freshPage();
    GlobalNamespace.events.globalMode = false;
    textBox box("INPUT TYPE=TEXTBOX VALUE=ab");
    box.setXY(0, 1);
    pushKeys({'c', 10, KEY_HOME, 'x', 9, 'n'});
    box.select();
    EXPECT_STREQ(box.valueOf(), "xabc");
    EXPECT_FALSE(GlobalNamespace.events.globalMode);
    EXPECT_EQ(getch(), 'n');  // the loop stopped at Tab
    EXPECT_EQ(pageText(1, 1, 18), "xabc              ");

    pushKeys({KEY_END, 'd', 27});
    box.select();
    EXPECT_STREQ(box.valueOf(), "xabcd");
    EXPECT_TRUE(GlobalNamespace.events.globalMode);

    box.reset();
    EXPECT_STREQ(box.valueOf(), "ab");
    EXPECT_EQ(pageText(1, 1, 18), "ab                ");
}

TEST(Password, KeepsAtMost25CharactersAndShowsAsterisks) {
    freshPage();
    password field("INPUT TYPE=PASSWORD NAME=pw VALUE=ignored");
    field.setXY(2, 0);
    EXPECT_EQ(field.valueOf(), nullptr);  // never edited: not sent
    EXPECT_STREQ(field.nameOf(), "pw");
    EXPECT_STREQ(field.getRepresentation(), "[                  ]");

    type(field, "hello");
    EXPECT_STREQ(field.dBuffString(), "*****             ");
    EXPECT_EQ(cellsText(curscr, 4, 4, 6), "***** ");
    type(field, std::string(25, 'p'));
    EXPECT_EQ(field.getTextLength(), 25);
    EXPECT_STREQ(field.dBuffString(), "******************");
    field.applyKey(KEY_IC);  // not a character of the password
    field.storeString();
    EXPECT_EQ(std::string(field.valueOf()), "hello" + std::string(20, 'p'));

    field.drawUnfocused();
    EXPECT_EQ(pageText(3, 0, 18), std::string(18, '*'));
    EXPECT_EQ(pagePair(3, 0), 4);
}

TEST(Password, TheLoopResumesWhereItStoppedAndResetClearsEverything) {
    freshPage();
    password field("INPUT TYPE=PASSWORD NAME=pw");
    pushKeys({'a', 'b', 9});
    field.select();
    EXPECT_STREQ(field.valueOf(), "ab");
    pushKeys({KEY_HOME, 'c', KEY_END, KEY_BACKSPACE, 9});
    field.select();
    EXPECT_STREQ(field.valueOf(), "ca");
    pushKeys({KEY_BACKSPACE, KEY_BACKSPACE, 9});
    field.select();
    EXPECT_STREQ(field.valueOf(), "");  // erased: sent empty

    field.reset();
    EXPECT_EQ(field.valueOf(), nullptr);
    EXPECT_EQ(field.getTextLength(), 0);
    EXPECT_EQ(pageText(1, 0, 18), std::string(18, ' '));
    EXPECT_EQ(pagePair(1, 0), 2);
}
