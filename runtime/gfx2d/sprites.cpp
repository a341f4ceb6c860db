// The sprite store: pictures loaded into numbered sprites and tiled picture slots, the texture
// upload (power-of-two padding, colour bleeding, normal maps, the mipmapped twin), alpha masks,
// and the game's loading commands.
#include "runtime/gfx2d/sprites.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/core/errors.h"
#include "runtime/gfx2d/display_service.h"

namespace rt {
namespace {

// Picture slots use square tiles of at most this side.
constexpr int32_t kSlotTileSide = 512;
// Scratch buffers larger than this are released after a load instead of kept for the next.
constexpr size_t kScratchKeepBytes = size_t{64} << 20;

int32_t max_texture_side() {
    GLint side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &side);
    return side > 0 ? side : 0;
}

// The smallest power of two >= size, at least 16.
int32_t texture_side(int32_t size) {
    int32_t side = 16;
    while (side < size && side < (1 << 30)) side *= 2;
    return side;
}

// The first and last column of a row, among the columns 1 ... tw - 2, whose alpha is not 0;
// {tw, -1} when there is none.
struct OpaqueSpan {
    int32_t first, last;
};

OpaqueSpan opaque_span(const uint8_t* pixels, int32_t tw, int32_t th, int32_t row) {
    if (row < 1 || row > th - 2) return {tw, -1};
    const uint8_t* p = pixels + static_cast<size_t>(row) * tw * 4;
    int32_t first = 1, last = tw - 2;
    while (first <= last && p[first * 4 + 3] == 0) ++first;
    while (last >= first && p[last * 4 + 3] == 0) --last;
    return first <= last ? OpaqueSpan{first, last} : OpaqueSpan{tw, -1};
}

// Transparent pixels take the average colour of their opaque neighbours, so that bilinear
// filtering at a sprite's outline blends towards the outline's own colour instead of black.
// Neighbours on the buffer's outermost rows and columns do not count. Alpha is left as it is,
// so the walk may run in place.
void colour_bleed(uint8_t* pixels, int32_t tw, int32_t th) {
    const size_t stride = static_cast<size_t>(tw) * 4;
    OpaqueSpan above{tw, -1}, here = opaque_span(pixels, tw, th, 0), below = opaque_span(pixels, tw, th, 1);
    for (int32_t y = 0; y < th; ++y) {
        if (y > 0) {
            above = here;
            here = below;
            below = opaque_span(pixels, tw, th, y + 1);
        }
        // Outside columns reach - 1 ... reach + 1 no neighbour counts: those pixels turn black.
        const int32_t reach_first = std::min({above.first, here.first, below.first}) - 1;
        const int32_t reach_last = std::max({above.last, here.last, below.last}) + 1;
        const int32_t ny0 = std::max(y - 1, 1), ny1 = std::min(y + 1, th - 2);
        uint8_t* p = pixels + static_cast<size_t>(y) * stride;
        for (int32_t x = 0; x < tw; ++x, p += 4) {
            if (p[3] != 0) continue;
            if (x < reach_first || x > reach_last) {
                p[0] = p[1] = p[2] = 0;
                continue;
            }
            const int32_t nx0 = std::max(x - 1, 1), nx1 = std::min(x + 1, tw - 2);
            uint32_t r = 0, g = 0, b = 0, count = 0;
            for (int32_t ny = ny0; ny <= ny1; ++ny) {
                const uint8_t* q = pixels + static_cast<size_t>(ny) * stride + static_cast<size_t>(nx0) * 4;
                for (int32_t nx = nx0; nx <= nx1; ++nx, q += 4) {
                    // The pixel itself is transparent, so it never counts.
                    if (q[3] == 0) continue;
                    r += q[0];
                    g += q[1];
                    b += q[2];
                    ++count;
                }
            }
            if (count == 0) {
                p[0] = p[1] = p[2] = 0;
            } else {
                p[0] = static_cast<uint8_t>(r / count);
                p[1] = static_cast<uint8_t>(g / count);
                p[2] = static_cast<uint8_t>(b / count);
            }
        }
    }
}

uint8_t unit_to_byte(double c) {
    const int value = static_cast<int>((c + 1.0) * 0.5 * 255.0);
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// Replaces the colour of every pixel by the normal of the height field given by the blue bytes
// (Sobel slopes, edges wrapping around); alpha is kept.
void normal_map_build(uint8_t* pixels, int32_t tw, int32_t th, std::vector<uint8_t>& heights) {
    const size_t count = static_cast<size_t>(tw) * static_cast<size_t>(th);
    heights.resize(count);
    for (size_t i = 0; i < count; ++i) heights[i] = pixels[i * 4 + 2];
    for (int32_t y = 0; y < th; ++y) {
        const uint8_t* above = heights.data() + static_cast<size_t>((y + th - 1) % th) * tw;
        const uint8_t* row = heights.data() + static_cast<size_t>(y) * tw;
        const uint8_t* below = heights.data() + static_cast<size_t>((y + 1) % th) * tw;
        uint8_t* p = pixels + static_cast<size_t>(y) * tw * 4;
        for (int32_t x = 0; x < tw; ++x, p += 4) {
            const int32_t l = (x + tw - 1) % tw, r = (x + 1) % tw;
            const int32_t sx = (above[l] + 2 * row[l] + below[l]) - (above[r] + 2 * row[r] + below[r]);
            const int32_t sy = (above[l] + 2 * above[x] + above[r]) - (below[l] + 2 * below[x] + below[r]);
            const double nx = sx / 255.0, ny = sy / 255.0;
            const double length = std::sqrt(nx * nx + ny * ny + 1.0);
            p[0] = unit_to_byte(nx / length);
            p[1] = unit_to_byte(ny / length);
            p[2] = unit_to_byte(1.0 / length);
        }
    }
}

// Halves the larger side of a w x h RGBA buffer in place, averaging pixel pairs, until it is
// square; returns the side. Destinations never lie past their sources, so forward walks are safe.
int32_t square_in_place(uint8_t* pixels, int32_t w, int32_t h) {
    while (w > h) {
        const int32_t half = w / 2;
        uint8_t* dst = pixels;
        const uint8_t* src = pixels;
        for (size_t i = 0; i < static_cast<size_t>(half) * h; ++i, dst += 4, src += 8) {
            for (int32_t c = 0; c < 4; ++c) dst[c] = static_cast<uint8_t>((src[c] + src[4 + c]) >> 1);
        }
        w = half;
    }
    while (h > w) {
        const int32_t half = h / 2;
        const size_t row = static_cast<size_t>(w) * 4;
        for (int32_t y = 0; y < half; ++y) {
            const uint8_t* a = pixels + static_cast<size_t>(2 * y) * row;
            const uint8_t* b = a + row;
            uint8_t* dst = pixels + static_cast<size_t>(y) * row;
            for (size_t i = 0; i < row; ++i) dst[i] = static_cast<uint8_t>((a[i] + b[i]) >> 1);
        }
        h = half;
    }
    return w;
}

// The next mip level of a square n x n RGBA buffer (n >= 2), in place: n / 2 x n / 2. Pixel
// (x, y) weighs source (2x, 2y) 4, its right neighbour 2, the pixel in the next row 2 and its
// right neighbour 1; the last column and row take the first sample twice and the next row's (last
// column) or right neighbour's (last row) once; the last corner copies the first sample.
// Destination pixel i never lies past its first source pixel, so a forward walk is safe.
void mip_level_in_place(uint8_t* pixels, int32_t n) {
    const int32_t m = n / 2;
    const size_t src_row = static_cast<size_t>(n) * 4;
    uint8_t* dst = pixels;
    for (int32_t y = 0; y < m; ++y) {
        const uint8_t* a = pixels + static_cast<size_t>(2 * y) * src_row;
        if (y < m - 1) {
            for (int32_t x = 0; x < m - 1; ++x, a += 8, dst += 4) {
                const uint8_t* down = a + src_row;
                for (int32_t c = 0; c < 4; ++c) {
                    dst[c] = static_cast<uint8_t>((4 * a[c] + 2 * a[4 + c] + 2 * down[c] + down[4 + c]) / 9);
                }
            }
            for (int32_t c = 0; c < 4; ++c) dst[c] = static_cast<uint8_t>((2 * a[c] + a[src_row + c]) / 3);
        } else {
            for (int32_t x = 0; x < m - 1; ++x, a += 8, dst += 4) {
                for (int32_t c = 0; c < 4; ++c) dst[c] = static_cast<uint8_t>((2 * a[c] + a[4 + c]) / 3);
            }
            for (int32_t c = 0; c < 4; ++c) dst[c] = a[c];
        }
        dst += 4;
    }
}

void scratch_trim(std::vector<uint8_t>& buffer) {
    if (buffer.capacity() > kScratchKeepBytes) std::vector<uint8_t>().swap(buffer);
}

}  // namespace
}  // namespace rt

