// The started runtime on Mesa through SDL's offscreen driver, driven by injected window events:
// pausing on focus loss, the message hook, keys and mouse through the queue, and presentation
// with its frame limiter on a fake clock.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "runtime/input/input_service.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/core/globals.h"
#include "runtime/platform/events.h"
#include "runtime/platform/video.h"
#include "runtime/runtime.h"
#include "support/test_support.h"

namespace {

int g_hook_calls = 0;
double count_hook() {
    ++g_hook_calls;
    return 0;
}
const NamedFunction kFunctions[] = {{count_hook, "VRN_WIN32_MSG"}, {nullptr, nullptr}};

// A fake monotonic clock: every reading moves it on by 10 µs (time passes while the limiter
// spins), sleeps move it by their length and are recorded.
struct FakeClock {
    static inline int64_t now_ns = 0;
    static inline std::vector<int64_t> sleeps;
    static inline void (*on_sleep)(size_t count) = nullptr;  // what happens while the program sleeps
    static int64_t now() { return now_ns += 10'000; }
    static void sleep(int64_t ns) {
        sleeps.push_back(ns);
        now_ns += ns;
        if (on_sleep) on_sleep(sleeps.size());
    }
};

class Runtime : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* dir = std::getenv("TMPDIR");
        original_tmpdir_ = dir ? dir : "";
    }
    static void restore_tmpdir() {
        if (original_tmpdir_.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", original_tmpdir_.c_str(), 1);
        }
    }
    void SetUp() override {
        setenv("TMPDIR", tmp_.path().c_str(), 1);
        rt::globals.functions = kFunctions;
        rt::globals.core.message_hook_state = -1;
        rt::globals.core.quit_hook_done = 0;
        startup_settings.debug_mode = 0;
        startup_settings.frame_rate = 60;
        g_hook_calls = 0;
        ASSERT_EQ(runtime_start(1, "Game"), 1);
        pump();  // whatever start-up left queued
        g_hook_calls = 0;
    }
    void TearDown() override {
        rt::clock_source_set(rt::ClockSource{});
        runtime_shutdown();
        restore_tmpdir();
        rt::globals.functions = nullptr;
        pause_on_focus_loss_set(1);
        escape_ends_program_set(1);
    }
    static void inject(rt::PlatformEventKind kind, int32_t code = 0, int32_t x = 0, int32_t y = 0) {
        rt::PlatformEvent e;
        e.kind = kind;
        e.code = code;
        e.x = x;
        e.y = y;
        ASSERT_TRUE(rt::platform_event_inject(rt::display_service()->window(), e));
    }
    static void pump() { message_pump(rt::globals.display.get(), message_hook_get()); }
    static std::string caption() { return rt::display_service()->window()->caption(); }
    static void use_fake_clock() {
        FakeClock::now_ns = 1'000'000'000;
        FakeClock::sleeps.clear();
        FakeClock::on_sleep = nullptr;
        rt::clock_source_set(rt::ClockSource{FakeClock::now, FakeClock::sleep});
    }

private:
    static inline std::string original_tmpdir_;
    rt_test::TempDir tmp_;
};

TEST_F(Runtime, StartUpShowsTheCaptionAndLogsInOrder) {
    EXPECT_EQ(caption(), "Game");
    EXPECT_NE(rt::display_service()->window(), nullptr);
    EXPECT_NE(rt::globals.input, nullptr);
    std::vector<std::string> log = rt_test::log_lines(std::string(getenv("TMPDIR")) + "/ErrorLog.txt");
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.front(), "Init GFX");
    EXPECT_EQ(log.back(), "Init Finalized");
}

TEST_F(Runtime, FocusLossPausesWithACaptionMarkerAndFocusResumes) {
    inject(rt::PlatformEventKind::deactivate);
    pump();
    EXPECT_EQ(caption(), "Game <pause>");
    EXPECT_EQ(rt::globals.core.paused, 1);
    inject(rt::PlatformEventKind::activate);
    pump();
    EXPECT_EQ(caption(), "Game");
    EXPECT_EQ(rt::globals.core.paused, 0);
}

TEST_F(Runtime, NoPauseWhenSwitchedOffOrInDebugMode) {
    pause_on_focus_loss_set(0);
    inject(rt::PlatformEventKind::deactivate);
    pump();
    EXPECT_EQ(caption(), "Game");
    EXPECT_EQ(rt::globals.core.paused, 0);

    pause_on_focus_loss_set(7);
    startup_settings.debug_mode = 1;
    inject(rt::PlatformEventKind::deactivate);
    pump();
    EXPECT_EQ(caption(), "Game");
    EXPECT_EQ(rt::globals.core.paused, 0);
    startup_settings.debug_mode = 0;
}

