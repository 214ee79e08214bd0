#pragma once
// Classes of ASCII characters as HTML and URLs use them, the same in every
// locale (the C library's are the locale's, and cost a call each).

namespace wexaproxy {

// HTML's white space: blank, tab, line feed, carriage return, form feed.
inline bool isHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

inline bool isAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace wexaproxy
