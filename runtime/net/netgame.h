// The multi-player net game: one host, programs that join it, players with ids, text messages
// routed by the host, and a worker thread per program that does all socket reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/net/socket_table.h"

namespace rt {

inline constexpr int32_t kNetGameDefaultPort = 27910;

// One program's side of a net game. The commands use the service's one instance; tests and
// benchmarks may make several in one process (a host and the programs joining it), all on the
// same socket table. Every method is called from one game thread; the worker is internal.
class NetGame {
public:
    explicit NetGame(SocketTable& sockets);
    ~NetGame();  // ends a running game
    NetGame(const NetGame&) = delete;
    NetGame& operator=(const NetGame&) = delete;

    int32_t host(int32_t port);                    // 1 when hosting
    int32_t join(const char* host, int32_t port);  // 1 when joined
    int32_t leave();                               // the result of the network stop
    void set_open(int32_t flag);
    int32_t is_active() const;
    int32_t add_player(const char* name);  // the new id, or 0
    int32_t remove_player(int32_t id);     // the id when the request went out, else 0
    // to 0 means everybody; 1 when sent.
    int32_t send(int32_t from, int32_t to, const char* text, size_t length);
    // The oldest message of a local player ("" when none); last_sender() gives its sender.
    std::string receive(int32_t id);
    int32_t last_sender() const;
    int32_t player_count();
    int32_t player_at(int32_t index);
    std::string player_name(int32_t id);  // "NO_DATA" when unknown
    int32_t left_player();                // 0 when nobody left

    // How long a client's half-received message, or a send to a client that stopped reading,
    // may stall before the host disconnects it (10000 ms unless a test shortens it).
    void stall_timeout_set(int32_t milliseconds);

    // What shut-down does: the local players leave, the worker stops, both sockets close.
    void shutdown();

private:
    SocketTable& sockets_;
};

}  // namespace rt
