// Joysticks through SDL's virtual joysticks: axis scaling, hats, buttons, names, hot-plugging and
// force feedback as rumble.
#include <gtest/gtest.h>

#include <memory>

#include "runtime/input/input_service.h"
#include "runtime/core/globals.h"
#include "runtime/input/input.h"
#include "runtime/platform/devices.h"
#include "runtime/platform/events.h"

namespace {

constexpr int32_t kUp = 1, kRight = 2, kDown = 4, kLeft = 8;

TEST(JoystickValues, AxesReachTheFullRangeAndHatsTurnIntoDegrees) {
    EXPECT_EQ(rt::axis_scaled(-32768), -32768);
    EXPECT_EQ(rt::axis_scaled(0), 0);
    EXPECT_EQ(rt::axis_scaled(32767), 32768);
    EXPECT_NEAR(rt::axis_scaled(16384), 16384, 1);
    EXPECT_EQ(rt::axis_scaled(-1), -1);
    EXPECT_EQ(rt::hat_hundredths(0), rt::kHatCentred);
    EXPECT_EQ(rt::hat_hundredths(kUp), 0u);
    EXPECT_EQ(rt::hat_hundredths(kUp | kRight), 4500u);
    EXPECT_EQ(rt::hat_hundredths(kRight), 9000u);
    EXPECT_EQ(rt::hat_hundredths(kRight | kDown), 13500u);
    EXPECT_EQ(rt::hat_hundredths(kDown), 18000u);
    EXPECT_EQ(rt::hat_hundredths(kDown | kLeft), 22500u);
    EXPECT_EQ(rt::hat_hundredths(kLeft), 27000u);
    EXPECT_EQ(rt::hat_hundredths(kLeft | kUp), 31500u);
    EXPECT_EQ(rt::hat_hundredths(kUp | kDown), rt::kHatCentred);  // impossible combination
}

// The input state of the runtime with one virtual joystick (6 axes, 12 buttons, 1 hat).
class VirtualJoystick : public ::testing::Test {
protected:
    void SetUp() override {
        rt::globals.input = std::make_unique<rt::InputService>();
        rt::globals.input->init(nullptr, false);
        device_ = rt::platform_virtual_joystick_attach(6, 12, 1, "Test Pad");
        ASSERT_GE(device_, 0);
        added(device_);
        instance_ = rt::platform_joystick_instance_of_device(device_);
    }
    void TearDown() override {
        rt::globals.input.reset();
        if (device_ >= 0) rt::platform_virtual_joystick_detach(device_);
    }
    static void added(int32_t device) {
        rt::PlatformEvent e;
        e.kind = rt::PlatformEventKind::joystick_added;
        e.code = device;
        rt::input_event(e);
    }
    int32_t device_ = -1;
    int32_t instance_ = -1;
};

TEST_F(VirtualJoystick, SampleCarriesAxesHatsAndButtons) {
    ASSERT_EQ(joystick_count(), 1);
    EXPECT_EQ(std::string(joystick_name(0).c_str()), "Test Pad, Test Pad");
    rt::platform_virtual_joystick_axis(instance_, 0, 32767);
    rt::platform_virtual_joystick_axis(instance_, 1, -32768);
    rt::platform_virtual_joystick_axis(instance_, 5, -16384);
    rt::platform_virtual_joystick_hat(instance_, 0, kDown | kLeft);
    rt::platform_virtual_joystick_button(instance_, 0, true);
    rt::platform_virtual_joystick_button(instance_, 11, true);

    JoystickSample s;
    ASSERT_EQ(joystick_read(0, s), 1);
    EXPECT_EQ(s.x, 32768);
    EXPECT_EQ(s.y, -32768);
    EXPECT_EQ(s.rz, -16384);
    EXPECT_EQ(s.pov[0], 22500u);
    EXPECT_EQ(s.pov[1], rt::kHatCentred);  // a hat the device lacks reads centred
    EXPECT_EQ(s.buttons[0], 0x80);
    EXPECT_EQ(s.buttons[11], 0x80);
    EXPECT_EQ(s.buttons[12], 0);

    EXPECT_DOUBLE_EQ(joystick_axis_x(0), 1.0);
    EXPECT_DOUBLE_EQ(joystick_axis_y(0), -1.0);
    EXPECT_EQ(joystick_hat_x(0), -1);
    EXPECT_EQ(joystick_hat_y(0), 1);
    EXPECT_EQ(joystick_button(0, 11), 0x80);
    EXPECT_EQ(joystick_button(0, 32), 0);
    EXPECT_EQ(joystick_button(0, -1), 0);

    double dx, dy, b1, b2;
    rt::platform_virtual_joystick_axis(instance_, 0, 29999);
    rt::platform_virtual_joystick_button(instance_, 1, false);
    joystick_digital(dx, dy, b1, b2);
    EXPECT_EQ(dx, 1);   // 30000 after scaling: one step of 30000
    EXPECT_EQ(dy, -1);  // −32768 / 30000 truncated
    EXPECT_EQ(b1, 0x80);
    EXPECT_EQ(b2, 0);
}

TEST_F(VirtualJoystick, MissingJoystickReadsZeroWithACentredHat) {
    JoystickSample s;
    EXPECT_EQ(joystick_read(1, s), 0);
    EXPECT_EQ(joystick_read(-1, s), 0);
    EXPECT_EQ(joystick_read(99, s), 0);
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.pov[0], rt::kHatCentred);
    // A centred hat is no direction, so an absent joystick never reads as "up".
    EXPECT_EQ(joystick_hat_x(3), 0);
    EXPECT_EQ(joystick_hat_y(3), 0);
    EXPECT_TRUE(joystick_name(1).empty());
    EXPECT_FALSE(rt::any_joystick_active());
}

