#pragma once
// Pass one: turns the HTML file of the current page into the page stream
// pass1.tmp (see pagestream.h), and reports the page title and the page's
// active elements to the page builder (see pagebuilder.h).

#include <fstream>

// The title of the current page: at most 80 characters.
class PageProperties {
public:
    static constexpr int TITLE_SIZE = 81;

    // Stores title (null reads as empty). A title of up to 80 characters is
    // kept whole; a longer one becomes its first 77 characters and "...".
    void setTitle(const char* title);
    // The stored title; valid until the next setTitle.
    const char* getTitle() const { return title; }

private:
    char title[TITLE_SIZE] = {};
};

// Has no state: every run of passOne starts afresh.
class PassOne {
public:
    // Renders the HTML file at path into pass1.tmp in the working directory
    // (created or truncated, permission bits 0664), and gives the installed
    // page builder the page title (" Untitled" when the page has no usable
    // TITLE) and the page's links, form controls and forms, in the order in
    // which their delimited texts appear in the stream (the k-th PS_TAB pair
    // belongs to the k-th registered element). The builder's lists and the
    // table are filled, never emptied: emptying them before a page is the
    // caller's task. A file that cannot be read gives an empty stream; an
    // output file that cannot be written gives an empty or short one.
    // Reports nothing. A builder must be installed.
    void passOne(const char* path);

    // Writes every byte of the NUL-terminated text (null writes nothing),
    // without the NUL and without translation.
    static void writeString(const char* text, std::fstream& out);
};
