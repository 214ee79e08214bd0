// The history and the digits of the page files.

#include "net/cache.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string page(int i) {
    return "http://h/p" + std::to_string(i) + ".html";
}

TEST(CacheStart, StartPageIsEntryZeroWithDigitZero) {
    cache c;
    EXPECT_STREQ(c.lURLRendered(), "wexa.html");
    EXPECT_EQ(c.fetchFileName("wexa.html"), 0);
    EXPECT_EQ(c.showPrevPage(), nullptr);
    EXPECT_EQ(c.showNextPage(), nullptr);
    EXPECT_EQ(c.getPosition(), 0);
}

TEST(CacheLookup, UnknownAndEmptyUrlsMiss) {
    cache c;
    EXPECT_FALSE(c.hit("http://h/x"));
    EXPECT_EQ(c.fetchFileName("http://h/x"), -1);
    // Free entries have empty URLs; they must not count as matches.
    EXPECT_FALSE(c.hit(""));
    EXPECT_EQ(c.fetchFileName(""), -1);
    EXPECT_FALSE(c.hit(nullptr));
}

TEST(CacheDigits, NewPagesGetHighestFreeDigitDownwards) {
    cache c;
    c.update(page(1).c_str());
    c.update(page(2).c_str());
    EXPECT_EQ(c.fetchFileName(page(1).c_str()), 9);
    EXPECT_EQ(c.fetchFileName(page(2).c_str()), 8);
    EXPECT_EQ(c.getPosition(), 2);
    EXPECT_STREQ(c.lURLRendered(), page(2).c_str());
    EXPECT_TRUE(c.search(8));
    EXPECT_FALSE(c.search(7));
}

TEST(CacheDigits, RevisitInAnyCaseReusesDigitAndAddsEntry) {
    cache c;
    c.update("http://h/Page.html");
    c.update("http://h/other.html");
    c.update("HTTP://H/PAGE.HTML");
    EXPECT_EQ(c.getPosition(), 3);
    EXPECT_EQ(c.entry(3).digit, 9);
    EXPECT_TRUE(c.hit("http://h/page.html"));
    EXPECT_EQ(c.fetchFileName("http://H/page.HTML"), 9);
}

TEST(CacheHistory, BackTwiceThenNewPageDropsForwardEntries) {
    cache c;
    for (int i = 1; i <= 3; ++i) c.update(page(i).c_str());  // digits 9, 8, 7
    EXPECT_STREQ(c.showPrevPage(), page(2).c_str());
    EXPECT_STREQ(c.showPrevPage(), page(1).c_str());
    c.update(page(4).c_str());
    EXPECT_EQ(c.getPosition(), 2);
    EXPECT_STREQ(c.lURLRendered(), page(4).c_str());
    // Digits 8 and 7 were freed; 8 is the highest free one.
    EXPECT_EQ(c.entry(2).digit, 8);
    EXPECT_EQ(c.entry(3).digit, -1);
    EXPECT_STREQ(c.entry(3).url, "");
    EXPECT_FALSE(c.hit(page(3).c_str()));
    EXPECT_EQ(c.showNextPage(), nullptr);
}

TEST(CacheHistory, BackAndForwardMoveOnlyThePosition) {
    cache c;
    c.update(page(1).c_str());
    c.update(page(2).c_str());
    EXPECT_STREQ(c.showPrevPage(), page(1).c_str());
    EXPECT_STREQ(c.showNextPage(), page(2).c_str());
    EXPECT_EQ(c.showNextPage(), nullptr);
    EXPECT_EQ(c.getPosition(), 2);
    EXPECT_STREQ(c.showPrevPage(), page(1).c_str());
    EXPECT_STREQ(c.showPrevPage(), "wexa.html");
    EXPECT_EQ(c.showPrevPage(), nullptr);
    EXPECT_EQ(c.getPosition(), 0);
}

TEST(CacheFull, NewPageAtLastEntryDropsTheOldest) {
    cache c;
    for (int i = 1; i <= 8; ++i) c.update(page(i).c_str());  // digits 9 .. 2
    c.update("wexa.html");                                   // entry 9, digit 0
    EXPECT_EQ(c.getPosition(), 9);
    EXPECT_EQ(c.showNextPage(), nullptr);
    c.update(page(9).c_str());
    // Entry 0 (the first start page entry) was dropped; the new page lands in
    // the last entry with the only free digit from 1 to 9.
    EXPECT_EQ(c.getPosition(), 9);
    EXPECT_STREQ(c.entry(0).url, page(1).c_str());
    EXPECT_STREQ(c.lURLRendered(), page(9).c_str());
    EXPECT_EQ(c.entry(9).digit, 1);
    EXPECT_EQ(c.fetchFileName("wexa.html"), 0);
}

TEST(CacheFull, WhenOnlyDigitZeroIsFreeTheOldestPageGivesUpItsDigit) {
    cache c;
    for (int i = 1; i <= 9; ++i) c.update(page(i).c_str());  // digits 9 .. 1
    c.update(page(10).c_str());
    // Dropping entry 0 frees only digit 0, the start page's file: the oldest
    // page is dropped as well and its digit 9 is reused.
    EXPECT_EQ(c.getPosition(), 8);
    EXPECT_STREQ(c.entry(0).url, page(2).c_str());
    EXPECT_STREQ(c.lURLRendered(), page(10).c_str());
    EXPECT_EQ(c.entry(8).digit, 9);
    EXPECT_EQ(c.entry(9).digit, -1);
    EXPECT_FALSE(c.hit("wexa.html"));
    EXPECT_FALSE(c.hit(page(1).c_str()));
    EXPECT_STREQ(c.showPrevPage(), page(9).c_str());
}

TEST(CacheFull, DigitZeroIsNeverGivenToAnotherPage) {
    cache c;
    for (int i = 1; i <= 40; ++i) {
        c.update(page(i).c_str());
        EXPECT_NE(c.fetchFileName(page(i).c_str()), 0) << "page " << i;
        // Every digit is held by one URL only.
        for (int a = 0; a < 10; ++a) {
            for (int b = 0; b < 10; ++b) {
                if (c.entry(a).digit >= 0 && c.entry(a).digit == c.entry(b).digit) {
                    EXPECT_STREQ(c.entry(a).url, c.entry(b).url);
                }
            }
        }
    }
}

TEST(CacheLongUrls, UrlsDifferingAfter77CharactersStayApart) {
    const std::string stem = "http://h/" + std::string(150, 'a');
    const std::string one = stem + "/one.html";
    const std::string two = stem + "/two.html";
    cache c;
    c.update(one.c_str());
    c.update(two.c_str());
    EXPECT_EQ(c.fetchFileName(one.c_str()), 9);
    EXPECT_EQ(c.fetchFileName(two.c_str()), 8);
    EXPECT_EQ(std::string(c.lURLRendered()), two);
    EXPECT_STREQ(c.showPrevPage(), one.c_str());
}

}  // namespace
