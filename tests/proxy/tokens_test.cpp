// Link and form tokens: what the browser makes of them, and what the proxy
// reads back; the store's expiry and bounds.

#include "proxy/normalise/tokens.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "proxy/normalise/normaliser.h"

using wexaproxy::inlineLinkToken;
using wexaproxy::lookUpForm;
using wexaproxy::lookUpLink;
using wexaproxy::TokenLookup;
using wexaproxy::TokenStore;

namespace {

// A clock the test moves by hand.
struct FakeClock {
    TokenStore::Clock::time_point now{};
    TokenStore::Now function() {
        return [this] { return now; };
    }
};

// The URL the browser builds for a followed link: the previous URL cut
// after its last "/" (when that index is at most 148) and the link target,
// when both together have at most 149 characters; else the target alone.
std::string browserUrl(const std::string& previous, const std::string& href) {
    if (href.compare(0, 7, "http://") == 0 || href.compare(0, 8, "https://") == 0) return href;
    const std::size_t slash = previous.rfind('/');
    if (slash == std::string::npos) return href;
    const std::string base = slash <= 148 ? previous.substr(0, slash + 1) : previous;
    return base.size() + href.size() <= 149 ? base + href : href;
}

bool isOneBrowserWord(const std::string& token) {
    return token.find_first_of(" =\"<>/") == std::string::npos;
}

}  // namespace

TEST(InlineLinkTokens, AreOneWordWithoutSlashesAndReadBack) {
    TokenStore store;
    const std::string url = "https://en.example.org/wiki/Caf%C3%A9?a=1&b=two~x!y^z|w";
    const std::string token = inlineLinkToken(url);
    EXPECT_EQ(token.compare(0, 4, "~~Ls"), 0);
    EXPECT_TRUE(isOneBrowserWord(token)) << token;
    EXPECT_EQ(token.find("~~", 1), std::string::npos) << "a second marker would hide the first";
    TokenLookup back = lookUpLink(token, "", store);
    ASSERT_EQ(back.kind, TokenLookup::Kind::Found);
    EXPECT_EQ(back.url, url);
    EXPECT_EQ(inlineLinkToken("http://host:8080/a/b.html"), "~~Lhhost:8080!a!b.html");
    EXPECT_EQ(inlineLinkToken("ftp://host/x"), "");
}

TEST(InlineLinkTokens, SurviveWhateverTheBrowserPutsInFront) {
    TokenStore store;
    const std::string target = "http://other.example:8000/deep/page.html?q=1";
    const std::string token = inlineLinkToken(target);
    const std::string pages[] = {
        "http://127.0.0.1:9000/dir/index.html",      // folder + token
        "http://127.0.0.1:9000/dir/~~Lhx!y.html",    // a page reached by a token
        "wexa.html",                                 // the start page: no folder
        "http://h/" + std::string(140, 'a') + "/x",  // folder too long to glue to
    };
    for (const std::string& previous : pages) {
        TokenLookup back = lookUpLink(browserUrl(previous, token), "", store);
        ASSERT_EQ(back.kind, TokenLookup::Kind::Found) << previous;
        EXPECT_EQ(back.url, target) << previous;
    }
    // A REFRESH of such a URL reads the same.
    EXPECT_EQ(lookUpLink("http://127.0.0.1:9000/dir/" + token, "", store).url, target);
}

TEST(InlineLinkTokens, MalformedOrForeignMarkers) {
    TokenStore store;
    EXPECT_EQ(lookUpLink("http://h/~~Lh", "", store).kind, TokenLookup::Kind::Damaged);
    EXPECT_EQ(lookUpLink("http://h/~~Lhx~4", "", store).kind, TokenLookup::Kind::Damaged);
    EXPECT_EQ(lookUpLink("http://h/~~Lha b", "", store).kind, TokenLookup::Kind::Damaged);
    // A URL that happens to hold "~~L" but no token of ours is left alone.
    EXPECT_EQ(lookUpLink("http://h/~~Lemma", "", store).kind, TokenLookup::Kind::None);
    EXPECT_EQ(lookUpLink("http://h/plain/page.html", "", store).kind, TokenLookup::Kind::None);
}

