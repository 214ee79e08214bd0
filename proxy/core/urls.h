#pragma once
// Checking the URLs that browsers send, and encoding form data.
//
// The browser puts "http://" in front of whatever the user types, so a typed
// "https://host/x" arrives as "http://https://host/x"; that means
// "https://host/x". Only http and https are ever fetched. Nothing from the
// request may reach the HTTP request as raw control characters or blanks.

#include <string>
#include <string_view>
#include <vector>

#include "proxy/core/request.h"

namespace wexaproxy {

struct UrlCheck {
    bool ok = false;
    std::string url;    // the URL to fetch, when ok
    std::string error;  // plain words, when not ok
};

// Longest URL accepted (after encoding).
constexpr std::size_t MAX_URL_LENGTH = 8192;

// Makes the URL line of a request into the URL to fetch: trims surrounding
// blanks; refuses control characters; resolves a scheme typed after the
// browser's "http://"; refuses every scheme but http and https; adds
// "http://" when no scheme is given; drops the fragment; percent-encodes
// blanks, non-ASCII bytes and the characters that may not appear raw in a
// request line (host excepted).
UrlCheck normalizeUrl(std::string_view raw);

// The host part of a checked URL (without user, port, path), for messages.
std::string hostOf(std::string_view url);

// application/x-www-form-urlencoded: "name=value" pairs joined by "&"; a
// blank becomes "+", letters, digits and "*-._" stay, every other byte
// becomes "%XX".
std::string formUrlEncode(const std::vector<FormField>& fields);

// multipart/form-data: each pair as a part named by its field name
// (a '"' in a name written as %22, CR and LF as %0D and %0A), parts
// separated by boundary, which must not occur in the data.
std::string formMultipartEncode(const std::vector<FormField>& fields, std::string_view boundary);

// A boundary that occurs in none of the fields' names and values.
std::string multipartBoundary(const std::vector<FormField>& fields);

// The URL of a GET form submission: the action with its query (and
// fragment) replaced by query.
std::string withQuery(std::string_view url, std::string_view query);

}  // namespace wexaproxy
