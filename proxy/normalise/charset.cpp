#include "proxy/normalise/charset.h"

#include <gumbo.h>
#include <iconv.h>
#include <locale.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "proxy/normalise/gumbomemory.h"

namespace wexaproxy {

namespace {

std::string lowerTrimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '"' ||
                             text.front() == '\'' || text.front() == '\n' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '"' ||
                             text.back() == '\'' || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// An iconv conversion descriptor that is closed when it goes out of scope.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

bool iconvKnows(const std::string& name) {
    return Iconv("UTF-8", name.c_str()).ok();
}

struct Alias {
    const char* label;
    const char* name;
};

// Labels that browsers read differently from iconv, or that iconv lacks.
// Latin-1 and ASCII labels mean windows-1252, whose extra characters
// (curly quotes, dashes) pages labelled Latin-1 use all the time.
const Alias kAliases[] = {
    {"utf-8", "UTF-8"},
    {"utf8", "UTF-8"},
    {"unicode-1-1-utf-8", "UTF-8"},
    {"x-unicode20utf8", "UTF-8"},
    {"unicode20utf8", "UTF-8"},
    {"unicode11utf8", "UTF-8"},
    {"ansi_x3.4-1968", "WINDOWS-1252"},
    {"ascii", "WINDOWS-1252"},
    {"us-ascii", "WINDOWS-1252"},
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
    {"windows-1252", "WINDOWS-1252"},
    {"x-cp1252", "WINDOWS-1252"},
    {"x-user-defined", "WINDOWS-1252"},
    {"iso-8859-9", "WINDOWS-1254"},
    {"iso8859-9", "WINDOWS-1254"},
    {"latin5", "WINDOWS-1254"},
    {"l5", "WINDOWS-1254"},
    {"iso-8859-11", "CP874"},
    {"tis-620", "CP874"},
    {"windows-874", "CP874"},
    {"gb2312", "GBK"},
    {"gbk", "GBK"},
    {"x-gbk", "GBK"},
    {"chinese", "GBK"},
    {"csgb2312", "GBK"},
    {"gb_2312-80", "GBK"},
    {"gb18030", "GB18030"},
    {"big5", "BIG5-HKSCS"},
    {"big5-hkscs", "BIG5-HKSCS"},
    {"cn-big5", "BIG5-HKSCS"},
    {"x-x-big5", "BIG5-HKSCS"},
    {"shift_jis", "CP932"},
    {"shift-jis", "CP932"},
    {"sjis", "CP932"},
    {"x-sjis", "CP932"},
    {"ms_kanji", "CP932"},
    {"windows-31j", "CP932"},
    {"euc-kr", "CP949"},
    {"ks_c_5601-1987", "CP949"},
    {"windows-949", "CP949"},
    {"korean", "CP949"},
    {"utf-16", "UTF-16LE"},
    {"utf-16le", "UTF-16LE"},
    {"utf-16be", "UTF-16BE"},
};

// --- UTF-8 -------------------------------------------------------------------

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the byte
// there does not start one.
std::size_t sequenceLength(std::string_view text, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) return 1;
    auto cont = [&](std::size_t k) {
        return i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    };
    if (b0 >= 0xC2 && b0 <= 0xDF) return cont(1) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (!cont(1) || !cont(2)) return 0;
        const auto b1 = static_cast<unsigned char>(text[i + 1]);
        if (b0 == 0xE0 && b1 < 0xA0) return 0;   // overlong
        if (b0 == 0xED && b1 >= 0xA0) return 0;  // surrogate
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3)) return 0;
        const auto b1 = static_cast<unsigned char>(text[i + 1]);
        if (b0 == 0xF0 && b1 < 0x90) return 0;   // overlong
        if (b0 == 0xF4 && b1 >= 0x90) return 0;  // beyond U+10FFFF
        return 4;
    }
    return 0;
}

