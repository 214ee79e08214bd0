#pragma once
// The walk over a parsed page that writes what the browser receives.
//
// The walker goes through the tree once and writes, through the page writer
// (pagewriter.h), what a desktop browser would show: text and white space,
// blocks and paragraphs, headings, emphasis, lists, quotations, preformatted
// text and images. It leaves out what is not shown (head, scripts, styles,
// hidden elements) and hands links, forms and tables to their builders
// (links.h, forms.h, tables.h), which walk the content of those elements
// back through it. What the pieces share is in WalkState (walkstate.h).

#include <gumbo.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "proxy/normalise/article.h"
#include "proxy/normalise/forms.h"
#include "proxy/normalise/links.h"
#include "proxy/normalise/parse.h"
#include "proxy/normalise/tables.h"
#include "proxy/normalise/walkstate.h"

namespace wexaproxy {

// A link to the other view of the page (its reader page, or the full page),
// written as the page's first line.
struct ViewLink {
    std::string url;  // absolute, with the mark of the view it asks for
    std::string text;
};

class Walker {
public:
    // formCharset: what the page's forms send their values in;
    // contentLanguage: the Content-Language the page was sent with (may be
    // empty), the language of text that no lang attribute covers;
    // cpuStartMs: the thread's processor time when the page was taken up
    // (threadCpuMs).
    Walker(const NormaliserSettings& settings, std::string_view pageUrl, std::string formCharset,
           std::string_view contentLanguage, std::int64_t cpuStartMs);
    Walker(const Walker&) = delete;
    Walker& operator=(const Walker&) = delete;

    // Room for about bytes of the page (see PageWriter::reserve), taken
    // before run or runArticle.
    void reserveOutput(std::size_t bytes) { state_.page.reserve(bytes); }

    // The page in the browser's dialect, its title first, with a slot where
    // each stored link's or form's token goes (takeEntries). cut says why the
    // tree is shorter than the page (a note ends the page then). viewLink,
    // when given, is the first line.
    std::string run(const GumboNode* root, PageCut cut, const ViewLink* viewLink = nullptr);

    // The reader page of an article found on the page (article.h): the
    // title, then viewLink, the article's heading, byline and date, then its
    // parts written by the same rules as the full page, without the
    // elements the finder dropped.
    std::string runArticle(const GumboNode* root, const Article& article, PageCut cut,
                           const ViewLink& viewLink);

    // After run or runArticle: the page's stored links and form records,
    // each with the number of its slot as its id.
    std::vector<TokenStore::Entry> takeEntries() { return std::move(state_.entries); }

    // For the builders: a node, the children of a node, a block.
    void walk(const GumboNode* node);
    void children(const GumboNode* node);
    void block(const GumboNode* node, bool paragraph);

private:
    // Nesting deeper than this is read as plain text, so that the walk's
    // recursion stays small whatever the page.
    static constexpr int MAX_DEPTH = 250;
    // Elements walked between two looks at the page's budget.
    static constexpr int BUDGET_CHECK_EVERY = 64;

    // What both kinds of page do before and after their content.
    void begin(const GumboNode* root, const ViewLink* viewLink);
    std::string finish(const GumboNode* root, PageCut cut);
    // The language of the page as a whole: the html element's (root), else
    // the Content-Language.
    std::string pageLanguage(const GumboNode* root) const;
    void head(const GumboNode* node);
    // The reader page's parts: one part; the outermost form around a node,
    // or null; parts inside form, with the form's other controls sent
    // unseen.
    void articlePart(const GumboNode* part);
    static const GumboNode* formAround(const GumboNode* node);
    void partsInForm(const GumboNode* form, const GumboNode* const* parts, std::size_t count);
    // True for an element the reader page leaves out (its controls still
    // go with their form).
    bool leftOut(const GumboNode* node);
    void element(const GumboNode* node);
    void layout(const GumboNode* node);
    void textNode(const char* utf8);
    void plainText(const GumboNode* node);
    void checkLines();
    void heading(const GumboNode* node);
    void emphasis(const GumboNode* node, Emphasis kind);
    void image(const GumboElement& element);
    void list(const GumboNode* node, bool ordered);

    WalkState state_;
    LinkBuilder links_;
    FormBuilder forms_;
    TableBuilder tables_;
    int depth_ = 0;
    int preDepth_ = 0;
    // Elements left out of a reader page (none on a full page).
    const std::unordered_set<const GumboNode*>* dropped_ = nullptr;
    int sinceBudgetCheck_ = 0;
    std::string ascii_;  // the text node being written, reused
};

}  // namespace wexaproxy
