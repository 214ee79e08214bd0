// Fuzz target: the PROXY protocol header parser on arbitrary bytes, as a
// connection from a load balancer (or anyone who reaches the port) sends
// them, and sealed link tokens read back from arbitrary text.
//
// Besides what the sanitizers catch, every input is checked for:
//  - verdicts that hold as bytes arrive: every prefix of the input is "wait
//    for more" until a verdict, and once a verdict is given (a complete
//    header of some length, or a refusal), every longer prefix gets the same;
//  - a complete header within the input and within the protocol's bounds,
//    with addresses of one family when it names a client;
//  - a refusal with a reason;
//  - no sealed token from the input's text ever leads anywhere: without the
//    secret's MAC nothing is found.

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "common/check.h"
#include "proxy/normalise/tokens.h"
#include "proxy/server/proxyheader.h"

namespace {

using wexaproxy::ProxyHeader;

bool sameHeader(const ProxyHeader& a, const ProxyHeader& b) {
    if (a.state != b.state || a.length != b.length || a.hasAddresses != b.hasAddresses) return false;
    if (!a.hasAddresses) return true;
    const auto bytes = [](const sockaddr_storage& s) {
        return std::string_view(reinterpret_cast<const char*>(&s), sizeof s);
    };
    return bytes(a.client) == bytes(b.client) && bytes(a.server) == bytes(b.server);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // Beyond the longest header, nothing changes: no need to look further.
    const std::size_t reach = std::min(input.size(), 16 + wexaproxy::MAX_PROXY_V2_EXTRA_BYTES + 8);
    ProxyHeader verdict;
    bool decided = false;
    for (std::size_t n = 0; n <= reach; ++n) {
        const ProxyHeader now = wexaproxy::parseProxyHeader(input.substr(0, n));
        if (decided) {
            WEXA_CHECK(sameHeader(now, verdict), "a verdict stands as more bytes arrive");
            continue;
        }
        if (now.state == ProxyHeader::State::NeedMore) continue;
        decided = true;
        verdict = now;
        if (now.state == ProxyHeader::State::Malformed) {
            WEXA_CHECK(!now.error.empty(), "a refusal has a reason");
            continue;
        }
        WEXA_CHECK(now.length == n, "a header is complete exactly when its last byte arrives");
        WEXA_CHECK(now.length <= wexaproxy::MAX_PROXY_V1_BYTES || input[0] == '\r',
                   "version 1 within 107 bytes");
        WEXA_CHECK(now.length <= 16 + wexaproxy::MAX_PROXY_V2_EXTRA_BYTES, "version 2 within its bound");
        if (now.hasAddresses) {
            WEXA_CHECK(now.client.ss_family == now.server.ss_family &&
                           (now.client.ss_family == AF_INET || now.client.ss_family == AF_INET6),
                       "both ends of one family, IPv4 or IPv6");
        }
    }
    // The header never needs more than its bound to decide.
    if (input.size() > reach) WEXA_CHECK(decided, "a verdict within the longest header");

    // The input as the text of a sealed token ("~" would start another token).
    std::string sealed(input);
    for (char& c : sealed)
        if (c == '~') c = 'A';
    static wexaproxy::TokenStore store;
    const wexaproxy::TokenLookup link = wexaproxy::lookUpLink("http://h/~~Lk" + sealed, "uid:0", store);
    WEXA_CHECK(link.kind != wexaproxy::TokenLookup::Kind::Found, "no sealed token without the secret's MAC");
    return 0;
}
