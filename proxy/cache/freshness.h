#pragma once
// The rules of HTTP caching for a shared cache (RFC 9111), as the page
// cache applies them: whether a response may be kept, for how long it is
// fresh, and how a 304 Not Modified updates what is kept.
//
// Beyond the RFC, because the proxy sends each client identity's own
// cookies: a response to a request that carried a Cookie header, or that
// sets a cookie, is never kept.
//
// Times are whole seconds since the epoch (wall clock: they are compared
// with the Date and Expires headers).

#include <cstdint>
#include <string>
#include <string_view>

#include "proxy/fetch/fetcher.h"

namespace wexaproxy {

// The directives of a Cache-Control header that matter to a shared cache.
// A directive given twice with different values counts as the strictest.
struct CacheDirectives {
    bool noStore = false;
    bool noCache = false;  // store, but revalidate before every use
    bool isPrivate = false;
    bool isPublic = false;
    bool mustRevalidate = false;
    bool proxyRevalidate = false;
    std::int64_t maxAge = -1;  // seconds; -1 when absent
    std::int64_t sMaxAge = -1;
};

CacheDirectives parseCacheControl(std::string_view value);

// An HTTP date (IMF-fixdate, RFC 850 or asctime form) in seconds since the
// epoch; -1 when it is none of them.
std::int64_t parseHttpDate(std::string_view text);

// Status codes a cache may keep without explicit freshness (heuristically
// cacheable).
bool heuristicallyCacheable(long status);

// Longest heuristic freshness: a tenth of the time since Last-Modified, at
// most this.
constexpr std::int64_t MAX_HEURISTIC_SECONDS = 24 * 60 * 60;

// What the rules say of one response.
struct CacheVerdict {
    bool store = false;
    std::string reason;             // why not, in a word or two (for tests and the debug log)
    bool alwaysRevalidate = false;  // no-cache: never used without asking the server
    std::int64_t lifetime = 0;      // freshness lifetime in seconds
    std::int64_t initialAge = 0;    // age when received (Age header, Date, delay)
    bool hasValidators = false;     // ETag or Last-Modified
};

// The verdict on a response to a GET. sent is what the request carried;
// requestTime and responseTime bracket the exchange.
CacheVerdict judgeResponse(long status, const CacheHeaders& headers, const SentHeaders& sent,
                           std::int64_t requestTime, std::int64_t responseTime);

// The headers kept after a 304: those the 304 carries replace the kept
// ones (RFC 9111, 4.3.4); Set-Cookie is the 304's own.
CacheHeaders mergeNotModified(const CacheHeaders& kept, const CacheHeaders& notModified);

// The age of a kept response now.
inline std::int64_t currentAge(std::int64_t initialAge, std::int64_t responseTime, std::int64_t now) {
    return initialAge + (now > responseTime ? now - responseTime : 0);
}

}  // namespace wexaproxy
