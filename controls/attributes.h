#pragma once
// Reads the attributes of one tag text, the way every control, the form and
// the link do: the text is split into words at blank, '=' and '"', and a word
// equal to a keyword (compared without regard to case) takes the word after
// it as its value. So a value is always a single word: NAME="two words"
// gives the value two. A keyword that is the last word has no value.
//
//     AttributeScan scan(tagText);
//     while (scan.next()) {
//         if (scan.is("NAME")) scan.copyValue(name);
//         else if (scan.is("CHECKED")) checked = true;
//     }

#include <cstddef>

#include "passone/stringTokenizer.h"

class AttributeScan {
public:
    // A null tag text has no words.
    explicit AttributeScan(const char* tagText);
    AttributeScan(const AttributeScan&) = delete;
    AttributeScan& operator=(const AttributeScan&) = delete;

    // Moves to the next word; false when the text is used up.
    bool next();
    // The current word; valid until the next call on this scan.
    const char* word() const { return current; }
    // True when the current word equals keyword, ignoring case.
    bool is(const char* keyword) const;
    // Moves on to the word after the current one, which becomes the current
    // word, and returns it; null (and the scan is at its end) when the
    // current word was the last.
    const char* value();
    // Takes the value as above and copies it into dst, cut to size - 1
    // characters. Without a value dst is left unchanged and the result is
    // false.
    bool copyValue(char* dst, std::size_t size);
    template <std::size_t N>
    bool copyValue(char (&dst)[N]) {
        return copyValue(dst, N);
    }

private:
    StringTokenizer words;
    const char* current = nullptr;
};
