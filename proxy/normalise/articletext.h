#pragma once
// Small questions the article finder asks of gumbo's nodes and of text:
// shared by the finder (article.cpp) and its reading of what a page
// declares about itself (articlemeta.cpp).

#include <gumbo.h>

#include <string>
#include <string_view>
#include <unordered_map>

#include "proxy/normalise/ascii.h"

namespace wexaproxy::articletext {

const char* attribute(const GumboNode* node, const char* name);

std::string lowerAscii(std::string_view text);

std::string lowerTrimmed(std::string_view text);

// Appends text with each run of blanks (also no-break spaces) written as
// one blank, and none at the start of out.
void appendCollapsed(std::string& out, std::string_view text);

std::string collapsed(std::string_view text);

const GumboVector* childrenOf(const GumboNode* node);

// The text of a subtree, blanks collapsed, without what is never shown.
std::string textOf(const GumboNode* root);

// Text reduced to lower-case ASCII letters and digits, for comparing titles
// and headings (other characters are kept as they are, case and all).
std::string comparable(std::string_view text);

// True when text ends as a sentence does (with a full stop, a question or
// exclamation mark, in any script, possibly followed by a quotation mark).
bool endsSentence(std::string_view text);

// Elements whose text flows on the line of the text around them.
bool isInline(GumboTag tag);

// Elements that are one paragraph of text: their running text counts for
// the element that holds them.
bool isParagraph(GumboTag tag);

bool isHeading(GumboTag tag);

// Whether the normaliser leaves an element out of every page: the same
// tags and hidden markers as the walker (dom.h), so that the finder never
// scores text the page will not show.
bool isSkippedOrHidden(const GumboElement& element);

// What the class and id of an element say about it.
struct Hints {
    int weight = 0;  // multiples of HINT_WEIGHT, up for content, down for boilerplate
    bool byline = false;
    bool screenReader = false;
    bool caption = false;  // an image's caption
};

// -1, 0 or 1: one class or id value speaks for boilerplate, for nothing,
// for content. Boilerplate wins: "article-comments" are comments.
int hintOf(const std::string& value);

// The hints of elements, each class or id value read once per page. The
// cache keeps views of the values in the parse tree: it must not outlive
// the tree.
class HintCache {
public:
    // Room for the distinct values of most pages from the start, so that
    // the table is not rebuilt as it grows.
    HintCache() { cache_.reserve(512); }
    Hints of(const GumboElement& element);

private:
    const Hints& lookup(const char* value);
    std::unordered_map<std::string_view, Hints> cache_;
};

// Characters of text that count: blanks do not; a character of the scripts
// that write a word in one or two characters (Chinese, Japanese, Korean)
// counts twice. Commas of any script are counted on the side.
void countText(std::string_view text, int& chars, int& commas);

}  // namespace wexaproxy::articletext
