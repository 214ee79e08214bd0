// The pure parts of fetching: cache headers, status reasons, error words,
// and the reply built from a fetch result.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "proxy/core/pagefilter.h"
#include "proxy/core/urls.h"
#include "proxy/fetch/fetcher.h"
#include "proxy/server/handler.h"
#include "proxy/server/reply.h"

using wexaproxy::cacheControlForbidsStoring;
using wexaproxy::Command;
using wexaproxy::FetchRequest;
using wexaproxy::FetchResult;
using wexaproxy::Request;

TEST(CacheControl, NoStoreNoCacheAndPrivateForbidStoring) {
    EXPECT_TRUE(cacheControlForbidsStoring("no-store"));
    EXPECT_TRUE(cacheControlForbidsStoring("max-age=0, No-Cache"));
    EXPECT_TRUE(cacheControlForbidsStoring("private=\"set-cookie\""));
    EXPECT_FALSE(cacheControlForbidsStoring("public, max-age=600"));
    EXPECT_FALSE(cacheControlForbidsStoring("no-transform"));
    EXPECT_FALSE(cacheControlForbidsStoring(""));
}

TEST(StatusReason, TakenFromTheStatusLineOrTheUsualPhrase) {
    EXPECT_EQ(wexaproxy::reasonPhrase("HTTP/1.1 404 Not Found\r\n", 404), "Not Found");
    EXPECT_EQ(wexaproxy::reasonPhrase("HTTP/1.1 418 Go Away Now", 418), "Go Away Now");
    EXPECT_EQ(wexaproxy::reasonPhrase("HTTP/2 503", 503), "Service Unavailable");
    EXPECT_EQ(wexaproxy::reasonPhrase("HTTP/2 599", 599), "");
}

TEST(FailureWords, TransferErrorsSayWhatWentWrong) {
    EXPECT_EQ(wexaproxy::describeCurlFailure(CURLE_COULDNT_RESOLVE_HOST, 0, "x.invalid"),
              "Host not found: x.invalid");
    EXPECT_EQ(wexaproxy::describeCurlFailure(CURLE_COULDNT_CONNECT, ECONNREFUSED, "h"),
              "Connection refused by h");
    EXPECT_EQ(wexaproxy::describeCurlFailure(CURLE_OPERATION_TIMEDOUT, 0, "h"), "Timed out waiting for h");
    EXPECT_EQ(wexaproxy::describeCurlFailure(CURLE_PEER_FAILED_VERIFICATION, 0, "h"),
              "Certificate problem with h");
    EXPECT_EQ(wexaproxy::describeCurlFailure(CURLE_UNSUPPORTED_PROTOCOL, 0, "h"),
              "Refused: only http and https are allowed");
}

TEST(FetchRequests, EachCommandBecomesTheRightHttpRequest) {
    FetchRequest fetch;
    std::string error;
    Request refresh{Command::Refresh, "http://https://h/x", {}};
    ASSERT_TRUE(wexaproxy::buildFetchRequest(refresh, fetch, error));
    EXPECT_EQ(fetch.url, "https://h/x");
    EXPECT_TRUE(fetch.bypassCache);

    Request formGet{Command::FormGet, "http://h/s?old#f", {{"q", "a b"}, {"n", ""}}};
    ASSERT_TRUE(wexaproxy::buildFetchRequest(formGet, fetch, error));
    EXPECT_EQ(fetch.url, "http://h/s?q=a+b&n=");
    EXPECT_EQ(fetch.method, FetchRequest::Method::Get);

    Request formPost{Command::FormPost, "http://h/p", {{"a", "1&2"}}};
    ASSERT_TRUE(wexaproxy::buildFetchRequest(formPost, fetch, error));
    EXPECT_EQ(fetch.url, "http://h/p");
    EXPECT_EQ(fetch.method, FetchRequest::Method::Post);
    EXPECT_EQ(fetch.postBody, "a=1%262");
    EXPECT_EQ(fetch.postContentType, "");
    EXPECT_FALSE(fetch.bypassCache);

    Request multipart{Command::FormPost, "http://h/up", {{"a", "1&2"}}};
    multipart.multipart = true;
    ASSERT_TRUE(wexaproxy::buildFetchRequest(multipart, fetch, error));
    const std::string boundary = wexaproxy::multipartBoundary(multipart.fields);
    EXPECT_EQ(fetch.postContentType, "multipart/form-data; boundary=" + boundary);
    EXPECT_EQ(fetch.postBody, wexaproxy::formMultipartEncode(multipart.fields, boundary));

    Request bad{Command::Get, "file:///etc/passwd", {}};
    EXPECT_FALSE(wexaproxy::buildFetchRequest(bad, fetch, error));
    EXPECT_EQ(error, "Only http and https addresses are allowed");
}

TEST(ReplyForResult, CacheFlagFollowsFormsAndCacheHeaders) {
    wexaproxy::PassThroughFilter filter;
    FetchResult result;
    result.ok = true;
    result.body = "<B>page</B>";
    result.contentType = "text/html";
    result.finalUrl = "http://h/";

    Request get{Command::Get, "http://h/", {}};
    EXPECT_EQ(wexaproxy::replyForResult(get, result, filter).reply, "OK\nTRUE\n<B>page</B>\n~~~~~~\n");
    Request form{Command::FormPost, "http://h/", {}};
    EXPECT_EQ(wexaproxy::replyForResult(form, result, filter).reply, "OK\nFALSE\n<B>page</B>\n~~~~~~\n");
    result.forbidsStoring = true;
    wexaproxy::Served served = wexaproxy::replyForResult(get, result, filter);
    EXPECT_EQ(served.reply.substr(0, 9), "OK\nFALSE\n");
    EXPECT_EQ(served.outcome, "OK FALSE");
}

TEST(ReplyForResult, FailedFetchGivesItsErrorLine) {
    wexaproxy::PassThroughFilter filter;
    FetchResult result;
    result.error = "HTTP 404 Not Found";
    Request get{Command::Get, "http://h/", {}};
    EXPECT_EQ(wexaproxy::replyForResult(get, result, filter).reply, "ERROR\nHTTP 404 Not Found\n");
}
