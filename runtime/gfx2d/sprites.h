// Sprite commands: loading pictures into numbered sprites and the background slot, the colour
// key, and drawing sprites, animation frames and polygons with the global blending mode.
// Colours are 0x00BBGGRR.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// Loading. A failed load records error code 3 and leaves the number free.
void transparent_colour_set(int32_t colour);
void sprite_load(const RtString& name, int32_t n);
void sprite_load_normal_map(const RtString& name, int32_t n);
void sprite_load_animated(const RtString& name, int32_t n, int32_t frame_width, int32_t frame_height);
void sprite_frames_set(int32_t n, int32_t frame_width, int32_t frame_height);
void sprite_size(int32_t n, int32_t& width, int32_t& height);
void sprite_size(int32_t n, double& width, double& height);
int32_t sprite_free_number();
int32_t sprite_texture_id(int32_t n);
void background_load(const RtString& name);
void background_colour_set(int32_t colour);

// Drawing, top left corner at (x, y) unless said otherwise; angles in degrees, counter-clockwise.
void sprite_draw(int32_t n, int32_t x, int32_t y);
void sprite_draw_stretched(int32_t n, int32_t x, int32_t y, int32_t w, int32_t h);
void sprite_draw_zoomed(int32_t n, int32_t x, int32_t y, double zoom_x, double zoom_y);
void sprite_draw_rotated(int32_t n, int32_t x, int32_t y, double angle);
void sprite_draw_rotozoom(int32_t n, int32_t x, int32_t y, double angle, double zoom);
void sprite_draw_frame(int32_t n, int32_t frame, int32_t x, int32_t y);
void sprite_draw_frame_rotozoom(int32_t n, int32_t frame, int32_t x, int32_t y, double angle, double zoom);
void sprite_draw_frame_stretched(int32_t n, int32_t frame, int32_t x, int32_t y, int32_t w, int32_t h);

// Polygons: mode 0 triangle fan, 1 separate triangles, 2 triangle strip; n -1 for no texture.
void polygon_begin(int32_t n, int32_t mode);
void polygon_vertex(double x, double y, double tx, double ty, int32_t colour);
void polygon_split();
void polygon_end();

// alpha 0: opaque with the alpha test; > 0 additive; < 0 translucent; |alpha| is the strength.
void blend_alpha_set(double alpha);
void smoothing_set(int32_t flag);

// 1 when the two sprites (or animation frames) share a non-transparent pixel on screen.
int32_t sprite_collision(int32_t n1, int32_t x1, int32_t y1, int32_t n2, int32_t x2, int32_t y2);
int32_t sprite_collision_frames(int32_t n1, int32_t frame1, int32_t x1, int32_t y1, int32_t n2, int32_t frame2,
                                int32_t x2, int32_t y2);
