#pragma once
// A fetched HTML page from its bytes to gumbo's tree: cut at the size limit,
// decoded to UTF-8 in the character set it is found to use (charset.h), cut
// again where parsing it would take too long or build too large a tree, and
// parsed. The tree lives as long as the ParsedPage; it points into the
// page's bytes themselves when they are their own UTF-8 text, so those must
// outlive the ParsedPage, and into a decoded copy the ParsedPage keeps
// otherwise.

#include <gumbo.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "proxy/normalise/gumbomemory.h"

namespace wexaproxy {

// Why the tree holds less than the page fetched: over the size limit,
// nested too deeply, or with more markup than the tree may hold (elements,
// attributes and text nodes) or than its tags may take to read (attributes
// by the thousand in one tag).
enum class PageCut { None, TooLarge, TooDeep, TooMuchMarkup };

class ParsedPage {
public:
    // Pages longer than maxInputBytes are cut there, and where gumbo's tree
    // would take more than about maxTreeBytes. body must outlive the
    // ParsedPage.
    ParsedPage(std::string_view body, std::string_view contentType, std::size_t maxInputBytes,
               std::size_t maxTreeBytes);
    ParsedPage(const ParsedPage&) = delete;
    ParsedPage& operator=(const ParsedPage&) = delete;

    const GumboNode* root() const { return output_->root; }
    PageCut cut() const { return cut_; }
    // The character set the page's forms send their values in.
    const std::string& formCharset() const { return formCharset_; }

private:
    std::string utf8_;  // the page decoded, when the tree cannot point into its bytes
    GumboMemory memory_;
    const GumboOutput* output_ = nullptr;
    std::string formCharset_;
    PageCut cut_ = PageCut::None;
};

}  // namespace wexaproxy
