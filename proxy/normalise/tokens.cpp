#include "proxy/normalise/tokens.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sys/random.h>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <climits>

#include "common/check.h"

namespace wexaproxy {

namespace {

constexpr std::string_view LINK_MARKER = "~~L";
constexpr std::string_view FORM_MARKER = "~~F";
const char HEX[] = "0123456789ABCDEF";
const char BASE36[] = "0123456789abcdefghijklmnopqrstuvwxyz";
const char BASE64URL[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// Sealed tokens: "~~Lk", then base64url of the version byte, the expiry (4
// bytes, seconds since 1970, most significant first), the URL compressed
// and the first SEAL_MAC_BYTES of the HMAC.
constexpr std::string_view SEALED_MARKER = "~~Lk";
constexpr unsigned char SEAL_VERSION = 1;
constexpr std::size_t SEAL_HEADER_BYTES = 5;
constexpr std::size_t SEAL_MAC_BYTES = 12;
// Longest URL sealed, and so the most a sealed token inflates to: far more
// than ever fits in a token, so the bound only stops a forged one early.
constexpr std::size_t MAX_SEALED_URL = 2048;
// Compression window (2 KB, enough for any sealed URL) and memory level:
// small, so that a page of a thousand long links costs little memory.
constexpr int SEAL_WINDOW_BITS = 11;
constexpr int SEAL_MEMORY_LEVEL = 5;
// What URLs often hold, as the compressor's dictionary: a part found here
// costs a few bits. Changing it changes the version.
constexpr std::string_view SEAL_DICTIONARY =
    "utm_source=newsletter&utm_medium=email&utm_campaign=&utm_content=&utm_term="
    "&ref=&sessionid=&session=&token=&sort=&lang=en&format=&search?q=&query=&page=&id="
    ".html.htm.php.aspx.jsp/index/article/articles/news/blog/wiki/category/tag/search/"
    "2023/2024/2025/2026/.co.uk/.org/.net/.com/http://https://www.";

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

std::string base64Url(const unsigned char* bytes, std::size_t size) {
    std::string text;
    text.reserve((size * 4 + 2) / 3);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const unsigned value = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        text.push_back(BASE64URL[(value >> 18) & 63]);
        text.push_back(BASE64URL[(value >> 12) & 63]);
        text.push_back(BASE64URL[(value >> 6) & 63]);
        text.push_back(BASE64URL[value & 63]);
    }
    if (size - i == 1) {
        const unsigned value = bytes[i] << 16;
        text.push_back(BASE64URL[(value >> 18) & 63]);
        text.push_back(BASE64URL[(value >> 12) & 63]);
    } else if (size - i == 2) {
        const unsigned value = (bytes[i] << 16) | (bytes[i + 1] << 8);
        text.push_back(BASE64URL[(value >> 18) & 63]);
        text.push_back(BASE64URL[(value >> 12) & 63]);
        text.push_back(BASE64URL[(value >> 6) & 63]);
    }
    return text;
}

int base64UrlValue(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-') return 62;
    if (c == '_') return 63;
    return -1;
}

// False for text that is not base64url without padding (a length of 1
// modulo 4 cannot be, nor can bits left over that are not zero).
bool fromBase64Url(std::string_view text, std::string& out) {
    if (text.size() % 4 == 1) return false;
    unsigned value = 0;
    int bits = 0;
    for (char c : text) {
        const int digit = base64UrlValue(c);
        if (digit < 0) return false;
        value = (value << 6) | static_cast<unsigned>(digit);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((value >> bits) & 0xFF));
        }
    }
    return (value & ((1u << bits) - 1)) == 0;
}

