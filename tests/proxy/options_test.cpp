// Command-line options of the server.

#include "proxy/server/options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

using wexaproxy::parseOptions;

TEST(ServerOptions, DefaultsAreLoopbackPort30000) {
    auto parsed = parseOptions({});
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.config.listenAddress, "127.0.0.1");
    EXPECT_EQ(parsed.config.port, 30000);
    EXPECT_EQ(parsed.config.fetch.userAgent, "wexapserver/1.0 (text browser proxy)");
}

TEST(ServerOptions, ValuesAreReadInBothSpellings) {
    auto parsed = parseOptions({"--port", "0", "--read-timeout=0.5", "--log-level", "debug", "--user-agent",
                                "Test Agent/2", "--max-page", "4096", "--listen", "127.0.0.2"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.config.port, 0);
    EXPECT_EQ(parsed.config.readTimeoutMs, 500);
    EXPECT_EQ(parsed.config.logLevel, wexaproxy::LogLevel::Debug);
    EXPECT_EQ(parsed.config.fetch.userAgent, "Test Agent/2");
    EXPECT_EQ(parsed.config.fetch.maxPageBytes, 4096u);
    EXPECT_EQ(parsed.config.listenAddress, "127.0.0.2");
}

TEST(ServerOptions, NonLoopbackAddressNeedsExplicitConsent) {
    EXPECT_FALSE(parseOptions({"--listen", "0.0.0.0"}).ok);
    EXPECT_FALSE(parseOptions({"--listen", "203.0.113.5"}).ok);
    EXPECT_TRUE(parseOptions({"--listen", "0.0.0.0", "--allow-remote"}).ok);
}

TEST(ServerOptions, BadValuesAreRefused) {
    EXPECT_FALSE(parseOptions({"--port", "70000"}).ok);
    EXPECT_FALSE(parseOptions({"--port"}).ok);
    EXPECT_FALSE(parseOptions({"--workers", "0"}).ok);
    EXPECT_FALSE(parseOptions({"--log-level", "loud"}).ok);
    EXPECT_FALSE(parseOptions({"--user-agent", "a\r\nX-Injected: 1"}).ok);
    EXPECT_FALSE(parseOptions({"--listen", "localhost"}).ok);
    EXPECT_FALSE(parseOptions({"--frobnicate"}).ok);
    EXPECT_TRUE(parseOptions({"--help"}).help);
}

TEST(ServerOptions, PrivateTargetsAreRefusedExactlyWhenListeningBeyondLoopback) {
    auto loopback = parseOptions({});
    ASSERT_TRUE(loopback.ok);
    EXPECT_FALSE(loopback.config.fetch.refusePrivateTargets);

    auto remote = parseOptions({"--listen", "0.0.0.0", "--allow-remote"});
    ASSERT_TRUE(remote.ok);
    EXPECT_TRUE(remote.config.fetch.refusePrivateTargets);

    auto allowed = parseOptions({"--allow-private-targets", "--listen", "0.0.0.0", "--allow-remote"});
    ASSERT_TRUE(allowed.ok);
    EXPECT_FALSE(allowed.config.fetch.refusePrivateTargets);

    auto forced = parseOptions({"--refuse-private-targets"});
    ASSERT_TRUE(forced.ok);
    EXPECT_TRUE(forced.config.fetch.refusePrivateTargets);

    EXPECT_FALSE(parseOptions({"--refuse-private-targets", "--allow-private-targets"}).ok);
}

namespace {

// A file of size bytes with the given mode, removed at the end of the test.
struct SecretFile {
    std::string path;
    SecretFile(std::size_t size, mode_t mode) {
        char name[] = "/tmp/wexa-secret-XXXXXX";
        const int fd = mkstemp(name);
        path = name;
        const std::string bytes(size, 's');
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        fchmod(fd, mode);
        close(fd);
    }
    ~SecretFile() { unlink(path.c_str()); }
};

}  // namespace

TEST(ServerOptions, SecretFileMustBePrivateAndLongEnough) {
    SecretFile good(48, 0600), readOnly(32, 0400), shortFile(31, 0600), groupReadable(48, 0640),
        worldReadable(48, 0604), huge(wexaproxy::MAX_SECRET_BYTES + 1, 0600);
    auto parsed = parseOptions({"--secret-file", good.path});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.config.secret, std::string(48, 's'));
    EXPECT_TRUE(parseOptions({"--secret-file=" + readOnly.path}).ok);
    EXPECT_TRUE(parseOptions({}).config.secret.empty()) << "without the option, a random key per process";

    const struct {
        std::string path;
        const char* says;
    } refused[] = {
        {shortFile.path, "31 bytes; at least 32"},   {groupReadable.path, "group or others"},
        {worldReadable.path, "group or others"},     {huge.path, "more than 4096 bytes"},
        {"/nonexistent/wexa-secret", "cannot read"}, {"/tmp", "not a regular file"},
    };
    for (const auto& file : refused) {
        auto bad = parseOptions({"--secret-file", file.path});
        EXPECT_FALSE(bad.ok) << file.path;
        EXPECT_NE(bad.error.find(file.says), std::string::npos) << bad.error;
    }
    EXPECT_FALSE(parseOptions({"--secret-file"}).ok);
}

TEST(ServerOptions, PeersNeedTheSharedSecret) {
    SecretFile secret(32, 0600);
    auto parsed = parseOptions({"--secret-file", secret.path, "--peer-port", "30101", "--peer",
                                "127.0.0.1:30102", "--peer=127.0.0.2:30103"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.config.peerPort, 30101);
    ASSERT_EQ(parsed.config.peers.size(), 2u);
    EXPECT_EQ(parsed.config.peers[1].host, "127.0.0.2");
    EXPECT_EQ(parsed.config.peers[1].port, 30103);
    for (const auto& args :
         {std::vector<std::string>{"--peer-port", "30101"}, {"--peer", "127.0.0.1:30102"}}) {
        auto bad = parseOptions(args);
        EXPECT_FALSE(bad.ok);
        EXPECT_NE(bad.error.find("need --secret-file"), std::string::npos) << bad.error;
    }
    for (const char* peer : {"127.0.0.1", "localhost:30102", "127.0.0.1:0", "127.0.0.1:x", ":30102"})
        EXPECT_FALSE(parseOptions({"--secret-file", secret.path, "--peer", std::string(peer)}).ok) << peer;
    EXPECT_FALSE(parseOptions({"--secret-file", secret.path, "--peer-port", "30000"}).ok)
        << "the browsers' port";
}
