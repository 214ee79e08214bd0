#include "proxy/normalise/charset.h"

#include <gumbo.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "proxy/normalise/gumbomemory.h"
#include "proxy/normalise/utf8step.h"

namespace wexaproxy {

namespace {

bool isQuoteOrSpace(char c) {
    return c == ' ' || c == '\t' || c == '"' || c == '\'' || c == '\n' || c == '\r';
}

std::string lowerTrimmed(std::string_view text) {
    while (!text.empty() && isQuoteOrSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isQuoteOrSpace(text.back())) text.remove_suffix(1);
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// --- Converters ------------------------------------------------------------------

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter openConverter(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(name, &status));
    if (U_FAILURE(status)) converter.reset();
    return converter;
}

struct LabelRule {
    const char* label;
    const char* name;
};

// The labels browsers read differently from ICU, or that ICU lacks (from the
// WHATWG Encoding Standard); every other label is looked up in ICU. Latin-1
// and ASCII labels mean windows-1252, whose extra characters (curly quotes,
// dashes) pages labelled Latin-1 use all the time. The names stay those
// earlier versions of this server used, so that form records keep theirs.
const LabelRule LABEL_RULES[] = {
    {"utf-8", "UTF-8"},
    {"utf8", "UTF-8"},
    {"unicode-1-1-utf-8", "UTF-8"},
    {"unicode11utf8", "UTF-8"},
    {"unicode20utf8", "UTF-8"},
    {"x-unicode20utf8", "UTF-8"},
    {"ansi_x3.4-1968", "WINDOWS-1252"},
    {"ascii", "WINDOWS-1252"},
    {"cp1252", "WINDOWS-1252"},
    {"cp819", "WINDOWS-1252"},
    {"csisolatin1", "WINDOWS-1252"},
    {"ibm819", "WINDOWS-1252"},
    {"iso-8859-1", "WINDOWS-1252"},
    {"iso-ir-100", "WINDOWS-1252"},
    {"iso8859-1", "WINDOWS-1252"},
    {"iso88591", "WINDOWS-1252"},
    {"iso_8859-1", "WINDOWS-1252"},
    {"iso_8859-1:1987", "WINDOWS-1252"},
    {"l1", "WINDOWS-1252"},
    {"latin1", "WINDOWS-1252"},
    {"us-ascii", "WINDOWS-1252"},
    {"windows-1252", "WINDOWS-1252"},
    {"x-cp1252", "WINDOWS-1252"},
    {"cp1254", "WINDOWS-1254"},
    {"csisolatin5", "WINDOWS-1254"},
    {"iso-8859-9", "WINDOWS-1254"},
    {"iso-ir-148", "WINDOWS-1254"},
    {"iso8859-9", "WINDOWS-1254"},
    {"iso88599", "WINDOWS-1254"},
    {"iso_8859-9", "WINDOWS-1254"},
    {"iso_8859-9:1989", "WINDOWS-1254"},
    {"l5", "WINDOWS-1254"},
    {"latin5", "WINDOWS-1254"},
    {"windows-1254", "WINDOWS-1254"},
    {"x-cp1254", "WINDOWS-1254"},
    {"dos-874", "CP874"},
    {"iso-8859-11", "CP874"},
    {"iso8859-11", "CP874"},
    {"iso885911", "CP874"},
    {"tis-620", "CP874"},
    {"windows-874", "CP874"},
    {"csiso88596e", "ISO-8859-6"},
    {"csiso88596i", "ISO-8859-6"},
    {"csiso88598e", "ISO-8859-8"},
    {"csiso88598i", "ISO-8859-8"},
    {"logical", "ISO-8859-8"},
    {"visual", "ISO-8859-8"},
    {"koi", "KOI8-R"},
    {"koi8-ru", "KOI8-U"},
    {"x-mac-ukrainian", "X-MAC-CYRILLIC"},
    {"chinese", "GBK"},
    {"csgb2312", "GBK"},
    {"csiso58gb231280", "GBK"},
    {"gb2312", "GBK"},
    {"gb_2312", "GBK"},
    {"gb_2312-80", "GBK"},
    {"gbk", "GBK"},
    {"iso-ir-58", "GBK"},
    {"x-gbk", "GBK"},
    {"gb18030", "GB18030"},
    {"big5", "BIG5-HKSCS"},
    {"big5-hkscs", "BIG5-HKSCS"},
    {"cn-big5", "BIG5-HKSCS"},
    {"csbig5", "BIG5-HKSCS"},
    {"x-x-big5", "BIG5-HKSCS"},
    {"csshiftjis", "CP932"},
    {"ms932", "CP932"},
    {"ms_kanji", "CP932"},
    {"shift-jis", "CP932"},
    {"shift_jis", "CP932"},
    {"sjis", "CP932"},
    {"windows-31j", "CP932"},
    {"x-sjis", "CP932"},
    {"cseuckr", "CP949"},
    {"csksc56011987", "CP949"},
    {"euc-kr", "CP949"},
    {"iso-ir-149", "CP949"},
    {"korean", "CP949"},
    {"ks_c_5601-1987", "CP949"},
    {"ks_c_5601-1989", "CP949"},
    {"ksc5601", "CP949"},
    {"ksc_5601", "CP949"},
    {"windows-949", "CP949"},
    {"csunicode", "UTF-16LE"},
    {"iso-10646-ucs-2", "UTF-16LE"},
    {"ucs-2", "UTF-16LE"},
    {"unicode", "UTF-16LE"},
    {"unicodefeff", "UTF-16LE"},
    {"utf-16", "UTF-16LE"},
    {"utf-16le", "UTF-16LE"},
    {"unicodefffe", "UTF-16BE"},
    {"utf-16be", "UTF-16BE"},
    {"x-user-defined", "X-USER-DEFINED"},
};

// The ICU converter for a canonical name, where the name alone would give
// another one: GBK pages are read as GB18030 (its superset), "CP949" in ICU
// is not windows-949, "CP874" not windows-874.
const char* converterName(const std::string& canonical, bool encoding) {
    if (canonical == "GBK") return encoding ? "windows-936" : "gb18030";
    if (canonical == "CP949") return "windows-949";
    if (canonical == "CP874") return "windows-874";
    if (canonical == "CP932") return "windows-31j";
    return canonical.c_str();
}

// Bytes 0x80 to 0xFF of x-user-defined stand for U+F780 to U+F7FF.
constexpr char32_t USER_DEFINED_BASE = 0xF780;
const std::string USER_DEFINED = "X-USER-DEFINED";

void appendUtf8(std::string& out, UChar32 c) {
    char bytes[U8_MAX_LENGTH];
    int32_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, c);
    out.append(bytes, static_cast<std::size_t>(length));
}

// Whether the converter reads every printable ASCII byte as itself, as the
// HTML parser and the meta scan assume (EBCDIC, UTF-7, HZ and UTF-32 do not).
bool readsAsciiAsItself(UConverter* converter) {
    static const char ASCII[] =
        " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
    constexpr int32_t COUNT = sizeof ASCII - 1;
    UChar buffer[2 * COUNT];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucnv_toUChars(converter, buffer, 2 * COUNT, ASCII, COUNT, &status);
    if (U_FAILURE(status) || length != COUNT) return false;
    for (int32_t i = 0; i < COUNT; ++i) {
        if (buffer[i] != static_cast<UChar>(ASCII[i])) return false;
    }
    return true;
}

// ICU's own reading of a label: its MIME or IANA name, in capitals; empty
// when ICU does not know it or the charset is not ASCII-compatible.
std::string icuCharsetName(const std::string& label) {
    // Plain names only: ICU takes options after a comma.
    if (label.size() > 40) return {};
    for (char c : label) {
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':';
        if (!plain) return {};
    }
    Converter converter = openConverter(label.c_str());
    if (!converter || !readsAsciiAsItself(converter.get())) return {};
    UErrorCode status = U_ZERO_ERROR;
    const char* internal = ucnv_getName(converter.get(), &status);
    if (U_FAILURE(status)) return {};
    const char* name = nullptr;
    for (const char* standard : {"MIME", "IANA"}) {
        status = U_ZERO_ERROR;
        name = ucnv_getStandardName(internal, standard, &status);
        if (U_SUCCESS(status) && name != nullptr) break;
        name = nullptr;
    }
    std::string result = upper(name != nullptr ? name : label);
    if (!openConverter(result.c_str())) result = upper(label);
    return result;
}

// Counts the bytes a converter cannot read, and skips them.
extern "C" void countAndSkip(const void* context, UConverterToUnicodeArgs*, const char*, int32_t,
                             UConverterCallbackReason reason, UErrorCode* status) {
    if (reason == UCNV_ILLEGAL || reason == UCNV_IRREGULAR || reason == UCNV_UNASSIGNED) {
        ++*static_cast<std::size_t*>(const_cast<void*>(context));
        *status = U_ZERO_ERROR;
    }
}

// Converts bytes with converter, appending the UTF-8 to out (when not null;
// NUL, the C1 control characters and lone surrogates are dropped). With flush false an
// incomplete character at the end is not an error. Returns the number of
// invalid sequences met.
std::size_t convertToUtf8(UConverter* converter, std::string_view bytes, bool flush, std::string* out) {
    std::size_t errors = 0;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter, countAndSkip, &errors, nullptr, nullptr, &status);
    if (U_FAILURE(status)) return 0;
    constexpr int32_t CHUNK = 8192;
    std::vector<UChar> buffer(CHUNK);
    const char* source = bytes.data();
    const char* const sourceEnd = source + bytes.size();
    for (;;) {
        UChar* target = buffer.data();
        status = U_ZERO_ERROR;
        ucnv_toUnicode(converter, &target, buffer.data() + CHUNK, &source, sourceEnd, nullptr, flush,
                       &status);
        if (out != nullptr) {
            const auto length = static_cast<int32_t>(target - buffer.data());
            int32_t i = 0;
            while (i < length) {
                UChar32 c = 0;
                U16_NEXT(buffer.data(), i, length, c);
                const bool control = c == 0 || (c >= 0x80 && c < 0xA0);
                if (!control && !U_IS_SURROGATE(c)) appendUtf8(*out, c);
            }
        }
        if (status != U_BUFFER_OVERFLOW_ERROR) break;
    }
    return errors;
}

