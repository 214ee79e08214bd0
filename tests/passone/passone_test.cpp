#include "passone/passone.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "shell/global.h"
#include "support/testsupport.h"

namespace {

class PassOneTest : public ::testing::Test {
protected:
    // The bytes of pass1.tmp after pass one has read html from a file.
    std::string streamOf(const std::string& html) {
        wexatest::writeFile("page.html", html);
        PassOne().passOne("page.html");
        return wexatest::readFile("pass1.tmp");
    }

    std::string title() const { return GlobalNamespace.page.getTitle(); }

    wexatest::TempDir dir;
};

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

const std::string RULE = "\n" + std::string(78, '_') + "\n";

TEST_F(PassOneTest, EachTagWritesItsBytes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<TABLE>", bytes({1})},
        {"<TR>", bytes({2})},
        {"<TD>", bytes({3, 4})},
        {"<td align=\"LEFT\">", bytes({3, 5})},
        {"<TD ALIGN=right>", bytes({3, 6})},
        {"<TD ALIGN=Center>", bytes({3, 7})},
        {"<TD ALIGN=middle>", bytes({3, 4})},
        {"</TD>", bytes({8})},
        {"</TR>", bytes({11})},
        {"</TABLE>", bytes({12})},
        {"<OL>", bytes({16})},
        {"</OL>", bytes({17})},
        {"<UL>", bytes({18})},
        {"</UL>", bytes({19})},
        {"<LI>", bytes({20})},
        {"</LI>", bytes({21})},
        {"<B>", bytes({22})},
        {"</B>", bytes({23})},
        {"<U>", bytes({24})},
        {"</U>", bytes({25})},
        {"<CENTER>", bytes({26})},
        {"</CENTER>", bytes({28})},
        {"<BR>", bytes({10})},
        {"<hr size=2>", RULE},
    };
    for (const auto& [html, expected] : cases) EXPECT_EQ(streamOf(html), expected) << html;
    EXPECT_EQ(RULE.size(), 80u);
}

TEST_F(PassOneTest, StructureAndUnknownTagsWriteNothing) {
    EXPECT_EQ(
        streamOf("<HTML><HEAD></HEAD><BODY></A></TITLE></INPUT></IMG></OPTION></TEXTAREA></BODY></HTML>"),
        "");
    EXPECT_EQ(streamOf("<P>para</P><H1>Head</H1><FOO bar><BR/>"), "paraHead");
    // Links, forms and controls act (passone_controls_test.cpp has the
    // details): each element's text stands between two delimiters.
    EXPECT_EQ(streamOf("<A HREF=x>link</A><FORM><INPUT TYPE=checkbox><IMG ALT=Logo><SELECT><OPTION>Red"
                       "</SELECT><TEXTAREA>t</TEXTAREA></FORM>"),
              "\tlink\t\t[ ]\tLogo\tRed\t[__________________]t");
    GlobalNamespace.ast.resetAST();  // the next tests start with an empty page
}

TEST_F(PassOneTest, TextIsWrittenAsTheTokenizerDeliversIt) {
    EXPECT_EQ(streamOf("Hello world\n"), "Hello world");
    EXPECT_EQ(streamOf("<CENTER>x</CENTER>"), bytes({26, 'x', 28}));
    EXPECT_EQ(streamOf("<TD>a</TD><TD ALIGN=RIGHT>b</TD>"), bytes({3, 4, 'a', 8, 3, 6, 'b', 8}));
    EXPECT_EQ(streamOf("<SCRIPT>var a = 1;</SCRIPT><!-- note -->"), "var a = 1;<!-- note -->");
    EXPECT_EQ(streamOf("a&nbsp;b &amp; c"), "a  b &amp; c");
}

TEST_F(PassOneTest, NestedListsYieldTheirCodesInDocumentOrder) {
    EXPECT_EQ(streamOf("<OL>\n<LI>one\n<UL>\n<LI>two\n</UL>\n</OL>\n"),
              bytes({16, 20, 'o', 'n', 'e', 18, 20, 't', 'w', 'o', 19, 17}));
}

TEST_F(PassOneTest, ControlBytesNeverReachTheStreamAsText) {
    EXPECT_EQ(streamOf("a\x01"
                       "b\x1b[1mc\x7f\xff"),
              "ab[1mc\x7f\xff");
    EXPECT_EQ(streamOf("a\tb\nc\r\nd"), "abcd");
    // A tab right after a '<' that starts no tag is dropped as well.
    EXPECT_EQ(streamOf("<\tx"), "<x");
}

