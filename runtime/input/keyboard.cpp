// Keyboard: key events feed a live state; snapshots are taken only while the window has the
// focus; a key's character is what its press typed in the keyboard layout, with Shift giving
// capital letters.
#include <algorithm>

#include "runtime/core/clock.h"
#include "runtime/input/input_service.h"
#include "runtime/platform/events.h"
#include "runtime/platform/keys.h"

namespace rt {
namespace {

constexpr int32_t kLeftShift = 42;
constexpr int32_t kRightShift = 54;
constexpr double kPressHoldMs = 250;

void key_sink(const PlatformEvent& e, void* context) { static_cast<InputService*>(context)->event(e); }

// The character rules that hold whatever the layout types: Backspace 8, both Enter keys 10, the
// modifier keys nothing, and no control characters besides those two. code is 0 … 255.
int32_t char_of_key(int32_t code, int32_t typed) {
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
    if (typed < 32 && typed != 8 && typed != 10) return 0;
    return typed;
}

}  // namespace

void InputService::key_event(int32_t code, bool down, int32_t character) {
    if (code <= 0 || code > 255) return;
    auto i = static_cast<size_t>(code);
    live_[i] = down ? 0x80 : 0;
    if (down) {
        press_frames_[i] = 2;
        typed_[i] = static_cast<int16_t>(character);
    } else {
        released_at_[i] = clock_now();
    }
}

void InputService::key_down_set(int32_t code, bool down) {
    auto i = static_cast<size_t>(static_cast<uint32_t>(code) & 255);
    live_[i] = down ? 0x80 : 0;
    snapshot_[i] = live_[i];
    press_frames_[i] = 0;
}

void InputService::keyboard_update(bool frame_start) {
    if (!window_active_) return;
    platform_key_events_take(key_sink, this);
    // Outside the frame loop (loops that present nothing) a released press stops showing after
    // this long: two frame durations, and never less than a quarter second.
    double now = clock_now();
    double hold_ms = std::max(kPressHoldMs, 2 * frame_duration_ms_);
    for (size_t i = 0; i < 256; ++i) {
        if (frame_start && press_frames_[i] > 0) --press_frames_[i];
        if (press_frames_[i] > 0 && !live_[i] && now - released_at_[i] > hold_ms) press_frames_[i] = 0;
        snapshot_[i] = live_[i] | (press_frames_[i] > 0 ? 0x80 : 0);
    }
}

bool InputService::any_key_down() const {
    for (int32_t code = 0; code < 255; ++code) {
        if (key_down(code)) return true;
    }
    return false;
}

int32_t InputService::key_char_translate(int32_t code) const {
    code &= 255;
    int32_t typed = typed_[static_cast<size_t>(code)];
    // A press that typed nothing (or came without text) gives the key's own character.
    if (typed == 0) typed = platform_key_character(code);
    if (typed == kTypedOutsideLatin1) typed = 0;
    return char_of_key(code, typed);
}

int32_t InputService::key_char_get() {
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

void keyboard_update_frame(double frame_duration_ms) {
    InputService* input = input_service();
    if (!input) return;
    input->frame_duration_set(frame_duration_ms);
    input->keyboard_update(true);
}

bool any_key_down() { return input_service() && input_service()->any_key_down(); }

}  // namespace rt

void keyboard_update() {
    if (rt::input_service()) rt::input_service()->keyboard_update(false);
}

int32_t key_state(int32_t code) {
    if (!rt::input_service()) return 0;
    rt::input_service()->keyboard_update(false);
    return rt::input_service()->key_down(code) ? 1 : 0;
}

int32_t key_char_translate(int32_t code) {
    if (rt::input_service()) return rt::input_service()->key_char_translate(code);
    code &= 255;
    return rt::char_of_key(code, rt::platform_key_character(code));
}

int32_t key_char_get() { return rt::input_service() ? rt::input_service()->key_char_get() : 0; }

RtString key_char() {
    int32_t c = key_char_get();
    if (c == 0) return RtString();
    char text[2] = {static_cast<char>(c), '\0'};
    return RtString(text);
}
