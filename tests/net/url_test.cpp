// Setting URLs and their repair by request type.

#include "net/url.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

// A URL object whose current URL is `previous`, as after visiting that page.
UniformResourceLocator visited(const std::string& previous) {
    UniformResourceLocator u;
    u.setURL(previous.c_str(), CACHED);
    return u;
}

TEST(UrlAbsolute, BareHostGainsRootSlash) {
    UniformResourceLocator u;
    u.setURL("http://a", ABSOLUTE);
    EXPECT_STREQ(u.currentURL, "http://a/");
    u.setURL("http://a/", ABSOLUTE);
    EXPECT_STREQ(u.currentURL, "http://a/");
    u.setURL("http://example.org/dir/page.html", ABSOLUTE);
    EXPECT_STREQ(u.currentURL, "http://example.org/dir/page.html");
}

TEST(UrlAbsolute, FullLengthBareHostGetsSlashInPlaceOfLastCharacter) {
    const std::string host(192, 'h');
    const std::string url = "http://" + host;  // 199 characters
    UniformResourceLocator u;
    u.setURL(url.c_str(), ABSOLUTE);
    EXPECT_EQ(std::string(u.currentURL), "http://" + host.substr(0, 191) + "/");
}

TEST(UrlSet, TooLongUrlChangesOnlyTheRequestType) {
    UniformResourceLocator u;
    u.setURL("http://a/one.html", CACHED);
    u.setURL("http://a/two.html", ABSOLUTE);
    const std::string tooLong(200, 'x');
    u.setURL(tooLong.c_str(), REFRESH);
    EXPECT_STREQ(u.currentURL, "http://a/two.html");
    EXPECT_STREQ(u.previousURL, "http://a/one.html");
    EXPECT_EQ(u.requestType, REFRESH);
}

TEST(UrlSet, OwnCurrentUrlCanBeSetAgain) {
    UniformResourceLocator u;
    u.setURL("http://a/x.html", ABSOLUTE);
    u.setURL(u.currentURL, REFRESH);
    EXPECT_STREQ(u.currentURL, "http://a/x.html");
    EXPECT_STREQ(u.previousURL, "http://a/x.html");
}

TEST(UrlSet, SetReqTypeLeavesBothUrls) {
    UniformResourceLocator u;
    u.setURL("http://a/dir/", ABSOLUTE);
    u.setURL("page.html", RELATIVE);
    u.setReqType(FORM_REPLY);
    EXPECT_STREQ(u.currentURL, "http://a/dir/page.html");
    EXPECT_STREQ(u.previousURL, "http://a/dir/");
    EXPECT_EQ(u.requestType, FORM_REPLY);
}

TEST(UrlRelative, FileNameReplacesLastPathPart) {
    UniformResourceLocator u = visited("http://host/dir/page.html");
    u.setURL("other.html", RELATIVE);
    EXPECT_STREQ(u.currentURL, "http://host/dir/other.html");
    EXPECT_STREQ(u.previousURL, "http://host/dir/");
}

TEST(UrlRelative, LastSlashBeyond148UsesWholePreviousUrl) {
    // Last slash at index 149: the previous URL is not cut.
    const std::string previous = "http://h/" + std::string(140, 'd') + "/x";
    ASSERT_EQ(previous.rfind('/'), 149u);
    UniformResourceLocator u = visited(previous);
    u.setURL("y", RELATIVE);
    // 151 + 1 characters exceed 149: nothing is combined, nothing was cut.
    EXPECT_STREQ(u.currentURL, "y");
    EXPECT_EQ(std::string(u.previousURL), previous);
}

TEST(UrlRelative, SlashAt148IsCutAndCombinationUpTo149Fits) {
    const std::string previous = "http://h/" + std::string(139, 'd') + "/file.html";
    ASSERT_EQ(previous.rfind('/'), 148u);
    UniformResourceLocator u = visited(previous);
    u.setURL("z", RELATIVE);  // base 149 + 1 = 150 > 149
    EXPECT_STREQ(u.currentURL, "z");
    EXPECT_EQ(std::string(u.previousURL), previous.substr(0, 149));

    UniformResourceLocator v = visited("http://h/" + std::string(138, 'd') + "/f");
    v.setURL("z", RELATIVE);  // base 148 + 1 = 149
    EXPECT_EQ(std::string(v.currentURL), "http://h/" + std::string(138, 'd') + "/z");
}

TEST(UrlRelative, StartPageBaseLeavesTargetAsItStands) {
    UniformResourceLocator u = visited("wexa.html");
    u.setURL("http://127.0.0.1:30080/index.html", RELATIVE);
    EXPECT_STREQ(u.currentURL, "http://127.0.0.1:30080/index.html");
    u = visited("wexa.html");
    u.setURL("about.html", RELATIVE);
    EXPECT_STREQ(u.currentURL, "about.html");
}

TEST(UrlRelative, AbsoluteTargetIsNotJoinedToTheBase) {
    UniformResourceLocator u = visited("http://host/dir/page.html");
    u.setURL("http://other/x.html", RELATIVE);
    EXPECT_STREQ(u.currentURL, "http://other/x.html");
    u = visited("http://host/dir/page.html");
    u.setURL("HTTPS://secure/y.html", RELATIVE);
    EXPECT_STREQ(u.currentURL, "HTTPS://secure/y.html");
}

TEST(UrlOtherTypes, NoRepair) {
    for (ReqType type : {REFRESH, CACHED, FORM_REPLY, static_cast<ReqType>(7)}) {
        UniformResourceLocator u = visited("http://host/dir/page.html");
        u.setURL("http://a", type);
        EXPECT_STREQ(u.currentURL, "http://a") << "type " << type;
    }
}

TEST(ReadableUrl, LinkTokensAreSpelledOutAndOtherUrlsKept) {
    const std::pair<const char*, const char*> cases[] = {
        // The token glued to the folder of the page that held the link.
        {"http://h/dir/~~Lh127.0.0.1:30080!sub!x.html", "http://127.0.0.1:30080/sub/x.html"},
        {"http://h/~~Lsexample.org!a?q^1&r^~7E~21~5E", "https://example.org/a?q=1&r=~!^"},
        // The last token counts; a "~" without two hex digits stays.
        {"http://h/~~Lhold!~~Lhnew!p~2", "http://new/p~2"},
        {"http://h/~~Lt3kx9", "http://h/~~Lt3kx9"},  // stored by the proxy: not known here
        {"http://h/plain/page.html", "http://h/plain/page.html"},
        {"http://h/~~L", "http://h/~~L"},
    };
    for (const auto& [token, readable] : cases) EXPECT_EQ(readableURL(token), readable) << token;
}

}  // namespace
