// The numbered sockets on loopback: numbering and reuse, TCP and UDP traffic through the socket
// commands, connect failures, address texts, the start count and refused numbers.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <string>
#include <thread>

#include "runtime/net/net_service.h"
#include "runtime/net/socket_table.h"
#include "runtime/net/sockets.h"

namespace {

constexpr int32_t kLoopback = 2130706433;  // 127.0.0.1

// Polls cond every few milliseconds for up to 20 s; true once it holds.
template <typename Cond>
bool eventually(Cond cond) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

rt::SocketTable& table() { return rt::net_service().sockets(); }

// The commands use the process's table: every test starts and ends with it empty.
class SocketCommands : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        while (table().start_count() > 1) table().stop();
        table().stop();
    }

    // A connected pair: the client's and the accepted socket's numbers, and the peer's IP number.
    void connect_pair(int32_t& client, int32_t& server, int32_t& peer_ip) {
        const int32_t listener = socket_listen(0);
        ASSERT_GE(listener, 0);
        client = socket_connect("127.0.0.1", table().local_port(listener), 10000);
        ASSERT_GE(client, 0) << net_error_text().c_str();
        ASSERT_TRUE(eventually([&] { return (server = socket_accept(listener, peer_ip)) >= 0; }));
        socket_close(listener);
    }
};

TEST(SocketTable, NumbersAreLowestFreeFirstAndAFullTableFailsWithCode8) {
    rlimit files;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
    if (files.rlim_cur < 1200 && files.rlim_max >= 1200) {
        files.rlim_cur = 1200;
        setrlimit(RLIMIT_NOFILE, &files);
        getrlimit(RLIMIT_NOFILE, &files);
    }
    if (files.rlim_cur < 1200) GTEST_SKIP() << "too few descriptors for a full table";

    rt::SocketTable sockets;
    EXPECT_EQ(sockets.listen(0), 0);
    EXPECT_EQ(sockets.open_udp(0), 1);
    EXPECT_EQ(sockets.close(0), 1);
    EXPECT_EQ(sockets.open_udp(0), 0);  // a closed number is handed out first
    for (int32_t expected = 2; expected < rt::kSocketCount; ++expected) ASSERT_EQ(sockets.open_udp(0), expected);
    EXPECT_EQ(sockets.open_udp(0), -1);
    EXPECT_EQ(sockets.last_error(), rt::kSocketTableFull);
    EXPECT_EQ(sockets.listen(0), -1);
    EXPECT_EQ(sockets.error_text().rfind("8 ", 0), 0u);
    EXPECT_EQ(sockets.close(700), 1);
    EXPECT_EQ(sockets.open_udp(0), 700);
}

