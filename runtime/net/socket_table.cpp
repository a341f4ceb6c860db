// The numbered socket table over the platform's sockets: numbers, the start count, the last error,
// and the rule that no call which can wait runs under the table's lock.
#include "runtime/net/socket_table.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <new>
#include <utility>
#include <vector>

#include "runtime/platform/net.h"

namespace rt {

namespace {

constexpr int32_t kConnectTimeoutMaxMs = 30000;
// The text of every own address joined by "|" stays below this many characters.
constexpr size_t kLocalAddressesMax = 2047;

std::string dotted(uint32_t ip) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF);
    return text;
}

}  // namespace

struct SocketTable::Handle {
    Handle(int handle, bool is_datagram) : fd(handle), datagram(is_datagram) {}
    ~Handle() {
        if (fd.load() >= 0) platform_socket_close(fd.load());
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    // -1 once closed by release(), which may run on another thread than the calls that used it.
    std::atomic<int> fd;
    const bool datagram;
    std::atomic<bool> send_timeout{false};  // sends may fail with would-block after a time-out
};

SocketTable::SocketTable() = default;

SocketTable::~SocketTable() {
    for (Entry& entry : entries_) release(std::move(entry.handle));
}

int32_t SocketTable::start() {
    std::lock_guard<std::mutex> guard(lock_);
    if (start_count_ > 0) {
        ++start_count_;
    } else {
        start_count_ = 1;
        last_error_ = 0;
    }
    return 1;
}

int32_t SocketTable::stop() {
    std::vector<HandleRef> open;
    {
        std::lock_guard<std::mutex> guard(lock_);
        --start_count_;
        if (start_count_ >= 1) return start_count_;
        start_count_ = 0;
        // Numbers reserved by opens under way stay theirs: those sockets open after this stop.
        for (Entry& entry : entries_) {
            if (entry.handle) open.push_back(std::move(entry.handle));
        }
    }
    int32_t error = 0;
    for (HandleRef& handle : open) {
        const int32_t code = release(std::move(handle));
        if (error == 0) error = code;
    }
    std::lock_guard<std::mutex> guard(lock_);
    last_error_ = error;
    return error;
}

int32_t SocketTable::start_count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return start_count_;
}

int32_t SocketTable::last_error() const {
    std::lock_guard<std::mutex> guard(lock_);
    return last_error_;
}

void SocketTable::last_error_set(int32_t code) {
    std::lock_guard<std::mutex> guard(lock_);
    last_error_ = code;
}

std::string SocketTable::error_text() const {
    const int32_t code = last_error();
    if (code == 0) return std::string();
    // The full-table code is not an error number of this system (8 is an exec error here).
    const std::string text = platform_net_error_text(code == kSocketTableFull ? platform_net_no_memory() : code);
    if (text.empty()) return std::string();
    return std::to_string(code) + " " + text;
}

bool SocketTable::resolve(const char* host, uint32_t& ip) {
    uint32_t found = 0;
    int32_t error = 0;
    if (host == nullptr || host[0] == '\0') {
        // This machine: its first own address, else the loopback address.
        const std::string own = local_addresses();
        const std::string first = own.substr(0, own.find('|'));
        if (first.empty() || !platform_net_resolve(first.c_str(), &found, &error)) {
            if (!platform_net_resolve("127.0.0.1", &found, &error)) {
                last_error_set(error);
                return false;
            }
        }
    } else if (!platform_net_resolve(host, &found, &error)) {
        last_error_set(error);
        return false;
    }
    if (found == 0) return false;
    ip = found;
    return true;
}

std::string SocketTable::local_addresses() {
    std::string text;
    for (const uint32_t ip : platform_net_interface_addresses()) {
        if ((ip >> 24) == 127) continue;
        const std::string one = dotted(ip);
        if (text.size() + one.size() + 1 > kLocalAddressesMax) break;
        text += one;
        text += '|';
    }
    if (!text.empty()) text.pop_back();
    return text;
}

SocketTable::HandleRef SocketTable::handle_locked(int32_t number) {
    if (number < 0 || number >= kSocketCount || !entries_[number].handle) {
        last_error_ = platform_net_bad_handle();
        return nullptr;
    }
    return entries_[number].handle;
}

