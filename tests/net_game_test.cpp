// The net game over loopback: a host and programs joining it as separate instances in one process,
// the commands on the service's game, and the wire reader fed in pieces.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "runtime/net/message_stream.h"
#include "runtime/net/multiplayer.h"
#include "runtime/net/net_service.h"
#include "runtime/net/netgame.h"
#include "runtime/net/socket_table.h"

namespace {

// Polls until the condition holds; generous for a loaded machine.
bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

// The next message of a local player, waiting for it; "" after the time-out.
std::string next_message(rt::NetGame& game, int32_t id) {
    std::string text;
    eventually([&] {
        text = game.receive(id);
        return !text.empty();
    });
    return text;
}

// A port nobody listens on right now (the system's choice, released again).
int32_t free_port(rt::SocketTable& table) {
    table.start();
    const int32_t socket = table.listen(0);
    const int32_t port = table.local_port(socket);
    table.close(socket);
    table.stop();
    return port;
}

TEST(NetGame, HostAndTwoProgramsExchangePlayersAndMessages) {
    rt::SocketTable table;
    const int32_t port = free_port(table);
    ASSERT_GT(port, 0);
    rt::NetGame host(table), ann(table), bob(table), late(table);

    ASSERT_EQ(host.host(port), 1);
    EXPECT_EQ(host.is_active(), 1);
    // Query players take ids from the same counter: each join registers one first.
    EXPECT_EQ(host.add_player("Hal"), 101);
    ASSERT_EQ(ann.join("127.0.0.1", port), 1);
    EXPECT_EQ(ann.add_player("Ann"), 103);
    ASSERT_EQ(bob.join("127.0.0.1", port), 1);
    EXPECT_EQ(bob.add_player("Bob"), 105);

    // Hidden query players are neither counted nor listed, but have names.
    for (rt::NetGame* game : {&host, &ann, &bob}) {
        EXPECT_EQ(game->player_count(), 3);
        EXPECT_EQ(game->player_at(0), 101);
        EXPECT_EQ(game->player_at(1), 103);
        EXPECT_EQ(game->player_at(2), 105);
        EXPECT_EQ(game->player_at(3), 0);
        EXPECT_EQ(game->player_at(-1), 0);
    }
    EXPECT_EQ(ann.player_name(101), "Hal");
    EXPECT_EQ(host.player_name(105), "Bob");
    EXPECT_EQ(bob.player_name(102), "query");
    EXPECT_EQ(bob.player_name(999), "NO_DATA");
    EXPECT_EQ(bob.player_name(0), "NO_DATA");

    // A broadcast reaches every visible player but its sender.
    ASSERT_EQ(ann.send(103, 0, "hello", 5), 1);
    EXPECT_EQ(next_message(host, 101), "hello");
    EXPECT_EQ(host.last_sender(), 103);
    EXPECT_EQ(next_message(bob, 105), "hello");
    // Point-to-point, with every byte kept; it follows the broadcast on the same path, so Ann
    // and her query player would have had the broadcast first.
    const std::string binary("a\0b", 3);
    ASSERT_EQ(bob.send(105, 103, binary.data(), binary.size()), 1);
    EXPECT_EQ(next_message(ann, 103), binary);
    EXPECT_EQ(ann.last_sender(), 105);
    EXPECT_EQ(ann.receive(102), "");
    EXPECT_EQ(ann.receive(103), "");
    const std::string largest(1024, 'x');
    EXPECT_EQ(host.send(101, 105, largest.data(), largest.size()), 1);
    EXPECT_EQ(next_message(bob, 105), largest);
    EXPECT_EQ(host.send(101, 105, largest.data(), largest.size() + 1), 0);
    EXPECT_EQ(host.send(101, 70000, "x", 1), 0);

    // Leaving: a removed player, then a whole program (its query player goes with it).
    EXPECT_EQ(bob.remove_player(105), 105);
    EXPECT_EQ(bob.remove_player(70000), 0);
    int32_t left = 0;
    EXPECT_TRUE(eventually([&] { return (left = host.left_player()) != 0; }));
    EXPECT_EQ(left, 105);
    EXPECT_EQ(ann.player_count(), 2);
    bob.leave();
    EXPECT_TRUE(eventually([&] { return (left = host.left_player()) != 0; }));
    EXPECT_EQ(left, 104);
    EXPECT_EQ(bob.is_active(), 0);
    EXPECT_EQ(ann.left_player(), 0);  // notifications are the host's

    // A closed game refuses new programs and new players, until it opens again.
    host.set_open(0);
    EXPECT_EQ(late.join("127.0.0.1", port), 0);
    EXPECT_EQ(late.is_active(), 0);
    EXPECT_EQ(ann.add_player("Too late"), 0);
    EXPECT_EQ(ann.is_active(), 1);
    host.set_open(1);
    ASSERT_EQ(late.join("127.0.0.1", port), 1);
    EXPECT_EQ(ann.player_count(), 2);

    // The host going ends the game everywhere.
    host.leave();
    EXPECT_EQ(host.is_active(), 0);
    EXPECT_TRUE(eventually([&] { return ann.is_active() == 0 && late.is_active() == 0; }));
    EXPECT_EQ(ann.send(103, 0, "x", 1), 0);
    EXPECT_EQ(ann.player_count(), 0);
    EXPECT_EQ(ann.add_player("After"), 0);
    // Every game gave back exactly the network starts it made.
    EXPECT_EQ(table.start_count(), 0);
}

TEST(NetGame, CommandsUseTheServiceGame) {
    rt::NetService& service = rt::net_service();
    const int32_t port = free_port(service.sockets());
    service.game_create();
    ASSERT_EQ(netgame_host(port), 1);
    EXPECT_EQ(netgame_is_active(), 1);
    const int32_t solo = netgame_add_player("Solo");
    EXPECT_EQ(solo, 101);
    EXPECT_EQ(netgame_player_count(), 1);
    EXPECT_EQ(netgame_player_at(0), solo);
    EXPECT_STREQ(netgame_player_name(solo).c_str(), "Solo");
    EXPECT_EQ(netgame_send(solo, solo, "to myself"), 1);
    RtString text;
    EXPECT_TRUE(eventually([&] { return !(text = netgame_receive(solo)).empty(); }));
    EXPECT_STREQ(text.c_str(), "to myself");
    EXPECT_EQ(netgame_last_sender(), solo);
    EXPECT_EQ(netgame_remove_player(solo), solo);
    EXPECT_TRUE(eventually([] { return netgame_left_player() == 101; }));
    netgame_set_open(1);
    service.game_release();

    // No game: every command fails quietly.
    EXPECT_EQ(netgame_is_active(), 0);
    EXPECT_EQ(netgame_host(port), 0);
    EXPECT_EQ(netgame_join("127.0.0.1", port), 0);
    EXPECT_EQ(netgame_add_player("x"), 0);
    EXPECT_EQ(netgame_send(1, 0, "x"), 0);
    EXPECT_STREQ(netgame_receive(1).c_str(), "");
    EXPECT_STREQ(netgame_player_name(1).c_str(), "NO_DATA");
    EXPECT_EQ(netgame_leave(), 0);
    EXPECT_EQ(service.sockets().start_count(), 0);
}

// Header (type, length, to, from) little-endian, then the payload.
std::string wire(uint8_t type, uint16_t to, uint16_t from, const std::string& payload) {
    std::string out;
    EXPECT_TRUE(rt::net_message_encode(type, to, from, payload.data(), payload.size(), out));
    return out;
}

TEST(NetGame, MessageReaderReassemblesPiecesAndStopsAtABadLength) {
    const std::string stream =
        wire(3, 0xFFFF, 101, "hello") + wire(2, 102, 0, "") + wire(103, 7, 0, std::string(1024, 'n'));
    ASSERT_EQ(stream.substr(0, 7), std::string("\x03\x05\x00\xFF\xFF\x65\x00", 7));
    std::string unused;
    EXPECT_FALSE(rt::net_message_encode(3, 0, 0, stream.data(), 1025, unused));

    for (size_t piece : {size_t{1}, size_t{3}, size_t{7}, size_t{8}, stream.size()}) {
        SCOPED_TRACE(piece);
        rt::MessageReader reader;
        for (size_t at = 0; at < stream.size(); at += piece) {
            reader.feed(stream.data() + at, std::min(piece, stream.size() - at), 1000);
        }
        rt::NetMessage m;
        ASSERT_TRUE(reader.next(m));
        EXPECT_EQ(m.type, 3);
        EXPECT_EQ(m.to, 0xFFFF);
        EXPECT_EQ(m.from, 101);
        EXPECT_EQ(m.payload, "hello");
        ASSERT_TRUE(reader.next(m));
        EXPECT_EQ(m.type, 2);
        EXPECT_EQ(m.to, 102);
        EXPECT_EQ(m.payload, "");
        ASSERT_TRUE(reader.next(m));
        EXPECT_EQ(m.payload.size(), 1024u);
        EXPECT_FALSE(reader.next(m));
        EXPECT_FALSE(reader.bad());
        EXPECT_EQ(reader.pending_ms(5000), 0);
    }

    // A partial message is dated from its first byte; a length above 1024 ends the stream, and
    // the messages before it stay.
    rt::MessageReader reader;
    const std::string first = wire(3, 1, 2, "ab");
    reader.feed(first.data(), first.size() - 1, 100);
    reader.feed(first.data() + first.size() - 1, 1, 900);
    reader.feed("\x03\x01", 2, 1000);
    EXPECT_EQ(reader.pending_ms(1250), 250);
    reader.feed("\x04\x00\x00\x00\x00", 5, 1300);
    EXPECT_TRUE(reader.bad());
    EXPECT_EQ(reader.consumed(), first.size());
    const std::string after = wire(3, 1, 2, "cd");
    reader.feed(after.data(), after.size(), 1400);
    rt::NetMessage m;
    ASSERT_TRUE(reader.next(m));
    EXPECT_EQ(m.payload, "ab");
    EXPECT_FALSE(reader.next(m));
}

}  // namespace
