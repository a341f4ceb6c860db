// The process-wide table of numbered sockets (0 to 1023) behind the socket commands, the HTTP
// download and the net game. Safe to use from several threads: the table and the last error are
// reached under the table's own lock, and no system call that can wait runs while it is held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace rt {

inline constexpr int32_t kSocketCount = 1024;
// The error code of a full table (the system's "not enough storage" number).
inline constexpr int32_t kSocketTableFull = 8;

// receive() results besides a byte count.
inline constexpr int32_t kReceiveClosed = 0;
inline constexpr int32_t kReceiveError = -1;
inline constexpr int32_t kReceiveNothing = -2;

// IP numbers are IPv4 addresses with the first octet in the most significant byte.
//
// Threads: a socket number belongs to the code that opened it. Closing a number while another
// thread is inside a call on it is safe for the table and the descriptor: the call in progress
// finishes or fails on the old socket, whose descriptor is released only when that call returns,
// so it never reaches a reused one. But the number itself is free at once and the next open may
// hand it out again, so a thread that goes on using a number another thread closed may reach a new
// socket. Code that shares a number among threads closes it only after the others' last use.
//
// The start count needs no set-up here: sockets open at any count, and the stop that brings the
// count to 0 (or a stop without a start) closes every socket in the table.
class SocketTable {
public:
    SocketTable();
    ~SocketTable();  // closes every socket still open
    SocketTable(const SocketTable&) = delete;
    SocketTable& operator=(const SocketTable&) = delete;

    // Start counting: 1 when the network is available. stop() returns the count still left, or,
    // when it reaches 0 and every socket is closed, the last error code.
    int32_t start();
    int32_t stop();
    int32_t start_count() const;

    int32_t last_error() const;
    void last_error_set(int32_t code);
    // "%d %s" with the last error and the system's text for it; "" for code 0.
    std::string error_text() const;

    // The first address of a host name or dotted text; false when it cannot be resolved (or is
    // 0.0.0.0). An empty name means this machine (its first own address, else 127.0.0.1).
    bool resolve(const char* host, uint32_t& ip);
    // The machine's own IPv4 addresses but loopback, joined by "|".
    std::string local_addresses();

    // Socket numbers, or -1 with the last error set.
    int32_t listen(int32_t port);
    int32_t accept(int32_t number, uint32_t* peer_ip);  // -1 also when nothing is pending
    int32_t connect(const char* host, int32_t port, int32_t timeout_ms);
    int32_t connect_ip(uint32_t ip, int32_t port, int32_t timeout_ms);
    int32_t open_udp(int32_t port);

    // All size bytes or -1; 0 for size 0. send() on a UDP socket is -1.
    int64_t send(int32_t number, const void* data, size_t size);
    int64_t send_to(int32_t number, const void* data, size_t size, uint32_t ip, int32_t port);
    // Never waits: a byte count, kReceiveClosed, kReceiveError or kReceiveNothing.
    int32_t receive(int32_t number, void* buffer, int32_t max);
    // 1 when closed, 0 when the system refused (or the number is not open).
    int32_t close(int32_t number);

    // Waits up to timeout_ms until one of the sockets can be read (data, a pending connection,
    // or the peer closing). readable[i] is set to 1 or 0 for numbers[i]; the count of readable
    // sockets, or -1. Numbers that are not open count as readable, so a caller finds out at once.
    int32_t wait_readable(const int32_t* numbers, size_t count, int32_t timeout_ms, uint8_t* readable);
    // A TCP socket whose sends block longer than this fail with an error (a peer that stopped
    // reading). false when the number is not an open TCP socket.
    bool send_timeout_set(int32_t number, int32_t milliseconds);
    // The local port a socket is bound to (listen(0) and open_udp(0) let the system choose it);
    // -1 when the number is not open.
    int32_t local_port(int32_t number);

private:
    // An open descriptor, shared by its entry and the calls in progress on it; the last owner
    // closes it.
    struct Handle;
    using HandleRef = std::shared_ptr<Handle>;
    struct Entry {
        HandleRef handle;       // null: free, unless reserved
        bool reserved = false;  // held for a socket that is being opened outside the lock
    };
    // The open entry's handle, or null with the error set (bad number, free or reserved entry).
    HandleRef handle_locked(int32_t number);
    int32_t take_free_locked();  // reserves the lowest free number, or -1 (error code set)
    // Opens a socket into a reserved number, or frees the number again and stores the error.
    int32_t fill_reserved(int32_t number, int handle, bool datagram, int32_t error);
    // Reserves a number, opens the socket outside the lock (open returns a handle or -1 with the
    // error) and fills the entry, or frees the number again; the number or -1.
    int32_t open_reserved(bool datagram, const std::function<int(int32_t*)>& open);
    // Closes what the table no longer holds: at once when no call uses it, else when the last
    // call returns (the socket is shut down now, so that waiting calls end). 0 or the close error.
    static int32_t release(HandleRef handle);
    // The send loop of a handle the caller holds (the destination is used by UDP sockets only).
    int64_t send_on(Handle& handle, const void* data, size_t size, uint32_t ip, int32_t port);

    mutable std::mutex lock_;
    Entry entries_[kSocketCount];
    int32_t start_count_ = 0;
    int32_t last_error_ = 0;
};

}  // namespace rt
