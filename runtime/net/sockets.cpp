// The socket commands over the process's socket table.
#include "runtime/net/sockets.h"

#include <cstdio>
#include <string>

#include "runtime/net/net_service.h"

namespace {

// One receive never asks for more than this (a UDP datagram is smaller), so that a huge maximum
// does not reserve a huge text.
constexpr int32_t kReceiveChunkMax = 65536;

rt::SocketTable& table() { return rt::net_service().sockets(); }

RtString text_of(const std::string& text) { return RtString(text.data(), static_cast<uint32_t>(text.size())); }

// Runs a command's body; no exception leaves a command.
template <typename Result, typename Body>
Result guarded(Result failed, Body body) {
    try {
        return body();
    } catch (...) {
        return failed;
    }
}

int32_t count_of(int64_t sent) { return sent > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sent); }

}  // namespace

int32_t net_start() {
    return guarded(0, [] { return table().start(); });
}

int32_t net_stop() {
    return guarded(0, [] { return table().stop(); });
}

RtString net_error_text() {
    return guarded(RtString(), [] { return text_of(table().error_text()); });
}

int32_t net_resolve(const RtString& host) {
    return guarded(-1, [&] {
        uint32_t ip = 0;
        return table().resolve(host.c_str(), ip) ? static_cast<int32_t>(ip) : -1;
    });
}

RtString net_address_text(int32_t ip) {
    const uint32_t bits = static_cast<uint32_t>(ip);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bits >> 24, (bits >> 16) & 0xFF, (bits >> 8) & 0xFF, bits & 0xFF);
    return RtString(text);
}

RtString net_local_addresses() {
    return guarded(RtString(), [] { return text_of(table().local_addresses()); });
}

int32_t socket_listen(int32_t port) {
    return guarded(-1, [&] { return table().listen(port); });
}

int32_t socket_accept(int32_t number, int32_t& ip) {
    return guarded(-1, [&] {
        uint32_t peer = 0;
        const int32_t accepted = table().accept(number, &peer);
        if (accepted >= 0) ip = static_cast<int32_t>(peer);
        return accepted;
    });
}

int32_t socket_accept(int32_t number, double& ip) {
    int32_t peer = 0;
    const int32_t accepted = socket_accept(number, peer);
    if (accepted >= 0) ip = peer;
    return accepted;
}

int32_t socket_connect(const RtString& host, int32_t port, int32_t timeout_ms) {
    return guarded(-1, [&] { return table().connect(host.c_str(), port, timeout_ms); });
}

int32_t socket_open_udp(int32_t port) {
    return guarded(-1, [&] { return table().open_udp(port); });
}

int32_t socket_send(int32_t number, const RtString& data) {
    return guarded(-1, [&] { return count_of(table().send(number, data.c_str(), data.length())); });
}

int32_t socket_send_to(int32_t number, const RtString& data, int32_t ip, int32_t port) {
    return guarded(-1, [&] {
        return count_of(table().send_to(number, data.c_str(), data.length(), static_cast<uint32_t>(ip), port));
    });
}

int32_t socket_receive(int32_t number, RtString& data, int32_t max) {
    const int32_t got = guarded(-1, [&] {
        const int32_t chunk = max > kReceiveChunkMax ? kReceiveChunkMax : max;
        char* buffer = data.writable_buffer(chunk > 0 ? static_cast<uint32_t>(chunk) : 0);
        const int32_t result = table().receive(number, buffer, chunk);
        if (result >= 1) data.set_length(result);
        return result;
    });
    if (got < 1) data.clear();
    return got;
}

int32_t socket_close(int32_t number) {
    return guarded(0, [&] { return table().close(number); });
}
