#include "passone/stringTokenizer.h"

#include <algorithm>

#include "common/bounded.h"

StringTokenizer::StringTokenizer(const char* text, const char* delimiters) {
    wexa::boundedCopy(this->delimiters, delimiters);
    // The leading delimiter makes the first word empty; with no delimiters at
    // all there is nothing to put in front.
    this->text[0] = this->delimiters[0];
    const std::size_t offset = this->delimiters[0] != '\0' ? 1 : 0;
    wexa::boundedCopy(this->text + offset, sizeof this->text - offset, text);
}

StringTokenizer::StringTokenizer() = default;

bool StringTokenizer::isDelimiter(char c) const {
    if (c == '\0') return false;
    for (const char* d = delimiters; *d != '\0'; ++d)
        if (*d == c) return true;
    return false;
}

const char* StringTokenizer::nextToken() {
    if (text[position] == '\0') return nullptr;

    int end = position;
    while (text[end] != '\0' && !isDelimiter(text[end])) ++end;

    if (text[end] == '\0') {
        const int start = position;
        position = end;
        return text + start;
    }

    // The slice holds no NUL, so the bounded copy takes exactly its
    // characters, cut to what the word buffer holds; tabs are then removed.
    const std::size_t slice = static_cast<std::size_t>(end - position);
    wexa::boundedCopy(word, std::min(sizeof word, slice + 1), text + position);
    std::size_t kept = 0;
    for (std::size_t i = 0; word[i] != '\0'; ++i)
        if (word[i] != '\t') word[kept++] = word[i];
    word[kept] = '\0';

    while (isDelimiter(text[end])) ++end;
    position = end;
    return word;
}
