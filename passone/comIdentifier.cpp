#include "passone/comIdentifier.h"

#include <strings.h>

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

}  // namespace

int componentIdentifier::whichComponent(const char* tagText) {
    StringTokenizer words(tagText, StringTokenizer::STANDARD_DELIMITERS);
    words.nextToken();  // the empty word in front
    const char* name = words.nextToken();
    if (name == nullptr) return TagCode::UNKNOWN;
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
