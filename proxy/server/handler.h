#pragma once
// From one parsed request to the bytes of its reply: lets the page filter
// read back what it wrote into links and forms, checks the URL, builds the
// HTTP request (query string or form body), fetches, passes the body
// through the page filter and writes the reply.

#include <atomic>
#include <string>

#include "proxy/core/pagefilter.h"
#include "proxy/core/request.h"
#include "proxy/fetch/fetcher.h"

namespace wexaproxy {

struct Served {
    std::string reply;
    std::string url;      // what was fetched (or the URL line as given), for the log
    std::string outcome;  // "OK TRUE", "OK FALSE" or "ERROR <message>", for the log
};

// The HTTP request that a browser request stands for. Fails (with the
// ERROR line in error) when the URL is refused.
bool buildFetchRequest(const Request& request, FetchRequest& fetch, std::string& error);

// The reply for a fetched result.
Served replyForResult(const Request& request, const FetchResult& result, const PageFilter& filter);

// Handles a request of any command; PING needs no fetcher. The fetch is
// abandoned when *dropped becomes true (dropped may be null).
Served serveRequest(const Request& request, Fetcher& fetcher, const PageFilter& filter,
                    const std::atomic<bool>* dropped = nullptr);

}  // namespace wexaproxy
