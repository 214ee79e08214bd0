#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "passone/pagestream.h"
#include "support/testsupport.h"
#include "tables/table_engine.h"

namespace {

std::string code(unsigned char c) {
    return std::string(1, static_cast<char>(c));
}

const std::string TABLE = code(PS_TABLE);
const std::string TR = code(PS_TR);
const std::string TD = code(PS_TD);
const std::string TD_END = code(PS_TD_END);
const std::string TR_END = code(PS_TR_END);
const std::string TABLE_END = code(PS_TABLE_END);
const std::string TAB = code(PS_TAB);

std::string cell(const std::string& text, unsigned char align = PS_TD_NOALIGN) {
    return TD + code(align) + text + TD_END;
}

std::string row(std::initializer_list<std::string> cells) {
    std::string r = TR;
    for (const auto& c : cells) r += c;
    return r + TR_END;
}

std::string tableOf(std::initializer_list<std::string> rows) {
    std::string t = TABLE;
    for (const auto& r : rows) t += r;
    return t + TABLE_END;
}

std::string spaces(std::size_t n) {
    return std::string(n, ' ');
}

bool isTableCode(unsigned char c) {
    return (c >= 1 && c <= 8) || c == 11 || c == 12;
}

// Each case runs in a fresh working directory, as the page cycle does.
class TablePass : public ::testing::Test {
protected:
    std::string run(const std::string& stream) {
        wexatest::writeFile("pass1.tmp", stream);
        {
            table_engine engine("pass1.tmp");
            engine.write_to_buffer();
        }
        return wexatest::readFile("pass2.tmp");
    }

