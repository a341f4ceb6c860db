// The input service: the runtime's own key-state array fed from key events with its per-frame
// snapshot, characters of keys, the pointer in absolute or relative (hidden) mode, and up to ten
// joysticks with force feedback. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/input/input.h"

namespace rt {
class PlatformWindow;
class PlatformInputDevices;
class PlatformJoystick;
struct PlatformEvent;
}  // namespace rt

namespace rt {

constexpr int32_t kJoystickSlots = 10;
constexpr uint32_t kHatCentred = 0xFFFFFFFFu;

// SDL hat bits (1 up, 2 right, 4 down, 8 left) as hundredths of a degree; kHatCentred for none.
uint32_t hat_hundredths(int32_t sdl_hat_bits);
// An SDL axis value (−32768 … 32767) on the −32768 … 32768 range.
int32_t axis_scaled(int32_t raw);

class InputService {
public:
    InputService();
    ~InputService();
    InputService(const InputService&) = delete;
    InputService& operator=(const InputService&) = delete;

    // Opens the devices; 1, or 0x8000000A when joysticks cannot be opened (keys and mouse still
    // work), 0x8000000C when the exclusive mouse could not be had.
    int32_t init(PlatformWindow* window, bool exclusive_mouse);
    // Gives the pointer back and closes every device.
    void shutdown();
    void window_set(PlatformWindow* window) { window_ = window; }
    void window_active_set(bool active) { window_active_ = active; }
    // The screen as the game sees it, pushed by whoever changes it: mouse positions are clamped
    // to it and, in portrait mode, the mouse and joystick axes are exchanged.
    void screen_geometry_set(int32_t width, int32_t height, bool portrait);
    int32_t screen_width() const { return screen_width_; }
    int32_t screen_height() const { return screen_height_; }
    bool portrait() const { return portrait_; }
    // Milliseconds between the last two presented frames; a released quick tap stays visible
    // outside the frame loop for two of them.
    void frame_duration_set(double ms) { frame_duration_ms_ = ms; }
    bool window_active() const { return window_active_; }
    // Key, mouse and joystick-device events from the queue.
    void event(const PlatformEvent& e);

    // Keyboard. frame_start: the snapshot of a new frame (quick taps seen since the previous
    // frame stay down in it).
    void keyboard_update(bool frame_start);
    bool key_down(int32_t code) const { return (snapshot_[static_cast<uint32_t>(code) & 255] & 0x80) != 0; }
    // For tests and tools that script keys without a window: the key (code wraps at 256) is held
    // or up from now on, in the live state and the current snapshot alike, with no quick tap
    // pending.
    void key_down_set(int32_t code, bool down);
    bool any_key_down() const;
    int32_t key_char_get();
    // The character of a key (code wraps at 256): what its latest press typed, else the layout's
    // unshifted character, under the fixed rules of key_char_translate.
    int32_t key_char_translate(int32_t code) const;

    // Mouse.
    void mouse_mode_apply(bool exclusive);
    void mouse_fresh_mark() { mouse_fresh_ = 1; }
    // A new frame: the next read takes a fresh sample, and clicks seen before the previous frame
    // stop showing.
    void mouse_frame_start();
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
    void key_event(int32_t code, bool down, int32_t character);
    void button_event(int32_t button, bool down);
    // The buttons a sample shows (bit 0 left, bit 1 middle, bit 2 right): those held, and those
    // pressed since the previous frame (the same rule as quick key taps).
    uint32_t buttons_shown();
    void joystick_attach(int32_t device_index);
    void joystick_detach(int32_t instance_id);

    PlatformWindow* window_ = nullptr;
    bool window_active_ = false;
    int32_t screen_width_ = 0;
    int32_t screen_height_ = 0;
    bool portrait_ = false;
    double frame_duration_ms_ = 1;
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
    // What the latest press of each key typed (PlatformEvent::character).
    std::array<int16_t, 256> typed_{};

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
    uint32_t buttons_ = 0;  // held: bit 0 left, bit 1 middle, bit 2 right
    // Per button, as press_frames_ and released_at_ of the keys.
    std::array<uint8_t, 3> button_press_frames_{};
    std::array<double, 3> button_released_at_{};

    // Joysticks: a slot keeps its index while its device is away; a device plugged in later takes
    // the first free slot.
    std::array<std::unique_ptr<PlatformJoystick>, kJoystickSlots> joysticks_;
    std::array<std::string, kJoystickSlots> joystick_names_;
    int32_t joystick_count_ = 0;
};

// The process's input service; null before start-up and after shut-down.
InputService* input_service();

// ---- used by start-up, shut-down, the window messages and frame presentation ----
int32_t input_init(PlatformWindow* window, int32_t exclusive_mouse);
void input_shutdown();
void input_event(const PlatformEvent& event);
void input_window_set(PlatformWindow* window);
void input_window_active_set(bool active);
// Applies the mouse mode: exclusive (hidden pointer, relative movement) or the system pointer.
void input_mouse_mode_apply(int32_t exclusive);
// The mouse sample of a new frame (InputService::mouse_frame_start).
void input_mouse_frame_start();
// The keyboard snapshot of a new frame, taken after the time since the previous one is known.
void keyboard_update_frame(double frame_duration_ms);
void input_screen_geometry_set(int32_t width, int32_t height, bool portrait);
bool any_key_down();
bool any_joystick_active();

}  // namespace rt
