// Figures for the net game host: 1 KiB messages routed point-to-point between up to 128 raw
// clients (rate, p99 latency, lost / duplicated / reordered counts), and one program's ping-pong
// through the host against plain socket relays. Usage: net_bench [seconds of load, default 30]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/net/netgame.h"
#include "runtime/net/socket_table.h"

#ifndef RT_BUILD_TYPE
#define RT_BUILD_TYPE "unknown build type"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kLoopback = 0x7F000001;
constexpr size_t kHeader = 7;
constexpr size_t kPayload = 1024;
constexpr size_t kMessage = kHeader + kPayload;
constexpr int kWindow = 4;  // messages per client under way at once

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

uint32_t get16(const uint8_t* p) { return p[0] | (static_cast<uint32_t>(p[1]) << 8); }

void put_header(uint8_t* p, uint8_t type, uint32_t length, uint32_t to, uint32_t from) {
    p[0] = type;
    put16(p + 1, length);
    put16(p + 3, to);
    put16(p + 5, from);
}

// A client's payload: sender index, sequence number, send time; the rest is filler.
struct Stamp {
    uint32_t sender;
    uint64_t seq;
    int64_t sent_ns;
};

// Sends all of bytes, or false.
bool send_all(rt::SocketTable& sockets, int32_t number, const void* data, size_t size) {
    return sockets.send(number, data, size) == static_cast<int64_t>(size);
}

struct LoadClient {
    int32_t socket = -1;
    uint32_t id = 0;
    uint32_t to = 0;    // the id of the client it sends to
    uint64_t sent = 0;  // sequence numbers handed out
    std::vector<uint8_t> in;
    // Of the messages arriving from the client that sends here:
    std::vector<uint8_t> seen;  // per sequence number
    uint64_t distinct = 0, highest_plus_one = 0, duplicated = 0, reordered = 0;
    bool closed = false;
};

// Reads whatever has arrived on a client; false when its connection ended.
bool read_available(rt::SocketTable& sockets, LoadClient& c) {
    uint8_t buffer[65536];
    for (;;) {
        const int32_t got = sockets.receive(c.socket, buffer, sizeof buffer);
        if (got == rt::kReceiveNothing) return true;
        if (got <= 0) return false;
        c.in.insert(c.in.end(), buffer, buffer + got);
        if (got < static_cast<int32_t>(sizeof buffer)) return true;
    }
}

struct LoadResult {
    int clients = 0;
    uint64_t sent = 0, delivered = 0, delivered_in_time = 0, lost = 0, duplicated = 0, reordered = 0;
    double seconds = 0;
    std::vector<int64_t> latencies_ns;
};

