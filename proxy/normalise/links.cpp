#include "proxy/normalise/links.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "proxy/normalise/charset.h"
#include "proxy/normalise/dom.h"
#include "proxy/normalise/walker.h"

namespace wexaproxy {

namespace {

// Link text gathered at most; the text of a link is written whole up to
// this (links around whole teasers and articles included).
constexpr std::size_t MAX_LINK_TEXT_BYTES = 256 * 1024;
// Nodes looked at for letters in a link that may be only a mark.
constexpr int MARK_SCAN_BUDGET = 200;

// Whether the shown text of a subtree holds a letter or a digit of any
// script (image alt texts count as text).
bool hasWordCharacters(const GumboNode* node) {
    std::vector<const GumboNode*> pending{node};
    int budget = MARK_SCAN_BUDGET;
    while (!pending.empty()) {
        if (--budget < 0) return true;  // too much to be a mark
        const GumboNode* at = pending.back();
        pending.pop_back();
        const char* text = nullptr;
        if (at->type == GUMBO_NODE_TEXT || at->type == GUMBO_NODE_CDATA) {
            text = at->v.text.text;
        } else if (at->type == GUMBO_NODE_ELEMENT) {
            const GumboElement& element = at->v.element;
            if (isHidden(element) || isSkipped(element.tag)) continue;
            if (element.tag == GUMBO_TAG_IMG) text = attribute(element, "alt");
            for (unsigned i = 0; i < element.children.length; ++i)
                pending.push_back(childAt(element.children, i));
        }
        if (text == nullptr) continue;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
        const auto length = static_cast<std::int32_t>(std::min<std::size_t>(std::strlen(text), 4096));
        for (std::int32_t i = 0; i < length;) {
            UChar32 c = 0;
            U8_NEXT(bytes, i, length, c);
            if (c >= 0 && u_isalnum(c)) return true;
        }
    }
    return false;
}

}  // namespace

std::string LinkBuilder::token(std::string_view href) {
    auto cached = tokens_.find(std::string(href));
    if (cached != tokens_.end()) return cached->second;
    std::string token;
    const UrlResolver::Result target = state_.resolver.resolve(href);
    if (target.kind == UrlResolver::Kind::Web) token = urlToken(target.url);
    tokens_.emplace(std::string(href), token);
    return token;
}

std::string LinkBuilder::urlToken(const std::string& url) {
    // Inline when it fits in what the browser keeps: the same for every
    // client, written into the page as it is.
    std::string token = inlineLinkToken(url);
    if (token.size() <= MAX_HREF_LENGTH) return token;
    if (token.empty()) return {};
    // A sealed or stored token belongs to the client the page is sent to:
    // a slot now, issued per client (pagetokens.h). Sealed tokens are as
    // long for any client, so whether one fits is known here; only the
    // links that need the store count against its share of the page.
    const bool sealable = fitsSealed(url);
    if (!sealable && stored_ >= state_.settings.maxStoredLinks) return {};
    const std::uint64_t slot = state_.newSlot();
    TokenStore::Entry entry;
    entry.id = slot;
    entry.url = url;
    state_.built += sizeof(TokenStore::Entry) + entry.url.size();
    state_.entries.push_back(std::move(entry));
    if (!sealable) ++stored_;
    return slotMark(slot);
}

void LinkBuilder::viewLink(const std::string& url, std::string_view text) {
    const std::string target = urlToken(url);
    if (target.empty()) return;
    state_.page.link(target, text);
    ++state_.elements;
}

bool LinkBuilder::isPlaceMark(const GumboNode* node, std::string_view href) const {
    if (href.find('#') == std::string_view::npos) return false;
    const UrlResolver::Result target = state_.resolver.resolve(href);
    const bool here = target.kind == UrlResolver::Kind::Fragment ||
                      (target.kind == UrlResolver::Kind::Web && href.find('#') != std::string_view::npos &&
                       target.url == state_.resolver.base());
    return here && !hasWordCharacters(node);
}

void LinkBuilder::anchor(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    const char* href = attribute(element, "href");
    // A mark that only names a place on this page (a heading's pilcrow or
    // "#") is something to point at in a desktop browser, not text.
    if (href != nullptr && isPlaceMark(node, href)) return;
    const std::string target = href != nullptr && !state_.capReached() ? token(href) : std::string();
    if (target.empty()) {
        walker_.children(node);
        return;
    }
    // All of the text: what does not fit in the link follows it as text.
    std::string text = flatText(node, true, state_.language(), MAX_LINK_TEXT_BYTES);
    if (!hasText(text)) {
        const char* label = attribute(element, "aria-label");
        if (label == nullptr) label = attribute(element, "title");
        text = label != nullptr ? toAscii(label, state_.language()) : std::string();
        if (!hasText(text)) text = "[link]";
    }
    state_.out->link(target, text);
    ++state_.elements;
}

void LinkBuilder::frames(const GumboNode* node) {
    // Frames are pages of their own: offered as links.
    PageWriter& out = *state_.out;
    std::vector<const GumboNode*> pending{node};
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& element = at->v.element;
        if (element.tag == GUMBO_TAG_FRAME) {
            const char* src = attribute(element, "src");
            const std::string target = src != nullptr && !state_.capReached() ? token(src) : std::string();
            if (target.empty()) continue;
            const char* name = attribute(element, "title");
            if (name == nullptr) name = attribute(element, "name");
            out.blockBreak();
            out.text("Frame:");
            out.space();
            out.link(target, name != nullptr ? toAscii(name, state_.language()) : toAscii(src));
            ++state_.elements;
            out.blockBreak();
        } else if (element.tag == GUMBO_TAG_NOFRAMES) {
            continue;
        } else {
            for (unsigned i = element.children.length; i > 0; --i)
                pending.push_back(childAt(element.children, i - 1));
        }
    }
}

void LinkBuilder::refresh(const GumboElement& meta) {
    const char* content = attribute(meta, "content");
    if (content == nullptr) return;
    // lowerTrimmed keeps the length of what it does not trim.
    const std::string lowered = lowerTrimmed(content);
    const std::size_t at = lowered.find("url=");
    if (at == std::string::npos) return;
    std::string_view value(content);
    value.remove_prefix(std::min(value.size(), value.find_first_not_of(" \t\n\r\f")));
    std::string href(
        value.substr(std::min(value.size(), at + 4), lowered.size() - std::min(lowered.size(), at + 4)));
    while (!href.empty() && (href.front() == '\'' || href.front() == '"')) href.erase(0, 1);
    while (!href.empty() && (href.back() == '\'' || href.back() == '"')) href.pop_back();
    const std::string target = token(href);
    if (target.empty()) return;
    PageWriter& page = state_.page;
    page.paragraphBreak();
    page.text("This page moves on to");
    page.space();
    page.link(target, toAscii(state_.resolver.resolve(href).url));
    page.paragraphBreak();
    ++state_.elements;
}

}  // namespace wexaproxy
