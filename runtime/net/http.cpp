// The HTTP download over the numbered sockets: one GET request, the response read until the
// server closes, its header dropped and its body delivered to a file and/or a text.
#include "runtime/net/http.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

#include "runtime/net/http_filter.h"
#include "runtime/net/net_service.h"
#include "runtime/net/socket_table.h"
#include "runtime/platform/fs.h"

namespace rt {
namespace {

constexpr int32_t kChunkBytes = 1023;  // per receive, into a buffer one byte larger

void print_line(const char* text) {
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Undoes the network start and closes the connection on every way out.
class Connection {
public:
    explicit Connection(SocketTable& sockets) : sockets_(sockets) {}
    ~Connection() {
        if (number_ >= 0) sockets_.close(number_);
        if (started_) sockets_.stop();
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool start() { return started_ = sockets_.start() == 1; }
    int32_t& number() { return number_; }

private:
    SocketTable& sockets_;
    bool started_ = false;
    int32_t number_ = -1;
};

// The text target: a piece is kept only when it is shorter than the room left in a buffer of
// max_length + 1 bytes (one of them the terminator). Only what really arrives is stored, and
// nothing after the first zero byte, which ends the text.
class TextTarget {
public:
    TextTarget(std::string& out, int32_t max_length) : out_(out), room_(int64_t{std::max(max_length, 0)} + 1) {}

    void deliver(const uint8_t* data, size_t size) {
        if (static_cast<int64_t>(size) >= room_) return;
        room_ -= static_cast<int64_t>(size);
        if (ended_) return;
        const void* zero = std::memchr(data, 0, size);
        const size_t keep = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
        out_.append(reinterpret_cast<const char*>(data), keep);
        ended_ = zero != nullptr;
    }

private:
    std::string& out_;
    int64_t room_;
    bool ended_ = false;
};

}  // namespace

bool http_download(SocketTable& sockets, const char* host, const char* path, int32_t port, int32_t timeout_ms,
                   HttpTargets& targets, int32_t idle_limit_ms) {
    if (port == 0) port = 80;
    targets.text.clear();

    PlatformFile file;
    if (targets.file_name) {
        // A memory file name stands for a block of this process, which cannot be written.
        const char* name = targets.file_name;
        if (std::strncmp(name, "mem://", 6) != 0) {
            platform_file_delete(name);
            file = platform_file_open(name, FileOpenMode::kReadWriteEmpty);
        }
        if (!file) {
            print_line("can't open local file for writing");
            return false;
        }
    }

    Connection connection(sockets);
    if (!connection.start()) {
        print_line("no init");
        return false;
    }
    uint32_t ip = 0;
    if (!sockets.resolve(host, ip)) {
        print_line("no netAddress");
        return false;
    }
    // A port the address record cannot hold never connects.
    if (port > 0 && port <= 65535) connection.number() = sockets.connect_ip(ip, port, timeout_ms);
    if (connection.number() < 0) {
        print_line("no connect");
        return false;
    }
    std::string request = "GET ";
    request.append(path).append(" HTTP/1.0\r\nHost:").append(host);
    request.append("\r\nAccept: */*\r\nUser-Agent: Vornic\r\n\r\n");
    if (sockets.send(connection.number(), request.data(), request.size()) < 1) {
        print_line("no send");
        return false;
    }
    print_line("reading");

    std::optional<TextTarget> text;
    if (targets.want_text) text.emplace(targets.text, targets.max_length);
    HttpHeaderFilter header;
    uint8_t buffer[kChunkBytes + 1];
    using Clock = std::chrono::steady_clock;
    Clock::time_point last_data = Clock::now();
    for (;;) {
        const int32_t got = sockets.receive(connection.number(), buffer, kChunkBytes);
        if (got == kReceiveClosed) return true;
        if (got == kReceiveNothing) {
            const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last_data).count();
            if (idle >= idle_limit_ms) return false;
            uint8_t readable = 0;
            const int32_t wait = static_cast<int32_t>(idle_limit_ms - idle);
            if (sockets.wait_readable(&connection.number(), 1, wait, &readable) < 0) return false;
            continue;
        }
        if (got < 0 || got > kChunkBytes) return false;
        last_data = Clock::now();
        if (targets.on_chunk) targets.on_chunk(static_cast<size_t>(got));
        const size_t start = header.feed(buffer, static_cast<size_t>(got));
        const size_t size = static_cast<size_t>(got) - start;
        if (size == 0) continue;
        // A body that cannot be stored whole is a failed download, not a complete one.
        if (file && !platform_file_write(file, buffer + start, size)) return false;
        if (text) text->deliver(buffer + start, size);
    }
}

}  // namespace rt

int32_t http_download_file(const RtString& host, const RtString& path, int32_t port, const RtString& file_name,
                           int32_t timeout_ms) {
    try {
        rt::HttpTargets targets;
        targets.file_name = file_name.c_str();
        return rt::http_download(rt::net_service().sockets(), host.c_str(), path.c_str(), port, timeout_ms, targets)
                   ? 1
                   : 0;
    } catch (...) {
        return 0;
    }
}

RtString http_download_text(const RtString& host, const RtString& path, int32_t port, int32_t max_length,
                            int32_t timeout_ms) {
    rt::HttpTargets targets;
    targets.want_text = true;
    targets.max_length = max_length;
    try {
        rt::http_download(rt::net_service().sockets(), host.c_str(), path.c_str(), port, timeout_ms, targets);
    } catch (...) {
        // What had been gathered stays the result.
    }
    return RtString(targets.text.data(), static_cast<uint32_t>(targets.text.size()));
}
