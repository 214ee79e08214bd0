// The pass-three reader (how pass2.tmp is cut into tokens) and pass three
// as a whole: reader, layout, elements drawing themselves, first view.

#include <random>

#include "render/pass3.h"
#include "render_fixture.h"

namespace rendertest {
namespace {

using Tokens = std::vector<std::pair<std::string, short>>;

void record(void* context, const char* token, short last) {
    static_cast<Tokens*>(context)->emplace_back(
        last >= 0 ? std::string(token, static_cast<std::size_t>(last) + 1) : std::string(1, token[0]), last);
}

Tokens tokensOf(const std::string& fileBytes) {
    wexatest::writeFile("pass2.tmp", fileBytes);
    Tokens tokens;
    Pass3_Tokenizer().findToken("pass2.tmp", record, &tokens);
    return tokens;
}

class Reader : public ::testing::Test {
protected:
    wexatest::TempDir dir;
};

TEST_F(Reader, DelimitersAreExactlyTheFourteenLayoutCodes) {
    std::string found;
    for (int b = 0; b < 256; ++b)
        if (Pass3_Tokenizer().ifDelimiter(static_cast<char>(b))) found += static_cast<char>(b);
    EXPECT_EQ(found, TAB + NL + OL + OL_END + UL + UL_END + LI + std::string(1, 21) + BOLD + BOLD_END +
                         UNDERLINE + UNDERLINE_END + CENTER + CENTER_END);
}

TEST_F(Reader, TextRunsAndCodesBecomeTokens) {
    const std::string max(513, 'x');
    EXPECT_EQ(tokensOf(max), (Tokens{{max, 512}}));
    EXPECT_EQ(tokensOf(NL + BOLD + "b" + BOLD_END), (Tokens{{NL, -1}, {BOLD, -1}, {"b", 0}, {BOLD_END, -1}}));
    EXPECT_EQ(tokensOf(std::string(1000, 'r') + NL),
              (Tokens{{std::string(513, 'r'), 512}, {std::string(487, 'r'), 486}, {NL, -1}}));
    // Table codes and every other byte are text.
    const std::string others("a\x01\x03\x05\x08\x0b\x0c\x0d\x1b\xff", 10);
    EXPECT_EQ(tokensOf(others), (Tokens{{others, 9}}));
    EXPECT_TRUE(tokensOf("").empty());
    Tokens none;
    Pass3_Tokenizer().findToken("missing.tmp", record, &none);
    EXPECT_TRUE(none.empty());
}

TEST_F(Reader, BlockReadingCutsExactlyAsByteByByte) {
    // Long runs cross the reader's block boundaries; codes are mixed in at
    // random with every other byte value. The expected tokens follow the
    // cutting rule byte by byte.
    std::mt19937 random(7);
    std::string bytes;
    while (bytes.size() < 200000) {
        const unsigned choice = random() % 100;
        if (choice < 3)
            bytes.append(random() % 3000, 'L');
        else if (choice < 20)
            bytes += "\x09\x0a\x10\x14\x16\x1c"[random() % 6];
        else
            bytes += static_cast<char>(random() % 256);
    }
    Tokens expected;
    std::string buffer;
    for (char c : bytes) {
        if (buffer.size() == 513) {
            expected.emplace_back(buffer, 512);
            buffer.clear();
        }
        if (!Pass3_Tokenizer().ifDelimiter(c)) {
            buffer += c;
            continue;
        }
        if (!buffer.empty()) expected.emplace_back(buffer, static_cast<short>(buffer.size() - 1));
        buffer.clear();
        expected.emplace_back(std::string(1, c), -1);
    }
    if (!buffer.empty()) expected.emplace_back(buffer, static_cast<short>(buffer.size() - 1));
    EXPECT_EQ(tokensOf(bytes), expected);
}

class PassThree : public RenderTest {
protected:
    wexatest::TempDir dir;
};

TEST_F(PassThree, PageIsLaidOutElementsDrawnOnceAndTheTopShown) {
    FakeComponent link(4), box(3);
    table().addComponent(HYPERLINK, &link);
    table().addComponent(CHECKBOX, &box);
    const std::string run = letters(1000);
    wexatest::writeFile("pass2.tmp", "see " + TAB + "link" + TAB + NL + TAB + "[X]" + TAB + NL + run);
    runPassThree("pass2.tmp", GlobalNamespace.renderer, GlobalNamespace.ast);
    EXPECT_EQ(link.x, 4);
    EXPECT_EQ(link.y, 0);
    EXPECT_EQ(box.x, 0);
    EXPECT_EQ(box.y, 1);
    EXPECT_EQ(link.displays + box.displays, 2);
    EXPECT_EQ(link.selects + box.selects, 0);
    EXPECT_EQ(table().getSelected(), table().getPointerToAST());
    // The 1000-byte run arrives in two tokens and wraps as one text.
    EXPECT_EQ(rowText(2), run.substr(0, 78));
    EXPECT_EQ(rowText(14), run.substr(936));
    // Frame drawn, top of the page on the screen.
    EXPECT_EQ(rowText(23, stdscr).substr(57, 5), "MODE:");
    EXPECT_EQ(rowText(4, curscr).find("see link"), 1u);
    EXPECT_EQ(engine().current_displayY(), 0);
}

TEST_F(PassThree, EmptyOrMissingFileGivesAnEmptyPageWithoutMarks) {
    for (const char* name : {"pass2.tmp", "missing.tmp"}) {
        wexatest::writeFile("pass2.tmp", "");
        runPassThree(name, GlobalNamespace.renderer, GlobalNamespace.ast);
        EXPECT_EQ(engine().getRowCount(), 0) << name;
        EXPECT_EQ(rowText(0), "") << name;
        EXPECT_EQ(mvwinch(stdscr, 23, 70) & A_CHARTEXT, static_cast<chtype>(' ')) << name;
        EXPECT_EQ(mvwinch(stdscr, 23, 72) & A_CHARTEXT, static_cast<chtype>(' ')) << name;
    }
}

}  // namespace
}  // namespace rendertest