    wexatest::TempDir dir;
};

// --- Layout of well-formed tables ------------------------------------------

TEST_F(TablePass, ColumnWidthsComeFromTheWidestCellAcrossRows) {
    const std::string out = run(tableOf({row({cell("ab"), cell("c")}), row({cell("d"), cell("efg")})}));
    EXPECT_EQ(out, "\nab  c    \nd   efg  \n");
}

TEST_F(TablePass, CellsAreAlignedLeftRightAndCentredWithTheOddSpaceRight) {
    const std::string out = run(tableOf({
        row({cell("wxyz")}),
        row({cell("a", PS_TD_NOALIGN)}),
        row({cell("b", PS_ALIGN_LEFT)}),
        row({cell("c", PS_ALIGN_RIGHT)}),
        row({cell("d", PS_ALIGN_CENTER)}),
        row({cell("ef", PS_ALIGN_CENTER)}),
    }));
    EXPECT_EQ(out,
              "\nwxyz  "
              "\na     "
              "\nb     "
              "\n   c  "
              "\n d    "
              "\n ef   "
              "\n");
}

TEST_F(TablePass, EmptyCellFillsItsColumnWidth) {
    EXPECT_EQ(run(tableOf({row({cell("abc")}), row({cell("")})})), "\nabc  \n     \n");
}

TEST_F(TablePass, ShortRowEndsAfterItsLastCell) {
    EXPECT_EQ(run(tableOf({row({cell("a"), cell("b"), cell("c")}), row({cell("d")})})), "\na  b  c  \nd  \n");
}

TEST_F(TablePass, TextAroundATableStaysOnItsLinesAndTextBetweenCellsIsDropped) {
    // Pass one indents cells with a blank between the row start and the cell.
    const std::string table = TABLE + TR + " " + cell("x") + " " + cell("yy") + TR_END + TABLE_END;
    EXPECT_EQ(run("before" + table + "after"), "before\nx  yy  \nafter");
}

TEST_F(TablePass, ActiveElementTabsAndOtherCodesCountInTheCellLength) {
    const std::string link = TAB + "go" + TAB;           // 4 bytes
    const std::string bold = code(22) + "b" + code(23);  // 3 bytes
    const std::string out = run(tableOf({row({cell(link)}), row({cell(bold)}), row({cell("")})}));
    EXPECT_EQ(out, "\n" + link + "  \n" + bold + "   \n" + spaces(6) + "\n");
}

TEST_F(TablePass, TwoTablesAreMeasuredIndependently) {
    const std::string first = tableOf({row({cell("long cell")})});
    const std::string second = tableOf({row({cell("a")}), row({cell("bc")})});
    EXPECT_EQ(run(first + "|" + second), "\nlong cell  \n|\na   \nbc  \n");
}

TEST_F(TablePass, CellLongerThanTheBufferIsPaddedAroundEachPiece) {
    // The buffer holds 512 bytes, so a 600-byte cell is written as a piece of
    // 512 and one of 88, each followed by its padding.
    const std::string wide(700, 'w');
    const std::string longText(600, 'l');
    const std::string out = run(tableOf({row({cell(wide)}), row({cell(longText)})}));
    const std::string expected = "\n" + wide + "  " + "\n" + std::string(512, 'l') + spaces(100) +
                                 std::string(88, 'l') + spaces(100) + "  " + "\n";
    EXPECT_EQ(out, expected);
}

// --- Copying outside tables and the files ------------------------------------

TEST_F(TablePass, StreamWithoutTablesIsCopiedByteForByte) {
    std::string stream;
    std::uint32_t seed = 12345;
    while (stream.size() < 5000) {
        seed = seed * 1103515245u + 12345u;
        const unsigned char c = static_cast<unsigned char>(seed >> 16);
        if (!isTableCode(c)) stream += static_cast<char>(c);
    }
    for (int c = 0; c < 256; ++c)
        if (!isTableCode(static_cast<unsigned char>(c))) stream += static_cast<char>(c);
    EXPECT_EQ(run(stream), stream);
}

TEST_F(TablePass, EmptyStreamGivesEmptyOutput) {
    EXPECT_EQ(run(""), "");
}

TEST_F(TablePass, MissingInputGivesAnEmptyOutputFile) {
    {
        table_engine engine("pass1.tmp");
        engine.write_to_buffer();
    }
    EXPECT_TRUE(std::filesystem::is_regular_file("pass2.tmp"));
    EXPECT_EQ(wexatest::readFile("pass2.tmp"), "");
}

TEST_F(TablePass, OutputThatCannotBeCreatedIsNeverWritten) {
    // A directory in the output's place makes it impossible to open, even as root.
    std::filesystem::create_directory("pass2.tmp");
    wexatest::writeFile("pass1.tmp", "text" + tableOf({row({cell("a")})}));
    {
        table_engine engine("pass1.tmp");
        engine.write_to_buffer();
    }
    EXPECT_TRUE(std::filesystem::is_directory("pass2.tmp"));
    EXPECT_TRUE(std::filesystem::is_empty("pass2.tmp"));
}

TEST_F(TablePass, InputThatIsADirectoryGivesAnEmptyOutput) {
    // Reading a directory fails; the failure must not escape as an exception.
    std::filesystem::create_directory("pass1.tmp");
    {
        table_engine engine("pass1.tmp");
        engine.write_to_buffer();
    }
    EXPECT_EQ(wexatest::readFile("pass2.tmp"), "");
}

// --- Malformed streams: the pass ends, reads nothing outside its lists, and
// every table end code ends the current phase ---------------------------------

TEST_F(TablePass, TableStartAsTheLastByteWritesNothingForIt) {
    EXPECT_EQ(run("ab" + TABLE), "ab");
}

TEST_F(TablePass, TableThatNeverEndsIsNotWritten) {
    EXPECT_EQ(run("ab" + TABLE + TR + cell("x") + TR + TD), "ab");
    EXPECT_EQ(run("ab" + TABLE + TR + TD + code(PS_ALIGN_RIGHT) + "unfinished"), "ab");
}

TEST_F(TablePass, CellStartAsTheLastByteEndsThePass) {
    EXPECT_EQ(run("ab" + TD), "ab");
    EXPECT_EQ(run("ab" + TABLE + TR + TD), "ab");
}

TEST_F(TablePass, TableEndOutsideAnyTableWritesANewlineAndCopiesOn) {
    EXPECT_EQ(run("ab" + TABLE_END + "cd"), "ab\ncd");
    // The seek back covers the stray codes too and lands in text already
    // copied; that text is not written a second time.
    EXPECT_EQ(run("a" + TD_END + "bcd" + TR_END + TABLE_END + "ef"), "abcd\nef");
}

TEST_F(TablePass, StrayCodesBeforeATableDoNotDisturbItsLayout) {
    const std::string table = tableOf({row({cell("ab"), cell("c")}), row({cell("d"), cell("efg")})});
    const std::string stray = "x" + TD_END + "y" + TR_END + TD + code(PS_ALIGN_RIGHT) + TR + "z";
    EXPECT_EQ(run(stray + table + "after"), "xyz\nab  c    \nd   efg  \nafter");
}

TEST_F(TablePass, CellsAndRowsWithoutEndsStillEndAtTheTableEnd) {
    const std::string out = run("<" + TABLE + TR + TD + code(PS_ALIGN_CENTER) + "abc" + TR_END + TR +
                                cell("d") + TD + TABLE_END + ">");
    EXPECT_EQ(out.front(), '<');
    EXPECT_EQ(out.substr(out.size() - 2), "\n>");
}

TEST_F(TablePass, EndsWithoutStartsInsideATableReadNothingOutsideTheLists) {
    const std::string out = run(TABLE + TD_END + TR_END + TD_END + code(PS_ALIGN_RIGHT) + TR +
                                cell("x", PS_ALIGN_RIGHT) + TD_END + TR_END + TR_END + TABLE_END + "after");
    EXPECT_NE(out.find('x'), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 6), "\nafter");
}

