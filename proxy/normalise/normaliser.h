#pragma once
// The page normaliser: real web pages rewritten into the small HTML dialect
// the browser reads (see pagewriter.h), and the browser's requests turned
// back into what they stand for (see tokens.h and formrecord.h).
//
// A page is decoded to UTF-8 (charset.h) and parsed with gumbo, an HTML5
// parser (parse.h), and walked once (walker.h): what a desktop browser would
// not show is left out (head, scripts, styles, templates, comments, elements
// that are hidden by attribute or inline style), the rest is written with
// the browser's tags only, its text in ASCII. Links and form actions become
// tokens (links.h, forms.h), form controls get generated names, tables are
// laid out (tables.h), and the form records and long link targets go into
// the token store.
//
// The reader view: on a page where the article finder (article.h) finds the
// main article, the full page starts with a link "Reader view" to the
// page's reader page, which holds the article alone and starts with a link
// "Full page" back. Both links are ordinary link tokens whose URL is the
// page's own with a mark for the view appended as a fragment
// (READER_VIEW_MARK, FULL_PAGE_MARK): a fragment is never sent to a web
// server and every fragment of a page's own links is dropped, so the mark
// is always ours. adaptRequest takes the mark off and records the view in
// the request; the page is fetched as any other, and the browser keeps the
// two views apart in its history and cache because their URLs differ.
//
// A page is written once for any client (prepareHtml): the tokens of its
// stored links and forms go into slots, filled for the client the page is
// sent to (pagetokens.h). So one prepared page can serve many clients.
//
// prepareHtml and normaliseText are pure functions of their inputs;
// normaliseHtml also adds the page's entries to the token store.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "proxy/core/pagefilter.h"
#include "proxy/core/request.h"
#include "proxy/normalise/pagetokens.h"
#include "proxy/normalise/tokens.h"

namespace wexaproxy {

struct NormaliserSettings {
    // Larger pages are cut there, with a note at the end of the page.
    std::size_t maxInputBytes = 8 * 1024 * 1024;
    // Memory the parse tree may take, as estimated from the markup before
    // parsing (about 115 MB for an 8 MB page of today's markup; fifty times
    // the page for one of nothing but short tags): the page is cut there,
    // with a note.
    std::size_t maxTreeBytes = 160 * 1024 * 1024;
    // Page lines and links or controls the browser can hold; the page ends
    // with a note where either runs out.
    long maxLines = 30000;
    int maxElements = 30000;
    // Long link targets one page may put into the token store; beyond that
    // such links are shown as text.
    std::size_t maxStoredLinks = 20000;
    // Forms, and form fields and list options together, one page may have;
    // the page ends with a note where either runs out.
    std::size_t maxForms = 2000;
    std::size_t maxFormParts = 20000;
    // The budget of one page: processor time (decoding, parsing and the
    // walk) and the bytes the walk builds (the page written, table grids,
    // form records, stored links). The page ends with a note where either
    // is used up.
    std::int64_t maxCpuMs = 5000;
    std::size_t maxBuiltBytes = 64 * 1024 * 1024;
    // Pages larger than this take up to twelve times their size while they
    // are parsed: at most bigPageSlots of them are normalised at a time.
    std::size_t bigPageBytes = 1024 * 1024;
    int bigPageSlots = 2;
    // A page with an article is served as its reader page unless the full
    // page is asked for.
    bool readerByDefault = false;
};

// The marks on a URL that ask for one view of the page.
constexpr std::string_view READER_VIEW_MARK = "#wexa-reader-view";
constexpr std::string_view FULL_PAGE_MARK = "#wexa-full-page";

// What is asked of one page besides its bytes.
struct PageOptions {
    PageView view = PageView::Default;
    // The Content-Language the page came with: the language of its text
    // where no lang attribute says otherwise.
    std::string_view contentLanguage;
    // False for the reply to a form sent with POST: a link to another view
    // would fetch the page again without the form, so none is offered.
    bool offerViews = true;
    // The client identity the page is for: its stored links and forms
    // belong to it.
    std::string owner;
};

// The view a URL's mark asks for, the mark taken off the URL; Default and
// the URL unchanged when it holds none.
PageView takeViewMark(std::string& url);

// An HTML page in the browser's dialect for no client yet: the text with
// the slots of its tokens, and the entries that go into them (null when
// there are none). pageUrl is the URL the page was fetched from (after
// redirects): links and actions resolve against it. With an article on
// the page, the full page or the reader page as the options and settings
// ask (see above); options.owner is not used.
PreparedPage prepareHtml(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                         const NormaliserSettings& settings = {}, const PageOptions& options = {});

// The prepared page as sent to owner: its tokens issued (pagetokens.h).
std::string issuePage(const PreparedPage& page, TokenStore& store, const std::string& owner);

// An HTML page in the browser's dialect, its title first, its tokens
// issued to options.owner (prepareHtml, then issuePage). pageUrl is the
// URL the page was fetched from (after redirects): links and actions
// resolve against it.
// With an article on the page, the full page or the reader page as the
// options and settings ask (see above).
std::string normaliseHtml(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                          TokenStore& store, const NormaliserSettings& settings = {},
                          const PageOptions& options = {});

// The same for a page whose stored links and forms belong to owner (the
// client identity it is for), with the other options at their defaults.
std::string normaliseHtml(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                          TokenStore& store, const NormaliserSettings& settings, const std::string& owner);

// A plain text page: its lines as they are, the file name as the title.
std::string normaliseText(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                          const NormaliserSettings& settings = {}, std::string_view contentLanguage = {});

class Normaliser : public PageFilter {
public:
    explicit Normaliser(TokenStore& store, NormaliserSettings settings = {});

    std::string render(const PageInput& input) const override;
    PreparedPage prepare(const PageInput& input) const override;
    std::string issue(const PreparedPage& page, const std::string& owner) const override;
    std::string settingsKey() const override;

    // GET and REFRESH: a link token becomes its URL. Forms: a form token
    // becomes the form's action, method and restored fields. Stored tokens
    // are looked up among those of the request's identity. An expired or
    // damaged token, or another identity's, is an error the user can act on.
    bool adaptRequest(Request& request, std::string& error) const override;

private:
    // Admits at most bigPageSlots big pages at a time.
    class Gate {
    public:
        explicit Gate(int slots) : free_(slots) {}
        void enter();
        void leave();

    private:
        std::mutex mutex_;
        std::condition_variable freed_;
        int free_;
    };

    TokenStore& store_;
    const NormaliserSettings settings_;
    mutable Gate bigPages_;
};

}  // namespace wexaproxy
