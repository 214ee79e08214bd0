#include "proxy/normalise/tokens.h"

#include <random>

namespace wexaproxy {

namespace {

constexpr std::string_view LINK_MARKER = "~~L";
constexpr std::string_view FORM_MARKER = "~~F";
const char HEX[] = "0123456789ABCDEF";
const char BASE36[] = "0123456789abcdefghijklmnopqrstuvwxyz";

// Bytes an inline token carries as they are. They include none of the
// browser's word delimiters (blank, "=", '"'), no ">" (which ends a tag),
// no "/" and no "~".
bool keptInline(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '-':
        case '.':
        case '_':
        case '$':
        case '&':
        case '\'':
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case ';':
        case ':':
        case '@':
        case '?':
        case '%':
        case '[':
        case ']':
            return true;
        default:
            return false;
    }
}

std::string base36(std::uint64_t n) {
    std::string digits;
    do {
        digits.insert(digits.begin(), BASE36[n % 36]);
        n /= 36;
    } while (n != 0);
    return digits;
}

// The id written after a marker; false when the text is not one.
bool parseBase36(std::string_view text, std::uint64_t& id) {
    if (text.empty() || text.size() > 12) return false;
    id = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'z') {
            digit = c - 'a' + 10;
        } else {
            return false;
        }
        id = id * 36 + static_cast<std::uint64_t>(digit);
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// Decodes the text after "~~Lh" or "~~Ls"; false when it is malformed.
bool decodeInline(std::string_view payload, std::string& out) {
    for (std::size_t i = 0; i < payload.size(); ++i) {
        const char c = payload[i];
        if (c == '!') {
            out.push_back('/');
        } else if (c == '^') {
            out.push_back('=');
        } else if (c == '~') {
            if (i + 2 >= payload.size()) return false;
            const int high = hexValue(payload[i + 1]);
            const int low = hexValue(payload[i + 2]);
            if (high < 0 || low < 0) return false;
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else if (keptInline(static_cast<unsigned char>(c))) {
            out.push_back(c);
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string inlineLinkToken(std::string_view absoluteUrl) {
    std::string token(LINK_MARKER);
    std::string_view rest;
    if (startsWithNoCase(absoluteUrl, "http://")) {
        token.push_back('h');
        rest = absoluteUrl.substr(7);
    } else if (startsWithNoCase(absoluteUrl, "https://")) {
        token.push_back('s');
        rest = absoluteUrl.substr(8);
    } else {
        return {};
    }
    token.reserve(token.size() + rest.size() + 8);
    for (char c : rest) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/') {
            token.push_back('!');
        } else if (c == '=') {
            token.push_back('^');
        } else if (keptInline(byte)) {
            token.push_back(c);
        } else {
            token.push_back('~');
            token.push_back(HEX[byte >> 4]);
            token.push_back(HEX[byte & 15]);
        }
    }
    return token;
}

std::string storedLinkToken(std::uint64_t id) {
    return std::string(LINK_MARKER) + "t" + base36(id);
}

std::string formToken(std::uint64_t id) {
    return std::string(FORM_MARKER) + base36(id);
}

TokenStore::TokenStore(TokenStoreSettings settings, Now now) : settings_(settings), now_(std::move(now)) {
    if (settings_.firstId != 0) {
        nextId_ = settings_.firstId;
        return;
    }
    std::random_device random;
    const std::uint64_t start = (static_cast<std::uint64_t>(random()) << 8) ^ random();
    nextId_ = (start & ((std::uint64_t(1) << 40) - 1)) + 1;
}

std::uint64_t TokenStore::newId() {
    std::lock_guard<std::mutex> lock(mutex_);
    return nextId_++;
}

void TokenStore::insertLocked(Entry entry, Clock::time_point now) {
    auto existing = index_.find(entry.id);
    if (existing != index_.end()) {
        bytes_ -= existing->second->bytes;
        order_.erase(existing->second);
        index_.erase(existing);
    }
    Stored stored;
    stored.id = entry.id;
    stored.url = std::move(entry.url);
    stored.form = std::move(entry.form);
    // The list node, the index slot and the texts.
    stored.bytes = sizeof(Stored) + 64 + stored.url.size() + (stored.form ? stored.form->bytes() : 0);
    stored.used = now;
    bytes_ += stored.bytes;
    order_.push_front(std::move(stored));
    index_[entry.id] = order_.begin();
}

void TokenStore::evictLocked(Clock::time_point now) {
    while (!order_.empty() && (order_.size() > settings_.maxEntries || bytes_ > settings_.maxBytes ||
                               now - order_.back().used > settings_.timeToLive)) {
        bytes_ -= order_.back().bytes;
        index_.erase(order_.back().id);
        order_.pop_back();
    }
}

void TokenStore::add(std::vector<Entry> entries) {
    if (entries.empty()) return;
    const Clock::time_point now = now_();
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& entry : entries) insertLocked(std::move(entry), now);
    evictLocked(now);
}

void TokenStore::addLink(std::uint64_t id, std::string url) {
    std::vector<Entry> entries(1);
    entries[0].id = id;
    entries[0].url = std::move(url);
    add(std::move(entries));
}

void TokenStore::addForm(std::uint64_t id, std::shared_ptr<const FormRecord> form) {
    std::vector<Entry> entries(1);
    entries[0].id = id;
    entries[0].form = std::move(form);
    add(std::move(entries));
}

TokenStore::Stored* TokenStore::findLocked(std::uint64_t id, Clock::time_point now) {
    auto found = index_.find(id);
    if (found == index_.end()) return nullptr;
    if (now - found->second->used > settings_.timeToLive) {
        bytes_ -= found->second->bytes;
        order_.erase(found->second);
        index_.erase(found);
        return nullptr;
    }
    order_.splice(order_.begin(), order_, found->second);
    found->second->used = now;
    return &*found->second;
}

bool TokenStore::link(std::uint64_t id, std::string& url) {
    const Clock::time_point now = now_();
    std::lock_guard<std::mutex> lock(mutex_);
    Stored* stored = findLocked(id, now);
    if (stored == nullptr || stored->form) return false;
    url = stored->url;
    return true;
}

std::shared_ptr<const FormRecord> TokenStore::form(std::uint64_t id) {
    const Clock::time_point now = now_();
    std::lock_guard<std::mutex> lock(mutex_);
    Stored* stored = findLocked(id, now);
    return stored != nullptr ? stored->form : nullptr;
}

std::size_t TokenStore::entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return order_.size();
}

std::size_t TokenStore::bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

TokenLookup lookUpLink(std::string_view browserUrl, TokenStore& store) {
    TokenLookup result;
    const std::size_t at = browserUrl.rfind(LINK_MARKER);
    if (at == std::string_view::npos) return result;
    std::string_view payload = browserUrl.substr(at + LINK_MARKER.size());
    // A blank may trail the URL line; nothing else can follow a token.
    while (!payload.empty() && payload.back() == ' ') payload.remove_suffix(1);
    if (payload.empty()) return result;
    const char kind = payload.front();
    payload.remove_prefix(1);
    if (kind == 'h' || kind == 's') {
        std::string url = kind == 'h' ? "http://" : "https://";
        if (payload.empty() || !decodeInline(payload, url)) {
            result.kind = TokenLookup::Kind::Damaged;
            return result;
        }
        result.kind = TokenLookup::Kind::Found;
        result.url = std::move(url);
        return result;
    }
    if (kind == 't') {
        std::uint64_t id = 0;
        if (!parseBase36(payload, id)) {
            result.kind = TokenLookup::Kind::Damaged;
        } else if (store.link(id, result.url)) {
            result.kind = TokenLookup::Kind::Found;
        } else {
            result.kind = TokenLookup::Kind::Expired;
        }
        return result;
    }
    return result;  // "~~L" in some other URL: not ours
}

TokenLookup lookUpForm(std::string_view browserAction, TokenStore& store) {
    TokenLookup result;
    const std::size_t at = browserAction.rfind(FORM_MARKER);
    if (at == std::string_view::npos) return result;
    std::string_view payload = browserAction.substr(at + FORM_MARKER.size());
    while (!payload.empty() && payload.back() == ' ') payload.remove_suffix(1);
    std::uint64_t id = 0;
    if (!parseBase36(payload, id)) {
        result.kind = TokenLookup::Kind::Damaged;
        return result;
    }
    result.form = store.form(id);
    result.kind = result.form ? TokenLookup::Kind::Found : TokenLookup::Kind::Expired;
    return result;
}

}  // namespace wexaproxy