// --- UTF-8 -----------------------------------------------------------------------

// Where the run of ASCII bytes other than NUL that starts at `at` ends.
// Pages are mostly ASCII: eight bytes are looked at in one step.
std::size_t asciiRunEnd(std::string_view bytes, std::size_t at) {
    constexpr std::uint64_t ONES = 0x0101010101010101ULL;
    constexpr std::uint64_t HIGHS = 0x8080808080808080ULL;
    while (bytes.size() - at >= sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + at, sizeof word);
        // A byte of 0x80 or more, or a zero byte, somewhere in the word.
        if (((word | ((word - ONES) & ~word)) & HIGHS) != 0) break;
        at += sizeof word;
    }
    while (at < bytes.size() && static_cast<unsigned char>(bytes[at]) < 0x80 && bytes[at] != '\0') ++at;
    return at;
}

std::string cleanUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Runs of ASCII are copied in one go.
        const std::size_t run = asciiRunEnd(bytes, i);
        out.append(bytes.data() + i, run - i);
        i = run;
        if (i >= bytes.size()) break;
        const Step step = nextCodePoint(bytes, i);
        if (step.c > 0) out.append(bytes.data() + i, step.length);
        i += step.length;
    }
    return out;
}

// How much of a text is well-formed UTF-8 beyond ASCII. An incomplete
// character at the very end (a page cut short) does not count as invalid.
struct Utf8Census {
    std::size_t multibyte = 0;
    std::size_t invalid = 0;
    bool cutShort = false;
};

