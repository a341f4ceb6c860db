// Joysticks: up to ten, picked up when plugged in, read as the 80-byte sample, with a constant
// force for force feedback.
#include <algorithm>
#include <cmath>

#include "runtime/input/input_service.h"
#include "runtime/platform/devices.h"

namespace rt {
namespace {

const std::string kNoName;

double axis_unit(int32_t value) { return std::clamp(static_cast<double>(value) / 32767.0, -1.0, 1.0); }

bool portrait() { return input_service() && input_service()->portrait(); }

JoystickSample sample_of(int32_t index) {
    JoystickSample s;
    joystick_read(index, s);
    return s;
}

}  // namespace

uint32_t hat_hundredths(int32_t bits) {
    switch (bits) {
        case 1:
            return 0;  // up
        case 1 | 2:
            return 4500;  // right up
        case 2:
            return 9000;  // right
        case 4 | 2:
            return 13500;  // right down
        case 4:
            return 18000;  // down
        case 4 | 8:
            return 22500;  // left down
        case 8:
            return 27000;  // left
        case 1 | 8:
            return 31500;  // left up
        default:
            return kHatCentred;
    }
}

int32_t axis_scaled(int32_t raw) {
    if (raw <= 0) return raw;
    return static_cast<int32_t>((static_cast<int64_t>(raw) * 32768 + 16383) / 32767);
}

void InputService::joystick_attach(int32_t device_index) {
    if (!devices_) return;
    int32_t instance = platform_joystick_instance_of_device(device_index);
    for (const auto& j : joysticks_) {
        if (j && j->instance_id() == instance) return;
    }
    auto free_slot = std::find(joysticks_.begin(), joysticks_.end(), nullptr);
    if (free_slot == joysticks_.end()) return;
    std::unique_ptr<PlatformJoystick> joystick = PlatformJoystick::open(device_index);
    if (!joystick) return;
    auto slot = static_cast<size_t>(free_slot - joysticks_.begin());
    std::string product = joystick->product_name();
    // The instance name, a comma and a blank, the product name; SDL names both the same way. The
    // stored text holds at most 521 bytes.
    joystick_names_[slot] = (product + ", " + product).substr(0, 521);
    joysticks_[slot] = std::move(joystick);
    joystick_count_ = std::max(joystick_count_, static_cast<int32_t>(slot) + 1);
}

void InputService::joystick_detach(int32_t instance_id) {
    for (size_t slot = 0; slot < joysticks_.size(); ++slot) {
        if (joysticks_[slot] && joysticks_[slot]->instance_id() == instance_id) {
            joysticks_[slot].reset();
            joystick_names_[slot].clear();
        }
    }
    while (joystick_count_ > 0 && !joysticks_[static_cast<size_t>(joystick_count_ - 1)]) --joystick_count_;
}

int32_t InputService::joystick_read(int32_t index, JoystickSample& sample) {
    sample = JoystickSample{};
    if (index < 0 || index >= kJoystickSlots) return 0;
    PlatformJoystick* joystick = joysticks_[static_cast<size_t>(index)].get();
    if (!joystick) return 0;
    int32_t axes[8], hats[4];
    uint8_t buttons[32];
    if (!joystick->read(axes, hats, buttons)) return 0;
    sample.x = axis_scaled(axes[0]);
    sample.y = axis_scaled(axes[1]);
    sample.z = axis_scaled(axes[2]);
    sample.rx = axis_scaled(axes[3]);
    sample.ry = axis_scaled(axes[4]);
    sample.rz = axis_scaled(axes[5]);
    sample.slider[0] = axis_scaled(axes[6]);
    sample.slider[1] = axis_scaled(axes[7]);
    for (int i = 0; i < 4; ++i) sample.pov[i] = hats[i] < 0 ? kHatCentred : hat_hundredths(hats[i]);
    for (int i = 0; i < 32; ++i) sample.buttons[i] = buttons[i] ? 0x80 : 0;
    return 1;
}

const std::string& InputService::joystick_name(int32_t index) const {
    if (index < 0 || index >= joystick_count_) return kNoName;
    return joystick_names_[static_cast<size_t>(index)];
}

void InputService::joystick_rumble(int32_t index, double duration, double x, double y) {
    if (index < 0 || index >= kJoystickSlots) return;
    PlatformJoystick* joystick = joysticks_[static_cast<size_t>(index)].get();
    if (!joystick || !joystick->has_force_feedback()) return;
    x = std::isnan(x) ? 0 : std::clamp(x, -1.0, 1.0);
    y = std::isnan(y) ? 0 : std::clamp(y, -1.0, 1.0);
    // Strength on the 0 … 10000 scale of the game's units, then on the device's 0 … 32767.
    double magnitude = (x * x + y * y) * 10000.0 / 2.0;
    auto level = static_cast<int32_t>(magnitude * 32767.0 / 10000.0);
    double ms = std::isnan(duration) ? 0 : std::clamp(duration, 0.0, 4294967294.0);
    joystick->constant_force(level, static_cast<int32_t>(x * 32767), static_cast<int32_t>(y * 32767),
                             static_cast<uint32_t>(ms));
}

bool any_joystick_active() {
    if (!input_service()) return false;
    for (int32_t i = 0; i < input_service()->joystick_count(); ++i) {
        JoystickSample s;
        if (!input_service()->joystick_read(i, s)) continue;
        for (uint8_t b : s.buttons) {
            if (b) return true;
        }
        // More than a tenth of the full range.
        if (std::abs(s.x) > 3276 || std::abs(s.y) > 3276 || std::abs(s.z) > 3276) return true;
        if (s.pov[0] != kHatCentred) return true;
    }
    return false;
}

}  // namespace rt

