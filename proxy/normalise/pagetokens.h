#pragma once
// The tokens of a page, issued when the page goes to a client.
//
// The walk writes the page once for any client: where the token of a
// sealed or stored link or of a form goes, it writes a slot mark, and it keeps the
// entry (the long URL or the form record) with the slot's number. Sending
// the page to one client identity issues a token per entry (a fresh id,
// the entry added to the token store under that identity, the token's
// text) and writes the tokens into the slots. A freshly normalised page
// and a page kept in the server's cache go through the same step, so the
// tokens of one page are never shared between identities.
//
// A slot mark is a NUL byte, the slot's number in decimal and a NUL byte.
// No page text holds a NUL: decoding drops them (charset.h), so a mark is
// always one of ours.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "proxy/core/pagefilter.h"
#include "proxy/normalise/tokens.h"

namespace wexaproxy {

// The mark written where the token of slot goes.
std::string slotMark(std::uint64_t slot);

// The entries of one prepared page, each with its slot number as its id.
class PageEntries : public PageSlots {
public:
    explicit PageEntries(std::vector<TokenStore::Entry> entries);
    const std::vector<TokenStore::Entry>& entries() const { return entries_; }
    std::size_t bytes() const override { return bytes_; }

private:
    std::vector<TokenStore::Entry> entries_;
    std::size_t bytes_ = 0;
};

// The token text of one entry issued to owner; issued.id is the fresh id
// the entry has in the store.
std::string issuedTokenText(const TokenStore::Entry& issued, const std::string& owner);

// The page as sent to owner: a link sealed for owner where its sealed
// token fits, else a fresh stored token, the entry added to the store as
// owner's; each slot mark replaced by its token. A
// mark of a slot without an entry is dropped.
std::string issueTokens(std::string_view text, const std::vector<TokenStore::Entry>& entries,
                        TokenStore& store, const std::string& owner);

}  // namespace wexaproxy