Utf8Census censusOf(std::string_view text) {
    Utf8Census census;
    std::size_t i = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            i = asciiRunEnd(text, i + 1);  // (a NUL only stops the run)
            continue;
        }
        const Step step = nextCodePoint(text, i);
        if (step.c >= 0) {
            ++census.multibyte;
        } else {
            const auto lead = static_cast<uint8_t>(text[i]);
            const bool cutShort = i + step.length == text.size() && lead >= 0xC2 && lead <= 0xF4 &&
                                  step.length < static_cast<std::size_t>(U8_COUNT_TRAIL_BYTES(lead)) + 1;
            if (cutShort) {
                census.cutShort = true;
            } else {
                ++census.invalid;
            }
        }
        i += step.length;
    }
    // Without a single well-formed character before it, a lead byte at the
    // end is more likely a Latin-1 letter than half of a UTF-8 one.
    if (census.cutShort && census.multibyte == 0) ++census.invalid;
    return census;
}

std::string decodeUserDefined(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0) continue;
        if (b < 0x80) {
            out.push_back(c);
        } else {
            appendUtf8(out, static_cast<UChar32>(USER_DEFINED_BASE + (b - 0x80)));
        }
    }
    return out;
}

}  // namespace

std::string canonicalCharset(std::string_view label) {
    const std::string key = lowerTrimmed(label);
    if (key.empty()) return {};
    for (const LabelRule& rule : LABEL_RULES) {
        if (key == rule.label) return rule.name;
    }
    return icuCharsetName(key);
}