char32_t codePoint(std::string_view text, std::size_t i, std::size_t length) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    switch (length) {
        case 1:
            return b(0);
        case 2:
            return (char32_t(b(0) & 0x1F) << 6) | (b(1) & 0x3F);
        case 3:
            return (char32_t(b(0) & 0x0F) << 12) | (char32_t(b(1) & 0x3F) << 6) | (b(2) & 0x3F);
        default:
            return (char32_t(b(0) & 0x07) << 18) | (char32_t(b(1) & 0x3F) << 12) |
                   (char32_t(b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    }
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string cleanUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Runs of ASCII are copied in one go.
        std::size_t run = i;
        while (run < bytes.size() && static_cast<unsigned char>(bytes[run]) < 0x80 && bytes[run] != '\0')
            ++run;
        out.append(bytes.data() + i, run - i);
        i = run;
        if (i >= bytes.size()) break;
        if (bytes[i] == '\0') {
            ++i;
            continue;
        }
        const std::size_t n = sequenceLength(bytes, i);
        if (n == 0) {
            ++i;  // not UTF-8: skipped
            continue;
        }
        out.append(bytes.data() + i, n);
        i += n;
    }
    return out;
}

// windows-1252 bytes 0x80 to 0x9F; 0 for the five bytes it leaves undefined.
const char16_t kWindows1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                       0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string decodeWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0) continue;
        if (b < 0x80) {
            out.push_back(c);
        } else if (b < 0xA0) {
            if (char16_t cp = kWindows1252High[b - 0x80]) appendUtf8(out, cp);
        } else {
            appendUtf8(out, b);
        }
    }
    return out;
}

std::string decodeWithIconv(std::string_view bytes, const std::string& charset) {
    Iconv cd("UTF-8", charset.c_str());
    if (!cd.ok()) return cleanUtf8(bytes);
    std::string out;
    std::vector<char> buffer(64 * 1024);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* to = buffer.data();
        std::size_t toLeft = buffer.size();
        const std::size_t done = iconv(cd.get(), &in, &inLeft, &to, &toLeft);
        const int error = errno;
        out.append(buffer.data(), static_cast<std::size_t>(to - buffer.data()));
        if (done != static_cast<std::size_t>(-1)) break;
        if (error == E2BIG) continue;
        if (error == EILSEQ) {
            // An invalid byte: skipped, and the conversion goes on after it.
            ++in;
            --inLeft;
            iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        break;  // EINVAL: an incomplete character at the end
    }
    // The converter's output is UTF-8, but the NUL bytes are still to drop.
    if (out.find('\0') != std::string::npos) return cleanUtf8(out);
    return out;
}

// --- Transliteration -----------------------------------------------------------

// U+00A0 to U+00FF.
const char* const kLatin1[96] = {
    " ",   "!",   "c",  "GBP", "",  "JPY", "|",  "S", "",  "(C)", "a", "\"", "!",    "",     "(R)",  "-",
    "deg", "+/-", "^2", "^3",  "'", "u",   "P",  "-", ",", "^1",  "o", "\"", " 1/4", " 1/2", " 3/4", "?",
    "A",   "A",   "A",  "A",   "A", "A",   "AE", "C", "E", "E",   "E", "E",  "I",    "I",    "I",    "I",
    "D",   "N",   "O",  "O",   "O", "O",   "O",  "x", "O", "U",   "U", "U",  "U",    "Y",    "TH",   "ss",
    "a",   "a",   "a",  "a",   "a", "a",   "ae", "c", "e", "e",   "e", "e",  "i",    "i",    "i",    "i",
    "d",   "n",   "o",  "o",   "o", "o",   "o",  "/", "o", "u",   "u", "u",  "u",    "y",    "th",   "y"};

