// The connection and the line reader of the proxy protocol.

#include <gtest/gtest.h>

#include <string>

#include "fakepeer.h"
#include "net/netio.h"

namespace {

using nettest::FakePeer;

// A ServerIO connected to a peer that sends `reply` after a one-line request.
struct Connected {
    explicit Connected(const std::string& reply, FakePeer::AfterReply after = FakePeer::AfterReply::Close)
        : peer({{reply, 1, after}}) {
        io.setPort(peer.port());
        io.setReplyTimeout(5000);
        io.Connect();
        io.println("X\n");
    }
    FakePeer peer;
    ServerIO io;
};

std::string nextLine(ServerIO& io) {
    const char* line = io.readLine();
    return line == nullptr ? std::string("<end>") : std::string(line, io.lineLength());
}

TEST(ServerIOConnect, RefusedConnectionIsReportedAndSendsNothing) {
    ServerIO io;
    EXPECT_TRUE(io.isConnected());  // no attempt has failed yet
    io.setPort(nettest::refusedPort());
    io.Connect();
    EXPECT_FALSE(io.isConnected());
    EXPECT_FALSE(io.println("GET\n"));
    EXPECT_EQ(io.read(), ServerIO::END);
    EXPECT_EQ(io.readLine(), nullptr);
}

TEST(ServerIOConnect, InvalidAddressTextFailsAtOnce) {
    ServerIO io("not an address");
    io.Connect();
    EXPECT_FALSE(io.isConnected());
    io.Connect("255.255.255.255");
    EXPECT_FALSE(io.isConnected());
}

TEST(ServerIOConnect, SuccessAfterFailureIsReportedAsSuccess) {
    FakePeer peer({{"ALIVE\n", 1}});
    ServerIO io;
    io.setPort(nettest::refusedPort());
    io.Connect();
    ASSERT_FALSE(io.isConnected());
    io.setPort(peer.port());
    io.Connect();
    EXPECT_TRUE(io.isConnected());
    EXPECT_TRUE(io.println("PING\n"));
    EXPECT_EQ(nextLine(io), "ALIVE");
    io.close();
    EXPECT_EQ(peer.requests().at(0), "PING\n");
}

TEST(ServerIOConnect, ConnectToGivenAddressKeepsStoredAddress) {
    FakePeer peer({{"", 1}});
    ServerIO io("stored");
    io.setPort(peer.port());
    io.Connect("127.0.0.1");
    EXPECT_TRUE(io.isConnected());
    EXPECT_STREQ(io.getAddress(), "stored");
    io.println("\n");
}

TEST(ServerIOLines, UnterminatedLastLineIsReturnedAtEndOfStream) {
    Connected c("tail");
    EXPECT_EQ(nextLine(c.io), "tail");
    EXPECT_EQ(nextLine(c.io), "<end>");
}

TEST(ServerIOLines, LongLineArrivesIn511BytePieces) {
    Connected c(std::string(600, 'a') + "\nnext\n");
    const std::string first = nextLine(c.io);
    EXPECT_EQ(first.size(), 511u);
    EXPECT_EQ(nextLine(c.io), std::string(89, 'a'));
    EXPECT_EQ(nextLine(c.io), "next");
}

TEST(ServerIOLines, NewlineRightAfterA511BytePieceIsNotAnEmptyLine) {
    Connected c(std::string(511, 'b') + "\nafter\n" + std::string(1022, 'c') + "\nlast\n");
    EXPECT_EQ(nextLine(c.io), std::string(511, 'b'));
    EXPECT_EQ(nextLine(c.io), "after");
    EXPECT_EQ(nextLine(c.io), std::string(511, 'c'));
    EXPECT_EQ(nextLine(c.io), std::string(511, 'c'));
    EXPECT_EQ(nextLine(c.io), "last");
}

TEST(ServerIOLines, SixTildesEndTheReplyEvenInsideALine) {
    Connected c("a\nx~~~~~~y\nb\n", FakePeer::AfterReply::WaitForClient);
    EXPECT_EQ(nextLine(c.io), "a");
    EXPECT_EQ(nextLine(c.io), "<end>");
    c.io.close();
}

TEST(ServerIOLines, FiveTildesAreData) {
    Connected c("~~~~~\n~~~~~\n");
    EXPECT_EQ(nextLine(c.io), "~~~~~");
    EXPECT_EQ(nextLine(c.io), "~~~~~");
    EXPECT_EQ(nextLine(c.io), "<end>");
}

TEST(ServerIORead, EveryByteValueIsDataAndEndIsSeparate) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    Connected c(all);
    for (int b = 0; b < 256; ++b) ASSERT_EQ(c.io.read(), b);
    EXPECT_EQ(c.io.read(), ServerIO::END);
    EXPECT_EQ(c.io.read(), ServerIO::END);
}

TEST(ServerIORead, NulBytesStayInsideTheLine) {
    Connected c(std::string("a\0b\xff", 4) + "\n");
    const char* line = c.io.readLine();
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(c.io.lineLength(), 4u);
    EXPECT_EQ(std::string(line, 4), std::string("a\0b\xff", 4));
}

}  // namespace
