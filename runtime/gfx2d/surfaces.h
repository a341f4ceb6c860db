// Off-screen surfaces, screen grabs, picture slots, single pixels, lines, filled rectangles and
// picture saving. Colours are 0x00BBGGRR.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

void surface_create(int32_t surface, int32_t n, int32_t width, int32_t height);
// A negative number selects the screen.
void surface_use(int32_t surface);
void surface_use_screen();
void sprite_grab(int32_t n, int32_t x, int32_t y, int32_t width, int32_t height);
void background_grab();
void picture_slot_grab(int32_t slot);
void picture_slot_draw(int32_t slot);
int32_t pixel_get(int32_t x, int32_t y);
void pixel_set(int32_t x, int32_t y, int32_t colour);
void line_draw(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t colour);
void rect_fill(int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour);
// Saved as PNG, JPEG or BMP by the name's ending. screen_save: 1, or 0 on failure;
// sprite_save: 0, or 3 on failure. Failures record error code 3.
int32_t screen_save(const RtString& name);
int32_t sprite_save(const RtString& name, int32_t n);
int32_t key_colour_probe();
