#include "proxy/normalise/links.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "proxy/normalise/charset.h"
#include "proxy/normalise/dom.h"
#include "proxy/normalise/walker.h"

namespace wexaproxy {

std::string LinkBuilder::token(std::string_view href) {
    auto cached = tokens_.find(std::string(href));
    if (cached != tokens_.end()) return cached->second;
    std::string token;
    const UrlResolver::Result target = state_.resolver.resolve(href);
    if (target.kind == UrlResolver::Kind::Web) {
        token = inlineLinkToken(target.url);
        if (token.size() > MAX_HREF_LENGTH) {
            token.clear();
            if (stored_ < state_.settings.maxStoredLinks) {
                const std::uint64_t id = state_.store.newId();
                token = storedLinkToken(id);
                TokenStore::Entry entry;
                entry.id = id;
                entry.url = target.url;
                state_.built += sizeof(TokenStore::Entry) + entry.url.size();
                state_.entries.push_back(std::move(entry));
                ++stored_;
            }
        }
    }
    tokens_.emplace(std::string(href), token);
    return token;
}

void LinkBuilder::anchor(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    const char* href = attribute(element, "href");
    const std::string target = href != nullptr && !state_.capReached() ? token(href) : std::string();
    if (target.empty()) {
        walker_.children(node);
        return;
    }
    std::string text = flatText(node, true);
    if (!hasText(text)) {
        const char* label = attribute(element, "aria-label");
        if (label == nullptr) label = attribute(element, "title");
        text = label != nullptr ? toAscii(label) : std::string();
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
            out.link(target, name != nullptr ? toAscii(name) : toAscii(src));
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
