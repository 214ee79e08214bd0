// The reply writer and its line cutter, checked against what the browser's
// line reader does with the bytes.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "proxy/server/reply.h"

using wexaproxy::Cacheability;
using wexaproxy::cutLines;
using wexaproxy::errorReply;
using wexaproxy::pageReply;
using wexaproxy::sanitizePageText;

namespace {

// The rules the browser's reader relies on, for one cut.
void expectSafeLines(const std::vector<std::string_view>& lines, std::size_t maxLine,
                     const std::string& text) {
    std::string joined;
    for (std::string_view line : lines) {
        ASSERT_FALSE(line.empty());
        ASSERT_LE(line.size(), maxLine);
        ASSERT_EQ(line.find("~~~~~~"), std::string_view::npos) << line;
        ASSERT_NE(line.substr(0, 4), "TRUE") << line;
        ASSERT_NE(line.substr(0, 5), "FALSE") << line;
        joined.append(line.data(), line.size());
    }
    ASSERT_EQ(joined, text);
}

// A model of the browser's reader: reads a reply as the browser does
// (511-byte pieces, six "~" or an empty line end it) and returns the page
// file it would store, and the cache flag it would end with.
struct BrowserView {
    bool ok = false;
    int flag = 0;  // 1 TRUE, 2 FALSE
    std::string page;
};

BrowserView readLikeBrowser(const std::string& reply) {
    BrowserView view;
    std::size_t pos = 0;
    int status = 0;
    for (;;) {
        std::string line;
        int tildes = 0;
        bool ended = false;
        while (pos < reply.size()) {
            char c = reply[pos++];
            tildes = c == '~' ? tildes + 1 : 0;
            if (tildes == 6) return view;
            if (c == '\n') {
                ended = true;
                break;
            }
            line.push_back(c);
            if (line.size() == 511) break;
        }
        if (line.empty() && (ended || pos >= reply.size())) return view;
        if (status == 1 && view.flag != 0) view.page += line;
        if (status == 0 && line.compare(0, 2, "OK") == 0) {
            status = 1;
            view.ok = true;
        }
        if (status == 1 && line.compare(0, 4, "TRUE") == 0) view.flag = 1;
        if (status == 1 && line.compare(0, 5, "FALSE") == 0) view.flag = 2;
    }
}

}  // namespace

TEST(PageSanitizing, LineBreaksBecomeBlanksAndNulIsDropped) {
    EXPECT_EQ(sanitizePageText(std::string("a\r\nb\nc\0d\re", 11)), "a  b cd e");
}

TEST(PageSanitizing, Byte255WouldEndTheBrowsersReadSoItIsReplaced) {
    EXPECT_EQ(sanitizePageText("x\xffy"), "x?y");
}

TEST(LineCutter, EmptyTextGivesNoLines) {
    EXPECT_TRUE(cutLines("").empty());
}

TEST(LineCutter, LongTextIsCutAtTheLineLength) {
    std::string text(1000, 'a');
    auto lines = cutLines(text, 400);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 400u);
    EXPECT_EQ(lines[2].size(), 200u);
}

TEST(LineCutter, SixTildesAreSplitAcrossLines) {
    std::string text = "a~~~~~~~~~~~~~b";  // thirteen tildes
    auto lines = cutLines(text, 400);
    expectSafeLines(lines, 400, text);
    EXPECT_EQ(lines.size(), 3u);
}

TEST(LineCutter, CacheWordsNeverStartALine) {
    // The cut would fall right before TRUE, FALSE, and at the page start.
    for (std::string text :
         {std::string(10, 'x') + "TRUE and more", std::string(10, 'x') + "FALSE",
          std::string("TRUE at the start"), std::string("FALSE"), std::string("TRUETRUETRUE"),
          std::string(9, 'x') + "TRUE", std::string(9, '~') + "TRUE"}) {
        for (std::size_t maxLine : {2u, 3u, 9u, 10u, 11u}) {
            SCOPED_TRACE(text + " / " + std::to_string(maxLine));
            expectSafeLines(cutLines(text, maxLine), maxLine, text);
        }
    }
}

TEST(LineCutter, RandomTextsJoinBackExactlyAndObeyTheRules) {
    // Texts built from the troublesome pieces, cut at many lengths.
    std::mt19937 random(12345);
    const std::vector<std::string> pieces = {"~", "~~~", "T", "TRUE", "FALSE", "F", "x", " ", "<B>", "R"};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        int count = static_cast<int>(random() % 60);
        for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
        std::size_t maxLine = 2 + random() % 12;
        SCOPED_TRACE(text + " / " + std::to_string(maxLine));
        expectSafeLines(cutLines(text, maxLine), maxLine, text);
        if (HasFatalFailure()) return;
    }
}

TEST(PageReply, BrowserReadsBackExactlyTheSanitizedPage) {
    std::mt19937 random(777);
    const std::vector<std::string> pieces = {"~~",
                                             "~~~~~~~",
                                             "\n",
                                             "\r\n",
                                             "\n\n",
                                             "TRUE",
                                             "FALSE",
                                             "OK",
                                             "ERROR",
                                             "word ",
                                             std::string(700, 'w')};
    for (int round = 0; round < 300; ++round) {
        std::string page;
        int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) page += pieces[random() % pieces.size()];
        for (Cacheability cache : {Cacheability::Cacheable, Cacheability::NotCacheable}) {
            BrowserView view = readLikeBrowser(pageReply(page, cache));
            ASSERT_TRUE(view.ok);
            ASSERT_EQ(view.flag, cache == Cacheability::Cacheable ? 1 : 2);
            ASSERT_EQ(view.page, sanitizePageText(page));
        }
    }
}

TEST(PageReply, HasTheStatusFlagAndEndMark) {
    EXPECT_EQ(pageReply("<B>hi</B>", Cacheability::Cacheable), "OK\nTRUE\n<B>hi</B>\n~~~~~~\n");
    EXPECT_EQ(pageReply("", Cacheability::NotCacheable), "OK\nFALSE\n~~~~~~\n");
}

TEST(ErrorReply, MessageIsOneShortSafeLine) {
    EXPECT_EQ(errorReply("HTTP 404 Not Found"), "ERROR\nHTTP 404 Not Found\n");
    EXPECT_EQ(errorReply(""), "ERROR\nUnknown error\n");
    EXPECT_EQ(errorReply("a\nb\r\tc ~~~~~~"), "ERROR\na b c ------\n");
    std::string longMessage = "Host not found: " + std::string(100, 'h');
    std::string reply = errorReply(longMessage);
    std::string line = reply.substr(6, reply.size() - 7);
    EXPECT_EQ(line.size(), wexaproxy::MAX_MESSAGE_LENGTH);
    EXPECT_EQ(line.substr(line.size() - 3), "...");
}
