#include "passone/comIdentifier.h"

#include <strings.h>

#include <cstring>

#include "passone/pagestream.h"
#include "passone/stringTokenizer.h"

// The two tables are parallel, row for row. Codes below 100 are the page
// stream codes of pagestream.h, the others those of TagCode.
// clang-format off
const char tags[TAG_COUNT][TAG_SLOT] = {
    "A",       "/A",       "B",        "/B",        "BODY",     "/BODY",     "BR",
    "CENTER",  "/CENTER",  "FORM",     "/FORM",     "HEAD",     "/HEAD",     "HTML",
    "/HTML",   "HR",       "IMG",      "/IMG",      "INPUT",    "/INPUT",    "LI",
    "/LI",     "OL",       "/OL",      "OPTION",    "/OPTION",  "SELECT",    "/SELECT",
    "TABLE",   "/TABLE",   "TD",       "/TD",       "TEXTAREA", "/TEXTAREA", "TITLE",
    "/TITLE",  "TR",       "/TR",      "U",         "/U",       "UL",        "/UL",
};

const int tagCodes[TAG_COUNT] = {
    100,       101,        22,         23,          102,        103,         104,
    26,        28,         105,        106,         107,        108,         109,
    110,       111,        114,        115,         112,        113,         20,
    21,        16,         17,         116,         117,        118,         119,
    1,         12,         3,          8,           126,        127,         124,
    125,       2,          11,         24,          25,         18,          19,
};
// clang-format on

const char inputTypes[INPUT_TYPE_COUNT][9] = {"CHECKBOX", "RADIO", "TEXTBOX", "SUBMIT", "RESET", "PASSWORD"};

namespace {

// The word that follows the first word equal to keyword, or null when there
// is no such word or nothing follows it. The result lives in tokenizer.
const char* valueOf(StringTokenizer& tokenizer, const char* keyword) {
    for (const char* word = tokenizer.nextToken(); word != nullptr; word = tokenizer.nextToken())
        if (strcasecmp(word, keyword) == 0) return tokenizer.nextToken();
    return nullptr;
}

bool isStandardDelimiter(char c) {
    return c == ' ' || c == '=' || c == '"';
}

// The tag name: the word that a StringTokenizer with the standard delimiters
// gives after its empty first word, found in place. Building a tokenizer
// for it (copying and clearing some 800 bytes per tag) was the largest cost
// of classifying the tags of a page. The rules are the tokenizer's: at most
// 510 characters of the text count; the name starts after the run of
// delimiters in front; a name that a delimiter ends is cut to 255 characters
// and loses its tabs, one that the text's end ends is kept as it stands.
// Copies the name into `name` and returns true, or returns false when there
// is no name or it is longer than any entry of the table (so that it can
// match none).
bool tagName(const char* tagText, char (&name)[TAG_SLOT]) {
    constexpr std::size_t TEXT_LIMIT = 510;  // characters a StringTokenizer holds
    constexpr std::size_t WORD_LIMIT = 255;  // characters of its word buffer
    const char* text = tagText != nullptr ? tagText : "";
    const std::size_t length = strnlen(text, TEXT_LIMIT);
    std::size_t start = 0;
    while (start < length && isStandardDelimiter(text[start])) ++start;
    if (start == length) return false;
    std::size_t end = start;
    while (end < length && !isStandardDelimiter(text[end])) ++end;
    const bool endedByDelimiter = end < length;
    if (endedByDelimiter && end - start > WORD_LIMIT) end = start + WORD_LIMIT;
    std::size_t kept = 0;
    for (std::size_t i = start; i < end; ++i) {
        if (endedByDelimiter && text[i] == '\t') continue;
        if (kept == TAG_SLOT - 1) return false;
        name[kept++] = text[i];
    }
    name[kept] = '\0';
    return true;
}

}  // namespace

int componentIdentifier::whichComponent(const char* tagText) {
    char name[TAG_SLOT];
    if (!tagName(tagText, name)) return TagCode::UNKNOWN;
    // The table is in upper case; comparing the first letter first spares
    // most of the full comparisons on every tag of a page.
    const char first = (name[0] >= 'a' && name[0] <= 'z') ? static_cast<char>(name[0] - 'a' + 'A') : name[0];
    for (int i = 0; i < TAG_COUNT; ++i)
        if (tags[i][0] == first && strcasecmp(name, tags[i]) == 0) return tagCodes[i];
    return TagCode::UNKNOWN;
}

int componentIdentifier::whichInputType(const char* tagText) {
    StringTokenizer words(tagText, StringTokenizer::STANDARD_DELIMITERS);
    const char* type = valueOf(words, "TYPE");
    if (type == nullptr) return InputKind::CHECKBOX;
    for (int i = 0; i < INPUT_TYPE_COUNT; ++i)
        if (strcasecmp(type, inputTypes[i]) == 0) return i;
    return InputKind::CHECKBOX;
}

int componentIdentifier::whichAlignType(const char* tagText) {
    StringTokenizer words(tagText, StringTokenizer::STANDARD_DELIMITERS);
    const char* align = valueOf(words, "ALIGN");
    if (align != nullptr) {
        if (strcasecmp(align, "LEFT") == 0) return PS_ALIGN_LEFT;
        if (strcasecmp(align, "RIGHT") == 0) return PS_ALIGN_RIGHT;
        if (strcasecmp(align, "CENTER") == 0) return PS_ALIGN_CENTER;
    }
    return PS_TD_NOALIGN;
}
