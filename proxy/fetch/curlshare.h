#pragma once
// What the fetchers of one server share, guarded by locks: the DNS cache.
// Nothing of one user's goes here: cookies live in per-identity jars
// (cookiejar.h), and TLS sessions stay with the handle of one identity
// (fetcher.h), as a resumed session would tell a site that two users are
// one.

#include <curl/curl.h>

#include <mutex>

namespace wexaproxy {

class CurlShare {
public:
    CurlShare();
    ~CurlShare();
    CurlShare(const CurlShare&) = delete;
    CurlShare& operator=(const CurlShare&) = delete;
    CURLSH* handle() const { return share_; }

private:
    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self);
    static void unlock(CURL*, curl_lock_data data, void* self);

    CURLSH* share_ = nullptr;
    std::mutex locks_[CURL_LOCK_DATA_LAST];
};

}  // namespace wexaproxy
