// Command-line options of the server.

#include "proxy/server/options.h"

#include <gtest/gtest.h>

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
