// The response-header filter of the HTTP download: finds where the body starts in a stream of
// received chunks, without looking at the status or the header fields.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rt {

// The header ends at the first empty line: two line feeds with nothing between them but
// carriage returns. Works across any split of the stream into chunks.
class HttpHeaderFilter {
public:
    // The offset in this chunk where body bytes begin: size when the whole chunk is still header,
    // 0 once the header has ended in an earlier chunk.
    size_t feed(const uint8_t* data, size_t size);
    bool done() const { return done_; }

private:
    int32_t line_feeds_ = 0;  // line feeds in a row, carriage returns not counted
    bool done_ = false;
};

}  // namespace rt
