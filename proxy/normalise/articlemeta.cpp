#include "proxy/normalise/articlemeta.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "proxy/normalise/articletext.h"
#include "proxy/normalise/ascii.h"

namespace wexaproxy::articlemeta {

using namespace articletext;

namespace {

// A byline taken from the page's markup is at most this long.
constexpr std::size_t MAX_MARKUP_BYLINE = 60;

// Dates before this year are placeholders.
constexpr int MIN_YEAR = 1900;

// Deepest nesting the JSON reader follows.
constexpr int MAX_JSON_DEPTH = 48;

}  // namespace

// --- A small JSON reader for the page's schema.org data ---------------------------

struct Json {
    enum class Kind { Null, Scalar, String, Array, Object };
    Kind kind = Kind::Null;
    std::string text;  // a string's value
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json* member(std::string_view name) const {
        for (const auto& m : members) {
            if (m.first == name) return &m.second;
        }
        return nullptr;
    }
};

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Reads one JSON value; false on anything that is not JSON (the page's
// data is then not used).
class JsonReader {
public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    bool read(Json& out) {
        if (!value(out, 0)) return false;
        skipBlanks();
        return at_ == text_.size() || text_[at_] == ';';
    }

private:
    void skipBlanks() {
        while (at_ < text_.size() && isHtmlSpace(text_[at_])) ++at_;
    }

    bool value(Json& out, int depth) {
        if (depth > MAX_JSON_DEPTH) return false;
        skipBlanks();
        if (at_ >= text_.size()) return false;
        const char c = text_[at_];
        if (c == '{') return object(out, depth);
        if (c == '[') return array(out, depth);
        if (c == '"') {
            out.kind = Json::Kind::String;
            return string(out.text);
        }
        // A number, true, false or null: not needed, only skipped.
        const std::size_t start = at_;
        while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) ||
                                      text_[at_] == '-' || text_[at_] == '+' || text_[at_] == '.'))
            ++at_;
        out.kind = text_.substr(start, at_ - start) == "null" ? Json::Kind::Null : Json::Kind::Scalar;
        return at_ > start;
    }

    bool object(Json& out, int depth) {
        out.kind = Json::Kind::Object;
        ++at_;
        skipBlanks();
        if (at_ < text_.size() && text_[at_] == '}') {
            ++at_;
            return true;
        }
        while (true) {
            skipBlanks();
            std::string name;
            if (at_ >= text_.size() || text_[at_] != '"' || !string(name)) return false;
            skipBlanks();
            if (at_ >= text_.size() || text_[at_] != ':') return false;
            ++at_;
            Json member;
            if (!value(member, depth + 1)) return false;
            out.members.emplace_back(std::move(name), std::move(member));
            skipBlanks();
            if (at_ >= text_.size()) return false;
            if (text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (text_[at_] != '}') return false;
            ++at_;
            return true;
        }
    }

    bool array(Json& out, int depth) {
        out.kind = Json::Kind::Array;
        ++at_;
        skipBlanks();
        if (at_ < text_.size() && text_[at_] == ']') {
            ++at_;
            return true;
        }
        while (true) {
            Json item;
            if (!value(item, depth + 1)) return false;
            out.items.push_back(std::move(item));
            skipBlanks();
            if (at_ >= text_.size()) return false;
            if (text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (text_[at_] != ']') return false;
            ++at_;
            return true;
        }
    }

    bool hex4(std::uint32_t& code) {
        if (at_ + 4 > text_.size()) return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            code <<= 4;
            if (c >= '0' && c <= '9') {
                code |= static_cast<std::uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                code |= static_cast<std::uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                code |= static_cast<std::uint32_t>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }

    bool string(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char escaped = text_[at_++];
            switch (escaped) {
                case 'n':
                case 't':
                case 'r':
                case 'f':
                case 'b':
                    out.push_back(' ');
                    break;
                case 'u': {
                    std::uint32_t code = 0;
                    if (!hex4(code)) return false;
                    if (code >= 0xD800 && code < 0xDC00 && at_ + 1 < text_.size() && text_[at_] == '\\' &&
                        text_[at_ + 1] == 'u') {
                        at_ += 2;
                        std::uint32_t low = 0;
                        if (!hex4(low)) return false;
                        if (low >= 0xDC00 && low < 0xE000) {
                            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                        } else {
                            code = 0xFFFD;
                        }
                    } else if (code >= 0xD800 && code < 0xE000) {
                        code = 0xFFFD;
                    }
                    if (code == 0) code = ' ';
                    appendUtf8(out, code);
                    break;
                }
                default:
                    out.push_back(escaped);
            }
        }
        return false;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

// --- What the page says about itself ----------------------------------------------

// The text of an element the page marks as its author, when it is short
// enough to be a name and not a whole byline block.
std::string bylineOf(const GumboNode* node) {
    std::string text = textOf(node);
    return text.size() <= MAX_MARKUP_BYLINE ? text : std::string();
}

bool isUrl(std::string_view text) {
    return text.rfind("http://", 0) == 0 || text.rfind("https://", 0) == 0 || text.rfind("//", 0) == 0;
}

// "2019-11-19T08:00:00-05:00" is shortened to its day; other dates stay as
// the page writes them.
std::string shortDate(std::string date) {
    date = collapsed(date);
    const auto digit = [&](std::size_t i) { return i < date.size() && date[i] >= '0' && date[i] <= '9'; };
    if (date.size() >= 10 && digit(0) && digit(1) && digit(2) && digit(3) && date[4] == '-' && digit(5) &&
        digit(6) && date[7] == '-' && digit(8) && digit(9)) {
        // Content systems write "0001-01-01" for a date they do not have.
        if (std::atoi(date.substr(0, 4).c_str()) < MIN_YEAR) return {};
        return date.substr(0, 10);
    }
    return date;
}

// Text with HTML character references decoded: the numeric ones and the
// common named ones (JSON-LD data is not HTML, but content systems often
// write its strings with references).
std::string decodeReferences(std::string_view text) {
    static const std::pair<const char*, std::uint32_t> NAMED[] = {
        {"amp", '&'},      {"lt", '<'},        {"gt", '>'},       {"quot", '"'},     {"apos", '\''},
        {"nbsp", 0xA0},    {"hellip", 0x2026}, {"mdash", 0x2014}, {"ndash", 0x2013}, {"lsquo", 0x2018},
        {"rsquo", 0x2019}, {"ldquo", 0x201C},  {"rdquo", 0x201D}, {"laquo", 0xAB},   {"raquo", 0xBB}};
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t semicolon = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
        if (semicolon == std::string_view::npos || semicolon - i > 10) {
            out.push_back(text[i++]);
            continue;
        }
        const std::string_view name = text.substr(i + 1, semicolon - i - 1);
        std::uint32_t code = 0;
        if (name.size() >= 2 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits(name.substr(hex ? 2 : 1));
            char* end = nullptr;
            const unsigned long value = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
            if (!digits.empty() && end != nullptr && *end == '\0' && value > 0 && value < 0x110000 &&
                (value < 0xD800 || value > 0xDFFF))
                code = static_cast<std::uint32_t>(value);
        } else {
            for (const auto& entry : NAMED) {
                if (name == entry.first) code = entry.second;
            }
        }
        if (code == 0) {
            out.push_back(text[i++]);
            continue;
        }
        appendUtf8(out, code);
        i = semicolon + 1;
    }
    return out;
}

// A string of the page's JSON-LD data as text to show.
std::string jsonText(const std::string& value) {
    return collapsed(decodeReferences(value));
}

// A schema.org type of an article ("NewsArticle", "BlogPosting"), also as
// a URL ("http://schema.org/Article").
bool isArticleTypeName(std::string_view name) {
    return name.find("Article") != std::string_view::npos ||
           name.find("BlogPosting") != std::string_view::npos ||
           name.find("Report") != std::string_view::npos || name.find("Review") != std::string_view::npos;
}

bool isArticleType(const Json& type) {
    if (type.kind == Json::Kind::String) return isArticleTypeName(type.text);
    for (const Json& item : type.items) {
        if (item.kind == Json::Kind::String && isArticleTypeName(item.text)) return true;
    }
    return false;
}

// The names in an author value: a name, a person or organisation with a
// name, or a list of these.
void authorNames(const Json& author, std::vector<std::string>& names) {
    if (author.kind == Json::Kind::String) {
        const std::string name = jsonText(author.text);
        if (!name.empty() && !isUrl(name)) names.push_back(name);
    } else if (author.kind == Json::Kind::Object) {
        if (const Json* name = author.member("name")) authorNames(*name, names);
    } else if (author.kind == Json::Kind::Array) {
        for (const Json& item : author.items) authorNames(item, names);
    }
}

// The names joined with commas, each once.
std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (std::find(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(i), names[i]) !=
            names.begin() + static_cast<std::ptrdiff_t>(i))
            continue;
        if (!out.empty()) out += ", ";
        out += names[i];
    }
    return out;
}

