#pragma once
// Link and form tokens: how link targets and form actions survive the trip
// through the browser.
//
// The browser reads an HREF or ACTION value as one word (it splits at blank,
// "=" and '"'), keeps at most 149 characters of a link target and 91 of an
// action, glues a link target to the folder of the page it came from, and
// puts "http://" in front of an action. So the normaliser writes every link
// target and form action as a compact token, and the proxy finds the token
// at the end of whatever URL comes back and turns it into what it stands
// for.
//
// Link tokens: "~~L" and either the URL itself, written inline, or the
// number of an entry of the token store:
//
//     ~~Lh<url>   http://<url>      inline; "/" written as "!", "=" as "^",
//     ~~Ls<url>   https://<url>     and every other byte that is not safe
//                                   in one word (and "!", "^", "~") as "~XX"
//     ~~Lk<seal>  a sealed URL      base64url, no padding (see below)
//     ~~Lt<id>    the stored URL    id in base 36 (at most 13 digits)
//
// Inline tokens need no memory and never expire. A URL whose inline token
// would be longer than the browser keeps is sealed when that fits: the
// sealed token carries the URL compressed (raw deflate with a dictionary of
// common URL parts), an expiry time and an HMAC-SHA256 (96 bits) over the
// owner's identity, the expiry and the compressed URL, keyed by the store's
// secret. It needs no memory either, so any server holding the same secret
// reads it back (several instances behind a load balancer), but only for
// the identity it was issued to and only until it expires; anyone else gets
// the answer an unknown token gets. It is authenticated, not encrypted:
// like an inline token it shows its URL to whoever holds it. A URL whose
// sealed token would still not fit goes into the store.
//
// No token form holds a "/", so the folder the browser cuts the previous
// URL at stays the folder the user first typed, and none holds "~~", so the
// last "~~L" of a URL is always where the token starts.
//
// Form tokens: "~~F<id>", always stored (a record with its hidden fields
// would not fit in an action the browser keeps): the record of a form holds what the
// proxy needs to send what a desktop browser would (see formrecord.h).
//
// Stored entries belong to the client identity that received the page (see
// server/identity.h): a token is looked up among its owner's entries only,
// so an identity presenting another's token gets the same answer as for a
// token that never existed. Ids are 64 random bits from the kernel, so that
// nobody can reach an entry by counting from an id of their own.
//
// The store is bounded in entries and bytes, in all and for each owner (so
// that one identity's pages never push out the entries of the others),
// forgets the entries used least recently first, and forgets any entry
// unused for longer than its time to live. It is shared by all worker
// threads.
//
// Several instances behind one load balancer each hold the entries of the
// pages they served. A store may be given a fallback: a function asked for
// an entry it does not hold (the server installs one that asks the other
// instances, see server/peers.h). An entry found there is added to this
// store for its owner, so its next use is local.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "proxy/normalise/formrecord.h"

namespace wexaproxy {

// Longest link target the browser keeps whole.
constexpr std::size_t MAX_HREF_LENGTH = 149;
// Longest form action the browser keeps whole ("http://" may be added in front).
constexpr std::size_t MAX_ACTION_LENGTH = 91;

// The inline token of an absolute http or https URL ("~~Lh..."), whatever
// its length; empty for any other URL.
std::string inlineLinkToken(std::string_view absoluteUrl);

// The token text of a stored entry.
std::string storedLinkToken(std::uint64_t id);
std::string formToken(std::uint64_t id);

// The secret that seals link tokens: at least this many bytes.
constexpr std::size_t MIN_SECRET_BYTES = 32;

// HMAC-SHA256 of message keyed by key: what signs sealed tokens, and what
// other users of the secret sign with. A message of another use must begin
// with a label of its own, so that no MAC of one use is ever valid for
// another (a sealed token's message begins with its version byte, 1).
constexpr std::size_t HMAC_BYTES = 32;
std::array<unsigned char, HMAC_BYTES> hmacSha256(std::string_view key, std::string_view message);

// The sealed token ("~~Lk...") of an absolute http or https URL for owner,
// valid until expires (seconds since 1970) and keyed by secret; empty when
// it would be longer than maxLength or the URL is not http or https.
std::string sealedLinkToken(std::string_view absoluteUrl, const std::string& owner, std::string_view secret,
                            std::int64_t expires, std::size_t maxLength = MAX_HREF_LENGTH);

// Whether the sealed token of an absolute URL fits in what the browser
// keeps: the same for every owner, secret and time, so a page written once
// for all clients knows which of its links need the store.
bool fitsSealed(std::string_view absoluteUrl);

struct TokenStoreSettings {
    std::size_t maxEntries = 200000;
    std::size_t maxBytes = 64 * 1024 * 1024;
    // One owner's share of the store.
    std::size_t maxEntriesPerOwner = 50000;
    std::size_t maxBytesPerOwner = 16 * 1024 * 1024;
    std::chrono::seconds timeToLive{12 * 60 * 60};
    // The key of sealed link tokens (at least MIN_SECRET_BYTES); empty, the
    // default, draws MIN_SECRET_BYTES random bytes for this store alone.
    std::string secret;
    // The wall clock of sealed tokens' expiry, in seconds since 1970 (tests
    // give their own); empty, the default, is the system's clock.
    std::function<std::int64_t()> wallClock;
    // Tests only: ids counted up from here, so that a test gets the same
    // tokens on every run. 0, the default, draws every id at random.
    std::uint64_t firstId = 0;
};

class TokenStore {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    // now is the clock (tests give their own).
    explicit TokenStore(TokenStoreSettings settings = {}, Now now = &Clock::now);
    TokenStore(const TokenStore&) = delete;
    TokenStore& operator=(const TokenStore&) = delete;

