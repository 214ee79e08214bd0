// The page cache: the rules of a shared HTTP cache (what may be kept, for
// how long, how a 304 updates it), the cache's byte bound and order, and
// the step that issues a kept page's tokens to one client.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "proxy/cache/freshness.h"
#include "proxy/cache/pagecache.h"
#include "proxy/normalise/normaliser.h"
#include "proxy/normalise/pagetokens.h"
#include "proxy/normalise/tokens.h"

using wexaproxy::CachedPage;
using wexaproxy::CacheHeaders;
using wexaproxy::CacheVerdict;
using wexaproxy::judgeResponse;
using wexaproxy::PageCache;
using wexaproxy::SentHeaders;

namespace {

// Sat, 01 Jan 2022 00:00:00 GMT
constexpr std::int64_t T0 = 1640995200;

struct Case {
    const char* name;
    long status;
    CacheHeaders headers;
    SentHeaders sent;
    bool store;
    std::int64_t lifetime;  // checked when stored
    bool alwaysRevalidate;
};

CacheHeaders cc(const std::string& cacheControl) {
    CacheHeaders headers;
    headers.cacheControl = cacheControl;
    headers.date = "Sat, 01 Jan 2022 00:00:00 GMT";
    return headers;
}

template <typename Change>
CacheHeaders with(CacheHeaders headers, Change change) {
    change(headers);
    return headers;
}

SentHeaders sentWith(bool cookie, bool authorization, std::string referer = {}, bool cacheControl = false) {
    SentHeaders sent;
    sent.cookie = cookie;
    sent.authorization = authorization;
    sent.referer = std::move(referer);
    sent.cacheControl = cacheControl;
    return sent;
}

TEST(CacheRules, StoreOrNotAndForHowLong) {
    const SentHeaders plain;
    auto etag = [](CacheHeaders& h) { h.etag = "\"v1\""; };
    const std::vector<Case> cases = {
        {"max-age", 200, cc("max-age=60"), plain, true, 60, false},
        {"s-maxage wins over max-age", 200, cc("max-age=600, s-maxage=30"), plain, true, 30, false},
        {"two max-ages: the smaller", 200, cc("max-age=600, max-age=10"), plain, true, 10, false},
        {"names in any case", 200, cc("Public, MAX-AGE=60"), plain, true, 60, false},
        {"private", 200, cc("private, max-age=60"), plain, false, 0, false},
        {"no-store", 200, cc("public, no-store, max-age=60"), plain, false, 0, false},
        {"no-cache with a validator: kept, always asked", 200, with(cc("no-cache, max-age=60"), etag), plain,
         true, 0, true},
        {"no-cache without a validator", 200, cc("no-cache"), plain, false, 0, false},
        {"Pragma no-cache without Cache-Control", 200,
         with(cc(""), [](CacheHeaders& h) { h.pragma = "no-cache", h.etag = "\"a\""; }), plain, true, 0,
         true},
        {"sets a cookie", 200, with(cc("public, max-age=60"), [](CacheHeaders& h) { h.setCookie = true; }),
         plain, false, 0, false},
        {"request carried a cookie", 200, cc("public, max-age=60"), sentWith(true, false), false, 0, false},
        {"credentials", 200, cc("max-age=60"), sentWith(false, true), false, 0, false},
        {"credentials, public", 200, cc("public, max-age=60"), sentWith(false, true), true, 60, false},
        {"credentials, s-maxage", 200, cc("s-maxage=60"), sentWith(false, true), true, 60, false},
        {"credentials, must-revalidate", 200, cc("must-revalidate, max-age=60"), sentWith(false, true), true,
         60, false},
        {"credentials, proxy-revalidate is not enough", 200, cc("proxy-revalidate, max-age=60"),
         sentWith(false, true), false, 0, false},
        {"Vary *", 200, with(cc("max-age=60"), [](CacheHeaders& h) { h.vary = "Accept, *"; }), plain, false,
         0, false},
        {"Vary on what every request sends", 200,
         with(cc("max-age=60"), [](CacheHeaders& h) { h.vary = "Accept-Encoding, User-Agent"; }), plain, true,
         60, false},
        {"Vary on a Referer this request had", 200,
         with(cc("max-age=60"), [](CacheHeaders& h) { h.vary = "referer"; }),
         sentWith(false, false, "http://a/"), false, 0, false},
        {"Vary on Referer, none sent", 200,
         with(cc("max-age=60"), [](CacheHeaders& h) { h.vary = "Referer"; }), plain, true, 60, false},
        {"Vary on Cache-Control of a reload", 200,
         with(cc("max-age=60"), [](CacheHeaders& h) { h.vary = "Cache-Control"; }),
         sentWith(false, false, {}, true), false, 0, false},
        {"Expires minus Date", 200,
         with(cc(""), [](CacheHeaders& h) { h.expires = "Sat, 01 Jan 2022 00:02:00 GMT"; }), plain, true, 120,
         false},
        {"Expires in the RFC 850 form", 200,
         with(cc(""), [](CacheHeaders& h) { h.expires = "Saturday, 01-Jan-22 00:02:00 GMT"; }), plain, true,
         120, false},
        {"max-age wins over Expires", 200,
         with(cc("max-age=5"), [](CacheHeaders& h) { h.expires = "Sat, 01 Jan 2022 00:02:00 GMT"; }), plain,
         true, 5, false},
        {"unreadable Expires is the past", 200,
         with(cc(""),
              [](CacheHeaders& h) {
                  h.expires = "0";
                  h.lastModified = "Sat, 01 Jan 2000 00:00:00 GMT";
              }),
         plain, true, 0, false},
        {"unreadable Expires, no validator", 200, with(cc(""), [](CacheHeaders& h) { h.expires = "0"; }),
         plain, false, 0, false},
        {"heuristic: a tenth of the time since Last-Modified", 200,
         with(cc(""), [](CacheHeaders& h) { h.lastModified = "Fri, 31 Dec 2021 23:43:20 GMT"; }), plain, true,
         100, false},
        {"heuristic: capped", 200,
         with(cc(""), [](CacheHeaders& h) { h.lastModified = "Sat, 01 Jan 2000 00:00:00 GMT"; }), plain, true,
         wexaproxy::MAX_HEURISTIC_SECONDS, false},
        {"heuristic only for codes that allow it", 302,
         with(cc(""), [](CacheHeaders& h) { h.lastModified = "Sat, 01 Jan 2000 00:00:00 GMT"; }), plain,
         false, 0, false},
        {"explicit freshness makes any code cacheable", 302, cc("max-age=60"), plain, true, 60, false},
        {"public makes any code cacheable", 302,
         with(cc("public"), [](CacheHeaders& h) { h.lastModified = "Fri, 31 Dec 2021 23:43:20 GMT"; }), plain,
         true, 100, false},
        {"nothing said, no validator", 200, cc(""), plain, false, 0, false},
        {"partial content", 206, cc("public, max-age=60"), plain, false, 0, false},
        {"older than its max-age on arrival, no validator", 200,
         with(cc("max-age=60"), [](CacheHeaders& h) { h.age = "100"; }), plain, false, 0, false},
    };
    for (const Case& test : cases) {
        const CacheVerdict verdict = judgeResponse(test.status, test.headers, test.sent, T0, T0);
        EXPECT_EQ(verdict.store, test.store) << test.name << " (" << verdict.reason << ")";
        if (!test.store || !verdict.store) continue;
        EXPECT_EQ(verdict.lifetime, test.lifetime) << test.name;
        EXPECT_EQ(verdict.alwaysRevalidate, test.alwaysRevalidate) << test.name;
    }
}

TEST(CacheRules, AgeOnArrival) {
    // The Date says the response is 50 s old; the Age header says more, plus
    // the time the exchange took.
    CacheHeaders headers = cc("max-age=600");
    EXPECT_EQ(judgeResponse(200, headers, {}, T0 + 50, T0 + 50).initialAge, 50);
    headers.age = "200";
    EXPECT_EQ(judgeResponse(200, headers, {}, T0 + 48, T0 + 50).initialAge, 202);
    EXPECT_EQ(wexaproxy::currentAge(202, T0 + 50, T0 + 60), 212);
}

TEST(CacheRules, HttpDates) {
    EXPECT_EQ(wexaproxy::parseHttpDate("Sat, 01 Jan 2022 00:00:00 GMT"), T0);
    EXPECT_EQ(wexaproxy::parseHttpDate("Saturday, 01-Jan-22 00:00:00 GMT"), T0);
    EXPECT_EQ(wexaproxy::parseHttpDate("Sat Jan  1 00:00:00 2022"), T0);
    EXPECT_EQ(wexaproxy::parseHttpDate("Sat, 01 Jan 2022 00:00:00 GMT trailing"), -1);
    EXPECT_EQ(wexaproxy::parseHttpDate("-1"), -1);
    EXPECT_EQ(wexaproxy::parseHttpDate(""), -1);
}

// A kept page of bytes bytes of text, fresh for lifetime seconds from now.
std::shared_ptr<CachedPage> keptPage(std::size_t bytes, std::int64_t now, std::int64_t lifetime,
                                     std::string etag = {}) {
    auto page = std::make_shared<CachedPage>();
    page->page.text.assign(bytes, 'x');
    page->responseTime = now;
    page->lifetime = lifetime;
    page->headers.etag = std::move(etag);
    return page;
}

struct CacheFixture : ::testing::Test {
    std::int64_t now = T0;
    PageCache::Clock clock() {
        return [this] { return now; };
    }
};

TEST_F(CacheFixture, BoundedLeastRecentlyUsedFirst) {
    PageCache cache(80 * 1024, clock());
    // Ten pages of about 8.5 KB each in all: one has to go.
    for (const char* key : {"a", "b", "c"}) ASSERT_TRUE(cache.put(key, keptPage(8000, now, 60)));
    // "a" is used, so "b" is the one that goes for more room.
    EXPECT_EQ(cache.find("a").kind, PageCache::Found::Kind::Fresh);
    for (const char* key : {"d", "e", "f", "g", "h", "i", "j"})
        ASSERT_TRUE(cache.put(key, keptPage(8000, now, 60)));
    EXPECT_EQ(cache.find("b").kind, PageCache::Found::Kind::None);
    EXPECT_EQ(cache.find("a").kind, PageCache::Found::Kind::Fresh);
    EXPECT_EQ(cache.find("c").kind, PageCache::Found::Kind::Fresh);
    EXPECT_EQ(cache.stats().entries, 9u);
    EXPECT_LE(cache.stats().bytes, 80u * 1024);
    // A page of more than an eighth of the bound is not kept, and does not
    // leave the old page of its key behind.
    EXPECT_FALSE(cache.put("a", keptPage(11 * 1024, now, 60)));
    EXPECT_EQ(cache.find("a").kind, PageCache::Found::Kind::None);
    PageCache none(0, clock());
    EXPECT_FALSE(none.put("a", keptPage(10, now, 60)));
}

TEST_F(CacheFixture, StalePagesStayOnlyWhenTheyCanBeRevalidated) {
    PageCache cache(1024 * 1024, clock());
    cache.put("validated", keptPage(100, now, 10, "\"v1\""));
    cache.put("bare", keptPage(100, now, 10));
    now += 10;  // age 10 = lifetime: stale
    EXPECT_EQ(cache.find("validated").kind, PageCache::Found::Kind::Stale);
    EXPECT_EQ(cache.find("bare").kind, PageCache::Found::Kind::None);
    EXPECT_EQ(cache.stats().entries, 1u);
}

TEST_F(CacheFixture, NotModifiedRefreshesOrDrops) {
    PageCache cache(1024 * 1024, clock());
    auto old = keptPage(100, now, 0, "\"v1\"");
    old->headers.cacheControl = "max-age=0";
    cache.put("k", old);
    now += 100;
    CacheHeaders reply;
    reply.cacheControl = "max-age=300";
    reply.date = "Sat, 01 Jan 2022 00:01:40 GMT";
    auto fresh = cache.refresh("k", old, reply, {}, now, now);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->page.text, old->page.text);
    EXPECT_EQ(fresh->headers.etag, "\"v1\"");
    EXPECT_EQ(cache.find("k").kind, PageCache::Found::Kind::Fresh);
    now += 301;
    EXPECT_EQ(cache.find("k").kind, PageCache::Found::Kind::Stale);
    // A 304 that now forbids keeping the page takes it out.
    reply.cacheControl = "no-store";
    EXPECT_FALSE(cache.refresh("k", fresh, reply, {}, now, now));
    EXPECT_EQ(cache.find("k").kind, PageCache::Found::Kind::None);
}