int32_t SocketTable::take_free_locked() {
    for (int32_t number = 0; number < kSocketCount; ++number) {
        Entry& entry = entries_[number];
        if (!entry.handle && !entry.reserved) {
            entry.reserved = true;
            return number;
        }
    }
    last_error_ = kSocketTableFull;
    return -1;
}

int32_t SocketTable::fill_reserved(int32_t number, int handle, bool datagram, int32_t error) {
    HandleRef made;
    if (handle >= 0) {
        try {
            made = std::make_shared<Handle>(handle, datagram);
        } catch (const std::bad_alloc&) {
            platform_socket_close(handle);
            error = platform_net_no_memory();
        }
    }
    std::lock_guard<std::mutex> guard(lock_);
    entries_[number].reserved = false;
    if (!made) {
        last_error_ = error;
        return -1;
    }
    entries_[number].handle = std::move(made);
    return number;
}

int32_t SocketTable::release(HandleRef handle) {
    if (!handle) return 0;
    if (handle.use_count() == 1) {
        // Nobody else can reach it any more: the table let go of it and no call holds it.
        const int32_t error = platform_socket_close(handle->fd.load());
        handle->fd.store(-1);
        return error;
    }
    platform_socket_shutdown(handle->fd.load());
    return 0;
}

int32_t SocketTable::open_reserved(bool datagram, const std::function<int(int32_t*)>& open) {
    int32_t number;
    {
        std::lock_guard<std::mutex> guard(lock_);
        number = take_free_locked();
    }
    if (number < 0) return -1;
    int32_t error = 0;
    const int handle = open(&error);
    return fill_reserved(number, handle, datagram, error);
}

int32_t SocketTable::listen(int32_t port) {
    return open_reserved(false, [&](int32_t* error) { return platform_tcp_listen(port, error); });
}

int32_t SocketTable::accept(int32_t number, uint32_t* peer_ip) {
    HandleRef listener;
    {
        std::lock_guard<std::mutex> guard(lock_);
        listener = handle_locked(number);
        if (!listener) return -1;
        if (listener->datagram) {
            last_error_ = 0;
            return -1;
        }
    }
    uint32_t ip = 0;
    int32_t error = 0;
    const int handle = platform_tcp_accept(listener->fd.load(), &ip, &error);
    if (handle < 0) {
        if (error != 0) last_error_set(error);  // nothing pending leaves the code alone
        return -1;
    }
    HandleRef made;
    try {
        made = std::make_shared<Handle>(handle, false);
    } catch (const std::bad_alloc&) {
        platform_socket_close(handle);
        last_error_set(platform_net_no_memory());
        return -1;
    }
    int32_t taken;
    {
        std::lock_guard<std::mutex> guard(lock_);
        taken = take_free_locked();
        if (taken >= 0) {
            entries_[taken].reserved = false;
            entries_[taken].handle = std::move(made);
        }
    }
    if (taken < 0) return -1;  // made closes the connection on leaving
    if (peer_ip != nullptr) *peer_ip = ip;
    return taken;
}

int32_t SocketTable::connect(const char* host, int32_t port, int32_t timeout_ms) {
    uint32_t ip = 0;
    if (!resolve(host, ip)) return -1;
    return connect_ip(ip, port, timeout_ms);
}

int32_t SocketTable::connect_ip(uint32_t ip, int32_t port, int32_t timeout_ms) {
    if (ip == 0 && port == 0) return -1;
    if (timeout_ms <= 0 || timeout_ms > kConnectTimeoutMaxMs) timeout_ms = kConnectTimeoutMaxMs;
    return open_reserved(false, [&](int32_t* error) { return platform_tcp_connect(ip, port, timeout_ms, error); });
}

int32_t SocketTable::open_udp(int32_t port) {
    return open_reserved(true, [&](int32_t* error) { return platform_udp_open(port, error); });
}

int64_t SocketTable::send(int32_t number, const void* data, size_t size) {
    HandleRef handle;
    {
        std::lock_guard<std::mutex> guard(lock_);
        handle = handle_locked(number);
        if (!handle) return -1;
    }
    if (handle->datagram) return -1;  // a UDP socket needs a destination
    return send_on(*handle, data, size, 0, 0);
}

