#include "net/cache.h"

#include <curses.h>
#include <strings.h>

#include "common/bounded.h"
#include "common/check.h"

namespace {

constexpr int ENTRY_COUNT = 10;
constexpr int LAST_ENTRY = ENTRY_COUNT - 1;

constexpr const char* FILE_NAMES[ENTRY_COUNT] = {"0.html", "1.html", "2.html", "3.html", "4.html",
                                                 "5.html", "6.html", "7.html", "8.html", "9.html"};

void clearEntry(cache::Entry& e) {
    e.url[0] = '\0';
    e.digit = -1;
}

}  // namespace

const char* cacheFileName(int digit) {
    WEXA_CHECK(digit >= 0 && digit <= 9, "digit >= 0 && digit <= 9");
    return FILE_NAMES[digit];
}

cache::cache() : entries{} {
    for (Entry& e : entries) clearEntry(e);
    wexa::boundedCopy(entries[0].url, START_PAGE_URL);
    entries[0].digit = 0;
}

bool cache::hit(const char* url) const {
    return fetchFileName(url) >= 0;
}

int cache::fetchFileName(const char* url) const {
    if (url == nullptr) return -1;
    // Used entries are contiguous from entry 0: the first free one ends the
    // search (and an empty URL never matches a free entry).
    for (const Entry& e : entries) {
        if (e.digit == -1) return -1;
        if (strcasecmp(e.url, url) == 0) return e.digit;
    }
    return -1;
}

bool cache::search(int digit) const {
    for (const Entry& e : entries)
        if (e.digit == digit) return true;
    return false;
}

int cache::freeDigit() const {
    for (int d = 9; d >= 1; --d)
        if (!search(d)) return d;
    return -1;
}

void cache::dropOldest() {
    for (int i = 0; i < LAST_ENTRY; ++i) entries[i] = entries[i + 1];
    clearEntry(entries[LAST_ENTRY]);
    if (position > 0) --position;
}

void cache::update(const char* url) {
    if (url == nullptr) return;
    // A URL already in the table shares the file of its first entry.
    int digit = fetchFileName(url);

    if (position >= LAST_ENTRY) {
        dropOldest();
    } else if (entries[position + 1].digit != -1) {
        // A new page after going back drops the forward history.
        for (int i = position + 1; i < ENTRY_COUNT; ++i) clearEntry(entries[i]);
    }

    if (digit < 0) {
        digit = freeDigit();
        // Nine entries may hold all of 1 to 9; one entry fewer frees one.
        if (digit < 0) {
            dropOldest();
            digit = freeDigit();
        }
        WEXA_CHECK(digit >= 1, "digit >= 1");
    }
    WEXA_CHECK(position < LAST_ENTRY, "position < 9");
    ++position;
    wexa::boundedCopy(entries[position].url, url);
    entries[position].digit = digit;
}

const char* cache::showNextPage() {
    if (position >= LAST_ENTRY || entries[position + 1].digit == -1) return nullptr;
    ++position;
    return entries[position].url;
}

const char* cache::showPrevPage() {
    if (position <= 0) return nullptr;
    --position;
    return entries[position].url;
}

const char* cache::lURLRendered() const {
    return entries[position].url;
}

void cache::display() const {
    mvaddstr(3, 40, "****************");
    mvprintw(4, 40, "current page position is %d", position);
    for (int i = 0; i < ENTRY_COUNT; ++i) {
        // Cut so that a long URL neither hides the digit nor wraps.
        mvaddnstr(5 + i, 30, entries[i].url, 29);
        mvprintw(5 + i, 60, "%d", entries[i].digit);
        refresh();
        getch();
    }
}
