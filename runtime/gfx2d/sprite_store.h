// The records of the renderer's sprite store, picture slots, polygon buffer and off-screen
// surfaces. Plain data: DuraVUZododivi owns one table of each and the GL names in them.
#pragma once

#include <cstdint>

namespace rt {

constexpr int32_t kSpriteCount = 65536;
constexpr int32_t kFontCount = 32;
constexpr int32_t kFirstFontSprite = 65504;    // font n is sprite 65504 + n
constexpr int32_t kLastOrdinarySprite = 65503;  // also the scratch sprite of the surface copy fallback
constexpr int32_t kPictureSlotCount = 8;
constexpr int32_t kSlotTiles = 64;  // 8 columns x 8 rows; tile index = column * 8 + row
constexpr int32_t kSurfaceCount = 32;

// One numbered sprite. width 0 marks a free number. Texture rows are bottom-up: the picture's top
// edge lies at v = v_max, its left edge at u = 0.
struct SpriteRecord {
    uint32_t texture = 0;      // GL texture, no mipmaps
    uint32_t mip_texture = 0;  // mipmapped twin (ordinary sprites loaded from files only)
    float u_max = 1.0f;        // width / texture_width
    float v_max = 1.0f;        // height / texture_height
    int16_t texture_width = -1;
    int16_t texture_height = -1;
    int16_t width = 0;
    int16_t height = 0;
    int16_t frame_width = 0;  // animation frame size, 0: not animated; kept by sprite_free
    int16_t frame_height = 0;
};

// A picture of up to 8 x 8 square texture tiles. columns 0 marks an empty slot.
struct PictureSlot {
    int32_t tile_texture[kSlotTiles] = {};
    int32_t tile_texture_width[kSlotTiles] = {};
    int32_t tile_texture_height[kSlotTiles] = {};
    int32_t tile_used_width[kSlotTiles] = {};
    int32_t tile_used_height[kSlotTiles] = {};
    int32_t columns = 0;
    int32_t rows = 0;
};

// One vertex of the polygon under construction: screen pixels, texture coordinates, colour.
struct PolygonVertex {
    float x, y, u, v;
    uint8_t r, g, b, a;
};
static_assert(sizeof(PolygonVertex) == 20);

// One off-screen surface. fbo_width 0: drawing goes through the copy fallback.
struct SurfaceEntry {
    uint32_t framebuffer = 0;
    uint32_t depth_buffer = 0;
    int32_t saved_binding = 0;
    int32_t fbo_width = 0;
    int32_t fbo_height = 0;
    int32_t sprite = 0;
};

}  // namespace rt
