#include "proxy/server/handler.h"

#include "proxy/core/urls.h"
#include "proxy/server/reply.h"

namespace wexaproxy {

static bool isForm(Command command) {
    return command == Command::FormGet || command == Command::FormPost;
}

static Served errorServed(std::string url, const std::string& message) {
    Served served;
    served.reply = errorReply(message);
    served.url = std::move(url);
    served.outcome = "ERROR " + plainMessage(message);
    return served;
}

bool buildFetchRequest(const Request& request, FetchRequest& fetch, std::string& error) {
    UrlCheck checked = normalizeUrl(request.url);
    if (!checked.ok) {
        error = checked.error;
        return false;
    }
    fetch = FetchRequest();
    fetch.url = checked.url;
    fetch.identity = request.identity;
    switch (request.command) {
        case Command::Refresh:
            fetch.bypassCache = true;
            break;
        case Command::FormGet:
            fetch.url = withQuery(checked.url, formUrlEncode(request.fields));
            if (fetch.url.size() > MAX_URL_LENGTH) {
                error = "Form data too long for a GET form";
                return false;
            }
            break;
        case Command::FormPost:
            fetch.method = FetchRequest::Method::Post;
            if (request.multipart) {
                const std::string boundary = multipartBoundary(request.fields);
                fetch.postBody = formMultipartEncode(request.fields, boundary);
                fetch.postContentType = "multipart/form-data; boundary=" + boundary;
            } else {
                fetch.postBody = formUrlEncode(request.fields);
            }
            break;
        case Command::Get:
        case Command::Ping:
            break;
    }
    return true;
}

namespace {

PageInput pageInput(const Request& request, const FetchResult& result) {
    PageInput input;
    input.body = result.body;
    input.contentType = result.contentType;
    input.finalUrl = result.finalUrl;
    input.formReply = isForm(request.command);
    input.bodyOmitted = result.bodyOmitted;
    input.size = result.size;
    input.contentLanguage = result.contentLanguage;
    input.view = request.view;
    input.posted = request.command == Command::FormPost;
    input.owner = request.identity;
    return input;
}

// Form replies depend on what was sent, and the server may forbid keeping
// a page; neither may enter the browser's cache.
bool browserMayCache(const Request& request, const FetchResult& result) {
    return !isForm(request.command) && !result.forbidsStoring;
}

Served pageServed(std::string text, bool cacheable, std::string url) {
    Served served;
    served.reply = pageReply(text, cacheable ? Cacheability::Cacheable : Cacheability::NotCacheable);
    served.url = std::move(url);
    served.outcome = cacheable ? "OK TRUE" : "OK FALSE";
    return served;
}

// A kept page as sent to the request's client.
Served servedFromCache(const Request& request, const CachedPage& page, const PageFilter& filter,
                       CacheOutcome outcome, PageCache& cache) {
    Served served =
        pageServed(filter.issue(page.page, request.identity), page.browserMayCache, page.finalUrl);
    served.cache = cacheOutcomeName(outcome);
    cache.count(outcome);
    return served;
}

}  // namespace

Served replyForResult(const Request& request, const FetchResult& result, const PageFilter& filter) {
    if (!result.ok) return errorServed(result.finalUrl, result.error);
    return pageServed(filter.render(pageInput(request, result)), browserMayCache(request, result),
                      result.finalUrl);
}

Served serveRequest(const Request& request, Fetcher& fetcher, const PageFilter& filter,
                    const std::atomic<bool>* dropped, PageCache* cache) {
    if (request.command == Command::Ping) {
        Served served;
        served.reply = aliveReply();
        served.outcome = "ALIVE";
        return served;
    }
    std::string error;
    Request adapted = request;
    if (!filter.adaptRequest(adapted, error)) return errorServed(request.url, error);
    FetchRequest fetch;
    if (!buildFetchRequest(adapted, fetch, error)) return errorServed(adapted.url, error);
    fetch.dropped = dropped;
    if (cache == nullptr || cache->maxBytes() == 0) {
        FetchResult result = fetcher.fetch(fetch);
        if (result.finalUrl.empty()) result.finalUrl = fetch.url;
        return replyForResult(adapted, result, filter);
    }

    // Only plain page requests use the cache, and only for a client that
    // would send the site no cookie: kept pages were made without any.
    const bool plain = adapted.command == Command::Get || adapted.command == Command::Refresh;
    const bool withoutCookies = plain && !fetcher.mayCarryCookies(adapted.identity, fetch.url);
    const std::string settings = plain ? filter.settingsKey() : std::string();
    const std::string key = plain ? pageKey(fetch.url, adapted.view, settings) : std::string();
    std::shared_ptr<const CachedPage> stale;
    if (withoutCookies && !fetch.bypassCache) {
        PageCache::Found found = cache->find(key);
        if (found.kind == PageCache::Found::Kind::Fresh)
            return servedFromCache(adapted, *found.page, filter, CacheOutcome::Hit, *cache);
        if (found.kind == PageCache::Found::Kind::Stale) {
            stale = std::move(found.page);
            fetch.ifNoneMatch = stale->headers.etag;
            fetch.ifModifiedSince = stale->headers.lastModified;
        }
    }

    const std::int64_t requestTime = cache->now();
    FetchResult result = fetcher.fetch(fetch);
    const std::int64_t responseTime = cache->now();
    if (result.finalUrl.empty()) result.finalUrl = fetch.url;
    if (stale && result.ok && result.status == 304) {
        std::shared_ptr<const CachedPage> refreshed =
            cache->refresh(key, stale, result.cache, result.sent, requestTime, responseTime);
        return servedFromCache(adapted, refreshed ? *refreshed : *stale, filter, CacheOutcome::Revalidated,
                               *cache);
    }
    if (!result.ok) return errorServed(result.finalUrl, result.error);

    const PageInput input = pageInput(adapted, result);
    PreparedPage prepared = filter.prepare(input);
    const bool mayCache = browserMayCache(adapted, result);
    // The request that got the response must be known to have carried no
    // cookie (result.requests counts the requests seen going out).
    CacheVerdict verdict;
    if (plain && result.requests > 0 && !result.sent.cookie && result.status != 304)
        verdict = judgeResponse(result.status, result.cache, result.sent, requestTime, responseTime);
    if (!verdict.store) {
        // What was kept no longer stands for the page.
        if (plain && stale) cache->erase(key);
        Served served = pageServed(filter.issue(prepared, adapted.identity), mayCache, result.finalUrl);
        served.cache = cacheOutcomeName(CacheOutcome::Uncacheable);
        cache->count(CacheOutcome::Uncacheable);
        return served;
    }
    auto page = std::make_shared<CachedPage>();
    page->page = std::move(prepared);
    page->finalUrl = result.finalUrl;
    page->status = result.status;
    page->browserMayCache = mayCache;
    page->headers = std::move(result.cache);
    page->responseTime = responseTime;
    page->initialAge = verdict.initialAge;
    page->lifetime = verdict.lifetime;
    page->alwaysRevalidate = verdict.alwaysRevalidate;
    // After a redirect the page is the final URL's, and is kept under it.
    const std::string storeKey = result.requests > 1 ? pageKey(result.finalUrl, adapted.view, settings) : key;
    cache->put(storeKey, page);
    Served served = pageServed(filter.issue(page->page, adapted.identity), mayCache, page->finalUrl);
    served.cache = cacheOutcomeName(CacheOutcome::Miss);
    cache->count(CacheOutcome::Miss);
    return served;
}

}  // namespace wexaproxy
