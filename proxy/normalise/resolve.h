#pragma once
// Resolving the link targets and form actions of a page into absolute URLs,
// with libcurl's URL parser (RFC 3986 reference resolution), the way a
// desktop browser reads an href: surrounding white space ignored, tabs and
// line breaks inside removed, a backslash taken for a slash, blanks and
// non-ASCII bytes percent-encoded, the fragment dropped.

#include <curl/curl.h>

#include <string>
#include <string_view>

namespace wexaproxy {

class UrlResolver {
public:
    // base: the URL of the page (after redirects). When it is not an
    // absolute http or https URL, only absolute references resolve.
    explicit UrlResolver(std::string_view base);
    ~UrlResolver();
    UrlResolver(const UrlResolver&) = delete;
    UrlResolver& operator=(const UrlResolver&) = delete;

    // A BASE element: later references resolve against href (itself
    // resolved against the current base). An href that does not resolve
    // changes nothing.
    void rebase(std::string_view href);

    enum class Kind {
        Web,       // an http or https URL: url is set
        Fragment,  // only a fragment: a place on this same page
        Other,     // another scheme (mailto:, javascript: ...) or not a URL
    };
    struct Result {
        Kind kind = Kind::Other;
        std::string url;  // absolute, without fragment
    };
    Result resolve(std::string_view reference) const;

    // The base as an absolute URL without fragment; empty when there is none.
    const std::string& base() const { return baseText_; }

private:
    void setBaseText(std::string text);

    CURLU* base_ = nullptr;
    std::string baseText_;
    std::string origin_;  // the base's "scheme://authority"
    std::string folder_;  // the base up to the last "/" of its path; empty when unknown
};

}  // namespace wexaproxy
