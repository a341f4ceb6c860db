// The net game: hosting and joining, player registration, queries, and the worker thread that
// reads every socket, routes messages at the host and delivers them to this program's players.
#include "runtime/net/netgame.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "runtime/platform/os.h"

namespace rt {
namespace {

// Message types.
constexpr uint8_t kRegister = 1;
constexpr uint8_t kRegistered = 2;
constexpr uint8_t kText = 3;
constexpr uint8_t kRemove = 4;
constexpr uint8_t kCount = 101;
constexpr uint8_t kPlayerAt = 102;
constexpr uint8_t kName = 103;
constexpr uint8_t kHandshake = 104;

// Registration states before the host's answer; an id is 1 to kLastId.
constexpr uint16_t kStatusWaiting = 0xFFFE;  // the worker has not sent it yet
constexpr uint16_t kStatusSent = 0xFFFC;
constexpr uint16_t kStatusRefused = 0xFFFD;  // the host answered without an id
constexpr uint16_t kLastId = 0xFEFF;
constexpr uint16_t kFirstId = 101;
constexpr uint16_t kEverybody = 0xFFFF;

// A registration's payload: socket (4), status (2), hidden (1), second flag (1), name (128),
// queue links (12).
constexpr size_t kRegistrationSize = 148;
constexpr size_t kNameOffset = 8;
constexpr size_t kNameSize = 128;

constexpr size_t kClientSlots = 128;
// Players one client connection may register (a program's own players and its query player).
constexpr size_t kPlayersPerClient = 256;
constexpr int32_t kConnectTimeoutMs = 5000;
// A host that stops reading for this long has gone; the connection is then given up.
constexpr int32_t kConnectionSendTimeoutMs = 30000;
constexpr int32_t kQueryTimeoutMs = 5000;
constexpr int32_t kRegisterTimeoutMs = 10000;
constexpr int32_t kPollMs = 20;
constexpr int32_t kWorkerWaitMs = 10;
constexpr size_t kConnectionReadPerPass = 256 * 1024;
constexpr size_t kAcceptsPerPass = 16;
// What one local player's unread messages may hold; further messages are dropped.
constexpr size_t kQueueMessages = 65536;
constexpr size_t kQueueBytes = 16 * 1024 * 1024;
constexpr size_t kRepliesKept = 16;
constexpr size_t kLeftKept = 4096;

bool is_id(uint32_t value) { return value >= 1 && value <= kLastId; }

int64_t now_ms() { return platform_clock_ns() / 1000000; }

std::string cut_name(const char* name, size_t limit) {
    if (name == nullptr) return std::string();
    size_t length = 0;
    while (length < limit && name[length] != 0) ++length;
    return std::string(name, length);
}

std::string encode(uint8_t type, uint16_t to, uint16_t from, const std::string& payload = std::string()) {
    std::string out;
    net_message_encode(type, to, from, payload.data(), payload.size(), out);
    return out;
}

std::string registration_payload(const std::string& name, bool hidden) {
    std::string payload(kRegistrationSize, '\0');
    std::memset(payload.data(), 0xFF, 4);  // no socket at the sender
    payload[4] = static_cast<char>(kStatusWaiting & 0xFF);
    payload[5] = static_cast<char>(kStatusWaiting >> 8);
    payload[6] = hidden ? 1 : 0;
    std::memcpy(payload.data() + kNameOffset, name.data(), std::min(name.size(), kNameSize - 1));
    return payload;
}

}  // namespace

NetGame::NetGame(SocketTable& sockets) : sockets_(sockets), id_used_(0x10000, 0) {}

NetGame::~NetGame() {
    try {
        shutdown();
    } catch (...) {
        // The process is ending; nothing is left to report to.
    }
}

// ---- game thread ----

// Ends any game, resets, and starts the network for a new one (port < 1: the default port).
bool NetGame::begin(int32_t& port) {
    end_game();
    reset_for_start();
    if (port < 1) port = kNetGameDefaultPort;
    if (sockets_.start() != 1) return false;
    OwnedLockGuard guard(lock_);
    network_started_ = true;
    return true;
}

// Makes a connected socket the connection to the host.
void NetGame::connection_adopt(int32_t number) {
    sockets_.send_timeout_set(number, kConnectionSendTimeoutMs);
    std::lock_guard<std::mutex> guard(send_lock_);
    connection_ = number;
    connection_broken_ = false;
}

int32_t NetGame::host(int32_t port) {
    if (!begin(port)) return 0;
    uint32_t ip = 0;
    int32_t own = -1;
    listener_ = sockets_.listen(port);
    if (listener_ >= 0 && sockets_.resolve("", ip)) own = sockets_.connect_ip(ip, port, kConnectTimeoutMs);
    if (own < 0) {
        end_game();
        return 0;
    }
    connection_adopt(own);
    // The host's own connection takes the first slot now, so that closing the game to newcomers
    // right after hosting cannot refuse it.
    uint8_t ready = 0;
    int32_t slot = -1;
    const int64_t deadline = now_ms() + kConnectTimeoutMs;
    while (slot < 0 && now_ms() < deadline) {
        sockets_.wait_readable(&listener_, 1, kPollMs, &ready);
        slot = sockets_.accept(listener_, nullptr);
    }
    if (slot < 0) {
        end_game();
        return 0;
    }
    applied_stall_ms_ = stall_ms_.load();
    sockets_.send_timeout_set(slot, applied_stall_ms_);
    clients_.push_back(Client{slot, MessageReader(), false});
    hosting_ = true;
    {
        OwnedLockGuard guard(lock_);
        notifications_ = true;
    }
    if (!start_worker()) {
        end_game();
        return 0;
    }
    return 1;
}

int32_t NetGame::join(const char* host, int32_t port) {
    if (!begin(port)) return 0;
    const int32_t connection = sockets_.connect(host == nullptr ? "" : host, port, kConnectTimeoutMs);
    if (connection < 0) {
        end_game();
        return 0;
    }
    connection_adopt(connection);
    NetMessage answer;
    uint16_t value = 0;
    if (!start_worker() || !query(kHandshake, std::string(), answer) || !net_u16_read(answer.payload, value) ||
        value != 1) {
        end_game();
        return 0;
    }
    return 1;
}

int32_t NetGame::leave() {
    const int32_t result = end_game();
    return result == -1 ? sockets_.start_count() : result;
}

void NetGame::set_open(int32_t flag) {
    OwnedLockGuard guard(lock_);
    open_ = flag != 0;
}

int32_t NetGame::is_active() const {
    OwnedLockGuard guard(lock_);
    return running_ ? 1 : 0;
}

int32_t NetGame::add_player(const char* name) { return register_player(name, false); }

int32_t NetGame::remove_player(int32_t id) {
    if (!is_id(static_cast<uint32_t>(id))) return 0;
    {
        OwnedLockGuard guard(lock_);
        if (!running_) return 0;
    }
    if (!send_on_connection(encode(kRemove, 0, static_cast<uint16_t>(id)))) return 0;
    OwnedLockGuard guard(lock_);
    std::erase_if(locals_, [&](const LocalPlayer& p) {
        if (p.status != id) return false;
        queued_total_ -= p.queue.size();
        return true;
    });
    if (own_id_ == id) own_id_ = 0;
    return id;
}

int32_t NetGame::send(int32_t from, int32_t to, const char* text, size_t length) {
    if (length > kNetPayloadMax || (text == nullptr && length > 0)) return 0;
    if (to == 0 || to == -1) to = kEverybody;
    if (!is_id(static_cast<uint32_t>(from)) || !(is_id(static_cast<uint32_t>(to)) || to == kEverybody)) return 0;
    {
        OwnedLockGuard guard(lock_);
        if (!running_) return 0;
    }
    std::string bytes;
    net_message_encode(kText, static_cast<uint16_t>(to), static_cast<uint16_t>(from), text, length, bytes);
    return send_on_connection(bytes) ? 1 : 0;
}

std::string NetGame::receive(int32_t id) {
    if (!is_id(static_cast<uint32_t>(id)) || queued_total_.load() == 0) return std::string();
    OwnedLockGuard guard(lock_);
    for (LocalPlayer& player : locals_) {
        if (player.status != id || player.queue.empty()) continue;
        Received message = std::move(player.queue.front());
        player.queue.pop_front();
        --queued_total_;
        player.queued_bytes -= message.text.size();
        last_sender_ = message.from;
        return std::move(message.text);
    }
    return std::string();
}

int32_t NetGame::last_sender() const { return last_sender_; }

int32_t NetGame::player_count() {
    NetMessage answer;
    uint16_t count = 0;
    if (!query(kCount, std::string(), answer) || !net_u16_read(answer.payload, count)) return 0;
    return count;
}

int32_t NetGame::player_at(int32_t index) {
    if (index < 0 || index > 0xFFFF) return 0;
    NetMessage answer;
    uint16_t id = 0;
    if (!query(kPlayerAt, net_u16_bytes(static_cast<uint16_t>(index)), answer) || !net_u16_read(answer.payload, id)) {
        return 0;
    }
    return id;
}

std::string NetGame::player_name(int32_t id) {
    NetMessage answer;
    if (!is_id(static_cast<uint32_t>(id)) || !query(kName, net_u16_bytes(static_cast<uint16_t>(id)), answer)) {
        return "NO_DATA";
    }
    return cut_name(answer.payload.c_str(), answer.payload.size());
}

int32_t NetGame::left_player() {
    OwnedLockGuard guard(lock_);
    if (left_.empty()) return 0;
    const uint16_t id = left_.front();
    left_.pop_front();
    return id;
}

void NetGame::stall_timeout_set(int32_t milliseconds) { stall_ms_.store(std::max<int32_t>(1, milliseconds)); }

void NetGame::shutdown() {
    // Only this program's own players are given back; the host ignores requests for any other.
    std::string removals;
    {
        OwnedLockGuard guard(lock_);
        if (running_) {
            for (const LocalPlayer& player : locals_) {
                if (is_id(player.status)) removals += encode(kRemove, 0, player.status);
            }
        }
    }
    if (!removals.empty()) send_on_connection(removals);
    end_game();
    OwnedLockGuard guard(lock_);
    queues_clear_locked();
}

void NetGame::queues_clear_locked() {
    locals_.clear();
    queued_total_ = 0;
    replies_.clear();
    left_.clear();
    removals_.clear();
}

int32_t NetGame::end_game() {
    if (worker_ != 0) {
        {
            OwnedLockGuard guard(lock_);
            stop_requested_ = true;
        }
        attention_ = true;
        platform_thread_join(worker_, nullptr);
        worker_ = 0;
    }
    own_id_ = 0;
    return release_resources();
}

void NetGame::reset_for_start() {
    OwnedLockGuard guard(lock_);
    queues_clear_locked();
    running_ = false;
    stop_requested_ = false;
    open_ = true;
    notifications_ = false;
    hosting_ = false;
    connection_reader_ = MessageReader();
    players_.clear();
    std::fill(id_used_.begin(), id_used_.end(), 0);
    next_id_ = kFirstId;
}

bool NetGame::start_worker() {
    {
        OwnedLockGuard guard(lock_);
        running_ = true;
        stop_requested_ = false;
    }
    attention_ = true;
    worker_ = platform_thread_start(&NetGame::worker_entry, reinterpret_cast<intptr_t>(this), true);
    if (worker_ != -1) return true;
    worker_ = 0;
    OwnedLockGuard guard(lock_);
    running_ = false;
    return false;
}

int32_t NetGame::register_player(const char* name, bool hidden) {
    uint64_t serial = 0;
    {
        OwnedLockGuard guard(lock_);
        if (!running_) return 0;
        serial = next_serial_++;
        LocalPlayer player;
        player.serial = serial;
        player.status = kStatusWaiting;
        player.hidden = hidden;
        player.name = cut_name(name, kNameSize - 1);
        locals_.push_back(std::move(player));
    }
    attention_ = true;
    const int64_t deadline = now_ms() + kRegisterTimeoutMs;
    for (;;) {
        const uint64_t seen = wake_seen();
        {
            OwnedLockGuard guard(lock_);
            auto found = std::find_if(locals_.begin(), locals_.end(),
                                      [serial](const LocalPlayer& p) { return p.serial == serial; });
            if (found == locals_.end()) return 0;
            if (is_id(found->status)) return found->status;
            if (found->status == kStatusRefused || !running_ || now_ms() >= deadline) {
                if (found->status == kStatusSent && running_) {
                    found->abandoned = true;  // its answer still comes and must not go to a later one
                } else {
                    locals_.erase(found);
                }
                return 0;
            }
        }
        wake_wait(seen, kPollMs);
    }
}

bool NetGame::ensure_query_player() {
    if (own_id_ != 0) return true;
    const int32_t id = register_player("query", true);
    own_id_ = static_cast<uint16_t>(id);
    return id != 0;
}

bool NetGame::query(uint8_t type, const std::string& payload, NetMessage& answer) {
    if (!ensure_query_player()) return false;
    {
        OwnedLockGuard guard(lock_);
        if (!running_) return false;
        replies_.clear();
    }
    if (!send_on_connection(encode(type, 0, own_id_, payload))) return false;
    const int64_t deadline = now_ms() + kQueryTimeoutMs;
    for (;;) {
        const uint64_t seen = wake_seen();
        {
            OwnedLockGuard guard(lock_);
            // An answer of another type is a late one to an earlier query that gave up.
            while (!replies_.empty()) {
                NetMessage reply = std::move(replies_.front());
                replies_.pop_front();
                if (reply.type == type) {
                    answer = std::move(reply);
                    return true;
                }
            }
            if (!running_ || now_ms() >= deadline) return false;
        }
        wake_wait(seen, kPollMs);
    }
}

// A failed send may have left part of a message on the wire, so the connection is broken: no
// further sends, and the worker ends the game.
bool NetGame::send_on_connection(const std::string& bytes) {
    std::lock_guard<std::mutex> guard(send_lock_);
    if (connection_ < 0 || connection_broken_.load()) return false;
    if (sockets_.send(connection_, bytes.data(), bytes.size()) == static_cast<int64_t>(bytes.size())) return true;
    connection_broken_ = true;
    return false;
}

uint64_t NetGame::wake_seen() {
    std::lock_guard<std::mutex> guard(wake_lock_);
    return wake_count_;
}

void NetGame::wake_wait(uint64_t seen, int32_t milliseconds) {
    std::unique_lock<std::mutex> guard(wake_lock_);
    wake_.wait_for(guard, std::chrono::milliseconds(milliseconds), [&] { return wake_count_ != seen; });
}

void NetGame::wake_all() {
    {
        std::lock_guard<std::mutex> guard(wake_lock_);
        ++wake_count_;
    }
    wake_.notify_all();
}

// ---- worker ----

intptr_t NetGame::worker_entry(intptr_t self) {
    reinterpret_cast<NetGame*>(self)->worker_run();
    return 0;
}

// Runs on the net game's worker thread until stop is requested or the connection to the host
// is lost; in the second case it releases the game's sockets and its network start itself.
void NetGame::worker_run() {
    try {
        std::vector<uint8_t> buffer(16 * 1024);
        while (worker_pass(buffer)) {
        }
    } catch (...) {
        // Out of memory in the worker ends the game like a lost connection.
    }
    bool asked = false;
    {
        OwnedLockGuard guard(lock_);
        asked = stop_requested_;
    }
    // Asked to stop, the game thread releases after joining (and reports the network stop).
    if (!asked) release_resources();
}

// Runs on the worker thread. false ends the game.
bool NetGame::worker_pass(std::vector<uint8_t>& buffer) {
    std::string out;
    if (attention_.exchange(false)) {
        OwnedLockGuard guard(lock_);
        if (stop_requested_) return false;
        for (LocalPlayer& player : locals_) {
            if (player.status != kStatusWaiting) continue;
            player.status = kStatusSent;
            out += encode(kRegister, 0, 0, registration_payload(player.name, player.hidden));
        }
        for (uint16_t id : removals_) out += encode(kRemove, 0, id);
        removals_.clear();
    }
    if (!out.empty() && !send_on_connection(out)) return false;
    if (connection_broken_.load()) return false;

    const int32_t stall = stall_ms_.load();
    if (stall != applied_stall_ms_) {
        applied_stall_ms_ = stall;
        for (const Client& client : clients_) sockets_.send_timeout_set(client.socket, stall);
    }

    wait_numbers_.clear();
    wait_numbers_.push_back(connection_);
    if (hosting_) {
        wait_numbers_.push_back(listener_);
        for (const Client& client : clients_) wait_numbers_.push_back(client.socket);
    }
    wait_readable_.assign(wait_numbers_.size(), 0);
    if (sockets_.wait_readable(wait_numbers_.data(), wait_numbers_.size(), kWorkerWaitMs, wait_readable_.data()) < 0) {
        std::fill(wait_readable_.begin(), wait_readable_.end(), 1);  // read everything; reads never wait
    }

    if (wait_readable_[0] && !read_connection(buffer)) return false;
    if (!hosting_) return true;

    if (wait_readable_[1]) accept_pending();
    // Slots accepted just now were not waited on; their data is read next pass.
    const size_t waited = wait_numbers_.size() - 2;
    const int64_t now = now_ms();
    for (size_t i = 0; i < waited && i < clients_.size(); ++i) {
        if (wait_readable_[i + 2] && !clients_[i].failed) read_client(clients_[i], buffer, now);
    }
    for (Client& client : clients_) {
        if (client.reader.pending_ms(now) > stall) client.failed = true;
    }
    drop_failed_clients();
    return true;
}

// Runs on the worker thread: reads what the host sent and delivers it. false when the connection
// is lost or sent something that is not a message.
bool NetGame::read_connection(std::vector<uint8_t>& buffer) {
    bool alive = true;
    size_t total = 0;
    while (total < kConnectionReadPerPass) {
        const int32_t count = sockets_.receive(connection_, buffer.data(), static_cast<int32_t>(buffer.size()));
        if (count == kReceiveNothing) break;
        if (count <= 0) {
            alive = false;
            break;
        }
        connection_reader_.feed(buffer.data(), static_cast<size_t>(count), now_ms());
        total += static_cast<size_t>(count);
        if (static_cast<size_t>(count) < buffer.size()) break;  // drained: spare the empty read
    }
    if (connection_reader_.ready() > 0) {
        bool answers = false;
        {
            OwnedLockGuard guard(lock_);
            NetMessage message;
            while (connection_reader_.next(message)) answers = deliver_locked(message) || answers;
        }
        if (answers) wake_all();
    }
    return alive && !connection_reader_.bad();
}

// Runs on the worker thread with lock_ held: one message from the host to this program. true
// when it is one the game thread may be waiting for (a registration's id, a query's answer).
bool NetGame::deliver_locked(NetMessage& message) {
    if (message.type == kText) {
        if (!is_id(message.to)) return false;
        for (LocalPlayer& player : locals_) {
            if (player.status != message.to) continue;
            if (player.queue.size() >= kQueueMessages || player.queued_bytes + message.payload.size() > kQueueBytes) {
                return false;
            }
            player.queued_bytes += message.payload.size();
            player.queue.push_back(Received{message.from, std::move(message.payload)});
            ++queued_total_;
            return false;
        }
        return false;
    }
    if (message.from != 0) return false;
    if (message.type == kRegistered) {
        auto waiting =
            std::find_if(locals_.begin(), locals_.end(), [](const LocalPlayer& p) { return p.status == kStatusSent; });
        if (waiting == locals_.end()) return false;
        if (waiting->abandoned) {
            if (is_id(message.to)) {
                removals_.push_back(message.to);
                attention_ = true;
            }
            locals_.erase(waiting);
        } else {
            waiting->status = is_id(message.to) ? message.to : kStatusRefused;
        }
        return true;
    }
    if (message.type >= kCount && message.type <= kHandshake) {
        if (replies_.size() >= kRepliesKept) replies_.pop_front();
        replies_.push_back(std::move(message));
        return true;
    }
    return false;
}

// Runs on the worker thread. Refused connections (game closed, or every slot taken) are closed
// at once instead of waiting in the backlog.
void NetGame::accept_pending() {
    for (size_t i = 0; i < kAcceptsPerPass; ++i) {
        const int32_t socket = sockets_.accept(listener_, nullptr);
        if (socket < 0) return;
        bool open = false;
        {
            OwnedLockGuard guard(lock_);
            open = open_;
        }
        if (!open || clients_.size() >= kClientSlots) {
            sockets_.close(socket);
            continue;
        }
        sockets_.send_timeout_set(socket, applied_stall_ms_);
        clients_.push_back(Client{socket, MessageReader(), false});
    }
}

// Runs on the worker thread: one read from a client slot, and the messages it completed.
void NetGame::read_client(Client& client, std::vector<uint8_t>& buffer, int64_t now) {
    const int32_t socket = client.socket;
    const int32_t count = sockets_.receive(socket, buffer.data(), static_cast<int32_t>(buffer.size()));
    if (count == kReceiveNothing) return;
    if (count <= 0) {
        client.failed = true;
        return;
    }
    client.reader.feed(buffer.data(), static_cast<size_t>(count), now);
    NetMessage message;
    // Handling may disconnect slots (marks only), never moves them.
    while (!client.failed && client.reader.next(message)) host_handle(socket, message);
    if (client.reader.bad()) client.failed = true;
}

// Runs on the worker thread: a message a client sent to the host.
void NetGame::host_handle(int32_t socket, NetMessage& message) {
    if (message.type == kRegister) {
        if (message.to != 0 || message.payload.size() != kRegistrationSize) return;
        bool open = false;
        {
            OwnedLockGuard guard(lock_);
            open = open_;
        }
        // One connection cannot take the id space (and the host's time) from everybody else.
        const auto own =
            std::count_if(players_.begin(), players_.end(), [&](const HostPlayer& p) { return p.socket == socket; });
        const uint16_t id = open && own < static_cast<std::ptrdiff_t>(kPlayersPerClient) ? allocate_id() : 0;
        if (id != 0) {
            HostPlayer player;
            player.id = id;
            player.socket = socket;
            player.hidden = message.payload[6] != 0;
            player.name = cut_name(message.payload.data() + kNameOffset, kNameSize - 1);
            players_.push_back(std::move(player));
        }
        send_to_client(socket, encode(kRegistered, id, 0));  // id 0: refused
        return;
    }
    // Everything else must come from a player registered through this same connection.
    auto sender = std::find_if(players_.begin(), players_.end(),
                               [&](const HostPlayer& p) { return p.id == message.from && p.socket == socket; });
    if (sender == players_.end()) return;
    if (message.type == kText) {
        host_route(*sender, message);
    } else if (message.to != 0) {
        return;
    } else if (message.type == kRemove) {
        remove_host_players(-1, message.from);
    } else if (message.type >= kCount && message.type <= kHandshake) {
        host_answer(socket, message);
    }
}

// Runs on the worker thread: a text message to one player, or to every visible player but its
// sender, each copy addressed to its receiver.
void NetGame::host_route(const HostPlayer& sender, NetMessage& message) {
    const uint16_t from = sender.id;
    if (message.to == kEverybody) {
        std::string bytes;
        for (const HostPlayer& player : players_) {
            if (player.hidden || player.id == from) continue;
            bytes.clear();
            net_message_encode(kText, player.id, from, message.payload.data(), message.payload.size(), bytes);
            send_to_client(player.socket, bytes);
        }
        return;
    }
    for (const HostPlayer& player : players_) {
        if (player.id != message.to) continue;
        std::string bytes;
        net_message_encode(message, bytes);
        send_to_client(player.socket, bytes);
        return;
    }
}

// Runs on the worker thread: the answer to a query, to the asking player.
void NetGame::host_answer(int32_t socket, const NetMessage& request) {
    std::string payload;
    uint16_t value = 0;
    switch (request.type) {
        case kCount:
            payload = net_u16_bytes(static_cast<uint16_t>(
                std::count_if(players_.begin(), players_.end(), [](const HostPlayer& p) { return !p.hidden; })));
            break;
        case kPlayerAt: {
            uint16_t id = 0;
            if (net_u16_read(request.payload, value)) {
                for (const HostPlayer& player : players_) {
                    if (player.hidden) continue;
                    if (value == 0) {
                        id = player.id;
                        break;
                    }
                    --value;
                }
            }
            payload = net_u16_bytes(id);
            break;
        }
        case kName: {
            payload = "NO_DATA";
            if (net_u16_read(request.payload, value)) {
                for (const HostPlayer& player : players_) {
                    if (player.id == value) {
                        payload = player.name;
                        break;
                    }
                }
            }
            break;
        }
        default:
            payload = net_u16_bytes(1);
            break;
    }
    send_to_client(socket, encode(request.type, request.from, 0, payload));
}

// Runs on the worker thread. A send that fails (the client went, or stopped reading for longer
// than the stall limit) disconnects that client at the end of the pass.
void NetGame::send_to_client(int32_t socket, const std::string& bytes) {
    for (Client& client : clients_) {
        if (client.socket != socket) continue;
        if (client.failed) return;
        if (sockets_.send(socket, bytes.data(), bytes.size()) != static_cast<int64_t>(bytes.size())) {
            client.failed = true;
        }
        return;
    }
}

// Runs on the worker thread. Ids count up from 101 and wrap, skipping those in use; 0 when all
// are taken.
uint16_t NetGame::allocate_id() {
    for (uint32_t tries = 0; tries <= kLastId - kFirstId; ++tries) {
        const uint16_t id = next_id_;
        next_id_ = next_id_ >= kLastId ? kFirstId : static_cast<uint16_t>(next_id_ + 1);
        if (!id_used_[id]) {
            id_used_[id] = 1;
            return id;
        }
    }
    return 0;
}

// Runs on the worker thread: removes the players of one socket (socket >= 0) or the player with
// one id, with leave notifications when they are on.
void NetGame::remove_host_players(int32_t socket, int32_t id) {
    std::vector<uint16_t> gone;
    std::erase_if(players_, [&](const HostPlayer& p) {
        if (socket >= 0 ? p.socket != socket : p.id != id) return false;
        gone.push_back(p.id);
        return true;
    });
    if (gone.empty()) return;
    for (uint16_t left : gone) id_used_[left] = 0;
    OwnedLockGuard guard(lock_);
    if (!notifications_) return;
    for (uint16_t left : gone) {
        if (left_.size() >= kLeftKept) left_.pop_front();
        left_.push_back(left);
    }
}

// Runs on the worker thread: the last slot moves into each freed one.
void NetGame::drop_failed_clients() {
    for (size_t i = 0; i < clients_.size();) {
        if (!clients_[i].failed) {
            ++i;
            continue;
        }
        const int32_t socket = clients_[i].socket;
        remove_host_players(socket, 0);
        sockets_.close(socket);
        if (i + 1 != clients_.size()) clients_[i] = std::move(clients_.back());
        clients_.pop_back();
    }
}

// Runs on the worker thread when it ends, or on the game thread when no worker runs: closes
// every socket of the game, gives back its network start and resets the game. The result of
// the network stop, or -1 when the game held no start.
int32_t NetGame::release_resources() {
    for (const Client& client : clients_) sockets_.close(client.socket);
    clients_.clear();
    players_.clear();
    std::fill(id_used_.begin(), id_used_.end(), 0);
    next_id_ = kFirstId;
    if (listener_ >= 0) sockets_.close(listener_);
    listener_ = -1;
    {
        std::lock_guard<std::mutex> guard(send_lock_);
        if (connection_ >= 0) sockets_.close(connection_);
        connection_ = -1;
    }
    bool started = false;
    {
        OwnedLockGuard guard(lock_);
        started = network_started_;
        network_started_ = false;
        running_ = false;
        open_ = true;
    }
    const int32_t result = started ? sockets_.stop() : -1;
    wake_all();
    return result;
}

}  // namespace rt