TEST_F(VirtualJoystick, DevicesComeAndGoWhileRunning) {
    int32_t second = rt::platform_virtual_joystick_attach(2, 4, 0, "Late Stick");
    ASSERT_GE(second, 0);
    added(second);
    added(second);  // a repeated notice opens nothing twice
    ASSERT_EQ(joystick_count(), 2);
    EXPECT_EQ(std::string(joystick_name(1).c_str()), "Late Stick, Late Stick");

    // The first goes away: its slot reads empty, the second keeps its index.
    rt::PlatformEvent removed;
    removed.kind = rt::PlatformEventKind::joystick_removed;
    removed.code = instance_;
    rt::input_event(removed);
    JoystickSample s;
    EXPECT_EQ(joystick_read(0, s), 0);
    EXPECT_EQ(joystick_count(), 2);
    EXPECT_EQ(std::string(joystick_name(1).c_str()), "Late Stick, Late Stick");

    // Another device takes the free first slot.
    added(device_);
    EXPECT_EQ(std::string(joystick_name(0).c_str()), "Test Pad, Test Pad");
    rt::platform_virtual_joystick_detach(second);
}

TEST_F(VirtualJoystick, RumbleIsAConstantForceOfTheGivenStrength) {
    uint16_t low = 0, high = 0;
    rt::platform_virtual_joystick_rumble_take(low, high);
    joystick_rumble(0, 500, 1, 1);  // full strength
    ASSERT_TRUE(rt::platform_virtual_joystick_rumble_take(low, high));
    EXPECT_EQ(low, 65535);
    EXPECT_EQ(high, 65535);
    joystick_rumble(0, 500, 0.5, 0);  // (0.25 × 10000 / 2) of 10000 = 1/8
    ASSERT_TRUE(rt::platform_virtual_joystick_rumble_take(low, high));
    EXPECT_NEAR(low, 65535 / 8, 2);
    joystick_rumble(0, 500, 5, -7);  // limited to the unit square
    ASSERT_TRUE(rt::platform_virtual_joystick_rumble_take(low, high));
    EXPECT_EQ(low, 65535);
    joystick_rumble(4, 500, 1, 1);  // no such joystick: nothing
    EXPECT_FALSE(rt::platform_virtual_joystick_rumble_take(low, high));
}

}  // namespace
