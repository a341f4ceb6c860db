// Fuzzes the HTTP header filter: the input after two control bytes is a response stream, fed in
// pieces whose sizes the control bytes choose; the body must not depend on the split, and must
// begin right after the first empty line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/net/http_filter.h"

namespace {

// The body of stream fed through one filter in pieces: at most max_piece bytes each (empty ones
// included), sizes drawn from seed.
std::string body_in_pieces(const std::string& stream, size_t max_piece, uint32_t seed, bool& done) {
    rt::HttpHeaderFilter filter;
    std::string body;
    uint32_t state = seed * 2654435761u + 1;
    if (state == 0) state = 1;  // xorshift stays at 0
    size_t at = 0;
    while (at < stream.size()) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const size_t size = std::min(stream.size() - at, static_cast<size_t>(state % (max_piece + 1)));
        const auto* piece = reinterpret_cast<const uint8_t*>(stream.data() + at);
        const size_t start = filter.feed(piece, size);
        if (start > size) std::abort();
        body.append(stream, at + start, size - start);
        at += size;
    }
    done = filter.done();
    return body;
}

// Where the body starts, found another way: after the first line feed that is preceded, carriage
// returns aside, by another line feed. npos when the stream has no empty line.
size_t body_start(const std::string& stream) {
    for (size_t i = 0; i < stream.size(); ++i) {
        if (stream[i] != '\n') continue;
        size_t back = i;
        while (back > 0 && stream[back - 1] == '\r') --back;
        if (back > 0 && stream[back - 1] == '\n') return i + 1;
    }
    return std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t max_piece = 1 + data[0];
    const std::string stream(reinterpret_cast<const char*>(data + 2), size - 2);

    rt::HttpHeaderFilter one_pass;
    const size_t from = one_pass.feed(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
    if (from > stream.size()) std::abort();
    const std::string whole = stream.substr(from);
    const bool whole_done = one_pass.done();
    bool pieces_done = false;
    const std::string pieced = body_in_pieces(stream, max_piece, data[1], pieces_done);
    if (pieced != whole || pieces_done != whole_done) std::abort();

    const size_t start = body_start(stream);
    if (whole_done != (start != std::string::npos)) std::abort();
    if (whole != (whole_done ? stream.substr(start) : std::string())) std::abort();
    return 0;
}
