// Pointer and joystick devices over SDL: the pointer's position and modes, joysticks with their
// force feedback, and virtual joysticks for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace rt {

class PlatformWindow;

// Keeps SDL's joystick and haptic subsystems open for the object's lifetime.
class PlatformInputDevices {
public:
    static std::unique_ptr<PlatformInputDevices> open();
    ~PlatformInputDevices();
    PlatformInputDevices(const PlatformInputDevices&) = delete;
    PlatformInputDevices& operator=(const PlatformInputDevices&) = delete;

    // Joysticks attached now.
    int32_t joystick_device_count() const;

private:
    PlatformInputDevices() = default;
};

// The pointer position relative to the window's client area (may lie outside it); false when it
// cannot be read.
bool platform_pointer_position(const PlatformWindow* window, int32_t& x, int32_t& y);
void platform_pointer_warp(const PlatformWindow* window, int32_t x, int32_t y);
// Relative mode: the pointer is hidden and held in the window, motion arrives as movement.
// False when the mode cannot be set.
bool platform_pointer_relative_set(bool on);
void platform_pointer_show(bool show);

// An opened joystick with its force-feedback device when it has one.
class PlatformJoystick {
public:
    // Opens the joystick at an SDL device index; null on failure.
    static std::unique_ptr<PlatformJoystick> open(int32_t device_index);
    ~PlatformJoystick();
    PlatformJoystick(const PlatformJoystick&) = delete;
    PlatformJoystick& operator=(const PlatformJoystick&) = delete;

    int32_t instance_id() const { return instance_id_; }
    std::string product_name() const;

    // Reads the current state: axes[0..7] raw (−32768 … 32767; x, y, z, rx, ry, rz, then two
    // sliders), hats[0..3] as SDL hat bits (−1 for a hat the device lacks), buttons[0..31] 0/1.
    // False when the device cannot be read any more.
    bool read(int32_t axes[8], int32_t hats[4], uint8_t buttons[32]);

    bool has_force_feedback() const;
    // A constant force: level 0 … 32767, direction (x, y) each −32767 … 32767, duration in ms.
    // Uses the haptic device, else the rumble motors. False when neither works.
    bool constant_force(int32_t level, int32_t direction_x, int32_t direction_y, uint32_t duration_ms);

private:
    struct Device;  // the system joystick, its force-feedback device and effect; defined by the source
    PlatformJoystick(std::unique_ptr<Device> device, int32_t instance_id);
    std::unique_ptr<Device> device_;
    int32_t instance_id_;
};

// Test seam: a virtual joystick (no driver, no hardware). attach returns the device index, or −1.
int32_t platform_virtual_joystick_attach(int32_t axes, int32_t buttons, int32_t hats, const char* name);
// Sets a value of the virtual joystick opened as a PlatformJoystick with that instance id.
bool platform_virtual_joystick_axis(int32_t instance_id, int32_t axis, int32_t value);
bool platform_virtual_joystick_button(int32_t instance_id, int32_t button, bool down);
bool platform_virtual_joystick_hat(int32_t instance_id, int32_t hat, int32_t sdl_hat_bits);
bool platform_virtual_joystick_detach(int32_t device_index);
// The motor strengths of the last rumble a virtual joystick was asked for (0 … 65535 each); false
// when none was asked for since the last call.
bool platform_virtual_joystick_rumble_take(uint16_t& low, uint16_t& high);
int32_t platform_joystick_instance_of_device(int32_t device_index);

}  // namespace rt
