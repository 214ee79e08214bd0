// What the engine puts on the screen: scrolling and its limits, the scroll
// marks, the view of the pad, the frame and status line, and the drawing
// operations the controls use.

#include "render_fixture.h"

namespace rendertest {
namespace {

using Screen = RenderTest;

short afterKey(short key) {
    engine().scrollText(key);
    return engine().current_displayY();
}

TEST_F(Screen, ScrollKeysStopAtThePageLimits) {
    feed(std::string(16, '\n'));
    EXPECT_EQ(afterKey(258), 0);  // 16 rows: nothing below the view
    EXPECT_EQ(afterKey(338), 0);
    feed(NL);
    EXPECT_EQ(afterKey(258), 1);
    EXPECT_EQ(afterKey(258), 1);
    EXPECT_EQ(afterKey(259), 0);
    EXPECT_EQ(afterKey(259), 0);

    feed(std::string(23, '\n'));  // 40 rows
    EXPECT_EQ(afterKey(360), 24);
    EXPECT_EQ(afterKey(262), 0);
    EXPECT_EQ(afterKey(338), 17);
    EXPECT_EQ(afterKey(339), 0);
    afterKey(338);
    for (int i = 0; i < 3; ++i) afterKey(258);
    EXPECT_EQ(afterKey(339), 3);
    EXPECT_EQ(afterKey(274), 3);  // other keys only redraw
}

TEST_F(Screen, MarksShowWhereThePageGoesOn) {
    auto marks = [] {
        return std::string{
            static_cast<char>(glyph(mvwinch(stdscr, 23, 70)) == glyph(ACS_DARROW) ? 'v' : ' '),
            static_cast<char>(glyph(mvwinch(stdscr, 23, 72)) == glyph(ACS_UARROW) ? '^' : ' ')};
    };
    feed("short page");
    afterKey(259);
    EXPECT_EQ(marks(), "  ");
    feed(std::string(40, '\n'));
    afterKey(262);
    EXPECT_EQ(marks(), "v ");
    afterKey(258);
    EXPECT_EQ(marks(), "v^");
    afterKey(360);
    EXPECT_EQ(marks(), " ^");
}

TEST_F(Screen, ViewShowsPadRowsFromTopOnScreenRows4To20) {
    std::string stream;
    for (int i = 0; i < 30; ++i) stream += "row " + std::to_string(i) + NL;
    feed(stream);
    afterKey(258);
    // Page column c is at screen column c + 1.
    EXPECT_EQ(rowText(4, curscr).find("row 1"), 1u);
    EXPECT_EQ(rowText(4, curscr).find("row 1"), rowText(4, curscr).rfind("row 1"));
    EXPECT_EQ(rowText(20, curscr).find("row 17"), 1u);
    EXPECT_EQ(rowText(3, curscr).find("row"), std::string::npos);
}

TEST_F(Screen, SelectedElementIsBroughtIntoView) {
    FakeComponent link;
    table().addComponent(HYPERLINK, &link);
    feed(std::string(100, '\n'));
    for (auto [elementRow, expectedTop] :
         std::initializer_list<std::pair<int, int>>{{50, 34}, {40, 34}, {5, 5}}) {
        link.setXY(0, static_cast<short>(elementRow));
        engine().scrollNext_aE();
        EXPECT_EQ(engine().current_displayY(), expectedTop) << elementRow;
    }
}

TEST_F(Screen, WriteToDBDrawsInTheColourPairAndShowsIt) {
    engine().writeToDB(3, 2, "link", 9);
    EXPECT_EQ(rowText(2), "   link");
    EXPECT_EQ(PAIR_NUMBER(padCell(2, 3)), 9);
    EXPECT_EQ(PAIR_NUMBER(padCell(2, 6)), 9);
    EXPECT_EQ(PAIR_NUMBER(padCell(2, 7)), 0);
    EXPECT_EQ(rowText(6, curscr).find("link"), 4u);
    // Past the line's end the text goes on at the start of the next row.
    engine().writeToDB(75, 0, "abcdef", 1);
    EXPECT_EQ(rowText(0), std::string(75, ' ') + "abc");
    EXPECT_EQ(rowText(1), "def");
}

TEST_F(Screen, WriteToDBOutsideThePadDrawsNothingButStillRedraws) {
    feed(std::string(40, '\n'));
    for (short badRow : {-1, 5000}) {
        mvwaddch(stdscr, 23, 70, 'Z');
        engine().writeToDB(0, badRow, "x", 1);
        EXPECT_EQ(glyph(mvwinch(stdscr, 23, 70)), glyph(ACS_DARROW)) << badRow;
    }
    engine().writeToDB(80, 0, "x", 1);
    engine().writeToDB(-1, 0, "x", 1);
    engine().writeToDB(0, 0, nullptr, 1);
    EXPECT_EQ(rowText(0), "");
}

TEST_F(Screen, FrameStatusLineAndHelpString) {
    engine().browserWindow();
    EXPECT_EQ(glyph(mvwinch(stdscr, 0, 0)), glyph(ACS_ULCORNER));
    EXPECT_EQ(PAIR_NUMBER(mvwinch(stdscr, 10, 79)), 10);
    EXPECT_EQ(glyph(mvwinch(stdscr, 2, 78)), glyph(ACS_HLINE));
    EXPECT_EQ(PAIR_NUMBER(mvwinch(stdscr, 22, 1)), 6);
    EXPECT_EQ(rowText(23, stdscr).substr(1, 44), " F1(Help) F2(URL window) F3(Configure Proxy)");
    EXPECT_EQ(rowText(23, stdscr).substr(57, 5), "MODE:");
    EXPECT_NE(mvwinch(stdscr, 23, 57) & A_BOLD, 0u);
    EXPECT_EQ(glyph(mvwinch(stdscr, 23, 55)), glyph(ACS_VLINE));

    engine().write_helpString("Keys: short");
    EXPECT_EQ(rowText(23, stdscr).substr(1, 67), "Keys: short" + std::string(56, ' '));
    EXPECT_EQ(glyph(mvwinch(stdscr, 23, 68)), glyph(ACS_VLINE));
}

TEST_F(Screen, FindTextMarksTheNextMatchWrapsAroundAndScrollsToIt) {
    std::string stream;
    for (int i = 0; i < 40; ++i) stream += (i == 3 ? "a Needle" : i == 30 ? "needle, NEEDLE" : "row") + NL;
    feed(stream);
    auto markedAt = [](int r, int c) { return (padCell(r, c) & A_REVERSE) != 0; };

    // From the first row shown, without regard to case.
    EXPECT_TRUE(engine().findText("nEEDLE", false));
    EXPECT_TRUE(markedAt(3, 2) && markedAt(3, 7));
    EXPECT_FALSE(markedAt(3, 1) || markedAt(3, 8));
    EXPECT_EQ(engine().current_displayY(), 0);  // in view already
    EXPECT_EQ(rowText(3), "a Needle");          // marked, not changed

    // The next match lies below the view: it becomes the view's first row,
    // unless the page ends first (40 rows: the last view starts at row 24).
    EXPECT_TRUE(engine().findText("needle", true));
    EXPECT_FALSE(markedAt(3, 2));  // the previous mark is gone
    EXPECT_TRUE(markedAt(30, 0));
    EXPECT_EQ(engine().current_displayY(), 24);
    EXPECT_TRUE(engine().findText("needle", true));  // on the same row
    EXPECT_TRUE(markedAt(30, 8) && !markedAt(30, 0));
    EXPECT_TRUE(engine().findText("needle", true));  // round to the top
    EXPECT_TRUE(markedAt(3, 2) && !markedAt(30, 8));
    EXPECT_EQ(engine().current_displayY(), 3);

    // No match anywhere: nothing changes.
    EXPECT_FALSE(engine().findText("haystack", true));
    EXPECT_FALSE(engine().findText("", false));
    EXPECT_TRUE(markedAt(3, 2));
    EXPECT_EQ(engine().current_displayY(), 3);
}

}  // namespace
}  // namespace rendertest