// U+0100 to U+017F: the base letter; '*' marks the few written with two letters.
const char kLatinExtendedA[] =
    "AaAaAaCcCcCcCcDd"
    "DdEeEeEeEeEeGgGg"
    "GgGgHhHhIiIiIiIi"
    "Ii**JjKkkLlLlLlL"
    "lLlNnNnNn*NnOoOo"
    "Oo**RrRrRrSsSsSs"
    "SsTtTtTtUuUuUuUu"
    "UuUuWwYyYZzZzZzs";

// U+0391 to U+03C9 (Greek capitals, then small letters).
const char* const kGreek[57] = {"A", "V", "G", "D", "E", "Z", "I", "Th", "I",  "K",  "L",  "M", "N", "X", "O",
                                "P", "R", "",  "S", "T", "Y", "F", "Ch", "Ps", "O",  "I",  "Y", "a", "e", "i",
                                "i", "y", "a", "v", "g", "d", "e", "z",  "i",  "th", "i",  "k", "l", "m", "n",
                                "x", "o", "p", "r", "s", "s", "t", "y",  "f",  "ch", "ps", "o"};

// U+0410 to U+042F (Cyrillic capitals; the small letters follow the same table).
const char* const kCyrillic[32] = {"A",  "B",  "V",  "G",    "D", "E", "Zh", "Z", "I",  "Y", "K",
                                   "L",  "M",  "N",  "O",    "P", "R", "S",  "T", "U",  "F", "Kh",
                                   "Ts", "Ch", "Sh", "Shch", "",  "Y", "'",  "E", "Yu", "Ya"};

// Characters common on web pages that need no look-up in iconv's tables.
const char* punctuation(char32_t cp) {
    if (cp >= 0x2000 && cp <= 0x200A) return " ";
    if (cp >= 0x200B && cp <= 0x200F) return "";
    if (cp >= 0x2010 && cp <= 0x2015) return "-";
    if (cp >= 0x202A && cp <= 0x202E) return "";
    if (cp >= 0x2060 && cp <= 0x206F) return "";
    if (cp >= 0xFE00 && cp <= 0xFE0F) return "";  // variation selectors
    switch (cp) {
        case 0x0192:
            return "f";
        case 0x02C6:
            return "^";
        case 0x02DC:
            return "~";
        case 0x02BC:
        case 0x02B9:
            return "'";
        case 0x2016:
            return "||";
        case 0x2017:
            return "_";
        case 0x2018:
        case 0x2019:
        case 0x201A:
        case 0x201B:
        case 0x2032:
            return "'";
        case 0x201C:
        case 0x201D:
        case 0x201E:
        case 0x201F:
        case 0x2033:
            return "\"";
        case 0x2020:
            return "+";
        case 0x2021:
            return "++";
        case 0x2022:
        case 0x2023:
        case 0x2043:
        case 0x25CF:
        case 0x25A0:
        case 0x25AA:
        case 0x2219:
            return "*";
        case 0x2024:
            return ".";
        case 0x2025:
            return "..";
        case 0x2026:
            return "...";
        case 0x2027:
            return "-";
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
            return " ";
        case 0x2030:
            return "%o";
        case 0x2039:
        case 0x203A:
            return "'";
        case 0x203C:
            return "!!";
        case 0x2044:
        case 0x2215:
            return "/";
        case 0x20AC:
            return "EUR";
        case 0x20B9:
            return "Rs";
        case 0x2116:
            return "No.";
        case 0x2122:
            return "(TM)";
        case 0x2190:
            return "<-";
        case 0x2191:
            return "^";
        case 0x2192:
            return "->";
        case 0x2193:
            return "v";
        case 0x2194:
            return "<->";
        case 0x21D0:
            return "<=";
        case 0x21D2:
            return "=>";
        case 0x2212:
            return "-";
        case 0x2217:
            return "*";
        case 0x221E:
            return "inf";
        case 0x2248:
            return "~";
        case 0x2260:
            return "!=";
        case 0x2264:
            return "<=";
        case 0x2265:
            return ">=";
        case 0x25B2:
            return "^";
        case 0x25B6:
        case 0x25BA:
            return ">";
        case 0x25BC:
            return "v";
        case 0x25C0:
        case 0x25C4:
            return "<";
        case 0x2605:
        case 0x2606:
            return "*";
        case 0x2713:
        case 0x2714:
            return "v";
        case 0x2715:
        case 0x2716:
        case 0x2717:
        case 0x2718:
            return "x";
        case 0xFEFF:
            return "";
        case 0xFFFD:
            return "?";
        default:
            return nullptr;
    }
}

