#include "proxy/normalise/pagetokens.h"

#include <utility>

namespace wexaproxy {

namespace {

constexpr char SLOT_MARK = '\0';

}  // namespace

std::string slotMark(std::uint64_t slot) {
    std::string mark(1, SLOT_MARK);
    mark += std::to_string(slot);
    mark.push_back(SLOT_MARK);
    return mark;
}

PageEntries::PageEntries(std::vector<TokenStore::Entry> entries) : entries_(std::move(entries)) {
    bytes_ = sizeof(*this) + entries_.capacity() * sizeof(TokenStore::Entry);
    for (const TokenStore::Entry& entry : entries_) {
        bytes_ += entry.url.capacity();
        if (entry.form) bytes_ += entry.form->bytes();
    }
}

std::string issuedTokenText(const TokenStore::Entry& issued, const std::string& owner) {
    // Today's tokens name the entry alone; the store keeps whose it is.
    (void)owner;
    return issued.form ? formToken(issued.id) : storedLinkToken(issued.id);
}

std::string issueTokens(std::string_view text, const std::vector<TokenStore::Entry>& entries,
                        TokenStore& store, const std::string& owner) {
    // Slots are numbered from 0 in the order the walk met them; ids are
    // drawn in that order.
    std::vector<const TokenStore::Entry*> bySlot(entries.size(), nullptr);
    for (const TokenStore::Entry& entry : entries) {
        if (entry.id < bySlot.size()) bySlot[entry.id] = &entry;
    }
    std::vector<std::string> tokens(bySlot.size());
    std::vector<TokenStore::Entry> issued;
    issued.reserve(entries.size());
    for (std::size_t slot = 0; slot < bySlot.size(); ++slot) {
        if (bySlot[slot] == nullptr) continue;
        // A link that fits sealed needs no memory: sealed for this owner.
        if (!bySlot[slot]->form) {
            tokens[slot] = issueLinkToken(bySlot[slot]->url, owner, store);
            if (!tokens[slot].empty()) continue;
        }
        TokenStore::Entry entry;
        entry.id = store.newId();
        entry.url = bySlot[slot]->url;
        entry.form = bySlot[slot]->form;
        tokens[slot] = issuedTokenText(entry, owner);
        issued.push_back(std::move(entry));
    }
    if (!issued.empty()) store.add(owner, std::move(issued));

    std::string out;
    out.reserve(text.size() + tokens.size() * 8);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t mark = text.find(SLOT_MARK, at);
        if (mark == std::string_view::npos) {
            out.append(text.substr(at));
            break;
        }
        out.append(text.substr(at, mark - at));
        const std::size_t end = text.find(SLOT_MARK, mark + 1);
        if (end == std::string_view::npos) {
            out.append(text.substr(mark + 1));  // not a mark: the NUL alone is left out
            break;
        }
        std::uint64_t slot = 0;
        bool valid = end > mark + 1 && end - mark - 1 <= 19;
        for (std::size_t i = mark + 1; valid && i < end; ++i) {
            const char c = text[i];
            if (c < '0' || c > '9') {
                valid = false;
            } else {
                slot = slot * 10 + static_cast<std::uint64_t>(c - '0');
            }
        }
        if (valid && slot < tokens.size()) out += tokens[slot];
        at = end + 1;
    }
    return out;
}

}  // namespace wexaproxy
