// Socket commands: numbered TCP and UDP sockets, name resolution and the last network error.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// IP numbers carry the first octet in the most significant byte: 127.0.0.1 is 2130706433.
// Socket numbers are 0 to 1023; a number outside that range or not open is refused (-1, or 0 from
// socket_close) with the error "bad descriptor". net_error_text explains the last error.

// 1 (the network needs no set-up here). Every start is undone by one net_stop.
int32_t net_start();
// The count of starts still left; the stop that reaches 0 closes every socket and returns the
// last error code (0 when all closed cleanly).
int32_t net_stop();
// "%d %s": the last error code and the system's text for it; empty for code 0.
RtString net_error_text();
// The first address of a host name or dotted text, or -1. An empty name means this machine.
int32_t net_resolve(const RtString& host);
RtString net_address_text(int32_t ip);
// This machine's IPv4 addresses but loopback, joined by "|"; empty when it has none.
RtString net_local_addresses();

// A listening TCP socket on every address (port 0: the system picks one); its number or -1.
int32_t socket_listen(int32_t port);
// A pending connection's socket number, with the peer's IP number; -1 when none is pending (or on
// an error, or on a UDP socket, which sets the error code to 0). Never waits.
int32_t socket_accept(int32_t number, int32_t& ip);
int32_t socket_accept(int32_t number, double& ip);
// A connected TCP socket's number, or -1 once connecting failed or timeout_ms passed (0 or less,
// or above 30000, means 30000).
int32_t socket_connect(const RtString& host, int32_t port, int32_t timeout_ms);
// A UDP socket with broadcast on, bound to the port (0: the system picks one); its number or -1.
int32_t socket_open_udp(int32_t port);
// The whole text's bytes (0 bytes included), or -1; 0 for an empty text. A UDP socket needs
// socket_send_to, with a destination other than IP 0 and port 0; a TCP socket ignores it.
int32_t socket_send(int32_t number, const RtString& data);
int32_t socket_send_to(int32_t number, const RtString& data, int32_t ip, int32_t port);
// Never waits. Up to max bytes into data: the count (>= 1), 0 when the peer closed the
// connection, -1 on an error, -2 when nothing has arrived yet; data is empty unless the count >= 1.
int32_t socket_receive(int32_t number, RtString& data, int32_t max);
// 1 when closed, 0 when the system refused or the number is not open.
int32_t socket_close(int32_t number);
