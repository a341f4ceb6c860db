// The net game's wire format: encoding messages and reassembling them from a byte stream.
#include "runtime/net/message_stream.h"

#include <algorithm>

namespace rt {
namespace {

void put_u16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

uint16_t get_u16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

}  // namespace

bool net_message_encode(uint8_t type, uint16_t to, uint16_t from, const void* payload, size_t length,
                        std::string& out) {
    if (length > kNetPayloadMax) return false;
    out.reserve(out.size() + kNetHeaderSize + length);
    out.push_back(static_cast<char>(type));
    put_u16(out, static_cast<uint16_t>(length));
    put_u16(out, to);
    put_u16(out, from);
    if (length > 0) out.append(static_cast<const char*>(payload), length);
    return true;
}

std::string net_u16_bytes(uint16_t value) {
    std::string out;
    put_u16(out, value);
    return out;
}

bool net_u16_read(const std::string& payload, uint16_t& value) {
    if (payload.size() < 2) return false;
    value = get_u16(reinterpret_cast<const uint8_t*>(payload.data()));
    return true;
}

void MessageReader::feed(const void* data, size_t size, int64_t now_ms) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    while (size > 0 && !bad_) {
        if (header_have_ == 0) started_ms_ = now_ms;
        if (header_have_ < kNetHeaderSize) {
            const size_t take = std::min(size, kNetHeaderSize - header_have_);
            std::copy(bytes, bytes + take, header_ + header_have_);
            header_have_ += take;
            bytes += take;
            size -= take;
            if (header_have_ < kNetHeaderSize) break;
            payload_need_ = get_u16(header_ + 1);
            if (payload_need_ > kNetPayloadMax) {
                bad_ = true;
                break;
            }
            current_.type = header_[0];
            current_.to = get_u16(header_ + 3);
            current_.from = get_u16(header_ + 5);
            current_.payload.clear();
            current_.payload.reserve(payload_need_);
        }
        const size_t take = std::min(size, payload_need_ - current_.payload.size());
        current_.payload.append(reinterpret_cast<const char*>(bytes), take);
        bytes += take;
        size -= take;
        if (current_.payload.size() == payload_need_) {
            consumed_ += kNetHeaderSize + payload_need_;
            ready_.push_back(std::move(current_));
            current_ = NetMessage();
            header_have_ = 0;
        }
    }
}

bool MessageReader::next(NetMessage& out) {
    if (ready_.empty()) return false;
    out = std::move(ready_.front());
    ready_.pop_front();
    return true;
}

int64_t MessageReader::pending_ms(int64_t now_ms) const {
    if (header_have_ == 0) return 0;
    return std::max<int64_t>(0, now_ms - started_ms_);
}

}  // namespace rt
