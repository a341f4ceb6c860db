// IPv4 TCP and UDP sockets over the operating system: creation with their options, non-blocking
// connect with a bounded wait, readiness polls, sends, receives, closing, name resolution and the
// machine's own addresses. Handles are plain descriptors; failures hand back the system's error number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rt {

// Every function that can fail stores the system's error number in *error (never 0 on failure)
// and leaves it alone on success. IP numbers have the first octet in the most significant byte.

// A listening TCP socket on the wildcard address (port 0: the system picks one), address reuse on,
// backlog 10, non-blocking so that accepting never waits. The handle, or -1.
int platform_tcp_listen(int32_t port, int32_t* error);
// One pending connection of a listening socket as a blocking socket without send delay, with the
// peer's IP number. -1 with *error set; -1 with *error 0 when nothing is pending.
int platform_tcp_accept(int listener, uint32_t* peer_ip, int32_t* error);
// A blocking TCP socket connected within timeout_ms (which the caller bounds), without send delay.
// On a time-out the error is the system's "timed out" number. -1 on failure.
int platform_tcp_connect(uint32_t ip, int32_t port, int32_t timeout_ms, int32_t* error);
// A UDP socket with address reuse and broadcast on, bound to the port on the wildcard address
// (port 0: the system picks one, so that it can receive at once). -1 on failure.
int platform_udp_open(int32_t port, int32_t* error);

// One send call: the count the system took (at least 1 for size >= 1), or -1. Never raises a
// broken-pipe signal; an interrupted call is repeated.
int64_t platform_socket_send(int handle, const void* data, size_t size, int32_t* error);
int64_t platform_socket_send_to(int handle, const void* data, size_t size, uint32_t ip, int32_t port, int32_t* error);
// One receive call that never waits: a byte count, 0 when the peer closed the connection, -1 on
// an error (a "nothing there" error included: see platform_net_would_block).
int64_t platform_socket_receive(int handle, void* buffer, size_t max, int32_t* error);

// Waits up to timeout_ms (0: no wait) until handles can be read or are closing or failed;
// handles below 0 are skipped. readable[i] is 1 or 0; the count of readable handles, or -1.
int32_t platform_socket_poll_readable(const int* handles, size_t count, int32_t timeout_ms, uint8_t* readable,
                                      int32_t* error);

// Sends that block longer than milliseconds fail with a would-block error; 0 waits for ever.
bool platform_socket_send_timeout(int handle, int32_t milliseconds);
// The bound local port, or -1.
int32_t platform_socket_local_port(int handle);
// Wakes every call waiting on the socket and ends both directions; the handle stays valid.
void platform_socket_shutdown(int handle);
// Linger off, both directions shut, handle closed. 0, or the error number of the close.
int32_t platform_socket_close(int handle);

// The first IPv4 address of a host name or dotted text; false with *error set when there is none.
bool platform_net_resolve(const char* host, uint32_t* ip, int32_t* error);
// The IPv4 addresses of the machine's interfaces that are up, in the system's order.
std::vector<uint32_t> platform_net_interface_addresses();
// The system's text for an error number.
std::string platform_net_error_text(int32_t code);

// The meaning of error numbers the socket layer acts on.
bool platform_net_would_block(int32_t code);
bool platform_net_connection_reset(int32_t code);
// The system's "out of memory", "invalid argument" and "bad descriptor" numbers.
int32_t platform_net_no_memory();
int32_t platform_net_invalid_argument();
int32_t platform_net_bad_handle();

}  // namespace rt
