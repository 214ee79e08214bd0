#include "proxy/normalise/transliterate.h"

#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "proxy/normalise/ascii.h"
#include "proxy/normalise/utf8step.h"

namespace wexaproxy {

// --- Transliteration ---------------------------------------------------------------

namespace {

struct Replacement {
    char32_t c;
    const char* ascii;
};

// Typographic characters and symbols, written the way readers of plain
// ASCII text expect. ICU's Latin-ASCII leaves several of these alone (the
// euro sign, the superscripts, the trademark sign, arrows) or writes others
// differently (guillemets); and a word holding only these needs no ICU call.
// Sorted by code point.
const Replacement REPLACEMENTS[] = {
    {0x00A0, " "},    {0x00A1, "!"},  {0x00A2, "c"},   {0x00A3, "GBP"},  {0x00A4, ""},     {0x00A5, "JPY"},
    {0x00A6, "|"},    {0x00A7, "S"},  {0x00A8, ""},    {0x00A9, "(C)"},  {0x00AA, "a"},    {0x00AB, "\""},
    {0x00AC, "!"},    {0x00AD, ""},   {0x00AE, "(R)"}, {0x00AF, "-"},    {0x00B0, "deg"},  {0x00B1, "+/-"},
    {0x00B2, "^2"},   {0x00B3, "^3"}, {0x00B4, "'"},   {0x00B5, "u"},    {0x00B6, ""},     {0x00B7, "-"},
    {0x00B8, ","},    {0x00B9, "^1"}, {0x00BA, "o"},   {0x00BB, "\""},   {0x00BC, " 1/4"}, {0x00BD, " 1/2"},
    {0x00BE, " 3/4"}, {0x00BF, "?"},  {0x00D7, "x"},   {0x00F7, "/"},    {0x0192, "f"},    {0x02B9, "'"},
    {0x02BB, "'"},    {0x02BC, "'"},  {0x02BE, "'"},   {0x02BF, "'"},    {0x02C6, "^"},    {0x02DC, "~"},
    {0x2016, "||"},   {0x2017, "_"},  {0x2018, "'"},   {0x2019, "'"},    {0x201A, "'"},    {0x201B, "'"},
    {0x201C, "\""},   {0x201D, "\""}, {0x201E, "\""},  {0x201F, "\""},   {0x2020, "+"},    {0x2021, "+"},
    {0x2022, "*"},    {0x2023, "*"},  {0x2024, "."},   {0x2025, ".."},   {0x2026, "..."},  {0x2027, "-"},
    {0x2028, " "},    {0x2029, " "},  {0x202F, " "},   {0x2030, "%o"},   {0x2032, "'"},    {0x2033, "\""},
    {0x2039, "'"},    {0x203A, "'"},  {0x203C, "!!"},  {0x2043, "*"},    {0x2044, "/"},    {0x205F, " "},
    {0x20AC, "EUR"},  {0x20B9, "Rs"}, {0x2116, "No."}, {0x2122, "(TM)"}, {0x2190, "<-"},   {0x2191, "^"},
    {0x2192, "->"},   {0x2193, "v"},  {0x2194, "<->"}, {0x21D0, "<="},   {0x21D2, "=>"},   {0x2212, "-"},
    {0x2215, "/"},    {0x2217, "*"},  {0x2219, "*"},   {0x221E, "inf"},  {0x2248, "~"},    {0x2260, "!="},
    {0x2264, "<="},   {0x2265, ">="}, {0x25B2, "^"},   {0x25B6, ">"},    {0x25BA, ">"},    {0x25BC, "v"},
    {0x25C0, "<"},    {0x25C4, "<"},  {0x2605, "*"},   {0x2606, "*"},    {0x2713, "v"},    {0x2714, "v"},
    {0x2715, "x"},    {0x2716, "x"},  {0x2717, "x"},   {0x2718, "x"},    {0x3000, " "},    {0xFEFF, ""},
};

// The ASCII form of a typographic character or an invisible one; null for
// every other character.
const char* replacement(UChar32 c) {
    if (c >= 0x80 && c < 0xA0) return "";        // C1 control characters
    if (c >= 0x2000 && c <= 0x200A) return " ";  // spaces of every width
    if (c >= 0x200B && c <= 0x200F) return "";   // zero-width characters, direction marks
    if (c >= 0x2010 && c <= 0x2015) return "-";  // hyphens and dashes
    if (c >= 0x202A && c <= 0x202E) return "";   // direction embeddings
    if (c >= 0x2060 && c <= 0x206F) return "";   // word joiner and other invisible operators
    if (c >= 0xFE00 && c <= 0xFE0F) return "";   // variation selectors
    const auto* end = std::end(REPLACEMENTS);
    const auto* found = std::lower_bound(std::begin(REPLACEMENTS), end, static_cast<char32_t>(c),
                                         [](const Replacement& r, char32_t key) { return r.c < key; });
    return found != end && found->c == static_cast<char32_t>(c) ? found->ascii : nullptr;
}

// Characters no transform spells (emoji, private use, unassigned planes):
// no need to ask ICU.
bool beyondTransforms(UChar32 c) {
    return (c >= 0xE000 && c <= 0xF8FF) || c >= 0x1F000 || c == 0xFFFD;
}

// Latin letters (accented, fullwidth) and combining accents: Latin-ASCII
// alone spells them, which costs far less than Any-Latin.
bool latinOnly(UChar32 c) {
    return (c >= 0x00C0 && c <= 0x036F) || (c >= 0x1E00 && c <= 0x1EFF) || (c >= 0x2C60 && c <= 0x2C7F) ||
           (c >= 0xA720 && c <= 0xA7FF) || (c >= 0xFF01 && c <= 0xFF5E);
}

// Nordic letters as their own orthographies write them without the letter
// (and as travel documents do): ICU has no transform for these languages.
constexpr const char* NORDIC_RULES =
    "Å } [:Lowercase:] → Aa; Å → AA; å → aa;"
    "Æ } [:Lowercase:] → Ae; Æ → AE; æ → ae;"
    "Ø } [:Lowercase:] → Oe; Ø → OE; ø → oe;"
    "Ä } [:Lowercase:] → Ae; Ä → AE; ä → ae;"
    "Ö } [:Lowercase:] → Oe; Ö → OE; ö → oe;";

struct LanguageRules {
    const char* language;
    const char* rules;  // ICU transform rules, run before the general ones
};

// Languages whose romanisation differs from what the general rules give
// their script. The general rules already read Greek as modern Greek,
// Cyrillic as Russian and kana as Japanese.
const LanguageRules LANGUAGE_RULES[] = {
    {"de", "::de-ASCII;"},
    {"da", NORDIC_RULES},
    {"fi", NORDIC_RULES},
    {"nb", NORDIC_RULES},
    {"nn", NORDIC_RULES},
    {"no", NORDIC_RULES},
    {"sv", NORDIC_RULES},
    {"uk", "::Ukrainian-Latin/BGN;"},
    {"be", "::Belarusian-Latin/BGN;"},
    {"bg", "::Bulgarian-Latin/BGN;"},
    {"mk", "::Macedonian-Latin/BGN;"},
};

// Every other script: ICU's transforms by script, then accents dropped.
constexpr const char* GENERAL_RULES =
    "::Greek-Latin/UNGEGN; ::Russian-Latin/BGN; ::ja_Hrkt-ja_Latn/BGN; ::Any-Latin; ::Latin-ASCII;";
constexpr const char* LATIN_RULES = "::Latin-ASCII;";

const LanguageRules* rulesFor(std::string_view key) {
    for (const LanguageRules& entry : LANGUAGE_RULES) {
        if (key == entry.language) return &entry;
    }
    return nullptr;
}

std::unique_ptr<icu::Transliterator> buildTransliterator(const LanguageRules* language, bool latin) {
    std::string rules = language != nullptr ? language->rules : "";
    rules += latin ? LATIN_RULES : GENERAL_RULES;
    UParseError where{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> made(icu::Transliterator::createFromRules(
        "wexa-ascii", icu::UnicodeString::fromUTF8(rules), UTRANS_FORWARD, where, status));
    if (U_FAILURE(status)) made.reset();
    return made;
}

// A transliterator is expensive to build (the general one takes about 0.4 s
// of processor time) and may not be used by two threads at once. Each is
// built once for the process; each thread uses its own copy, which costs
// next to nothing to make since copies share the compiled rules.
icu::Transliterator* transliteratorFor(const LanguageRules* language, bool latin) {
    using Key = std::pair<const LanguageRules*, bool>;
    const Key key{language, latin};
    thread_local std::map<Key, std::unique_ptr<icu::Transliterator>> copies;
    const auto found = copies.find(key);
    if (found != copies.end()) return found->second.get();
    std::unique_ptr<icu::Transliterator> copy;
    {
        static std::mutex mutex;
        static std::map<Key, std::unique_ptr<icu::Transliterator>> originals;
        const std::lock_guard<std::mutex> lock(mutex);
        std::unique_ptr<icu::Transliterator>& original = originals[key];
        if (!original) original = buildTransliterator(language, latin);
        if (original) copy.reset(original->clone());
    }
    // Without one (ICU's data missing) such text is written as "?".
    return copies.emplace(key, std::move(copy)).first->second.get();
}

// Chinese characters cost ICU about 20 microseconds each, a hundred times
// more than a letter of any other script: a page may have only so many
// read (see TransliterationBudget). SIZE_MAX when no budget is set.
thread_local std::size_t hanBudget = SIZE_MAX;

// What ICU made of the words of the page being normalised, by rules and
// word: words repeat within a page ("и", "der", "été"), and ICU takes
// microseconds for each. Kept while a TransliterationBudget lives (one
// page), empty and unused otherwise. Only short words are kept, and only so
// many.
struct WordCache {
    static constexpr std::size_t MAX_WORD_BYTES = 64;
    static constexpr std::size_t MAX_WORDS = 20000;
    bool active = false;
    std::unordered_map<std::string, icu::UnicodeString> words;
};
thread_local WordCache wordCache;

// Latin letters one at a time. Most accented letters are spelt the same
// whatever stands beside them ("é" is always "e"), and looking such a letter
// up costs far less than running the word through ICU. What ICU makes of
// each letter alone is asked once per thread and rules; a letter counts as
// spelt alone only when ICU spells it the same beside small and capital
// letters, plain and accented, on either side, and doubled. A letter whose
// spelling depends on its neighbours ("Æ" before a small letter is "Ae" by
// the Danish rules) and the combining accents (which join the letter before
// them) send the whole word to ICU, as before.
struct LetterSpelling {
    bool alone = false;  // spelt the same whatever its neighbours
    icu::UnicodeString text;
};

const LetterSpelling& letterSpelling(icu::Transliterator& transliterator, const LanguageRules* language,
                                     UChar32 c) {
    thread_local std::unordered_map<std::uint64_t, LetterSpelling> letters;
    const std::uint64_t rulesIndex = language != nullptr ? 1 + (language - LANGUAGE_RULES) : 0;
    auto [entry, added] = letters.try_emplace(rulesIndex << 32 | static_cast<std::uint32_t>(c));
    if (!added) return entry->second;
    LetterSpelling& spelling = entry->second;
    auto spell = [&transliterator](icu::UnicodeString text) {
        transliterator.transliterate(text);
        return text;
    };
    const icu::UnicodeString letter(c);
    spelling.text = spell(letter);
    if (c >= 0x0300 && c <= 0x036F) return spelling;  // a combining accent
    spelling.alone = spell(letter + letter) == spelling.text + spelling.text;
    for (const UChar32 neighbour : {UChar32{'a'}, UChar32{'A'}, UChar32{0xE9}, UChar32{0xC9}}) {
        if (!spelling.alone) break;
        const icu::UnicodeString other(neighbour);
        const icu::UnicodeString otherText = spell(other);
        spelling.alone = spell(other + letter) == otherText + spelling.text &&
                         spell(letter + other) == spelling.text + otherText;
    }
    return spelling;
}

// Spells a word of ASCII and Latin letters into text letter by letter, when
// every letter of it is spelt alone; false (and text empty) otherwise.
bool spellLetterByLetter(const std::string& word, const LanguageRules* language, icu::UnicodeString& text) {
    icu::Transliterator* transliterator = transliteratorFor(language, true);
    if (transliterator == nullptr) return false;
    text.remove();
    for (std::size_t i = 0; i < word.size();) {
        const Step step = nextCodePoint(word, i);
        i += step.length;
        if (step.c < 0x80) {
            text.append(static_cast<UChar>(step.c));
            continue;
        }
        const LetterSpelling& spelling = letterSpelling(*transliterator, language, step.c);
        if (!spelling.alone) {
            text.remove();
            return false;
        }
        text.append(spelling.text);
    }
    return true;
}

bool isHan(UChar32 c) {
    return (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3FFFF);
}

// The most text transliterated in one call.
constexpr std::size_t MAX_WORD_BYTES = 4096;

// A byte AsciiWriter::ascii copies as it is: printable ASCII or a blank.
bool isPlainAscii(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b >= 0x20 && b < 0x7F) || isHtmlSpace(c);
}

// Output with runs of unreadable text written as one "?": a run goes on
// across blanks, which are dropped inside it.
class AsciiWriter {
public:
    explicit AsciiWriter(std::string& out) : out_(out) {}

