// The connection and the line reader of the proxy protocol.

#include "net/netio.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "fakepeer.h"

namespace {

using nettest::FakePeer;

// A ServerIO connected to a peer that sends `reply` after a one-line request.
struct Connected {
    explicit Connected(const std::string& reply, FakePeer::AfterReply after = FakePeer::AfterReply::CLOSE)
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
    Connected c("a\nx~~~~~~y\nb\n", FakePeer::AfterReply::WAIT_FOR_CLIENT);
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

// --- How the input ended ------------------------------------------------

TEST(ServerIOEnding, OrderlyEndIsToldApartFromAResetAndFromTheReadersOwnEnd) {
    Connected closed("a\n");
    EXPECT_EQ(nextLine(closed.io), "a");
    EXPECT_EQ(closed.io.ending(), ServerIO::Ending::NONE);  // not ended yet
    EXPECT_EQ(nextLine(closed.io), "<end>");
    EXPECT_EQ(closed.io.ending(), ServerIO::Ending::CLOSED);

    Connected reset("a\n", FakePeer::AfterReply::RESET);
    EXPECT_EQ(nextLine(reset.io), "a");
    EXPECT_EQ(nextLine(reset.io), "<end>");
    EXPECT_EQ(reset.io.ending(), ServerIO::Ending::FAILED);

    // The end mark ends the reply without reading on.
    Connected marked("a\n~~~~~~\n", FakePeer::AfterReply::WAIT_FOR_CLIENT);
    EXPECT_EQ(nextLine(marked.io), "a");
    EXPECT_EQ(nextLine(marked.io), "<end>");
    EXPECT_EQ(marked.io.ending(), ServerIO::Ending::NONE);
}

TEST(ServerIOEnding, PeerThatTricklesBytesIsCutOffAtTheReplyTimeOut) {
    // One byte every 20 ms keeps the connection busy for two seconds; the
    // reply as a whole gets 300 ms, whatever the gaps between its bytes.
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    std::thread trickle([writer = ends[1]] {
        for (int i = 0; i < 100; ++i) {
            if (::send(writer, "x", 1, MSG_NOSIGNAL) != 1) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::close(writer);
    });
    ServerIO io;
    io.setReplyTimeout(300);
    io.adopt(ends[0]);
    const auto start = std::chrono::steady_clock::now();
    int bytes = 0;
    while (io.read() != ServerIO::END) ++bytes;
    const auto took = std::chrono::steady_clock::now() - start;
    io.close();  // the writer then fails and stops
    trickle.join();
    EXPECT_EQ(io.ending(), ServerIO::Ending::TIMED_OUT);
    EXPECT_GT(bytes, 0);
    EXPECT_LT(bytes, 100);
    EXPECT_LT(took, std::chrono::milliseconds(1000));
}

}  // namespace
