// Layout of the page stream into the page buffer, read back from the pad.

#include <climits>

#include "render_fixture.h"

namespace rendertest {
namespace {

using Layout = RenderTest;

TEST_F(Layout, TextWrapsAfterColumn77AndContinuesAtTheIndent) {
    const std::string text = letters(200);
    feed(text);
    EXPECT_EQ(rowText(0), text.substr(0, 78));
    EXPECT_EQ(rowText(1), text.substr(78, 78));
    EXPECT_EQ(rowText(2), text.substr(156));
    EXPECT_EQ(engine().getX(), 44);

    engine().reset();
    feed(UL + LI + text.substr(0, 100));
    EXPECT_EQ(rowText(1), "     : " + text.substr(0, 71));
    EXPECT_EQ(rowText(2), "     " + text.substr(71, 29));
}

TEST_F(Layout, TwoLineEndsLeaveOneEmptyLine) {
    feed("a" + NL + NL + "b");
    EXPECT_EQ(rowText(1), "");
    EXPECT_EQ(rowText(2), "b");
}

TEST_F(Layout, BoldUnderlineAndUnprintableBytesTakeOneCellEach) {
    feed("n" + BOLD + "b" + BOLD_END + "n" + UNDERLINE + "u" + UNDERLINE_END +
         std::string("\x01\r\b\xe9", 4));
    EXPECT_EQ(rowText(0), "nbnu????");
    EXPECT_EQ(engine().getX(), 8);
    for (int c : {0, 2, 4}) EXPECT_EQ(padCell(0, c) & A_ATTRIBUTES, 0u) << c;
    for (int c : {1, 3}) EXPECT_EQ(padCell(0, c) & A_ATTRIBUTES, static_cast<chtype>(A_BOLD)) << c;
}

TEST_F(Layout, CentredLinesAndTheirElements) {
    FakeComponent box(3), link(4);
    table().addComponent(CHECKBOX, &box);
    table().addComponent(HYPERLINK, &link);
    feed(CENTER + "0123456789" + NL + "ab" + TAB + "[X]" + TAB + BOLD + "cd" + BOLD_END + TAB + "link" + TAB);
    EXPECT_EQ(rowText(1), std::string(34, ' ') + "0123456789");
    EXPECT_EQ(box.placements + link.placements, 0);  // they wait for the line's end
    feed(CENTER_END + "left");
    // 11 characters start at column 33; the elements move with the line.
    EXPECT_EQ(rowText(2), std::string(33, ' ') + "ab[X]cdlink");
    EXPECT_EQ(box.x, 35);
    EXPECT_EQ(link.x, 40);
    EXPECT_EQ(link.y, 2);
    EXPECT_NE(padCell(2, 38) & A_BOLD, 0u);  // the bold "c" moved along
    EXPECT_EQ(rowText(3), "left");
    EXPECT_EQ(table().getSelected(), table().getPointerToAST());
}

TEST_F(Layout, CentredElementThatDoesNotFitUsesItsOwnWidth) {
    FakeComponent narrow(1), wide(10);
    table().addComponent(HYPERLINK, &narrow);
    table().addComponent(HYPERLINK, &wide);
    feed(CENTER + TAB + "a" + TAB + letters(69) + TAB + "0123456789" + TAB + CENTER_END);
    EXPECT_EQ(narrow.y, 1);
    EXPECT_EQ(wide.y, 2);
    EXPECT_EQ(wide.x, 34);
}

TEST_F(Layout, CentredLineThatWrapsPlacesItsElementsOnTheRowTheyLieOn) {
    FakeComponent box(3);
    table().addComponent(CHECKBOX, &box);
    feed(CENTER + "ab" + TAB + "[X]" + TAB + letters(100) + CENTER_END);
    EXPECT_EQ(box.x, 2);
    EXPECT_EQ(box.y, 1);
}

TEST_F(Layout, MoreThan78WaitingElementsKeepTheirOrder) {
    std::vector<FakeComponent> elements(80);
    for (auto& e : elements) table().addComponent(HYPERLINK, &e);
    std::string stream = CENTER;
    for (int i = 0; i < 78; ++i) stream += TAB + TAB;
    feed(stream + "ab" + TAB + TAB + TAB + TAB + "cd" + CENTER_END);
    // 4 characters: offset 37 for the 78 that waited; the two beyond keep
    // the column they had.
    for (int i = 0; i < 80; ++i) {
        EXPECT_EQ(elements[i].x, i < 78 ? 37 : 2) << i;
        EXPECT_EQ(elements[i].placements, 1) << i;
    }
    EXPECT_EQ(table().getSelected(), table().getPointerToAST());
}

TEST_F(Layout, ElementThatDoesNotFitStartsANewLineAtTheIndent) {
    FakeComponent link(10);
    table().addComponent(HYPERLINK, &link);
    feed(UL + LI + letters(66) + TAB + "0123456789" + TAB);  // would start at 73
    EXPECT_EQ(link.x, 5);
    EXPECT_EQ(link.y, 2);
    EXPECT_EQ(rowText(2), "     0123456789");
}

TEST_F(Layout, DelimitersWithoutAnElementAreLaidOutAsText) {
    FakeComponent only(70);
    table().addComponent(HYPERLINK, &only);
    // The second pair has no element left: no width test, nothing recorded.
    feed(TAB + "a" + TAB + "bcd" + TAB + "e" + TAB);
    EXPECT_EQ(only.placements, 1);
    EXPECT_EQ(rowText(0), "abcde");
    EXPECT_EQ(table().getSelected(), table().getPointerToAST());
}

TEST_F(Layout, ListsAreIndentedAndMarked) {
    std::string ordered = OL;
    for (int i = 0; i < 10; ++i) ordered += LI + "item";
    feed(ordered + OL_END + "after");
    EXPECT_EQ(rowText(1), "     1. item");
    EXPECT_EQ(rowText(9), "     9. item");
    EXPECT_EQ(rowText(10), "     :. item");
    EXPECT_EQ(rowText(11), "after");

    engine().reset();
    feed(UL + LI + "a" + UL + LI + "b" + UL_END + LI + "c" + UL_END + "d");
    EXPECT_EQ(rowText(1), "     : a");
    EXPECT_EQ(rowText(2), "          * b");
    EXPECT_EQ(rowText(3), "     : c");
    EXPECT_EQ(rowText(4), "d");
}

TEST_F(Layout, DeepAndUnmatchedListsAreHarmless) {
    std::string deep;
    for (int i = 0; i < 20; ++i) deep += UL;
    feed(deep + LI + letters(60));
    // The indentation stops at 40 columns and text still wraps there;
    // depth 20 takes the sixth bullet (the seven repeat from depth 8).
    EXPECT_EQ(engine().getIndent(), 40);
    EXPECT_EQ(rowText(1), std::string(40, ' ') + "> " + letters(36));
    EXPECT_EQ(rowText(2), std::string(40, ' ') + letters(60).substr(36));

    std::string ends;
    for (int i = 0; i < 30; ++i) ends += UL_END + OL_END;
    feed(ends + LI + "x");
    // More ends than starts, and an item without a list (no mark).
    EXPECT_EQ(engine().getIndent(), 0);
    EXPECT_EQ(rowText(engine().getRowCount()), "x");
}

TEST_F(Layout, LongPageKeepsItsTextBeyondTheWindow) {
    wexatest::TempDir dir;
    std::string stream = BOLD + "bold" + BOLD_END + NL;
    for (int i = 1; i < 2100; ++i) stream += "line " + std::to_string(i) + NL;
    feedFile(stream);
    EXPECT_EQ(engine().getRowCount(), 2100);
    // The window moved on when the layout left it: it holds the page's end.
    EXPECT_EQ(rowText(2000), "line 2000");
    EXPECT_EQ(rowText(2099), "line 2099");
    engine().scrollText(360);
    EXPECT_EQ(engine().current_displayY(), 2084);
    engine().scrollText(262);
    EXPECT_EQ(engine().getBase(), 0);
    EXPECT_NE(padCell(0, 0) & A_BOLD, 0u);
    EXPECT_EQ(rowText(1999), "line 1999");
    engine().reset();
    EXPECT_EQ(engine().getBase(), 0);
    EXPECT_EQ(engine().getPadRows(), Rendering_Engine::PAD_ROWS);
}

TEST_F(Layout, PageBeyondWhatAPadCanHoldIsReachedToItsLastRow) {
    wexatest::TempDir dir;
    std::string stream;
    for (int i = 0; i < 40000; ++i) stream += "r" + std::to_string(i) + NL;
    feedFile(stream + "end");
    EXPECT_EQ(engine().getRowCount(), 40000);
    engine().scrollText(360);
    EXPECT_EQ(engine().current_displayY(), 40000 - 16);
    EXPECT_EQ(rowText(40000), "end");
    EXPECT_EQ(rowText(39999), "r39999");
    engine().renderWindow(32767 - 100);
    EXPECT_EQ(rowText(32767), "r32767");
}

TEST_F(Layout, ResetEmptiesThePageAndSwitchesBoldOff) {
    feed(UL + LI + "text" + BOLD + "open");
    engine().reset();
    EXPECT_EQ(engine().getRowCount(), 0);
    EXPECT_EQ(engine().getIndent(), 0);
    EXPECT_EQ(rowText(1), "");
    feed("plain");
    EXPECT_EQ(padCell(0, 0) & A_BOLD, 0u);
}

}  // namespace
}  // namespace rendertest