TEST(CacheKey, ViewAndSettingsKeepPagesApart) {
    using wexaproxy::pageKey;
    using wexaproxy::PageView;
    EXPECT_EQ(pageKey("http://a/p#x", PageView::Default, "s"), pageKey("http://a/p", PageView::Default, "s"));
    EXPECT_NE(pageKey("http://a/p", PageView::Reader, "s"), pageKey("http://a/p", PageView::Full, "s"));
    EXPECT_NE(pageKey("http://a/p", PageView::Full, "s"), pageKey("http://a/p", PageView::Default, "s"));
    EXPECT_NE(pageKey("http://a/p", PageView::Default, "s1"), pageKey("http://a/p", PageView::Default, "s2"));
}

// As long as a sealed token may be, but random letters: only the store
// can hold it.
std::string incompressibleUrl() {
    std::string url = "http://example.com/";
    std::uint32_t state = 777;
    for (int i = 0; i < 200; ++i) {
        state = state * 1103515245 + 12345;
        url.push_back(static_cast<char>('a' + (state >> 16) % 26));
    }
    return url;
}

// The tokens of one prepared page, issued to two identities: each gets its
// own sealed link, stored link and form, and each token leads somewhere
// only for its owner.
TEST(PageTokens, EachIdentityGetsItsOwnTokens) {
    const std::string sealedTarget = "http://example.com/" + std::string(200, 'a');
    const std::string storedTarget = incompressibleUrl();
    const std::string html = "<html><title>T</title><a href='" + sealedTarget + "'>sealed</a> <a href='" +
                             storedTarget +
                             "'>stored</a> <a href='/short'>short</a>"
                             "<form action='/send' method=post><input name=q></form></html>";
    const wexaproxy::PreparedPage page = wexaproxy::prepareHtml(html, "text/html", "http://example.com/");
    ASSERT_TRUE(page.slots);
    // No token of a client's before a client is known.
    EXPECT_EQ(page.text.find("~~Lt"), std::string::npos);
    EXPECT_EQ(page.text.find("~~Lk"), std::string::npos);
    wexaproxy::TokenStore store;
    const std::string first = wexaproxy::issuePage(page, store, "uid:1");
    const std::string second = wexaproxy::issuePage(page, store, "uid:2");
    EXPECT_EQ(first.find('\0'), std::string::npos);
    EXPECT_EQ(second.find('\0'), std::string::npos);
    const auto tokenOf = [](const std::string& text, const std::string& pattern) {
        std::smatch match;
        return std::regex_search(text, match, std::regex(pattern)) ? std::string(match[1]) : std::string();
    };
    const std::string sealed = "HREF=(~~Lk[A-Za-z0-9_-]+)>sealed";
    const std::string stored = "HREF=(~~Lt[0-9a-z]+)>stored";
    const std::string form = "ACTION=(~~F[0-9a-z]+)";
    const std::string firstSealed = tokenOf(first, sealed), secondSealed = tokenOf(second, sealed);
    const std::string firstStored = tokenOf(first, stored), secondStored = tokenOf(second, stored);
    const std::string firstForm = tokenOf(first, form), secondForm = tokenOf(second, form);
    ASSERT_FALSE(firstSealed.empty() || secondSealed.empty()) << first << second;
    ASSERT_FALSE(firstStored.empty() || secondStored.empty()) << first << second;
    ASSERT_FALSE(firstForm.empty() || secondForm.empty()) << first << second;
    EXPECT_NE(firstSealed, secondSealed);
    EXPECT_NE(firstStored, secondStored);
    EXPECT_NE(firstForm, secondForm);
    // Apart from the tokens the two pages are the same.
    const std::regex anyToken("~~(Lt|Lk|F)[A-Za-z0-9_-]+");
    EXPECT_EQ(std::regex_replace(first, anyToken, "T"), std::regex_replace(second, anyToken, "T"));
    // A short link is its URL inline, in every copy.
    EXPECT_NE(second.find("HREF=~~Lhexample.com!short>"), std::string::npos);

    using Kind = wexaproxy::TokenLookup::Kind;
    EXPECT_EQ(wexaproxy::lookUpLink(firstSealed, "uid:1", store).url, sealedTarget);
    EXPECT_EQ(wexaproxy::lookUpLink(secondSealed, "uid:2", store).url, sealedTarget);
    EXPECT_EQ(wexaproxy::lookUpLink(firstSealed, "uid:2", store).kind, Kind::Expired);
    EXPECT_EQ(wexaproxy::lookUpLink(firstStored, "uid:1", store).url, storedTarget);
    EXPECT_EQ(wexaproxy::lookUpLink(secondStored, "uid:2", store).url, storedTarget);
    EXPECT_EQ(wexaproxy::lookUpLink(firstStored, "uid:2", store).kind, Kind::Expired);
    EXPECT_EQ(wexaproxy::lookUpLink(secondStored, "uid:1", store).kind, Kind::Expired);
    // Sealed links take no room in the store: one stored link and one form each.
    EXPECT_EQ(store.entries("uid:1"), 2u);
    const wexaproxy::TokenLookup sent = wexaproxy::lookUpForm(firstForm, "uid:1", store);
    ASSERT_EQ(sent.kind, Kind::Found);
    EXPECT_EQ(sent.form->action, "http://example.com/send");
    EXPECT_EQ(wexaproxy::lookUpForm(firstForm, "uid:2", store).kind, Kind::Expired);
    EXPECT_EQ(wexaproxy::lookUpForm(secondForm, "uid:1", store).kind, Kind::Expired);
}

// Marks that name no entry, and NUL bytes that are no mark, send nothing.
TEST(PageTokens, MarksWithoutEntriesAreLeftOut) {
    wexaproxy::TokenStore store;
    std::vector<wexaproxy::TokenStore::Entry> entries(1);
    entries[0].id = 0;
    entries[0].url = incompressibleUrl();
    const std::string text = "<A HREF=" + wexaproxy::slotMark(0) + ">a</A>" + wexaproxy::slotMark(7) +
                             wexaproxy::slotMark(18446744073709551615ULL) + std::string("x\0y", 3);
    const std::string page = wexaproxy::issueTokens(text, entries, store, "uid:1");
    EXPECT_TRUE(std::regex_match(page, std::regex("<A HREF=~~Lt[0-9a-z]+>a</A>xy"))) << page;
    EXPECT_EQ(store.entries("uid:1"), 1u);
}

}  // namespace
