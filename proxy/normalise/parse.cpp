#include "proxy/normalise/parse.h"

#include <algorithm>
#include <cstdint>

#include "proxy/normalise/ascii.h"
#include "proxy/normalise/charset.h"

namespace wexaproxy {

namespace {

// Elements that do not stay open around what follows them: void elements,
// and those the parser closes by themselves when the next one starts.
// (Asked for every tag of a page: the name is compared only with the names
// of its length.)
bool leavesNothingOpen(std::string_view name) {
    static constexpr std::string_view NAMES[] = {
        "br",    "img",   "input",  "meta",  "link",   "hr",    "wbr",   "area",    "base", "col",
        "embed", "param", "source", "track", "keygen", "p",     "li",    "dt",      "dd",   "option",
        "tr",    "td",    "th",     "tbody", "thead",  "tfoot", "frame", "!doctype"};
    constexpr std::size_t LONGEST = 8;
    if (name.empty() || name.size() > LONGEST) return false;
    char lower[LONGEST];
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const std::string_view folded(lower, name.size());
    for (const std::string_view known : NAMES) {
        if (known.size() == folded.size() && known == folded) return true;
    }
    return false;
}

// Memory gumbo takes for what a page holds, measured on this machine with
// pages of nothing but one kind of it (a line break, an option with its
// text, an input with two attributes), allocator overhead included.
constexpr std::uint64_t ELEMENT_BYTES = 256;
constexpr std::uint64_t ATTRIBUTE_BYTES = 240;
constexpr std::uint64_t TEXT_NODE_BYTES = 200;

// About a second of the tree builder's time on this machine.
constexpr std::uint64_t PARSE_COST_BUDGET = 200000000;

// The attributes of the tag whose name ends at `at`, counted the way the
// tokenizer reads them (names, then an optional "=" and a value, quoted or
// not); `at` moves past the tag.
std::uint64_t countAttributes(std::string_view html, std::size_t& at) {
    std::uint64_t count = 0;
    while (at < html.size()) {
        while (at < html.size() && (isHtmlSpace(html[at]) || html[at] == '/')) ++at;
        if (at >= html.size() || html[at] == '>') break;
        ++count;
        while (at < html.size() && !isHtmlSpace(html[at]) && html[at] != '/' && html[at] != '>' &&
               html[at] != '=')
            ++at;
        while (at < html.size() && isHtmlSpace(html[at])) ++at;
        if (at >= html.size() || html[at] != '=') continue;
        ++at;
        while (at < html.size() && isHtmlSpace(html[at])) ++at;
        if (at < html.size() && (html[at] == '"' || html[at] == '\'')) {
            const std::size_t close = html.find(html[at], at + 1);
            at = close == std::string_view::npos ? html.size() : close + 1;
        } else {
            while (at < html.size() && !isHtmlSpace(html[at]) && html[at] != '>') ++at;
        }
    }
    return count;
}

struct ParseCut {
    std::size_t at = std::string_view::npos;
    PageCut why = PageCut::None;
};

// Where to cut a page so that parsing it stays within a time bound and its
// tree within maxTreeBytes.
//
// The HTML5 tree builder looks through the stack of open elements for
// most start tags, so a page that nests elements tens of thousands deep
// takes time that grows with the square of its depth: seconds to hours of a
// worker's time for a megabyte. Desktop browsers cap the depth of their
// trees for the same reason. The tokenizer compares each attribute of a tag
// with those before it, so a tag of a hundred thousand attributes takes
// half a minute. And the tree takes a few hundred bytes for each element,
// attribute and text node, fifty times the page for one of nothing but
// short tags. This is not parsing: it only estimates those costs (the sum of
// the open depth at each start tag, counting only elements that stay open,
// and the pairs of attributes of each tag; the tree's bytes) and returns
// the position where one passes its budget, or npos.
ParseCut parseCut(std::string_view html, std::uint64_t costBudget, std::uint64_t maxTreeBytes) {
    std::uint64_t depth = 0;
    std::uint64_t cost = 0;
    std::uint64_t treeBytes = 0;
    std::size_t at = 0;
    std::size_t textStart = 0;
    while ((at = html.find('<', at)) != std::string_view::npos) {
        const std::size_t tagStart = at;
        ++at;
        const bool closing = at < html.size() && html[at] == '/';
        if (closing) ++at;
        std::size_t end = at;
        while (end < html.size() && (isAsciiAlnum(html[end]) || html[end] == '!')) ++end;
        if (end == at) continue;
        const std::string_view name = html.substr(at, end - at);
        at = end;
        if (tagStart > textStart) treeBytes += TEXT_NODE_BYTES + (tagStart - textStart);
        const std::uint64_t attributes = countAttributes(html, at);
        textStart = at + 1;
        const std::uint64_t pairs = attributes * (attributes - (attributes > 0 ? 1 : 0)) / 2;
        if (cost + pairs > costBudget) return {tagStart, PageCut::TooMuchMarkup};
        cost += pairs;
        if (!closing) {
            treeBytes += ELEMENT_BYTES + attributes * ATTRIBUTE_BYTES;
            if (treeBytes > maxTreeBytes) return {tagStart, PageCut::TooMuchMarkup};
        }
        if (leavesNothingOpen(name)) continue;
        if (closing) {
            if (depth > 0) --depth;
            continue;
        }
        ++depth;
        cost += depth;
        if (cost > costBudget) return {tagStart, PageCut::TooDeep};
    }
    return {};
}

}  // namespace

ParsedPage::ParsedPage(std::string_view body, std::string_view contentType, std::size_t maxInputBytes,
                       std::size_t maxTreeBytes) {
    const bool truncated = body.size() > maxInputBytes;
    if (truncated) body = body.substr(0, maxInputBytes);
    const GumboOptions options = memory_.options();
    ParseCut cut;
    CharsetChoice charset;
    // Most pages are UTF-8 and say so in a meta element, which is found by
    // parsing the page's first kilobytes. When the bytes are their own
    // UTF-8 text, the page is parsed first and the meta element looked for
    // in its tree, which spares that second parse; when the page turns out
    // to be in another charset after all, it is read and parsed again.
    // Such a page is also parsed where it lies, without a copy.
    if (isOwnUtf8Text(body)) {
        cut = parseCut(body, PARSE_COST_BUDGET, maxTreeBytes);
        if (cut.at == std::string_view::npos) {
            output_ = gumbo_parse_with_options(&options, body.data(), body.size());
            charset = detectCharset(contentType, body, true, output_->root);
            if (charset.name != "UTF-8" || charset.bomLength != 0) {
                memory_.clear();
                output_ = nullptr;
            }
        }
    }
    if (output_ == nullptr) {
        charset = detectCharset(contentType, body, true);
        utf8_ = decodeToUtf8(body.substr(std::min(charset.bomLength, body.size())), charset.name);
        cut = parseCut(utf8_, PARSE_COST_BUDGET, maxTreeBytes);
        if (cut.at != std::string_view::npos) utf8_.resize(cut.at);
        output_ = gumbo_parse_with_options(&options, utf8_.data(), utf8_.size());
    }
    // Forms send their data in the page's charset; UTF-16 pages send UTF-8.
    formCharset_ = charset.name.compare(0, 6, "UTF-16") == 0 ? "UTF-8" : charset.name;
    cut_ = truncated ? PageCut::TooLarge : cut.why;
}

}  // namespace wexaproxy