// Scripts with no ASCII spelling: no need to ask iconv.
bool noAsciiForm(char32_t cp) {
    return (cp >= 0x0590 && cp <= 0x1DFF && !(cp >= 0x1D00 && cp <= 0x1DBF)) ||  // Hebrew to Ethiopic, ...
           (cp >= 0x2E80 && cp <= 0xA4CF) ||                                     // CJK, kana, Yi
           (cp >= 0xAC00 && cp <= 0xD7AF) ||                                     // Hangul
           (cp >= 0xE000 && cp <= 0xF8FF) ||                                     // private use
           (cp >= 0x1F000);                                                      // emoji and beyond
}

// iconv's transliteration under a UTF-8 locale, for what the tables above
// leave. The locale is per thread (uselocale), so the server's other
// threads and the process locale are untouched.
class Transliterator {
public:
    Transliterator()
        : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr))),
          cd_(iconv_open("ASCII//TRANSLIT", "UTF-8")) {}
    ~Transliterator() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
        if (locale_ != static_cast<locale_t>(nullptr)) freelocale(locale_);
    }
    Transliterator(const Transliterator&) = delete;
    Transliterator& operator=(const Transliterator&) = delete;

    // The ASCII form of one UTF-8 character; "?" when there is none.
    std::string convert(std::string_view character) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return "?";
        locale_t previous = static_cast<locale_t>(nullptr);
        if (locale_ != static_cast<locale_t>(nullptr)) previous = uselocale(locale_);
        char out[32];
        char* in = const_cast<char*>(character.data());
        std::size_t inLeft = character.size();
        char* to = out;
        std::size_t toLeft = sizeof out;
        const std::size_t done = iconv(cd_, &in, &inLeft, &to, &toLeft);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (previous != static_cast<locale_t>(nullptr)) uselocale(previous);
        std::string result(out, static_cast<std::size_t>(to - out));
        if (done == static_cast<std::size_t>(-1) || result.empty()) return "?";
        for (char c : result) {
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return "?";
        }
        return result;
    }

private:
    locale_t locale_;
    iconv_t cd_;
};

Transliterator& transliterator() {
    thread_local Transliterator instance;
    return instance;
}

}  // namespace

std::string canonicalCharset(std::string_view label) {
    const std::string key = lowerTrimmed(label);
    if (key.empty()) return {};
    for (const Alias& alias : kAliases) {
        if (key == alias.label) return alias.name;
    }
    std::string name = key;
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    // A label that iconv takes for a transliteration or option request is
    // not a plain character set name.
    if (name.find('/') != std::string::npos) return {};
    return iconvKnows(name) ? name : std::string();
}

std::string charsetParameter(std::string_view contentType) {
    std::size_t at = 0;
    while ((at = contentType.find(';', at)) != std::string_view::npos) {
        ++at;
        std::size_t end = contentType.find(';', at);
        std::string_view param = contentType.substr(at, end == std::string_view::npos ? end : end - at);
        const std::size_t equals = param.find('=');
        if (equals != std::string_view::npos && lowerTrimmed(param.substr(0, equals)) == "charset") {
            std::string value = lowerTrimmed(param.substr(equals + 1));
            // Keep the label as written apart from case: callers canonicalise.
            return value;
        }
    }
    return {};
}

