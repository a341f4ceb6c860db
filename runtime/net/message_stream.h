// The net game's wire messages: the 7-byte little-endian header (type, payload length, to, from)
// followed by up to 1024 payload bytes; encoding one message into one buffer, and a reader that
// reassembles messages from byte pieces of any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace rt {

inline constexpr size_t kNetHeaderSize = 7;
inline constexpr size_t kNetPayloadMax = 1024;

struct NetMessage {
    uint8_t type = 0;
    uint16_t to = 0;
    uint16_t from = 0;
    std::string payload;  // at most kNetPayloadMax bytes
};

// Appends header and payload to out as one piece for one send; false (out unchanged) when the
// payload is longer than kNetPayloadMax.
bool net_message_encode(uint8_t type, uint16_t to, uint16_t from, const void* payload, size_t length, std::string& out);
inline bool net_message_encode(const NetMessage& message, std::string& out) {
    return net_message_encode(message.type, message.to, message.from, message.payload.data(), message.payload.size(),
                              out);
}

// 16-bit little-endian helpers for payloads.
std::string net_u16_bytes(uint16_t value);
// The first two payload bytes as a number; false when the payload is shorter.
bool net_u16_read(const std::string& payload, uint16_t& value);

// Reassembles messages from a byte stream fed in pieces. A header that announces more than
// kNetPayloadMax payload bytes makes the stream bad: nothing after it is read, and the messages
// completed before it stay available.
class MessageReader {
public:
    // now_ms: any monotonic milliseconds; it dates the start of an incomplete message.
    void feed(const void* data, size_t size, int64_t now_ms);
    // Takes the oldest complete message; false when there is none.
    bool next(NetMessage& out);
    size_t ready() const { return ready_.size(); }
    bool bad() const { return bad_; }
    // Milliseconds the current incomplete message has been waiting for its rest; 0 when none.
    int64_t pending_ms(int64_t now_ms) const;
    // Bytes of complete messages so far (the point where a bad stream stopped being read).
    uint64_t consumed() const { return consumed_; }

private:
    std::deque<NetMessage> ready_;
    uint8_t header_[kNetHeaderSize] = {};
    size_t header_have_ = 0;
    size_t payload_need_ = 0;  // valid once the header is complete
    NetMessage current_;
    int64_t started_ms_ = 0;
    uint64_t consumed_ = 0;
    bool bad_ = false;
};

}  // namespace rt