void DuraVUZododivi::transparent_colour_set(int32_t colour) {
    sprite_key_ = colour;
    font_key_ = colour;
}

const rt::SpriteRecord* DuraVUZododivi::sprite(int32_t n) const {
    return n >= 0 && n < rt::kSpriteCount ? &sprites_[n] : nullptr;
}

rt::SpriteRecord* DuraVUZododivi::sprite(int32_t n) { return n >= 0 && n < rt::kSpriteCount ? &sprites_[n] : nullptr; }

const rt::PictureSlot* DuraVUZododivi::picture_slot(int32_t slot) const {
    return slot >= 0 && slot < rt::kPictureSlotCount ? &slots_[slot] : nullptr;
}

void DuraVUZododivi::sprite_free(int32_t n) {
    rt::SpriteRecord* record = sprite(n);
    if (!record) return;
    // Free numbers cost no GL call: shut-down frees all 65536 of them.
    if ((record->texture != 0 || record->mip_texture != 0) && gl_ready()) {
        // Name 0 is ignored by glDeleteTextures.
        const GLuint names[2] = {record->texture, record->mip_texture};
        glDeleteTextures(2, names);
    }
    alpha_masks_[n].reset();
    rt::SpriteRecord fresh;
    fresh.frame_width = record->frame_width;
    fresh.frame_height = record->frame_height;
    *record = fresh;
}