    // A fresh id: 64 random bits from the kernel, never 0 (or the next
    // number, in tests that fix the first one).
    std::uint64_t newId();

    // One entry to add: a link target or a form record.
    struct Entry {
        std::uint64_t id = 0;
        std::string url;                         // a link, or
        std::shared_ptr<const FormRecord> form;  // a form
    };
    // Adds entries of owner in one step (a page adds all of its own at once).
    void add(const std::string& owner, std::vector<Entry> entries);
    void addLink(const std::string& owner, std::uint64_t id, std::string url);
    void addForm(const std::string& owner, std::uint64_t id, std::shared_ptr<const FormRecord> form);

    // The entry of an id among owner's, or nothing when it is unknown, has
    // expired or is somebody else's. A found entry counts as used now. An
    // id this store does not hold is asked of the fallback, if any.
    bool link(const std::string& owner, std::uint64_t id, std::string& url);
    std::shared_ptr<const FormRecord> form(const std::string& owner, std::uint64_t id);

    enum class EntryKind { Link, Form };
    // The entry of kind with id among owner's in this store alone (the
    // fallback is not asked): what another instance is given. Found sets
    // url (links) or form (forms).
    bool localEntry(EntryKind kind, const std::string& owner, std::uint64_t id, Entry& found);

    // Asked for an entry of kind and id of owner that this store does not
    // hold; true when it found one (url or form set as by localEntry). It
    // runs outside the store's lock and may take its time.
    using Fallback =
        std::function<bool(EntryKind kind, const std::string& owner, std::uint64_t id, Entry& found)>;
    void setFallback(Fallback fallback);

    // What sealed tokens need: the key, the wall clock, the time to live.
    const std::string& secret() const { return secret_; }
    std::int64_t wallNow() const;
    std::chrono::seconds timeToLive() const { return settings_.timeToLive; }

    std::size_t entries() const;
    std::size_t entries(const std::string& owner) const;
    std::size_t bytes() const;

private:
    struct Stored {
        std::uint64_t id = 0;
        std::string url;
        std::shared_ptr<const FormRecord> form;
        std::size_t bytes = 0;
        Clock::time_point used;
    };
    using Order = std::list<Stored>;  // most recently used first
    // The entries of one owner.
    struct Owner {
        Order order;
        std::unordered_map<std::uint64_t, Order::iterator> index;
        std::size_t bytes = 0;
        Clock::time_point used;                   // its latest add or lookup
        std::list<std::string>::iterator recent;  // its place in recentOwners_
    };

    Owner& ownerLocked(const std::string& owner, Clock::time_point now);
    void insertLocked(Owner& owner, Entry entry, Clock::time_point now);
    void dropOldestLocked(Owner& owner);
    void dropOwnerLocked(const std::string& owner);
    void evictLocked(const std::string& owner, Clock::time_point now);
    Stored* findLocked(const std::string& owner, std::uint64_t id, Clock::time_point now);
    bool fromFallback(EntryKind kind, const std::string& owner, std::uint64_t id, Entry& found);

    const TokenStoreSettings settings_;
    const Now now_;
    std::string secret_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Owner> owners_;
    std::list<std::string> recentOwners_;  // least recently active first
    std::size_t entries_ = 0;
    std::size_t bytes_ = 0;
    std::uint64_t nextId_ = 0;  // tests only
    Fallback fallback_;
};

// The token of a link to an absolute URL that owner receives, as far as
// it needs no memory: inline when that fits in what the browser keeps,
// else sealed with the store's secret, valid for the store's time to live
// from now; empty when neither fits (or the URL is not http or https) and
// the caller must put the URL into the store. Depends only on the URL, the
// owner, the secret and the time, so a page can be given its tokens for
// each client when it is served.
std::string issueLinkToken(std::string_view absoluteUrl, const std::string& owner, const TokenStore& store);

// What a URL or action from the browser stands for.
struct TokenLookup {
    enum class Kind {
        None,     // holds no token of ours: use it as it is
        Found,    // url (links) or form (actions) is set
        Expired,  // a stored token the store no longer knows, or a sealed
                  // one expired, another identity's or not sealed with
                  // this secret
        Damaged,  // a token that cannot be read
    };
    Kind kind = Kind::None;
    std::string url;
    std::shared_ptr<const FormRecord> form;
};

// The link token at the end of a URL the browser built, whatever it put in
// front of it, as owner may use it.
TokenLookup lookUpLink(std::string_view browserUrl, const std::string& owner, TokenStore& store);

// The form token in an action the browser sent, as owner may use it.
TokenLookup lookUpForm(std::string_view browserAction, const std::string& owner, TokenStore& store);

}  // namespace wexaproxy
