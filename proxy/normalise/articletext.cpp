#include "proxy/normalise/articletext.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

#include "proxy/normalise/article.h"
#include "proxy/normalise/ascii.h"
#include "proxy/normalise/dom.h"

namespace wexaproxy::articletext {

namespace {

// Class and id hints -----------------------------------------------------------

// Words in a class or id that name the article's text (found anywhere in
// the value: "articleBody", "post-content").
constexpr const char* POSITIVE_HINTS[] = {"article", "body",  "content", "entry", "main",  "post",
                                          "text",    "story", "blog",    "prose", "hentry"};
// Words that name what is around the text (found anywhere in the value).
constexpr const char* NEGATIVE_HINTS[] = {
    "comment",  "footer",    "sidebar",  "share",      "sharing",      "social",     "related",
    "promo",    "nav",       "menu",     "breadcrumb", "newsletter",   "subscri",    "signup",
    "widget",   "banner",    "popup",    "modal",      "cookie",       "consent",    "outbrain",
    "taboola",  "recommend", "sponsor",  "advert",     "masthead",     "pagination", "pager",
    "toolbar",  "disqus",    "trending", "popular",    "more-stories", "gallery",    "slideshow",
    "carousel", "lightbox",  "newsfeed", "shoutbox",   "combx",        "tag-list",   "taglist"};
// Whole words (between dashes, underscores, blanks) that name what is
// around the text; too short to be looked for inside other words.
constexpr const char* NEGATIVE_WORDS[] = {"ad",  "ads",  "adv",   "tags",  "tag",    "skip",  "print",
                                          "rss", "foot", "aside", "extra", "follow", "login", "hidden"};
// Words of a byline or dateline block.
constexpr const char* BYLINE_HINTS[] = {"byline",  "author", "dateline", "timestamp", "pubdate",
                                        "publish", "posted", "date",     "writer",    "credit"};
// Text only screen readers get; a desktop browser hides it with style
// sheets.
constexpr const char* SCREEN_READER_HINTS[] = {
    "sr-only", "screen-reader", "visually-hidden", "visuallyhidden", "screenreader", "a11y", "offscreen"};

// The hint lists a class or id value is searched for, as bits.
constexpr unsigned POSITIVE = 1;
constexpr unsigned NEGATIVE = 2;
constexpr unsigned BYLINE = 4;
constexpr unsigned SCREEN_READER = 8;
constexpr unsigned CAPTION = 16;

// The words of all the lists by their first byte, each with the bits of
// the lists it is in: one pass over a value finds which lists have a word
// anywhere in it (the same answer as looking for each word in turn, at a
// fraction of the cost; a page has hundreds of distinct values).
class HintWords {
public:
    HintWords() {
        add(POSITIVE_HINTS, POSITIVE);
        add(NEGATIVE_HINTS, NEGATIVE);
        add(BYLINE_HINTS, BYLINE);
        add(SCREEN_READER_HINTS, SCREEN_READER);
        const char* const caption[] = {"caption"};
        add(caption, CAPTION);
    }

    // The bits of the lists that have a word in value.
    unsigned found(std::string_view value) const {
        unsigned bits = 0;
        for (std::size_t at = 0; at < value.size(); ++at) {
            for (const Word& word : byFirst_[static_cast<unsigned char>(value[at])]) {
                if ((bits & word.bits) == word.bits) continue;
                if (value.compare(at, word.text.size(), word.text) == 0) bits |= word.bits;
            }
        }
        return bits;
    }

private:
    struct Word {
        std::string_view text;
        unsigned bits;
    };

    template <std::size_t N>
    void add(const char* const (&words)[N], unsigned bits) {
        for (const char* text : words) {
            std::vector<Word>& bucket = byFirst_[static_cast<unsigned char>(text[0])];
            bool known = false;
            for (Word& word : bucket) {
                if (word.text == text) {
                    word.bits |= bits;
                    known = true;
                }
            }
            if (!known) bucket.push_back({text, bits});
        }
    }