bool DuraVUZododivi::picture_load(rt::Picture& picture, const char* name, int32_t key) {
    if (!name || !*name || !picture_reader_) return false;
    rt::FileBytes bytes;
    if (!picture_reader_(name, bytes) || !bytes.data) return false;
    if (!rt::picture_decode(bytes.data, bytes.size, picture, key, name)) return false;
    if (picture.width < 1 || picture.height < 1 || picture.width > rt::kPictureMaxSide ||
        picture.height > rt::kPictureMaxSide) {
        return false;
    }
    return picture.pixels.size() >= static_cast<uint64_t>(picture.width) * static_cast<uint64_t>(picture.height) * 4;
}

bool DuraVUZododivi::texture_upload(const rt::Picture& picture, int32_t x, int32_t y, int32_t w, int32_t h,
                                    uint32_t* texture, uint32_t* mip, bool normal_map, bool font) {
    if (!texture || !gl_ready()) return false;
    if (picture.width < 1 || picture.height < 1 ||
        picture.pixels.size() < static_cast<uint64_t>(picture.width) * static_cast<uint64_t>(picture.height) * 4) {
        return false;
    }
    const int32_t max_side = rt::max_texture_side();
    x = std::max(x, 0);
    y = std::max(y, 0);
    if (w == 0) w = picture.width - x;
    if (h == 0) h = picture.height - y;
    if (w < 1 || h < 1 || max_side < 1) return false;
    w = std::min(w, max_side);
    h = std::min(h, max_side);
    const int32_t tw = rt::texture_side(w), th = rt::texture_side(h);

    // The rectangle turned upside down into the bottom rows; everything else transparent black.
    const size_t row_bytes = static_cast<size_t>(tw) * 4;
    upload_pixels_.resize(row_bytes * static_cast<size_t>(th));
    uint8_t* pixels = upload_pixels_.data();
    const int32_t copy_columns = x < picture.width ? std::min(w, picture.width - x) : 0;
    const size_t copy_bytes = static_cast<size_t>(copy_columns) * 4;
    for (int32_t i = 0; i < h; ++i) {
        uint8_t* dst = pixels + static_cast<size_t>(h - 1 - i) * row_bytes;
        const int64_t source_row = int64_t{y} + i;
        size_t done = 0;
        if (source_row < picture.height && copy_bytes > 0) {
            const uint8_t* src =
                picture.pixels.data() + (static_cast<size_t>(source_row) * static_cast<size_t>(picture.width) + x) * 4;
            std::memcpy(dst, src, copy_bytes);
            done = copy_bytes;
        }
        std::memset(dst + done, 0, row_bytes - done);
    }
    std::memset(pixels + static_cast<size_t>(h) * row_bytes, 0, static_cast<size_t>(th - h) * row_bytes);

    if (!font) rt::colour_bleed(pixels, tw, th);

    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    // The drawing code's binding is put back afterwards (a deleted name reverts to 0 by itself).
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    if (*texture != 0) {
        if (static_cast<GLuint>(previous) == *texture) previous = 0;
        glDeleteTextures(1, texture);
    }
    glGenTextures(1, texture);
    glBindTexture(GL_TEXTURE_2D, *texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    const GLint filter = font ? GL_NEAREST : GL_LINEAR;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);

    if (normal_map) rt::normal_map_build(pixels, tw, th, upload_heights_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);

    if (mip) {
        if (*mip != 0) {
            if (static_cast<GLuint>(previous) == *mip) previous = 0;
            glDeleteTextures(1, mip);
        }
        glGenTextures(1, mip);
        glBindTexture(GL_TEXTURE_2D, *mip);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        int32_t side = rt::square_in_place(pixels, tw, th);
        GLint level = 0;
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        while (side >= 2) {
            rt::mip_level_in_place(pixels, side);
            side /= 2;
            ++level;
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        }
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    rt::scratch_trim(upload_pixels_);
    rt::scratch_trim(upload_heights_);
    return true;
}

bool DuraVUZododivi::sprite_load_picture(int32_t n, const char* name, int32_t key, bool normal_map) {
    rt::SpriteRecord* record = sprite(n);
    if (!record) return false;
    sprite_free(n);
    const bool font = n >= rt::kFirstFontSprite;
    bool ok = picture_load(picture_, name, key) &&
              texture_upload(picture_, 0, 0, 0, 0, &record->texture, font ? nullptr : &record->mip_texture,
                             normal_map && !font, font);
    if (ok) {
        // A picture wider or taller than the largest texture keeps its size; only the top-left
        // part that fits was uploaded.
        const int32_t max_side = rt::max_texture_side();
        const int32_t tw = rt::texture_side(std::min(picture_.width, max_side));
        const int32_t th = rt::texture_side(std::min(picture_.height, max_side));
        record->texture_width = static_cast<int16_t>(tw);
        record->texture_height = static_cast<int16_t>(th);
        record->width = static_cast<int16_t>(picture_.width);
        record->height = static_cast<int16_t>(picture_.height);
        record->u_max = static_cast<float>(picture_.width) / static_cast<float>(tw);
        record->v_max = static_cast<float>(picture_.height) / static_cast<float>(th);
    } else {
        sprite_free(n);
    }
    rt::scratch_trim(picture_.pixels);
    return ok;
}

bool DuraVUZododivi::sprite_load(const char* name, int32_t n, bool normal_map) {
    if (n < 0 || n > rt::kLastOrdinarySprite) return false;
    return sprite_load_picture(n, name, sprite_key_, normal_map);
}

void DuraVUZododivi::sprite_frames_set(int32_t n, int32_t frame_width, int32_t frame_height) {
    rt::SpriteRecord* record = sprite(n);
    if (!record || record->width <= 0) return;
    // The fields are 16 bits; a negative size means not animated.
    record->frame_width = static_cast<int16_t>(std::clamp(frame_width, 0, 32767));
    record->frame_height = static_cast<int16_t>(std::clamp(frame_height, 0, 32767));
}

void DuraVUZododivi::sprite_size(int32_t n, int32_t& width, int32_t& height) const {
    width = height = 0;
    if (const rt::SpriteRecord* record = sprite(n); record && record->width > 0) {
        width = record->width;
        height = record->height;
    }
}

int32_t DuraVUZododivi::sprite_free_number() const {
    for (int32_t n = 0; n <= rt::kLastOrdinarySprite; ++n) {
        if (sprites_[n].width == 0) return n;
    }
    return -1;
}

uint32_t DuraVUZododivi::sprite_texture_id(int32_t n) const {
    const rt::SpriteRecord* record = sprite(n);
    return record ? record->texture : 0;
}

bool DuraVUZododivi::picture_slot_load(int32_t slot, const char* name) {
    if (slot < 0 || slot >= rt::kPictureSlotCount) return false;
    if (!picture_load(picture_, name, rt::kNoColourKey)) {
        rt::scratch_trim(picture_.pixels);
        return false;
    }
    picture_slot_clear(slot);
    bool ok = gl_ready();
    const int32_t side = ok ? std::min(rt::max_texture_side(), rt::kSlotTileSide) : 0;
    ok = ok && side > 0;
    rt::PictureSlot& target = slots_[slot];
    // Eight columns and eight rows at most: a larger picture keeps its top-left part.
    const int32_t columns = ok ? std::min((picture_.width + side - 1) / side, 8) : 0;
    const int32_t rows = ok ? std::min((picture_.height + side - 1) / side, 8) : 0;
    for (int32_t row = 0; ok && row < rows; ++row) {
        for (int32_t column = 0; ok && column < columns; ++column) {
            const int32_t tile = column * 8 + row;
            uint32_t name_out = 0;
            ok = texture_upload(picture_, column * side, row * side, side, side, &name_out, nullptr, false, false);
            target.tile_texture[tile] = static_cast<int32_t>(name_out);
            target.tile_texture_width[tile] = side;
            target.tile_texture_height[tile] = side;
            target.tile_used_width[tile] = side;
            target.tile_used_height[tile] = side;
        }
    }
    rt::scratch_trim(picture_.pixels);
    if (!ok) {
        picture_slot_clear(slot);
        return false;
    }
    target.columns = columns;
    target.rows = rows;
    return true;
}

void DuraVUZododivi::picture_slot_clear(int32_t slot) {
    if (slot < 0 || slot >= rt::kPictureSlotCount) return;
    rt::PictureSlot& target = slots_[slot];
    if (gl_ready()) {
        GLuint names[rt::kSlotTiles];
        for (int32_t i = 0; i < rt::kSlotTiles; ++i) names[i] = static_cast<GLuint>(target.tile_texture[i]);
        glDeleteTextures(rt::kSlotTiles, names);
    }
    target = rt::PictureSlot{};
}

bool DuraVUZododivi::background_load(const char* name) {
    if (picture_slot_load(0, name)) {
        picture_slot_draw(0);
        return true;
    }
    picture_slot_clear(0);
    screen_clear(0);
    return false;
}

void DuraVUZododivi::background_colour_set(int32_t colour) {
    picture_slot_clear(0);
    screen_clear(colour);
}

const uint8_t* DuraVUZododivi::sprite_alpha_mask(int32_t n) {
    const rt::SpriteRecord* record = sprite(n);
    if (!record || record->width <= 0) return nullptr;
    if (alpha_masks_[n]) return alpha_masks_[n].get();
    if (!gl_ready() || record->texture == 0) return nullptr;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, record->texture);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    w = std::max(w, 0);
    h = std::max(h, 0);
    // Readers index the mask by the record's texture size: the block covers that as well.
    const uint64_t texture_bytes = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
    const uint64_t record_bytes = static_cast<uint64_t>(std::max<int32_t>(record->texture_width, 0)) *
                                  static_cast<uint64_t>(std::max<int32_t>(record->texture_height, 0));
    const size_t bytes = static_cast<size_t>(std::max({texture_bytes, record_bytes, uint64_t{64}}));
    auto mask = std::make_unique<uint8_t[]>(bytes);
    if (texture_bytes > 0) {
        GLint pack_alignment = 4;
        glGetIntegerv(GL_PACK_ALIGNMENT, &pack_alignment);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, mask.get());
        glPixelStorei(GL_PACK_ALIGNMENT, pack_alignment);
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    alpha_masks_[n] = std::move(mask);
    return alpha_masks_[n].get();
}

