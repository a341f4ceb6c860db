// The block cipher's key schedule and rounds, and the text commands built on it: string_encrypt
// (zero-filled 8-byte blocks in electronic-codebook mode, lower-case hex out) and string_decrypt.
#include "runtime/values/blowfish.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "runtime/core/errors.h"
#include "runtime/values/rt_string.h"

namespace rt {

namespace {

uint32_t round_function(const BlowfishKey& key, uint32_t x) {
    return ((key.s[0][x >> 24] + key.s[1][(x >> 16) & 0xff]) ^ key.s[2][(x >> 8) & 0xff]) +
           key.s[3][x & 0xff];
}

// Blocks travel through memory as two little-endian 32-bit words: left from bytes 0..3.
uint32_t load_le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void store_le32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
};
using ByteBuffer = std::unique_ptr<uint8_t[], FreeDeleter>;

// A zero-filled buffer of size bytes; failure ends the program with "out of memory".
ByteBuffer zeroed_buffer(uint64_t size) {
    auto* p = static_cast<uint8_t*>(size <= SIZE_MAX ? std::calloc(static_cast<size_t>(size), 1) : nullptr);
    if (!p) fatal(kErrOutOfMemory);
    return ByteBuffer(p);
}

// Hex digit value after lower-casing; anything else counts as the digit 0, so a damaged text
// still decrypts to a defined result of the same block count.
uint8_t hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return 0;
}

}  // namespace

void blowfish_encrypt_block(const BlowfishKey& key, uint32_t& left, uint32_t& right) {
    uint32_t l = left;
    uint32_t r = right;
    for (int i = 0; i < kBlowfishRounds; ++i) {
        l ^= key.p[i];
        r ^= round_function(key, l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= key.p[kBlowfishRounds];
    l ^= key.p[kBlowfishRounds + 1];
    left = l;
    right = r;
}

void blowfish_decrypt_block(const BlowfishKey& key, uint32_t& left, uint32_t& right) {
    uint32_t l = left;
    uint32_t r = right;
    for (int i = kBlowfishRounds + 1; i > 1; --i) {
        l ^= key.p[i];
        r ^= round_function(key, l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= key.p[1];
    l ^= key.p[0];
    left = l;
    right = r;
}

void blowfish_init(BlowfishKey& key, const uint8_t* bytes, size_t count) {
    std::memcpy(key.p, kBlowfishInitialP, sizeof key.p);
    std::memcpy(key.s, kBlowfishInitialS, sizeof key.s);
    // Without key bytes there is nothing to mix in (and no length to wrap around).
    if (count != 0) {
        size_t j = 0;
        for (uint32_t& word : key.p) {
            uint32_t data = 0;
            for (int k = 0; k < 4; ++k) {
                data = data << 8 | bytes[j];
                j = j + 1 == count ? 0 : j + 1;
            }
            word ^= data;
        }
    }
    uint32_t l = 0;
    uint32_t r = 0;
    for (int i = 0; i < kBlowfishRounds + 2; i += 2) {
        blowfish_encrypt_block(key, l, r);
        key.p[i] = l;
        key.p[i + 1] = r;
    }
    for (auto& box : key.s) {
        for (int i = 0; i < 256; i += 2) {
            blowfish_encrypt_block(key, l, r);
            box[i] = l;
            box[i + 1] = r;
        }
    }
}

namespace {

void init_from_text(BlowfishKey& schedule, const RtString& key) {
    blowfish_init(schedule, reinterpret_cast<const uint8_t*>(key.c_str()), key.length());
}

}  // namespace

// Runs the block function over count bytes (a multiple of 8), each block read and written back
// as two little-endian words.
template <typename BlockFunction>
void cipher_blocks(const BlowfishKey& schedule, uint8_t* bytes, uint64_t count, BlockFunction block_function) {
    for (uint64_t at = 0; at < count; at += 8) {
        uint8_t* block = bytes + at;
        uint32_t l = load_le32(block);
        uint32_t r = load_le32(block + 4);
        block_function(schedule, l, r);
        store_le32(block, l);
        store_le32(block + 4, r);
    }
}

}  // namespace rt

RtString string_encrypt(const RtString& key, const RtString& data) {
    const uint64_t count = data.length();
    if (count == 0) return RtString();
    const uint64_t padded = (count + 7) & ~uint64_t{7};
    rt::ByteBuffer bytes = rt::zeroed_buffer(padded);
    std::memcpy(bytes.get(), data.c_str(), count);

    rt::BlowfishKey schedule;  // about 4 KiB on the stack: no allocation that could throw
    rt::init_from_text(schedule, key);
    rt::cipher_blocks(schedule, bytes.get(), padded, rt::blowfish_encrypt_block);
    return string_hex_bytes(bytes.get(), static_cast<size_t>(padded), false);
}

RtString string_decrypt(const RtString& key, const RtString& hex) {
    // An odd digit count leaves the last byte's low digit missing: it counts as 0, like any
    // non-hex digit; a byte count short of a whole block is filled with 0 bytes.
    const uint64_t digits = hex.length();
    const uint64_t count = (digits + 1) / 2;
    if (count == 0) return RtString();
    const uint64_t padded = (count + 7) & ~uint64_t{7};
    rt::ByteBuffer bytes = rt::zeroed_buffer(padded + 1);  // + the terminator
    const char* text = hex.c_str();
    for (uint64_t i = 0; i < digits; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        const uint8_t v = rt::hex_digit_value(c);
        bytes[i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? v << 4 : v);
    }

    rt::BlowfishKey schedule;  // about 4 KiB on the stack: no allocation that could throw
    rt::init_from_text(schedule, key);
    rt::cipher_blocks(schedule, bytes.get(), padded, rt::blowfish_decrypt_block);
    // The text ends at the first 0 byte, which drops the fill of the last block.
    return RtString(reinterpret_cast<const char*>(bytes.get()));
}
