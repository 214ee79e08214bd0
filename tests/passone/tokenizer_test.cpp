#include "passone/tokenizer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/testsupport.h"

namespace {

struct Token {
    int type;
    std::string text;
    bool operator==(const Token& other) const { return type == other.type && text == other.text; }
};

void PrintTo(const Token& token, std::ostream* os) {
    *os << (token.type == Tokenizer::TAG ? "tag \"" : "text \"") << token.text << '"';
}

Token tag(const std::string& text) {
    return {Tokenizer::TAG, text};
}
Token text(const std::string& text) {
    return {Tokenizer::TEXT, text};
}

class TokenizerTest : public ::testing::Test {
protected:
    // Every token of html, read from a file, up to the end of the input.
    std::vector<Token> tokensOf(const std::string& html) {
        wexatest::writeFile("page.html", html);
        Tokenizer tokenizer("page.html");
        std::vector<Token> tokens;
        for (char* t = tokenizer.getNextToken(); t != nullptr; t = tokenizer.getNextToken())
            tokens.push_back({tokenizer.tokenType, t});
        EXPECT_EQ(tokenizer.getNextToken(), nullptr) << "the end of the input stays the end";
        return tokens;
    }

    wexatest::TempDir dir;
};

using Tokens = std::vector<Token>;

TEST_F(TokenizerTest, RunsOfBlanksAndTabsKeepAtMostOneBlank) {
    EXPECT_EQ(tokensOf("a   b\t\tc  \t d"), Tokens{text("a bc d")});
    EXPECT_EQ(tokensOf("a\tb"), Tokens{text("ab")});
    EXPECT_EQ(tokensOf("a \tb"), Tokens{text("a b")});
    EXPECT_EQ(tokensOf("<A   HREF  =  x>"), Tokens{tag("A HREF = x")});
}

TEST_F(TokenizerTest, BlanksAfterATagAreLostAndBlanksBeforeATagKept) {
    EXPECT_EQ(tokensOf("<B>x</B> y"), (Tokens{tag("B"), text("x"), tag("/B"), text("y")}));
    EXPECT_EQ(tokensOf("  x   <BR>"), (Tokens{text("x "), tag("BR")}));
}

TEST_F(TokenizerTest, LineBreaksVanishFromTextButSeparateWordsInTags) {
    EXPECT_EQ(tokensOf("Hello\nworld"), Tokens{text("Helloworld")});
    EXPECT_EQ(tokensOf("a\r\nb"), Tokens{text("ab")});
    // The line break clears the white-space flag between the two blanks.
    EXPECT_EQ(tokensOf("a \n b"), Tokens{text("a  b")});
    // A text token may start with the line break; the indentation keeps one blank.
    EXPECT_EQ(tokensOf("<B>\n   x"), (Tokens{tag("B"), text(" x")}));
    EXPECT_EQ(tokensOf("<A\nHREF=x\r\nNAME=y>"), Tokens{tag("A HREF=x NAME=y")});
}

TEST_F(TokenizerTest, OverLongTokensAreCutAt511AndTheRestReadOn) {
    const std::string name(600, 'A');
    EXPECT_EQ(tokensOf("<" + name + ">rest"),
              (Tokens{tag(std::string(511, 'A')), text(std::string(89, 'A') + ">rest")}));
    const std::string words(1000, 'x');
    EXPECT_EQ(tokensOf(words), (Tokens{text(std::string(511, 'x')), text(std::string(489, 'x'))}));
    // Dropped bytes do not count: a long run of blanks still gives a full token.
    EXPECT_EQ(tokensOf(std::string(510, 'y') + std::string(50, ' ') + "zz"),
              (Tokens{text(std::string(510, 'y') + " "), text("zz")}));
}

TEST_F(TokenizerTest, NoBreakSpaceBecomesBlanksInAnyCase) {
    EXPECT_EQ(tokensOf("a&nbsp;b"), Tokens{text("a  b")});
    EXPECT_EQ(tokensOf("a&NBSPb"), Tokens{text("a b")});
    EXPECT_EQ(tokensOf("a&NbSp;&nbsp;b"), Tokens{text("a    b")});
    EXPECT_EQ(tokensOf("a&amp;b &nbs"), Tokens{text("a&amp;b &nbs")});
    // Blanks made from entities are not collapsed and survive after a tag.
    EXPECT_EQ(tokensOf("<B>&nbsp;x"), (Tokens{tag("B"), text("  x")}));
    // Entities inside tags are left alone.
    EXPECT_EQ(tokensOf("<IMG ALT=a&nbsp;b>"), Tokens{tag("IMG ALT=a&nbsp;b")});
}

TEST_F(TokenizerTest, NoBreakSpaceAtTheEndOfAFullTokenKeepsTheWholeToken) {
    const std::string head(505, 'x');
    EXPECT_EQ(tokensOf(head + "&nbsp;"), Tokens{text(head + "  ")});
    EXPECT_EQ(tokensOf(head + "&amp;"), Tokens{text(head + "&amp;")});
}

TEST_F(TokenizerTest, HighBytesAreTextAndOnlyTheEndOfFileEndsTheInput) {
    EXPECT_EQ(tokensOf("a\xff"
                       "b\xff"),
              Tokens{text("a\xff"
                          "b\xff")});
    EXPECT_EQ(tokensOf(std::string("a\0b", 3)), Tokens{text("ab")});
}

TEST_F(TokenizerTest, AngleBracketsThatStartNoTagAreText) {
    EXPECT_EQ(tokensOf("a < b"), (Tokens{text("a "), text("< b")}));
    EXPECT_EQ(tokensOf("<!-- note -->x"), Tokens{text("<!-- note -->x")});
    EXPECT_EQ(tokensOf("1<2"), (Tokens{text("1"), text("<2")}));
    // A '>' inside a quoted value ends the tag.
    EXPECT_EQ(tokensOf("<A TITLE=\"a>b\">"), (Tokens{tag("A TITLE=\"a"), text("b\">")}));
}

TEST_F(TokenizerTest, EndOfInputRightAfterAnOpeningBracketGivesAnEmptyToken) {
    EXPECT_EQ(tokensOf("abc<"), (Tokens{text("abc"), text("")}));
    EXPECT_EQ(tokensOf("<B"), Tokens{tag("B")});
}

TEST_F(TokenizerTest, MissingFileAndNoFileReadAsEmptyInput) {
    EXPECT_EQ(tokensOf("  \t "), Tokens{});
    Tokenizer missing("no-such-file.html");
    EXPECT_EQ(missing.getNextToken(), nullptr);
    Tokenizer none;
    EXPECT_EQ(none.getNextToken(), nullptr);
}

TEST_F(TokenizerTest, DirectoryInThePlaceOfTheFileReadsAsEmptyInput) {
    // Reading a directory fails; the failure must not escape as an exception.
    ASSERT_EQ(::mkdir("page-dir.html", 0755), 0);
    Tokenizer directory("page-dir.html");
    EXPECT_EQ(directory.getNextToken(), nullptr);
    EXPECT_EQ(directory.getNextToken(), nullptr);
}

}  // namespace