namespace {

// The charset a meta element declares, from the first kilobytes of a page
// parsed with the HTML parser (meta declarations are ASCII, so bytes of any
// ASCII-compatible charset parse well enough for that).
std::string metaCharset(std::string_view prefix) {
    GumboMemory memory;
    GumboOptions options = memory.options();
    GumboOutput* output = gumbo_parse_with_options(&options, prefix.data(), prefix.size());
    std::string found;
    std::vector<const GumboNode*> pending{output->root};
    while (!pending.empty() && found.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& element = node->v.element;
        if (element.tag == GUMBO_TAG_META) {
            if (const GumboAttribute* charset = gumbo_get_attribute(&element.attributes, "charset")) {
                found = charset->value;
            } else {
                const GumboAttribute* equiv = gumbo_get_attribute(&element.attributes, "http-equiv");
                const GumboAttribute* content = gumbo_get_attribute(&element.attributes, "content");
                if (equiv != nullptr && content != nullptr && lowerTrimmed(equiv->value) == "content-type")
                    found = charsetParameter(content->value);
            }
            if (!found.empty() && canonicalCharset(found).empty()) found.clear();
            continue;
        }
        // Children in document order: pushed last to first.
        for (unsigned i = element.children.length; i > 0; --i)
            pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
    }
    return found;
}

// How far into a page a meta declaration is looked for.
constexpr std::size_t kMetaScanBytes = 8192;

}  // namespace

