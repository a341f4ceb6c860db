// The ISAAC generator against the published reference output, the random commands, and the
// math commands' edge values.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>

#include "runtime/values/value_service.h"
#include "runtime/values/math_helpers.h"
#include "runtime/values/random.h"

namespace {

// The reference program seeds with an all-zero seed array and four scramble rounds, then prints
// the results of the batch after the one the seeding runs; these are its first two lines.
TEST(Random, BatchMatchesReferenceOutput) {
    const uint32_t zero_seed[256] = {};
    IsaacState state;
    rt::isaac_init(state, zero_seed, 4);
    rt::isaac_batch(state);
    const uint32_t expected[16] = {0xf650e4c8, 0xe448e96d, 0x98db2fb4, 0xf5fad54f, 0x433f1afb, 0xedec154a,
                                   0xd8370487, 0x46ca4f9a, 0x5de3743e, 0x88381097, 0xf1d444eb, 0x823cedb6,
                                   0x6a83e1e0, 0x4a5f6355, 0xc7442433, 0x25890e2e};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(state.results[i], expected[i]) << "word " << i;
}

TEST(Random, SeedingIsRepeatableAndDrawsAreFullBatches) {
    random_seed(1234);
    const uint32_t first = random_draw();
    const uint32_t second = random_draw();
    random_seed(1234);
    EXPECT_EQ(random_draw(), first);
    EXPECT_EQ(random_draw(), second);
    random_seed(1235);
    EXPECT_NE(random_draw(), first);

    // A draw is the first word of one fresh batch.
    IsaacState expected = rt::value_service().random;
    rt::isaac_batch(expected);
    EXPECT_EQ(random_draw(), expected.results[0]);
    EXPECT_EQ(rt::value_service().random.c, expected.c);
}

TEST(Random, IntRange) {
    random_seed(99);
    const uint32_t batches = rt::value_service().random.c;
    EXPECT_EQ(random_int(0), 0);
    EXPECT_EQ(random_int(-7), 0);
    EXPECT_EQ(rt::value_service().random.c, batches);  // nothing drawn

    std::set<int32_t> seen;
    for (int i = 0; i < 200; ++i) seen.insert(random_int(1));
    EXPECT_EQ(seen, (std::set<int32_t>{0, 1}));

    IsaacState next = rt::value_service().random;
    rt::isaac_batch(next);
    EXPECT_EQ(random_int(INT32_MAX), static_cast<int32_t>(next.results[0] & 0x7fffffffu));
    rt::isaac_batch(next);
    EXPECT_EQ(random_int(6), static_cast<int32_t>(next.results[0] % 7));
}

TEST(Math, AnglesInDegrees) {
    EXPECT_DOUBLE_EQ(math_sin(90), 1.0);
    EXPECT_NEAR(math_cos(180), -1.0, 1e-15);
    EXPECT_NEAR(math_tan(45), 1.0, 1e-15);
    EXPECT_DOUBLE_EQ(math_atan2(1, 0), 90.0);
    EXPECT_DOUBLE_EQ(math_atan2(0, -1), 180.0);
    EXPECT_EQ(math_asin(1.5), 90.0);
    EXPECT_EQ(math_asin(-2), -90.0);
    EXPECT_NEAR(math_asin(0.5), 30.0, 1e-12);
    EXPECT_EQ(math_acos(1), 0.0);
    EXPECT_EQ(math_acos(-1), 180.0);
    EXPECT_NEAR(math_acos(0.5), 60.0, 1e-12);
}

TEST(Math, RemaindersAndAbsoluteValues) {
    EXPECT_EQ(math_mod(7, 0), 0);
    EXPECT_EQ(math_mod(-7, 3), -1);
    EXPECT_EQ(math_mod(7, -3), 1);
    EXPECT_EQ(math_mod(INT32_MIN, -1), 0);
    EXPECT_EQ(math_fmod(5.5, 0), 0.0);
    EXPECT_EQ(math_fmod(-5.5, 2), -1.5);
    EXPECT_EQ(math_abs(-3), 3);
    EXPECT_EQ(math_abs(INT32_MIN), INT32_MAX);
    EXPECT_EQ(math_abs(-2.5), 2.5);
    EXPECT_EQ(math_sqrt(2.25), 1.5);
    EXPECT_EQ(math_pow(2, 10), 1024.0);
}

TEST(Math, BoxesOverlap) {
    EXPECT_EQ(math_boxes_overlap(0, 0, 10, 10, 10, 0, 5, 5), 0);
    EXPECT_EQ(math_boxes_overlap(0, 0, 10, 10, 9, 9, 5, 5), 1);
    EXPECT_EQ(math_boxes_overlap(0, 0, 10, 10, 9, 10, 5, 5), 0);
    // Width 0 covers its own column; a negative width spans x + w + 1 to x.
    EXPECT_EQ(math_boxes_overlap(5, 0, 0, 1, 5, 0, 1, 1), 1);
    EXPECT_EQ(math_boxes_overlap(5, 0, 0, 1, 6, 0, 1, 1), 0);
    EXPECT_EQ(math_boxes_overlap(10, 0, -5, 1, 6, 0, 1, 1), 1);
    EXPECT_EQ(math_boxes_overlap(10, 0, -5, 1, 5, 0, 1, 1), 0);
    // Spans at the ends of the integer range do not wrap.
    EXPECT_EQ(math_boxes_overlap(INT32_MAX, 0, INT32_MAX, 1, INT32_MAX, 0, 1, 1), 1);
    EXPECT_EQ(math_boxes_overlap(INT32_MIN, 0, INT32_MIN, 1, INT32_MIN, 0, 1, 1), 1);
    EXPECT_EQ(math_boxes_overlap(INT32_MAX, 0, INT32_MAX, 1, 0, 0, 1, 1), 0);
}

TEST(Math, MinAndMax) {
    EXPECT_EQ(math_max(3, 7), 7);
    EXPECT_EQ(math_min(3, 7), 3);
    EXPECT_EQ(math_max(2.5, -1.0), 2.5);
    EXPECT_EQ(math_min(2.5, -1.0), -1.0);
    EXPECT_EQ(math_max(5, 7.9), 7);  // the real truncated first
    EXPECT_EQ(math_max(-5, -0.5), 0);
    EXPECT_EQ(math_max(1, 1e20), INT32_MAX);
    EXPECT_EQ(math_max(-5, std::nan("")), 0);
}

}  // namespace
