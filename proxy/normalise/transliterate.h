#pragma once
// From UTF-8 to the 7-bit ASCII the browser shows: typographic characters
// written with ASCII ones, every script ICU can romanise spelt with Latin
// letters, by the rules of the text's language where it has its own.

#include <cstddef>
#include <string>
#include <string_view>

namespace wexaproxy {

// The language key that picks the romanisation of a text: the primary
// subtag of a language tag in lower case ("de-AT" and "DE" give "de"; the
// first of a Content-Language list counts: "da, en" gives "da"). Empty for
// an empty or malformed tag.
std::string languageKey(std::string_view tag);

// Appends utf8 to out as printable ASCII. Typographic quotes, dashes, the
// ellipsis, currency and the like are written with ASCII characters; the
// no-break space as a blank; invisible characters (zero-width spaces, soft
// hyphens, direction marks) are left out. Letters of every script ICU can
// romanise are spelt with Latin letters and their accents dropped, by the
// rules of language (a tag or key as languageKey takes, e.g. the nearest
// lang attribute) where it has its own, as German has for umlauts and ß.
// A run of characters without a readable form is written as one "?". Tab,
// line feed, carriage return and form feed are kept (they are white space
// to the caller); every other control character is dropped. Invalid UTF-8
// bytes are skipped. ASCII text is copied without calling ICU.
void appendAscii(std::string& out, std::string_view utf8, std::string_view language = {});

// While one lives, the thread's transliteration reads at most hanCharacters
// Chinese characters (Han, as Chinese and Japanese write): ICU takes about
// 20 microseconds for each, so a page of a million would take twenty
// seconds. Words beyond the budget are written as "?". Meant to live as
// long as the normalising of one page; budgets nest. While the outermost
// one lives, what ICU makes of each short word is also kept, for the word's
// next occurrence in the page.
class TransliterationBudget {
public:
    static constexpr std::size_t DEFAULT_HAN_CHARACTERS = 30000;  // under a second
    explicit TransliterationBudget(std::size_t hanCharacters = DEFAULT_HAN_CHARACTERS);
    ~TransliterationBudget();
    TransliterationBudget(const TransliterationBudget&) = delete;
    TransliterationBudget& operator=(const TransliterationBudget&) = delete;

private:
    std::size_t previous_;
    bool outermost_;
};

inline std::string toAscii(std::string_view utf8, std::string_view language = {}) {
    std::string out;
    out.reserve(utf8.size());
    appendAscii(out, utf8, language);
    return out;
}

}  // namespace wexaproxy
