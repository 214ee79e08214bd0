#pragma once
// What a page says about itself, for the reader page's first lines: the
// title, byline and date from schema.org JSON-LD, OpenGraph and meta tags,
// and from the markup that marks an author or a date.

#include <gumbo.h>

#include <string>
#include <string_view>

namespace wexaproxy::articlemeta {

// The title, byline and date a page declares, by source, gathered on the
// way through the tree.
struct Declared {
    std::string jsonTitle, jsonByline, jsonDate;
    bool jsonArticle = false;
    std::string ogTitle, ogType, siteName, metaAuthor, metaDate;
    std::string documentTitle;
    std::string markupByline, markupDate;
};

// The text of an element the page marks as its author, when it is short
// enough to be a name and not a whole byline block.
std::string bylineOf(const GumboNode* node);

// "2019-11-19T08:00:00-05:00" is shortened to its day; other dates stay as
// the page writes them.
std::string shortDate(std::string date);

void readJsonLd(std::string_view text, Declared& declared);

void readMeta(const GumboNode* node, Declared& declared);

// Whether a schema.org type name is one of the article types.
bool isArticleTypeName(std::string_view name);

}  // namespace wexaproxy::articlemeta
