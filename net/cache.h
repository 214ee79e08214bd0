#pragma once
// The history of the session and the index of the page files in ./cache/:
// ten entries, oldest first, each pairing a URL with the digit of its file
// ./cache/<digit>.html. Entry 0 starts as the start page "wexa.html", digit 0.

// The page cache's directory, relative to the working directory, and the
// names in it: the page files by digit ("<digit>.html"), the file a reply
// that is not to be kept is read into, and the start page's URL, whose file
// has digit 0.
inline constexpr const char* CACHE_DIRECTORY = "./cache/";
inline constexpr const char* REPLY_FILE_NAME = "t.html";
inline constexpr const char* START_PAGE_URL = "wexa.html";

// The file name of a cache digit (0 to 9): a constant text.
const char* cacheFileName(int digit);

class cache {
public:
    cache();
    // URLs are compared without regard to letter case.
    bool hit(const char* url) const;
    int fetchFileName(const char* url) const;
    void update(const char* url);
    // Move the position and return that entry's URL, or null at the ends.
    const char* showNextPage();
    const char* showPrevPage();
    const char* lURLRendered() const;
    bool search(int digit) const;
    void display() const;  // diagnostic dump on the screen

    int getPosition() const { return position; }

    struct Entry {
        char url[200];  // as long as the current URL may be
        int digit;      // -1: free entry
    };
    const Entry& entry(int i) const { return entries[i < 0 ? 0 : (i > 9 ? 9 : i)]; }

private:
    // The highest digit from 1 to 9 that no entry uses, or -1. Digit 0 is
    // never handed out: its file is the start page.
    int freeDigit() const;
    // Drops entry 0: the others move down by one, the last becomes free.
    void dropOldest();

    int position = 0;
    Entry entries[10];
};
