// Window messages: activation pauses the program with a caption marker, a close request ends it,
// input events feed the input service; the pump, the game's message hook, the waiting commands
// and the debugger breakpoint, which refreshes input.
#include "runtime/core/window.h"

#include <cstdio>

#include "runtime/core/clock.h"
#include "runtime/core/globals.h"
#include "runtime/core/lifecycle.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/input/input_service.h"
#include "runtime/platform/events.h"
#include "runtime/sound/music_service.h"
#include "runtime/platform/video.h"

namespace rt {
namespace {

constexpr int32_t kWaitPasses = 15;
constexpr double kWaitPassMs = 5;

// Looping music keeps restarting while a command blocks the game.
void music_keep_looping() {
    if (MusicService* music = music_service()) music->service_loop();
}

bool pause_rules_apply() { return startup_settings.debug_mode == 0 && globals.core.pause_allowed != 0; }

void caption_set(const RtString& caption) {
    if (DuraVUZododivi* display = display_service()) display->set_caption(caption);
}

struct Pointer {
    int32_t x = 0, y = 0, left = 0, right = 0;
    bool operator==(const Pointer&) const = default;
};

// The pointer position (exchanged in portrait mode) and the first two buttons, freshly sampled.
Pointer pointer_now() {
    Pointer p;
    InputService* input = input_service();
    if (!input) return p;
    input->mouse_fresh_mark();
    MouseSample s;
    input->mouse_read(s);
    bool portrait = input->portrait();
    p.x = portrait ? input->mouse_y() : input->mouse_x();
    p.y = portrait ? input->mouse_x() : input->mouse_y();
    p.left = s.left ? 1 : 0;
    p.right = s.right ? 1 : 0;
    return p;
}

// Polls (every 5 ms) until done() holds. The pump runs in every poll: the state of keys and
// buttons, activation and close requests all arrive as events here.
template <typename Done>
void poll_until(Done done) {
    for (;;) {
        music_keep_looping();
        message_pump(display_service(), message_hook_get());
        keyboard_update();
        if (done()) return;
        clock_sleep_ms(kWaitPassMs);
    }
}

}  // namespace
}  // namespace rt

void window_procedure(const rt::PlatformEvent& event) {
    using rt::globals;
    switch (event.kind) {
        case rt::PlatformEventKind::activate:
            rt::input_window_active_set(true);
            rt::platform_screen_saver_allow(false);
            if (rt::pause_rules_apply()) {
                rt::caption_set(globals.core.title_copy);
                globals.core.paused = 0;
            }
            break;
        case rt::PlatformEventKind::deactivate:
            rt::input_window_active_set(false);
            rt::platform_screen_saver_allow(true);
            if (rt::pause_rules_apply()) {
                RtString caption = globals.core.title_copy;
                caption.append(" <pause>");
                rt::caption_set(caption);
                globals.core.paused = 1;
            }
            break;
        case rt::PlatformEventKind::close:
            program_end();
        default:
            rt::input_event(event);
            break;
    }
}

int32_t message_pump(DuraVUZododivi* display, GameFunction hook) {
    const auto& signals = rt::globals.core.close_signals;
    if (signals && signals->pending()) program_end();
    const rt::PlatformWindow* window = display ? display->window() : nullptr;
    rt::PlatformEvent event;
    while (rt::platform_event_poll(window, event)) {
        if (hook && event.for_window) hook();
        window_procedure(event);
    }
    return 1;
}

GameFunction message_hook_get() {
    using rt::globals;
    if (globals.core.message_hook_state == -1) {
        globals.core.message_hook = function_find("VRN_WIN32_MSG");
        globals.core.message_hook_state = globals.core.message_hook ? 1 : 0;
    }
    return globals.core.message_hook;
}

// The game's table never changes, so the pump's once-only lookup serves here too.
void message_hook_call() {
    if (GameFunction hook = message_hook_get()) hook();
}

void pause_on_focus_loss_set(int32_t flag) { rt::globals.core.pause_allowed = flag != 0 ? 1 : 0; }

void input_wait_change() {
    rt::Pointer start = rt::pointer_now();
    for (int32_t pass = 0; pass < rt::kWaitPasses; ++pass) {
        rt::music_keep_looping();
        message_pump(rt::display_service(), message_hook_get());
        keyboard_update();
        if (rt::globals.core.escape_ends_program && (key_state(1) || key_state(129))) program_end();
        if (rt::any_key_down()) return;
        if (!(rt::pointer_now() == start)) return;
        if (rt::any_joystick_active()) return;
        rt::clock_sleep_ms(rt::kWaitPassMs);
    }
}

void debug_breakpoint(int32_t value) {
    if (!rt::debugger_present()) return;
    char buf[32];
    // Lower-case hexadecimal; a negative value shows its 32-bit two's complement (8 digits).
    std::snprintf(buf, sizeof buf, "BP%x", static_cast<uint32_t>(value));
    rt::debug_output(buf);
    rt::globals.core.paused = 0;
    keyboard_update();
    rt::input_mouse_frame_start();
    rt::globals.core.bring_to_front_requested = 1;
}

void key_wait() {
    rt::poll_until([] { return !rt::any_key_down(); });
    while (!rt::any_key_down()) {
        message_pump(rt::display_service(), message_hook_get());
        input_wait_change();
    }
    rt::poll_until([] { return !rt::any_key_down(); });
}

void mouse_wait() {
    rt::poll_until([] { return !mouse_button_any(); });
    while (!mouse_button_any()) input_wait_change();
    rt::poll_until([] { return !mouse_button_any(); });
}
