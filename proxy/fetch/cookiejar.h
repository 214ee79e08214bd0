#pragma once
// The cookies of the proxy's users: one jar per client identity, bounded.
//
// A worker's curl handle holds one identity's cookies only while it fetches
// for that identity: the jar's cookies are loaded into the handle before the
// transfer, and what the handle holds afterwards is stored back. Cookies are
// kept as curl writes them (one line in the Netscape cookie-file format:
// domain, subdomains flag, path, secure flag, expiry, name, value, separated
// by tabs), so the jar never parses a Set-Cookie header itself.
//
// Limits, as browsers keep them: a cookie line longer than MAX_COOKIE_BYTES
// is not kept; each site (the cookie's domain) keeps at most perSiteCount
// cookies and perSiteBytes; each identity at most perIdentityCount and
// perIdentityBytes; all jars together at most totalBytes. The cookies set or
// changed longest ago go first, and when all jars together are too large,
// the jars of the identities seen longest ago go first.

#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wexaproxy {

inline constexpr std::size_t MAX_COOKIE_BYTES = 4096 + 256;

struct CookieLimits {
    std::size_t perSiteCount = 50;
    std::size_t perSiteBytes = 64 * 1024;
    std::size_t perIdentityCount = 1000;
    std::size_t perIdentityBytes = 512 * 1024;
    std::size_t totalBytes = 64 * 1024 * 1024;
};

class CookieJars {
public:
    explicit CookieJars(CookieLimits limits = {}) : limits_(limits) {}
    CookieJars(const CookieJars&) = delete;
    CookieJars& operator=(const CookieJars&) = delete;

    // The cookie lines of identity, oldest first, to load into a handle
    // before a transfer.
    std::vector<std::string> load(const std::string& identity);

    // Stores the outcome of one transfer: before is what load gave, after is
    // what the handle held when the transfer ended. Only the difference is
    // applied (cookies added, changed or removed by the sites), so that two
    // transfers of one identity at the same time do not undo each other.
    void store(const std::string& identity, const std::vector<std::string>& before,
               const std::vector<std::string>& after);

    // Whether identity holds a cookie a request to host might carry: one
    // of the host's own or of a domain above it. Paths, the secure flag
    // and expiry are not looked at, so a yes may be a cookie that would
    // not be sent; a no is sure.
    bool mayHaveCookieFor(const std::string& identity, std::string_view host) const;

    std::size_t bytes() const;
    std::size_t cookies(const std::string& identity) const;

private:
    struct Jar {
        std::list<std::string> lines;  // oldest first
        std::size_t bytes = 0;
        std::list<std::string>::iterator recent;  // place in the identities' order
    };

    void removeLocked(Jar& jar, std::list<std::string>::iterator line);
    void enforceLocked(const std::string& identity, Jar& jar);
    void dropJarLocked(const std::string& identity);

    const CookieLimits limits_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Jar> jars_;
    std::list<std::string> identities_;  // least recently seen first
    std::size_t bytes_ = 0;
};

}  // namespace wexaproxy
