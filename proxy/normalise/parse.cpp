#include "proxy/normalise/parse.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "proxy/normalise/charset.h"

namespace wexaproxy {

namespace {

// Elements that do not stay open around what follows them: void elements,
// and those the parser closes by themselves when the next one starts.
bool leavesNothingOpen(std::string_view name) {
    static const char* const NAMES[] = {"br",     "img",  "input", "meta",  "link",  "hr",     "wbr",
                                        "area",   "base", "col",   "embed", "param", "source", "track",
                                        "keygen", "p",    "li",    "dt",    "dd",    "option", "tr",
                                        "td",     "th",   "tbody", "thead", "tfoot", "frame",  "!doctype"};
    for (const char* known : NAMES) {
        if (name.size() == std::char_traits<char>::length(known) &&
            std::equal(name.begin(), name.end(), known, [](char a, char b) {
                return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
            }))
            return true;
    }
    return false;
}

// Where to cut a page so that parsing it stays within a time bound.
//
// The HTML5 tree builder looks through the stack of open elements for
// most start tags, so a page that nests elements tens of thousands deep
// takes time that grows with the square of its depth: seconds to hours of a
// worker's time for a megabyte. Desktop browsers cap the depth of their
// trees for the same reason. This is not parsing: it only estimates that
// cost (the sum of the open depth at each start tag, counting only elements
// that stay open) and returns the position where it passes budget, or npos.
std::size_t parseCostCut(std::string_view html, std::uint64_t budget) {
    std::uint64_t depth = 0;
    std::uint64_t cost = 0;
    std::size_t at = 0;
    while ((at = html.find('<', at)) != std::string_view::npos) {
        const std::size_t tagStart = at;
        ++at;
        const bool closing = at < html.size() && html[at] == '/';
        if (closing) ++at;
        std::size_t end = at;
        while (end < html.size() && (std::isalnum(static_cast<unsigned char>(html[end])) || html[end] == '!'))
            ++end;
        if (end == at) continue;
        const std::string_view name = html.substr(at, end - at);
        at = end;
        if (leavesNothingOpen(name)) continue;
        if (closing) {
            if (depth > 0) --depth;
            continue;
        }
        ++depth;
        cost += depth;
        if (cost > budget) return tagStart;
    }
    return std::string_view::npos;
}

// About a second of the tree builder's time on this machine.
constexpr std::uint64_t PARSE_COST_BUDGET = 200000000;

}  // namespace

ParsedPage::ParsedPage(std::string_view body, std::string_view contentType, std::size_t maxInputBytes) {
    const bool truncated = body.size() > maxInputBytes;
    if (truncated) body = body.substr(0, maxInputBytes);
    const CharsetChoice charset = detectCharset(contentType, body, true);
    utf8_ = decodeToUtf8(body.substr(std::min(charset.bomLength, body.size())), charset.name);
    const std::size_t cut = parseCostCut(utf8_, PARSE_COST_BUDGET);
    const bool tooDeep = cut != std::string::npos;
    if (tooDeep) utf8_.resize(cut);
    const GumboOptions options = memory_.options();
    output_ = gumbo_parse_with_options(&options, utf8_.data(), utf8_.size());
    // Forms send their data in the page's charset; UTF-16 pages send UTF-8.
    formCharset_ = charset.name.compare(0, 6, "UTF-16") == 0 ? "UTF-8" : charset.name;
    cut_ = truncated ? PageCut::TooLarge : tooDeep ? PageCut::TooDeep : PageCut::None;
}

}  // namespace wexaproxy