std::string charsetParameter(std::string_view contentType) {
    std::size_t at = 0;
    while ((at = contentType.find(';', at)) != std::string_view::npos) {
        ++at;
        std::size_t end = contentType.find(';', at);
        std::string_view param = contentType.substr(at, end == std::string_view::npos ? end : end - at);
        const std::size_t equals = param.find('=');
        if (equals != std::string_view::npos && lowerTrimmed(param.substr(0, equals)) == "charset") {
            // Kept as written apart from case: callers canonicalise.
            return lowerTrimmed(param.substr(equals + 1));
        }
    }
    return {};
}

namespace {

// Where word (lower case ASCII) starts in text from `from` on, letters
// compared in any case; npos when it is not there.
std::size_t findFolded(std::string_view text, std::string_view word, std::size_t from = 0) {
    if (word.empty() || text.size() < word.size()) return std::string_view::npos;
    for (std::size_t at = from; at <= text.size() - word.size(); ++at) {
        std::size_t i = 0;
        while (i < word.size() && static_cast<char>(text[at + i] | 0x20) == word[i]) ++i;
        if (i == word.size()) return at;
    }
    return std::string_view::npos;
}

// Where "<meta" in any case starts in text from `from` on: the start of
// every meta tag; npos when there is none.
std::size_t findMetaTag(std::string_view text, std::size_t from = 0) {
    return findFolded(text, "<meta", from);
}

// One past the ">" that ends the first meta tag naming "charset" (in any
// case) in text, quoted attribute values skipped; npos when there is none.
std::size_t endOfCharsetMeta(std::string_view text) {
    for (std::size_t at = findMetaTag(text); at != std::string_view::npos; at = findMetaTag(text, at + 1)) {
        bool charset = false;
        char quote = 0;
        for (std::size_t i = at + 5; i < text.size(); ++i) {
            const char c = text[i];
            if (quote != 0) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                if (charset) return i + 1;
                break;
            }
            if (!charset && (c | 0x20) == 'c') charset = findFolded(text.substr(i, 7), "charset") == 0;
        }
    }
    return std::string_view::npos;
}

// The charset a meta element declares (either form), as found; empty when
// it declares none ICU knows.
std::string metaDeclaration(const GumboElement& element) {
    std::string found;
    if (const GumboAttribute* charset = gumbo_get_attribute(&element.attributes, "charset")) {
        found = charset->value;
    } else {
        const GumboAttribute* equiv = gumbo_get_attribute(&element.attributes, "http-equiv");
        const GumboAttribute* content = gumbo_get_attribute(&element.attributes, "content");
        if (equiv != nullptr && content != nullptr && lowerTrimmed(equiv->value) == "content-type")
            found = charsetParameter(content->value);
    }
    if (!found.empty() && canonicalCharset(found).empty()) found.clear();
    return found;
}

// Calls visit with each meta element of a tree that declares a charset, in
// document order, and what it declares, until visit returns false.
template <class Visit>
void forEachCharsetMeta(const GumboNode* root, Visit&& visit) {
    std::vector<const GumboNode*> pending{root};
    while (!pending.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& element = node->v.element;
        if (element.tag == GUMBO_TAG_META) {
            std::string found = metaDeclaration(element);
            if (!found.empty() && !visit(node, std::move(found))) return;
            continue;
        }
        // Children in document order: pushed last to first.
        for (unsigned i = element.children.length; i > 0; --i)
            pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
    }
}