TEST(StoredTokens, LinksAndFormsAreFoundBehindAnyPrefix) {
    FakeClock clock;
    TokenStore store({}, clock.function());
    const std::uint64_t linkId = store.newId();
    const std::uint64_t formId = store.newId();
    EXPECT_NE(linkId, formId);
    store.addLink("", linkId, "http://example.org/" + std::string(300, 'x'));
    auto form = std::make_shared<wexaproxy::FormRecord>();
    form->action = "http://example.org/login";
    store.addForm("", formId, form);

    const std::string link = wexaproxy::storedLinkToken(linkId);
    EXPECT_TRUE(isOneBrowserWord(link));
    EXPECT_LE(link.size(), 20u);
    TokenLookup found = lookUpLink(browserUrl("http://127.0.0.1/dir/page.html", link), "", store);
    ASSERT_EQ(found.kind, TokenLookup::Kind::Found);
    EXPECT_EQ(found.url.size(), 19u + 300u);

    // The browser puts "http://" in front of an action that lacks it.
    const std::string action = wexaproxy::formToken(formId);
    EXPECT_LE(action.size() + 7, wexaproxy::MAX_ACTION_LENGTH);
    TokenLookup sent = lookUpForm("http://" + action, "", store);
    ASSERT_EQ(sent.kind, TokenLookup::Kind::Found);
    EXPECT_EQ(sent.form->action, "http://example.org/login");
    EXPECT_EQ(lookUpForm(action, "", store).kind, TokenLookup::Kind::Found);

    // A link token is not a form and the other way round.
    EXPECT_EQ(lookUpForm(wexaproxy::formToken(linkId), "", store).kind, TokenLookup::Kind::Expired);
    EXPECT_EQ(lookUpLink(wexaproxy::storedLinkToken(formId), "", store).kind, TokenLookup::Kind::Expired);
    EXPECT_EQ(lookUpForm("http://~~Fnot-an-id", "", store).kind, TokenLookup::Kind::Damaged);
    EXPECT_EQ(lookUpForm("http://example.org/cgi", "", store).kind, TokenLookup::Kind::None);
}

TEST(StoredTokens, ExpireWhenUnusedForTheirTimeToLive) {
    FakeClock clock;
    wexaproxy::TokenStoreSettings settings;
    settings.timeToLive = std::chrono::seconds(60);
    TokenStore store(settings, clock.function());
    const std::uint64_t used = store.newId();
    const std::uint64_t idle = store.newId();
    store.addLink("", used, "http://a/");
    store.addLink("", idle, "http://b/");
    std::string url;
    clock.now += std::chrono::seconds(50);
    EXPECT_TRUE(store.link("", used, url));  // a use starts its time again
    clock.now += std::chrono::seconds(50);
    EXPECT_TRUE(store.link("", used, url));
    EXPECT_FALSE(store.link("", idle, url));
    EXPECT_EQ(lookUpLink(wexaproxy::storedLinkToken(idle), "", store).kind, TokenLookup::Kind::Expired);
    EXPECT_EQ(store.entries(), 1u);
}

TEST(StoredTokens, BoundedInEntriesAndBytesLeastRecentlyUsedFirst) {
    FakeClock clock;
    wexaproxy::TokenStoreSettings settings;
    settings.maxEntries = 3;
    TokenStore store(settings, clock.function());
    std::uint64_t ids[4];
    for (auto& id : ids) id = store.newId();
    store.addLink("", ids[0], "http://0/");
    store.addLink("", ids[1], "http://1/");
    store.addLink("", ids[2], "http://2/");
    std::string url;
    EXPECT_TRUE(store.link("", ids[0], url));  // 1 is now the least recently used
    store.addLink("", ids[3], "http://3/");
    EXPECT_EQ(store.entries(), 3u);
    EXPECT_FALSE(store.link("", ids[1], url));
    EXPECT_TRUE(store.link("", ids[0], url));
    EXPECT_TRUE(store.link("", ids[3], url));

    settings.maxEntries = 1000;
    settings.maxBytes = 10000;
    TokenStore small(settings, clock.function());
    for (int i = 0; i < 50; ++i) small.addLink("", small.newId(), "http://x/" + std::string(1000, 'p'));
    EXPECT_LE(small.bytes(), settings.maxBytes);
    EXPECT_GE(small.entries(), 1u);
    EXPECT_LT(small.entries(), 10u);
}

