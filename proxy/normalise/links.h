#pragma once
// The links of a page while it is walked: each target resolved against the
// page (resolve.h) and written as the token the browser carries (tokens.h),
// with its text as one word; frames offered as links; a meta refresh as a
// link to the page it moves on to.

#include <gumbo.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "proxy/normalise/walkstate.h"

namespace wexaproxy {

class Walker;

class LinkBuilder {
public:
    LinkBuilder(WalkState& state, Walker& walker) : state_(state), walker_(walker) {}

    // An A element: a link, or its content as text when it cannot be
    // followed here (mailto:, javascript:, a place on this page).
    void anchor(const GumboNode* node);
    // A frameset: its frames as links, one a line.
    void frames(const GumboNode* node);
    // A meta refresh ("5; url=next.html"): the page moves on by itself in a
    // desktop browser; here it offers a link.
    void refresh(const GumboElement& meta);
    // A link to url (absolute, taken as it is, fragment and all) with text,
    // on the page itself: the link to the other view of the page.
    void viewLink(const std::string& url, std::string_view text);

private:
    // A link to a place on this page whose text has no letter or digit
    // (a heading's pilcrow, "#", an arrow).
    bool isPlaceMark(const GumboNode* node, std::string_view href) const;
    // The token for an href; empty when it cannot be followed here, or
    // would need the store once the page's share of it is used up.
    std::string token(std::string_view href);
    // The token for an absolute URL, inline or stored.
    std::string urlToken(const std::string& url);

    WalkState& state_;
    Walker& walker_;
    std::unordered_map<std::string, std::string> tokens_;  // href -> token, for repeated links
    std::size_t stored_ = 0;                               // links put into the store
};

}  // namespace wexaproxy
