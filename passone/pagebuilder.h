#pragma once
// What pass one reports besides the page stream: the page's title and its
// active elements. Pass one reads the tags, decides what each one is and
// writes the stream; the builder makes the elements (links, form controls,
// forms), keeps them for the page and registers them in the active element
// table. The shell installs the builder once at start-up (the controls'
// page lists implement it); pass one itself keeps no state between pages.

#include <string>

class PageBuilder {
public:
    // An element's text for the page stream, and whether the element was
    // registered in the active element table: only then is its text written
    // between delimiters (a full list or table leaves it plain text).
    struct Element {
        std::string text;
        bool registered = false;
    };

    virtual ~PageBuilder() = default;

    // A new page begins: no form and no drop-down list is open.
    virtual void beginPage() = 0;
    virtual void setTitle(const char* title) = 0;

    // The text that an IMG tag stands for (its ALT word, or "IMAGE").
    virtual std::string imageText(const char* imgTag) = 0;
    // A link of the A tag with this text (control bytes already removed); a
    // link without text shows its target, or "LINK" without one.
    virtual Element addLink(const char* aTag, const char* text) = 0;
    // An INPUT of the given input kind (see comIdentifier.h).
    virtual Element addInput(int inputKind, const char* inputTag) = 0;

    // FORM and /FORM. A FORM inside an open form starts nothing: its
    // controls join the open one. After /FORM the form stays the one that
    // buttons are given, while later fields join no form.
    virtual void openForm(const char* formTag) = 0;
    virtual void closeForm() = 0;

    // SELECT opens a drop-down list; true when it was registered, so that
    // its opening delimiter is to be written now. OPTION adds an option with
    // its text; closing the list gives its text (never empty) and whether a
    // closing delimiter is due.
    virtual bool openList(const char* selectTag) = 0;
    virtual void addOption(const char* optionTag, const char* text) = 0;
    virtual Element closeList() = 0;
};

// The builder that pass one reports to; null until the shell installs one.
void installPageBuilder(PageBuilder* builder);
PageBuilder* installedPageBuilder();
