#pragma once
// Splits an HTML file into tokens: a tag (the text between '<' and '>',
// without them) or a run of text. White space is collapsed and the
// no-break-space entity becomes blanks; nothing else of HTML is understood
// (comments, other entities, quoting in tags): it passes on as text.

#include <fstream>

class Tokenizer : public std::ifstream {
public:
    static constexpr int TAG = 1;
    static constexpr int TEXT = 0;
    // A token holds at most this many characters plus the terminating NUL.
    static constexpr int MAX_TOKEN = 511;

    // Opens fileName for reading (binary). A file that cannot be opened or is
    // not a regular file (a directory, a pipe), or a null name, reads as empty
    // input; an input error ends the input where it happens.
    explicit Tokenizer(const char* fileName);
    // A tokenizer with no file: it has no tokens.
    Tokenizer();

    // The next token, or null at the end of the input; sets tokenType.
    // The returned buffer belongs to the tokenizer and stays valid until the
    // next call: callers copy the token before asking for another.
    char* getNextToken();

    // Rewrites a text token in place: "&nbsp" in any letter case becomes one
    // blank, and a semicolon right after it becomes a second blank; line feeds
    // and carriage returns are dropped. The result is never longer.
    void replaceNBSP(char* token);

    // Kind of the token returned last: TAG or TEXT.
    int tokenType = TEXT;

private:
    char* readToken();

    char token_[MAX_TOKEN + 1] = {};
};
