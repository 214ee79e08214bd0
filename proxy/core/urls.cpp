#include "proxy/core/urls.h"

#include <cctype>

namespace wexaproxy {

namespace {

const char HEX[] = "0123456789ABCDEF";

void appendPercent(std::string& out, unsigned char byte) {
    out.push_back('%');
    out.push_back(HEX[byte >> 4]);
    out.push_back(HEX[byte & 15]);
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The scheme at the start of text ("http" for "http://x"), or empty when
// text does not start with one. "host:8080/..." is a host and a port, and
// "user:secret@host" is a user and a password, not schemes.
std::string leadingScheme(std::string_view text) {
    std::size_t i = 0;
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return {};
    while (i < text.size()) {
        char c = text[i];
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.') {
            ++i;
        } else {
            break;
        }
    }
    if (i >= text.size() || text[i] != ':') return {};
    std::string_view after = text.substr(i + 1);
    if (after.substr(0, 2) == "//") return lower(text.substr(0, i));
    if (!after.empty() && std::isdigit(static_cast<unsigned char>(after[0]))) return {};
    std::size_t at = text.find('@');
    std::size_t slash = text.find('/');
    if (at != std::string_view::npos && (slash == std::string_view::npos || at < slash)) return {};
    // Without "//" a word and a colon is read as a scheme only when it names
    // one that people do write that way ("mailto:", "javascript:"); anything
    // else is left to be a host name.
    static const char* const BARE_SCHEMES[] = {
        "http", "https",  "file",   "ftp",  "mailto", "javascript", "data",    "about", "news",
        "tel",  "telnet", "gopher", "ldap", "dict",   "tftp",       "smb",     "sftp",  "scp",
        "imap", "pop3",   "smtp",   "rtsp", "ws",     "wss",        "vbscript"};
    std::string name = lower(text.substr(0, i));
    for (const char* known : BARE_SCHEMES) {
        if (name == known) return name;
    }
    return {};
}

bool isWebScheme(const std::string& scheme) {
    return scheme == "http" || scheme == "https";
}

// Bytes that go into the path and query as they are. Everything else
// (blanks, quotes, angle brackets, braces, non-ASCII bytes ...) is encoded;
// "%" stays so that URLs already encoded are not encoded twice.
bool keepInPath(unsigned char byte) {
    if (byte <= 0x20 || byte >= 0x7f) return false;
    switch (byte) {
        case '"':
        case '<':
        case '>':
        case '\\':
        case '^':
        case '`':
        case '{':
        case '|':
        case '}':
            return false;
        default:
            return true;
    }
}

}  // namespace

UrlCheck normalizeUrl(std::string_view raw) {
    UrlCheck result;
    while (!raw.empty() && raw.front() == ' ') raw.remove_prefix(1);
    while (!raw.empty() && raw.back() == ' ') raw.remove_suffix(1);
    if (raw.empty()) {
        result.error = "No address given";
        return result;
    }
    for (char c : raw) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            result.error = "Address holds control characters";
            return result;
        }
    }

    std::string scheme = "http";
    std::string_view rest = raw;
    std::string given = leadingScheme(rest);
    if (!given.empty()) {
        if (!isWebScheme(given)) {
            result.error = "Only http and https addresses are allowed";
            return result;
        }
        scheme = given;
        rest.remove_prefix(given.size() + 1);
        while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
        // A scheme typed after the browser's own "http://" is the one meant.
        std::string inner = leadingScheme(rest);
        while (!inner.empty()) {
            if (!isWebScheme(inner)) {
                result.error = "Only http and https addresses are allowed";
                return result;
            }
            scheme = inner;
            rest.remove_prefix(inner.size() + 1);
            while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
            inner = leadingScheme(rest);
        }
    }

    std::size_t hash = rest.find('#');
    if (hash != std::string_view::npos) rest = rest.substr(0, hash);
    std::size_t hostEnd = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, hostEnd);
    if (authority.empty() || authority.find(' ') != std::string_view::npos) {
        result.error = authority.empty() ? "Address has no host name" : "Blank in host name";
        return result;
    }

    std::string url = scheme + "://";
    url.append(authority.data(), authority.size());
    if (hostEnd != std::string_view::npos) {
        for (char c : rest.substr(hostEnd)) {
            auto byte = static_cast<unsigned char>(c);
            if (keepInPath(byte)) {
                url.push_back(c);
            } else {
                appendPercent(url, byte);
            }
        }
    }
    if (url.size() > MAX_URL_LENGTH) {
        result.error = "Address too long";
        return result;
    }
    result.ok = true;
    result.url = std::move(url);
    return result;
}

std::string hostOf(std::string_view url) {
    std::size_t start = url.find("://");
    start = start == std::string_view::npos ? 0 : start + 3;
    std::string_view rest = url.substr(start);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    std::size_t at = rest.rfind('@');
    if (at != std::string_view::npos) rest.remove_prefix(at + 1);
    if (!rest.empty() && rest.front() == '[') {
        std::size_t close = rest.find(']');
        return std::string(rest.substr(0, close == std::string_view::npos ? rest.size() : close + 1));
    }
    return std::string(rest.substr(0, rest.find(':')));
}

static void appendFormEncoded(std::string& out, std::string_view text) {
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '*' || c == '-' || c == '.' || c == '_') {
            out.push_back(c);
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            appendPercent(out, byte);
        }
    }
}

std::string formUrlEncode(const std::vector<FormField>& fields) {
    std::string out;
    for (const FormField& field : fields) {
        if (!out.empty()) out.push_back('&');
        appendFormEncoded(out, field.name);
        out.push_back('=');
        appendFormEncoded(out, field.value);
    }
    return out;
}

std::string formMultipartEncode(const std::vector<FormField>& fields, std::string_view boundary) {
    std::string out;
    for (const FormField& field : fields) {
        out += "--";
        out.append(boundary.data(), boundary.size());
        out += "\r\nContent-Disposition: form-data; name=\"";
        for (char c : field.name) {
            if (c == '"') {
                out += "%22";
            } else if (c == '\r') {
                out += "%0D";
            } else if (c == '\n') {
                out += "%0A";
            } else {
                out.push_back(c);
            }
        }
        out += "\"\r\n\r\n";
        out += field.value;
        out += "\r\n";
    }
    out += "--";
    out.append(boundary.data(), boundary.size());
    out += "--\r\n";
    return out;
}

std::string multipartBoundary(const std::vector<FormField>& fields) {
    // Counted up until it is found in no field: the first try nearly always is.
    for (unsigned long n = 0;; ++n) {
        std::string boundary = "----wexapserverFormBoundary" + std::to_string(n);
        bool clash = false;
        for (const FormField& field : fields) {
            if (field.name.find(boundary) != std::string::npos ||
                field.value.find(boundary) != std::string::npos) {
                clash = true;
                break;
            }
        }
        if (!clash) return boundary;
    }
}

std::string withQuery(std::string_view url, std::string_view query) {
    std::string_view base = url.substr(0, url.find_first_of("?#"));
    std::string out(base);
    out.push_back('?');
    out.append(query.data(), query.size());
    return out;
}

}  // namespace wexaproxy