// The load clients speak the wire format on raw sockets, all driven by the calling thread, which
// sends a window of messages per client in one call and reads whatever has arrived in large
// blocks: a client costs it less than a message costs the host (read, route, write), so on two
// cores the figure is the host's, not that of 128 worker threads competing with it for the CPU.
LoadResult run_load(rt::SocketTable& sockets, int32_t port, int wanted, double seconds) {
    LoadResult result;
    std::vector<LoadClient> clients(static_cast<size_t>(wanted));
    // Register every client's player; clients the host turns away are left out.
    for (LoadClient& c : clients) {
        c.socket = sockets.connect_ip(kLoopback, port, 10000);
        if (c.socket < 0) {
            c.closed = true;
            continue;
        }
        uint8_t reg[kHeader + 148] = {};
        put_header(reg, 1, 148, 0, 0);
        std::memset(reg + kHeader, 0xFF, 4);
        put16(reg + kHeader + 4, 0xFFFE);
        std::memcpy(reg + kHeader + 8, "load", 4);
        if (!send_all(sockets, c.socket, reg, sizeof reg)) c.closed = true;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    for (LoadClient& c : clients) {
        while (!c.closed && c.id == 0 && Clock::now() < deadline) {
            if (!read_available(sockets, c)) c.closed = true;
            if (c.in.size() >= kHeader && c.in[0] == 2) {
                c.id = get16(&c.in[3]);
                c.closed = c.id == 0;  // refused
            }
            if (c.id == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        c.in.clear();
    }
    std::vector<LoadClient*> live;
    for (LoadClient& c : clients) {
        if (c.id != 0) {
            live.push_back(&c);
        } else if (c.socket >= 0) {
            sockets.close(c.socket);
        }
    }
    result.clients = static_cast<int>(live.size());
    if (live.size() < 2) return result;
    const size_t n = live.size();
    std::vector<int32_t> numbers(n);
    for (size_t i = 0; i < n; ++i) {
        live[i]->to = live[(i + 1) % n]->id;
        numbers[i] = live[i]->socket;
    }
    std::vector<uint8_t> readable(n);
    std::vector<uint8_t> batch(kMessage * kWindow, 0x5A);
    result.latencies_ns.reserve(1 << 22);

    // Takes the complete messages out of client r's input; r receives from client r - 1.
    auto consume = [&](size_t r) {
        LoadClient& c = *live[r];
        LoadClient& from = *live[(r + n - 1) % n];
        size_t at = 0;
        const int64_t arrived = now_ns();
        while (c.in.size() - at >= kHeader) {
            const size_t length = get16(&c.in[at + 1]);
            if (c.in.size() - at < kHeader + length) break;
            if (c.in[at] == 3 && length == kPayload && get16(&c.in[at + 5]) == from.id) {
                Stamp s;
                std::memcpy(&s, &c.in[at + kHeader], sizeof s);
                result.latencies_ns.push_back(arrived - s.sent_ns);
                if (s.seq >= c.seen.size()) c.seen.resize(std::max<size_t>(s.seq + 1, c.seen.size() * 2), 0);
                if (c.seen[s.seq]) {
                    ++c.duplicated;
                } else {
                    c.seen[s.seq] = 1;
                    ++c.distinct;
                    if (s.seq + 1 < c.highest_plus_one) ++c.reordered;
                }
                c.highest_plus_one = std::max(c.highest_plus_one, s.seq + 1);
            }
            at += kHeader + length;
        }
        c.in.erase(c.in.begin(), c.in.begin() + static_cast<std::ptrdiff_t>(at));
    };
    auto under_way = [&](size_t i) { return live[i]->sent - live[(i + 1) % n]->distinct; };

    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    bool sending = true;
    const auto drain_deadline = end + std::chrono::seconds(10);
    for (;;) {
        const auto now = Clock::now();
        if (sending && now >= end) {
            sending = false;
            for (const LoadClient* c : live) result.delivered_in_time += c->distinct;
        }
        if (!sending) {
            bool all_in = true;
            for (size_t i = 0; i < n; ++i) all_in = all_in && (live[i]->closed || under_way(i) == 0);
            if (all_in || now >= drain_deadline) break;
        }
        for (size_t i = 0; sending && i < n; ++i) {
            LoadClient& c = *live[i];
            if (c.closed) continue;
            size_t count = 0;
            const int64_t stamp = now_ns();
            while (under_way(i) + count < kWindow) {
                uint8_t* m = &batch[count * kMessage];
                put_header(m, 3, kPayload, c.to, c.id);
                const Stamp s{static_cast<uint32_t>(i), c.sent + count, stamp};
                std::memcpy(m + kHeader, &s, sizeof s);
                ++count;
            }
            if (count == 0) continue;
            if (!send_all(sockets, c.socket, batch.data(), count * kMessage)) c.closed = true;
            c.sent += count;
        }
        if (sockets.wait_readable(numbers.data(), n, 10, readable.data()) <= 0) continue;
        for (size_t r = 0; r < n; ++r) {
            if (!readable[r] || live[r]->closed) continue;
            if (!read_available(sockets, *live[r])) live[r]->closed = true;
            consume(r);
        }
    }
    result.seconds = std::chrono::duration<double>(std::min(Clock::now(), end) - start).count();
    for (size_t i = 0; i < n; ++i) {
        const LoadClient& to = *live[(i + 1) % n];
        result.sent += live[i]->sent;
        result.delivered += to.distinct;
        result.lost += live[i]->sent - to.distinct;
        result.duplicated += to.duplicated;
        result.reordered += to.reordered;
        if (live[i]->closed) std::printf("  client %zu was disconnected\n", i);
        sockets.close(live[i]->socket);
    }
    return result;
}

// Round trips per second of one program's two players passing a 1 KiB text back and forth
// through the host; the game thread busy-polls with a yield. A round trip passes two threads
// besides the game thread: the host's worker and the joined program's worker.
double netgame_round_trips(rt::SocketTable& sockets, int32_t port, double seconds) {
    rt::NetGame game(sockets);
    if (game.join("127.0.0.1", port) != 1) return 0;
    const int32_t p1 = game.add_player("ping");
    const int32_t p2 = game.add_player("pong");
    if (p1 == 0 || p2 == 0) return 0;
    const std::string text(kPayload, 'r');
    uint64_t trips = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        const int32_t from = trips % 2 ? p2 : p1, to = trips % 2 ? p1 : p2;
        if (game.send(from, to, text.data(), text.size()) != 1) return 0;
        std::string got;
        while ((got = game.receive(to)).empty()) {
            if (!game.is_active()) return 0;
            std::this_thread::yield();
        }
        ++trips;
    }
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    game.leave();
    return static_cast<double>(trips) / took;
}

// Reads one whole message (header, then the rest of the payload) into message, waiting for the
// socket between reads as the host's worker does; false when the connection ended or stop is set.
bool read_message(rt::SocketTable& sockets, int32_t number, std::vector<uint8_t>& message,
                  const std::atomic<bool>& stop) {
    size_t have = 0;
    uint8_t readable = 0;
    while (!stop.load(std::memory_order_relaxed)) {
        const size_t want = have < kHeader ? kHeader : kHeader + get16(&message[1]);
        if (have == want) return true;
        if (sockets.wait_readable(&number, 1, 50, &readable) <= 0) continue;
        const int32_t got = sockets.receive(number, &message[have], static_cast<int32_t>(want - have));
        if (got == rt::kReceiveNothing) continue;
        if (got <= 0) return false;
        have += static_cast<size_t>(got);
    }
    return false;
}

// The same messages over plain sockets: a relay thread reads each one as the host's worker does
// and writes it back. With client_reader, a reader thread on the caller's side reads them into a
// locked queue that the caller polls, as a joined program's worker does; without, the caller
// reads its socket itself. The caller busy-polls with a yield either way. The variant with the
// reader has the net game's threads, so it separates the cost of that design from that of the code.
double relay_round_trips(rt::SocketTable& sockets, double seconds, bool client_reader) {
    const int32_t listener = sockets.listen(0);
    const int32_t port = sockets.local_port(listener);
    const int32_t client = sockets.connect_ip(kLoopback, port, 5000);
    int32_t relay = -1;
    for (int i = 0; i < 1000 && relay < 0 && client >= 0; ++i) {
        relay = sockets.accept(listener, nullptr);
        if (relay < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    sockets.close(listener);
    if (client < 0 || relay < 0) return 0;
    std::atomic<bool> stop{false}, failed{false};
    // Runs on the relay thread.
    std::thread relay_thread([&] {
        std::vector<uint8_t> message(kMessage);
        while (read_message(sockets, relay, message, stop)) {
            if (!send_all(sockets, relay, message.data(), kMessage)) break;
        }
    });
    std::mutex queue_lock;
    std::deque<std::vector<uint8_t>> queue;  // under queue_lock
    std::thread reader_thread;
    if (client_reader) {
        // Runs on the client's reader thread.
        reader_thread = std::thread([&] {
            std::vector<uint8_t> message(kMessage);
            while (read_message(sockets, client, message, stop)) {
                std::lock_guard<std::mutex> guard(queue_lock);
                queue.push_back(message);
            }
            if (!stop) failed = true;
        });
    }
    std::vector<uint8_t> out(kMessage, 'r'), in(kMessage);
    put_header(out.data(), 3, kPayload, 1, 2);
    uint64_t trips = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (!failed && Clock::now() < end) {
        if (!send_all(sockets, client, out.data(), kMessage)) break;
        bool done = false;
        size_t have = 0;
        while (!done && !failed) {
            if (client_reader) {
                std::lock_guard<std::mutex> guard(queue_lock);
                if (!queue.empty()) {
                    in = std::move(queue.front());
                    queue.pop_front();
                    done = true;
                }
            } else {
                const int32_t got = sockets.receive(client, &in[have], static_cast<int32_t>(kMessage - have));
                if (got > 0) have += static_cast<size_t>(got);
                if (got == 0 || got == rt::kReceiveError) failed = true;
                done = have == kMessage;
            }
            if (!done) std::this_thread::yield();
        }
        trips += done;
    }
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    stop = true;
    relay_thread.join();
    if (reader_thread.joinable()) reader_thread.join();
    sockets.close(client);
    sockets.close(relay);
    return failed ? 0 : static_cast<double>(trips) / took;
}

std::string first_word(const char* path) {
    std::ifstream in(path);
    std::string word;
    in >> word;
    return word;
}

}  // namespace

int main(int argc, char** argv) {
    const double load_seconds = argc > 1 ? std::max(0.5, std::atof(argv[1])) : 30.0;
    const double ping_seconds = std::min(5.0, load_seconds);
    std::printf("net_bench (%s): %u CPUs, load %s\n", RT_BUILD_TYPE, std::thread::hardware_concurrency(),
                first_word("/proc/loadavg").c_str());

    rt::SocketTable sockets;
    if (sockets.start() != 1) {
        std::printf("  the network cannot start\n");
        return 1;
    }
    const int32_t probe = sockets.listen(0);
    const int32_t port = sockets.local_port(probe);
    sockets.close(probe);
    rt::NetGame host(sockets);
    if (port <= 0 || host.host(port) != 1) {
        std::printf("  cannot host on port %d\n", port);
        return 1;
    }

    LoadResult load = run_load(sockets, port, 128, load_seconds);
    std::printf(
        "  load: %d of 128 raw clients taken by the host, each sending 1 KiB texts to the next, "
        "%d under way per client, %.1f s\n",
        load.clients, kWindow, load.seconds);
    if (load.clients >= 2 && load.seconds > 0) {
        std::sort(load.latencies_ns.begin(), load.latencies_ns.end());
        const auto pick = [&](double q) {
            if (load.latencies_ns.empty()) return 0.0;
            return static_cast<double>(load.latencies_ns[static_cast<size_t>(q * (load.latencies_ns.size() - 1))]) /
                   1e6;
        };
        const double rate = static_cast<double>(load.delivered_in_time) / load.seconds;
        std::printf("  messages routed: %.0f per second (%.1f MB/s of payload)\n", rate, rate * kPayload / 1e6);
        std::printf("  latency: median %.3f ms, p99 %.3f ms, max %.3f ms\n", pick(0.5), pick(0.99), pick(1.0));
        std::printf("  sent %llu, delivered %llu, lost %llu, duplicated %llu, reordered %llu\n",
                    static_cast<unsigned long long>(load.sent), static_cast<unsigned long long>(load.delivered),
                    static_cast<unsigned long long>(load.lost), static_cast<unsigned long long>(load.duplicated),
                    static_cast<unsigned long long>(load.reordered));
    }

    // Interleaved rounds, so that a change in the machine's load hits all three alike; medians.
    constexpr int kRounds = 5;
    const double slice = ping_seconds / kRounds;
    std::vector<double> game, relay, reader, ratio_relay, ratio_reader;
    for (int round = 0; round < kRounds; ++round) {
        game.push_back(netgame_round_trips(sockets, port, slice));
        relay.push_back(relay_round_trips(sockets, slice, false));
        reader.push_back(relay_round_trips(sockets, slice, true));
        ratio_relay.push_back(relay.back() > 0 ? game.back() / relay.back() : 0.0);
        ratio_reader.push_back(reader.back() > 0 ? game.back() / reader.back() : 0.0);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("  ping-pong of 1031-byte messages, medians of %d interleaved rounds of %.1f s:\n", kRounds, slice);
    std::printf("    through the host:                      %.0f round trips per second\n", median(game));
    std::printf("    plain socket relay:                    %.0f round trips per second\n", median(relay));
    std::printf("    relay, with a reader thread per side:  %.0f round trips per second\n", median(reader));
    std::printf("    ratio host / relay:                    %.2f (target 0.9 or more)\n", median(ratio_relay));
    std::printf("    ratio host / relay with reader:        %.2f\n", median(ratio_reader));

    host.leave();
    sockets.stop();
    const bool clean = load.lost == 0 && load.duplicated == 0 && load.reordered == 0;
    return clean ? 0 : 2;
}
