#include "proxy/cache/pagecache.h"

#include <chrono>
#include <utility>

namespace wexaproxy {

namespace {

// A page larger than this part of the bound is not kept: one page should
// not push out many.
constexpr std::size_t LARGEST_PART = 8;
// What one kept page costs besides its own bytes: the key twice, the list
// and index nodes.
constexpr std::size_t SLOT_OVERHEAD = 160;

std::int64_t wallSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::string pageKey(std::string_view url, PageView view, std::string_view settingsKey) {
    std::string key = "GET ";
    key.append(url.substr(0, url.find('#')));
    key += view == PageView::Reader ? "\nreader\n" : view == PageView::Full ? "\nfull\n" : "\ndefault\n";
    key.append(settingsKey);
    return key;
}

std::size_t CachedPage::bytes() const {
    return sizeof(CachedPage) + page.bytes() + finalUrl.size() + headers.cacheControl.size() +
           headers.pragma.size() + headers.expires.size() + headers.date.size() + headers.age.size() +
           headers.lastModified.size() + headers.etag.size() + headers.vary.size();
}

const char* cacheOutcomeName(CacheOutcome outcome) {
    switch (outcome) {
        case CacheOutcome::Hit:
            return "hit";
        case CacheOutcome::Miss:
            return "miss";
        case CacheOutcome::Revalidated:
            return "revalidated";
        case CacheOutcome::Uncacheable:
            return "uncacheable";
    }
    return "uncacheable";
}

PageCache::PageCache(std::size_t maxBytes, Clock now)
    : maxBytes_(maxBytes), now_(now ? std::move(now) : Clock(&wallSeconds)) {
    lastSummary_ = now_();
}

std::int64_t PageCache::now() const {
    return now_();
}

void PageCache::eraseLocked(std::unordered_map<std::string, Order::iterator>::iterator found) {
    bytes_ -= found->second->bytes;
    order_.erase(found->second);
    index_.erase(found);
}

PageCache::Found PageCache::find(const std::string& key) {
    Found found;
    const std::int64_t at = now_();
    std::lock_guard<std::mutex> lock(mutex_);
    auto slot = index_.find(key);
    if (slot == index_.end()) return found;
    const std::shared_ptr<const CachedPage>& page = slot->second->page;
    if (page->fresh(at)) {
        found.kind = Found::Kind::Fresh;
    } else if (!page->headers.etag.empty() || !page->headers.lastModified.empty()) {
        found.kind = Found::Kind::Stale;
    } else {
        eraseLocked(slot);
        return found;
    }
    found.page = page;
    order_.splice(order_.begin(), order_, slot->second);
    return found;
}

bool PageCache::put(const std::string& key, std::shared_ptr<const CachedPage> page) {
    if (!page) return false;
    const std::size_t bytes = page->bytes() + 2 * key.size() + SLOT_OVERHEAD;
    std::lock_guard<std::mutex> lock(mutex_);
    auto old = index_.find(key);
    if (old != index_.end()) eraseLocked(old);
    if (maxBytes_ == 0 || bytes > maxBytes_ / LARGEST_PART) return false;
    while (!order_.empty() && bytes_ + bytes > maxBytes_) {
        auto oldest = index_.find(order_.back().key);
        if (oldest == index_.end()) break;  // cannot be: every slot is indexed
        eraseLocked(oldest);
    }
    order_.push_front(Slot{key, std::move(page), bytes});
    index_[key] = order_.begin();
    bytes_ += bytes;
    return true;
}

std::shared_ptr<const CachedPage> PageCache::refresh(const std::string& key,
                                                     const std::shared_ptr<const CachedPage>& old,
                                                     const CacheHeaders& notModified, const SentHeaders& sent,
                                                     std::int64_t requestTime, std::int64_t responseTime) {
    CacheHeaders merged = mergeNotModified(old->headers, notModified);
    // The conditional request's own validators are not what Vary is about.
    const CacheVerdict verdict = judgeResponse(old->status, merged, sent, requestTime, responseTime);
    if (!verdict.store) {
        erase(key);
        return nullptr;
    }
    auto page = std::make_shared<CachedPage>(*old);
    page->headers = std::move(merged);
    page->headers.setCookie = false;
    page->browserMayCache = !cacheControlForbidsStoring(page->headers.cacheControl);
    page->responseTime = responseTime;
    page->initialAge = verdict.initialAge;
    page->lifetime = verdict.lifetime;
    page->alwaysRevalidate = verdict.alwaysRevalidate;
    put(key, page);
    return page;
}

void PageCache::erase(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = index_.find(key);
    if (found != index_.end()) eraseLocked(found);
}

void PageCache::count(CacheOutcome outcome) {
    switch (outcome) {
        case CacheOutcome::Hit:
            ++hits_;
            break;
        case CacheOutcome::Miss:
            ++misses_;
            break;
        case CacheOutcome::Revalidated:
            ++revalidated_;
            break;
        case CacheOutcome::Uncacheable:
            ++uncacheable_;
            break;
    }
}

PageCache::Stats PageCache::stats() const {
    Stats stats;
    stats.hits = hits_;
    stats.misses = misses_;
    stats.revalidated = revalidated_;
    stats.uncacheable = uncacheable_;
    std::lock_guard<std::mutex> lock(mutex_);
    stats.entries = index_.size();
    stats.bytes = bytes_;
    return stats;
}

std::string PageCache::summary() const {
    const Stats s = stats();
    return "page cache: " + std::to_string(s.hits) + " hits, " + std::to_string(s.misses) + " misses, " +
           std::to_string(s.revalidated) + " revalidated, " + std::to_string(s.uncacheable) +
           " uncacheable; " + std::to_string(s.entries) + " pages, " + std::to_string(s.bytes) + " of " +
           std::to_string(maxBytes_) + " bytes";
}

bool PageCache::summaryDue(std::int64_t interval) {
    const std::int64_t at = now_();
    std::int64_t last = lastSummary_.load();
    if (at - last < interval) return false;
    return lastSummary_.compare_exchange_strong(last, at);
}

}  // namespace wexaproxy
