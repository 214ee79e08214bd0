#pragma once
// Fetching pages over HTTP and HTTPS with libcurl.
//
// One Fetcher per worker thread: it keeps its curl handle between requests
// of one client identity, so connections to origin servers stay open and are
// reused. The handle is made afresh when the next request is another
// identity's, so that no connection or TLS session of one user is ever used
// for another. Cookies live in per-identity jars (cookiejar.h): loaded into
// the handle before a transfer, stored back and cleared from the handle
// after it. All fetchers of a server share one CurlShare (curlshare.h), the
// DNS cache, and one CookieJars.

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "proxy/fetch/cookiejar.h"
#include "proxy/fetch/curlshare.h"

namespace wexaproxy {

struct FetchSettings {
    std::string userAgent = "wexapserver/1.0 (text browser proxy)";
    std::size_t maxPageBytes = 8 * 1024 * 1024;
    long maxRedirects = 10;
    long connectTimeoutMs = 10000;
    long totalTimeoutMs = 30000;
    // Connect only to public addresses (see targets.h): on when the server
    // listens beyond loopback, unless turned off.
    bool refusePrivateTargets = false;
};

struct FetchRequest {
    enum class Method { Get, Post };
    std::string url;  // already checked: http or https, no control characters
    Method method = Method::Get;
    std::string postBody;         // for Post
    std::string postContentType;  // its type when not application/x-www-form-urlencoded
    bool bypassCache = false;
    // A conditional request (revalidating a kept page): the validators it
    // was sent with. Empty: not sent.
    std::string ifNoneMatch;
    std::string ifModifiedSince;
    std::string identity;  // whose cookies go with it and are kept from it
    // The fetch is abandoned soon after *dropped becomes true (the client
    // went away); may be null.
    const std::atomic<bool>* dropped = nullptr;
};

// The headers of a response that say whether and how long it may be kept
// (several of one name joined with ", ").
struct CacheHeaders {
    std::string cacheControl;
    std::string pragma;
    std::string expires;
    std::string date;
    std::string age;
    std::string lastModified;
    std::string etag;
    std::string vary;
    bool setCookie = false;  // the response sets a cookie
};

// What went out with the request that got the final response.
struct SentHeaders {
    bool cookie = false;         // a Cookie header
    bool authorization = false;  // an Authorization header
    std::string referer;         // the Referer header, empty when none
    bool cacheControl = false;   // a Cache-Control or Pragma header (a reload)
};

struct FetchResult {
    bool ok = false;
    std::string error;  // plain words for the ERROR line, when not ok
    long status = 0;
    std::string body;
    std::string contentType;
    std::string contentLanguage;  // the Content-Language header, may be empty
    std::string finalUrl;
    bool forbidsStoring = false;  // the final response's Cache-Control forbids keeping it
    bool bodyOmitted = false;     // not text: the body was not downloaded
    std::int64_t size = -1;       // body size when known
    CacheHeaders cache;           // of the final response
    SentHeaders sent;             // of the final request
    int requests = 0;             // requests made (more than one after a redirect)
};

// True when a Cache-Control header value holds no-store, no-cache or
// private (directive names compared without regard to case).
bool cacheControlForbidsStoring(std::string_view value);

// The reason phrase of a status line ("HTTP/1.1 404 Not Found" gives
// "Not Found"); for HTTP/2, which sends none, the usual phrase of the code.
std::string reasonPhrase(std::string_view statusLine, long status);

// The ERROR line for a failed transfer (host given for the messages that
// name it).
std::string describeCurlFailure(CURLcode code, long osErrno, std::string_view host);

class Fetcher {
public:
    // A fetch in progress is abandoned soon after *cancel becomes true
    // (server shut-down); cancel may be null and must outlive the fetcher.
    Fetcher(const FetchSettings& settings, CurlShare& share, CookieJars& jars,
            const std::atomic<bool>* cancel = nullptr);
    ~Fetcher();
    Fetcher(const Fetcher&) = delete;
    Fetcher& operator=(const Fetcher&) = delete;

    FetchResult fetch(const FetchRequest& request);

    // Whether identity may hold a cookie that a request to url would carry
    // (a no is sure; see CookieJars::mayHaveCookieFor).
    bool mayCarryCookies(const std::string& identity, const std::string& url) const;

private:
    struct Transfer;
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* transfer);
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* transfer);
    static int onProgress(void* transfer, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static int onDebug(CURL* handle, curl_infotype type, char* data, std::size_t size, void* transfer);
    static curl_socket_t onOpenSocket(void* transfer, curlsocktype purpose, curl_sockaddr* address);

    // The handle for identity: the one kept when the previous request was
    // the same identity's, else a new one.
    CURL* handleFor(const std::string& identity);
    // The cookies the handle holds now, in the jar's line format.
    std::vector<std::string> handleCookies();

    FetchSettings settings_;
    CurlShare& share_;
    CookieJars& jars_;
    const std::atomic<bool>* cancel_;
    CURL* curl_ = nullptr;
    std::string identity_;  // whose requests curl_ has served
};

// curl_global_init once, before any thread starts; the matching cleanup at exit.
bool initCurlGlobally();

}  // namespace wexaproxy
