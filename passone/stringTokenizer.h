#pragma once
// Splits one string, usually the text of a tag, into words at a set of
// delimiter characters. Every reader of tag attributes uses it with the
// delimiters blank, '=' and '"' (STANDARD_DELIMITERS), so NAME="agree"
// reads as the two words NAME and agree.

class StringTokenizer {
public:
    static constexpr const char* STANDARD_DELIMITERS = " =\"";

    // Stores the first delimiter character followed by text (cut to 510
    // characters; a null text is empty) and the delimiters (cut to 11).
    // Because the stored text starts with a delimiter, the first word is
    // always the empty word.
    StringTokenizer(const char* text, const char* delimiters);
    // An empty tokenizer: it has no words.
    StringTokenizer();

    // The next word, or null when the string is used up. A run of several
    // delimiters separates two words and yields no empty word. A word
    // followed by a delimiter is copied (without tabs, cut to 255 characters)
    // into a buffer of the tokenizer; the last word is returned in place.
    // Either way it stays valid until the next call on this tokenizer.
    const char* nextToken();

    // True if c is one of the delimiter characters (the NUL byte never is).
    bool isDelimiter(char c) const;

private:
    char text[512] = {};
    char delimiters[12] = {};
    int position = 0;
    char word[256] = {};
};