void DuraVUZododivi::sprite_alpha_mask_drop(int32_t n) {
    if (n >= 0 && n < rt::kSpriteCount) alpha_masks_[n].reset();
}

// ---- game commands ----

namespace {

void sprite_load_command(const RtString& name, int32_t n, bool normal_map) {
    DuraVUZododivi* display = rt::display_service();
    if (!display) return;
    error_code_clear();
    if (!display->sprite_load(name.c_str(), n, normal_map)) error_code_set(kErrNoSuchFile);
}

}  // namespace

void transparent_colour_set(int32_t colour) {
    if (DuraVUZododivi* display = rt::display_service()) display->transparent_colour_set(colour);
}

void sprite_load(const RtString& name, int32_t n) { sprite_load_command(name, n, false); }

void sprite_load_normal_map(const RtString& name, int32_t n) { sprite_load_command(name, n, true); }

void sprite_load_animated(const RtString& name, int32_t n, int32_t frame_width, int32_t frame_height) {
    sprite_load_command(name, n, false);
    if (DuraVUZododivi* display = rt::display_service()) display->sprite_frames_set(n, frame_width, frame_height);
}

void sprite_frames_set(int32_t n, int32_t frame_width, int32_t frame_height) {
    if (DuraVUZododivi* display = rt::display_service()) display->sprite_frames_set(n, frame_width, frame_height);
}

void sprite_size(int32_t n, int32_t& width, int32_t& height) {
    width = height = 0;
    if (DuraVUZododivi* display = rt::display_service()) display->sprite_size(n, width, height);
}

void sprite_size(int32_t n, double& width, double& height) {
    int32_t w = 0, h = 0;
    sprite_size(n, w, h);
    width = w;
    height = h;
}

int32_t sprite_free_number() {
    DuraVUZododivi* display = rt::display_service();
    return display ? display->sprite_free_number() : 0;
}

int32_t sprite_texture_id(int32_t n) {
    DuraVUZododivi* display = rt::display_service();
    return display ? static_cast<int32_t>(display->sprite_texture_id(n)) : 0;
}

void background_load(const RtString& name) {
    DuraVUZododivi* display = rt::display_service();
    if (!display) return;
    error_code_clear();
    if (!display->background_load(name.c_str())) error_code_set(kErrNoSuchFile);
}

void background_colour_set(int32_t colour) {
    if (DuraVUZododivi* display = rt::display_service()) display->background_colour_set(colour);
}
