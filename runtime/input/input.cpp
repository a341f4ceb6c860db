// The input device object: opening and closing devices, and the events that feed its state.
#include "runtime/input/input_service.h"

#include "runtime/core/errors.h"
#include "runtime/platform/devices.h"
#include "runtime/platform/events.h"
#include "runtime/platform/video.h"

namespace rt {

InputService::InputService() = default;
InputService::~InputService() { shutdown(); }

int32_t InputService::init(PlatformWindow* window, bool exclusive_mouse) {
    int32_t result = 1;
    devices_ = PlatformInputDevices::open();
    if (!devices_) {
        log_append("No DX_Input");
        result = static_cast<int32_t>(0x8000000Au);
    }
    window_ = window;
    window_active_ = window && window->has_input_focus();
    platform_pointer_position(window_, mouse_x_, mouse_y_);

    mouse_absolute_ = 0;
    if (exclusive_mouse) {
        if (!platform_pointer_relative_set(true)) {
            log_append("No DX_Mouse");
            if (result == 1) result = static_cast<int32_t>(0x8000000Cu);
        }
    } else {
        platform_pointer_show(true);
        mouse_absolute_ = 1;
    }

    if (devices_) {
        int32_t count = devices_->joystick_device_count();
        for (int32_t i = 0; i < count; ++i) joystick_attach(i);
    }
    return result;
}

void InputService::shutdown() {
    if (!mouse_absolute_) {
        platform_pointer_relative_set(false);
        platform_pointer_warp(window_, mouse_x_, mouse_y_);
    }
    platform_pointer_show(true);
    mouse_absolute_ = 1;
    for (auto& joystick : joysticks_) joystick.reset();
    devices_.reset();
}

void InputService::event(const PlatformEvent& e) {
    switch (e.kind) {
        case PlatformEventKind::key_down:
            key_event(e.code, true, e.character);
            break;
        case PlatformEventKind::key_up:
            key_event(e.code, false, 0);
            break;
        case PlatformEventKind::mouse_motion:
            motion_x_ += e.x;
            motion_y_ += e.y;
            break;
        case PlatformEventKind::mouse_button_down:
            button_event(e.code, true);
            break;
        case PlatformEventKind::mouse_button_up:
            button_event(e.code, false);
            break;
        case PlatformEventKind::mouse_wheel:
            wheel_ += e.y;
            break;
        case PlatformEventKind::joystick_added:
            joystick_attach(e.code);
            break;
        case PlatformEventKind::joystick_removed:
            joystick_detach(e.code);
            break;
        default:
            break;
    }
}

void InputService::screen_geometry_set(int32_t width, int32_t height, bool portrait) {
    screen_width_ = width;
    screen_height_ = height;
    portrait_ = portrait;
}

int32_t input_init(PlatformWindow* window, int32_t exclusive_mouse) {
    if (!input_service()) return 0;
    return input_service()->init(window, exclusive_mouse != 0);
}

void input_shutdown() {
    if (input_service()) input_service()->shutdown();
}

void input_event(const PlatformEvent& event) {
    if (input_service()) input_service()->event(event);
}

void input_window_set(PlatformWindow* window) {
    if (input_service()) input_service()->window_set(window);
}

void input_window_active_set(bool active) {
    if (input_service()) input_service()->window_active_set(active);
}

void input_mouse_mode_apply(int32_t exclusive) {
    if (input_service()) input_service()->mouse_mode_apply(exclusive != 0);
}

void input_screen_geometry_set(int32_t width, int32_t height, bool portrait) {
    if (InputService* input = input_service()) input->screen_geometry_set(width, height, portrait);
}

void input_mouse_frame_start() {
    if (input_service()) input_service()->mouse_frame_start();
}

}  // namespace rt
