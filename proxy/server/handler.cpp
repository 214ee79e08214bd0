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

Served replyForResult(const Request& request, const FetchResult& result, const PageFilter& filter) {
    if (!result.ok) return errorServed(result.finalUrl, result.error);
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
    // Form replies depend on what was sent, and the server may forbid
    // keeping a page; neither may enter the browser's cache.
    bool cacheable = !input.formReply && !result.forbidsStoring;
    Served served;
    served.reply =
        pageReply(filter.render(input), cacheable ? Cacheability::Cacheable : Cacheability::NotCacheable);
    served.url = result.finalUrl;
    served.outcome = cacheable ? "OK TRUE" : "OK FALSE";
    return served;
}

Served serveRequest(const Request& request, Fetcher& fetcher, const PageFilter& filter,
                    const std::atomic<bool>* dropped) {
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
    FetchResult result = fetcher.fetch(fetch);
    if (result.finalUrl.empty()) result.finalUrl = fetch.url;
    return replyForResult(adapted, result, filter);
}

}  // namespace wexaproxy
