// Keyboard, mouse and joysticks: the runtime's own key-state array fed from key events with its
// per-frame snapshot, characters of keys, the pointer in absolute or relative (hidden) mode, and
// up to ten joysticks with force feedback. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/values/rt_string.h"

namespace rt {
class PlatformWindow;
class PlatformInputDevices;
class PlatformJoystick;
struct PlatformEvent;
}  // namespace rt

// One mouse reading: buttons non-zero while held; movement since the previous fresh sample;
// wheel −1, 0 or 1.
struct MouseSample {
    int16_t left = 0;
    int16_t right = 0;
    int16_t middle = 0;
    int16_t dx = 0;
    int16_t dy = 0;
    int16_t wheel = 0;
};

// One joystick reading in the 80-byte layout games expect: axes −32768 … 32768, hats in
// hundredths of a degree clockwise from up (0xFFFFFFFF centred), buttons 0x80 while pressed.
struct JoystickSample {
    int32_t x = 0, y = 0, z = 0;
    int32_t rx = 0, ry = 0, rz = 0;
    int32_t slider[2] = {0, 0};
    uint32_t pov[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    uint8_t buttons[32] = {};
};
static_assert(sizeof(JoystickSample) == 80, "joystick sample layout");

namespace rt {

constexpr int32_t kJoystickSlots = 10;
constexpr uint32_t kHatCentred = 0xFFFFFFFFu;

// SDL hat bits (1 up, 2 right, 4 down, 8 left) as hundredths of a degree; kHatCentred for none.
uint32_t hat_hundredths(int32_t sdl_hat_bits);
// An SDL axis value (−32768 … 32767) on the −32768 … 32768 range.
int32_t axis_scaled(int32_t raw);

class InputState {
public:
    InputState();
    ~InputState();
    InputState(const InputState&) = delete;
    InputState& operator=(const InputState&) = delete;

    // Opens the devices; 1, or 0x8000000A when joysticks cannot be opened (keys and mouse still
    // work), 0x8000000C when the exclusive mouse could not be had.
    int32_t init(PlatformWindow* window, bool exclusive_mouse);
    // Gives the pointer back and closes every device.
    void shutdown();
    void window_set(PlatformWindow* window) { window_ = window; }
    void window_active_set(bool active) { window_active_ = active; }
    bool window_active() const { return window_active_; }
    // Key, mouse and joystick-device events from the queue.
    void event(const PlatformEvent& e);

    // Keyboard. frame_start: the snapshot of a new frame (quick taps seen since the previous
    // frame stay down in it).
    void keyboard_update(bool frame_start);
    bool key_down(int32_t code) const { return (snapshot_[static_cast<uint32_t>(code) & 255] & 0x80) != 0; }
    bool any_key_down() const;
    int32_t key_char_get();

    // Mouse.
    void mouse_mode_apply(bool exclusive);
    void mouse_fresh_mark() { mouse_fresh_ = 1; }
    int32_t mouse_read(MouseSample& sample);
    int32_t& mouse_x() { return mouse_x_; }
    int32_t& mouse_y() { return mouse_y_; }
    void mouse_select(int32_t index) { mouse_index_ = index >= 1 ? 0 : index; }

    // Joysticks.
    int32_t joystick_count() const { return joystick_count_; }
    int32_t joystick_read(int32_t index, JoystickSample& sample);
    const std::string& joystick_name(int32_t index) const;
    void joystick_rumble(int32_t index, double duration, double x, double y);

private:
    void key_event(int32_t code, bool down);
    void joystick_attach(int32_t device_index);
    void joystick_detach(int32_t instance_id);

    PlatformWindow* window_ = nullptr;
    bool window_active_ = false;
    std::unique_ptr<PlatformInputDevices> devices_;

    // Keyboard: the live state from events; for every press the frame snapshots it still shows in
    // (a press is seen through the frame after it even when released at once); when a pressed key
    // was released (clock ms), so that a press stops showing in loops that present no frames; the
    // snapshot read by key_state (bit 7 set while down).
    std::array<uint8_t, 256> live_{};
    std::array<uint8_t, 256> press_frames_{};
    std::array<double, 256> released_at_{};
    std::array<uint8_t, 256> snapshot_{};
    int32_t last_char_ = 0;

    // Mouse.
    int32_t mouse_x_ = 100;
    int32_t mouse_y_ = 100;
    int32_t mouse_index_ = 0;
    uint8_t mouse_absolute_ = 1;
    uint8_t mouse_fresh_ = 1;
    int16_t last_mouse_dx_ = 0;
    int16_t last_mouse_dy_ = 0;
    int16_t last_mouse_wheel_ = 0;
    int64_t motion_x_ = 0;  // relative movement since the last fresh sample
    int64_t motion_y_ = 0;
    int64_t wheel_ = 0;     // wheel steps since the last fresh sample
    uint32_t buttons_ = 0;  // bit 0 left, bit 1 middle, bit 2 right

    // Joysticks: a slot keeps its index while its device is away; a device plugged in later takes
    // the first free slot.
    std::array<std::unique_ptr<PlatformJoystick>, kJoystickSlots> joysticks_;
    std::array<std::string, kJoystickSlots> joystick_names_;
    int32_t joystick_count_ = 0;
};

// ---- used by start-up, shut-down, the window messages and frame presentation ----
int32_t input_init(PlatformWindow* window, int32_t exclusive_mouse);
void input_shutdown();
void input_event(const PlatformEvent& event);
void input_window_set(PlatformWindow* window);
void input_window_active_set(bool active);
// Applies the mouse mode: exclusive (hidden pointer, relative movement) or the system pointer.
void input_mouse_mode_apply(int32_t exclusive);
// The next mouse read takes a fresh sample.
void input_mouse_fresh_mark();
// The keyboard snapshot of a new frame.
void keyboard_update_frame();
bool any_key_down();
bool any_joystick_active();

}  // namespace rt

// ---- game commands ----
void keyboard_update();
int32_t key_state(int32_t code);
int32_t key_char_get();
RtString key_char();
int32_t key_char_translate(int32_t code);

int32_t mouse_read(MouseSample& sample);
int32_t mouse_axis(int32_t type);
void mouse_state(int32_t& x, int32_t& y, int32_t& left, int32_t& right);
void mouse_state(double& x, double& y, double& left, double& right);
int32_t mouse_button_any();
int32_t mouse_count();
void mouse_select(int32_t index);

int32_t joystick_read(int32_t index, JoystickSample& sample);
double joystick_axis_x(int32_t index);
double joystick_axis_y(int32_t index);
double joystick_axis_z(int32_t index);
double joystick_axis_rx(int32_t index);
double joystick_axis_ry(int32_t index);
double joystick_axis_rz(int32_t index);
int32_t joystick_button(int32_t index, int32_t button);
int32_t joystick_hat_x(int32_t index);
int32_t joystick_hat_y(int32_t index);
void joystick_digital(double& x, double& y, double& button1, double& button2);
void joystick_rumble(int32_t index, double duration, double x, double y);
int32_t joystick_count();
RtString joystick_name(int32_t index);
