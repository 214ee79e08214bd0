#include "proxy/fetch/fetcher.h"

#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "proxy/core/pagefilter.h"
#include "proxy/core/urls.h"
#include "proxy/fetch/targets.h"

namespace wexaproxy {

namespace {

// Bytes of a Content-Language header kept: its first language is what
// counts, and a header is no place for a long text.
constexpr std::size_t MAX_CONTENT_LANGUAGE = 100;

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

const char* usualReason(long status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 402:
            return "Payment Required";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 406:
            return "Not Acceptable";
        case 407:
            return "Proxy Authentication Required";
        case 408:
            return "Request Timeout";
        case 409:
            return "Conflict";
        case 410:
            return "Gone";
        case 411:
            return "Length Required";
        case 413:
            return "Content Too Large";
        case 414:
            return "URI Too Long";
        case 415:
            return "Unsupported Media Type";
        case 418:
            return "I'm a teapot";
        case 429:
            return "Too Many Requests";
        case 451:
            return "Unavailable For Legal Reasons";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "";
    }
}

// Bytes kept of one cache header (validators, dates, the joined
// Cache-Control and Vary): a header is no place for a long text.
constexpr std::size_t MAX_CACHE_HEADER = 1024;

void appendHeader(std::string& joined, std::string_view value) {
    if (joined.size() >= MAX_CACHE_HEADER) return;
    if (!joined.empty()) joined += ", ";
    joined.append(value.substr(0, MAX_CACHE_HEADER - std::min(joined.size(), MAX_CACHE_HEADER)));
}

std::string sizeLimitText(std::size_t bytes) {
    if (bytes >= 1024 * 1024) return std::to_string(bytes / (1024 * 1024)) + " MB";
    if (bytes >= 1024) return std::to_string(bytes / 1024) + " KB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

bool cacheControlForbidsStoring(std::string_view value) {
    while (!value.empty()) {
        std::size_t comma = value.find(',');
        std::string_view directive = value.substr(0, comma);
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
        directive = trim(directive.substr(0, directive.find('=')));
        if (equalsNoCase(directive, "no-store") || equalsNoCase(directive, "no-cache") ||
            equalsNoCase(directive, "private")) {
            return true;
        }
    }
    return false;
}

std::string reasonPhrase(std::string_view statusLine, long status) {
    statusLine = trim(statusLine);
    std::size_t first = statusLine.find(' ');
    if (first != std::string_view::npos) {
        std::size_t second = statusLine.find(' ', first + 1);
        if (second != std::string_view::npos) {
            std::string_view reason = trim(statusLine.substr(second + 1));
            if (!reason.empty()) return std::string(reason);
        }
    }
    return usualReason(status);
}

std::string describeCurlFailure(CURLcode code, long osErrno, std::string_view host) {
    std::string name(host);
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "Host not found: " + name;
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "Proxy host not found";
        case CURLE_COULDNT_CONNECT:
            if (osErrno == ECONNREFUSED) return "Connection refused by " + name;
            return "Could not connect to " + name;
        case CURLE_OPERATION_TIMEDOUT:
            return "Timed out waiting for " + name;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return "Certificate problem with " + name;
        case CURLE_SSL_CONNECT_ERROR:
            return "Secure connection failed with " + name;
        case CURLE_TOO_MANY_REDIRECTS:
            return "Too many redirects";
        case CURLE_UNSUPPORTED_PROTOCOL:
            return "Refused: only http and https are allowed";
        case CURLE_URL_MALFORMAT:
            return "Malformed address";
        case CURLE_GOT_NOTHING:
            return "Empty reply from " + name;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
            return "Connection broken by " + name;
        case CURLE_BAD_CONTENT_ENCODING:
            return "Page could not be decompressed";
        case CURLE_WEIRD_SERVER_REPLY:
            return "Not an HTTP reply from " + name;
        case CURLE_LOGIN_DENIED:
            return "Login denied by " + name;
        default:
            return std::string("Fetch failed: ") + curl_easy_strerror(code);
    }
}

// What the callbacks of one transfer collect. Headers are kept for the
// latest response only: with redirects, each new status line starts over.
struct Fetcher::Transfer {
    std::size_t maxBytes = 0;
    std::string body;
    std::string statusLine;
    std::string contentType;
    std::string contentLanguage;
    std::int64_t contentLength = -1;
    bool forbidsStoring = false;
    bool tooLarge = false;
    bool notText = false;
    bool refusePrivate = false;
    bool refusedAddress = false;  // a connection was refused by the address rule
    CacheHeaders cache;
    SentHeaders sent;
    int requests = 0;
    const std::atomic<bool>* cancel = nullptr;   // the server stops
    const std::atomic<bool>* dropped = nullptr;  // the client went away
};

std::size_t Fetcher::onHeader(char* data, std::size_t size, std::size_t count, void* transferPtr) {
    auto* transfer = static_cast<Transfer*>(transferPtr);
    std::size_t bytes = size * count;
    std::string_view line = trim(std::string_view(data, bytes));
    if (line.substr(0, 5) == "HTTP/") {
        transfer->statusLine = std::string(line);
        transfer->contentType.clear();
        transfer->contentLanguage.clear();
        transfer->contentLength = -1;
        transfer->forbidsStoring = false;
        transfer->cache = CacheHeaders();
        return bytes;
    }
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return bytes;
    std::string_view name = trim(line.substr(0, colon));
    std::string_view value = trim(line.substr(colon + 1));
    if (equalsNoCase(name, "Content-Type")) {
        transfer->contentType = std::string(value);
    } else if (equalsNoCase(name, "Content-Language")) {
        transfer->contentLanguage = std::string(value.substr(0, MAX_CONTENT_LANGUAGE));
    } else if (equalsNoCase(name, "Content-Length")) {
        std::string digits(value);
        char* end = nullptr;
        long long length = std::strtoll(digits.c_str(), &end, 10);
        if (end != digits.c_str() && *end == '\0' && length >= 0) transfer->contentLength = length;
    } else if (equalsNoCase(name, "Cache-Control")) {
        if (cacheControlForbidsStoring(value)) transfer->forbidsStoring = true;
        appendHeader(transfer->cache.cacheControl, value);
    } else if (equalsNoCase(name, "Pragma")) {
        appendHeader(transfer->cache.pragma, value);
    } else if (equalsNoCase(name, "Vary")) {
        appendHeader(transfer->cache.vary, value);
    } else if (equalsNoCase(name, "Expires")) {
        transfer->cache.expires = std::string(value.substr(0, MAX_CACHE_HEADER));
    } else if (equalsNoCase(name, "Date")) {
        transfer->cache.date = std::string(value.substr(0, MAX_CACHE_HEADER));
    } else if (equalsNoCase(name, "Age")) {
        transfer->cache.age = std::string(value.substr(0, MAX_CACHE_HEADER));
    } else if (equalsNoCase(name, "Last-Modified")) {
        transfer->cache.lastModified = std::string(value.substr(0, MAX_CACHE_HEADER));
    } else if (equalsNoCase(name, "ETag")) {
        transfer->cache.etag = std::string(value.substr(0, MAX_CACHE_HEADER));
    } else if (equalsNoCase(name, "Set-Cookie") || equalsNoCase(name, "Set-Cookie2")) {
        transfer->cache.setCookie = true;
    }
    return bytes;
}

// The request headers of each request as they go out: whether a cookie or
// credentials went with the request that got the final response.
int Fetcher::onDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* transferPtr) {
    if (type != CURLINFO_HEADER_OUT) return 0;
    auto* transfer = static_cast<Transfer*>(transferPtr);
    std::string_view block(data, size);
    // The first line is the request line: a new request starts over.
    if (block.find(" HTTP/") < block.find('\n')) {
        transfer->sent = SentHeaders();
        ++transfer->requests;
    }
    while (!block.empty()) {
        const std::size_t end = block.find('\n');
        std::string_view line = trim(block.substr(0, end));
        block = end == std::string_view::npos ? std::string_view() : block.substr(end + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view name = trim(line.substr(0, colon));
        if (equalsNoCase(name, "Cookie")) {
            transfer->sent.cookie = true;
        } else if (equalsNoCase(name, "Authorization")) {
            transfer->sent.authorization = true;
        } else if (equalsNoCase(name, "Cache-Control") || equalsNoCase(name, "Pragma")) {
            transfer->sent.cacheControl = true;
        } else if (equalsNoCase(name, "Referer")) {
            transfer->sent.referer = std::string(trim(line.substr(colon + 1)).substr(0, MAX_CACHE_HEADER));
        }
    }
    return 0;
}

std::size_t Fetcher::onBody(char* data, std::size_t size, std::size_t count, void* transferPtr) {
    auto* transfer = static_cast<Transfer*>(transferPtr);
    std::size_t bytes = size * count;
    // A body we would not show is not worth downloading: stop at once, and
    // describe it from its headers.
    if (classifyContentType(transfer->contentType) == ContentKind::Other) {
        transfer->notText = true;
        return 0;
    }
    if (transfer->body.size() + bytes > transfer->maxBytes) {
        transfer->tooLarge = true;
        return 0;
    }
    transfer->body.append(data, bytes);
    return bytes;
}

int Fetcher::onProgress(void* transferPtr, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* transfer = static_cast<const Transfer*>(transferPtr);
    const bool stop = (transfer->cancel != nullptr && transfer->cancel->load()) ||
                      (transfer->dropped != nullptr && transfer->dropped->load());
    return stop ? 1 : 0;
}

// Every connection libcurl opens, to the first server and after each
// redirect, passes here with the resolved address it is about to use.
curl_socket_t Fetcher::onOpenSocket(void* transferPtr, curlsocktype, curl_sockaddr* address) {
    auto* transfer = static_cast<Transfer*>(transferPtr);
    if (transfer->refusePrivate && !isPublicAddress(&address->addr, address->addrlen)) {
        transfer->refusedAddress = true;
        return CURL_SOCKET_BAD;
    }
    return ::socket(address->family, address->socktype, address->protocol);
}

Fetcher::Fetcher(const FetchSettings& settings, CurlShare& share, CookieJars& jars,
                 const std::atomic<bool>* cancel)
    : settings_(settings), share_(share), jars_(jars), cancel_(cancel) {}

Fetcher::~Fetcher() {
    if (curl_ != nullptr) curl_easy_cleanup(curl_);
}

CURL* Fetcher::handleFor(const std::string& identity) {
    if (curl_ != nullptr && identity == identity_) return curl_;
    if (curl_ != nullptr) curl_easy_cleanup(curl_);
    curl_ = curl_easy_init();
    identity_ = identity;
    if (curl_ != nullptr) {
        // A cookie given to the handle starts its cookie engine, which then
        // takes the cookies sites set for as long as the handle lives (a
        // reset keeps it); the handle's cookies are cleared at once.
        curl_easy_setopt(curl_, CURLOPT_COOKIELIST, "wexa.invalid\tFALSE\t/\tFALSE\t0\tstart\t1");
        curl_easy_setopt(curl_, CURLOPT_COOKIELIST, "ALL");
    }
    return curl_;
}

std::vector<std::string> Fetcher::handleCookies() {
    std::vector<std::string> lines;
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(curl_, CURLINFO_COOKIELIST, &list) != CURLE_OK) return lines;
    for (const curl_slist* item = list; item != nullptr; item = item->next) lines.emplace_back(item->data);
    curl_slist_free_all(list);
    return lines;
}