    void ascii(char c) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 0x20 && b != 0x7F) || isHtmlSpace(c)) out_.push_back(c);
    }
    void text(const char* ascii) {
        for (; *ascii != '\0'; ++ascii) this->ascii(*ascii);
    }
    void unknown() {
        if (unknownEnd_ != std::string::npos && unknownEnd_ <= out_.size() &&
            out_.find_first_not_of(' ', unknownEnd_) == std::string::npos) {
            out_.resize(unknownEnd_);  // still in the same run
            return;
        }
        out_.push_back('?');
        unknownEnd_ = out_.size();
    }
    std::string& out() { return out_; }

private:
    std::string& out_;
    std::size_t unknownEnd_ = std::string::npos;
};

// One word (no ASCII blanks) that holds characters beyond ASCII.
void transliterateWord(AsciiWriter& writer, std::string_view word, const LanguageRules* language) {
    // First the characters that need no transform; the rest is kept for ICU
    // (in a buffer the thread keeps, as words come one after another).
    thread_local std::string pending;
    pending.clear();
    bool needsIcu = false;
    bool latin = true;
    std::size_t han = 0;
    for (std::size_t i = 0; i < word.size();) {
        const Step step = nextCodePoint(word, i);
        const std::string_view bytes = word.substr(i, step.length);
        i += step.length;
        if (step.c < 0) continue;  // not UTF-8: skipped
        if (step.c < 0x80) {
            pending.push_back(bytes[0]);
        } else if (const char* ascii = replacement(step.c)) {
            pending += ascii;
        } else {
            pending.append(bytes);
            if (!beyondTransforms(step.c)) {
                needsIcu = true;
                latin = latin && latinOnly(step.c);
                if (isHan(step.c)) ++han;
            }
        }
    }
    if (han > hanBudget) {
        needsIcu = false;  // the page has used its budget: "?" for the rest
        hanBudget = 0;
    } else if (hanBudget != SIZE_MAX) {
        hanBudget -= han;
    }
    if (!needsIcu) {
        for (std::size_t i = 0; i < pending.size();) {
            const Step step = nextCodePoint(pending, i);
            i += step.length;
            if (step.c < 0x80) {
                writer.ascii(static_cast<char>(step.c));
            } else {
                writer.unknown();
            }
        }
        return;
    }
    icu::UnicodeString text;
    // The key: which rules, then the word.
    std::string key;
    const bool byLetter = latin && spellLetterByLetter(pending, language, text);
    const bool cached = !byLetter && wordCache.active && pending.size() <= WordCache::MAX_WORD_BYTES;
    if (cached) {
        key.reserve(pending.size() + 2);
        key.push_back(static_cast<char>(language != nullptr ? 1 + (language - LANGUAGE_RULES) : 0));
        key.push_back(latin ? 'l' : 'g');
        key += pending;
        const auto found = wordCache.words.find(key);
        if (found != wordCache.words.end()) text = found->second;
    }
    if (!byLetter && (!cached || text.isEmpty())) {
        text = icu::UnicodeString::fromUTF8(pending);
        if (icu::Transliterator* transliterator = transliteratorFor(language, latin))
            transliterator->transliterate(text);
        if (cached && wordCache.words.size() < WordCache::MAX_WORDS) wordCache.words.emplace(key, text);
    }
    // What is still beyond ASCII has no readable form, unless it is one of
    // the typographic characters again or invisible.
    for (int32_t i = 0; i < text.length();) {
        const UChar32 c = text.char32At(i);
        i += U16_LENGTH(c);
        if (c < 0x80) {
            writer.ascii(static_cast<char>(c));
        } else if (const char* ascii = replacement(c)) {
            writer.text(ascii);
        } else {
            const int8_t type = u_charType(c);
            if (type != U_NON_SPACING_MARK && type != U_ENCLOSING_MARK && type != U_FORMAT_CHAR)
                writer.unknown();
        }
    }
}

}  // namespace

