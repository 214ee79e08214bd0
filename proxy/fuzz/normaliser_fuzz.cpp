// Fuzz target: the proxy's page normaliser on arbitrary bytes.
//
// Input: byte 0 chooses how the body is labelled (HTML with no charset,
// HTML declared UTF-8, HTML declared windows-1252, plain text); the rest is
// the body. Besides what the sanitizers catch, every output is checked:
//  - the page is 7-bit: printable ASCII only (the browser shows bytes as
//    they are, and takes those below 32 for its own codes);
//  - the reply the server would send for it keeps the line rules the
//    browser's reader relies on: status lines first, then page lines that
//    are never empty, hold at most five "~" in a row, never begin with TRUE
//    or FALSE, are at most 400 bytes, and the six "~" that end the reply.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/check.h"
#include "proxy/normalise/normaliser.h"
#include "proxy/normalise/tokens.h"
#include "proxy/server/reply.h"

namespace {

const char* const CONTENT_TYPES[] = {"text/html", "text/html; charset=utf-8",
                                     "text/html; charset=windows-1252", "text/plain"};

void checkPage(const std::string& page) {
    for (const unsigned char c : page) WEXA_CHECK(c >= 32 && c <= 126, "page byte is printable ASCII");
}

void checkReply(const std::string& reply) {
    const std::string_view head = "OK\nTRUE\n";
    const std::string_view end = "~~~~~~\n";
    WEXA_CHECK(reply.compare(0, head.size(), head) == 0, "reply starts with OK and TRUE");
    WEXA_CHECK(reply.size() >= head.size() + end.size() &&
                   reply.compare(reply.size() - end.size(), end.size(), end) == 0,
               "reply ends with six tildes");
    const std::string_view lines(reply.data() + head.size(), reply.size() - head.size() - end.size());
    std::size_t start = 0;
    while (start < lines.size()) {
        const std::size_t stop = lines.find('\n', start);
        WEXA_CHECK(stop != std::string_view::npos, "every page line ends with a newline");
        const std::string_view line = lines.substr(start, stop - start);
        WEXA_CHECK(!line.empty(), "no empty page line");
        WEXA_CHECK(line.size() <= 400, "page line of at most 400 bytes");
        WEXA_CHECK(line.rfind("TRUE", 0) != 0 && line.rfind("FALSE", 0) != 0, "no line begins TRUE or FALSE");
        WEXA_CHECK(line.find("~~~~~~") == std::string_view::npos, "no six tildes in a page line");
        start = stop + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static wexaproxy::TokenStore store;
    const std::string_view type = CONTENT_TYPES[data[0] % 4];
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string_view url = "http://example.test/dir/page.html";
    const std::string page = type == "text/plain" ? wexaproxy::normaliseText(body, type, url)
                                                  : wexaproxy::normaliseHtml(body, type, url, store);
    checkPage(page);
    checkReply(wexaproxy::pageReply(page, wexaproxy::Cacheability::Cacheable));
    return 0;
}
