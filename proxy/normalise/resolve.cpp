#include "proxy/normalise/resolve.h"

#include <algorithm>
#include <memory>

namespace wexaproxy {

namespace {

struct CurluDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using Curlu = std::unique_ptr<CURLU, CurluDeleter>;

struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using CurlText = std::unique_ptr<char, CurlTextDeleter>;

bool isUrlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The reference as browsers clean it before parsing, and without its
// fragment, which never reaches a server.
std::string cleaned(std::string_view reference) {
    while (!reference.empty() && isUrlSpace(reference.front())) reference.remove_prefix(1);
    while (!reference.empty() && isUrlSpace(reference.back())) reference.remove_suffix(1);
    std::string out;
    out.reserve(reference.size());
    bool inQuery = false;
    for (char c : reference) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) continue;  // tabs and line breaks inside are dropped
        if (c == '?') inQuery = true;
        out.push_back(c == '\\' && !inQuery ? '/' : c);
    }
    return out;
}

std::string withoutFragment(std::string text) {
    const std::size_t hash = text.find('#');
    if (hash != std::string::npos) text.resize(hash);
    return text;
}

// The scheme a reference starts with, in lower case; empty for a relative one.
std::string schemeOf(std::string_view reference) {
    std::size_t i = 0;
    if (reference.empty() ||
        !((reference[0] >= 'a' && reference[0] <= 'z') || (reference[0] >= 'A' && reference[0] <= 'Z')))
        return {};
    while (i < reference.size()) {
        const char c = reference[i];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
            c == '-' || c == '.') {
            ++i;
        } else {
            break;
        }
    }
    if (i >= reference.size() || reference[i] != ':') return {};
    std::string scheme(reference.substr(0, i));
    for (char& c : scheme) c = lower(c);
    return scheme;
}

bool isWeb(const std::string& scheme) {
    return scheme == "http" || scheme == "https";
}

// The URL of a parsed handle (which holds no fragment), if it is http or
// https. curl writes the scheme in lower case.
std::string webUrlOf(CURLU* url) {
    char* text = nullptr;
    if (curl_url_get(url, CURLUPART_URL, &text, 0) != CURLUE_OK) return {};
    CurlText owned(text);
    const std::string_view result(text);
    if (result.compare(0, 7, "http://") != 0 && result.compare(0, 8, "https://") != 0) return {};
    return std::string(result);
}

// Whether a relative reference is plain: a path of letters, digits and
// the characters "-._~!$&'()*+,;=/" with no "." or ".." segment, then
// perhaps a query of the same characters and "?". curl's parser leaves
// such a reference as it is, so that resolving it joins it to the base's
// text: to the origin (a path from the root) or to the base's folder.
// Nothing else is plain: another scheme, "//", "?" or "." first, encoded
// or encodable bytes, ":" or "@", an empty query.
bool isPlainReference(std::string_view text) {
    if (text.empty() || text[0] == '?' || text[0] == '.' || text.compare(0, 2, "//") == 0) return false;
    // (curl drops an empty query.)
    if (text.back() == '?') return false;
    bool query = false;
    std::size_t segment = 0;  // where the path segment being read starts
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : '\0';
        if (!query && (c == '/' || c == '?' || c == '\0')) {
            const std::string_view name = text.substr(segment, i - segment);
            if (name == "." || name == "..") return false;
            segment = i + 1;
            if (c == '?') query = true;
            continue;
        }
        if (c == '\0') break;
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           std::string_view("-._~!$&'()*+,;=/").find(c) != std::string_view::npos ||
                           (query && c == '?');
        if (!plain) return false;
    }
    return true;
}