TEST(StoredTokens, BelongToTheirOwnerAlone) {
    FakeClock clock;
    TokenStore store({}, clock.function());
    const std::uint64_t linkId = store.newId();
    const std::uint64_t formId = store.newId();
    store.addLink("uid:1000", linkId, "http://example.org/reset?key=" + std::string(200, 'k'));
    auto form = std::make_shared<wexaproxy::FormRecord>();
    form->action = "http://example.org/transfer";
    store.addForm("uid:1000", formId, form);
    const std::string link = "http://127.0.0.1/" + wexaproxy::storedLinkToken(linkId);
    const std::string action = "http://" + wexaproxy::formToken(formId);
    EXPECT_EQ(lookUpLink(link, "uid:1000", store).kind, TokenLookup::Kind::Found);
    EXPECT_EQ(lookUpForm(action, "uid:1000", store).kind, TokenLookup::Kind::Found);
    // Another identity gets the answer an unknown token gets.
    for (const char* other : {"uid:65534", "addr:192.0.2.7", ""}) {
        EXPECT_EQ(lookUpLink(link, other, store).kind, TokenLookup::Kind::Expired) << other;
        EXPECT_EQ(lookUpForm(action, other, store).kind, TokenLookup::Kind::Expired) << other;
    }
    EXPECT_EQ(lookUpLink(link, "uid:1000", store).kind, TokenLookup::Kind::Found);
}

TEST(StoredTokens, IdsAreRandomSixtyFourBitNumbersThatFitTheBrowsersLimits) {
    TokenStore store;
    std::set<std::uint64_t> ids;
    int neighbours = 0;
    bool highBits = false;
    std::uint64_t previous = store.newId();
    for (int i = 0; i < 2000; ++i) {
        const std::uint64_t id = store.newId();
        ASSERT_NE(id, 0u);
        if (id - previous <= 16 || previous - id <= 16) ++neighbours;
        if (id >> 56 != 0) highBits = true;
        ids.insert(id);
        previous = id;
    }
    EXPECT_EQ(ids.size(), 2000u);
    EXPECT_EQ(neighbours, 0) << "ids are counted, not drawn";
    EXPECT_TRUE(highBits) << "ids use only part of their 64 bits";

    // The largest id still reads back, and its tokens fit what the browser keeps.
    const std::uint64_t largest = UINT64_MAX;
    store.addLink("", largest, "http://example.org/far");
    const std::string link = wexaproxy::storedLinkToken(largest);
    EXPECT_LE(link.size(), 17u);
    EXPECT_EQ(lookUpLink(browserUrl("http://127.0.0.1/some/folder/page.html", link), "", store).url,
              "http://example.org/far");
    EXPECT_LE(wexaproxy::formToken(largest).size() + 7, wexaproxy::MAX_ACTION_LENGTH);
    // One digit more would not fit in 64 bits: not an id.
    EXPECT_EQ(lookUpLink("http://h/~~Lt" + std::string(14, 'z'), "", store).kind, TokenLookup::Kind::Damaged);
    EXPECT_EQ(lookUpLink("http://h/~~Lt" + std::string(13, 'z'), "", store).kind, TokenLookup::Kind::Damaged);
}

