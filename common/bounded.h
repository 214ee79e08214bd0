#pragma once
// Bounded copies into the fixed-size text buffers of the data model.
// Every copy into a fixed buffer goes through here: the text is cut so that
// at most size - 1 characters are kept and the result is always terminated.

#include <cstddef>
#include <cstring>

namespace wexa {

// Copies at most size - 1 characters of src (NUL-terminated, may be null)
// into dst and terminates it. Returns the number of characters copied.
inline std::size_t boundedCopy(char* dst, std::size_t size, const char* src) {
    if (dst == nullptr || size == 0) return 0;
    std::size_t n = 0;
    if (src != nullptr) {
        while (n + 1 < size && src[n] != '\0') ++n;
        std::memcpy(dst, src, n);
    }
    dst[n] = '\0';
    return n;
}

// Same for a buffer whose size the compiler knows.
template <std::size_t N>
inline std::size_t boundedCopy(char (&dst)[N], const char* src) {
    return boundedCopy(dst, N, src);
}

// Appends src to the terminated text in dst without exceeding size - 1
// characters in all. Returns the new length.
inline std::size_t boundedAppend(char* dst, std::size_t size, const char* src) {
    if (dst == nullptr || size == 0) return 0;
    std::size_t used = strnlen(dst, size - 1);
    return used + boundedCopy(dst + used, size - used, src);
}

template <std::size_t N>
inline std::size_t boundedAppend(char (&dst)[N], const char* src) {
    return boundedAppend(dst, N, src);
}

}  // namespace wexa