TEST_F(PassOneTest, TitleIsTakenFromTheTextAfterTitle) {
    GlobalNamespace.page.setTitle("previous page");
    EXPECT_EQ(streamOf("no title here"), "no title here");
    EXPECT_EQ(title(), " Untitled");

    EXPECT_EQ(streamOf("<TITLE>  My&nbsp;page </TITLE>after"), "after");
    EXPECT_EQ(title(), "My  page ");

    EXPECT_EQ(streamOf("<TITLE></TITLE>x"), "x");
    EXPECT_EQ(title(), " Untitled");

    EXPECT_EQ(streamOf("<TITLE>One</TITLE><TITLE>Two</TITLE>"), "");
    EXPECT_EQ(title(), "Two");

    // The tag that takes the title's place is consumed without acting.
    EXPECT_EQ(streamOf("<TITLE><B>bold"), "bold");
    EXPECT_EQ(title(), " Untitled");

    EXPECT_EQ(streamOf("x<TITLE>"), "x");
    EXPECT_EQ(title(), " Untitled");

    streamOf(
        "<TITLE>a\x1b"
        "b\x07</TITLE>");
    EXPECT_EQ(title(), "ab");
}

TEST_F(PassOneTest, LongTitlesAreCutTo77CharactersAndThreeDots) {
    const std::string hundred = std::string(50, 'a') + std::string(50, 'b');
    streamOf("<TITLE>" + hundred);
    EXPECT_EQ(title(), hundred.substr(0, 77) + "...");

    const std::string eighty(80, 't');
    streamOf("<TITLE>" + eighty);
    EXPECT_EQ(title(), eighty);

    PageProperties page;
    page.setTitle(std::string(81, 'z').c_str());
    EXPECT_EQ(std::string(page.getTitle()), std::string(77, 'z') + "...");
    page.setTitle(nullptr);
    EXPECT_EQ(std::string(page.getTitle()), "");
}

TEST_F(PassOneTest, MissingOrEmptyInputGivesAnEmptyStream) {
    EXPECT_EQ(streamOf(""), "");
    GlobalNamespace.page.setTitle("previous page");
    PassOne().passOne("no-such-page.html");
    EXPECT_EQ(wexatest::readFile("pass1.tmp"), "");
    struct stat info {};
    EXPECT_EQ(::stat("pass1.tmp", &info), 0) << "the stream file exists even when the page does not";
    EXPECT_EQ(title(), " Untitled");
    PassOne().passOne(nullptr);
    EXPECT_EQ(wexatest::readFile("pass1.tmp"), "");
}

TEST_F(PassOneTest, StreamFileIsTruncatedAndCreatedWithMode0664) {
    const mode_t previous = ::umask(0);
    streamOf(std::string(5000, 'x'));
    ::umask(previous);
    struct stat info {};
    ASSERT_EQ(::stat("pass1.tmp", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0664u);
    EXPECT_EQ(streamOf("short"), "short");
}

TEST_F(PassOneTest, WriteStringWritesEveryByteUnchanged) {
    {
        std::fstream out("raw.bin", std::ios::out | std::ios::binary | std::ios::trunc);
        PassOne::writeString("a\tb\x01\xff", out);
        PassOne::writeString(nullptr, out);
        PassOne::writeString("", out);
    }
    EXPECT_EQ(wexatest::readFile("raw.bin"), "a\tb\x01\xff");
}

// Random tag soup, including over-long tokens, high bytes, NUL and control
// bytes: the stream keeps its invariants and holds no stray code.
TEST_F(PassOneTest, ArbitraryInputKeepsTheStreamInvariants) {
    const std::vector<std::string> pieces = {
        "<",
        ">",
        "</",
        "TD",
        " ALIGN=right",
        "<TD>",
        "<TR>",
        "<BR>",
        "<HR>",
        "<LI>",
        "&nbsp",
        ";",
        " ",
        "\t",
        "\n",
        "\r",
        "\"",
        "=",
        "x",
        "\xff",
        "\x01",
        "\x09",
        "\x1b",
        "\x1f",
        std::string(1, '\0'),
        "<TITLE>",
        "<!--",
        "<CENTER>",
        std::string(300, 'w'),
        std::string(300, ' '),
    };
    std::mt19937 random(1234);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    for (int round = 0; round < 300; ++round) {
        std::string html;
        for (int i = 0; i < 60; ++i) html += pieces[pick(random)];
        const std::string stream = streamOf(html);
        for (std::size_t i = 0; i < stream.size(); ++i) {
            const auto byte = static_cast<unsigned char>(stream[i]);
            // No active elements are written yet, so 9 is stray as well.
            const bool code = (byte >= 1 && byte <= 8) || byte == 10 || byte == 11 || byte == 12 ||
                              (byte >= 16 && byte <= 26) || byte == 28;
            ASSERT_TRUE(byte >= 32 || code) << "stray byte " << int(byte) << " at " << i;
            if (byte == 3) {
                ASSERT_LT(i + 1, stream.size());
                ASSERT_TRUE(stream[i + 1] >= 4 && stream[i + 1] <= 7);
                ++i;
            } else {
                ASSERT_FALSE(byte >= 4 && byte <= 7) << "alignment byte without a cell start at " << i;
            }
        }
    }
}

}  // namespace