TEST(StoredTokens, OneOwnersFloodLeavesTheOthersEntries) {
    FakeClock clock;
    wexaproxy::TokenStoreSettings settings;
    settings.maxEntries = 100;
    settings.maxEntriesPerOwner = 40;
    TokenStore store(settings, clock.function());
    std::vector<std::uint64_t> mine;
    for (int i = 0; i < 10; ++i) {
        mine.push_back(store.newId());
        store.addLink("uid:1000", mine.back(), "http://mine.example/" + std::to_string(i));
    }
    // Another identity adds page after page of links.
    for (int i = 0; i < 500; ++i) store.addLink("uid:65534", store.newId(), "http://flood.example/");
    EXPECT_EQ(store.entries("uid:65534"), 40u);
    EXPECT_EQ(store.entries("uid:1000"), 10u);
    std::string url;
    for (std::uint64_t id : mine) EXPECT_TRUE(store.link("uid:1000", id, url));

    // Over the bound of all, the owners active longest ago give way first.
    clock.now += std::chrono::seconds(1);
    for (int owner = 0; owner < 3; ++owner) {
        for (int i = 0; i < 40; ++i)
            store.addLink("addr:" + std::to_string(owner), store.newId(), "http://x/");
        clock.now += std::chrono::seconds(1);
    }
    EXPECT_LE(store.entries(), 100u);
    EXPECT_EQ(store.entries("addr:2"), 40u);
    EXPECT_LT(store.entries("uid:1000"), 10u);
}

namespace {

const std::string SECRET_A(32, 'a');
const std::string SECRET_B(32, 'b');

// A store keyed by secret whose wall clock the test sets.
struct SealingStore {
    std::int64_t wallNow = 1700000000;
    TokenStore store;
    explicit SealingStore(const std::string& secret, std::chrono::seconds timeToLive = std::chrono::hours(12))
        : store(settings(secret, timeToLive)) {}
    wexaproxy::TokenStoreSettings settings(const std::string& secret, std::chrono::seconds timeToLive) {
        wexaproxy::TokenStoreSettings s;
        s.secret = secret;
        s.timeToLive = timeToLive;
        s.wallClock = [this] { return wallNow; };
        return s;
    }
};

// Too long inline, but it compresses well (repeated parts, tracking fields).
const std::string LONG_URL =
    "https://news.example.com/2025/03/14/articles/the-long-title-of-an-article-about-tides/index.html"
    "?utm_source=newsletter&utm_medium=email&utm_campaign=spring&utm_content=top-story";

// As long, but random letters: no compressor makes it fit.
std::string incompressibleUrl() {
    std::string url = "http://example.org/";
    std::uint32_t state = 12345;
    for (int i = 0; i < 200; ++i) {
        state = state * 1103515245 + 12345;
        url.push_back(static_cast<char>('a' + (state >> 16) % 26));
    }
    return url;
}

}  // namespace

TEST(SealedLinkTokens, CarryALongUrlForItsOwnerToAnyServerWithTheSecret) {
    SealingStore first(SECRET_A), second(SECRET_A), stranger(SECRET_B);
    ASSERT_GT(inlineLinkToken(LONG_URL).size(), wexaproxy::MAX_HREF_LENGTH);
    const std::string token = wexaproxy::issueLinkToken(LONG_URL, "uid:1000", first.store);
    ASSERT_EQ(token.compare(0, 4, "~~Lk"), 0) << token;
    EXPECT_LE(token.size(), wexaproxy::MAX_HREF_LENGTH);
    EXPECT_TRUE(isOneBrowserWord(token)) << token;
    EXPECT_EQ(token.find('~', 4), std::string::npos) << token;
    EXPECT_EQ(first.store.entries(), 0u) << "a sealed token needs no memory";

    // Another server with the same secret reads it, behind whatever the browser put in front.
    for (TokenStore* store : {&first.store, &second.store}) {
        TokenLookup back =
            lookUpLink(browserUrl("http://127.0.0.1/dir/page.html", token), "uid:1000", *store);
        ASSERT_EQ(back.kind, TokenLookup::Kind::Found);
        EXPECT_EQ(back.url, LONG_URL);
    }
    // Another identity, or a server with another secret, gets the answer for an unknown token.
    for (const char* other : {"uid:65534", "addr:127.0.0.1", "uid:100", ""}) {
        TokenLookup back = lookUpLink(token, other, second.store);
        EXPECT_EQ(back.kind, TokenLookup::Kind::Expired) << other;
        EXPECT_EQ(back.url, "") << other;
    }
    EXPECT_EQ(lookUpLink(token, "uid:1000", stranger.store).kind, TokenLookup::Kind::Expired);

    // Short URLs stay inline; a URL no seal makes fit is left to the store.
    EXPECT_EQ(wexaproxy::issueLinkToken("http://a.example/x", "uid:1000", first.store), "~~Lha.example!x");
    EXPECT_EQ(wexaproxy::issueLinkToken(incompressibleUrl(), "uid:1000", first.store), "");
    EXPECT_EQ(wexaproxy::sealedLinkToken(LONG_URL, "uid:1000", SECRET_A, 1700000000, 60), "");
    EXPECT_EQ(wexaproxy::sealedLinkToken("ftp://example.org/" + std::string(200, 'a'), "", SECRET_A, 1), "");
}

