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
// normaliseHtml and normaliseText are pure functions of their inputs and
// the token store.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "proxy/core/pagefilter.h"
#include "proxy/core/request.h"
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
};

// An HTML page in the browser's dialect, its title first. pageUrl is the
// URL the page was fetched from (after redirects): links and actions
// resolve against it. The page's stored links and forms belong to owner
// (the client identity it is for).
std::string normaliseHtml(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                          TokenStore& store, const NormaliserSettings& settings = {},
                          const std::string& owner = std::string());

// A plain text page: its lines as they are, the file name as the title.
std::string normaliseText(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                          const NormaliserSettings& settings = {});

class Normaliser : public PageFilter {
public:
    explicit Normaliser(TokenStore& store, NormaliserSettings settings = {});

    std::string render(const PageInput& input) const override;

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
