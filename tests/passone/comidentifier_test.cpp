#include "passone/comIdentifier.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

namespace {

// Every tag name with its code, written out here independently of the table
// under test.
const std::vector<std::pair<std::string, int>> TAG_TABLE = {
    {"A", 100},      {"/A", 101},      {"B", 22},         {"/B", 23},         {"BODY", 102},  {"/BODY", 103},
    {"BR", 104},     {"CENTER", 26},   {"/CENTER", 28},   {"FORM", 105},      {"/FORM", 106}, {"HEAD", 107},
    {"/HEAD", 108},  {"HTML", 109},    {"/HTML", 110},    {"HR", 111},        {"IMG", 114},   {"/IMG", 115},
    {"INPUT", 112},  {"/INPUT", 113},  {"LI", 20},        {"/LI", 21},        {"OL", 16},     {"/OL", 17},
    {"OPTION", 116}, {"/OPTION", 117}, {"SELECT", 118},   {"/SELECT", 119},   {"TABLE", 1},   {"/TABLE", 12},
    {"TD", 3},       {"/TD", 8},       {"TEXTAREA", 126}, {"/TEXTAREA", 127}, {"TITLE", 124}, {"/TITLE", 125},
    {"TR", 2},       {"/TR", 11},      {"U", 24},         {"/U", 25},         {"UL", 18},     {"/UL", 19},
};

std::string mixedCase(const std::string& name, bool startUpper) {
    std::string out = name;
    bool upper = startUpper;
    for (char& c : out) {
        c = static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c))
                                    : std::tolower(static_cast<unsigned char>(c)));
        upper = !upper;
    }
    return out;
}

TEST(ComponentIdentifierTest, EveryTagIsKnownInAnyLetterCase) {
    ASSERT_EQ(TAG_TABLE.size(), static_cast<std::size_t>(TAG_COUNT));
    for (const auto& [name, code] : TAG_TABLE) {
        EXPECT_EQ(componentIdentifier::whichComponent(name.c_str()), code) << name;
        EXPECT_EQ(componentIdentifier::whichComponent(mixedCase(name, false).c_str()), code) << name;
        const std::string withAttributes = mixedCase(name, true) + " CLASS=\"x\"";
        EXPECT_EQ(componentIdentifier::whichComponent(withAttributes.c_str()), code) << withAttributes;
    }
}

TEST(ComponentIdentifierTest, UnknownOrMalformedNamesHaveNoCode) {
    for (const char* text : {"P", "H1", "SCRIPT", "BR/", "", "/", "TEXTAREAXXXXXXX", "TABLEX"})
        EXPECT_EQ(componentIdentifier::whichComponent(text), -1) << '"' << text << '"';
    EXPECT_EQ(componentIdentifier::whichComponent("BR /"), 104);
    EXPECT_EQ(componentIdentifier::whichComponent(nullptr), -1);
}

TEST(ComponentIdentifierTest, InputKindComesFromTheFirstTypeValue) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"INPUT", 0},
        {"INPUT TYPE=text", 0},
        {"INPUT TYPE=checkbox", 0},
        {"INPUT TYPE=\"radio\"", 1},
        {"input type=textbox", 2},
        {"INPUT TYPE=Submit VALUE=Go", 3},
        {"INPUT TYPE=reset", 4},
        {"input type=Password", 5},
        {"INPUT NAME=x TYPE", 0},
        {"INPUT TYPE=\"\" NAME=radio", 0},  // the empty value makes NAME the value
        {"INPUT TYPE=x TYPE=radio", 0},
        {"INPUT VALUE=TYPE TYPE=radio", 0},  // the first word TYPE wins, even as a value
    };
    for (const auto& [text, kind] : cases) EXPECT_EQ(componentIdentifier::whichInputType(text), kind) << text;
}

TEST(ComponentIdentifierTest, AlignmentOfACellComesFromTheFirstAlignValue) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"TD", 4},
        {"TD ALIGN=left", 5},
        {"TD ALIGN=\"right\"", 6},
        {"td align=Center", 7},
        {"TD align=Middle", 4},
        {"TD ALIGN", 4},
        {"TD VALIGN=top ALIGN=CENTER", 7},
    };
    for (const auto& [text, align] : cases)
        EXPECT_EQ(componentIdentifier::whichAlignType(text), align) << text;
}

}  // namespace
