#pragma once
// The seam between a fetched body and the page the browser receives.
//
// Every fetched body goes through one PageFilter before the reply writer cuts
// it into lines. The browser understands a small, old tag set, so a filter
// may rewrite modern HTML into it (the normaliser, normaliser.h, does); the
// one here passes HTML through as it is, wraps plain text so that it shows as
// text, and replaces anything else by a short page that names its type and
// size. A filter that rewrites links and forms also reads them back: every
// request passes through adaptRequest before anything is fetched.
//
// A page is made in two steps so that one made page can serve many
// clients (the server's page cache): prepare makes the page text, with
// slots where the tokens of one client go, and issue fills the slots for
// the client the page is sent to. render does both.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "proxy/core/request.h"

namespace wexaproxy {

enum class ContentKind { Html, Text, Other };

// Classifies a Content-Type header value (parameters and letter case
// ignored). An empty type counts as HTML: many small servers send none.
ContentKind classifyContentType(std::string_view contentType);

struct PageInput {
    std::string_view body;        // the body bytes; empty when bodyOmitted
    std::string contentType;      // as the server sent it, may be empty
    std::string finalUrl;         // after redirects
    bool formReply = false;       // the answer to a submitted form
    bool bodyOmitted = false;     // not a page we show: the body was not downloaded
    std::int64_t size = -1;       // body size in bytes when known, else -1
    std::string contentLanguage;  // the Content-Language header, may be empty
    PageView view = PageView::Default;
    bool posted = false;  // the answer to a form sent with POST
    std::string owner;    // the client identity the page is for (Request::identity)
};

// What the slots of a prepared page stand for: the filter that prepared
// the page knows what it holds.
class PageSlots {
public:
    virtual ~PageSlots() = default;
    // Memory held, for the bounds of whoever keeps the page.
    virtual std::size_t bytes() const = 0;
};

// A page made for no client yet.
struct PreparedPage {
    std::string text;                        // the page, with slots when slots is set
    std::shared_ptr<const PageSlots> slots;  // null: the text is the page as sent
    std::size_t bytes() const { return text.size() + (slots ? slots->bytes() : 0); }
};

class PageFilter {
public:
    virtual ~PageFilter() = default;
    // The page text to send; the caller makes it safe for the line reader.
    virtual std::string render(const PageInput& input) const = 0;
    // The page made once, for any client (input.owner is not used).
    virtual PreparedPage prepare(const PageInput& input) const {
        PreparedPage page;
        page.text = render(input);
        return page;
    }
    // The prepared page as sent to the client identity owner: whatever
    // stands for it in the slots is issued to owner now.
    virtual std::string issue(const PreparedPage& page, const std::string& owner) const {
        (void)owner;
        return page.text;
    }
    // What sets apart pages this filter makes from the same input under
    // other settings (a key part of anything that keeps prepared pages).
    virtual std::string settingsKey() const { return {}; }
    // Turns a request that carries what render wrote into links and forms
    // back into the request it stands for. False, with a one-line message
    // for the user in error, when it cannot be honoured.
    virtual bool adaptRequest(Request& request, std::string& error) const {
        (void)request;
        (void)error;
        return true;
    }
};

class PassThroughFilter : public PageFilter {
public:
    std::string render(const PageInput& input) const override;
};

// Plain text as HTML the browser shows as text: each input line ends with a
// BR tag, and every "<" is followed by a blank so that no tag can start.
std::string wrapPlainText(std::string_view text);

// The short page that stands for a body the browser cannot show.
std::string describeOtherContent(const PageInput& input);

}  // namespace wexaproxy
