// The writer of the browser's dialect: blanks the browser's tokenizer would
// drop, breaks that must not pile up, text that must not open a tag, lines
// that must not run past the browser's 78 columns, tables whose columns
// must line up.

#include "proxy/normalise/pagewriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using wexaproxy::CellAlign;
using wexaproxy::Emphasis;
using wexaproxy::ListKind;
using wexaproxy::PageWriter;

namespace {

std::string page(void (*build)(PageWriter&)) {
    PageWriter w;
    build(w);
    return w.finishPage();
}

// The lines of a page of plain text and BR tags, as the browser shows them.
std::vector<std::string> shownLines(const std::string& html) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html.compare(i, 4, "<BR>") == 0) {
            lines.emplace_back();
            i += 3;
        } else {
            lines.back().push_back(html[i]);
        }
    }
    return lines;
}

}  // namespace

TEST(PageWriterBlanks, ABlankAfterATagIsWrittenSoTheBrowserKeepsIt) {
    EXPECT_EQ(page([](PageWriter& w) {
                  w.text("plain ");
                  w.beginEmphasis(Emphasis::Bold);
                  w.text("bold");
                  w.endEmphasis();
                  w.text(" after");
              }),
              "plain <B>bold</B>&nbspafter");
    // Leading and repeated white space collapses as in HTML.
    EXPECT_EQ(page([](PageWriter& w) { w.text("  \n a \t\n b  "); }), "a b");
}

TEST(PageWriterBlanks, ASemicolonAfterTheBareEntityIsKeptApart) {
    // "&nbsp;" would be two blanks and would eat the ";".
    EXPECT_EQ(page([](PageWriter& w) {
                  w.link("~~Lhx", "x");
                  w.text(" ;y");
              }),
              "<A HREF=~~Lhx>x</A>&nbsp</IMG>;y");
}

TEST(PageWriterText, NeverOpensATagNorDecodesAnEntityByAccident) {
    EXPECT_EQ(page([](PageWriter& w) { w.text("a<b </i> <!-- c <3 x<"); }), "a< b < /i> < !-- c <3 x< ");
    EXPECT_EQ(page([](PageWriter& w) { w.text("write &nbsp; or &NBSP"); }),
              "write &nbs</IMG>p; or &NBS</IMG>P");
    // Also when the entity would form across two pieces of text.
    EXPECT_EQ(page([](PageWriter& w) {
                  w.text("&nbs");
                  w.text("p");
              }),
              "&nbs</IMG>p");
}

TEST(PageWriterBreaks, AtMostOneEmptyLineAndNoneAtTheStart) {
    EXPECT_EQ(page([](PageWriter& w) {
                  w.paragraphBreak();
                  w.lineBreak();
                  w.text("first");
                  w.lineBreak();
                  w.lineBreak();
                  w.lineBreak();
                  w.paragraphBreak();
                  w.text("second");
                  w.blockBreak();
                  w.text("third");
                  w.paragraphBreak();
              }),
              "first<BR><BR>second<BR>third");
}

TEST(PageWriterBreaks, ListItemsEndTheLineThemselves) {
    // LI ends the line in the browser: a BR before it would leave an empty line.
    EXPECT_EQ(
        page([](PageWriter& w) {
            w.text("intro");
            w.blockBreak();
            w.beginList(ListKind::Unordered);
            w.listItem();
            w.paragraphBreak();
            w.text("one");
            w.blockBreak();
            w.listItem();
            w.text("two");
            w.beginList(ListKind::Unordered);
            w.listItem();
            w.text("inner");
            w.endList();
            w.text("after inner");
            w.beginList(ListKind::Ordered);
            w.listItem();
            w.text("numbered");
            w.endList();
            w.text("after numbered");
            w.endList();
            w.text("after list");
        }),
        // The end of an inner list keeps the line; the end of the
        // outermost list of its kind (numbered or not) ends it.
        "intro<BR><UL><LI>one<LI>two<UL><LI>inner</UL><BR>after inner<OL><LI>numbered</OL>after numbered"
        "</UL><BR>after list");
}

TEST(PageWriterBreaks, IndentedBlocksStartOnANewIndentedLine) {
    EXPECT_EQ(page([](PageWriter& w) {
                  w.text("before");
                  w.paragraphBreak();
                  w.beginIndent();
                  w.text("quoted");
                  w.endIndent();
                  w.paragraphBreak();
                  w.text("after");
              }),
              "before<UL><BR><BR>quoted</UL><BR>after");
    // At the start of the page there is no break to put the indentation
    // before: one is added.
    EXPECT_EQ(page([](PageWriter& w) {
                  w.beginIndent();
                  w.text("quoted");
                  w.endIndent();
              }),
              "<UL><BR>quoted</UL>");
}

TEST(PageWriterBreaks, CentringAndRulesEndLinesThemselves) {
    EXPECT_EQ(page([](PageWriter& w) {
                  w.text("a");
                  w.blockBreak();
                  w.beginCenter();
                  w.text("middle");
                  w.endCenter();
                  w.blockBreak();
                  w.text("b");
                  w.rule();
                  w.text("c");
              }),
              "a<CENTER>middle</CENTER>b<HR>c");
}

TEST(PageWriterEmphasis, NestedEmphasisIsOneRunAndClosesBeforeBreaks) {
    EXPECT_EQ(page([](PageWriter& w) {
                  w.beginEmphasis(Emphasis::Bold);
                  w.text("a ");
                  w.beginEmphasis(Emphasis::Underline);
                  w.text("b");
                  w.endEmphasis();
                  w.text(" c");
                  w.endEmphasis();
                  w.paragraphBreak();
                  w.text("d");
                  w.beginEmphasis(Emphasis::Underline);
                  w.endEmphasis();
                  w.text("e");
              }),
              "<B>a b c</B><BR><BR>de");
}

