#include "proxy/normalise/tokens.h"

#include <sys/random.h>

#include <array>
#include <cerrno>

#include "common/check.h"

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
    // 13 digits hold any 64-bit id; more would overflow.
    if (text.empty() || text.size() > 13) return false;
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
        const auto value = static_cast<std::uint64_t>(digit);
        if (id > (UINT64_MAX - value) / 36) return false;
        id = id * 36 + value;
    }
    return true;
}

// 64 bits from the kernel's random source, taken a few hundred at a time
// (a page may want thousands of ids).
std::uint64_t randomId() {
    thread_local std::array<std::uint64_t, 64> pool;
    thread_local std::size_t left = 0;
    if (left == 0) {
        auto* bytes = reinterpret_cast<unsigned char*>(pool.data());
        std::size_t filled = 0;
        while (filled < sizeof pool) {
            const ssize_t got = getrandom(bytes + filled, sizeof pool - filled, 0);
            if (got < 0 && errno == EINTR) continue;
            // Without the kernel's random source, tokens could be guessed.
            WEXA_CHECK(got > 0, "getrandom() gives random bytes");
            filled += static_cast<std::size_t>(got);
        }
        left = pool.size();
    }
    return pool[--left];
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

TokenStore::TokenStore(TokenStoreSettings settings, Now now)
    : settings_(settings), now_(std::move(now)), nextId_(settings_.firstId) {}

std::uint64_t TokenStore::newId() {
    if (settings_.firstId != 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        return nextId_++;
    }
    std::uint64_t id = 0;
    while (id == 0) id = randomId();
    return id;
}

TokenStore::Owner& TokenStore::ownerLocked(const std::string& name, Clock::time_point now) {
    auto found = owners_.find(name);
    if (found == owners_.end()) {
        found = owners_.emplace(name, Owner{}).first;
        found->second.recent = recentOwners_.insert(recentOwners_.end(), name);
    } else {
        recentOwners_.splice(recentOwners_.end(), recentOwners_, found->second.recent);
    }
    found->second.used = now;
    return found->second;
}

void TokenStore::insertLocked(Owner& owner, Entry entry, Clock::time_point now) {
    auto existing = owner.index.find(entry.id);
    if (existing != owner.index.end()) {
        owner.bytes -= existing->second->bytes;
        bytes_ -= existing->second->bytes;
        --entries_;
        owner.order.erase(existing->second);
        owner.index.erase(existing);
    }
    Stored stored;
    stored.id = entry.id;
    stored.url = std::move(entry.url);
    stored.form = std::move(entry.form);
    // The list node, the index slot and the texts.
    stored.bytes = sizeof(Stored) + 64 + stored.url.size() + (stored.form ? stored.form->bytes() : 0);
    stored.used = now;
    owner.bytes += stored.bytes;
    bytes_ += stored.bytes;
    ++entries_;
    owner.order.push_front(std::move(stored));
    owner.index[entry.id] = owner.order.begin();
}

void TokenStore::dropOldestLocked(Owner& owner) {
    const Stored& oldest = owner.order.back();
    owner.bytes -= oldest.bytes;
    bytes_ -= oldest.bytes;
    --entries_;
    owner.index.erase(oldest.id);
    owner.order.pop_back();
}

void TokenStore::dropOwnerLocked(const std::string& name) {
    auto found = owners_.find(name);
    if (found == owners_.end()) return;
    bytes_ -= found->second.bytes;
    entries_ -= found->second.order.size();
    recentOwners_.erase(found->second.recent);
    owners_.erase(found);
}

void TokenStore::evictLocked(const std::string& name, Clock::time_point now) {
    auto found = owners_.find(name);
    if (found != owners_.end()) {
        Owner& owner = found->second;
        while (!owner.order.empty() && (owner.order.size() > settings_.maxEntriesPerOwner ||
                                        owner.bytes > settings_.maxBytesPerOwner ||
                                        now - owner.order.back().used > settings_.timeToLive)) {
            dropOldestLocked(owner);
        }
        if (owner.order.empty()) dropOwnerLocked(name);
    }
    // Owners unused for the time to live: every entry of theirs has expired.
    while (!recentOwners_.empty() && now - owners_.at(recentOwners_.front()).used > settings_.timeToLive)
        dropOwnerLocked(recentOwners_.front());
    // Over the bounds of all: the owners active longest ago give way first.
    while (!recentOwners_.empty() && (entries_ > settings_.maxEntries || bytes_ > settings_.maxBytes)) {
        const std::string oldest = recentOwners_.front();
        Owner& owner = owners_.at(oldest);
        dropOldestLocked(owner);
        if (owner.order.empty()) dropOwnerLocked(oldest);
    }
}

void TokenStore::add(const std::string& owner, std::vector<Entry> entries) {
    if (entries.empty()) return;
    const Clock::time_point now = now_();
    std::lock_guard<std::mutex> lock(mutex_);
    Owner& stored = ownerLocked(owner, now);
    for (Entry& entry : entries) insertLocked(stored, std::move(entry), now);
    evictLocked(owner, now);
}

void TokenStore::addLink(const std::string& owner, std::uint64_t id, std::string url) {
    std::vector<Entry> entries(1);
    entries[0].id = id;
    entries[0].url = std::move(url);
    add(owner, std::move(entries));
}

void TokenStore::addForm(const std::string& owner, std::uint64_t id, std::shared_ptr<const FormRecord> form) {
    std::vector<Entry> entries(1);
    entries[0].id = id;
    entries[0].form = std::move(form);
    add(owner, std::move(entries));
}

TokenStore::Stored* TokenStore::findLocked(const std::string& name, std::uint64_t id, Clock::time_point now) {
    auto owner = owners_.find(name);
    if (owner == owners_.end()) return nullptr;
    auto found = owner->second.index.find(id);
    if (found == owner->second.index.end()) return nullptr;
    if (now - found->second->used > settings_.timeToLive) {
        evictLocked(name, now);
        return nullptr;
    }
    Owner& stored = ownerLocked(name, now);
    stored.order.splice(stored.order.begin(), stored.order, found->second);
    found->second->used = now;
    return &*found->second;
}

bool TokenStore::link(const std::string& owner, std::uint64_t id, std::string& url) {
    const Clock::time_point now = now_();
    std::lock_guard<std::mutex> lock(mutex_);
    Stored* stored = findLocked(owner, id, now);
    if (stored == nullptr || stored->form) return false;
    url = stored->url;
    return true;
}

std::shared_ptr<const FormRecord> TokenStore::form(const std::string& owner, std::uint64_t id) {
    const Clock::time_point now = now_();
    std::lock_guard<std::mutex> lock(mutex_);
    Stored* stored = findLocked(owner, id, now);
    return stored != nullptr ? stored->form : nullptr;
}

std::size_t TokenStore::entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
}

std::size_t TokenStore::entries(const std::string& owner) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = owners_.find(owner);
    return found == owners_.end() ? 0 : found->second.order.size();
}

std::size_t TokenStore::bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

TokenLookup lookUpLink(std::string_view browserUrl, const std::string& owner, TokenStore& store) {
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
        } else if (store.link(owner, id, result.url)) {
            result.kind = TokenLookup::Kind::Found;
        } else {
            result.kind = TokenLookup::Kind::Expired;
        }
        return result;
    }
    return result;  // "~~L" in some other URL: not ours
}

TokenLookup lookUpForm(std::string_view browserAction, const std::string& owner, TokenStore& store) {
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
    result.form = store.form(owner, id);
    result.kind = result.form ? TokenLookup::Kind::Found : TokenLookup::Kind::Expired;
    return result;
}

}  // namespace wexaproxy
