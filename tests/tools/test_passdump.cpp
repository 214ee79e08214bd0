// passdump run as a real process in a fresh working directory.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/testsupport.h"

namespace {

struct DumpResult {
    std::string out;
    int status = -1;
};

class Passdump : public ::testing::Test {
protected:
    static DumpResult dump() {
        DumpResult run;
        FILE* pipe = popen("'" PASSDUMP_PATH "'", "r");
        if (pipe == nullptr) return run;
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.out.append(chunk, n);
        const int raw = pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return run;
    }

    static DumpResult dump(const std::string& bytes) {
        wexatest::writeFile("pass1.tmp", bytes);
        return dump();
    }

    wexatest::TempDir dir;
};

TEST_F(Passdump, LabelledBytesPrintTheirLabelsWithNothingBetween) {
    const DumpResult run = dump(std::string("\x0a\x09\x03\x04\x05\x06\x07\x12\x10\x11\x14\x15", 12));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "[ NL ][Tab][td][td noalign specified][left align][right align][center align]"
              "[UL]<OL></OL><LI></li>");
}

TEST_F(Passdump, TextAndUnlabelledCodesPrintRawBetweenBrackets) {
    EXPECT_EQ(dump(std::string("\x03\x05x\x08", 4)).out, "[td][left align][x][\x08]");
    EXPECT_EQ(dump("Hi").out, "[H][i]");
    const std::string codes("\x01\x02\x0b\x0c\x13\x16\x17\x18\x19\x1a\x1b\x1c", 12);
    std::string expected;
    for (char c : codes) expected += std::string("[") + c + "]";
    EXPECT_EQ(dump(codes).out, expected);
}

TEST_F(Passdump, ByteValues0And255AreDataNotTheEnd) {
    EXPECT_EQ(dump(std::string("\xff"
                               "a\0b",
                               4))
                  .out,
              std::string("[\xff][a][\0][b]", 12));
}

TEST_F(Passdump, LineBreakCodesAddNoLineBreak) {
    EXPECT_EQ(dump("\n\n").out, "[ NL ][ NL ]");
}

TEST_F(Passdump, EmptyOrMissingFilePrintsNothingAndSucceeds) {
    const DumpResult missing = dump();
    EXPECT_EQ(missing.status, 0);
    EXPECT_EQ(missing.out, "");
    const DumpResult empty = dump("");
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "");
}

}  // namespace
