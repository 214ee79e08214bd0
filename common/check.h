#pragma once
// Internal invariants. A failed check names the condition, the source file
// and the function, runs the registered clean-up (the browser ends curses
// there, so the terminal is never left raw) and aborts.

#include <cstdio>
#include <cstdlib>

namespace wexa {

using FatalHook = void (*)();

// The hook that runs before the message is printed; null for none.
inline FatalHook& fatalHook() {
    static FatalHook hook = nullptr;
    return hook;
}

[[noreturn]] inline void checkFailed(const char* condition, const char* file, const char* function) {
    if (FatalHook hook = fatalHook()) {
        fatalHook() = nullptr;  // a failing hook must not recurse
        hook();
    }
    std::fprintf(stderr, "%s: %s: Assertion `%s' failed.\n", file, function, condition);
    std::fflush(stderr);
    std::abort();
}

}  // namespace wexa

// WEXA_CHECK(condition, "text"): the text is what the message names as the
// condition (for example "first != __null"), so messages stay stable.
#define WEXA_CHECK(cond, text) \
    ((cond) ? static_cast<void>(0) : ::wexa::checkFailed(text, __FILE__, __PRETTY_FUNCTION__))
