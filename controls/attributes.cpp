#include "controls/attributes.h"

#include <strings.h>

#include "common/bounded.h"

AttributeScan::AttributeScan(const char* tagText)
    : words(tagText != nullptr ? tagText : "", StringTokenizer::STANDARD_DELIMITERS) {}

bool AttributeScan::next() {
    current = words.nextToken();
    return current != nullptr;
}

bool AttributeScan::is(const char* keyword) const {
    return current != nullptr && strcasecmp(current, keyword) == 0;
}

const char* AttributeScan::value() {
    if (current == nullptr) return nullptr;
    current = words.nextToken();
    return current;
}

bool AttributeScan::copyValue(char* dst, std::size_t size) {
    const char* v = value();
    if (v == nullptr) return false;
    wexa::boundedCopy(dst, size, v);
    return true;
}
