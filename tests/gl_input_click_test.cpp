// Mouse clicks whose press and release reach the started runtime together (injected into its
// queue under SDL's offscreen driver): a frame still shows the click, and mouse_wait sees it once.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/core/clock.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/platform/events.h"
#include "runtime/runtime.h"
#include "support/test_support.h"

namespace {

// A fake monotonic clock: every reading moves it on by 10 µs, every sleep by its length; on_sleep
// runs while the program sleeps, with the number of sleeps so far.
struct FakeClock {
    static inline int64_t now_ns = 0;
    static inline size_t sleeps = 0;
    static inline void (*on_sleep)(size_t count) = nullptr;
    static int64_t now() { return now_ns += 10'000; }
    static void sleep(int64_t ns) {
        now_ns += ns;
        ++sleeps;
        if (on_sleep) on_sleep(sleeps);
    }
};

void inject_button(rt::PlatformEventKind kind) {
    rt::PlatformEvent e;
    e.kind = kind;
    e.code = 1;  // left
    rt::platform_event_inject(rt::display_service()->window(), e);
}

void inject_click() {
    inject_button(rt::PlatformEventKind::mouse_button_down);
    inject_button(rt::PlatformEventKind::mouse_button_up);
}

class QuickClick : public ::testing::Test {
protected:
    void SetUp() override {
        const char* dir = std::getenv("TMPDIR");
        if (dir) tmpdir_ = dir;
        setenv("TMPDIR", tmp_.path().c_str(), 1);
        startup_settings.frame_rate = 60;
        ASSERT_EQ(runtime_start(1, "Game"), 1);
        FakeClock::now_ns = 1'000'000'000;
        FakeClock::sleeps = 0;
        FakeClock::on_sleep = nullptr;
        rt::clock_source_set(rt::ClockSource{FakeClock::now, FakeClock::sleep});
        screen_present();  // whatever start-up left queued
    }
    void TearDown() override {
        FakeClock::on_sleep = nullptr;
        rt::clock_source_set(rt::ClockSource{});
        runtime_shutdown();
        if (tmpdir_.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", tmpdir_.c_str(), 1);
        }
    }

private:
    std::string tmpdir_;
    rt_test::TempDir tmp_;
};

TEST_F(QuickClick, ShowsInTheFrameAfterItAndNotLater) {
    inject_click();
    screen_present();
    int32_t x, y, left, right;
    mouse_state(x, y, left, right);
    EXPECT_EQ(left, 1);
    EXPECT_EQ(mouse_button_any(), 1);  // a fresh sample within the same frame still shows it
    screen_present();
    screen_present();
    EXPECT_EQ(mouse_button_any(), 0);
}

TEST_F(QuickClick, EndsMouseWaitOnce) {
    // The click arrives during the first sleep of mouse_wait's polling, so one poll sees both
    // halves. Should that click be lost, a slow click much later ends the wait instead of the
    // test hanging.
    constexpr size_t kRescueAt = 400;
    FakeClock::sleeps = 0;
    FakeClock::on_sleep = [](size_t count) {
        if (count == 1) inject_click();
        if (count == kRescueAt) inject_button(rt::PlatformEventKind::mouse_button_down);
        if (count == kRescueAt + 20) inject_button(rt::PlatformEventKind::mouse_button_up);
    };
    mouse_wait();
    EXPECT_LT(FakeClock::sleeps, kRescueAt) << "the quick click was lost";
    FakeClock::on_sleep = nullptr;
    // mouse_wait returned after the release: the click is over for the next wait too.
    EXPECT_EQ(mouse_button_any(), 0);
}

}  // namespace