TEST_F(Runtime, PausedPresentationWaitsInTenthsOfASecondUntilFocusReturns) {
    use_fake_clock();
    inject(rt::PlatformEventKind::deactivate);
    pump();
    ASSERT_EQ(rt::globals.core.paused, 1);
    inject(rt::PlatformEventKind::activate);
    screen_present();
    EXPECT_EQ(rt::globals.core.paused, 0);
    ASSERT_FALSE(FakeClock::sleeps.empty());
    EXPECT_EQ(FakeClock::sleeps.front(), 100'000'000);
}

TEST_F(Runtime, HookRunsOnceForEveryPendingWindowMessage) {
    inject(rt::PlatformEventKind::mouse_wheel, 0, 0, 1);
    inject(rt::PlatformEventKind::mouse_button_down, 1);
    inject(rt::PlatformEventKind::mouse_button_up, 1);
    pump();
    EXPECT_EQ(g_hook_calls, 3);
    pump();
    EXPECT_EQ(g_hook_calls, 3);
    message_hook_call();
    EXPECT_EQ(g_hook_calls, 4);
}

TEST_F(Runtime, InjectedKeysReachKeyStateWhileTheWindowHasTheFocus) {
    inject(rt::PlatformEventKind::activate);
    pump();
    inject(rt::PlatformEventKind::key_down, 205);
    EXPECT_EQ(key_state(205), 1);  // key_state takes the key events from the queue itself
    inject(rt::PlatformEventKind::key_up, 205);
    screen_present();  // a press of the last frame still shows in this one
    EXPECT_EQ(key_state(205), 1);
    screen_present();
    EXPECT_EQ(key_state(205), 0);

    inject(rt::PlatformEventKind::deactivate);
    pause_on_focus_loss_set(0);
    pump();
    inject(rt::PlatformEventKind::key_down, 203);
    EXPECT_EQ(key_state(203), 0);  // without the focus the snapshot stands still
}

TEST_F(Runtime, KeyCharactersComeOncePerPressWithShiftForCapitals) {
    inject(rt::PlatformEventKind::activate);
    pump();
    inject(rt::PlatformEventKind::key_down, 30);  // A
    EXPECT_EQ(key_char_get(), 'a');
    EXPECT_EQ(key_char_get(), 0);
    inject(rt::PlatformEventKind::key_up, 30);
    screen_present();
    screen_present();
    EXPECT_EQ(key_char_get(), 0);
    inject(rt::PlatformEventKind::key_down, 42);  // left Shift alone gives nothing
    EXPECT_EQ(key_char_get(), 0);
    inject(rt::PlatformEventKind::key_down, 30);
    EXPECT_EQ(key_char_get(), 'A');
    EXPECT_TRUE(key_char().empty());
    inject(rt::PlatformEventKind::key_up, 30);
    inject(rt::PlatformEventKind::key_up, 42);
    screen_present();
    screen_present();
    inject(rt::PlatformEventKind::key_down, 14);  // Backspace
    EXPECT_EQ(std::string(key_char().c_str()), "\b");
}

TEST_F(Runtime, MouseWheelAndButtonsArriveAsOneSamplePerFrame) {
    inject(rt::PlatformEventKind::mouse_wheel, 0, 0, 3);
    inject(rt::PlatformEventKind::mouse_button_down, 3);  // right
    pump();
    rt::input_mouse_frame_start();
    MouseSample s;
    ASSERT_EQ(mouse_read(s), 1);
    EXPECT_EQ(s.wheel, 1);
    EXPECT_EQ(s.right, 1);
    EXPECT_EQ(s.left, 0);
    mouse_read(s);
    EXPECT_EQ(s.wheel, 1);  // the same frame repeats the sample
    EXPECT_EQ(mouse_axis(4), 1);
    EXPECT_EQ(mouse_button_any(), 1);  // takes a fresh sample: the wheel is spent
    EXPECT_EQ(mouse_axis(2), 0);
    inject(rt::PlatformEventKind::mouse_button_up, 3);
    inject(rt::PlatformEventKind::mouse_wheel, 0, 0, -2);
    pump();
    rt::input_mouse_frame_start();
    EXPECT_EQ(mouse_axis(2), -1);
    EXPECT_EQ(mouse_button_any(), 0);
}

