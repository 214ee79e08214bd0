#include "passone/tokenizer.h"

#include <sys/stat.h>

#include <cstring>
#include <string>

namespace {

constexpr int END = std::char_traits<char>::eof();

bool isAsciiLetter(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Only an ampersand or a line break gives the no-break-space step anything
// to do, and a text token can hold a line break only in its first two bytes
// (the first byte, or the byte after a '<' that starts no tag).
bool needsReplaceNBSP(const char* token, int len) {
    for (int i = 0; i < len && i < 2; ++i)
        if (token[i] == '\n' || token[i] == '\r') return true;
    return std::memchr(token, '&', static_cast<std::size_t>(len)) != nullptr;
}

}  // namespace

Tokenizer::Tokenizer(const char* fileName) {
    // Only a regular file is read: reading a directory fails (the stream
    // buffer reports that by throwing), and a pipe could block forever.
    struct stat st {};
    if (fileName != nullptr && ::stat(fileName, &st) == 0 && S_ISREG(st.st_mode))
        open(fileName, std::ios::in | std::ios::binary);
}

Tokenizer::Tokenizer() = default;

char* Tokenizer::getNextToken() {
    if (bad()) return nullptr;
    try {
        return readToken();
    } catch (const std::ios_base::failure&) {
        // The file could not be read any further (an input error): the
        // input ends here, as if the file ended.
        setstate(std::ios::badbit);
        return nullptr;
    }
}

char* Tokenizer::readToken() {
    // Bytes are taken straight from the stream buffer: its fast path is an
    // inline pointer bump, which keeps pass one linear and cheap per byte.
    std::filebuf* in = rdbuf();

    int c = in->sbumpc();
    while (c == ' ' || c == '\t') c = in->sbumpc();
    if (c == END) return nullptr;

    int len = 0;
    // Byte that ends the token: '>' (consumed) for a tag, '<' (pushed back so
    // that it starts the next token) for text.
    int closing = '<';
    // A NUL byte cannot live inside a NUL-terminated token without cutting
    // off what follows it, so it is never stored.
    auto store = [&](int ch) {
        if (ch != '\0') token_[len++] = static_cast<char>(ch);
    };

    if (c == '<') {
        int d = in->sbumpc();
        if (isAsciiLetter(d) || d == '/') {
            tokenType = TAG;
            closing = '>';
            store(d);
        } else {
            tokenType = TEXT;
            if (d != END) {
                store('<');
                store(d);
            }
        }
    } else {
        // Text; its first byte may be a line break, which replaceNBSP drops.
        tokenType = TEXT;
        store(c);
    }

    const bool inTag = tokenType == TAG;
    // Set by a blank or tab, cleared by any other byte: a run of white space
    // keeps at most its first blank.
    bool lastWasSpace = false;
    while (len < MAX_TOKEN) {
        int ch = in->sbumpc();
        // Fast path for the common byte: neither white space, a control byte,
        // the closing byte nor the end of input.
        if (ch > ' ' && ch != closing) {
            token_[len++] = static_cast<char>(ch);
            lastWasSpace = false;
            continue;
        }
        if (ch == END) break;
        if (ch == '\0') continue;
        if (inTag && (ch == '\n' || ch == '\r')) ch = ' ';
        const bool space = ch == ' ' || ch == '\t';
        if (space && lastWasSpace) continue;
        lastWasSpace = space;
        if (ch == closing) {
            if (!inTag) in->sungetc();
            break;
        }
        // A tab only marks white space; line breaks in text vanish without
        // leaving a blank, so words on consecutive lines run together.
        if (ch == '\t' || ch == '\n' || ch == '\r') continue;
        token_[len++] = static_cast<char>(ch);
    }
    token_[len] = '\0';

    if (!inTag && needsReplaceNBSP(token_, len)) replaceNBSP(token_);
    return token_;
}

void Tokenizer::replaceNBSP(char* token) {
    if (token == nullptr) return;
    // Rewritten in place: every step writes at most as many bytes as it
    // reads, so the write position never passes the read position. The
    // comparisons stop at the terminating NUL, so no byte past it is read.
    // Only ampersands and line breaks need a step of their own; the runs of
    // bytes between them are moved in one piece. Almost every text token
    // comes here for the line feed that begins it (the line break after a
    // tag), and moving its bytes one by one cost more than reading them.
    static constexpr const char* SPECIAL = "&\n\r";
    std::size_t from = std::strcspn(token, SPECIAL);
    std::size_t to = from;
    while (token[from] != '\0') {
        const char ch = token[from];
        if (ch == '\n' || ch == '\r') {
            ++from;
        } else if (ch == '&' && lowerAscii(token[from + 1]) == 'n' && lowerAscii(token[from + 2]) == 'b' &&
                   lowerAscii(token[from + 3]) == 's' && lowerAscii(token[from + 4]) == 'p') {
            token[to++] = ' ';
            from += 5;
            // The entity's semicolon becomes a blank that is then copied like
            // any other byte, so "&nbsp;" gives two blanks.
            if (token[from] == ';') token[from] = ' ';
        } else {
            token[to++] = ch;
            ++from;
        }
        const std::size_t run = std::strcspn(token + from, SPECIAL);
        std::memmove(token + to, token + from, run);
        to += run;
        from += run;
    }
    token[to] = '\0';
}
