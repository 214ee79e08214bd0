// Peer lookups between instances: who gets an entry (the right secret, the
// right owner, a fresh time, an untouched MAC), replies bound to their
// request, and the lookups over real sockets, with peers down or silent.

#include "proxy/server/peers.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "proxy/normalise/formrecord.h"

using wexaproxy::PeerMac;
using wexaproxy::PeerReply;
using wexaproxy::TokenStore;
using Kind = wexaproxy::TokenStore::EntryKind;

namespace {

constexpr std::int64_t NOW = 1700000000;
const std::string SECRET(32, 's');
const std::string URL = "https://example.org/" + std::string(300, 'x');

std::unique_ptr<TokenStore> makeStore(const std::string& secret = SECRET) {
    wexaproxy::TokenStoreSettings settings;
    settings.secret = secret;
    settings.wallClock = [] { return NOW; };
    return std::make_unique<TokenStore>(settings);
}

std::shared_ptr<wexaproxy::FormRecord> someForm() {
    auto form = std::make_shared<wexaproxy::FormRecord>();
    form->action = "http://example.org/post";
    form->post = true;
    wexaproxy::FieldRecord hidden;
    hidden.name = "csrf";
    hidden.value = "s3cr3t";
    form->fields.push_back(hidden);
    return form;
}

// The request line without its line break, as the listener hands it on.
std::string line(const std::string& secret, Kind kind, const std::string& owner, std::uint64_t id,
                 std::int64_t time, PeerMac& mac) {
    std::string text = wexaproxy::peerRequest(secret, kind, owner, id, time, mac);
    text.pop_back();
    return text;
}

// What the holder of store answers, read as the asker reads it.
PeerReply ask(TokenStore& store, const std::string& secret, Kind kind, const std::string& owner,
              std::uint64_t id, std::int64_t time, TokenStore::Entry& found) {
    PeerMac mac{};
    std::string why;
    const std::string answer =
        wexaproxy::answerPeerRequest(line(secret, kind, owner, id, time, mac), store, NOW, why);
    if (answer.empty()) return PeerReply::Invalid;
    EXPECT_TRUE(why.empty()) << why;
    return wexaproxy::readPeerReply(secret, mac, kind, answer, found);
}

}  // namespace

TEST(PeerRequests, OnlyTheRightSecretOwnerAndTimeGetTheEntry) {
    auto store = makeStore();
    store->addLink("uid:1000", 42, URL);
    store->addForm("uid:1000", 43, someForm());
    TokenStore::Entry found;

    ASSERT_EQ(ask(*store, SECRET, Kind::Link, "uid:1000", 42, NOW, found), PeerReply::Entry);
    EXPECT_EQ(found.url, URL);
    ASSERT_EQ(ask(*store, SECRET, Kind::Form, "uid:1000", 43, NOW - 60, found), PeerReply::Entry);
    ASSERT_TRUE(found.form);
    EXPECT_EQ(found.form->fields.at(0).value, "s3cr3t");
    // The other kind under the same id, another owner, an unknown id: an
    // authentic reply that holds nothing.
    EXPECT_EQ(ask(*store, SECRET, Kind::Form, "uid:1000", 42, NOW, found), PeerReply::NoEntry);
    EXPECT_EQ(ask(*store, SECRET, Kind::Link, "uid:1001", 42, NOW, found), PeerReply::NoEntry);
    EXPECT_EQ(ask(*store, SECRET, Kind::Link, "uid:1000", 44, NOW, found), PeerReply::NoEntry);
    // No reply at all: another secret, a time more than a minute away.
    EXPECT_EQ(ask(*store, std::string(32, 't'), Kind::Link, "uid:1000", 42, NOW, found), PeerReply::Invalid);
    EXPECT_EQ(ask(*store, SECRET, Kind::Link, "uid:1000", 42, NOW - 61, found), PeerReply::Invalid);
    EXPECT_EQ(ask(*store, SECRET, Kind::Link, "uid:1000", 42, NOW + 61, found), PeerReply::Invalid);

    // A MAC or a field changed after signing, and lines that are not requests.
    PeerMac mac{};
    const std::string good = line(SECRET, Kind::Link, "uid:1000", 42, NOW, mac);
    std::string why;
    ASSERT_FALSE(wexaproxy::answerPeerRequest(good, *store, NOW, why).empty());
    std::string badMac = good;
    badMac.back() = badMac.back() == '0' ? '1' : '0';
    std::string otherOwner = good;
    const std::size_t owner = otherOwner.find(" 7569643a31303030 ");  // "uid:1000" in hex
    ASSERT_NE(owner, std::string::npos);
    otherOwner[owner + 16] = '1';  // "uid:1001", the MAC left as it was
    for (const std::string& bad :
         {badMac, otherOwner, good + " ", good.substr(0, good.size() - 2), " " + good, std::string(600, 'a'),
          std::string(), std::string("WEXAPEER1")}) {
        why.clear();
        EXPECT_TRUE(wexaproxy::answerPeerRequest(bad, *store, NOW, why).empty()) << bad;
        EXPECT_FALSE(why.empty());
    }
}

