#pragma once
// The page cache: pages made by the page filter (prepared, their tokens
// not yet issued) kept for every client identity, under the rules of a
// shared HTTP cache (freshness.h).
//
// A page is kept under its key (the URL, the view of the page and the
// filter's settings) with what the rules need: its freshness lifetime,
// its age when received, its validators and the headers a 304 updates.
// The cache is bounded in bytes: the pages used least recently go first,
// and a page larger than an eighth of the bound is not kept. A page that
// is no longer fresh stays only while it can be revalidated (it has an
// ETag or a Last-Modified); one that cannot is dropped when it is found
// stale. It is shared by all worker threads.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "proxy/cache/freshness.h"
#include "proxy/core/pagefilter.h"
#include "proxy/core/request.h"
#include "proxy/fetch/fetcher.h"

namespace wexaproxy {

// The cache key of a page: method, URL without fragment, view, settings.
std::string pageKey(std::string_view url, PageView view, std::string_view settingsKey);

// One kept page.
struct CachedPage {
    PreparedPage page;
    std::string finalUrl;
    long status = 200;
    bool browserMayCache = true;  // the reply's TRUE or FALSE
    CacheHeaders headers;
    std::int64_t responseTime = 0;
    std::int64_t initialAge = 0;
    std::int64_t lifetime = 0;
    bool alwaysRevalidate = false;
    std::size_t bytes() const;
    bool fresh(std::int64_t now) const {
        return !alwaysRevalidate && lifetime > currentAge(initialAge, responseTime, now);
    }
};

// How a page request was served, as the log says it.
enum class CacheOutcome { Hit, Miss, Revalidated, Uncacheable };
const char* cacheOutcomeName(CacheOutcome outcome);

class PageCache {
public:
    using Clock = std::function<std::int64_t()>;  // wall clock in seconds

    // maxBytes: the bound (0 keeps nothing); now: the clock (tests give their own).
    explicit PageCache(std::size_t maxBytes, Clock now = {});
    PageCache(const PageCache&) = delete;
    PageCache& operator=(const PageCache&) = delete;

    std::int64_t now() const;

    struct Found {
        enum class Kind { None, Fresh, Stale } kind = Kind::None;
        std::shared_ptr<const CachedPage> page;
    };
    // The page kept under key; Stale ones only when they can be
    // revalidated (others are dropped). A found page counts as used now.
    Found find(const std::string& key);

    // Keeps page under key, replacing what was there, unless it is larger
    // than an eighth of the bound. False when not kept.
    bool put(const std::string& key, std::shared_ptr<const CachedPage> page);

    // After a 304 for the kept page old: the page with its headers and
    // freshness brought up to date and kept again, or null (and nothing
    // kept) when the updated headers no longer let it be kept. sent is
    // what the conditional request carried.
    std::shared_ptr<const CachedPage> refresh(const std::string& key,
                                              const std::shared_ptr<const CachedPage>& old,
                                              const CacheHeaders& notModified, const SentHeaders& sent,
                                              std::int64_t requestTime, std::int64_t responseTime);

    void erase(const std::string& key);

    void count(CacheOutcome outcome);

    struct Stats {
        std::uint64_t hits = 0;
        std::uint64_t misses = 0;
        std::uint64_t revalidated = 0;
        std::uint64_t uncacheable = 0;
        std::size_t entries = 0;
        std::size_t bytes = 0;
    };
    Stats stats() const;
    // One line for the log: the counts, the pages and bytes kept.
    std::string summary() const;
    // True at most once per interval (seconds), to log the summary now and then.
    bool summaryDue(std::int64_t interval);

    std::size_t maxBytes() const { return maxBytes_; }

private:
    struct Slot {
        std::string key;
        std::shared_ptr<const CachedPage> page;
        std::size_t bytes = 0;
    };
    using Order = std::list<Slot>;  // most recently used first

    void eraseLocked(std::unordered_map<std::string, Order::iterator>::iterator found);

    const std::size_t maxBytes_;
    const Clock now_;
    mutable std::mutex mutex_;
    Order order_;
    std::unordered_map<std::string, Order::iterator> index_;
    std::size_t bytes_ = 0;
    std::atomic<std::uint64_t> hits_{0};
    std::atomic<std::uint64_t> misses_{0};
    std::atomic<std::uint64_t> revalidated_{0};
    std::atomic<std::uint64_t> uncacheable_{0};
    std::atomic<std::int64_t> lastSummary_{0};
};

}  // namespace wexaproxy