TEST_F(TablePass, NestedTablesEndAndTheTextAfterThemIsCopied) {
    const std::string inner = tableOf({row({cell("y")})});
    const std::string out = run(tableOf({row({cell("x" + inner + "z")})}) + "after");
    EXPECT_EQ(out.substr(out.size() - 5), "after");
    for (char c : {'x', 'y', 'z'}) EXPECT_EQ(std::count(out.begin(), out.end(), c), 1) << c;

    std::string deep;
    for (int i = 0; i < 200; ++i) deep += TABLE + TR + TD + code(PS_ALIGN_CENTER) + "n";
    for (int i = 0; i < 200; ++i) deep += TD_END + TR_END + TABLE_END;
    const std::string deepOut = run(deep + "end");
    EXPECT_EQ(deepOut.substr(deepOut.size() - 3), "end");
}

TEST_F(TablePass, ArbitraryCodeSequencesEndAndNeverWriteATextByteTwice) {
    // Streams dense in table codes, built from a fixed seed. Whatever the
    // layout, no table code reaches the output and no text byte is written
    // more often than it occurs in the input.
    const std::string alphabet = "abcdefgh";
    std::uint32_t seed = 2024;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    for (int stream = 0; stream < 400; ++stream) {
        std::string in;
        const unsigned length = next() % 300;
        for (unsigned i = 0; i < length; ++i) {
            const unsigned pick = next() % 20;
            if (pick < 12) {
                static const std::array<unsigned char, 12> CODES = {1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 3, 8};
                in += code(CODES[pick]);
            } else {
                in += alphabet[next() % alphabet.size()];
            }
        }
        const std::string out = run(in);
        for (unsigned char c : out) ASSERT_FALSE(isTableCode(c)) << "stream " << stream;
        for (char c : alphabet)
            ASSERT_LE(std::count(out.begin(), out.end(), c), std::count(in.begin(), in.end(), c))
                << "stream " << stream << " byte " << c;
    }
}

}  // namespace
