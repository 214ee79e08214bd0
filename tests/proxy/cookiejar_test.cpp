// The proxy's cookie jars: one per identity, bounded per site, per identity
// and in all, and merged so that concurrent transfers keep each other's
// cookies.

#include "proxy/fetch/cookiejar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using wexaproxy::CookieJars;
using wexaproxy::CookieLimits;

namespace {

std::string cookie(const std::string& domain, const std::string& name, const std::string& value = "v") {
    return domain + "\tFALSE\t/\tFALSE\t0\t" + name + "\t" + value;
}

bool holds(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& l : lines)
        if (l == line) return true;
    return false;
}

}  // namespace

TEST(CookieJars, EachIdentityHasItsOwnJarAndTransfersMergeTheirChanges) {
    CookieJars jars;
    jars.store("uid:1000", {}, {cookie("example.com", "session", "alice")});
    EXPECT_TRUE(jars.load("uid:1001").empty());
    ASSERT_EQ(jars.load("uid:1000"), std::vector<std::string>{cookie("example.com", "session", "alice")});

    // Two transfers start from the same jar; one changes the session, the
    // other adds a cookie: both outcomes are kept.
    const std::vector<std::string> before = jars.load("uid:1000");
    jars.store("uid:1000", before, {cookie("example.com", "session", "alice2")});
    jars.store("uid:1000", before, {before[0], cookie("other.org", "pref", "dark")});
    std::vector<std::string> now = jars.load("uid:1000");
    EXPECT_EQ(now.size(), 2u);
    EXPECT_TRUE(holds(now, cookie("example.com", "session", "alice2")));
    EXPECT_TRUE(holds(now, cookie("other.org", "pref", "dark")));

    // A site deleting its cookie removes it.
    jars.store("uid:1000", now, {cookie("other.org", "pref", "dark")});
    EXPECT_EQ(jars.load("uid:1000"), std::vector<std::string>{cookie("other.org", "pref", "dark")});
}

TEST(CookieJars, FloodsAreCutPerSiteAndPerIdentityKeepingTheNewest) {
    CookieLimits limits;
    limits.perSiteCount = 50;
    limits.perIdentityCount = 120;
    CookieJars jars(limits);
    std::vector<std::string> flood;
    for (int i = 0; i < 60; ++i) flood.push_back(cookie(".flood.example", "c" + std::to_string(i)));
    jars.store("uid:1", {}, flood);
    std::vector<std::string> kept = jars.load("uid:1");
    EXPECT_EQ(kept.size(), 50u);
    EXPECT_FALSE(holds(kept, flood[9]));
    EXPECT_TRUE(holds(kept, flood[10]));
    EXPECT_TRUE(holds(kept, flood[59]));

    // Many sites of one identity: the identity's bound holds.
    std::vector<std::string> sites;
    for (int i = 0; i < 200; ++i) sites.push_back(cookie("s" + std::to_string(i) + ".example", "a"));
    jars.store("uid:1", {}, sites);
    EXPECT_EQ(jars.cookies("uid:1"), 120u);

    // A cookie larger than a browser keeps is not kept.
    jars.store("uid:2", {}, {cookie("big.example", "huge", std::string(5000, 'x'))});
    EXPECT_EQ(jars.cookies("uid:2"), 0u);
}

TEST(CookieJars, AllJarsTogetherStayBoundedDroppingTheIdentitySeenLongestAgo) {
    CookieLimits limits;
    limits.totalBytes = 3 * 3000;
    CookieJars jars(limits);
    const std::string value(2900, 'v');
    jars.store("addr:192.0.2.1", {}, {cookie("a.example", "x", value)});
    jars.store("addr:192.0.2.2", {}, {cookie("a.example", "x", value)});
    jars.store("addr:192.0.2.3", {}, {cookie("a.example", "x", value)});
    jars.load("addr:192.0.2.1");  // seen again: now the second is the oldest
    jars.store("addr:192.0.2.4", {}, {cookie("a.example", "x", value)});
    EXPECT_LE(jars.bytes(), limits.totalBytes);
    EXPECT_EQ(jars.cookies("addr:192.0.2.2"), 0u);
    EXPECT_EQ(jars.cookies("addr:192.0.2.1"), 1u);
    EXPECT_EQ(jars.cookies("addr:192.0.2.4"), 1u);
}
