// Fuzzes the net game's message reader: the stream fed in pieces must give exactly what one
// piece gives. The first byte says how many piece sizes follow (low 4 bits); the rest is the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/net/message_stream.h"

namespace {

struct Outcome {
    std::vector<rt::NetMessage> messages;
    bool bad = false;
    uint64_t consumed = 0;
    int64_t pending = 0;
};

void drain(rt::MessageReader& reader, Outcome& outcome) {
    rt::NetMessage message;
    while (reader.next(message)) outcome.messages.push_back(message);
}

void finish(rt::MessageReader& reader, Outcome& outcome) {
    drain(reader, outcome);
    outcome.bad = reader.bad();
    outcome.consumed = reader.consumed();
    outcome.pending = reader.pending_ms(1);
}

bool same(const rt::NetMessage& a, const rt::NetMessage& b) {
    return a.type == b.type && a.to == b.to && a.from == b.from && a.payload == b.payload;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece_count = data[0] & 0x0F;
    if (size < 1 + piece_count) return 0;
    std::vector<size_t> pieces(data + 1, data + 1 + piece_count);
    bool any = false;
    for (size_t p : pieces) any = any || p > 0;
    if (!any) pieces.assign(1, 1);
    const uint8_t* stream = data + 1 + piece_count;
    const size_t length = size - 1 - piece_count;

    Outcome whole;
    rt::MessageReader reference;
    reference.feed(stream, length, 0);
    finish(reference, whole);

    Outcome split;
    rt::MessageReader reader;
    size_t at = 0;
    for (size_t i = 0; at < length; ++i) {
        const size_t piece = std::min(pieces[i % pieces.size()], length - at);
        reader.feed(stream + at, piece, 0);  // size 0 pieces included
        at += piece;
        if (i % 2 == 0) drain(reader, split);
    }
    finish(reader, split);

    if (whole.bad != split.bad || whole.consumed != split.consumed || whole.pending != split.pending ||
        whole.messages.size() != split.messages.size()) {
        std::abort();
    }
    // The messages are the stream's own bytes up to the point reading stopped.
    std::string encoded;
    for (size_t i = 0; i < whole.messages.size(); ++i) {
        if (!same(whole.messages[i], split.messages[i])) std::abort();
        if (whole.messages[i].payload.size() > rt::kNetPayloadMax) std::abort();
        if (!rt::net_message_encode(whole.messages[i], encoded)) std::abort();
    }
    if (encoded.size() != whole.consumed ||
        encoded.compare(0, encoded.size(), reinterpret_cast<const char*>(stream), encoded.size()) != 0) {
        std::abort();
    }
    return 0;
}
