// The multi-player net game: one host, programs that join it, players with ids, text messages
// routed by the host, and a worker thread per program that does all socket reading.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/net/message_stream.h"
#include "runtime/net/socket_table.h"
#include "runtime/platform/threads.h"

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
    struct Received {
        uint16_t from = 0;
        std::string text;
    };
    // A player this program registered; status is the id once the host answered.
    struct LocalPlayer {
        uint64_t serial = 0;
        uint16_t status = 0;
        bool hidden = false;
        bool abandoned = false;  // its caller gave up; a late id is handed back to the host
        std::string name;
        std::deque<Received> queue;
        size_t queued_bytes = 0;
    };
    // A player known to the host, reached through the client socket it registered on.
    struct HostPlayer {
        uint16_t id = 0;
        int32_t socket = -1;
        bool hidden = false;
        std::string name;
    };
    struct Client {
        int32_t socket = -1;
        MessageReader reader;
        bool failed = false;  // disconnected at the end of the pass
    };

    // Game thread.
    bool begin(int32_t& port);
    void connection_adopt(int32_t number);
    int32_t end_game();  // the network stop's result, or -1 when this game held no start
    void reset_for_start();
    void queues_clear_locked();  // the local players, replies, left ids and removals
    bool start_worker();
    int32_t register_player(const char* name, bool hidden);
    bool ensure_query_player();
    bool query(uint8_t type, const std::string& payload, NetMessage& answer);
    bool send_on_connection(const std::string& bytes);
    uint64_t wake_seen();
    void wake_wait(uint64_t seen, int32_t milliseconds);
    void wake_all();

    // Worker thread (and the game thread while no worker runs).
    static intptr_t worker_entry(intptr_t self);
    void worker_run();
    bool worker_pass(std::vector<uint8_t>& buffer);
    bool read_connection(std::vector<uint8_t>& buffer);
    bool deliver_locked(NetMessage& message);
    void accept_pending();
    void read_client(Client& client, std::vector<uint8_t>& buffer, int64_t now_ms);
    void host_handle(int32_t socket, NetMessage& message);
    void host_route(const HostPlayer& sender, NetMessage& message);
    void host_answer(int32_t socket, const NetMessage& request);
    void send_to_client(int32_t socket, const std::string& bytes);
    uint16_t allocate_id();
    void remove_host_players(int32_t socket, int32_t id);
    void drop_failed_clients();
    int32_t release_resources();

    SocketTable& sockets_;

    // Shared with the worker, under lock_.
    mutable OwnedLock lock_;
    bool running_ = false;
    bool stop_requested_ = false;
    bool open_ = true;
    bool notifications_ = false;
    bool network_started_ = false;
    uint64_t next_serial_ = 1;
    std::vector<LocalPlayer> locals_;
    std::deque<NetMessage> replies_;
    std::deque<uint16_t> left_;
    std::vector<uint16_t> removals_;  // ids the worker gives back to the host

    // The connection to the host; its number changes only under send_lock_, so that a send never
    // reaches a number that was closed and handed to someone else.
    std::mutex send_lock_;
    int32_t connection_ = -1;
    std::atomic<bool> connection_broken_{false};  // written under send_lock_

    // Wakes the game thread when answers arrive (no net-game lock is held while waiting).
    std::mutex wake_lock_;
    std::condition_variable wake_;
    uint64_t wake_count_ = 0;

    std::atomic<int32_t> stall_ms_{10000};
    // Set after the game thread queued work for the worker (registrations, stop), so that an idle
    // pass takes no lock.
    std::atomic<bool> attention_{false};
    // Messages in all local queues, changed under lock_; lets an empty poll skip the lock.
    std::atomic<uint64_t> queued_total_{0};

    // The worker's own while it runs; the game thread touches them only when no worker runs.
    bool hosting_ = false;
    int32_t listener_ = -1;
    MessageReader connection_reader_;
    std::vector<Client> clients_;
    std::vector<HostPlayer> players_;
    std::vector<uint8_t> id_used_;
    uint16_t next_id_ = 101;
    int32_t applied_stall_ms_ = 0;
    std::vector<int32_t> wait_numbers_;
    std::vector<uint8_t> wait_readable_;

    // The game thread's own.
    intptr_t worker_ = 0;
    uint16_t own_id_ = 0;
    int32_t last_sender_ = 0;
};

}  // namespace rt