FetchResult Fetcher::fetch(const FetchRequest& request) {
    FetchResult result;
    CURL* c = handleFor(request.identity);
    if (c == nullptr || share_.handle() == nullptr) {
        result.error = "Out of memory";
        return result;
    }
    Transfer transfer;
    transfer.maxBytes = settings_.maxPageBytes;
    transfer.refusePrivate = settings_.refusePrivateTargets;
    transfer.cancel = cancel_;
    transfer.dropped = request.dropped;

    // A reset keeps the open connections, the cookie engine and the share,
    // and drops every option of the previous request (a POST body included).
    curl_easy_reset(c);
    curl_easy_setopt(c, CURLOPT_SHARE, share_.handle());
    curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, settings_.maxRedirects);
    curl_easy_setopt(c, CURLOPT_AUTOREFERER, 1L);
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(c, CURLOPT_USERAGENT, settings_.userAgent.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, settings_.connectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, settings_.totalTimeoutMs);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(settings_.maxPageBytes));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Fetcher::onBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Fetcher::onHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, &Fetcher::onOpenSocket);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, &transfer);
    // The headers that went out, for the page cache's rules.
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &Fetcher::onDebug);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    if (transfer.cancel != nullptr || transfer.dropped != nullptr) {
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Fetcher::onProgress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
    }
    // The identity's cookies, and only those, for this transfer.
    const std::vector<std::string> cookiesBefore = jars_.load(request.identity);
    for (const std::string& line : cookiesBefore) curl_easy_setopt(c, CURLOPT_COOKIELIST, line.c_str());

    curl_slist* headers =
        curl_slist_append(nullptr, "Accept: text/html,application/xhtml+xml,text/plain;q=0.9,*/*;q=0.5");
    if (!request.postContentType.empty())
        headers = curl_slist_append(headers, ("Content-Type: " + request.postContentType).c_str());
    if (request.bypassCache) {
        headers = curl_slist_append(headers, "Cache-Control: no-cache");
        headers = curl_slist_append(headers, "Pragma: no-cache");
    }
    // Validators come from a response's headers: without line breaks, they
    // cannot add a header of their own.
    if (!request.ifNoneMatch.empty() && request.ifNoneMatch.find_first_of("\r\n") == std::string::npos)
        headers = curl_slist_append(headers, ("If-None-Match: " + request.ifNoneMatch).c_str());
    if (!request.ifModifiedSince.empty() &&
        request.ifModifiedSince.find_first_of("\r\n") == std::string::npos)
        headers = curl_slist_append(headers, ("If-Modified-Since: " + request.ifModifiedSince).c_str());
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(headers, &curl_slist_free_all);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    if (request.method == FetchRequest::Method::Post) {
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.postBody.size()));
        curl_easy_setopt(c, CURLOPT_COPYPOSTFIELDS, request.postBody.c_str());
    }

    CURLcode code = curl_easy_perform(c);
    jars_.store(request.identity, cookiesBefore, handleCookies());
    curl_easy_setopt(c, CURLOPT_COOKIELIST, "ALL");

    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    char* effective = nullptr;
    curl_easy_getinfo(c, CURLINFO_EFFECTIVE_URL, &effective);
    result.status = status;
    result.finalUrl = effective != nullptr ? effective : request.url;
    result.contentType = transfer.contentType;
    result.contentLanguage = transfer.contentLanguage;
    result.forbidsStoring = transfer.forbidsStoring;
    result.cache = std::move(transfer.cache);
    result.sent = std::move(transfer.sent);
    result.requests = transfer.requests;

    if (transfer.notText) {
        result.ok = true;
        result.bodyOmitted = true;
        result.size = transfer.contentLength;
        return result;
    }
    if (code == CURLE_OK) {
        result.ok = true;
        result.size = static_cast<std::int64_t>(transfer.body.size());
        result.body = std::move(transfer.body);
        return result;
    }
    if (transfer.refusedAddress && code == CURLE_COULDNT_CONNECT) {
        result.error = TARGET_NOT_ALLOWED;
    } else if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        result.error = "Page too large (over " + sizeLimitText(settings_.maxPageBytes) + ")";
    } else if (code == CURLE_HTTP_RETURNED_ERROR) {
        result.error = "HTTP " + std::to_string(status);
        std::string reason = reasonPhrase(transfer.statusLine, status);
        if (!reason.empty()) result.error += " " + reason;
    } else {
        long osErrno = 0;
        curl_easy_getinfo(c, CURLINFO_OS_ERRNO, &osErrno);
        result.error = describeCurlFailure(code, osErrno, hostOf(result.finalUrl));
    }
    return result;
}

bool Fetcher::mayCarryCookies(const std::string& identity, const std::string& url) const {
    return jars_.mayHaveCookieFor(identity, hostOf(url));
}

bool initCurlGlobally() {
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

}  // namespace wexaproxy
