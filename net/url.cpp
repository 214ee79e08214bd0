#include "net/url.h"

#include <strings.h>

#include <cstring>

#include "common/bounded.h"

namespace {

// The combined URL of a relative link may be at most this long; longer
// combinations leave the link text as it is.
constexpr size_t MAX_COMBINED = 149;
// A slash beyond this index is not cut at: the whole previous URL is the base.
constexpr long MAX_BASE_SLASH = 148;

long lastSlash(const char* text) {
    const char* slash = std::strrchr(text, '/');
    return slash != nullptr ? slash - text : -1;
}

// A link that names its scheme is complete already and needs no base.
bool isAbsolute(const char* url) {
    return strncasecmp(url, "http://", 7) == 0 || strncasecmp(url, "https://", 8) == 0;
}

}  // namespace

void UniformResourceLocator::setURL(const char* url, ReqType type) {
    if (url != nullptr && strnlen(url, sizeof currentURL) < sizeof currentURL) {
        // Copied first: url may point into one of this object's own fields.
        char incoming[sizeof currentURL];
        wexa::boundedCopy(incoming, url);
        wexa::boundedCopy(previousURL, currentURL);
        std::memset(currentURL, 0, sizeof currentURL);
        wexa::boundedCopy(currentURL, incoming);
    }
    requestType = type;
    repairURL();
}

void UniformResourceLocator::repairURL() {
    constexpr size_t LIMIT = sizeof currentURL - 1;
    switch (requestType) {
        case ABSOLUTE: {
            // A last slash at index 6 is the second one of "http://": the URL
            // names a bare host and gets the root path.
            if (lastSlash(currentURL) != 6) return;
            const size_t length = std::strlen(currentURL);
            if (length < LIMIT)
                wexa::boundedAppend(currentURL, "/");
            else
                currentURL[LIMIT - 1] = '/';
            return;
        }
        case RELATIVE: {
            if (isAbsolute(currentURL)) return;
            const long slash = lastSlash(previousURL);
            // A page without a folder (the start page "wexa.html") gives no base.
            if (slash < 0) return;
            if (slash <= MAX_BASE_SLASH) previousURL[slash + 1] = '\0';
            if (std::strlen(previousURL) + std::strlen(currentURL) > MAX_COMBINED) return;
            char combined[sizeof currentURL];
            wexa::boundedCopy(combined, previousURL);
            wexa::boundedAppend(combined, currentURL);
            wexa::boundedCopy(currentURL, combined);
            return;
        }
        default:
            return;
    }
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string readableURL(const char* url) {
    if (url == nullptr) return std::string();
    const std::string text(url);
    const std::size_t token = text.rfind("~~L");
    if (token == std::string::npos || token + 3 >= text.size()) return text;
    const char kind = text[token + 3];
    if (kind != 'h' && kind != 's') return text;
    std::string out = kind == 'h' ? "http://" : "https://";
    for (std::size_t i = token + 4; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '!') {
            out += '/';
        } else if (c == '^') {
            out += '=';
        } else if (c == '~' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
                   hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}
