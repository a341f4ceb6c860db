// Frame pacing arithmetic and the timing commands, on a fake clock (nothing sleeps).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "runtime/input/input_service.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/core/clock.h"
#include "runtime/core/frame.h"
#include "runtime/core/globals.h"
#include "runtime/gfx2d/display.h"
#include "runtime/input/input.h"
#include "runtime/platform/events.h"

namespace {

constexpr double kFrame60 = 1000.0 / 60.0;

// A fake monotonic clock whose sleeps advance it and are recorded.
struct FakeClock {
    static inline int64_t now_ns = 0;
    static inline std::vector<int64_t> sleeps;
    static int64_t now() { return now_ns; }
    static void sleep(int64_t ns) {
        sleeps.push_back(ns);
        now_ns += ns;
    }
};

class FakeClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        FakeClock::now_ns = 5'000'000'000;
        FakeClock::sleeps.clear();
        rt::clock_source_set(rt::ClockSource{FakeClock::now, FakeClock::sleep});
    }
    void TearDown() override { rt::clock_source_set(rt::ClockSource{}); }
};

TEST(FrameDeadline, StaysOnTheGridForFramesUpToOneFrameLate) {
    const double d = 1000;
    // On time: the next grid point.
    EXPECT_DOUBLE_EQ(rt::frame_deadline_next(d, kFrame60, d - 1), d + kFrame60);
    // Presented 40 ms after the frame began at its deadline D, 23.3 ms after its own deadline
    // D + 16.7: one grid point is skipped and the next deadline is D + 50.
    EXPECT_DOUBLE_EQ(rt::frame_deadline_next(d + kFrame60, kFrame60, d + 40), d + 3 * kFrame60);
    EXPECT_NEAR(rt::frame_deadline_next(d + kFrame60, kFrame60, d + 40), d + 50, 1e-9);
    // A second late: the grid is given up, the next deadline is one frame after now.
    EXPECT_DOUBLE_EQ(rt::frame_deadline_next(d + kFrame60, kFrame60, d + 1016.7), d + 1016.7 + kFrame60);
    // No frame time: the deadline stays.
    EXPECT_DOUBLE_EQ(rt::frame_deadline_next(d, 0, d + 50), d);
}

TEST(FrameDeadline, SixtyFramesPerSecondGatherNoRoundingError) {
    double next = 0;
    for (int i = 0; i < 60 * 3600; ++i) next = rt::frame_deadline_next(next, kFrame60, next - 1);
    EXPECT_NEAR(next, 3600.0 * 1000, 0.001);  // within a microsecond after an hour
}

TEST(FrameWait, SleepsThenSpinsThenLeavesOneMillisecondAhead) {
    EXPECT_LT(rt::frame_wait_step(1.0), 0);
    EXPECT_LT(rt::frame_wait_step(-500), 0);
    EXPECT_EQ(rt::frame_wait_step(1.0 + rt::kPacingSpinMs), 0);
    EXPECT_EQ(rt::frame_wait_step(1.1), 0);
    EXPECT_DOUBLE_EQ(rt::frame_wait_step(16.0), 16.0 - 1 - rt::kPacingSpinMs);
}

TEST(FrameRate, ZeroOrNegativeRatesGiveTwoMilliseconds) {
    EXPECT_DOUBLE_EQ(rt::frame_time_of_rate(60), kFrame60);
    EXPECT_DOUBLE_EQ(rt::frame_time_of_rate(0), 2.0);
    EXPECT_DOUBLE_EQ(rt::frame_time_of_rate(-30), 2.0);
    EXPECT_DOUBLE_EQ(rt::frame_time_of_rate(1000), 1.0);
}

TEST(FrameDuration, IsOneUntilTwoPresentationsDiffer) {
    rt::globals.core.previous_frame_stamp = rt::globals.core.frame_stamp = 250;
    EXPECT_EQ(frame_duration(), 1);
    rt::globals.core.frame_stamp = 266.5;
    EXPECT_EQ(frame_duration(), 16.5);
    rt::globals.core.previous_frame_stamp = 300;  // a clock that went backwards
    EXPECT_EQ(frame_duration(), 1);
}

TEST_F(FakeClockTest, ProgramSleepTruncatesAndNeverSleepsNegative) {
    program_sleep(2.9);
    ASSERT_EQ(FakeClock::sleeps.size(), 1u);
    EXPECT_EQ(FakeClock::sleeps[0], 2'000'000);
    program_sleep(0.99);
    program_sleep(-5);
    program_sleep(std::nan(""));
    EXPECT_EQ(FakeClock::sleeps.size(), 1u);
}

// Exit keys read the keyboard snapshot of the input state.
class ExitKeys : public ::testing::Test {
protected:
    void SetUp() override {
        rt::globals.input = std::make_unique<rt::InputService>();
        rt::globals.input->window_active_set(true);
        escape_ends_program_set(1);
    }
    void TearDown() override {
        rt::globals.input.reset();
        escape_ends_program_set(1);
    }
    void key(int32_t code, bool down) {
        rt::PlatformEvent e;
        e.kind = down ? rt::PlatformEventKind::key_down : rt::PlatformEventKind::key_up;
        e.code = code;
        rt::input_event(e);
        rt::keyboard_update_frame(1);
    }
};

TEST_F(ExitKeys, EscapeEndsUnlessSwitchedOffWhileAltF4AlwaysEnds) {
    EXPECT_FALSE(rt::exit_keys_down());
    key(1, true);
    EXPECT_TRUE(rt::exit_keys_down());
    escape_ends_program_set(0);
    EXPECT_FALSE(rt::exit_keys_down());
    key(56, true);
    EXPECT_FALSE(rt::exit_keys_down());  // Alt alone
    key(62, true);
    EXPECT_TRUE(rt::exit_keys_down());
    escape_ends_program_set(0.5);  // any non-zero value switches it on
    key(56, false);
    key(62, false);
    EXPECT_TRUE(rt::exit_keys_down());
}

}  // namespace