    std::vector<Word> byFirst_[256];
};

const HintWords& hintWords() {
    static const HintWords words;
    return words;
}

template <std::size_t N>
bool hasWord(const std::string& value, const char* const (&words)[N]) {
    std::size_t start = 0;
    while (start < value.size()) {
        std::size_t end = start;
        while (end < value.size() && isAsciiAlnum(value[end])) ++end;
        if (end > start) {
            const std::string_view word(value.data() + start, end - start);
            for (const char* candidate : words) {
                if (word == candidate) return true;
            }
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

const char* attribute(const GumboNode* node, const char* name) {
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) return nullptr;
    const GumboAttribute* found = findAttribute(node->v.element.attributes, name);
    return found != nullptr ? found->value : nullptr;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string lowerTrimmed(std::string_view text) {
    while (!text.empty() && isHtmlSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isHtmlSpace(text.back())) text.remove_suffix(1);
    return lowerAscii(text);
}

// Appends text with each run of blanks (also no-break spaces) written as
// one blank, and none at the start of out.
void appendCollapsed(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        bool blank = isHtmlSpace(c);
        std::size_t width = 1;
        if (!blank && static_cast<unsigned char>(c) == 0xC2 && i + 1 < text.size() &&
            static_cast<unsigned char>(text[i + 1]) == 0xA0) {
            blank = true;
            width = 2;
        }
        if (blank) {
            if (!out.empty() && out.back() != ' ') out.push_back(' ');
        } else {
            out.push_back(c);
        }
        i += width - 1;
    }
}

std::string collapsed(std::string_view text) {
    std::string out;
    appendCollapsed(out, text);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

const GumboVector* childrenOf(const GumboNode* node) {
    if (node->type == GUMBO_NODE_DOCUMENT) return &node->v.document.children;
    if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE)
        return &node->v.element.children;
    return nullptr;
}

// The text of a subtree, blanks collapsed, without what is never shown.
std::string textOf(const GumboNode* root) {
    std::string out;
    std::vector<const GumboNode*> pending{root};
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type == GUMBO_NODE_TEXT || at->type == GUMBO_NODE_CDATA ||
            at->type == GUMBO_NODE_WHITESPACE) {
            appendCollapsed(out, at->v.text.text);
            continue;
        }
        if (isNeverShown(at)) continue;
        const GumboVector* children = childrenOf(at);
        if (children == nullptr) continue;
        if (!out.empty() && out.back() != ' ') out.push_back(' ');
        for (unsigned i = children->length; i > 0; --i)
            pending.push_back(static_cast<const GumboNode*>(children->data[i - 1]));
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// Text reduced to lower-case ASCII letters and digits, for comparing titles
// and headings (other characters are kept as they are, case and all).
std::string comparable(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')) {
            out.push_back(c);
        } else if (c >= 'A' && c <= 'Z') {
            out.push_back(static_cast<char>(c - 'A' + 'a'));
        }
    }
    return out;
}

// -1, 0 or 1: one class or id value speaks for boilerplate, for nothing,
// for content. Boilerplate wins: "article-comments" are comments.
int hintOf(const std::string& value) {
    if (value.empty()) return 0;
    const unsigned found = hintWords().found(value);
    if ((found & NEGATIVE) != 0 || hasWord(value, NEGATIVE_WORDS)) return -1;
    if ((found & POSITIVE) != 0) return 1;
    return 0;
}

Hints HintCache::of(const GumboElement& element) {
    Hints hints;
    // One pass over the attributes for both (the parser writes names in
    // lower case, and keeps only the first of two with the same name).
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attr = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        const char* name = attr->name;
        const bool hinted = (name[0] == 'c' && std::strcmp(name, "class") == 0) ||
                            (name[0] == 'i' && name[1] == 'd' && name[2] == '\0');
        if (!hinted || attr->value[0] == '\0') continue;
        const Hints& one = lookup(attr->value);
        hints.weight += one.weight;
        hints.byline = hints.byline || one.byline;
        hints.screenReader = hints.screenReader || one.screenReader;
        hints.caption = hints.caption || one.caption;
    }
    return hints;
}

const Hints& HintCache::lookup(const char* value) {
    const std::string_view key(value);
    auto known = cache_.find(key);
    if (known != cache_.end()) return known->second;
    // (The lower-case copy in a buffer the thread keeps: most values are
    // met once.)
    thread_local std::string lower;
    lower.assign(key);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const unsigned found = lower.empty() ? 0 : hintWords().found(lower);
    Hints hints;
    hints.weight = (found & NEGATIVE) != 0 || hasWord(lower, NEGATIVE_WORDS) ? -1
                   : (found & POSITIVE) != 0                                 ? 1
                                                                             : 0;
    hints.byline = (found & BYLINE) != 0 || hasWord(lower, {"meta", "by"});
    hints.screenReader = (found & SCREEN_READER) != 0;
    hints.caption = (found & CAPTION) != 0;
    return cache_.emplace(key, hints).first->second;
}

// --- Character counting -----------------------------------------------------------

// Characters of text that count: blanks do not; a character of the scripts
// that write a word in one or two characters (Chinese, Japanese, Korean)
// counts twice. Commas of any script are counted on the side.
void countText(std::string_view text, int& chars, int& commas) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned char c = bytes[i];
        if (c < 0x80) {
            if (c == ',') ++commas;
            if (!isHtmlSpace(static_cast<char>(c))) ++chars;
            ++i;
            continue;
        }
        std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (i + length > size) length = size - i;
        std::uint32_t code = 0;
        if (length == 2) {
            code = ((c & 0x1Fu) << 6) | (bytes[i + 1] & 0x3Fu);
        } else if (length == 3) {
            code = ((c & 0x0Fu) << 12) | ((bytes[i + 1] & 0x3Fu) << 6) | (bytes[i + 2] & 0x3Fu);
        } else if (length == 4) {
            code = 0x10000;
        }
        i += length;
        if (code == 0xA0 || code == 0x200B || code == 0x3000) continue;  // blanks
        if (code == 0x060C || code == 0x3001 || code == 0xFF0C) ++commas;
        chars += code >= 0x2E80 ? 2 : 1;
    }
}

