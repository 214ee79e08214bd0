#pragma once
// The one-byte control codes of the page stream, the format in which a page
// travels from pass one (pass1.tmp) through the table pass (pass2.tmp) to
// pass three. Every other byte of a stream is text. The stream has no header,
// no escapes and no terminator: the end of the file is the end of the page.
//
// The table and structure codes double as the tag codes of their tags (see
// comIdentifier.h), so pass one writes such a tag by writing its code.

#include <cstddef>

// The stream files in the working directory: pass one writes PASS1_FILE, the
// table pass reads it and writes PASS2_FILE, which pass three reads. Each
// page overwrites the previous page's files.
inline constexpr const char* PASS1_FILE = "pass1.tmp";
inline constexpr const char* PASS2_FILE = "pass2.tmp";

// Tables: acted on by the table pass.
inline constexpr unsigned char PS_TABLE = 1;
inline constexpr unsigned char PS_TR = 2;
// A cell start is always followed by exactly one alignment byte (4 to 7),
// and those four bytes appear nowhere else.
inline constexpr unsigned char PS_TD = 3;
inline constexpr unsigned char PS_TD_NOALIGN = 4;
inline constexpr unsigned char PS_ALIGN_LEFT = 5;
inline constexpr unsigned char PS_ALIGN_RIGHT = 6;
inline constexpr unsigned char PS_ALIGN_CENTER = 7;
inline constexpr unsigned char PS_TD_END = 8;

// Opening and closing delimiter of every active element (link or control).
inline constexpr unsigned char PS_TAB = 9;
// Line break: BR, and around the rule of HR.
inline constexpr unsigned char PS_NL = 10;

inline constexpr unsigned char PS_TR_END = 11;
inline constexpr unsigned char PS_TABLE_END = 12;

// Lists, emphasis and centring: acted on by pass three.
inline constexpr unsigned char PS_OL = 16;
inline constexpr unsigned char PS_OL_END = 17;
inline constexpr unsigned char PS_UL = 18;
inline constexpr unsigned char PS_UL_END = 19;
inline constexpr unsigned char PS_LI = 20;
inline constexpr unsigned char PS_LI_END = 21;
inline constexpr unsigned char PS_BOLD = 22;
inline constexpr unsigned char PS_BOLD_END = 23;
inline constexpr unsigned char PS_UNDERLINE = 24;
inline constexpr unsigned char PS_UNDERLINE_END = 25;
inline constexpr unsigned char PS_CENTER = 26;
// Centring off is 28, not 27: bytes 13 to 15, 27 and 29 to 31 are no codes.
inline constexpr unsigned char PS_CENTER_END = 28;

// Removes every byte below 32 from the NUL-terminated text, in place. The
// stream cannot carry such a byte as text: a reader would take it for a
// control code.
inline void dropControlBytes(char* text) {
    std::size_t kept = 0;
    for (std::size_t i = 0; text[i] != '\0'; ++i)
        if (static_cast<unsigned char>(text[i]) >= 32) text[kept++] = text[i];
    text[kept] = '\0';
}
