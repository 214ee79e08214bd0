#include "passone/stringTokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Words = std::vector<std::string>;

Words wordsOf(const char* text, const char* delimiters = StringTokenizer::STANDARD_DELIMITERS) {
    StringTokenizer tokenizer(text, delimiters);
    Words words;
    for (const char* w = tokenizer.nextToken(); w != nullptr; w = tokenizer.nextToken()) words.push_back(w);
    EXPECT_EQ(tokenizer.nextToken(), nullptr) << "a used-up string stays used up";
    return words;
}

TEST(StringTokenizerTest, FirstWordIsEmptyThenTheAttributeWords) {
    EXPECT_EQ(wordsOf("INPUT TYPE=\"checkbox\" NAME=\"agree\" CHECKED"),
              (Words{"", "INPUT", "TYPE", "checkbox", "NAME", "agree", "CHECKED"}));
    EXPECT_EQ(wordsOf(""), Words{""});
    EXPECT_EQ(wordsOf(nullptr), Words{""});
}

TEST(StringTokenizerTest, ARunOfDelimitersYieldsNoEmptyWord) {
    EXPECT_EQ(wordsOf("A  ==\" B \""), (Words{"", "A", "B"}));
    // An empty quoted value disappears, so the next name reads as the value.
    EXPECT_EQ(wordsOf("INPUT VALUE=\"\" NAME=x"), (Words{"", "INPUT", "VALUE", "NAME", "x"}));
    // A quoted value with a blank becomes two words.
    EXPECT_EQ(wordsOf("VALUE=\"Send it\""), (Words{"", "VALUE", "Send", "it"}));
}

TEST(StringTokenizerTest, OtherDelimiterSetsAndTabs) {
    EXPECT_EQ(wordsOf("a,b;;c", ",;"), (Words{"", "a", "b", "c"}));
    // Tabs are left out of a word that a delimiter ends.
    EXPECT_EQ(wordsOf("a\tb c"), (Words{"", "ab", "c"}));
    // Without delimiters the whole string is one word.
    EXPECT_EQ(wordsOf("a b", ""), Words{"a b"});
}

TEST(StringTokenizerTest, IsDelimiterKnowsOnlyItsCharacters) {
    StringTokenizer tokenizer("x", StringTokenizer::STANDARD_DELIMITERS);
    EXPECT_TRUE(tokenizer.isDelimiter(' '));
    EXPECT_TRUE(tokenizer.isDelimiter('='));
    EXPECT_TRUE(tokenizer.isDelimiter('"'));
    EXPECT_FALSE(tokenizer.isDelimiter('a'));
    EXPECT_FALSE(tokenizer.isDelimiter('\t'));
    EXPECT_FALSE(tokenizer.isDelimiter('\0'));
}

TEST(StringTokenizerTest, OverLongInputIsCutSafely) {
    const std::string longWord(300, 'w');
    EXPECT_EQ(wordsOf((longWord + " x").c_str()), (Words{"", std::string(255, 'w'), "x"}));
    // The string itself keeps 510 characters; the last word is returned in place.
    const std::string longString = "A " + std::string(600, 'v');
    EXPECT_EQ(wordsOf(longString.c_str()), (Words{"", "A", std::string(508, 'v')}));
    // Delimiters beyond the eleventh are ignored.
    StringTokenizer tokenizer("x", "abcdefghijkl");
    EXPECT_TRUE(tokenizer.isDelimiter('k'));
    EXPECT_FALSE(tokenizer.isDelimiter('l'));
}

TEST(StringTokenizerTest, DefaultConstructedHasNoWords) {
    StringTokenizer tokenizer;
    EXPECT_EQ(tokenizer.nextToken(), nullptr);
}

}  // namespace
