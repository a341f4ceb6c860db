// Keyboard: key events feed a live state; snapshots are taken only while the window has the
// focus; characters follow the active layout with Shift giving capital letters.
#include <algorithm>

#include "runtime/core/clock.h"
#include "runtime/core/frame.h"
#include "runtime/core/globals.h"
#include "runtime/input/input.h"
#include "runtime/platform/events.h"
#include "runtime/platform/keys.h"

namespace rt {
namespace {

constexpr int32_t kLeftShift = 42;
constexpr int32_t kRightShift = 54;
constexpr double kPressHoldMs = 250;

void key_sink(const PlatformEvent& e, void* context) { static_cast<InputState*>(context)->event(e); }

}  // namespace

void InputState::key_event(int32_t code, bool down) {
    if (code <= 0 || code > 255) return;
    auto i = static_cast<size_t>(code);
    live_[i] = down ? 0x80 : 0;
    if (down) {
        press_frames_[i] = 2;
    } else {
        released_at_[i] = clock_now();
    }
}

void InputState::keyboard_update(bool frame_start) {
    if (!window_active_) return;
    platform_key_events_take(key_sink, this);
    // Outside the frame loop (loops that present nothing) a released press stops showing after
    // this long: two frame durations, and never less than a quarter second.
    double now = clock_now();
    double hold_ms = std::max(kPressHoldMs, 2 * frame_duration());
    for (size_t i = 0; i < 256; ++i) {
        if (frame_start && press_frames_[i] > 0) --press_frames_[i];
        if (press_frames_[i] > 0 && !live_[i] && now - released_at_[i] > hold_ms) press_frames_[i] = 0;
        snapshot_[i] = live_[i] | (press_frames_[i] > 0 ? 0x80 : 0);
    }
}

bool InputState::any_key_down() const {
    for (int32_t code = 0; code < 255; ++code) {
        if (key_down(code)) return true;
    }
    return false;
}

int32_t InputState::key_char_get() {
    keyboard_update(false);
    int32_t found = 0;
    for (int32_t code = 0; code < 255 && found == 0; ++code) {
        if (key_down(code)) found = key_char_translate(code);
    }
    if (found == 0) {
        last_char_ = 0;
        return 0;
    }
    int32_t lower = found >= 'A' && found <= 'Z' ? found + 32 : found;
    if (lower == last_char_) return 0;
    last_char_ = lower;
    bool shift = key_down(kLeftShift) || key_down(kRightShift);
    if (shift && lower >= 'a' && lower <= 'z') return lower - 32;
    return found;
}

void keyboard_update_frame() {
    if (globals.input) globals.input->keyboard_update(true);
}

bool any_key_down() { return globals.input && globals.input->any_key_down(); }

}  // namespace rt

void keyboard_update() {
    if (rt::globals.input) rt::globals.input->keyboard_update(false);
}

int32_t key_state(int32_t code) {
    if (!rt::globals.input) return 0;
    rt::globals.input->keyboard_update(false);
    return rt::globals.input->key_down(code) ? 1 : 0;
}

int32_t key_char_translate(int32_t code) {
    code &= 255;
    switch (code) {
        case 14:
            return 8;
        case 28:
        case 156:
            return 10;
        case 29:
        case 42:
        case 54:
        case 56:
        case 58:
        case 69:
        case 221:
            return 0;
        default:
            break;
    }
    int32_t c = rt::platform_key_character(code);
    if (c < 32 && c != 8 && c != 10) return 0;
    return c;
}

int32_t key_char_get() { return rt::globals.input ? rt::globals.input->key_char_get() : 0; }

RtString key_char() {
    int32_t c = key_char_get();
    if (c == 0) return RtString();
    char text[2] = {static_cast<char>(c), '\0'};
    return RtString(text);
}
