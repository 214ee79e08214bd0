#include "proxy/cache/freshness.h"

#include <time.h>

#include <algorithm>
#include <cctype>

namespace wexaproxy {

namespace {

// Longest freshness taken from a header: about 68 years, as the RFC's
// delta-seconds allow; larger values are cut to it.
constexpr std::int64_t MAX_DELTA_SECONDS = 2147483648LL;

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// delta-seconds: digits only; -1 when it is not that.
std::int64_t parseSeconds(std::string_view text) {
    text = trim(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    if (text.empty()) return -1;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = std::min(value * 10 + (c - '0'), MAX_DELTA_SECONDS);
    }
    return value;
}

// The smaller of a kept value and a new one (-1 is absent).
std::int64_t strictest(std::int64_t kept, std::int64_t value) {
    if (value < 0) return kept;
    return kept < 0 ? value : std::min(kept, value);
}

// The field names a Vary header lists, each checked by check; false as
// soon as check says no.
template <typename Check>
bool eachVaryName(std::string_view vary, Check check) {
    while (!vary.empty()) {
        const std::size_t comma = vary.find(',');
        const std::string_view name = trim(vary.substr(0, comma));
        vary = comma == std::string_view::npos ? std::string_view() : vary.substr(comma + 1);
        if (!name.empty() && !check(name)) return false;
    }
    return true;
}

}  // namespace

CacheDirectives parseCacheControl(std::string_view value) {
    CacheDirectives directives;
    while (!value.empty()) {
        // A quoted argument may hold commas (no-cache="Set-Cookie, Foo").
        std::size_t end = 0;
        bool quoted = false;
        while (end < value.size() && (quoted || value[end] != ',')) {
            if (value[end] == '"') quoted = !quoted;
            ++end;
        }
        const std::string_view directive = trim(value.substr(0, end));
        value = end < value.size() ? value.substr(end + 1) : std::string_view();
        const std::size_t equals = directive.find('=');
        const std::string_view name = trim(directive.substr(0, equals));
        const std::string_view argument =
            equals == std::string_view::npos ? std::string_view() : directive.substr(equals + 1);
        if (equalsNoCase(name, "no-store")) {
            directives.noStore = true;
        } else if (equalsNoCase(name, "no-cache")) {
            // With field names, the response may be used without them; a
            // cache that keeps no headers apart treats it as the plain form.
            directives.noCache = true;
        } else if (equalsNoCase(name, "private")) {
            directives.isPrivate = true;
        } else if (equalsNoCase(name, "public")) {
            directives.isPublic = true;
        } else if (equalsNoCase(name, "must-revalidate")) {
            directives.mustRevalidate = true;
        } else if (equalsNoCase(name, "proxy-revalidate")) {
            // A stale page is never served without asking: nothing to change.
            directives.proxyRevalidate = true;
        } else if (equalsNoCase(name, "max-age")) {
            const std::int64_t seconds = parseSeconds(argument);
            // A max-age that cannot be read makes the response stale.
            directives.maxAge = strictest(directives.maxAge, seconds < 0 ? 0 : seconds);
        } else if (equalsNoCase(name, "s-maxage")) {
            const std::int64_t seconds = parseSeconds(argument);
            directives.sMaxAge = strictest(directives.sMaxAge, seconds < 0 ? 0 : seconds);
        }
    }
    return directives;
}

std::int64_t parseHttpDate(std::string_view text) {
    text = trim(text);
    if (text.empty() || text.size() > 64) return -1;
    const std::string copy(text);
    for (const char* format :
         {"%a, %d %b %Y %H:%M:%S GMT", "%A, %d-%b-%y %H:%M:%S GMT", "%a %b %e %H:%M:%S %Y"}) {
        tm parts{};
        const char* end = strptime(copy.c_str(), format, &parts);
        if (end == nullptr || *end != '\0') continue;
        const time_t seconds = timegm(&parts);
        if (seconds == static_cast<time_t>(-1)) return -1;
        return static_cast<std::int64_t>(seconds);
    }
    return -1;
}

bool heuristicallyCacheable(long status) {
    switch (status) {
        case 200:
        case 203:
        case 204:
        case 206:
        case 300:
        case 301:
        case 308:
        case 404:
        case 405:
        case 410:
        case 414:
        case 501:
            return true;
        default:
            return false;
    }
}

CacheVerdict judgeResponse(long status, const CacheHeaders& headers, const SentHeaders& sent,
                           std::int64_t requestTime, std::int64_t responseTime) {
    CacheVerdict verdict;
    auto refuse = [&verdict](const char* reason) {
        verdict.store = false;
        verdict.reason = reason;
        return verdict;
    };
    const CacheDirectives cc = parseCacheControl(headers.cacheControl);
    // 206 holds part of a body, 304 none; neither is a whole page.
    if (status < 200 || status == 206 || status == 304) return refuse("status");
    if (cc.noStore) return refuse("no-store");
    if (cc.isPrivate) return refuse("private");
    if (sent.authorization && !cc.mustRevalidate && !cc.isPublic && cc.sMaxAge < 0)
        return refuse("authorization");
    if (sent.cookie) return refuse("cookie sent");
    if (headers.setCookie) return refuse("set-cookie");
    // Vary: the key is the URL and the values of the named request headers
    // the proxy sends. Most are the same on every request of the proxy
    // (User-Agent, Accept, Accept-Encoding); Cookie is absent from every
    // kept response and every request served from the cache. Those that
    // vary from one request to another (Referer after a redirect, the
    // Cache-Control and Pragma of a reload) are absent from the plain
    // requests that look pages up: a response to a request that sent them
    // would never match one, and is not kept. "*" matches nothing.
    bool varyMatches = true;
    bool varyAll = false;
    eachVaryName(headers.vary, [&](std::string_view name) {
        if (name == "*") {
            varyAll = true;
        } else if (equalsNoCase(name, "Referer")) {
            varyMatches = varyMatches && sent.referer.empty();
        } else if (equalsNoCase(name, "Cache-Control") || equalsNoCase(name, "Pragma")) {
            varyMatches = varyMatches && !sent.cacheControl;
        }
        return true;
    });
    if (varyAll) return refuse("vary *");
    if (!varyMatches) return refuse("vary");

    const std::int64_t expires = headers.expires.empty() ? -2 : parseHttpDate(headers.expires);
    const bool explicitFreshness = cc.sMaxAge >= 0 || cc.maxAge >= 0 || expires != -2;
    if (!explicitFreshness && !cc.isPublic && !heuristicallyCacheable(status)) return refuse("status");

    verdict.hasValidators = !headers.etag.empty() || !headers.lastModified.empty();
    // Pragma: no-cache means no-cache where Cache-Control says nothing.
    const bool pragmaNoCache = headers.cacheControl.empty() && parseCacheControl(headers.pragma).noCache;
    verdict.alwaysRevalidate = cc.noCache || pragmaNoCache;

    // The age when received (RFC 9111, 4.2.3).
    std::int64_t date = parseHttpDate(headers.date);
    if (date < 0) date = responseTime;
    const std::int64_t ageValue = std::max<std::int64_t>(parseSeconds(headers.age), 0);
    const std::int64_t apparentAge = std::max<std::int64_t>(responseTime - date, 0);
    const std::int64_t delay = std::max<std::int64_t>(responseTime - requestTime, 0);
    verdict.initialAge = std::max(apparentAge, ageValue + delay);

    // The freshness lifetime of a shared cache (4.2.1), else a heuristic
    // one (4.2.2) where no expiry is given.
    if (cc.sMaxAge >= 0) {
        verdict.lifetime = cc.sMaxAge;
    } else if (cc.maxAge >= 0) {
        verdict.lifetime = cc.maxAge;
    } else if (expires != -2) {
        // An Expires that cannot be read is in the past.
        verdict.lifetime = expires < 0 ? 0 : std::max<std::int64_t>(expires - date, 0);
    } else {
        const std::int64_t modified = parseHttpDate(headers.lastModified);
        if (modified >= 0 && modified < date)
            verdict.lifetime = std::min((date - modified) / 10, MAX_HEURISTIC_SECONDS);
    }
    if (verdict.alwaysRevalidate) verdict.lifetime = 0;
    // Kept only while it is fresh or can be revalidated.
    const bool freshNow = verdict.lifetime > verdict.initialAge;
    if (!freshNow && !verdict.hasValidators) return refuse("stale without validators");
    verdict.store = true;
    return verdict;
}

CacheHeaders mergeNotModified(const CacheHeaders& kept, const CacheHeaders& notModified) {
    CacheHeaders merged = kept;
    auto take = [](std::string& into, const std::string& value) {
        if (!value.empty()) into = value;
    };
    take(merged.cacheControl, notModified.cacheControl);
    take(merged.pragma, notModified.pragma);
    take(merged.expires, notModified.expires);
    take(merged.date, notModified.date);
    take(merged.lastModified, notModified.lastModified);
    take(merged.etag, notModified.etag);
    take(merged.vary, notModified.vary);
    // The Age of the kept response says nothing about the 304's.
    merged.age = notModified.age;
    merged.setCookie = notModified.setCookie;
    return merged;
}

}  // namespace wexaproxy