TEST(PageWriterWrapping, NoLineRunsPastTheBrowsersWidth) {
    std::string text;
    for (int i = 0; i < 200; ++i) text += std::string(1 + i % 11, 'a' + i % 26) + " ";
    PageWriter w;
    w.text(text);
    const std::string html = w.finishPage();
    const auto lines = shownLines(html);
    EXPECT_GT(lines.size(), 5u);
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), 78u) << line;
        EXPECT_NE(line.front(), ' ');
    }
    // The lines are filled: each next word would not have fitted.
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::size_t nextWord = lines[i + 1].find(' ');
        EXPECT_GT(lines[i].size() + 1 + (nextWord == std::string::npos ? lines[i + 1].size() : nextWord),
                  78u);
    }
}

TEST(PageWriterWrapping, IndentationAndElementsCount) {
    PageWriter w;
    w.beginList(ListKind::Unordered);
    w.listItem();
    // 5 columns of indentation and 2 of the mark: 71 columns remain.
    w.text(std::string(60, 'x') + " " + std::string(10, 'y') + " z");
    w.endList();
    EXPECT_EQ(w.finishPage(), "<UL><LI>" + std::string(60, 'x') + " " + std::string(10, 'y') + "<BR>z</UL>");
    PageWriter links;
    links.text(std::string(70, 'w'));
    links.text(" ");
    links.link("~~Lhx", "ten chars!");  // 70 + 1 + 10 > 78
    EXPECT_EQ(links.finishPage(), std::string(70, 'w') + "<BR><A HREF=~~Lhx>ten chars!</A>");
}

TEST(PageWriterText, LongRunsAreSplitBeforeTheBrowsersTokenLimit) {
    PageWriter w;
    std::string text;
    for (int i = 0; i < 300; ++i) text += "word ";
    text += std::string(1200, 'z');
    w.preformatted(text);  // preformatted: no line breaks get in the way
    const std::string html = w.finishPage();
    std::size_t run = 0;
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == '<' && i + 1 < html.size() && html[i + 1] != ' ') {
            run = 0;
            i = html.find('>', i);
            continue;
        }
        ++run;
        ASSERT_LT(run, 511u) << "at " << i;
    }
    EXPECT_NE(html.find(" </IMG>word"), std::string::npos) << "split after a blank, at a word start";
}

TEST(PageWriterPreformatted, BlanksAndLineBreaksAreKept) {
    EXPECT_EQ(page([](PageWriter& w) {
                  w.text("x");
                  w.paragraphBreak();
                  w.preformatted("  a   b\n\n\n\tc d");
                  w.paragraphBreak();
                  w.text("y");
              }),
              "x<BR><BR>&nbsp;a &nbsp;b<BR><BR>&nbsp;&nbsp;&nbsp;&nbsp;c d<BR><BR>y");
}

TEST(PageWriterTables, ControlBytesAreEvenedOutPerColumn) {
    PageWriter header(PageWriter::Mode::Cell);
    header.beginEmphasis(Emphasis::Bold);
    header.text("Name");
    PageWriter plain(PageWriter::Mode::Cell);
    plain.text("  Alice\n Smith ");
    PageWriter linked(PageWriter::Mode::Cell);
    linked.link("~~Lhx", "Bob");
    std::vector<std::vector<PageWriter::Cell>> rows(3);
    rows[0].push_back(header.finishCell(CellAlign::Center));
    rows[1].push_back(plain.finishCell(CellAlign::None));
    rows[2].push_back(linked.finishCell(CellAlign::Right));
    EXPECT_EQ(rows[1][0].width, 11);
    EXPECT_EQ(rows[0][0].codes, 2);
    EXPECT_EQ(rows[2][0].codes, 2);
    PageWriter w;
    w.text("before");
    w.table(std::move(rows));
    w.text("after");
    EXPECT_EQ(w.finishPage(),
              "before<TABLE><TR><TD ALIGN=CENTER><B>Name</B></TD></TR><TR><TD>Alice Smith</LI></LI></TD></TR>"
              "<TR><TD ALIGN=RIGHT><A HREF=~~Lhx>Bob</A></TD></TR></TABLE>after");
}

TEST(PageWriterTables, CellsTurnBreaksAndListsIntoText) {
    PageWriter cell(PageWriter::Mode::Cell);
    cell.text("a");
    cell.paragraphBreak();
    cell.text("b");
    cell.lineBreak();
    cell.beginList(ListKind::Unordered);
    cell.listItem();
    cell.text("c");
    cell.listItem();
    cell.text("d");
    cell.endList();
    cell.rule();
    cell.text("e");
    const PageWriter::Cell done = cell.finishCell(CellAlign::None);
    EXPECT_EQ(done.html, "a b * c * d e");
    EXPECT_EQ(done.width, 13);
    EXPECT_EQ(done.codes, 0);
}

TEST(SingleTokens, AreOneBrowserWordCutAtAWordEnd) {
    EXPECT_EQ(wexaproxy::singleToken("  a  <b>\n c &nbsp; ", 80), "a {b> c & nbsp;");
    EXPECT_EQ(wexaproxy::singleToken("alpha beta gamma delta", 15), "alpha beta...");
    EXPECT_EQ(wexaproxy::singleToken("abcdefghijklmnopqrstuvwxyz", 10), "abcdefg...");
    EXPECT_EQ(wexaproxy::singleToken(" \n ", 10), "");
}
