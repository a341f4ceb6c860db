// The process-wide random generator (ISAAC, 256-word state) and its commands.
#pragma once

#include <cstdint>

struct IsaacState {
    uint32_t results[256];
    uint32_t memory[256];
    uint32_t a, b, c;
    uint32_t count;  // results of the current batch not yet handed out
};

// Re-initialises the generator from one 32-bit seed.
void random_seed(int32_t seed);
// Runs one full batch and returns its first result word.
uint32_t random_draw();
// 0 when n <= 0 (and nothing is drawn); otherwise random_draw() modulo (n + 1): 0 to n inclusive.
int32_t random_int(int32_t n);

namespace rt {
// Clears the state, runs scramble_rounds mixes of the eight accumulators, two passes over
// seed_words and then memory, and one batch.
void isaac_init(IsaacState& state, const uint32_t (&seed_words)[256], int32_t scramble_rounds);
// The runtime's seeding: the seed in every eighth word of a zero seed array, no scrambling.
void isaac_seed(IsaacState& state, int32_t seed);
// One batch: 256 memory words stepped, 256 results produced.
void isaac_batch(IsaacState& state);
}  // namespace rt
