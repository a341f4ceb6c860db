// HTTP/1.0 download of one document into a file or a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "runtime/values/rt_string.h"

// Fetches http://host:port/path (port 0 means 80; path begins with "/") into the file
// file_name, created anew. 1 when the server closed the connection after the body, else 0; a
// partly written file stays. Blocks the calling thread; timeout_ms bounds the connect only
// (0 or less, or above 30000, means 30000).
int32_t http_download_file(const RtString& host, const RtString& path, int32_t port, const RtString& file_name,
                           int32_t timeout_ms);

// The same download into a text of at most max_length characters: each received body piece is
// kept only when it fits in the room left, and the text ends at the first zero byte. On failure
// what had been gathered.
RtString http_download_text(const RtString& host, const RtString& path, int32_t port, int32_t max_length,
                            int32_t timeout_ms);

namespace rt {

class SocketTable;

// How long the download waits for the next data before it gives up.
inline constexpr int32_t kHttpIdleLimitMs = 30000;

// Where a download's body goes: a file, a text, or both.
struct HttpTargets {
    const char* file_name = nullptr;  // written when set
    bool want_text = false;
    int32_t max_length = 0;  // the text's limit in bytes; below 0 counts as 0
    std::string text;        // out: the gathered text, up to its first zero byte
    // Told the size of every chunk received, header included, on the downloading thread (lets
    // tests pace a server by what the client has read).
    std::function<void(size_t)> on_chunk;
};

// The download behind both commands; true when the server closed the connection after the body
// arrived. Prints its failures as lines on standard output.
bool http_download(SocketTable& sockets, const char* host, const char* path, int32_t port, int32_t timeout_ms,
                   HttpTargets& targets, int32_t idle_limit_ms = kHttpIdleLimitMs);

}  // namespace rt
