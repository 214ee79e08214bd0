#pragma once
// What the pieces of one page's walk share (walker.h): where content goes
// now, the counts that bound the page, the resolver of its links and the
// entries it adds to the token store.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "proxy/normalise/normaliser.h"
#include "proxy/normalise/pagewriter.h"
#include "proxy/normalise/resolve.h"
#include "proxy/normalise/tokens.h"

namespace wexaproxy {

struct WalkState {
    // contentLanguage: the language key (languageKey) of the page's
    // Content-Language, the language of text no lang attribute covers.
    WalkState(const NormaliserSettings& settings, TokenStore& store, std::string_view pageUrl,
              std::string contentLanguage)
        : settings(settings), store(store), resolver(pageUrl), languages{std::move(contentLanguage)} {}
    WalkState(const WalkState&) = delete;
    WalkState& operator=(const WalkState&) = delete;

    // The browser holds this many links and controls; later ones are text.
    bool capReached() const { return elements >= settings.maxElements; }

    const NormaliserSettings& settings;
    TokenStore& store;
    UrlResolver resolver;  // against the page's URL, or its BASE once met
    PageWriter page;
    PageWriter* out = &page;  // the page, or the table cell being written
    int elements = 0;         // links and controls written
    bool stopped = false;     // the page is full: nothing more is written
    // Stored links and form records, added to the store when the page is done.
    std::vector<TokenStore::Entry> entries;
    // The language of the text being written, for its transliteration: the
    // nearest lang attribute's, the page's Content-Language below them all.
    std::vector<std::string> languages;
    std::string_view language() const { return languages.back(); }
};

}  // namespace wexaproxy