// The first article object in a schema.org value (objects, lists of them,
// and @graph lists), depth first.
const Json* findArticleObject(const Json& value, int depth) {
    if (depth > MAX_JSON_DEPTH) return nullptr;
    if (value.kind == Json::Kind::Object) {
        const Json* type = value.member("@type");
        if (type != nullptr && isArticleType(*type)) return &value;
        if (const Json* graph = value.member("@graph")) return findArticleObject(*graph, depth + 1);
        if (const Json* main = value.member("mainEntity")) return findArticleObject(*main, depth + 1);
        return nullptr;
    }
    if (value.kind == Json::Kind::Array) {
        for (const Json& item : value.items) {
            if (const Json* found = findArticleObject(item, depth + 1)) return found;
        }
    }
    return nullptr;
}

void readJsonLd(std::string_view text, Declared& declared) {
    if (declared.jsonArticle) return;  // the first article object wins
    Json value;
    JsonReader reader(text);
    if (!reader.read(value)) return;
    const Json* article = findArticleObject(value, 0);
    if (article == nullptr) return;
    declared.jsonArticle = true;
    if (const Json* headline = article->member("headline"); headline && headline->kind == Json::Kind::String)
        declared.jsonTitle = jsonText(headline->text);
    if (declared.jsonTitle.empty()) {
        if (const Json* name = article->member("name"); name && name->kind == Json::Kind::String)
            declared.jsonTitle = jsonText(name->text);
    }
    if (const Json* author = article->member("author")) {
        std::vector<std::string> names;
        authorNames(*author, names);
        declared.jsonByline = joined(names);
    }
    if (const Json* date = article->member("datePublished"); date && date->kind == Json::Kind::String)
        declared.jsonDate = shortDate(date->text);
}

