// The proxy address: reading ./.proxy.conf at start-up and the address
// dialog with its PING test.

#include "net/proxyset.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "fakepeer.h"
#include "globalstate.h"
#include "shell/global.h"

namespace {

using nettest::FakePeer;
using wexatest::readFile;
using wexatest::writeFile;

const std::string STORED = std::string("127.0.0.1\0", 10) + std::string(8, '\0');

class ProxyFile : public nettest::GlobalState {};

TEST_F(ProxyFile, MissingFileIsCreatedEmptyWith0664) {
    const mode_t old = ::umask(022);
    Proxy p;
    EXPECT_FALSE(p.load());
    ::umask(old);
    EXPECT_STREQ(p.getIP(), "");
    struct stat st {};
    ASSERT_EQ(::stat(".proxy.conf", &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
}

TEST_F(ProxyFile, StoredAddressIsFound) {
    writeFile(".proxy.conf", STORED);
    Proxy p;
    EXPECT_TRUE(p.load());
    EXPECT_STREQ(p.getIP(), "127.0.0.1");
}

TEST_F(ProxyFile, TerminatedAddressCountsWhateverTheFileLength) {
    Proxy p;
    writeFile(".proxy.conf", std::string("127.0.0.1\0", 10));
    EXPECT_TRUE(p.load());
    EXPECT_STREQ(p.getIP(), "127.0.0.1");
    writeFile(".proxy.conf", STORED + "trailing bytes");
    EXPECT_TRUE(p.load());
    EXPECT_STREQ(p.getIP(), "127.0.0.1");
}

TEST_F(ProxyFile, UnusableContentLeavesTheAddressEmpty) {
    const std::string unusable[] = {
        "127.0.0.1",                                // no terminator
        std::string(18, '1'),                       // no terminator within 18 bytes
        std::string(17, '7') + '\0',                // terminated, but no address
        std::string(1, '\0') + "127.0.0.1" + '\0',  // empty text first
        std::string("not-an-ip\0", 10),
    };
    for (const std::string& content : unusable) {
        Proxy p;
        writeFile(".proxy.conf", STORED);
        ASSERT_TRUE(p.load());
        writeFile(".proxy.conf", content);
        EXPECT_FALSE(p.load()) << content;
        EXPECT_STREQ(p.getIP(), "") << content;
    }
}

TEST_F(ProxyFile, DirectoryOrPipeInPlaceOfTheFileIsNoAddress) {
    ASSERT_EQ(::mkdir(".proxy.conf", 0755), 0);
    Proxy p;
    EXPECT_FALSE(p.load());
    ASSERT_EQ(::rmdir(".proxy.conf"), 0);
    // Opening a pipe for reading would wait for a writer forever.
    ASSERT_EQ(::mkfifo(".proxy.conf", 0664), 0);
    EXPECT_FALSE(p.load());
    EXPECT_STREQ(p.getIP(), "");
}

TEST_F(ProxyFile, UnreadableFileIsNoAddress) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    writeFile(".proxy.conf", STORED);
    ASSERT_EQ(::chmod(".proxy.conf", 0), 0);
    Proxy p;
    EXPECT_FALSE(p.load());
    EXPECT_STREQ(p.getIP(), "");
}

class AddressDialog : public nettest::GlobalState {
protected:
    void SetUp() override {
        GlobalState::SetUp();
        // Recognisable so that applying the new address shows.
        GlobalNamespace.network.io.setAddress("previous");
        writeFile(".proxy.conf", "old file");
        proxy.connect(GlobalNamespace.network.io, GlobalNamespace.message, GlobalNamespace.renderer);
    }
    bool runDialog(const std::string& typed, unsigned short port) {
        GlobalNamespace.network.io.setPort(port);
        // The typed text with Enter, a key for the message, one more key.
        nettest::queueKeys(typed + "\n" + "  ");
        return proxy.setNew();
    }
    static const std::string& message() { return GlobalNamespace.message.getText(); }
    Proxy proxy;
};

TEST_F(AddressDialog, AliveServerIsTakenAndWrittenAsEighteenBytes) {
    FakePeer peer({{"ALIVE and well\n", 1, FakePeer::AfterReply::WAIT_FOR_CLIENT}});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(runDialog("127.0.0.1", peer.port()));
    EXPECT_EQ(peer.requests().at(0), "PING\n");
    // The peer saw the test connection closed instead of waiting it out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(message(), "Proxy Server address configured successfully");
    EXPECT_STREQ(proxy.getIP(), "127.0.0.1");
    EXPECT_STREQ(GlobalNamespace.network.io.getAddress(), "127.0.0.1");
    EXPECT_EQ(readFile(".proxy.conf"), STORED);

    Proxy later;
    EXPECT_TRUE(later.load());
    EXPECT_STREQ(later.getIP(), "127.0.0.1");
}

TEST_F(AddressDialog, MissingFileIsCreatedWith0664WhenWritten) {
    ASSERT_EQ(::unlink(".proxy.conf"), 0);
    FakePeer peer({{"ALIVE\n", 1}});
    const mode_t old = ::umask(077);
    const bool taken = runDialog("127.0.0.1", peer.port());
    ::umask(old);
    EXPECT_TRUE(taken);
    struct stat st {};
    ASSERT_EQ(::stat(".proxy.conf", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
    EXPECT_EQ(st.st_size, 18);
}

TEST_F(AddressDialog, WrongAnswerKeepsThePreviousAddressAndFile) {
    FakePeer peer({{"alive\n", 1}});
    EXPECT_FALSE(runDialog("127.0.0.1", peer.port()));
    EXPECT_EQ(message(), "Proxy Server address configuration failed!");
    EXPECT_STREQ(GlobalNamespace.network.io.getAddress(), "previous");
    EXPECT_STREQ(proxy.getIP(), "");
    EXPECT_EQ(readFile(".proxy.conf"), "old file");
}

TEST_F(AddressDialog, NoServerOrNoAnswerFails) {
    EXPECT_FALSE(runDialog("127.0.0.1", nettest::refusedPort()));
    EXPECT_EQ(message(), "Proxy Server address configuration failed!");

    GlobalNamespace.message = ErrorMessage();
    FakePeer peer({{"", 1}});
    EXPECT_FALSE(runDialog("127.0.0.1", peer.port()));
    EXPECT_EQ(message(), "Proxy Server address configuration failed!");
    EXPECT_EQ(readFile(".proxy.conf"), "old file");
}

TEST_F(AddressDialog, InputIsCutAtFifteenCharacters) {
    // Sixteen characters: the last "9" is cut, leaving a valid address.
    FakePeer peer({{"ALIVE\n", 1}});
    EXPECT_TRUE(runDialog("127.000.000.0019", peer.port()));
    EXPECT_STREQ(proxy.getIP(), "127.000.000.001");
}

TEST_F(AddressDialog, EmptyInputChangesNothing) {
    EXPECT_TRUE(runDialog("", nettest::refusedPort()));
    EXPECT_EQ(message(), "");  // a connection attempt would have failed loudly
    EXPECT_STREQ(GlobalNamespace.network.io.getAddress(), "previous");
    EXPECT_EQ(readFile(".proxy.conf"), "old file");
}

}  // namespace
