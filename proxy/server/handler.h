#pragma once
// From one parsed request to the bytes of its reply: lets the page filter
// read back what it wrote into links and forms, checks the URL, builds the
// HTTP request (query string or form body), fetches, passes the body
// through the page filter and writes the reply.
//
// With a page cache, a GET is served from the cache when a fresh page is
// kept for it and the client's identity holds no cookie for the site
// (the kept pages were made without cookies); a kept page that is stale
// is revalidated with If-None-Match / If-Modified-Since, and a 304 serves
// it. Pages fetched for a plain GET without cookies go into the cache
// when the rules of a shared HTTP cache allow (cache/freshness.h). A
// reload (REFRESH) never looks up, and may replace the kept page; forms
// are never cached. Whatever its source, a page's tokens are issued to
// the client it is sent to.

#include <atomic>
#include <string>

#include "proxy/cache/pagecache.h"
#include "proxy/core/pagefilter.h"
#include "proxy/core/request.h"
#include "proxy/fetch/fetcher.h"

namespace wexaproxy {

struct Served {
    std::string reply;
    std::string url;      // what was fetched (or the URL line as given), for the log
    std::string outcome;  // "OK TRUE", "OK FALSE" or "ERROR <message>", for the log
    std::string cache;    // with a page cache: "hit", "miss", "revalidated" or "uncacheable"
};

// The HTTP request that a browser request stands for. Fails (with the
// ERROR line in error) when the URL is refused.
bool buildFetchRequest(const Request& request, FetchRequest& fetch, std::string& error);

// The reply for a fetched result.
Served replyForResult(const Request& request, const FetchResult& result, const PageFilter& filter);

// Handles a request of any command; PING needs no fetcher. The fetch is
// abandoned when *dropped becomes true (dropped may be null). cache may be
// null (no page cache).
Served serveRequest(const Request& request, Fetcher& fetcher, const PageFilter& filter,
                    const std::atomic<bool>* dropped = nullptr, PageCache* cache = nullptr);

}  // namespace wexaproxy