// The first meta element of a tree, in document order, that declares a
// charset, with what it declares as found; null when there is none.
const GumboNode* firstCharsetMeta(const GumboNode* root, std::string& found) {
    const GumboNode* first = nullptr;
    found.clear();
    forEachCharsetMeta(root, [&](const GumboNode* node, std::string declared) {
        first = node;
        found = std::move(declared);
        return false;
    });
    return first;
}

// Where the tag of an element parsed from the page ends in its text; npos
// for an element the parser made without a tag.
std::size_t tagEnd(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    if (element.original_tag.data == nullptr) return std::string_view::npos;
    return element.start_pos.offset + element.original_tag.length;
}

bool isHeadChild(const GumboNode* node) {
    const GumboNode* parent = node->parent;
    return parent != nullptr && parent->type == GUMBO_NODE_ELEMENT && parent->v.element.tag == GUMBO_TAG_HEAD;
}

// The charset the first meta element in the parsed tree declares, as
// found; empty when none does. With inHeadOnly, also empty when that
// element is not a child of the head.
std::string declaredByMeta(std::string_view html, bool inHeadOnly) {
    GumboMemory memory;
    GumboOptions options = memory.options();
    GumboOutput* output = gumbo_parse_with_options(&options, html.data(), html.size());
    std::string found;
    const GumboNode* meta = firstCharsetMeta(output->root, found);
    return meta == nullptr || (inHeadOnly && !isHeadChild(meta)) ? std::string() : found;
}

// The charset a meta element declares, from the first kilobytes of a page
// parsed with the HTML parser (meta declarations are ASCII, so bytes of any
// ASCII-compatible charset parse well enough for that).
//
// Most pages declare it early in their head: then only the text up to that
// meta tag is parsed. Parsing less gives the same answer when the meta
// found there is a child of the head: the parser builds the tree as it
// reads, so the elements made before the cut are made alike by the longer
// parse, and nothing read later is put into the head before them or moves
// them (the head is closed before anything that could). Otherwise the whole
// prefix is parsed, as it always was.
//
// pageTree, when given, is the tree of the whole page parsed from text that
// begins with the very bytes of prefix. Its answer is the prefix's whenever
// it has no meta element declaring a charset (the prefix's tree holds no
// element the page's does not: each comes from a tag read whole before the
// prefix ends, and the builder does the same with it), or when its first
// one is a child of the head that ends where the short parse would stop
// (the same element, made the same way, with nothing before it). Otherwise
// the prefix is parsed as above.
std::string metaCharset(std::string_view prefix, const GumboNode* pageTree) {
    // Without the text "<meta" in any case there is no meta element. A
    // meta element declares a charset with an attribute named "charset", or
    // in a content attribute whose value (character references read) holds
    // "charset": without that word in any case, and without a numeric
    // character reference that could spell it, there is none either.
    if (findMetaTag(prefix) == std::string_view::npos) return {};
    if (findFolded(prefix, "charset") == std::string_view::npos &&
        prefix.find("&#") == std::string_view::npos)
        return {};
    const std::size_t cut = endOfCharsetMeta(prefix);
    if (pageTree != nullptr) {
        std::string found;
        const GumboNode* meta = firstCharsetMeta(pageTree, found);
        if (meta == nullptr) return {};
        if (cut != std::string_view::npos && cut < prefix.size() && isHeadChild(meta) && tagEnd(meta) <= cut)
            return found;
        // No meta element of the prefix's tree declares a charset when none
        // of the page's that does ends within the prefix.
        bool within = false;
        forEachCharsetMeta(pageTree, [&](const GumboNode* node, const std::string&) {
            within = tagEnd(node) <= prefix.size();
            return !within;
        });
        if (!within) return {};
    }
    if (cut != std::string_view::npos && cut < prefix.size()) {
        std::string found = declaredByMeta(prefix.substr(0, cut), true);
        if (!found.empty()) return found;
    }
    return declaredByMeta(prefix, false);
}

