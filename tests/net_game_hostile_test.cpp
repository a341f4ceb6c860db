// A net game host with two honest joined programs while raw clients misbehave on the wire: bad
// lengths, forged senders, stalls, broken connections, a reader that stops, a connection flood.
// The honest players' messages must keep arriving, in order, none lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "runtime/net/netgame.h"
#include "runtime/net/socket_table.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kLoopback = 0x7F000001;
constexpr int32_t kWaitMs = 30000;
constexpr int32_t kClientSlots = 128;
constexpr uint8_t kRegister = 1;
constexpr uint8_t kRegistered = 2;
constexpr uint8_t kText = 3;
constexpr uint8_t kRemove = 4;

std::string header(uint8_t type, uint16_t length, uint16_t to, uint16_t from) {
    const uint8_t bytes[7] = {type,
                              static_cast<uint8_t>(length & 0xFF),
                              static_cast<uint8_t>(length >> 8),
                              static_cast<uint8_t>(to & 0xFF),
                              static_cast<uint8_t>(to >> 8),
                              static_cast<uint8_t>(from & 0xFF),
                              static_cast<uint8_t>(from >> 8)};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

std::string message(uint8_t type, uint16_t to, uint16_t from, const std::string& payload) {
    return header(type, static_cast<uint16_t>(payload.size()), to, from) + payload;
}

// The 148-byte player image of a registration: socket, status, hidden flag, second flag, the
// 128-byte name field (copied as given, so a test can leave out the terminator), queue links.
std::string registration(const std::string& name) {
    std::string image(148, '\0');
    image[0] = image[1] = image[2] = image[3] = '\xFF';  // socket -1
    image[4] = '\xFE';                                   // status 0xFFFE
    image[5] = '\xFF';
    image.replace(8, std::min<size_t>(name.size(), 128), name.substr(0, 128));
    return message(kRegister, 0, 0, image);
}

// A client that speaks the wire format itself over the shared socket table.
class RawClient {
public:
    RawClient(rt::SocketTable& sockets, int32_t port) : sockets_(sockets) {
        socket_ = sockets_.connect_ip(kLoopback, port, kWaitMs);
    }
    ~RawClient() { close(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return socket_ >= 0; }
    bool closed_by_peer() const { return closed_; }

    // Failures are ignored: the host may already have dropped this client.
    void send(const std::string& bytes) {
        if (socket_ >= 0 && !closed_) sockets_.send(socket_, bytes.data(), bytes.size());
    }

    void close() {
        if (socket_ >= 0) sockets_.close(socket_);
        socket_ = -1;
    }

    // Reads what has arrived without waiting; true when the host has closed the connection.
    bool poll() {
        char buffer[4096];
        while (socket_ >= 0 && !closed_) {
            const int32_t got = sockets_.receive(socket_, buffer, sizeof buffer);
            if (got == rt::kReceiveNothing) break;
            if (got == rt::kReceiveClosed || got == rt::kReceiveError) {
                closed_ = true;
                break;
            }
            pending_.append(buffer, static_cast<size_t>(got));
        }
        return closed_;
    }

    // The to field of the first registration answer read so far, or 0.
    int32_t registered_id() {
        const int32_t id = next_answer();
        return id < 0 ? 0 : id;
    }

    // The to field of the next registration answer read so far (0: refused), or -1 when none.
    int32_t next_answer() {
        poll();
        while (pending_.size() >= 7) {
            const auto* b = reinterpret_cast<const uint8_t*>(pending_.data());
            const size_t length = b[1] | (b[2] << 8);
            if (pending_.size() < 7 + length) break;
            const int32_t to = b[3] | (b[4] << 8);
            const bool answer = b[0] == kRegistered && length == 0;
            pending_.erase(0, 7 + length);
            if (answer) return to;
        }
        return -1;
    }

private:
    rt::SocketTable& sockets_;
    int32_t socket_ = -1;
    bool closed_ = false;
    std::string pending_;
};

// One direction of honest traffic: numbered texts of varying length from one player to another.
struct Stream {
    rt::NetGame* from_game;
    int32_t from;
    rt::NetGame* to_game;
    int32_t to;
    std::string tag;
    int sent = 0;
    int received = 0;
    int faults = 0;

    std::string text(int seq) const {
        return tag + " " + std::to_string(seq) + " " + std::string(static_cast<size_t>(seq % 9) * 111, 'p');
    }
};

class NetGameHostileTest : public ::testing::Test {
protected:
    struct Foreign {
        int32_t sender;
        std::string text;
    };

    void SetUp() override {
        ASSERT_EQ(sockets_.start(), 1);  // held for the whole test, so no game's stop ends our sockets
        const int32_t probe = sockets_.listen(0);
        ASSERT_GE(probe, 0);
        port_ = sockets_.local_port(probe);
        sockets_.close(probe);
        ASSERT_GT(port_, 0);

        host_ = std::make_unique<rt::NetGame>(sockets_);
        a_ = std::make_unique<rt::NetGame>(sockets_);
        b_ = std::make_unique<rt::NetGame>(sockets_);
        ASSERT_EQ(host_->host(port_), 1);
        ASSERT_EQ(a_->join("127.0.0.1", port_), 1);
        ASSERT_EQ(b_->join("127.0.0.1", port_), 1);
        ida_ = a_->add_player("alice");
        idb_ = b_->add_player("bob");
        ASSERT_GT(ida_, 0);
        ASSERT_GT(idb_, 0);
        streams_.push_back(Stream{a_.get(), ida_, b_.get(), idb_, "a>b"});
        streams_.push_back(Stream{b_.get(), idb_, a_.get(), ida_, "b>a"});
    }

    void TearDown() override {
        b_.reset();
        a_.reset();
        host_.reset();
        sockets_.stop();
    }

    // One more honest message each way, unless many are still under way.
    void send_honest() {
        for (Stream& s : streams_) {
            if (s.sent - s.received >= 40) continue;
            const std::string text = s.text(s.sent);
            if (s.from_game->send(s.from, s.to, text.data(), text.size()) == 1) ++s.sent;
        }
    }

    // Takes every message that has arrived for the honest players; anything not from the other
    // honest player is kept in foreign_, anything from it must be the next text of its stream.
    void drain() {
        for (Stream& s : streams_) {
            for (;;) {
                const std::string text = s.to_game->receive(s.to);
                if (text.empty()) break;
                const int32_t sender = s.to_game->last_sender();
                if (sender != s.from) {
                    foreign_.push_back({sender, text});
                } else if (text == s.text(s.received)) {
                    ++s.received;
                } else {
                    ++s.faults;
                    ADD_FAILURE() << s.tag << ": expected message " << s.received << ", got \"" << text.substr(0, 40)
                                  << "\"";
                }
            }
        }
        for (int32_t id = host_->left_player(); id != 0; id = host_->left_player()) left_.push_back(id);
    }

    // Polls condition while honest traffic keeps flowing (or only drains it); false when it never
    // came true.
    template <typename F>
    bool wait_for(F&& condition, bool keep_sending = true) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
        for (;;) {
            if (keep_sending) send_honest();
            drain();
            if (condition()) return true;
            if (Clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    }

    bool has_left(int32_t id) const { return std::find(left_.begin(), left_.end(), id) != left_.end(); }

    bool foreign_from(int32_t id, const std::string& text) const {
        return std::any_of(foreign_.begin(), foreign_.end(),
                           [&](const Foreign& f) { return f.sender == id && f.text == text; });
    }

    // A raw client with one registered visible player; its id, or 0. Only the first 128 bytes of
    // the name and its terminator go into the name field.
    int32_t register_raw(RawClient& raw, const std::string& name) {
        if (!raw.connected()) return 0;
        raw.send(registration(name + std::string(1, '\0')));
        int32_t id = 0;
        wait_for([&] { return (id = raw.registered_id()) != 0 || raw.closed_by_peer(); });
        return id;
    }

    // Every honest message sent so far, and some more, arrives in order.
    void expect_honest_traffic_complete() {
        for (int i = 0; i < 20; ++i) send_honest();
        const bool all = wait_for(
            [&] {
                return std::all_of(streams_.begin(), streams_.end(),
                                   [](const Stream& s) { return s.received == s.sent && s.sent >= 20; });
            },
            false);
        for (const Stream& s : streams_) {
            EXPECT_TRUE(all) << s.tag << ": " << s.received << " of " << s.sent << " arrived";
            EXPECT_EQ(s.faults, 0) << s.tag;
        }
        EXPECT_EQ(host_->player_name(ida_), "alice");
        EXPECT_EQ(host_->player_name(idb_), "bob");
    }

    rt::SocketTable sockets_;  // declared first: every game and raw client goes before it
    int32_t port_ = 0;
    std::unique_ptr<rt::NetGame> host_, a_, b_;
    int32_t ida_ = 0, idb_ = 0;
    std::vector<Stream> streams_;
    std::vector<Foreign> foreign_;
    std::vector<int32_t> left_;
};

TEST_F(NetGameHostileTest, PayloadLengthAboveTheLimitDisconnectsTheSender) {
    struct Case {
        uint16_t length;
        size_t bytes_sent;  // of payload; the whole message goes out in one send
        bool accepted;
    };
    for (const Case& c : {Case{1024, 1024, true}, Case{1025, 1025, false}, Case{65535, 1100, false}}) {
        SCOPED_TRACE(c.length);
        RawClient raw(sockets_, port_);
        const int32_t id = register_raw(raw, "raw");
        ASSERT_GT(id, 0);
        const std::string payload(c.bytes_sent, static_cast<char>('a' + c.length % 26));
        raw.send(header(kText, c.length, static_cast<uint16_t>(idb_), static_cast<uint16_t>(id)) + payload);
        if (c.accepted) {
            EXPECT_TRUE(wait_for([&] { return foreign_from(id, payload); }));
            EXPECT_FALSE(raw.poll());
        } else {
            EXPECT_TRUE(wait_for([&] { return raw.poll(); })) << "the host kept the client";
            EXPECT_TRUE(wait_for([&] { return has_left(id); }));
            EXPECT_TRUE(
                std::none_of(foreign_.begin(), foreign_.end(), [&](const Foreign& f) { return f.sender == id; }));
        }
    }
    expect_honest_traffic_complete();
}

TEST_F(NetGameHostileTest, MessagesClaimingAnotherPlayersIdAreDropped) {
    RawClient raw(sockets_, port_);
    const int32_t id = register_raw(raw, "raw");
    ASSERT_GT(id, 0);
    const auto to_b = static_cast<uint16_t>(idb_), to_a = static_cast<uint16_t>(ida_);
    raw.send(message(kText, to_b, static_cast<uint16_t>(id), "own id before"));
    raw.send(message(kText, to_b, to_a, "forged as alice"));
    raw.send(message(kText, to_a, to_b, "forged as bob"));
    raw.send(message(kText, 0xFFFF, to_a, "forged broadcast"));
    raw.send(message(kRemove, 0, to_a, ""));
    raw.send(message(kRemove, 0, to_b, ""));
    raw.send(message(kText, to_b, static_cast<uint16_t>(id), "own id after"));

    // The host handles one client's messages in order: once the last one is through, so are
    // the forged ones.
    ASSERT_TRUE(wait_for([&] { return foreign_from(id, "own id after"); }));
    EXPECT_TRUE(foreign_from(id, "own id before"));
    for (const Foreign& f : foreign_) EXPECT_EQ(f.text.find("forged"), std::string::npos) << f.text;
    EXPECT_FALSE(has_left(ida_));
    EXPECT_FALSE(has_left(idb_));
    EXPECT_FALSE(raw.poll());
    expect_honest_traffic_complete();
    EXPECT_EQ(host_->player_count(), 3);
}

TEST_F(NetGameHostileTest, RegisteredNamesAreAlwaysTerminated) {
    RawClient raw(sockets_, port_);
    const int32_t id = register_raw(raw, std::string(128, 'x'));  // fills the name field, no terminator
    ASSERT_GT(id, 0);
    const std::string known = host_->player_name(id);
    EXPECT_LE(known.size(), 127u);
    EXPECT_EQ(known, std::string(known.size(), 'x'));
    EXPECT_EQ(a_->player_name(id), known);
    expect_honest_traffic_complete();
}

TEST_F(NetGameHostileTest, OneClientCannotTakeEveryId) {
    RawClient raw(sockets_, port_);
    ASSERT_TRUE(raw.connected());
    std::string burst;
    for (int i = 0; i < 300; ++i) burst += registration("many" + std::string(1, '\0'));
    raw.send(burst);
    int answers = 0, refused = 0;
    EXPECT_TRUE(wait_for([&] {
        for (int32_t id; answers < 300 && (id = raw.next_answer()) >= 0; ++answers) refused += id == 0;
        return answers == 300;
    }));
    EXPECT_EQ(refused, 300 - 256);
    EXPECT_GT(a_->add_player("carol"), 0);
    expect_honest_traffic_complete();
}

TEST_F(NetGameHostileTest, IncompleteMessagesEndTheirClientOnly) {
    host_->stall_timeout_set(300);
    struct Case {
        const char* what;
        size_t bytes;  // of a 7-byte header announcing 1000 payload bytes, and that payload
        bool hang_up;  // close the connection, else go silent
    };
    for (const Case& c : {Case{"half a header, silence", 3, false}, Case{"half a payload, silence", 507, false},
                          Case{"half a header, hang-up", 3, true}, Case{"half a payload, hang-up", 507, true}}) {
        SCOPED_TRACE(c.what);
        RawClient raw(sockets_, port_);
        const int32_t id = register_raw(raw, "raw");
        ASSERT_GT(id, 0);
        const std::string whole =
            message(kText, static_cast<uint16_t>(idb_), static_cast<uint16_t>(id), std::string(1000, 'h'));
        raw.send(whole.substr(0, c.bytes));
        if (c.hang_up) {
            raw.close();
        } else {
            EXPECT_TRUE(wait_for([&] { return raw.poll(); })) << "the host kept a stalled client";
        }
        EXPECT_TRUE(wait_for([&] { return has_left(id); }));
        EXPECT_TRUE(std::none_of(foreign_.begin(), foreign_.end(), [&](const Foreign& f) { return f.sender == id; }));
    }
    expect_honest_traffic_complete();
}

TEST_F(NetGameHostileTest, ClientThatStopsReadingIsDisconnected) {
    host_->stall_timeout_set(300);
    RawClient raw(sockets_, port_);
    const int32_t id = register_raw(raw, "sleeper");
    ASSERT_GT(id, 0);
    // Fill the sleeper's socket buffers until the host gives up on it.
    const std::string kib(1024, 's');
    int sent = 0;
    const bool dropped = wait_for([&] {
        for (int i = 0; i < 64 && sent < 200000; ++i, ++sent) a_->send(ida_, id, kib.data(), kib.size());
        return has_left(id);
    });
    EXPECT_TRUE(dropped) << sent << " KiB sent to a client that does not read";
    EXPECT_TRUE(wait_for([&] { return raw.poll(); }));  // what was buffered, then the close
    expect_honest_traffic_complete();
}

TEST_F(NetGameHostileTest, ConnectionsBeyondTheClientSlotsAreClosedAtOnce) {
    // The host's own program and the two honest programs hold three slots.
    constexpr int kFree = kClientSlots - 3;
    constexpr int kFlood = kFree + 5;
    std::vector<std::unique_ptr<RawClient>> flood;
    for (int i = 0; i < kFlood; ++i) {
        flood.push_back(std::make_unique<RawClient>(sockets_, port_));
        ASSERT_TRUE(flood.back()->connected()) << i;
        // The listen backlog is short: give the host time to take each connection.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        drain();
    }
    auto closed = [&] { return std::count_if(flood.begin(), flood.end(), [](auto& raw) { return raw->poll(); }); };
    ASSERT_TRUE(wait_for([&] { return closed() >= kFlood - kFree; }));

    // Every connection still open holds a real slot: its player registers and is counted.
    for (int i = 0; i < kFlood; ++i) {
        if (!flood[i]->closed_by_peer()) flood[i]->send(registration("flood" + std::to_string(i) + '\0'));
    }
    std::vector<int32_t> ids(kFlood, 0);
    auto registered = [&] {
        int count = 0;
        for (int i = 0; i < kFlood; ++i) {
            if (ids[i] == 0 && !flood[i]->closed_by_peer()) ids[i] = flood[i]->registered_id();
            count += ids[i] != 0;
        }
        return count;
    };
    EXPECT_TRUE(wait_for([&] { return registered() == kFree; }));
    EXPECT_EQ(closed(), kFlood - kFree);
    EXPECT_EQ(host_->player_count(), 2 + kFree);

    // Freed slots are taken again.
    flood.clear();
    EXPECT_TRUE(wait_for([&] { return static_cast<int>(left_.size()) >= kFree; }));
    EXPECT_EQ(host_->player_count(), 2);
    RawClient late(sockets_, port_);
    EXPECT_GT(register_raw(late, "late"), 0);
    expect_honest_traffic_complete();
}

TEST_F(NetGameHostileTest, OddMessagesLeaveTheHostServing) {
    struct Case {
        const char* what;
        std::string bytes;  // the id 0xBEEF stands for no player at all
    };
    const auto to_b = static_cast<uint16_t>(idb_);
    const Case cases[] = {
        {"registration without its player image", message(kRegister, 0, 0, "short")},
        {"a registration answer sent to the host", message(kRegistered, 0, 0, "")},
        {"unknown type", message(77, 0, 0, "what")},
        {"player index query without the index", message(102, 0, 0, "")},
        {"name query with one byte of the id", message(103, 0, 0, "\x01")},
        {"text to nobody", message(kText, 0xBEEF, 0, "lost")},
        {"text to the host itself", message(kText, 0, 0, "to host")},
        {"empty text", message(kText, to_b, 0, "")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawClient raw(sockets_, port_);
        const int32_t id = register_raw(raw, "odd");
        ASSERT_GT(id, 0);
        std::string bytes = c.bytes;
        bytes[5] = static_cast<char>(id & 0xFF);  // from: the client's own player
        bytes[6] = static_cast<char>(id >> 8);
        raw.send(bytes);
        // Dropping the message or the client are both sound; the host must go on either way.
        raw.send(message(kText, to_b, static_cast<uint16_t>(id), "still here"));
        EXPECT_TRUE(wait_for([&] { return foreign_from(id, "still here") || raw.poll(); }));
    }
    expect_honest_traffic_complete();
}

}  // namespace
