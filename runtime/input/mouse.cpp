// Mouse: the pointer position in absolute mode, relative movement in the exclusive (hidden) mode,
// the wheel and buttons from events; one fresh sample per frame; a click shows through the frame
// after it even when released at once.
#include <algorithm>

#include "runtime/core/clock.h"
#include "runtime/input/input_service.h"
#include "runtime/platform/devices.h"

namespace rt {
namespace {

int16_t clamp16(int64_t v) { return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767)); }

// Keeps the accumulated position far from the 32-bit limits; mouse_state clamps to the screen.
int32_t position_add(int32_t position, int64_t delta) {
    return static_cast<int32_t>(std::clamp<int64_t>(position + delta, -1000000000, 1000000000));
}

// Outside the frame loop a released click stops showing after this long (or two frames).
constexpr double kClickHoldMs = 250;

}  // namespace

void InputService::button_event(int32_t button, bool down) {
    if (button < 1 || button > 3) return;
    auto i = static_cast<size_t>(button - 1);
    if (down) {
        buttons_ |= 1u << i;
        button_press_frames_[i] = 2;
    } else {
        buttons_ &= ~(1u << i);
        button_released_at_[i] = clock_now();
    }
}

uint32_t InputService::buttons_shown() {
    double now = clock_now();
    double hold_ms = std::max(kClickHoldMs, 2 * frame_duration_ms_);
    uint32_t shown = buttons_;
    for (size_t i = 0; i < button_press_frames_.size(); ++i) {
        bool held = (buttons_ & (1u << i)) != 0;
        if (button_press_frames_[i] > 0 && !held && now - button_released_at_[i] > hold_ms) button_press_frames_[i] = 0;
        if (button_press_frames_[i] > 0) shown |= 1u << i;
    }
    return shown;
}

void InputService::mouse_frame_start() {
    mouse_fresh_ = 1;
    for (uint8_t& frames : button_press_frames_) {
        if (frames > 0) --frames;
    }
}

void InputService::mouse_mode_apply(bool exclusive) {
    if (exclusive) {
        platform_pointer_relative_set(true);
        mouse_absolute_ = 0;
    } else {
        if (!mouse_absolute_) {
            platform_pointer_relative_set(false);
            platform_pointer_warp(window_, mouse_x_, mouse_y_);
        }
        platform_pointer_show(true);
        mouse_absolute_ = 1;
    }
    motion_x_ = motion_y_ = 0;
}

int32_t InputService::mouse_read(MouseSample& sample) {
    sample = MouseSample{};
    if (mouse_fresh_) {
        mouse_fresh_ = 0;
        int64_t dx = 0, dy = 0;
        if (mouse_absolute_) {
            int32_t x = mouse_x_, y = mouse_y_;
            if (platform_pointer_position(window_, x, y)) {
                dx = static_cast<int64_t>(x) - mouse_x_;
                dy = static_cast<int64_t>(y) - mouse_y_;
                mouse_x_ = x;
                mouse_y_ = y;
            }
        } else {
            dx = motion_x_;
            dy = motion_y_;
            mouse_x_ = position_add(mouse_x_, dx);
            mouse_y_ = position_add(mouse_y_, dy);
        }
        motion_x_ = motion_y_ = 0;
        last_mouse_dx_ = clamp16(dx);
        last_mouse_dy_ = clamp16(dy);
        last_mouse_wheel_ = static_cast<int16_t>(wheel_ > 0 ? 1 : wheel_ < 0 ? -1 : 0);
        wheel_ = 0;
    }
    sample.dx = last_mouse_dx_;
    sample.dy = last_mouse_dy_;
    sample.wheel = last_mouse_wheel_;
    uint32_t buttons = buttons_shown();
    sample.left = (buttons & 1u) ? 1 : 0;
    sample.middle = (buttons & 2u) ? 1 : 0;
    sample.right = (buttons & 4u) ? 1 : 0;
    return 1;
}

}  // namespace rt

int32_t mouse_read(MouseSample& sample) {
    if (!rt::input_service()) {
        sample = MouseSample{};
        return 0;
    }
    return rt::input_service()->mouse_read(sample);
}

int32_t mouse_axis(int32_t type) {
    MouseSample s;
    mouse_read(s);
    const rt::InputService* input = rt::input_service();
    if (input && input->portrait()) {
        if (type == 0) return input->screen_width() - 1 - s.dy;
        if (type == 1) return s.dx;
    }
    switch (type) {
        case 0:
            return s.dx;
        case 1:
            return s.dy;
        case 2:
            return s.wheel;
        case 3:
            return s.left ? 1 : 0;
        case 4:
            return s.right ? 1 : 0;
        case 5:
            return s.middle ? 1 : 0;
        default:
            return 0;
    }
}

void mouse_state(int32_t& x, int32_t& y, int32_t& left, int32_t& right) {
    x = y = left = right = 0;
    rt::InputService* input = rt::input_service();
    if (!input) return;
    MouseSample s;
    input->mouse_read(s);
    int32_t width = input->screen_width();
    int32_t height = input->screen_height();
    int32_t& mx = input->mouse_x();
    int32_t& my = input->mouse_y();
    mx = std::clamp(mx, 0, std::max(width - 1, 0));
    my = std::clamp(my, 0, std::max(height - 1, 0));
    if (input->portrait()) {
        x = my;
        y = width - 1 - mx;
    } else {
        x = mx;
        y = my;
    }
    left = s.left ? 1 : 0;
    right = s.right ? 1 : 0;
}

void mouse_state(double& x, double& y, double& left, double& right) {
    int32_t ix, iy, il, ir;
    mouse_state(ix, iy, il, ir);
    x = ix;
    y = iy;
    left = il;
    right = ir;
}

int32_t mouse_button_any() {
    if (!rt::input_service()) return 0;
    rt::input_service()->mouse_fresh_mark();
    MouseSample s;
    rt::input_service()->mouse_read(s);
    return s.left || s.right || s.middle ? 1 : 0;
}

int32_t mouse_count() { return 1; }

void mouse_select(int32_t index) {
    if (rt::input_service()) rt::input_service()->mouse_select(index);
}
