// The process-wide ISAAC generator: seeding, batches and the random commands. The state lives
// in the value service.
#include "runtime/values/random.h"

#include <initializer_list>

#include "runtime/values/value_service.h"

namespace rt {

namespace {

constexpr uint32_t kGoldenRatio = 0x9e3779b9u;

// The reference mix of the eight seeding accumulators.
void isaac_mix(uint32_t (&v)[8]) {
    // clang-format off
    v[0] ^= v[1] << 11; v[3] += v[0]; v[1] += v[2];
    v[1] ^= v[2] >> 2;  v[4] += v[1]; v[2] += v[3];
    v[2] ^= v[3] << 8;  v[5] += v[2]; v[3] += v[4];
    v[3] ^= v[4] >> 16; v[6] += v[3]; v[4] += v[5];
    v[4] ^= v[5] << 10; v[7] += v[4]; v[5] += v[6];
    v[5] ^= v[6] >> 4;  v[0] += v[5]; v[6] += v[7];
    v[6] ^= v[7] << 8;  v[1] += v[6]; v[7] += v[0];
    v[7] ^= v[0] >> 9;  v[2] += v[7]; v[0] += v[1];
    // clang-format on
}

}  // namespace

void isaac_batch(IsaacState& state) {
    uint32_t* const m = state.memory;
    state.c += 1;
    uint32_t a = state.a;
    uint32_t b = state.b + state.c;
    auto step = [&](uint32_t i, uint32_t mixed) {
        const uint32_t x = m[i];
        a = (a ^ mixed) + m[(i + 128) & 255];
        const uint32_t y = m[(x >> 2) & 255] + a + b;
        m[i] = y;
        b = m[(y >> 10) & 255] + x;
        state.results[i] = b;
    };
    for (uint32_t i = 0; i < 256; i += 4) {
        step(i, a << 13);
        step(i + 1, a >> 6);
        step(i + 2, a << 2);
        step(i + 3, a >> 16);
    }
    state.a = a;
    state.b = b;
    state.count = 256;
}

void isaac_init(IsaacState& state, const uint32_t (&seed_words)[256], int32_t scramble_rounds) {
    state = IsaacState{};
    uint32_t v[8];
    for (uint32_t& word : v) word = kGoldenRatio;
    for (int32_t round = 0; round < scramble_rounds; ++round) isaac_mix(v);
    for (const uint32_t* source : {seed_words, static_cast<const uint32_t*>(state.memory)}) {
        for (int i = 0; i < 256; i += 8) {
            for (int w = 0; w < 8; ++w) v[w] += source[i + w];
            isaac_mix(v);
            for (int w = 0; w < 8; ++w) state.memory[i + w] = v[w];
        }
    }
    isaac_batch(state);
}

void isaac_seed(IsaacState& state, int32_t seed) {
    uint32_t words[256] = {};
    for (int i = 0; i < 256; i += 8) words[i] = static_cast<uint32_t>(seed);
    isaac_init(state, words, 0);
}

}  // namespace rt

void random_seed(int32_t seed) { rt::isaac_seed(rt::value_service().random, seed); }

uint32_t random_draw() {
    IsaacState& state = rt::value_service().random;
    rt::isaac_batch(state);
    state.count = 255;
    return state.results[0];
}

int32_t random_int(int32_t n) {
    if (n <= 0) return 0;
    // In 32-bit unsigned, so that n + 1 cannot overflow for n = INT32_MAX.
    return static_cast<int32_t>(random_draw() % (static_cast<uint32_t>(n) + 1u));
}
