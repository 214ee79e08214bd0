#pragma once
// Classification of tags: a tag's name to its tag code, the TYPE of an INPUT
// tag to an input kind, and the ALIGN of a TD tag to a page stream alignment
// code. Names and keywords are compared without regard to letter case.

inline constexpr int TAG_COUNT = 42;
inline constexpr int TAG_SLOT = 15;  // a name has at most 14 characters
inline constexpr int INPUT_TYPE_COUNT = 6;

// Tag names (an end tag is its own entry, starting with '/') in fixed slots
// padded with NUL bytes, and the parallel table of their codes. Codes below
// 100 are page stream codes (pagestream.h); codes of 100 and above select an
// action of pass one (TagCode below).
extern const char tags[TAG_COUNT][TAG_SLOT];
extern const int tagCodes[TAG_COUNT];
// TYPE words of INPUT; the index is the input kind.
extern const char inputTypes[INPUT_TYPE_COUNT][9];

// Codes of the tags that select an action of pass one rather than being
// written to the page stream. 120 to 123 are unused.
namespace TagCode {
inline constexpr int UNKNOWN = -1;
inline constexpr int A = 100;
inline constexpr int A_END = 101;
inline constexpr int BODY = 102;
inline constexpr int BODY_END = 103;
inline constexpr int BR = 104;
inline constexpr int FORM = 105;
inline constexpr int FORM_END = 106;
inline constexpr int HEAD = 107;
inline constexpr int HEAD_END = 108;
inline constexpr int HTML = 109;
inline constexpr int HTML_END = 110;
inline constexpr int HR = 111;
inline constexpr int INPUT = 112;
inline constexpr int INPUT_END = 113;
inline constexpr int IMG = 114;
inline constexpr int IMG_END = 115;
inline constexpr int OPTION = 116;
inline constexpr int OPTION_END = 117;
inline constexpr int SELECT = 118;
inline constexpr int SELECT_END = 119;
inline constexpr int TITLE = 124;
inline constexpr int TITLE_END = 125;
inline constexpr int TEXTAREA = 126;
inline constexpr int TEXTAREA_END = 127;
}  // namespace TagCode

// Input kinds returned by whichInputType (the index into inputTypes).
namespace InputKind {
inline constexpr int CHECKBOX = 0;
inline constexpr int RADIO = 1;
inline constexpr int TEXTBOX = 2;
inline constexpr int SUBMIT = 3;
inline constexpr int RESET = 4;
inline constexpr int PASSWORD = 5;
}  // namespace InputKind

class componentIdentifier {
public:
    componentIdentifier() = delete;

    // The tag code of a tag token (its name is the first word), or -1 for a
    // missing or unknown name. The name must match a table entry whole.
    static int whichComponent(const char* tagText);
    // The input kind 0 to 5 of the first TYPE attribute's value; 0
    // (checkbox) when TYPE is missing, has no value, or is none of the six
    // words (TEXT is not TEXTBOX).
    static int whichInputType(const char* tagText);
    // PS_ALIGN_LEFT, PS_ALIGN_RIGHT or PS_ALIGN_CENTER for the first ALIGN
    // attribute's value LEFT, RIGHT or CENTER; PS_TD_NOALIGN otherwise.
    static int whichAlignType(const char* tagText);
};