TEST(PeerRequests, AReplyIsBoundToItsRequestAndItsSecret) {
    auto store = makeStore();
    store->addLink("uid:1000", 42, URL);
    PeerMac first{};
    PeerMac second{};
    std::string why;
    const std::string answer =
        wexaproxy::answerPeerRequest(line(SECRET, Kind::Link, "uid:1000", 42, NOW, first), *store, NOW, why);
    line(SECRET, Kind::Link, "uid:1000", 42, NOW - 1, second);
    TokenStore::Entry found;
    ASSERT_EQ(wexaproxy::readPeerReply(SECRET, first, Kind::Link, answer, found), PeerReply::Entry);
    EXPECT_EQ(wexaproxy::readPeerReply(SECRET, second, Kind::Link, answer, found), PeerReply::Invalid);
    EXPECT_EQ(wexaproxy::readPeerReply(std::string(32, 't'), first, Kind::Link, answer, found),
              PeerReply::Invalid);
    std::string changed = answer;
    changed[10] = static_cast<char>(changed[10] ^ 1);
    EXPECT_EQ(wexaproxy::readPeerReply(SECRET, first, Kind::Link, changed, found), PeerReply::Invalid);
    EXPECT_EQ(wexaproxy::readPeerReply(SECRET, first, Kind::Link, answer.substr(1), found),
              PeerReply::Invalid);
}

namespace {

// A port that accepts connections and never answers.
struct SilentPeer {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
    SilentPeer() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 && ::listen(fd, 8) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(address.sin_port);
    }
    ~SilentPeer() { ::close(fd); }
};

int closedPort() {
    SilentPeer gone;
    return gone.port;  // closed when it goes
}

}  // namespace

TEST(PeerLookups, AStoreFindsAnotherInstancesEntryPastPeersDownOrSilent) {
    wexaproxy::Log log(wexaproxy::LogLevel::Quiet);
    auto holder = makeStore();
    auto asker = makeStore();
    const auto form = someForm();
    holder->addForm("uid:1000", 77, form);
    holder->addLink("uid:1000", 78, URL);
    wexaproxy::PeerListener listener(*holder, log);
    std::string error;
    ASSERT_TRUE(listener.open("127.0.0.1", 0, error)) << error;
    listener.start();

    SilentPeer silent;
    ASSERT_NE(silent.port, 0);
    wexaproxy::PeerClient client(
        {{"127.0.0.1", closedPort()}, {"127.0.0.1", silent.port}, {"127.0.0.1", listener.port()}}, *asker,
        log);
    asker->setFallback([&client](Kind kind, const std::string& owner, std::uint64_t id,
                                 TokenStore::Entry& found) { return client.lookUp(kind, owner, id, found); });

    const auto got = asker->form("uid:1000", 77);
    ASSERT_TRUE(got);
    EXPECT_EQ(wexaproxy::formRecordToBytes(*got), wexaproxy::formRecordToBytes(*form));
    // Kept: the next use needs no peer.
    EXPECT_EQ(asker->entries("uid:1000"), 1u);
    std::string url;
    EXPECT_TRUE(asker->link("uid:1000", 78, url));
    EXPECT_EQ(url, URL);
    // Nobody's entry, and another owner's: nothing.
    EXPECT_FALSE(asker->form("uid:1000", 79));
    EXPECT_FALSE(asker->link("uid:1001", 78, url));
    EXPECT_EQ(asker->entries("uid:1001"), 0u);
    listener.stop();
}
