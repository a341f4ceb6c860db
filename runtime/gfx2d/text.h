// Text commands: bitmap fonts in the 32 font numbers and text drawn with them. The line-input
// command (text_input) lives with frame presentation, since it reads keys and shows frames.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// An empty name frees the font; a missing or undecodable file records error code 3 and leaves the
// built-in font in that number.
void font_load(const RtString& name, int32_t n);
void font_set(int32_t n);
void font_size(int32_t& cell_width, int32_t& cell_height);
void font_size(double& cell_width, double& cell_height);
int32_t font_free_number();
void font_builtin_load(int32_t n);
// The top left corner of the first cell at (ceil(x), ceil(y)).
void text_draw(const RtString& text, double x, double y);
void text_draw_font(int32_t font, const RtString& text, float x, float y, float z);