// How far into a page a meta declaration is looked for.
constexpr std::size_t META_SCAN_BYTES = 8192;
// How much of a page the detector and the check of a declared legacy
// charset look at.
constexpr std::size_t DETECT_SCAN_BYTES = 64 * 1024;
// ICU's detector rates its answers from 0 to 100; below this the page is
// too short or too mixed for its answer to beat the fallback.
constexpr int32_t MIN_DETECTOR_CONFIDENCE = 50;
// A page declared UTF-8 keeps it while its well-formed characters beyond
// ASCII outnumber its invalid bytes this many times over (a stray byte in a
// UTF-8 page is no reason to read all of it otherwise).
constexpr std::size_t UTF8_VALID_PER_INVALID = 10;

bool asciiCompatible(const std::string& name) {
    return !name.empty() && name.compare(0, 6, "UTF-16") != 0;
}

// Whether the bytes can be text in a declared legacy charset: no invalid
// sequence under it. Charsets of one byte per character read every byte, so
// they always can. (UTF-8 is judged by its census: a few invalid bytes
// among many good characters are forgiven.)
bool labelFits(std::string_view body, const std::string& declared) {
    if (declared == USER_DEFINED || !asciiCompatible(declared)) return true;
    Converter converter = openConverter(converterName(declared, false));
    if (!converter || ucnv_getMaxCharSize(converter.get()) == 1) return true;
    return convertToUtf8(converter.get(), body.substr(0, DETECT_SCAN_BYTES), false, nullptr) == 0;
}

struct DetectorCloser {
    void operator()(UCharsetDetector* detector) const { ucsdet_close(detector); }
};

// ICU's detector's best ASCII-compatible answer with enough confidence, as
// a canonical name; empty when there is none.
std::string detectorAnswer(std::string_view body, bool html) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, DetectorCloser> detector(ucsdet_open(&status));
    if (U_FAILURE(status)) return {};
    const std::string_view sample = body.substr(0, DETECT_SCAN_BYTES);
    ucsdet_setText(detector.get(), sample.data(), static_cast<int32_t>(sample.size()), &status);
    ucsdet_enableInputFilter(detector.get(), html);  // markup is not text
    int32_t count = 0;
    const UCharsetMatch** matches = ucsdet_detectAll(detector.get(), &count, &status);
    if (U_FAILURE(status)) return {};
    for (int32_t i = 0; i < count; ++i) {
        UErrorCode matchStatus = U_ZERO_ERROR;
        if (ucsdet_getConfidence(matches[i], &matchStatus) < MIN_DETECTOR_CONFIDENCE) break;
        const char* name = ucsdet_getName(matches[i], &matchStatus);
        if (U_FAILURE(matchStatus) || name == nullptr) continue;
        const std::string canonical = canonicalCharset(name);
        if (asciiCompatible(canonical)) return canonical;
    }
    return {};
}

}  // namespace

CharsetChoice detectCharset(std::string_view contentType, std::string_view body, bool html,
                            const GumboNode* pageTree) {
    CharsetChoice choice;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") {
        choice.name = "UTF-8";
        choice.bomLength = 3;
        choice.source = CharsetSource::ByteOrderMark;
        return choice;
    }
    if (body.substr(0, 2) == "\xFF\xFE" || body.substr(0, 2) == "\xFE\xFF") {
        choice.name = body[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
        choice.bomLength = 2;
        choice.source = CharsetSource::ByteOrderMark;
        return choice;
    }
    std::string declared = canonicalCharset(charsetParameter(contentType));
    choice.source = CharsetSource::Header;
    if (declared.empty() && html) {
        declared = canonicalCharset(metaCharset(body.substr(0, META_SCAN_BYTES), pageTree));
        // A page that reached the parser as ASCII-compatible bytes cannot be
        // UTF-16, whatever it says.
        if (declared == "UTF-16LE" || declared == "UTF-16BE") declared = "UTF-8";
        choice.source = CharsetSource::MetaTag;
    }
    if (!declared.empty() && declared != "UTF-8" && labelFits(body, declared)) {
        choice.name = declared;
        return choice;
    }
    // A page parsed as its own text (pageTree) is well-formed UTF-8: no
    // need to count again.
    const Utf8Census census = pageTree != nullptr ? Utf8Census{} : censusOf(body);
    if (declared == "UTF-8" &&
        (census.invalid == 0 || census.multibyte >= UTF8_VALID_PER_INVALID * census.invalid)) {
        choice.name = declared;
        return choice;
    }
    // No label, or one that cannot be right.
    if (census.invalid == 0) {
        choice.name = "UTF-8";
        choice.source = declared.empty() ? CharsetSource::Guess : CharsetSource::Detected;
        return choice;
    }
    std::string detected = detectorAnswer(body, html);
    if (!detected.empty()) {
        choice.name = detected;
        choice.source = CharsetSource::Detected;
    } else if (declared.empty()) {
        choice.name = "WINDOWS-1252";
        choice.source = CharsetSource::Guess;
    } else {
        choice.name = declared;
    }
    return choice;
}