// Whether an absolute http or https URL is plain: scheme and host in lower
// case, the host of letters, digits, dots and dashes, its last label
// starting with a letter (so never an IPv4 address curl would rewrite), no
// port or user, then a plain path from the root (see isPlainReference) or
// nothing. curl gives such a URL back as it is, with "/" for no path.
bool isPlainAbsolute(std::string_view text) {
    std::size_t host = 0;
    if (text.compare(0, 7, "http://") == 0) {
        host = 7;
    } else if (text.compare(0, 8, "https://") == 0) {
        host = 8;
    } else {
        return false;
    }
    const std::size_t end = std::min(text.find('/', host), text.size());
    char before = '.';  // the character before the one read
    for (std::size_t i = host; i < end; ++i) {
        const char c = text[i];
        if (c == '.' || c == '-') {
            if (before == '.' || (c == '.' && before == '-')) return false;
        } else if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
            return false;
        }
        before = c;
    }
    if (end == host || before == '.' || before == '-') return false;
    const std::size_t lastLabel = text.rfind('.', end - 1);
    const char first = text[lastLabel == std::string_view::npos || lastLabel < host ? host : lastLabel + 1];
    if (first < 'a' || first > 'z') return false;
    return end == text.size() || isPlainReference(text.substr(end));
}

}  // namespace

void UrlResolver::setBaseText(std::string text) {
    baseText_ = std::move(text);
    // "scheme://authority" and the path without its last segment (curl's
    // URLs always have a path, "/" at least).
    const std::size_t authority = baseText_.find("://");
    const std::size_t path =
        authority == std::string::npos ? std::string::npos : baseText_.find('/', authority + 3);
    const std::size_t query = baseText_.find('?', path == std::string::npos ? 0 : path);
    const std::size_t folder = path == std::string::npos ? std::string::npos : baseText_.rfind('/', query);
    if (path == std::string::npos || folder == std::string::npos || folder < path) {
        origin_.clear();
        folder_.clear();
        return;
    }
    origin_ = baseText_.substr(0, path);
    folder_ = baseText_.substr(0, folder + 1);
}

UrlResolver::UrlResolver(std::string_view base) {
    const std::string text = withoutFragment(cleaned(base));
    if (!isWeb(schemeOf(text))) return;
    Curlu url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_URLENCODE) != CURLUE_OK) return;
    setBaseText(webUrlOf(url.get()));
    if (!baseText_.empty()) base_ = url.release();
}

UrlResolver::~UrlResolver() {
    if (base_ != nullptr) curl_url_cleanup(base_);
}

void UrlResolver::rebase(std::string_view href) {
    Result result = resolve(href);
    if (result.kind != Kind::Web) return;
    Curlu url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, result.url.c_str(), 0) != CURLUE_OK) return;
    if (base_ != nullptr) curl_url_cleanup(base_);
    base_ = url.release();
    setBaseText(std::move(result.url));
}

UrlResolver::Result UrlResolver::resolve(std::string_view reference) const {
    Result result;
    std::string text = cleaned(reference);
    if (!text.empty() && text[0] == '#') {
        result.kind = Kind::Fragment;
        return result;
    }
    text = withoutFragment(std::move(text));
    const std::string scheme = schemeOf(text);
    if (!scheme.empty() && !isWeb(scheme)) return result;
    if (!scheme.empty() && isPlainAbsolute(text)) {
        result.url = text.find('/', scheme.size() + 3) == std::string::npos ? text + "/" : text;
        result.kind = Kind::Web;
        return result;
    }
    // Most links are plain paths: joined to the base's text without curl,
    // which would give the same.
    if (scheme.empty() && base_ != nullptr && !folder_.empty() && isPlainReference(text)) {
        result.url = (text[0] == '/' ? origin_ : folder_) + text;
        result.kind = Kind::Web;
        return result;
    }
    // An absolute reference replaces the whole base: no copy of it needed.
    Curlu url(base_ != nullptr && scheme.empty() ? curl_url_dup(base_) : curl_url());
    if (!url) return result;
    if (base_ == nullptr && scheme.empty()) return result;
    // An empty reference is the page itself.
    if (!text.empty() && curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_URLENCODE) != CURLUE_OK)
        return result;
    result.url = webUrlOf(url.get());
    if (!result.url.empty()) result.kind = Kind::Web;
    return result;
}

}  // namespace wexaproxy