// True when text ends as a sentence does (with a full stop, a question or
// exclamation mark, in any script, possibly followed by a quotation mark).
bool endsSentence(std::string_view text) {
    while (!text.empty() &&
           (isHtmlSpace(text.back()) || text.back() == '"' || text.back() == '\'' || text.back() == ')'))
        text.remove_suffix(1);
    if (text.empty()) return false;
    const char last = text.back();
    if (last == '.' || last == '!' || last == '?') return true;
    // U+3002 ideographic full stop, U+FF01, U+FF1F full-width marks,
    // U+201D right double quotation mark.
    for (std::string_view mark : {"\xE3\x80\x82", "\xEF\xBC\x81", "\xEF\xBC\x9F", "\xE2\x80\x9D"}) {
        if (text.size() >= mark.size() && text.substr(text.size() - mark.size()) == mark) {
            if (mark != "\xE2\x80\x9D") return true;
            return endsSentence(text.substr(0, text.size() - mark.size()));
        }
    }
    return false;
}

// Elements whose text flows on the line of the text around them.
bool isInline(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_A:
        case GUMBO_TAG_ABBR:
        case GUMBO_TAG_ACRONYM:
        case GUMBO_TAG_B:
        case GUMBO_TAG_BDI:
        case GUMBO_TAG_BDO:
        case GUMBO_TAG_BIG:
        case GUMBO_TAG_BR:
        case GUMBO_TAG_CITE:
        case GUMBO_TAG_CODE:
        case GUMBO_TAG_DATA:
        case GUMBO_TAG_DEL:
        case GUMBO_TAG_DFN:
        case GUMBO_TAG_EM:
        case GUMBO_TAG_FONT:
        case GUMBO_TAG_I:
        case GUMBO_TAG_IMG:
        case GUMBO_TAG_INS:
        case GUMBO_TAG_KBD:
        case GUMBO_TAG_LABEL:
        case GUMBO_TAG_MARK:
        case GUMBO_TAG_NOBR:
        case GUMBO_TAG_Q:
        case GUMBO_TAG_RUBY:
        case GUMBO_TAG_S:
        case GUMBO_TAG_SAMP:
        case GUMBO_TAG_SMALL:
        case GUMBO_TAG_SPAN:
        case GUMBO_TAG_STRIKE:
        case GUMBO_TAG_STRONG:
        case GUMBO_TAG_SUB:
        case GUMBO_TAG_SUP:
        case GUMBO_TAG_TIME:
        case GUMBO_TAG_TT:
        case GUMBO_TAG_U:
        case GUMBO_TAG_VAR:
        case GUMBO_TAG_WBR:
            return true;
        default:
            return false;
    }
}

// Elements that are one paragraph of text: their running text counts for
// the element that holds them.
bool isParagraph(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_P:
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_LI:
        case GUMBO_TAG_DT:
        case GUMBO_TAG_DD:
        case GUMBO_TAG_FIGCAPTION:
        case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_ADDRESS:
        case GUMBO_TAG_SUMMARY:
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
            return true;
        default:
            return false;
    }
}

bool isHeading(GumboTag tag) {
    return tag == GUMBO_TAG_H1 || tag == GUMBO_TAG_H2 || tag == GUMBO_TAG_H3 || tag == GUMBO_TAG_H4 ||
           tag == GUMBO_TAG_H5 || tag == GUMBO_TAG_H6;
}

bool isSkippedOrHidden(const GumboElement& element) {
    return wexaproxy::isSkipped(element.tag) || wexaproxy::isHidden(element);
}

}  // namespace wexaproxy::articletext
