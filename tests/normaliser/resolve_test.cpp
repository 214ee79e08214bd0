// Link targets joined to the page's URL: the resolver joins plain paths
// itself and leaves the rest to curl, and both must give what curl gives.

#include "proxy/normalise/resolve.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

// What curl makes of reference against base, as the resolver asks it
// (fragments aside): empty when curl refuses.
std::string curlJoin(const std::string& base, const std::string& reference) {
    CURLU* url = curl_url();
    std::string joined;
    char* text = nullptr;
    if (curl_url_set(url, CURLUPART_URL, base.c_str(), CURLU_URLENCODE) == CURLUE_OK &&
        curl_url_set(url, CURLUPART_URL, reference.c_str(), CURLU_URLENCODE) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK) {
        joined = text;
        curl_free(text);
    }
    curl_url_cleanup(url);
    return joined;
}

TEST(ResolvedLinks, JoinAsCurlJoinsThemAgainstEveryKindOfBase) {
    const char* const BASES[] = {
        "http://site.example/dir/page.html",
        "http://site.example",
        "https://User:pw@Site.Example:8443/a/b/?q=1&r=/x/y",
        "http://site.example/dir/?q=/a/b",
        "http://site.example/a/b/../c/./d",
        "https://[::1]:99/%41b/c%20d/e",
        "http://site.example/a b/c",
    };
    const char* const REFERENCES[] = {
        "/",
        "/search/?",
        "/search/?q=1",
        "/a//b",
        "page.html",
        "sub/page.html?x=/y?z",
        "a/./b",
        "a/../b",
        "./a",
        "../a",
        "..",
        ".",
        "?q=1",
        "//other/x",
        "/a:b",
        "a@b",
        "%41",
        "a b",
        "/x/y/..",
        "x/.",
        "q=1&r=2;s",
        "(~a_b-c!)",
        "/*+,$'",
        "a?",
        // Absolute ones.
        "http://other.example",
        "https://other.example/a/b?c=d/e",
        "http://Other.Example/A",
        "HTTP://other.example/",
        "http://other.example:80/",
        "https://other.example:443/x",
        "http://u:p@other.example/",
        "http://127.1/",
        "http://0x7f.0.0.1/x",
        "http://a..b/",
        "http://a.b./",
        "http://-a.example/",
        "http://other.example?q",
        "http://other.example/a/../b",
        "http://other.example//x",
        "https://xn--bcher-kva.example/",
        "http://other.example/%7e",
        "http://[::1]/",
        "http:other.example/x",
        "https://other-site.example.com/p?",
        "http://other.example/a b",
    };
    for (const char* base : BASES) {
        const wexaproxy::UrlResolver resolver(base);
        ASSERT_FALSE(resolver.base().empty()) << base;
        for (const char* reference : REFERENCES) {
            const wexaproxy::UrlResolver::Result result = resolver.resolve(reference);
            EXPECT_EQ(result.url, curlJoin(resolver.base(), reference)) << base << " + " << reference;
            EXPECT_EQ(result.kind == wexaproxy::UrlResolver::Kind::Web, !result.url.empty())
                << base << " + " << reference;
        }
    }
}

TEST(ResolvedLinks, FollowTheBaseElement) {
    wexaproxy::UrlResolver resolver("http://site.example/dir/page.html");
    resolver.rebase("/other/index.html?v=2");
    EXPECT_EQ(resolver.resolve("next.html").url, "http://site.example/other/next.html");
    EXPECT_EQ(resolver.resolve("/top").url, "http://site.example/top");
    resolver.rebase("https://cdn.example:444");
    EXPECT_EQ(resolver.resolve("img/a.png").url, "https://cdn.example:444/img/a.png");
}

}  // namespace
