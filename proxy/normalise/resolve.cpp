#include "proxy/normalise/resolve.h"

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

}  // namespace

UrlResolver::UrlResolver(std::string_view base) {
    const std::string text = withoutFragment(cleaned(base));
    if (!isWeb(schemeOf(text))) return;
    Curlu url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_URLENCODE) != CURLUE_OK) return;
    baseText_ = webUrlOf(url.get());
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
    baseText_ = result.url;
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