TEST_F(Runtime, ExclusiveMouseMovesByRelativeMotionAndStaysOnTheScreen) {
    rt::input_mouse_mode_apply(1);
    int32_t x0, y0, l, r;
    mouse_state(x0, y0, l, r);
    inject(rt::PlatformEventKind::mouse_motion, 0, 30, -20);
    inject(rt::PlatformEventKind::mouse_motion, 0, 5, 0);
    pump();
    rt::input_mouse_frame_start();
    MouseSample s;
    mouse_read(s);
    EXPECT_EQ(s.dx, 35);
    EXPECT_EQ(s.dy, -20);
    inject(rt::PlatformEventKind::mouse_motion, 0, 50000, 50000);
    pump();
    rt::input_mouse_frame_start();
    int32_t x, y;
    mouse_state(x, y, l, r);
    EXPECT_EQ(x, 639);
    EXPECT_EQ(y, 479);
    inject(rt::PlatformEventKind::mouse_motion, 0, -10, -100000);
    pump();
    rt::input_mouse_frame_start();
    double dx, dy, dl, dr;
    mouse_state(dx, dy, dl, dr);
    EXPECT_EQ(dx, 629);  // moved from the clamped position
    EXPECT_EQ(dy, 0);
    rt::input_mouse_mode_apply(0);
}

TEST_F(Runtime, LimiterSleepsToTheDeadlineAndKeepsTheGrid) {
    use_fake_clock();
    DuraVUZododivi* display = rt::globals.display.get();
    rt::FramePacing& pacing = display->pacing();
    const double frame = 1000.0 / 60.0;
    double d = clock_now();
    pacing.next_frame_at = d + frame;
    frame_swap(display, nullptr);
    // Left 1 ms ahead of the deadline, after one sleep; the next deadline is one frame later.
    EXPECT_LE(clock_now(), d + frame - 1 + 0.05);
    EXPECT_GE(clock_now(), d + frame - 1 - 0.05);
    EXPECT_EQ(FakeClock::sleeps.size(), 1u);
    EXPECT_DOUBLE_EQ(pacing.next_frame_at, d + 2 * frame);

    // Frame rate 0: 2 ms frames.
    frame_rate_set(0);
    double before = pacing.next_frame_at;
    frame_swap(display, nullptr);
    EXPECT_NEAR(pacing.next_frame_at, before + 2.0, 1e-9);
}

TEST_F(Runtime, PresentationStampsFramesAndResetsTheDrawingState) {
    use_fake_clock();
    screen_present();  // the first wait runs to the deadline taken on the real clock
    screen_present();
    screen_present();
    EXPECT_NEAR(frame_duration(), 1000.0 / 60.0, 0.1);
    viewport_set(10, 20, 100, 50);
    glEnable(GL_BLEND);
    rt::globals.display->global_alpha_set(0.5f);
    screen_present();
    int32_t x, y, w, h;
    viewport_get(x, y, w, h);
    EXPECT_EQ(std::vector<int32_t>({x, y, w, h}), std::vector<int32_t>({0, 0, 640, 480}));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_EQ(rt::globals.display->global_alpha(), 1.0f);
}

TEST_F(Runtime, ScreenModeChangeResizesTheWindowAndTheScreen) {
    use_fake_clock();
    screen_mode_set(320, 200, 0);
    EXPECT_EQ(startup_settings.screen_width, 320);
    EXPECT_EQ(startup_settings.screen_height, 200);
    int32_t w, h;
    screen_size(w, h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
    rt::display_service()->window()->client_size(w, h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
    EXPECT_EQ(display_is_fullscreen(), 0);
    EXPECT_GE(FakeClock::sleeps.size(), 4u);  // five paced presentations
    startup_settings.screen_width = 640;
    startup_settings.screen_height = 480;
}

TEST_F(Runtime, WaitingForChangeGivesUpAfterFifteenQuietPasses) {
    use_fake_clock();
    inject(rt::PlatformEventKind::activate);
    pump();
    input_wait_change();
    EXPECT_EQ(FakeClock::sleeps, std::vector<int64_t>(15, 5'000'000));

    FakeClock::sleeps.clear();
    inject(rt::PlatformEventKind::key_down, 57);
    input_wait_change();
    EXPECT_TRUE(FakeClock::sleeps.empty());
}

TEST_F(Runtime, KeyWaitReturnsAfterOneFullPress) {
    use_fake_clock();
    inject(rt::PlatformEventKind::activate);
    pump();
    // The key goes down during the third sleep and up during the sixth.
    FakeClock::on_sleep = [](size_t count) {
        rt::PlatformEvent e;
        e.code = 57;
        if (count == 3) e.kind = rt::PlatformEventKind::key_down;
        if (count == 6) e.kind = rt::PlatformEventKind::key_up;
        if (count == 3 || count == 6) rt::platform_event_inject(rt::display_service()->window(), e);
    };
    key_wait();
    EXPECT_GE(FakeClock::sleeps.size(), 6u);
    EXPECT_EQ(key_state(57), 0);
    FakeClock::on_sleep = nullptr;
}

}  // namespace
