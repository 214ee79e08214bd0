// Telling the proxy's users apart: a loopback client is known by the Unix
// user owning its socket, any other client by its address.

#include "proxy/server/identity.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

using wexaproxy::clientIdentity;

namespace {

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

sockaddr_storage v4(const char* address, unsigned short port) {
    sockaddr_storage storage{};
    auto& in = reinterpret_cast<sockaddr_in&>(storage);
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    inet_pton(AF_INET, address, &in.sin_addr);
    return storage;
}

}  // namespace

TEST(ClientIdentity, LoopbackClientIsKnownByTheUserOwningItsSocket) {
    Fd listener, client, accepted;
    listener.fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_storage address = v4("127.0.0.1", 0);
    ASSERT_EQ(bind(listener.fd, reinterpret_cast<sockaddr*>(&address), sizeof(sockaddr_in)), 0);
    ASSERT_EQ(listen(listener.fd, 1), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(listener.fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    client.fd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(client.fd, reinterpret_cast<sockaddr*>(&address), sizeof(sockaddr_in)), 0);
    accepted.fd = accept(listener.fd, nullptr, nullptr);
    ASSERT_GE(accepted.fd, 0);

    EXPECT_EQ(clientIdentity(accepted.fd), "uid:" + std::to_string(getuid()));
}

TEST(ClientIdentity, TheClientsSocketIsFoundByBothEndsNotByTheServersOwn) {
    // 127.0.0.1:40000 (the client) connected to 127.0.0.1:30000 (us). The
    // server's own end of the connection (owned by uid 0) must not be taken.
    const std::string table =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0100007F:7530 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 1 1\n"
        "   1: 0100007F:7530 0100007F:9C40 01 00000000:00000000 00:00000000 00000000     0        0 2 1\n"
        "   2: 0100007F:9C40 0100007F:7530 01 00000000:00000000 00:00000000 00000000  1001        0 3 1\n";
    const sockaddr_storage peer = v4("127.0.0.1", 40000), local = v4("127.0.0.1", 30000);
    EXPECT_EQ(clientIdentity(peer, local, table, ""), "uid:1001");

    // A client that went away is nobody else: each gets an identity of its own.
    const sockaddr_storage gone = v4("127.0.0.1", 40001);
    const std::string first = clientIdentity(gone, local, table, "");
    EXPECT_EQ(first.rfind("conn:", 0), 0u) << first;
    EXPECT_NE(first, clientIdentity(gone, local, table, ""));
}

TEST(ClientIdentity, RemoteClientIsKnownByItsAddress) {
    EXPECT_EQ(clientIdentity(v4("192.0.2.7", 5555), v4("192.0.2.1", 30000), "", ""), "addr:192.0.2.7");
}

TEST(ClientIdentity, AnotherUsersConnectionIsKnownByThatUser) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
    Fd listener, accepted;
    listener.fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_storage address = v4("127.0.0.1", 0);
    ASSERT_EQ(bind(listener.fd, reinterpret_cast<sockaddr*>(&address), sizeof(sockaddr_in)), 0);
    ASSERT_EQ(listen(listener.fd, 1), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(listener.fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    int done[2];
    ASSERT_EQ(pipe(done), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other user connects and waits until the server has looked.
        close(done[1]);
        if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(1);
        const int sock = socket(AF_INET, SOCK_STREAM, 0);
        if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof(sockaddr_in)) != 0) _exit(1);
        char byte;
        while (read(done[0], &byte, 1) < 0) {
        }
        _exit(0);
    }
    close(done[0]);
    accepted.fd = accept(listener.fd, nullptr, nullptr);
    const std::string identity = accepted.fd >= 0 ? clientIdentity(accepted.fd) : "";
    close(done[1]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Not uid 0, which owns this (the server's) end of the same connection.
    EXPECT_EQ(identity, "uid:65534");

    // A client that has gone is nobody's: asked of the kernel, no owner.
    const sockaddr_storage nobody = v4("127.0.0.1", 9), server = address;
    unsigned uid = 0;
    EXPECT_EQ(wexaproxy::socketOwner(nobody, server, uid), wexaproxy::OwnerLookup::NoSuchSocket);
}
