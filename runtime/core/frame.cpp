// Frame presentation and pacing on the runtime clock. Deadlines lie on a grid of frame times in
// double milliseconds, so rates such as 60 per second gather no rounding error.
#include "runtime/core/frame.h"

#include <cmath>
#include <cstdio>

#include "runtime/core/clock.h"
#include "runtime/core/globals.h"
#include "runtime/core/lifecycle.h"
#include "runtime/core/window.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/gfx3d/engine3d.h"
#include "runtime/input/input_service.h"
#include "runtime/sound/music_service.h"

namespace rt {

double frame_wait_step(double remaining_ms) {
    if (remaining_ms <= 1) return -1;
    if (remaining_ms > 1 + kPacingSpinMs) return remaining_ms - 1 - kPacingSpinMs;
    return 0;
}

double frame_deadline_next(double next_frame_at, double frame_time_ms, double now) {
    if (frame_time_ms <= 0) return next_frame_at;
    next_frame_at += frame_time_ms;
    if (now > next_frame_at) next_frame_at += frame_time_ms;
    if (now > next_frame_at) next_frame_at = now + frame_time_ms;
    return next_frame_at;
}

bool exit_keys_down() {
    if (globals.core.escape_ends_program && (key_state(1) || key_state(129))) return true;
    return key_state(56) && key_state(62);
}

}  // namespace rt

void screen_present() {
    using rt::globals;
    DuraVUZododivi* display = rt::display_service();
    GameFunction hook = message_hook_get();

    if (globals.core.bring_to_front_requested) {
        std::puts("activate");
        if (display) display->bring_to_front();
        std::puts("ok");
        std::fflush(stdout);
        globals.core.bring_to_front_requested = 0;
    }

    globals.core.previous_frame_stamp = globals.core.frame_stamp;
    globals.core.frame_stamp = clock_now();

    // Nothing of the game runs while paused; the process wakes ten times a second.
    while (globals.core.paused && !globals.core.bring_to_front_requested) {
        if (rt::MusicService* music = rt::music_service()) music->service_loop();
        message_pump(display, hook);
        rt::clock_sleep_ms(100);
    }

    rt::keyboard_update_frame(frame_duration());
    rt::input_mouse_frame_start();

    if (rt::exit_keys_down()) {
        error_code_set(0);
        program_end();
    }

    if (rt::MusicService* music = rt::music_service()) music->service_loop();
    message_pump(display, hook);

    if (!frame_swap(display, hook)) {
        error_code_set(0);
        program_end();
    }

    // Shaders off first, so that the next frame's background is drawn without the last program.
    if (Zevivedu3R* engine = rt::engine3d()) engine->frame_reset();
    if (display) display->frame_state_reset();
}

int32_t frame_swap(DuraVUZododivi* display, GameFunction hook) {
    if (!display) return 1;
    display->buffers_swap_and_clear();
    rt::FramePacing& pacing = display->pacing();
    double now = 0;
    for (;;) {
        message_pump(display, hook);
        now = clock_now();
        double step = rt::frame_wait_step(pacing.next_frame_at - now);
        if (step < 0) break;
        if (step > 0) rt::clock_sleep_ms(step);
    }
    pacing.next_frame_at = rt::frame_deadline_next(pacing.next_frame_at, pacing.frame_time_ms, now);
    return 1;
}

double frame_duration() {
    double d = rt::globals.core.frame_stamp - rt::globals.core.previous_frame_stamp;
    return d <= 0 ? 1 : d;
}

void program_sleep(double milliseconds) {
    // A negative or NaN value sleeps not at all (the system sleep would read it as a huge count).
    if (!(milliseconds >= 1)) return;
    rt::clock_sleep_ms(std::trunc(milliseconds));
}

void frame_rate_set(int32_t frames_per_second) {
    if (DuraVUZododivi* display = rt::display_service()) {
        display->pacing().frame_time_ms = rt::frame_time_of_rate(frames_per_second);
    }
}

void escape_ends_program_set(double flag) { rt::globals.core.escape_ends_program = flag != 0 ? 1 : 0; }