// A zlib stream of one thread, reused for every token: set up once, reset
// for each URL.
class Deflater {
public:
    Deflater() {
        ok_ = deflateInit2(&stream_, Z_BEST_COMPRESSION, Z_DEFLATED, -SEAL_WINDOW_BITS, SEAL_MEMORY_LEVEL,
                           Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater() {
        if (ok_) deflateEnd(&stream_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // input compressed with the dictionary into out; false when it takes
    // more than limit bytes.
    bool compress(std::string_view input, std::size_t limit, std::string& out) {
        if (!ok_ || deflateReset(&stream_) != Z_OK) return false;
        if (deflateSetDictionary(&stream_, reinterpret_cast<const Bytef*>(SEAL_DICTIONARY.data()),
                                 static_cast<uInt>(SEAL_DICTIONARY.size())) != Z_OK)
            return false;
        std::string buffer(limit + 1, '\0');
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        stream_.avail_in = static_cast<uInt>(input.size());
        stream_.next_out = reinterpret_cast<Bytef*>(&buffer[0]);
        stream_.avail_out = static_cast<uInt>(buffer.size());
        // Z_STREAM_END: all of it fitted; Z_OK or Z_BUF_ERROR: out of room.
        if (deflate(&stream_, Z_FINISH) != Z_STREAM_END) return false;
        const std::size_t used = buffer.size() - stream_.avail_out;
        if (used > limit) return false;
        out.append(buffer, 0, used);
        return true;
    }

private:
    z_stream stream_{};
    bool ok_ = false;
};

// The compressed bytes back into at most MAX_SEALED_URL bytes; false when
// they are not a whole deflate stream of that size.
bool inflateSealed(std::string_view packed, std::string& out) {
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) return false;
    struct End {
        z_stream& stream;
        ~End() { inflateEnd(&stream); }
    } end{stream};
    if (inflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(SEAL_DICTIONARY.data()),
                             static_cast<uInt>(SEAL_DICTIONARY.size())) != Z_OK)
        return false;
    std::string buffer(MAX_SEALED_URL + 1, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(&buffer[0]);
    stream.avail_out = static_cast<uInt>(buffer.size());
    if (inflate(&stream, Z_FINISH) != Z_STREAM_END || stream.avail_in != 0) return false;
    const std::size_t used = buffer.size() - stream.avail_out;
    if (used > MAX_SEALED_URL) return false;
    out.assign(buffer, 0, used);
    return true;
}

// The MAC of a sealed token: over its version and expiry (header), the
// owner (its length first, so that no owner and payload run into each
// other) and the compressed URL.
std::array<unsigned char, SEAL_MAC_BYTES> sealMac(std::string_view secret, std::string_view header,
                                                  const std::string& owner, std::string_view packed) {
    std::string message;
    message.reserve(header.size() + 4 + owner.size() + packed.size());
    message.append(header);
    const auto ownerSize = static_cast<std::uint32_t>(owner.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        message.push_back(static_cast<char>((ownerSize >> shift) & 0xFF));
    message.append(owner);
    message.append(packed);
    const auto digest = hmacSha256(secret, message);
    std::array<unsigned char, SEAL_MAC_BYTES> mac{};
    std::copy(digest.begin(), digest.begin() + SEAL_MAC_BYTES, mac.begin());
    return mac;
}

bool isWebUrl(std::string_view url) {
    return startsWithNoCase(url, "http://") || startsWithNoCase(url, "https://");
}

// The URL in a sealed token's text for owner; Damaged when the text cannot
// be one, Expired when it is not ours for this owner now.
TokenLookup::Kind openSealed(std::string_view text, const std::string& owner, const TokenStore& store,
                             std::string& url) {
    std::string bytes;
    if (!fromBase64Url(text, bytes) || bytes.size() < SEAL_HEADER_BYTES + SEAL_MAC_BYTES + 1)
        return TokenLookup::Kind::Damaged;
    // Another version (a server before or after an upgrade) reads as expired:
    // reloading the page gives a token of this one.
    if (static_cast<unsigned char>(bytes[0]) != SEAL_VERSION) return TokenLookup::Kind::Expired;
    const std::string_view all(bytes);
    const std::string_view header = all.substr(0, SEAL_HEADER_BYTES);
    const std::string_view packed =
        all.substr(SEAL_HEADER_BYTES, all.size() - SEAL_HEADER_BYTES - SEAL_MAC_BYTES);
    const std::string_view mac = all.substr(all.size() - SEAL_MAC_BYTES);
    const auto expected = sealMac(store.secret(), header, owner, packed);
    if (CRYPTO_memcmp(expected.data(), mac.data(), SEAL_MAC_BYTES) != 0) return TokenLookup::Kind::Expired;
    std::int64_t expires = 0;
    for (std::size_t i = 1; i < SEAL_HEADER_BYTES; ++i)
        expires = (expires << 8) | static_cast<unsigned char>(header[i]);
    if (store.wallNow() > expires) return TokenLookup::Kind::Expired;
    // Only this server's own output gets here, so a failure is a fault of
    // ours, reported as a damaged token rather than trusted.
    if (!inflateSealed(packed, url) || !isWebUrl(url)) return TokenLookup::Kind::Damaged;
    return TokenLookup::Kind::Found;
}

}  // namespace

std::array<unsigned char, HMAC_BYTES> hmacSha256(std::string_view key, std::string_view message) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int digestSize = 0;
    const unsigned char* done = HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
                                     reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                                     digest.data(), &digestSize);
    WEXA_CHECK(done != nullptr && digestSize == HMAC_BYTES, "HMAC-SHA256 gives a digest");
    std::array<unsigned char, HMAC_BYTES> mac{};
    std::copy(digest.begin(), digest.begin() + HMAC_BYTES, mac.begin());
    return mac;
}

std::string sealedLinkToken(std::string_view absoluteUrl, const std::string& owner, std::string_view secret,
                            std::int64_t expires, std::size_t maxLength) {
    if (!isWebUrl(absoluteUrl) || absoluteUrl.size() > MAX_SEALED_URL || expires < 0 || expires > UINT32_MAX)
        return {};
    // Bytes that fit: 4 base64 digits carry 3 bytes, a leftover 2 or 3 digits 1 or 2.
    if (maxLength < SEALED_MARKER.size()) return {};
    const std::size_t digits = maxLength - SEALED_MARKER.size();
    const std::size_t fitting = digits / 4 * 3 + (digits % 4 == 0 ? 0 : digits % 4 - 1);
    if (fitting <= SEAL_HEADER_BYTES + SEAL_MAC_BYTES) return {};
    std::string bytes;
    bytes.push_back(static_cast<char>(SEAL_VERSION));
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<char>((expires >> shift) & 0xFF));
    thread_local Deflater deflater;
    if (!deflater.compress(absoluteUrl, fitting - SEAL_HEADER_BYTES - SEAL_MAC_BYTES, bytes)) return {};
    const std::string_view all(bytes);
    const auto mac = sealMac(secret, all.substr(0, SEAL_HEADER_BYTES), owner, all.substr(SEAL_HEADER_BYTES));
    bytes.append(reinterpret_cast<const char*>(mac.data()), mac.size());
    return std::string(SEALED_MARKER) +
           base64Url(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

bool fitsSealed(std::string_view absoluteUrl) {
    return !sealedLinkToken(absoluteUrl, std::string(), std::string_view(), 0).empty();
}

std::string issueLinkToken(std::string_view absoluteUrl, const std::string& owner, const TokenStore& store) {
    std::string token = inlineLinkToken(absoluteUrl);
    if (token.size() <= MAX_HREF_LENGTH) return token;
    return sealedLinkToken(absoluteUrl, owner, store.secret(), store.wallNow() + store.timeToLive().count());
}

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
    : settings_(std::move(settings)),
      now_(std::move(now)),
      secret_(settings_.secret),
      nextId_(settings_.firstId) {
    if (secret_.empty()) {
        while (secret_.size() < MIN_SECRET_BYTES) {
            const std::uint64_t bits = randomId();
            secret_.append(reinterpret_cast<const char*>(&bits), sizeof bits);
        }
    }
    WEXA_CHECK(secret_.size() >= MIN_SECRET_BYTES, "the token secret has at least 32 bytes");
}

std::int64_t TokenStore::wallNow() const {
    if (settings_.wallClock) return settings_.wallClock();
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

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
    Entry found;
    if (!localEntry(EntryKind::Link, owner, id, found) && !fromFallback(EntryKind::Link, owner, id, found))
        return false;
    url = std::move(found.url);
    return true;
}

std::shared_ptr<const FormRecord> TokenStore::form(const std::string& owner, std::uint64_t id) {
    Entry found;
    if (!localEntry(EntryKind::Form, owner, id, found) && !fromFallback(EntryKind::Form, owner, id, found))
        return nullptr;
    return found.form;
}

bool TokenStore::localEntry(EntryKind kind, const std::string& owner, std::uint64_t id, Entry& found) {
    const Clock::time_point now = now_();
    std::lock_guard<std::mutex> lock(mutex_);
    Stored* stored = findLocked(owner, id, now);
    if (stored == nullptr || (kind == EntryKind::Form) != (stored->form != nullptr)) return false;
    found.id = id;
    found.url = stored->url;
    found.form = stored->form;
    return true;
}

void TokenStore::setFallback(Fallback fallback) {
    std::lock_guard<std::mutex> lock(mutex_);
    fallback_ = std::move(fallback);
}

bool TokenStore::fromFallback(EntryKind kind, const std::string& owner, std::uint64_t id, Entry& found) {
    Fallback fallback;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fallback = fallback_;
    }
    if (!fallback || !fallback(kind, owner, id, found)) return false;
    // Only what was asked for: a link found for a form token, or the
    // reverse, is no answer.
    if ((kind == EntryKind::Form) != (found.form != nullptr)) return false;
    found.id = id;
    std::vector<Entry> entries(1);
    entries[0] = found;
    add(owner, std::move(entries));
    return true;
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
    if (kind == 'k') {
        result.kind = openSealed(payload, owner, store, result.url);
        if (result.kind != TokenLookup::Kind::Found) result.url.clear();
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
