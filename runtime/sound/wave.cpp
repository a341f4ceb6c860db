// The RIFF WAVE chunk reader over bytes in memory; every length read from the file is checked
// against the bytes that remain before it is used.
#include "runtime/sound/wave.h"

#include <cstring>

namespace rt {
namespace {

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// A cursor over the file's bytes.
struct Reader {
    const uint8_t* bytes;
    size_t size;
    size_t at = 0;

    size_t remaining() const { return size - at; }

    // The next chunk header; false when fewer than 8 bytes remain or the length is beyond the end
    // of the file.
    bool chunk(char id[4], uint32_t& length) {
        if (remaining() < 8) return false;
        std::memcpy(id, bytes + at, 4);
        length = le32(bytes + at + 4);
        at += 8;
        return length != 0xFFFFFFFFu && length <= remaining();
    }
};

}  // namespace

bool wave_read(const uint8_t* bytes, size_t size, WaveSound& out) {
    out = WaveSound{};
    if (!bytes || size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0) {
        return false;
    }
    Reader r{bytes, size, 12};
    char id[4];
    uint32_t length = 0;
    for (;;) {
        if (!r.chunk(id, length)) return false;
        if (std::memcmp(id, "fmt ", 4) == 0) break;
        r.at += length;
    }
    if (length < 16) return false;
    const uint8_t* fmt = r.bytes + r.at;
    const uint16_t format_tag = le16(fmt);
    const uint16_t file_channels = le16(fmt + 2);
    const uint32_t rate = le32(fmt + 4);
    const uint16_t block_align = le16(fmt + 12);
    const uint16_t bits = le16(fmt + 14);
    r.at += length;
    for (;;) {
        if (!r.chunk(id, length)) return false;
        if (std::memcmp(id, "data", 4) == 0) break;
        r.at += length;
    }
    if (length > kWaveDataLimit) return false;

    const int32_t channels = file_channels > 1 ? 2 : 1;
    if ((bits != 8 && bits != 16) || rate < 100 || rate > 200000) return false;
    if (block_align != channels * (bits / 8)) return false;
    const size_t data_size = length / block_align * block_align;
    if (data_size == 0) return false;

    out.format_tag = format_tag;
    out.channels = channels;
    out.rate = static_cast<int32_t>(rate);
    out.block_align = block_align;
    out.bits = bits;
    out.data = r.bytes + r.at;
    out.size = data_size;
    return true;
}

}  // namespace rt