int64_t SocketTable::send_to(int32_t number, const void* data, size_t size, uint32_t ip, int32_t port) {
    HandleRef handle;
    {
        std::lock_guard<std::mutex> guard(lock_);
        handle = handle_locked(number);
        if (!handle) return -1;
    }
    if (handle->datagram && ip == 0 && port == 0) return -1;
    return send_on(*handle, data, size, ip, port);
}

int64_t SocketTable::send_on(Handle& handle, const void* data, size_t size, uint32_t ip, int32_t port) {
    if (size == 0) return 0;
    const char* bytes = static_cast<const char*>(data);
    size_t total = 0;
    while (total < size) {
        int32_t error = 0;
        const int64_t sent =
            handle.datagram ? platform_socket_send_to(handle.fd.load(), bytes + total, size - total, ip, port, &error)
                            : platform_socket_send(handle.fd.load(), bytes + total, size - total, &error);
        if (sent < 0) {
            // Blocking sockets report would-block only when a send time-out ran out.
            if (platform_net_would_block(error) && !handle.send_timeout.load()) continue;
            last_error_set(error);
            return -1;
        }
        total += static_cast<size_t>(sent);
    }
    return static_cast<int64_t>(total);
}

int32_t SocketTable::receive(int32_t number, void* buffer, int32_t max) {
    HandleRef handle;
    {
        std::lock_guard<std::mutex> guard(lock_);
        handle = handle_locked(number);
        if (!handle) return kReceiveError;
        if (max < 1) {
            // A zero-byte read would look like the peer closing.
            last_error_ = platform_net_invalid_argument();
            return kReceiveError;
        }
    }
    int32_t error = 0;
    const int64_t got = platform_socket_receive(handle->fd.load(), buffer, static_cast<size_t>(max), &error);
    if (got >= 0) return static_cast<int32_t>(got);
    if (platform_net_connection_reset(error)) return kReceiveClosed;
    if (platform_net_would_block(error)) return kReceiveNothing;
    last_error_set(error);
    return kReceiveError;
}

int32_t SocketTable::close(int32_t number) {
    HandleRef handle;
    {
        std::lock_guard<std::mutex> guard(lock_);
        handle = handle_locked(number);
        if (!handle) return 0;
        entries_[number].handle.reset();
    }
    const int32_t error = release(std::move(handle));
    last_error_set(error);
    return error == 0 ? 1 : 0;
}

int32_t SocketTable::wait_readable(const int32_t* numbers, size_t count, int32_t timeout_ms, uint8_t* readable) {
    std::vector<HandleRef> handles(count);
    std::vector<int> fds(count, -1);
    bool any_closed = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (size_t i = 0; i < count; ++i) {
            const int32_t number = numbers[i];
            if (number >= 0 && number < kSocketCount && entries_[number].handle) {
                handles[i] = entries_[number].handle;
                fds[i] = handles[i]->fd.load();
            } else {
                any_closed = true;
            }
        }
    }
    int32_t error = 0;
    const int32_t polled =
        platform_socket_poll_readable(fds.data(), count, any_closed ? 0 : timeout_ms, readable, &error);
    if (polled < 0) {
        last_error_set(error);
        return -1;
    }
    int32_t ready = polled;
    for (size_t i = 0; i < count; ++i) {
        if (fds[i] < 0) {
            readable[i] = 1;
            ++ready;
        }
    }
    return ready;
}

bool SocketTable::send_timeout_set(int32_t number, int32_t milliseconds) {
    HandleRef handle;
    {
        std::lock_guard<std::mutex> guard(lock_);
        handle = handle_locked(number);
        if (!handle || handle->datagram) return false;
    }
    if (!platform_socket_send_timeout(handle->fd.load(), milliseconds)) return false;
    handle->send_timeout.store(milliseconds > 0);
    return true;
}

int32_t SocketTable::local_port(int32_t number) {
    HandleRef handle;
    {
        std::lock_guard<std::mutex> guard(lock_);
        handle = handle_locked(number);
        if (!handle) return -1;
    }
    return platform_socket_local_port(handle->fd.load());
}

}  // namespace rt