std::string languageKey(std::string_view tag) {
    std::string key;
    std::size_t i = 0;
    while (i < tag.size() && isHtmlSpace(tag[i])) ++i;
    for (; i < tag.size() && key.size() <= 8; ++i) {
        char c = tag[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c < 'a' || c > 'z') break;
        key.push_back(c);
    }
    // A primary subtag has two to eight letters and ends the tag or is
    // followed by a subtag or the next tag of a list.
    const bool ends =
        i == tag.size() || tag[i] == '-' || tag[i] == '_' || tag[i] == ',' || isHtmlSpace(tag[i]);
    if (key.size() < 2 || key.size() > 8 || !ends) return {};
    return key;
}

TransliterationBudget::TransliterationBudget(std::size_t hanCharacters)
    : previous_(hanBudget), outermost_(!wordCache.active) {
    hanBudget = hanCharacters;
    wordCache.active = true;
}

TransliterationBudget::~TransliterationBudget() {
    hanBudget = previous_;
    if (outermost_) {
        wordCache.active = false;
        wordCache.words = {};
    }
}

void appendAscii(std::string& out, std::string_view utf8, std::string_view language) {
    AsciiWriter writer(out);
    const LanguageRules* rules = nullptr;
    bool rulesLooked = false;
    // Words of plain ASCII are copied as they are; a word with anything
    // else is transliterated whole, since a transform may depend on the
    // letters around a character (German "Ä" before a small letter is "Ae").
    std::size_t wordStart = 0;
    std::size_t outAtWordStart = out.size();
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char c = utf8[i];
        // A run of printable ASCII and blanks is copied in one go; the next
        // word starts after its last blank.
        std::size_t run = i;
        while (run < utf8.size() && isPlainAscii(utf8[run])) ++run;
        if (run > i) {
            out.append(utf8.data() + i, run - i);
            for (std::size_t blank = run; blank > i; --blank) {
                if (isHtmlSpace(utf8[blank - 1])) {
                    wordStart = blank;
                    outAtWordStart = out.size() - (run - blank);
                    break;
                }
            }
            i = run;
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x80) {
            writer.ascii(c);
            ++i;
            if (isHtmlSpace(c)) {
                wordStart = i;
                outAtWordStart = out.size();
            }
            continue;
        }
        std::size_t end = i;
        while (end < utf8.size() && !isHtmlSpace(utf8[end]) && end - wordStart < MAX_WORD_BYTES) ++end;
        // A longer word (text without blanks, as Chinese is written) is
        // taken in pieces, cut between characters.
        while (end < utf8.size() && end > i + 1 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
            --end;
        out.resize(outAtWordStart);
        if (!rulesLooked) {
            rules = rulesFor(languageKey(language));
            rulesLooked = true;
        }
        transliterateWord(writer, utf8.substr(wordStart, end - wordStart), rules);
        i = end;
        wordStart = end;
        outAtWordStart = out.size();
    }
}

}  // namespace wexaproxy
