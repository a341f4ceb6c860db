// The response-header filter of the HTTP download.
#include "runtime/net/http_filter.h"

namespace rt {

size_t HttpHeaderFilter::feed(const uint8_t* data, size_t size) {
    if (done_) return 0;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        if (byte == '\r') continue;
        if (byte != '\n') {
            line_feeds_ = 0;
            continue;
        }
        if (++line_feeds_ == 2) {
            done_ = true;
            return i + 1;
        }
    }
    return size;
}

}  // namespace rt
