#include "proxy/core/pagefilter.h"

#include <cctype>

namespace wexaproxy {

ContentKind classifyContentType(std::string_view contentType) {
    std::string type;
    for (char c : contentType.substr(0, contentType.find(';'))) {
        if (c == ' ' || c == '\t') continue;
        type.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    if (type.empty() || type == "text/html" || type == "application/xhtml+xml") return ContentKind::Html;
    auto endsWith = [&type](std::string_view suffix) {
        return type.size() > suffix.size() &&
               type.compare(type.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    if (type.compare(0, 5, "text/") == 0 || type == "application/json" || type == "application/xml" ||
        endsWith("+json") || endsWith("+xml")) {
        return ContentKind::Text;
    }
    return ContentKind::Other;
}

std::string wrapPlainText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') continue;
            out += "<BR>";
        } else if (c == '\n') {
            out += "<BR>";
        } else if (c == '<') {
            // The browser decodes no entities, so "&lt;" would show as
            // written; a "<" followed by a blank is text to its tokenizer.
            out += "< ";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

static std::string sizeText(std::int64_t size) {
    if (size < 0) return "unknown size";
    if (size < 10 * 1024) return std::to_string(size) + " bytes";
    if (size < 10 * 1024 * 1024) return std::to_string(size / 1024) + " KB";
    return std::to_string(size / (1024 * 1024)) + " MB";
}

std::string describeOtherContent(const PageInput& input) {
    std::string type;
    for (char c : input.contentType.substr(0, input.contentType.find(';'))) {
        // The type goes into the page, so it may hold nothing that starts a tag.
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '-' || c == '+' || c == '.') {
            type.push_back(c);
        }
    }
    if (type.empty()) type = "unknown type";
    std::string page = "<HTML><HEAD><TITLE>Not a web page</TITLE></HEAD><BODY>";
    page += "<B>Not a web page</B><BR><BR>";
    page += "This address holds " + type + " data (" + sizeText(input.size) + "),";
    page += " which this browser cannot show.";
    page += "</BODY></HTML>";
    return page;
}

std::string PassThroughFilter::render(const PageInput& input) const {
    if (input.bodyOmitted) return describeOtherContent(input);
    switch (classifyContentType(input.contentType)) {
        case ContentKind::Html:
            // Without a declared type, a body holding NUL bytes is a binary
            // file, not a page.
            if (input.contentType.empty() &&
                input.body.substr(0, 1024).find('\0') != std::string_view::npos) {
                return describeOtherContent(input);
            }
            return std::string(input.body);
        case ContentKind::Text:
            return wrapPlainText(input.body);
        case ContentKind::Other:
            return describeOtherContent(input);
    }
    return std::string(input.body);
}

}  // namespace wexaproxy
