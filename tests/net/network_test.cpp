// Fetching pages: from the page cache, or from the proxy server into
// ./cache/, with the history following.

#include "net/network.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "fakepeer.h"
#include "globalstate.h"
#include "shell/global.h"

namespace {

using nettest::FakePeer;
using wexatest::readFile;

class Fetching : public nettest::GlobalState {
protected:
    // Sets the URL and fetches it from `peer` (null: a port where nothing
    // listens, so any attempt to connect fails).
    const char* fetch(const char* url, ReqType type, FakePeer* peer) {
        GlobalNamespace.network.io.setPort(peer != nullptr ? peer->port() : nettest::refusedPort());
        GlobalNamespace.url.setURL(url, type);
        return GlobalNamespace.network.Fetch();
    }
    static std::string result(const char* name) { return name == nullptr ? "<none>" : name; }
    static const std::string& message() { return GlobalNamespace.message.getText(); }
    static const cache& history() { return GlobalNamespace.pageCache; }
    static bool exists(const char* path) { return ::access(path, F_OK) == 0; }
};

const std::string URL = "http://127.0.0.1/a.html";

TEST_F(Fetching, CacheableReplyIsJoinedIntoTheNextDigitFile) {
    FakePeer peer({{"OK\nTRUE\n<p>line one</p>\n<p>line two</p>\n~~~~~~", 2}});
    EXPECT_EQ(result(fetch(URL.c_str(), ABSOLUTE, &peer)), "9.html");
    EXPECT_EQ(readFile("cache/9.html"), "<p>line one</p><p>line two</p>");
    EXPECT_FALSE(exists("cache/t.html"));
    EXPECT_EQ(peer.requests().at(0), "GET\n" + URL + "\n");
    EXPECT_EQ(history().getPosition(), 1);
    EXPECT_EQ(std::string(history().lURLRendered()), URL);
    EXPECT_EQ(history().entry(1).digit, 9);
    EXPECT_EQ(message(), "");
}

TEST_F(Fetching, RevisitInOtherCaseIsServedFromTheCacheWithoutTraffic) {
    FakePeer peer({{"OK\nTRUE\npage\n", 2}});
    ASSERT_EQ(result(fetch(URL.c_str(), ABSOLUTE, &peer)), "9.html");
    EXPECT_EQ(result(fetch("HTTP://127.0.0.1/A.HTML", ABSOLUTE, nullptr)), "9.html");
    EXPECT_EQ(history().getPosition(), 2);
    EXPECT_EQ(message(), "");  // no connection was attempted
}

TEST_F(Fetching, NotCacheableReplyStaysInTheReplyFileOutsideTheHistory) {
    FakePeer peer({{"OK\nFALSE\n<b>x</b>\n~~~~~~", 2}});
    EXPECT_EQ(result(fetch(URL.c_str(), ABSOLUTE, &peer)), "t.html");
    EXPECT_EQ(readFile("cache/t.html"), "<b>x</b>");
    EXPECT_EQ(history().getPosition(), 0);
    EXPECT_FALSE(history().hit(URL.c_str()));
}

TEST_F(Fetching, ErrorReplyShowsItsTextAndGivesNoPage) {
    FakePeer peer({{"ERROR\nHost not found\n~~~~~~", 2}});
    EXPECT_EQ(fetch(URL.c_str(), ABSOLUTE, &peer), nullptr);
    EXPECT_EQ(message(), "Host not found");
    EXPECT_EQ(history().getPosition(), 0);
}

TEST_F(Fetching, LinesBeforeTheStatusAndBeforeTheFlagAreDropped) {
    FakePeer peer({{"hello\nTRUE\nOK\nnot page\nTRUE\nA\nB\n", 2}});
    EXPECT_EQ(result(fetch(URL.c_str(), ABSOLUTE, &peer)), "9.html");
    EXPECT_EQ(readFile("cache/9.html"), "AB");
}

TEST_F(Fetching, LastFlagLineOfThePageDecides) {
    FakePeer peer({{"OK\nTRUE\nA\nFALSE here\nB\n", 2}});
    EXPECT_EQ(result(fetch(URL.c_str(), ABSOLUTE, &peer)), "t.html");
    EXPECT_EQ(readFile("cache/t.html"), "AFALSE hereB");
}

TEST_F(Fetching, RepliesWithoutAPageGiveNoPage) {
    FakePeer peer({{"nothing\n", 2}, {"OK\nno flag\n", 2}, {"ERROR\n", 2}});
    EXPECT_EQ(fetch("http://127.0.0.1/1", ABSOLUTE, &peer), nullptr);
    EXPECT_EQ(fetch("http://127.0.0.1/2", ABSOLUTE, &peer), nullptr);
    EXPECT_EQ(fetch("http://127.0.0.1/3", ABSOLUTE, &peer), nullptr);
    EXPECT_EQ(history().getPosition(), 0);
    EXPECT_EQ(message(), "");
}

TEST_F(Fetching, LongLineIsJoinedAgainInTheFile) {
    const std::string line(600, 'L');
    FakePeer peer({{"OK\nTRUE\n" + line + "\nend\n", 2}});
    ASSERT_EQ(result(fetch(URL.c_str(), ABSOLUTE, &peer)), "9.html");
    EXPECT_EQ(readFile("cache/9.html"), line + "end");
}

TEST_F(Fetching, EmptyLineEndsThePage) {
    FakePeer peer({{"OK\nTRUE\nA\n\nB\n", 2, FakePeer::AfterReply::WAIT_FOR_CLIENT}});
    ASSERT_EQ(result(fetch(URL.c_str(), ABSOLUTE, &peer)), "9.html");
    EXPECT_EQ(readFile("cache/9.html"), "A");
}

TEST_F(Fetching, SixTildesEndThePage) {
    FakePeer peer({{"OK\nTRUE\nA\n~~~~~~C\n", 2, FakePeer::AfterReply::WAIT_FOR_CLIENT}});
    ASSERT_EQ(result(fetch(URL.c_str(), ABSOLUTE, &peer)), "9.html");
    EXPECT_EQ(readFile("cache/9.html"), "A");
}

TEST_F(Fetching, Byte255IsKeptAndNulBytesAreDropped) {
    FakePeer peer({{std::string("OK\nTRUE\nx\xffy\0z\n\0\0w\n", 18), 2}});
    ASSERT_EQ(result(fetch(URL.c_str(), ABSOLUTE, &peer)), "9.html");
    EXPECT_EQ(readFile("cache/9.html"), "x\xffyzw");
}

TEST_F(Fetching, ReplyCutOffByTheTimeOutIsReportedAndKeepsNothing) {
    GlobalNamespace.network.io.setReplyTimeout(200);
    FakePeer peer({{"OK\nTRUE\nA\n", 2, FakePeer::AfterReply::WAIT_FOR_CLIENT}});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fetch(URL.c_str(), ABSOLUTE, &peer), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(message(), Network::REPLY_TIMED_OUT);
    EXPECT_FALSE(exists("cache/9.html"));
    EXPECT_EQ(history().getPosition(), 0);
}

TEST_F(Fetching, ReplyCutOffByAResetIsReportedAndKeepsNothing) {
    FakePeer peer({{"OK\nTRUE\nA\nB\n", 2, FakePeer::AfterReply::RESET}});
    EXPECT_EQ(fetch(URL.c_str(), ABSOLUTE, &peer), nullptr);
    EXPECT_EQ(message(), Network::CONNECTION_LOST);
    EXPECT_FALSE(exists("cache/9.html"));
    EXPECT_EQ(history().getPosition(), 0);
    EXPECT_FALSE(history().hit(URL.c_str()));
}

TEST_F(Fetching, PageOnScreenIsForgottenOnlyWhenANewPageArrives) {
    Rendering_Engine& renderer = GlobalNamespace.renderer;
    renderer.reset();
    renderer.toTempBuffer(false, "old", 3);  // the page on screen has text
    FakePeer peer(
        {{"OK\nno flag\n", 2}, {"OK\nTRUE\n", 2, FakePeer::AfterReply::RESET}, {"OK\nFALSE\nnew\n", 2}});
    EXPECT_EQ(fetch("http://127.0.0.1/1", ABSOLUTE, &peer), nullptr);
    EXPECT_EQ(renderer.getX(), 3);
    flushinp();
    nettest::queueKeys(" ");  // for the message of the reset
    EXPECT_EQ(fetch("http://127.0.0.1/2", ABSOLUTE, &peer), nullptr);
    EXPECT_EQ(renderer.getX(), 3);
    EXPECT_EQ(result(fetch("http://127.0.0.1/3", ABSOLUTE, &peer)), "t.html");
    EXPECT_EQ(renderer.getX(), 0);
}

TEST_F(Fetching, RefreshSendsExactBytesAndReplacesTheFileOfItsUrl) {
    FakePeer peer({{"OK\nTRUE\nold\n", 2}, {"OK\nTRUE\nnew\n", 2}});
    ASSERT_EQ(result(fetch(URL.c_str(), ABSOLUTE, &peer)), "9.html");
    EXPECT_EQ(result(fetch(URL.c_str(), REFRESH, &peer)), "9.html");
    EXPECT_EQ(std::string(GlobalNamespace.url.currentURL), URL);
    EXPECT_EQ(peer.requests().at(1), "REFRESH\n" + URL + "\n");
    EXPECT_EQ(readFile("cache/9.html"), "new");
    EXPECT_EQ(history().getPosition(), 2);
    EXPECT_EQ(history().entry(2).digit, 9);
}

TEST_F(Fetching, RefusedConnectionRingsAndGivesNoPage) {
    for (ReqType type : {ABSOLUTE, REFRESH}) {
        GlobalNamespace.message = ErrorMessage();
        nettest::queueKeys(" ");
        EXPECT_EQ(fetch(URL.c_str(), type, nullptr), nullptr);
        EXPECT_EQ(message(), "CONNECTION FAILED WITH WexaPServer!");
    }
    EXPECT_EQ(history().getPosition(), 0);
}

TEST_F(Fetching, SuccessAfterAFailedConnectionIsASuccess) {
    EXPECT_EQ(fetch(URL.c_str(), ABSOLUTE, nullptr), nullptr);
    FakePeer peer({{"OK\nTRUE\nA\n", 2}});
    EXPECT_EQ(result(fetch(URL.c_str(), ABSOLUTE, &peer)), "9.html");
}

TEST_F(Fetching, CacheOnlyRequestsNeverTouchTheNetwork) {
    EXPECT_EQ(result(fetch("wexa.html", CACHED, nullptr)), "0.html");
    EXPECT_EQ(fetch(URL.c_str(), CACHED, nullptr), nullptr);
    EXPECT_EQ(history().getPosition(), 0);
    EXPECT_EQ(message(), "");
}

TEST_F(Fetching, FormReplyIsReadOnTheConnectionAlreadyOpen) {
    FakePeer peer({{"OK\nFALSE\nthanks\n", 3}});
    ServerIO& io = GlobalNamespace.network.io;
    io.setPort(peer.port());
    GlobalNamespace.url.setURL(URL.c_str(), ABSOLUTE);
    io.Connect();
    ASSERT_TRUE(io.isConnected());
    io.println("FORM-GET\nhttp://127.0.0.1/f\n0\n");
    GlobalNamespace.url.setReqType(FORM_REPLY);
    EXPECT_EQ(result(GlobalNamespace.network.Fetch()), "t.html");
    EXPECT_EQ(readFile("cache/t.html"), "thanks");
    // The connection was closed after the reply: repeating gives no page.
    EXPECT_EQ(GlobalNamespace.network.Fetch(), nullptr);
}

TEST_F(Fetching, StartPageFileIsNeverReplacedByAReply) {
    FakePeer peer({{"OK\nTRUE\nnot the start page\n", 2}});
    EXPECT_EQ(result(fetch("WEXA.html", REFRESH, &peer)), "t.html");
    EXPECT_EQ(readFile("cache/0.html"), startPage);
    EXPECT_EQ(readFile("cache/t.html"), "not the start page");
    EXPECT_EQ(history().getPosition(), 0);
}

TEST_F(Fetching, MissingCacheFolderDropsTheReplyWithAMessage) {
    ASSERT_EQ(::system("rm -rf cache"), 0);
    FakePeer peer({{"OK\nTRUE\nA\n", 2}});
    EXPECT_EQ(fetch(URL.c_str(), ABSOLUTE, &peer), nullptr);
    EXPECT_EQ(message(), Network::CACHE_WRITE_FAILED);
    EXPECT_LE(message().size(), 58u);
    EXPECT_EQ(peer.requests().at(0), "GET\n" + URL + "\n");
    EXPECT_EQ(history().getPosition(), 0);
}

TEST_F(Fetching, FailedRenameIsReportedAndLeavesTheHistory) {
    // A directory in the way of the digit's file makes the rename fail.
    ASSERT_EQ(::mkdir("cache/9.html", 0755), 0);
    wexatest::writeFile("cache/9.html/keep", "x");
    FakePeer peer({{"OK\nTRUE\nA\n", 2}});
    EXPECT_EQ(fetch(URL.c_str(), ABSOLUTE, &peer), nullptr);
    EXPECT_EQ(message(), Network::CACHE_WRITE_FAILED);
    EXPECT_FALSE(history().hit(URL.c_str()));
    EXPECT_EQ(history().getPosition(), 0);
}

}  // namespace