int32_t joystick_read(int32_t index, JoystickSample& sample) {
    if (!rt::input_service()) {
        sample = JoystickSample{};
        return 0;
    }
    return rt::input_service()->joystick_read(index, sample);
}

double joystick_axis_x(int32_t index) {
    JoystickSample s = rt::sample_of(index);
    return rt::portrait() ? -rt::axis_unit(s.y) : rt::axis_unit(s.x);
}

double joystick_axis_y(int32_t index) {
    JoystickSample s = rt::sample_of(index);
    return rt::portrait() ? rt::axis_unit(s.x) : rt::axis_unit(s.y);
}

double joystick_axis_z(int32_t index) { return rt::axis_unit(rt::sample_of(index).z); }
double joystick_axis_rx(int32_t index) { return rt::axis_unit(rt::sample_of(index).rx); }
double joystick_axis_ry(int32_t index) { return rt::axis_unit(rt::sample_of(index).ry); }
double joystick_axis_rz(int32_t index) { return rt::axis_unit(rt::sample_of(index).rz); }

int32_t joystick_button(int32_t index, int32_t button) {
    if (button < 0 || button > 31) return 0;
    return rt::sample_of(index).buttons[button];
}

int32_t joystick_hat_x(int32_t index) {
    switch (rt::sample_of(index).pov[0]) {
        case 4500:
        case 9000:
        case 13500:
            return 1;
        case 22500:
        case 27000:
        case 31500:
            return -1;
        default:
            return 0;
    }
}

int32_t joystick_hat_y(int32_t index) {
    switch (rt::sample_of(index).pov[0]) {
        case 0:
        case 4500:
        case 31500:
            return -1;
        case 13500:
        case 18000:
        case 22500:
            return 1;
        default:
            return 0;
    }
}

void joystick_digital(double& x, double& y, double& button1, double& button2) {
    JoystickSample s = rt::sample_of(0);
    x = s.x / 30000;
    y = s.y / 30000;
    button1 = s.buttons[0];
    button2 = s.buttons[1];
}

void joystick_rumble(int32_t index, double duration, double x, double y) {
    if (rt::input_service()) rt::input_service()->joystick_rumble(index, duration, x, y);
}

int32_t joystick_count() { return rt::input_service() ? rt::input_service()->joystick_count() : 0; }

RtString joystick_name(int32_t index) {
    if (!rt::input_service()) return RtString();
    return RtString(rt::input_service()->joystick_name(index).c_str());
}
