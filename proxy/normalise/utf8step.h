#pragma once
// Walking UTF-8 one code point at a time with ICU's checked decoder, shared
// by the charset conversion and the transliteration.

#include <unicode/utf8.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace wexaproxy {

// The code point at text[at] (negative for an ill-formed sequence) and the
// bytes it takes (for an ill-formed one, its longest well-formed prefix or 1).
struct Step {
    UChar32 c;
    std::size_t length;
};

inline Step nextCodePoint(std::string_view text, std::size_t at) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data() + at);
    const auto available = static_cast<int32_t>(std::min<std::size_t>(text.size() - at, U8_MAX_LENGTH));
    int32_t i = 0;
    UChar32 c = 0;
    U8_NEXT(bytes, i, available, c);
    return {c, static_cast<std::size_t>(i)};
}

}  // namespace wexaproxy
