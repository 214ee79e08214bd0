#pragma once
// The article finder of the reader view: which part of a parsed page is its
// main article, and the article's title, byline and date.
//
// The finder scores the page's text blocks (length, commas, share of link
// text), passes each block's score on to the elements that hold it, weighs
// the holders by the words in their class and id ("article", "content" up;
// "comment", "sidebar", "share" down) and by the page's own markup (an
// article body marked with itemprop, article and main elements), and takes
// the best holder with the siblings that carry the same text. Inside it,
// blocks that are not the article's text are left out: link lists, share
// and comment blocks, the byline line, a heading that repeats the title,
// forms that are not part of the text. Title, byline and date come from the
// page's schema.org data (JSON-LD), its OpenGraph and meta tags, and its
// markup, in that order.
//
// The finder reads the tree only; it returns nodes of that tree, which stay
// valid as long as the tree does. The page writer walks the returned parts
// with its usual rules, leaving out the dropped nodes and whatever it leaves
// out of every page (see isNeverShown).

#include <gumbo.h>

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace wexaproxy {

struct ArticleMeta {
    // UTF-8, blanks collapsed, empty when the page does not say.
    std::string title;
    std::string byline;
    // As the page gives it; a machine date ("2019-11-19T08:00:00Z") is
    // shortened to its day ("2019-11-19").
    std::string date;
};

struct Article {
    // Subtrees to show, in document order; none is inside another.
    std::vector<const GumboNode*> parts;
    // Elements inside the parts to leave out, with everything in them.
    std::unordered_set<const GumboNode*> dropped;
    ArticleMeta meta;
};

// The main article of a parsed page (the document node gumbo returns), or
// nothing when the page has none: too little running text, a page of
// teaser links or search results, a page whose main content is a form such
// as a log-in or search page. pageUrl is the address the page came from.
std::optional<Article> findArticle(const GumboNode* document, const std::string& pageUrl);

// True for what the page writer never shows, with everything inside it:
// comments, and elements that are scripts, styles, templates, the head and
// other content a desktop browser does not show as text, or hidden by the
// page (the hidden attribute, aria-hidden="true", an inline display:none or
// visibility:hidden).
bool isNeverShown(const GumboNode* node);

}  // namespace wexaproxy
