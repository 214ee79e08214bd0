#pragma once
// What the pieces of one page's walk share (walker.h): where content goes
// now, the counts and the budget that bound the page, the resolver of its
// links and the entries (long link targets, form records) whose tokens go
// into its slots (pagetokens.h).

#include <time.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "proxy/normalise/normaliser.h"
#include "proxy/normalise/pagetokens.h"
#include "proxy/normalise/pagewriter.h"
#include "proxy/normalise/resolve.h"
#include "proxy/normalise/tokens.h"

namespace wexaproxy {

// Processor time the calling thread has used, in milliseconds.
inline std::int64_t threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Why the walk stopped before the end of the page; each has its note.
enum class WalkStop {
    None,
    Lines,   // the browser's page is full
    Time,    // the page's processor time is used up
    Memory,  // what the walk built passed the page's memory budget
    Forms,   // more forms or form fields than a page may have
};

// The monotonic wall clock, in milliseconds.
inline std::int64_t wallMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

struct WalkState {
    // contentLanguage: the language key (languageKey) of the page's
    // Content-Language, the language of text no lang attribute covers;
    // cpuStartMs: the thread's processor time when the page was taken up.
    WalkState(const NormaliserSettings& settings, std::string_view pageUrl, std::string contentLanguage,
              std::int64_t cpuStartMs)
        : settings(settings),
          resolver(pageUrl),
          cpuStartMs(cpuStartMs),
          languages{std::move(contentLanguage)} {
        cpuSeenMs_ = threadCpuMs();
        wallSeenMs_ = wallMs();
    }
    WalkState(const WalkState&) = delete;
    WalkState& operator=(const WalkState&) = delete;

    // The browser holds this many links and controls; later ones are text.
    bool capReached() const { return elements >= settings.maxElements; }

    // Ends the walk here (the first reason given is the one noted).
    void stop(WalkStop why) {
        if (!stopped) reason = why;
        stopped = true;
    }

    // Stops the walk when the page has used up its processor time or its
    // memory: the bytes written so far and what the builders hold (table
    // grids, form records, stored links).
    void checkBudget() {
        if (stopped) return;
        std::size_t bytes = page.size() + built;
        if (out != &page) bytes += out->size();
        if (bytes > settings.maxBuiltBytes) {
            stop(WalkStop::Memory);
        } else if (cpuBudgetSpent()) {
            stop(WalkStop::Time);
        }
    }

    // Whether the page has used up its processor time. Reading the thread's
    // processor time takes a system call, reading the wall clock does not;
    // and a thread's processor time grows no faster than the wall clock. So
    // the processor time is read again only once the wall clock has moved on
    // by what was left of the budget at the last reading (2 ms allowed for
    // the clocks' rounding to milliseconds).
    bool cpuBudgetSpent() {
        const std::int64_t wall = wallMs();
        if (cpuSeenMs_ + (wall - wallSeenMs_) + 2 - cpuStartMs <= settings.maxCpuMs) return false;
        cpuSeenMs_ = threadCpuMs();
        wallSeenMs_ = wall;
        return cpuSeenMs_ - cpuStartMs > settings.maxCpuMs;
    }

    // The slot of the next entry: its number, and the mark written where
    // its token goes.
    std::uint64_t newSlot() { return slots++; }

    const NormaliserSettings& settings;
    UrlResolver resolver;           // against the page's URL, or its BASE once met
    const std::int64_t cpuStartMs;  // the thread's processor time when the page was taken up
    PageWriter page;
    PageWriter* out = &page;  // the page, or the table cell being written
    int elements = 0;         // links and controls written
    bool stopped = false;     // nothing more is written
    WalkStop reason = WalkStop::None;
    std::size_t built = 0;  // bytes the builders hold besides the page
    // Stored links and form records, each with its slot number as its id:
    // their tokens are issued to a client when the page is sent.
    std::vector<TokenStore::Entry> entries;
    std::uint64_t slots = 0;  // slots handed out
    // The language of the text being written, for its transliteration: the
    // nearest lang attribute's, the page's Content-Language below them all.
    std::vector<std::string> languages;
    std::string_view language() const { return languages.back(); }

private:
    std::int64_t cpuSeenMs_ = 0;   // the thread's processor time when last read
    std::int64_t wallSeenMs_ = 0;  // the wall clock then
};

}  // namespace wexaproxy