bool isOwnUtf8Text(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return false;
    std::size_t i = 0;
    while (i < bytes.size()) {
        i = asciiRunEnd(bytes, i);
        if (i >= bytes.size()) break;
        const Step step = nextCodePoint(bytes, i);
        if (step.c <= 0) return false;  // a NUL, or not UTF-8
        i += step.length;
    }
    return true;
}

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const Step step = nextCodePoint(text, i);
        if (step.c < 0) return false;
        i += step.length;
    }
    return true;
}

std::string decodeToUtf8(std::string_view bytes, const std::string& charset) {
    if (charset == "UTF-8" || charset.empty()) return cleanUtf8(bytes);
    if (charset == USER_DEFINED) return decodeUserDefined(bytes);
    Converter converter = openConverter(converterName(charset, false));
    if (!converter) return cleanUtf8(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    convertToUtf8(converter.get(), bytes, true, &out);
    return out;
}

// --- Encoding form values --------------------------------------------------------------

namespace {

std::string numericReference(UChar32 c) {
    return "&#" + std::to_string(static_cast<uint32_t>(c)) + ";";
}

std::string encodeUserDefined(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const Step step = nextCodePoint(utf8, i);
        if (step.c < 0) {
            out.append(utf8.substr(i, step.length));  // not UTF-8: as it is
        } else if (step.c < 0x80) {
            out.push_back(static_cast<char>(step.c));
        } else if (step.c >= static_cast<UChar32>(USER_DEFINED_BASE) &&
                   step.c < static_cast<UChar32>(USER_DEFINED_BASE + 0x80)) {
            out.push_back(static_cast<char>(0x80 + (step.c - USER_DEFINED_BASE)));
        } else {
            out += numericReference(step.c);
        }
        i += step.length;
    }
    return out;
}

// Appends the UTF-16 text in charset to out; characters it lacks as
// numeric character references.
void encodeRun(UConverter* converter, const icu::UnicodeString& text, std::string& out) {
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_ESCAPE, UCNV_ESCAPE_XML_DEC, nullptr, nullptr,
                          &status);
    if (U_FAILURE(status)) return;
    char buffer[1024];
    const UChar* source = text.getBuffer();
    const UChar* const sourceEnd = source + text.length();
    for (;;) {
        char* target = buffer;
        status = U_ZERO_ERROR;
        ucnv_fromUnicode(converter, &target, buffer + sizeof buffer, &source, sourceEnd, nullptr, true,
                         &status);
        out.append(buffer, static_cast<std::size_t>(target - buffer));
        if (status != U_BUFFER_OVERFLOW_ERROR) break;
    }
}

}  // namespace

std::string encodeFromUtf8(std::string_view utf8, const std::string& charset) {
    if (charset.empty() || charset == "UTF-8" || charset.compare(0, 6, "UTF-16") == 0)
        return std::string(utf8);
    if (charset == USER_DEFINED) return encodeUserDefined(utf8);
    Converter converter = openConverter(converterName(charset, true));
    if (!converter) return std::string(utf8);
    std::string out;
    // Runs of well-formed UTF-8 are converted; other bytes go as they are.
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t end = i;
        while (end < utf8.size()) {
            const Step step = nextCodePoint(utf8, end);
            if (step.c < 0) break;
            end += step.length;
        }
        if (end > i) {
            encodeRun(converter.get(), icu::UnicodeString::fromUTF8(utf8.substr(i, end - i)), out);
            i = end;
        }
        if (i < utf8.size()) {
            const Step bad = nextCodePoint(utf8, i);
            out.append(utf8.substr(i, bad.length));
            i += bad.length;
        }
    }
    return out;
}

}  // namespace wexaproxy
