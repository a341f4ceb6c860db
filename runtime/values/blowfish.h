// The 64-bit block cipher behind string_encrypt and string_decrypt: key schedule and one-block
// encryption and decryption on two 32-bit halves.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rt {

constexpr int kBlowfishRounds = 16;

extern const uint32_t kBlowfishInitialP[kBlowfishRounds + 2];
extern const uint32_t kBlowfishInitialS[4][256];

// Keyed state: 18 + 4 * 256 words (about 4 KiB).
struct BlowfishKey {
    uint32_t p[kBlowfishRounds + 2];
    uint32_t s[4][256];
};

// The standard key schedule over count key bytes, taken cyclically four at a time with the first
// byte most significant. count 0 leaves the P-array at its initial value before the schedule's
// encryption pass.
void blowfish_init(BlowfishKey& key, const uint8_t* bytes, size_t count);
void blowfish_encrypt_block(const BlowfishKey& key, uint32_t& left, uint32_t& right);
void blowfish_decrypt_block(const BlowfishKey& key, uint32_t& left, uint32_t& right);

}  // namespace rt
