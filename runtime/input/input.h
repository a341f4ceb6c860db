// Keyboard, mouse and joystick commands, and the readings they hand to the game.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

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