TEST(SocketTable, NumbersOutsideTheTableOrFreeAreRefused) {
    rt::SocketTable sockets;
    const int32_t udp = sockets.open_udp(0);
    ASSERT_EQ(udp, 0);
    char buffer[8];
    uint32_t ip = 0;
    for (const int32_t number : {-1, rt::kSocketCount, 5, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(sockets.accept(number, &ip), -1);
        EXPECT_EQ(sockets.send(number, "x", 1), -1);
        EXPECT_EQ(sockets.send_to(number, "x", 1, 0x7F000001, 9), -1);
        EXPECT_EQ(sockets.receive(number, buffer, sizeof buffer), rt::kReceiveError);
        EXPECT_EQ(sockets.close(number), 0);
        EXPECT_EQ(sockets.local_port(number), -1);
        uint8_t readable = 0;
        EXPECT_EQ(sockets.wait_readable(&number, 1, 20000, &readable), 1);  // at once, not after 20 s
        EXPECT_EQ(readable, 1);
    }
    // A UDP socket accepts nothing and says so with code 0.
    sockets.last_error_set(99);
    EXPECT_EQ(sockets.accept(udp, &ip), -1);
    EXPECT_EQ(sockets.last_error(), 0);
}

TEST_F(SocketCommands, TcpStreamArrivesInOrderAndCloseIsSeen) {
    int32_t client = -1, server = -1, peer = 0;
    connect_pair(client, server, peer);
    EXPECT_EQ(peer, kLoopback);

    RtString got("stale");
    EXPECT_EQ(socket_receive(client, got, 100), -2);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(socket_send(server, RtString()), 0);

    const RtString sent("0123456789abcdefghij\0klmn", 25);
    ASSERT_EQ(socket_send(server, sent), 25);
    int32_t first = -2;
    ASSERT_TRUE(eventually([&] { return (first = socket_receive(client, got, 10)) != -2; }));
    ASSERT_EQ(first, 10);
    EXPECT_EQ(std::string(got.c_str(), got.length()), "0123456789");
    std::string rest;
    ASSERT_TRUE(eventually([&] {
        if (socket_receive(client, got, 100) > 0) rest.append(got.c_str(), got.length());
        return rest.size() >= 15;
    }));
    EXPECT_EQ(rest, std::string("abcdefghij\0klmn", 15));

    EXPECT_EQ(socket_close(server), 1);
    int32_t end = -2;
    ASSERT_TRUE(eventually([&] { return (end = socket_receive(client, got, 100)) != -2; }));
    EXPECT_EQ(end, 0);
    EXPECT_TRUE(got.empty());
}

TEST_F(SocketCommands, AcceptReportsThePeerInBothForms) {
    const int32_t listener = socket_listen(0);
    ASSERT_GE(listener, 0);
    int32_t ip = 0;
    EXPECT_EQ(socket_accept(listener, ip), -1);  // nothing pending: no wait
    ASSERT_GE(socket_connect("127.0.0.1", table().local_port(listener), 10000), 0);
    double real_ip = 0;
    ASSERT_TRUE(eventually([&] { return socket_accept(listener, real_ip) >= 0; }));
    EXPECT_EQ(real_ip, kLoopback);
}

TEST_F(SocketCommands, UdpNeedsADestinationAndDeliversADatagram) {
    const int32_t sender = socket_open_udp(0);
    const int32_t receiver = socket_open_udp(0);
    ASSERT_GE(sender, 0);
    ASSERT_GE(receiver, 0);
    const int32_t port = table().local_port(receiver);
    ASSERT_GT(port, 0);

    EXPECT_EQ(socket_send(sender, "hello"), -1);
    EXPECT_EQ(socket_send_to(sender, "hello", 0, 0), -1);
    EXPECT_EQ(socket_send_to(sender, "", kLoopback, port), 0);
    EXPECT_EQ(socket_send_to(sender, "hello", kLoopback, port), 5);
    RtString got;
    int32_t result = -2;
    ASSERT_TRUE(eventually([&] { return (result = socket_receive(receiver, got, 100)) != -2; }));
    EXPECT_EQ(result, 5);
    EXPECT_EQ(got, "hello");
    EXPECT_EQ(socket_close(sender), 1);
    EXPECT_EQ(socket_close(sender), 0);
}

TEST_F(SocketCommands, ConnectToAClosedPortFailsWithAnErrorText) {
    const int32_t listener = socket_listen(0);
    const int32_t port = table().local_port(listener);
    ASSERT_GT(port, 0);
    socket_close(listener);
    // Time-out 0 means the longest wait, but a refused connection ends at once.
    EXPECT_EQ(socket_connect("127.0.0.1", port, 0), -1);
    const std::string text = net_error_text().c_str();
    const std::string code = std::to_string(table().last_error());
    EXPECT_NE(table().last_error(), 0);
    EXPECT_EQ(text.rfind(code + " ", 0), 0u) << text;
    EXPECT_GT(text.size(), code.size() + 1);
    // Address and port both 0 fail without trying.
    EXPECT_EQ(table().connect_ip(0, 0, 1000), -1);
    // The refused attempts left no number behind.
    EXPECT_EQ(socket_listen(0), 0);
}

TEST_F(SocketCommands, AddressTexts) {
    const struct {
        int32_t ip;
        const char* text;
    } cases[] = {{kLoopback, "127.0.0.1"}, {-1, "255.255.255.255"}, {0, "0.0.0.0"}, {-1062731775, "192.168.0.1"}};
    for (const auto& c : cases) EXPECT_EQ(net_address_text(c.ip), c.text);
    EXPECT_EQ(net_resolve("127.0.0.1"), kLoopback);
    EXPECT_EQ(net_resolve("0.0.0.0"), -1);
    EXPECT_NE(net_resolve(""), -1);  // this machine, else loopback

    const std::string own = net_local_addresses().c_str();
    EXPECT_EQ(own.find("127."), std::string::npos) << own;
    if (!own.empty()) {
        EXPECT_NE(own.back(), '|');
        EXPECT_EQ(net_resolve(""), net_resolve(own.substr(0, own.find('|')).c_str()));
    }
}

TEST_F(SocketCommands, OnlyTheLastStopClosesTheSockets) {
    EXPECT_EQ(net_start(), 1);
    EXPECT_EQ(net_start(), 1);
    const int32_t udp = socket_open_udp(0);
    const int32_t tcp = socket_listen(0);
    ASSERT_GE(udp, 0);
    ASSERT_GE(tcp, 0);
    EXPECT_EQ(net_stop(), 1);
    EXPECT_GT(table().local_port(udp), 0);
    EXPECT_GT(table().local_port(tcp), 0);
    EXPECT_EQ(net_stop(), 0);
    EXPECT_EQ(table().local_port(udp), -1);
    EXPECT_EQ(table().local_port(tcp), -1);
    EXPECT_EQ(socket_close(udp), 0);
    EXPECT_EQ(table().start_count(), 0);
    EXPECT_EQ(net_stop(), 0);  // a stop without a start stays at 0
    EXPECT_EQ(table().start_count(), 0);
}

TEST_F(SocketCommands, ClosingANumberEndsAWaitOnAnotherThread) {
    int32_t client = -1, server = -1, peer = 0;
    connect_pair(client, server, peer);
    int32_t waited = -5;
    uint8_t readable = 0;
    std::thread waiter([&] { waited = table().wait_readable(&client, 1, 600000, &readable); });
    // The close cannot know when the wait began; it wakes the wait whenever it did.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(socket_close(client), 1);
    waiter.join();
    EXPECT_EQ(waited, 1);
    EXPECT_EQ(readable, 1);
}

}  // namespace
