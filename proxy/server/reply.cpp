#include "proxy/server/reply.h"

#include "common/check.h"

namespace wexaproxy {

std::string sanitizePageText(std::string_view page) {
    std::string out;
    out.reserve(page.size());
    for (char c : page) {
        auto byte = static_cast<unsigned char>(c);
        if (byte == 0) continue;
        if (c == '\r' || c == '\n') {
            out.push_back(' ');
        } else if (byte == 255) {
            out.push_back('?');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

static bool startsWithCacheWord(std::string_view text) {
    return text.substr(0, 4) == "TRUE" || text.substr(0, 5) == "FALSE";
}

std::vector<std::string_view> cutLines(std::string_view text, std::size_t maxLine) {
    WEXA_CHECK(maxLine >= 2, "maxLine >= 2");
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = std::min(pos + maxLine, text.size());

        // The first line cannot move its start, so a page that begins with a
        // cache word gives its first byte a line of its own.
        if (pos == 0 && startsWithCacheWord(text)) end = 1;

        // Stop before the sixth "~" of a run; the newline after the line
        // breaks the run for the reader.
        std::size_t run = 0;
        for (std::size_t i = pos; i < end; ++i) {
            run = text[i] == '~' ? run + 1 : 0;
            if (run == 6) {
                end = i;
                break;
            }
        }

        // The next line must not begin with a cache word. Its first byte is
        // then a "T" or "F", so starting it one byte earlier is always safe:
        // that line begins with the byte before, followed by "T" or "F",
        // which is neither word. The line kept here still has at least one
        // byte, because a line cut short by the tilde rule ends before a "~".
        if (end < text.size() && startsWithCacheWord(text.substr(end))) {
            if (end - pos < maxLine) {
                ++end;  // the line has room for the "T" or "F" itself
            } else {
                --end;
            }
        }
        WEXA_CHECK(end > pos, "end > pos");
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return lines;
}

std::string pageReply(std::string_view page, Cacheability cacheability) {
    std::string clean = sanitizePageText(page);
    std::vector<std::string_view> lines = cutLines(clean);
    std::string reply;
    reply.reserve(clean.size() + lines.size() + 32);
    reply += "OK\n";
    reply += cacheability == Cacheability::Cacheable ? "TRUE\n" : "FALSE\n";
    for (std::string_view line : lines) {
        reply.append(line.data(), line.size());
        reply.push_back('\n');
    }
    reply += "~~~~~~\n";
    return reply;
}

std::string plainMessage(std::string_view message) {
    std::string out;
    for (char c : message) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            c = ' ';
        } else if (c == '~') {
            c = '-';
        }
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out.push_back(c);
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    if (out.empty()) out = "Unknown error";
    if (out.size() > MAX_MESSAGE_LENGTH) {
        out.resize(MAX_MESSAGE_LENGTH - 3);
        while (!out.empty() && out.back() == ' ') out.pop_back();
        out += "...";
    }
    return out;
}

std::string errorReply(std::string_view message) {
    return "ERROR\n" + plainMessage(message) + "\n";
}

std::string aliveReply() {
    return "ALIVE\n";
}

}  // namespace wexaproxy