TEST(SealedLinkTokens, ExpireAfterTheTimeToLive) {
    SealingStore store(SECRET_A, std::chrono::seconds(600));
    const std::string token = wexaproxy::issueLinkToken(LONG_URL, "uid:1000", store.store);
    ASSERT_EQ(token.compare(0, 4, "~~Lk"), 0);
    store.wallNow += 600;
    EXPECT_EQ(lookUpLink(token, "uid:1000", store.store).kind, TokenLookup::Kind::Found);
    store.wallNow += 1;
    EXPECT_EQ(lookUpLink(token, "uid:1000", store.store).kind, TokenLookup::Kind::Expired);
}

TEST(SealedLinkTokens, AnyChangedCharacterIsRefused) {
    SealingStore store(SECRET_A);
    const std::string token = wexaproxy::issueLinkToken(LONG_URL, "uid:1000", store.store);
    ASSERT_EQ(token.compare(0, 4, "~~Lk"), 0);
    // Every digit (version, expiry, URL, MAC) changed in turn: never another URL.
    for (std::size_t i = 4; i < token.size(); ++i) {
        std::string changed = token;
        changed[i] = changed[i] == 'A' ? 'B' : 'A';
        const TokenLookup back = lookUpLink(changed, "uid:1000", store.store);
        EXPECT_NE(back.kind, TokenLookup::Kind::Found) << "digit " << i;
        EXPECT_EQ(back.url, "") << "digit " << i;
    }
    // Cut short, or not base64url at all.
    EXPECT_NE(lookUpLink(token.substr(0, token.size() - 4), "uid:1000", store.store).kind,
              TokenLookup::Kind::Found);
    EXPECT_EQ(lookUpLink("http://h/~~Lk", "uid:1000", store.store).kind, TokenLookup::Kind::Damaged);
    EXPECT_EQ(lookUpLink("http://h/~~Lkab.d", "uid:1000", store.store).kind, TokenLookup::Kind::Damaged);
    EXPECT_EQ(lookUpLink("http://h/~~Lk" + std::string(60, 'A'), "uid:1000", store.store).kind,
              TokenLookup::Kind::Expired);
}

TEST(SealedLinkTokens, NormalisedPagesSealWhatFitsAndStoreTheRest) {
    SealingStore store(SECRET_A);
    const std::string body =
        "<p><a href=\"" + LONG_URL + "\">sealed</a> <a href=\"" + incompressibleUrl() + "\">stored</a></p>";
    const std::string page =
        wexaproxy::normaliseHtml(body, "text/html", "http://example.org/", store.store, {}, "uid:1000");
    const std::size_t sealed = page.find("HREF=~~Lk");
    const std::size_t stored = page.find("HREF=~~Lt");
    ASSERT_NE(sealed, std::string::npos) << page;
    ASSERT_NE(stored, std::string::npos) << page;
    const std::string sealedToken = page.substr(sealed + 5, page.find('>', sealed) - sealed - 5);
    const std::string storedToken = page.substr(stored + 5, page.find('>', stored) - stored - 5);
    EXPECT_EQ(lookUpLink(sealedToken, "uid:1000", store.store).url, LONG_URL);
    EXPECT_EQ(lookUpLink(storedToken, "uid:1000", store.store).url, incompressibleUrl());
    EXPECT_EQ(store.store.entries("uid:1000"), 1u);
}