CharsetChoice detectCharset(std::string_view contentType, std::string_view body, bool html) {
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
    if (!declared.empty()) {
        choice.name = declared;
        choice.source = CharsetSource::Header;
        return choice;
    }
    if (html) {
        std::string meta = canonicalCharset(metaCharset(body.substr(0, kMetaScanBytes)));
        // A page that reached the parser as ASCII-compatible bytes cannot be
        // UTF-16, whatever it says.
        if (meta == "UTF-16LE" || meta == "UTF-16BE") meta = "UTF-8";
        if (!meta.empty()) {
            choice.name = meta;
            choice.source = CharsetSource::MetaTag;
            return choice;
        }
    }
    choice.name = isValidUtf8(body) ? "UTF-8" : "WINDOWS-1252";
    choice.source = CharsetSource::Guess;
    return choice;
}

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = sequenceLength(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string decodeToUtf8(std::string_view bytes, const std::string& charset) {
    if (charset == "UTF-8" || charset.empty()) return cleanUtf8(bytes);
    if (charset == "WINDOWS-1252") return decodeWindows1252(bytes);
    return decodeWithIconv(bytes, charset);
}

void appendAscii(std::string& out, std::string_view utf8) {
    std::size_t i = 0;
    // Whether the last character written stood for characters without an
    // ASCII form: a run of them is written as one "?".
    bool unknownRun = false;
    while (i < utf8.size()) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            if (byte >= 0x20 && byte != 0x7F) {
                out.push_back(static_cast<char>(byte));
            } else if (byte == '\t' || byte == '\n' || byte == '\r' || byte == '\f') {
                out.push_back(static_cast<char>(byte));
            }
            unknownRun = false;
            ++i;
            continue;
        }
        const std::size_t n = sequenceLength(utf8, i);
        if (n == 0) {
            ++i;
            continue;
        }
        const char32_t cp = codePoint(utf8, i, n);
        const char* ascii = nullptr;
        std::string converted;
        if (cp >= 0x80 && cp < 0xA0) {
            ascii = "";  // C1 control characters
        } else if (cp >= 0xA0 && cp <= 0xFF) {
            ascii = kLatin1[cp - 0xA0];
        } else if (cp >= 0x100 && cp <= 0x17F) {
            switch (cp) {
                case 0x132:
                    ascii = "IJ";
                    break;
                case 0x133:
                    ascii = "ij";
                    break;
                case 0x149:
                    ascii = "'n";
                    break;
                case 0x152:
                    ascii = "OE";
                    break;
                case 0x153:
                    ascii = "oe";
                    break;
                default:
                    converted.assign(1, kLatinExtendedA[cp - 0x100]);
                    ascii = converted.c_str();
                    break;
            }
        } else if (cp >= 0x300 && cp <= 0x36F) {
            ascii = "";  // combining accents: the base letter stands alone
        } else if (cp >= 0x391 && cp <= 0x3C9) {
            ascii = kGreek[cp - 0x391];
        } else if (cp >= 0x386 && cp <= 0x390) {
            static const char* const accented[] = {"A", "", "E", "I", "I", "", "O", "", "Y", "O", "i"};
            ascii = accented[cp - 0x386];
        } else if (cp >= 0x3AA && cp <= 0x3B0) {
            static const char* const accented[] = {"I", "Y", "a", "e", "i", "i", "y"};
            ascii = accented[cp - 0x3AA];
        } else if (cp >= 0x3CA && cp <= 0x3CE) {
            static const char* const accented[] = {"i", "y", "o", "y", "o"};
            ascii = accented[cp - 0x3CA];
        } else if (cp >= 0x410 && cp <= 0x44F) {
            const char* letter = kCyrillic[(cp - 0x410) % 32];
            if (cp >= 0x430) {
                converted = letter;
                if (!converted.empty() && converted[0] >= 'A' && converted[0] <= 'Z')
                    converted[0] = static_cast<char>(converted[0] - 'A' + 'a');
                ascii = converted.c_str();
            } else {
                ascii = letter;
            }
        } else if (cp == 0x401 || cp == 0x451) {
            ascii = cp == 0x401 ? "Yo" : "yo";
        } else if (cp == 0x404 || cp == 0x454) {
            ascii = cp == 0x404 ? "Ye" : "ye";
        } else if (cp == 0x406 || cp == 0x456) {
            ascii = cp == 0x406 ? "I" : "i";
        } else if (cp == 0x407 || cp == 0x457) {
            ascii = cp == 0x407 ? "Yi" : "yi";
        } else if (cp == 0x490 || cp == 0x491) {
            ascii = cp == 0x490 ? "G" : "g";
        } else if (cp >= 0xFF01 && cp <= 0xFF5E) {
            converted.assign(1, static_cast<char>(cp - 0xFEE0));  // full-width ASCII
            ascii = converted.c_str();
        } else if ((ascii = punctuation(cp)) != nullptr) {
            // found in the table
        } else if (noAsciiForm(cp)) {
            ascii = "?";
        } else {
            converted = transliterator().convert(utf8.substr(i, n));
            ascii = converted.c_str();
        }
        i += n;
        if (std::strcmp(ascii, "?") == 0) {
            if (!unknownRun) out.push_back('?');
            unknownRun = true;
            continue;
        }
        out.append(ascii);
        unknownRun = false;
    }
}

std::string encodeFromUtf8(std::string_view utf8, const std::string& charset) {
    if (charset.empty() || charset == "UTF-8" || charset.compare(0, 6, "UTF-16") == 0)
        return std::string(utf8);
    Iconv cd(charset.c_str(), "UTF-8");
    if (!cd.ok()) return std::string(utf8);
    std::string out;
    char buffer[256];
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t n = sequenceLength(utf8, i);
        if (n == 0) {
            out.push_back(utf8[i]);  // not UTF-8: the byte goes as it is
            ++i;
            continue;
        }
        // One character at a time, so that a character the charset lacks can
        // be replaced by its reference without losing the ones around it.
        char* in = const_cast<char*>(utf8.data() + i);
        std::size_t inLeft = n;
        char* to = buffer;
        std::size_t toLeft = sizeof buffer;
        const std::size_t done = iconv(cd.get(), &in, &inLeft, &to, &toLeft);
        if (done == static_cast<std::size_t>(-1)) {
            iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
            out += "&#" + std::to_string(static_cast<std::uint32_t>(codePoint(utf8, i, n))) + ";";
        } else {
            out.append(buffer, static_cast<std::size_t>(to - buffer));
        }
        i += n;
    }
    return out;
}

}  // namespace wexaproxy