void readMeta(const GumboNode* node, Declared& declared) {
    const char* content = attribute(node, "content");
    if (content == nullptr) return;
    const char* key = attribute(node, "property");
    if (key == nullptr) key = attribute(node, "name");
    if (key == nullptr) key = attribute(node, "itemprop");
    if (key == nullptr) return;
    const std::string name = lowerTrimmed(key);
    const std::string value = collapsed(content);
    if (value.empty()) return;
    if (name == "og:site_name") {
        declared.siteName = value;
    } else if (name == "og:title") {
        if (declared.ogTitle.empty()) declared.ogTitle = value;
    } else if (name == "og:type") {
        declared.ogType = lowerTrimmed(value);
    } else if (name == "author" || name == "article:author" || name == "dc.creator" || name == "byl" ||
               name == "sailthru.author" || name == "parsely-author") {
        if (declared.metaAuthor.empty() && !isUrl(value)) declared.metaAuthor = value;
    } else if (name == "article:published_time" || name == "datepublished" || name == "date" ||
               name == "pubdate" || name == "publishdate" || name == "publish-date" || name == "dc.date" ||
               name == "dc.date.issued" || name == "dcterms.date" || name == "sailthru.date" ||
               name == "parsely-pub-date") {
        if (declared.metaDate.empty()) declared.metaDate = shortDate(value);
    }
}

}  // namespace wexaproxy::articlemeta
