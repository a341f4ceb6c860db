// Display commands: the 2D viewport, the screen size and clear, full-screen state and GL
// extension queries.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// The viewport of 2D drawing (x, y from the top left; w or h <= 0: the whole screen).
void viewport_set(int32_t x, int32_t y, int32_t w, int32_t h);
void viewport_get(int32_t& x, int32_t& y, int32_t& w, int32_t& h);
void viewport_get(double& x, double& y, double& w, double& h);
void screen_size(int32_t& width, int32_t& height);
void screen_size(double& width, double& height);
void screen_clear(int32_t colour);
int32_t display_is_fullscreen();
int32_t gl_extension_supported(const RtString& name);
