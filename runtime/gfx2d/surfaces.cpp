// Off-screen surfaces (framebuffer objects, or the back-buffer corner with a copy), screen grabs
// into sprites and picture slots, single pixels, lines, filled rectangles, the read-back form of
// the colour key and saving the screen or a sprite as a picture file.
#include "runtime/gfx2d/surfaces.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "runtime/core/errors.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/gfx2d/picture_codec.h"
#include "runtime/platform/fs.h"

namespace rt {
namespace {

// Texture sides stay within the int16 fields of the sprite record.
constexpr int32_t kLargestTextureSide = 16384;

int32_t max_texture_size() {
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return std::clamp<int32_t>(size, 64, kLargestTextureSide);
}

// The smallest power of two >= size, starting from `from`; size is at most kLargestTextureSide.
int32_t power_of_two_at_least(int32_t size, int32_t from) {
    int32_t p = from;
    while (p < size) p *= 2;
    return p;
}

int32_t clamp_to_int32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Sizes buffer to count zero bytes; false when memory runs out.
bool buffer_assign(std::vector<uint8_t>& buffer, size_t count) {
    try {
        buffer.assign(count, 0);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Tightly packed transfers in both directions, whatever an earlier caller left set.
void pixel_store_reset() {
    for (GLenum pname : {GL_PACK_ROW_LENGTH, GL_PACK_SKIP_ROWS, GL_PACK_SKIP_PIXELS, GL_UNPACK_ROW_LENGTH,
                         GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS}) {
        glPixelStorei(pname, 0);
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

void read_buffer_select(bool framebuffer_object) {
    glReadBuffer(framebuffer_object ? GL_COLOR_ATTACHMENT0_EXT : GL_BACK);
}

// Generates and binds a texture with an undefined RGBA8 image of w x h (repeat, linear).
GLuint texture_blank_create(int32_t w, int32_t h) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    return name;
}

// Binds the window's framebuffer for reading the screen while a surface's framebuffer object is
// selected, and puts the object back afterwards.
class WindowFramebufferScope {
public:
    WindowFramebufferScope(const GlExtensionTable& gl, bool object) : gl_(gl), object_(object) {
        if (!object_ || !gl_.glBindFramebufferEXT) return;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &previous_);
        gl_.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    }
    ~WindowFramebufferScope() {
        if (object_ && gl_.glBindFramebufferEXT) gl_.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, previous_);
    }
    WindowFramebufferScope(const WindowFramebufferScope&) = delete;
    WindowFramebufferScope& operator=(const WindowFramebufferScope&) = delete;

private:
    const GlExtensionTable& gl_;
    bool object_;
    GLint previous_ = 0;
};

// Primitives draw untextured, without the alpha test, in the colour given (alpha 0 for the
// colour key), with the projection moved by 3/8 pixel so that integer coordinates hit the pixel
// they name. primitive_end restores white with the global alpha and the alpha test.
void primitive_begin(DuraVUZododivi& display, int32_t colour) {
    glDisable(GL_ALPHA_TEST);
    display.sprite_bind(-1, -1, 0, nullptr);
    auto c = static_cast<uint32_t>(colour);
    float alpha = std::clamp(display.global_alpha(), 0.0f, 1.0f);
    auto a = static_cast<GLubyte>(colour == display.sprite_key() ? 0 : alpha * 255.0f);
    glColor4ub(static_cast<GLubyte>(c & 0xFF), static_cast<GLubyte>((c >> 8) & 0xFF),
               static_cast<GLubyte>((c >> 16) & 0xFF), a);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glTranslatef(0.375f, 0.375f, 0.0f);
    glMatrixMode(GL_MODELVIEW);
}

void primitive_end(const DuraVUZododivi& display) {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glColor4f(1, 1, 1, display.global_alpha());
    glEnable(GL_ALPHA_TEST);
}

// A colour as read back into BGRA bytes, in the form key_colour_probe gives: B | G << 8 | R << 16.
int32_t bgra_colour(const uint8_t* bgra) { return bgra[0] | bgra[1] << 8 | bgra[2] << 16; }

// Turns bottom-up RGBA rows into the top-down order of a Picture.
void rows_flip(Picture& picture) {
    size_t row_bytes = static_cast<size_t>(picture.width) * 4;
    std::vector<uint8_t> swap(row_bytes);
    for (int32_t top = 0, bottom = picture.height - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = picture.pixels.data() + static_cast<size_t>(top) * row_bytes;
        uint8_t* b = picture.pixels.data() + static_cast<size_t>(bottom) * row_bytes;
        std::memcpy(swap.data(), a, row_bytes);
        std::memcpy(a, b, row_bytes);
        std::memcpy(b, swap.data(), row_bytes);
    }
}

// Encodes picture in the format that name selects and replaces the file in one step. PNG keeps
// a colour channel: pixels of the key's read-back colour (probe, B | G << 8 | R << 16) get
// alpha 0 unless probe is 0 or -1 (no key); every other pixel is opaque.
bool picture_write(const char* name, Picture& picture, int32_t probe) {
    if (!name || !*name || std::strncmp(name, "mem://", 6) == 0) return false;
    PictureFormat format = picture_format_for_name(name);
    size_t count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    bool keyed = format == PictureFormat::png && probe != 0 && probe != -1;
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = picture.pixels.data() + i * 4;
        bool key = keyed && (p[2] | p[1] << 8 | p[0] << 16) == probe;
        p[3] = key ? 0 : 255;
    }
    std::vector<uint8_t> bytes;
    bool encoded = false;
    try {
        switch (format) {
            case PictureFormat::png:
                encoded = png_encode(picture, bytes);
                break;
            case PictureFormat::jpeg:
                encoded = jpeg_encode(picture, 80, bytes);
                break;
            case PictureFormat::bmp:
                encoded = bmp_encode(picture, bytes);
                break;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return encoded && !bytes.empty() && platform_file_replace(name, bytes.data(), bytes.size());
}

}  // namespace
}  // namespace rt

// ---- surfaces ----

void DuraVUZododivi::target_framebuffer(int32_t& width, int32_t& height, bool& object) const {
    width = width_;
    height = height_;
    object = false;
    if (render_target_ < 0 || render_target_ >= rt::kSurfaceCount) return;
    const rt::SurfaceEntry& entry = surfaces_[render_target_];
    const rt::SpriteRecord* record = sprite(entry.sprite);
    if (!record) return;
    if (entry.fbo_width != 0) {
        object = true;
        width = record->width;
        height = record->height;
    } else {
        // The copy fallback draws into the back buffer's top left corner.
        width = std::min<int32_t>(record->width, width_);
        height = std::min<int32_t>(record->height, height_);
    }
}

const rt::SurfaceEntry* DuraVUZododivi::surface(int32_t s) const {
    return s >= 0 && s < rt::kSurfaceCount ? &surfaces_[s] : nullptr;
}

void DuraVUZododivi::framebuffer_objects_disable() { framebuffers_disabled_ = true; }

void DuraVUZododivi::surface_create(int32_t s, int32_t n, int32_t w, int32_t h) {
    if (s < 0 || s >= rt::kSurfaceCount || !sprite(n) || w < 1 || h < 1 || !gl_ready()) return;
    if (render_target_ == s) surface_use_screen();
    int32_t largest = rt::max_texture_size();
    w = std::min(w, largest);
    h = std::min(h, largest);
    int32_t tw = rt::power_of_two_at_least(w, 2);
    int32_t th = rt::power_of_two_at_least(h, 2);

    sprite_free(n);
    rt::Picture blank;
    blank.width = tw;
    blank.height = th;
    rt::SpriteRecord* record = sprite(n);
    if (!rt::buffer_assign(blank.pixels, static_cast<size_t>(tw) * static_cast<size_t>(th) * 4)) return;
    if (!texture_upload(blank, 0, 0, 0, 0, &record->texture, nullptr, false, false) || record->texture == 0) return;
    // The upload rounds small sides up (to 16): the record keeps the size the texture really has.
    GLint real_w = 0, real_h = 0;
    glBindTexture(GL_TEXTURE_2D, record->texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &real_w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &real_h);
    if (real_w < w || real_h < h || real_w > rt::kLargestTextureSide || real_h > rt::kLargestTextureSide) {
        real_w = std::max(tw, 16);
        real_h = std::max(th, 16);
    }
    record->width = static_cast<int16_t>(w);
    record->height = static_cast<int16_t>(h);
    record->texture_width = static_cast<int16_t>(real_w);
    record->texture_height = static_cast<int16_t>(real_h);
    record->u_max = static_cast<float>(w) / static_cast<float>(real_w);
    record->v_max = static_cast<float>(h) / static_cast<float>(real_h);

    rt::SurfaceEntry& entry = surfaces_[s];
    const rt::GlExtensionTable& gl = extensions_;
    if (entry.framebuffer != 0 && gl.glDeleteFramebuffersEXT) gl.glDeleteFramebuffersEXT(1, &entry.framebuffer);
    if (entry.depth_buffer != 0 && gl.glDeleteRenderbuffersEXT) gl.glDeleteRenderbuffersEXT(1, &entry.depth_buffer);
    entry = rt::SurfaceEntry{};
    entry.sprite = n;
    surfaces_live_ |= 1u << s;

    bool entry_points = gl.glGenFramebuffersEXT && gl.glGenRenderbuffersEXT && gl.glBindRenderbufferEXT &&
                        gl.glRenderbufferStorageEXT && gl.glCheckFramebufferStatusEXT && gl.glBindFramebufferEXT &&
                        gl.glFramebufferTexture2DEXT && gl.glFramebufferRenderbufferEXT && gl.glDeleteFramebuffersEXT &&
                        gl.glDeleteRenderbuffersEXT;
    if (framebuffers_disabled_ || !entry_points) return;
    gl.glGenFramebuffersEXT(1, &entry.framebuffer);
    if (entry.framebuffer == 0) {
        std::puts("glGenFramebuffersExt failed");
        return;
    }
    gl.glGenRenderbuffersEXT(1, &entry.depth_buffer);
    if (entry.depth_buffer == 0) {
        std::puts("glGenRenderbuffersExt failed");
        gl.glDeleteFramebuffersEXT(1, &entry.framebuffer);
        entry.framebuffer = 0;
        return;
    }
    gl.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, entry.depth_buffer);
    gl.glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, real_w, real_h);
    gl.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
    // The status is that of the surface's own framebuffer with its attachments in place.
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &previous);
    gl.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, entry.framebuffer);
    gl.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, record->texture, 0);
    gl.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                    entry.depth_buffer);
    GLenum status = gl.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    gl.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(previous));
    if (status == GL_FRAMEBUFFER_COMPLETE_EXT) {
        entry.fbo_width = real_w;
        entry.fbo_height = real_h;
        return;
    }
    std::puts("glCheckFramebufferStatusExt failed");
    gl.glDeleteFramebuffersEXT(1, &entry.framebuffer);
    gl.glDeleteRenderbuffersEXT(1, &entry.depth_buffer);
    entry.framebuffer = 0;
    entry.depth_buffer = 0;
}

void DuraVUZododivi::surface_use(int32_t s) {
    if (s < 0 || s >= rt::kSurfaceCount) {
        surface_use_screen();
        return;
    }
    if (!gl_ready() || (surfaces_live_ & (1u << s)) == 0) return;
    rt::SurfaceEntry& entry = surfaces_[s];
    const rt::SpriteRecord* record = sprite(entry.sprite);
    if (!record || record->width <= 0 || record->height <= 0 || record->texture == 0) return;
    if (render_target_ != -1) surface_use_screen();

    int32_t w = record->width, h = record->height;
    render_target_ = s;
    if (entry.fbo_width != 0) {
        const rt::GlExtensionTable& gl = extensions_;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &entry.saved_binding);
        gl.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, entry.framebuffer);
        gl.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, record->texture, 0);
        if (entry.depth_buffer != 0) {
            gl.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                            entry.depth_buffer);
        }
        viewport_set(0, 0, w, h);
        glViewport(0, 0, w, h);
    } else {
        // The screen corner is kept in the scratch sprite and the surface's picture drawn over the
        // key colour, so that holes in it stay holes.
        viewport_set(0, 0, w, h);
        sprite_grab(rt::kLastOrdinarySprite, 0, 0, w, h);
        rect_fill(0, 0, w, h, sprite_key_);
        sprite_draw(entry.sprite, 0, 0);
    }
    sprite_alpha_mask_drop(entry.sprite);
}

void DuraVUZododivi::surface_use_screen() {
    if (gl_ready() && render_target_ >= 0 && render_target_ < rt::kSurfaceCount) {
        rt::SurfaceEntry& entry = surfaces_[render_target_];
        if (entry.fbo_width != 0) {
            if (extensions_.glBindFramebufferEXT) {
                extensions_.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(entry.saved_binding));
            }
        } else if (const rt::SpriteRecord* record = sprite(entry.sprite); record && record->width > 0) {
            int32_t w = record->width, h = record->height;
            sprite_grab(entry.sprite, 0, 0, w, h);
            // Only the corner the surface used is restored; the screen beside it was never touched.
            rect_fill(0, 0, w, h, 0);
            glDisable(GL_BLEND);
            glDisable(GL_ALPHA_TEST);
            sprite_draw(rt::kLastOrdinarySprite, 0, 0);
            glEnable(GL_ALPHA_TEST);
        }
    }
    render_target_ = -1;
    viewport_set(0, 0, 0, 0);
}

// ---- grabs ----

void DuraVUZododivi::sprite_grab(int32_t n, int32_t x, int32_t y, int32_t w, int32_t h) {
    rt::SpriteRecord* record = sprite(n);
    if (!record || w < 1 || h < 1 || !gl_ready()) return;
    int32_t largest = rt::max_texture_size();
    w = std::min(w, largest);
    h = std::min(h, largest);
    record->frame_width = 0;
    record->frame_height = 0;
    sprite_alpha_mask_drop(n);

    int32_t tw = rt::power_of_two_at_least(w, 16);
    int32_t th = rt::power_of_two_at_least(h, 16);
    if (record->texture != 0 && record->texture_width == tw && record->texture_height == th) {
        glBindTexture(GL_TEXTURE_2D, record->texture);
    } else {
        if (record->texture != 0) glDeleteTextures(1, &record->texture);
        if (record->mip_texture != 0) glDeleteTextures(1, &record->mip_texture);
        record->mip_texture = 0;
        record->texture = rt::texture_blank_create(tw, th);
    }
    record->width = static_cast<int16_t>(w);
    record->height = static_cast<int16_t>(h);
    record->texture_width = static_cast<int16_t>(tw);
    record->texture_height = static_cast<int16_t>(th);
    record->u_max = static_cast<float>(w) / static_cast<float>(tw);
    record->v_max = static_cast<float>(h) / static_cast<float>(th);

    int32_t target_w = 0, target_h = 0;
    bool object = false;
    target_framebuffer(target_w, target_h, object);
    int32_t source_y = rt::clamp_to_int32(int64_t{object ? target_h : height_} - y - h);
    rt::read_buffer_select(object);
    // A surface's framebuffer object is RGBA8; the window's may lack alpha.
    if (!object && framebuffer_alpha_bits_ == 0) glGetIntegerv(GL_ALPHA_BITS, &framebuffer_alpha_bits_);
    if ((object || framebuffer_alpha_bits_ != 0) && !grab_read_back_forced_) {
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, source_y, w, h);
        return;
    }
    // Without alpha bits the key colour marks the transparent pixels. Rows stay bottom-up.
    rt::pixel_store_reset();
    if (!rt::buffer_assign(grab_buffer_, static_cast<size_t>(tw) * static_cast<size_t>(th) * 4)) return;
    glReadPixels(x, source_y, tw, th, GL_BGRA, GL_UNSIGNED_BYTE, grab_buffer_.data());
    int32_t key = key_colour_probe();
    if (key != -1) {
        for (size_t i = 0; i < grab_buffer_.size(); i += 4) {
            if (rt::bgra_colour(&grab_buffer_[i]) == key) grab_buffer_[i + 3] = 0;
        }
    }
    glBindTexture(GL_TEXTURE_2D, record->texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_BGRA, GL_UNSIGNED_BYTE, grab_buffer_.data());
}

void DuraVUZododivi::picture_slot_grab(int32_t slot) {
    if (slot < 0 || slot >= rt::kPictureSlotCount || !gl_ready() || width_ < 1 || height_ < 1) return;
    int32_t largest = rt::max_texture_size();
    int32_t side = 128;
    while (side < std::max(width_, height_) && side < largest) side *= 2;
    side = std::min(side, largest);
    // At most 8 x 8 tiles: a screen larger than that many tiles keeps its top left part.
    int32_t columns = std::min((width_ + side - 1) / side, 8);
    int32_t rows = std::min((height_ + side - 1) / side, 8);

    int32_t target_w = 0, target_h = 0;
    bool object = false;
    target_framebuffer(target_w, target_h, object);
    GLint previous_texture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous_texture);
    {
        rt::WindowFramebufferScope window(extensions_, object);
        glReadBuffer(GL_BACK);
        rt::PictureSlot& s = slots_[slot];
        for (int32_t column = 0; column < columns; ++column) {
            for (int32_t row = 0; row < rows; ++row) {
                int32_t tile = column * 8 + row;
                auto name = static_cast<GLuint>(s.tile_texture[tile]);
                if (name != 0 && s.tile_texture_width[tile] == side && s.tile_texture_height[tile] == side) {
                    glBindTexture(GL_TEXTURE_2D, name);
                } else {
                    if (name != 0) glDeleteTextures(1, &name);
                    name = rt::texture_blank_create(side, side);
                }
                int32_t left = column * side, top = row * side;
                int32_t used_w = std::min(side, width_ - left);
                int32_t used_h = std::min(side, height_ - top);
                glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, left, height_ - top - used_h, used_w, used_h);
                s.tile_texture[tile] = static_cast<int32_t>(name);
                s.tile_texture_width[tile] = side;
                s.tile_texture_height[tile] = side;
                s.tile_used_width[tile] = used_w;
                s.tile_used_height[tile] = used_h;
            }
        }
        s.columns = columns;
        s.rows = rows;
    }
    rt::read_buffer_select(object);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous_texture));
}

void DuraVUZododivi::picture_slot_draw(int32_t slot) {
    if (slot < 0 || slot >= rt::kPictureSlotCount || !gl_ready()) return;
    const rt::PictureSlot& s = slots_[slot];
    if (s.columns <= 0 || s.rows <= 0) return;
    glDisable(GL_ALPHA_TEST);
    if (extensions_.glActiveTextureARB) {
        extensions_.glActiveTextureARB(GL_TEXTURE1_ARB);
        glDisable(GL_TEXTURE_2D);
        extensions_.glActiveTextureARB(GL_TEXTURE0_ARB);
    }
    glEnable(GL_TEXTURE_2D);
    GLint filter = smoothing_ ? GL_LINEAR : GL_NEAREST;
    int32_t columns = std::min(s.columns, 8), rows = std::min(s.rows, 8);
    for (int32_t column = 0; column < columns; ++column) {
        for (int32_t row = 0; row < rows; ++row) {
            int32_t tile = column * 8 + row;
            auto name = static_cast<GLuint>(s.tile_texture[tile]);
            int32_t size_w = s.tile_texture_width[tile], size_h = s.tile_texture_height[tile];
            if (name == 0 || size_w <= 0 || size_h <= 0) continue;
            auto x = static_cast<float>(column * size_w), y = static_cast<float>(row * size_h);
            auto w = static_cast<float>(s.tile_used_width[tile]), h = static_cast<float>(s.tile_used_height[tile]);
            float u = w / static_cast<float>(size_w), v = h / static_cast<float>(size_h);
            glBindTexture(GL_TEXTURE_2D, name);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glBegin(GL_QUADS);
            glTexCoord2f(0, v);
            glVertex2f(x, y);
            glTexCoord2f(u, v);
            glVertex2f(x + w, y);
            glTexCoord2f(u, 0);
            glVertex2f(x + w, y + h);
            glTexCoord2f(0, 0);
            glVertex2f(x, y + h);
            glEnd();
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        }
    }
    glEnable(GL_ALPHA_TEST);
    sprite_bind(-1, -1, 0, nullptr);
}

// ---- pixels and primitives ----

int32_t DuraVUZododivi::pixel_get(int32_t x, int32_t y) {
    if (!gl_ready()) return 0;
    int32_t w = 0, h = 0;
    bool object = false;
    target_framebuffer(w, h, object);
    if (x < 0 || y < 0 || x >= w || y >= h) return 0;
    uint8_t p[4] = {};
    rt::read_buffer_select(object);
    rt::pixel_store_reset();
    glReadPixels(x, (object ? h : height_) - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return p[0] | p[1] << 8 | p[2] << 16;
}

void DuraVUZododivi::pixel_set(int32_t x, int32_t y, int32_t colour) {
    if (!gl_ready()) return;
    rt::primitive_begin(*this, colour);
    glBegin(GL_POINTS);
    glVertex2f(static_cast<float>(x), static_cast<float>(y));
    glEnd();
    rt::primitive_end(*this);
}

void DuraVUZododivi::line_draw(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t colour) {
    if (!gl_ready()) return;
    rt::primitive_begin(*this, colour);
    // A line leaves out its last pixel: the point puts it in.
    glBegin(GL_LINES);
    glVertex2f(static_cast<float>(x1), static_cast<float>(y1));
    glVertex2f(static_cast<float>(x2), static_cast<float>(y2));
    glEnd();
    glBegin(GL_POINTS);
    glVertex2f(static_cast<float>(x2), static_cast<float>(y2));
    glEnd();
    rt::primitive_end(*this);
}

void DuraVUZododivi::rect_fill(int32_t x, int32_t y, int32_t w, int32_t h, int32_t colour) {
    if (!gl_ready()) return;
    // A negative size extends left (up) from the pixel at x (y) itself.
    int64_t left = w >= 0 ? x : int64_t{x} + w + 1, right = w >= 0 ? int64_t{x} + w : int64_t{x} + 1;
    int64_t top = h >= 0 ? y : int64_t{y} + h + 1, bottom = h >= 0 ? int64_t{y} + h : int64_t{y} + 1;
    rt::primitive_begin(*this, colour);
    glBegin(GL_QUADS);
    glVertex2f(static_cast<float>(left), static_cast<float>(top));
    glVertex2f(static_cast<float>(right), static_cast<float>(top));
    glVertex2f(static_cast<float>(right), static_cast<float>(bottom));
    glVertex2f(static_cast<float>(left), static_cast<float>(bottom));
    glEnd();
    rt::primitive_end(*this);
}

int32_t DuraVUZododivi::key_colour_probe() {
    if (sprite_key_ == 0 || !gl_ready()) return 0;
    if (sprite_key_ == -1) return -1;  // no key: matches no colour
    int32_t target_w = 0, target_h = 0;
    bool object = false;
    target_framebuffer(target_w, target_h, object);
    int32_t frame_w = object ? target_w : width_, frame_h = object ? target_h : height_;
    auto key = static_cast<uint32_t>(sprite_key_);
    if (frame_w < 1 || frame_h < 1)
        return static_cast<int32_t>((key >> 16 & 0xFF) | (key & 0xFF00) | (key & 0xFF) << 16);
    // The key is written with a one-pixel scissored clear, which neither blending, the alpha test
    // nor the projection can alter, read back and the pixel put back as it was.
    int32_t px = std::min(4, frame_w - 1), py = std::min(4, frame_h - 1);
    GLboolean scissor_on = glIsEnabled(GL_SCISSOR_TEST);
    GLint box[4] = {};
    GLfloat clear[4] = {};
    glGetIntegerv(GL_SCISSOR_BOX, box);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    rt::read_buffer_select(object);
    rt::pixel_store_reset();
    uint8_t saved[4] = {}, probe[4] = {};
    glReadPixels(px, py, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, saved);
    glEnable(GL_SCISSOR_TEST);
    glScissor(px, py, 1, 1);
    glClearColor(static_cast<float>(key & 0xFF) / 255.0f, static_cast<float>(key >> 8 & 0xFF) / 255.0f,
                 static_cast<float>(key >> 16 & 0xFF) / 255.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glReadPixels(px, py, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, probe);
    glClearColor(saved[2] / 255.0f, saved[1] / 255.0f, saved[0] / 255.0f, saved[3] / 255.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    glScissor(box[0], box[1], box[2], box[3]);
    if (!scissor_on) glDisable(GL_SCISSOR_TEST);
    return rt::bgra_colour(probe);
}

// ---- saving ----

bool DuraVUZododivi::screen_save(const char* name) {
    if (!gl_ready() || width_ < 1 || height_ < 1) return false;
    rt::Picture picture;
    picture.width = width_;
    picture.height = height_;
    if (!rt::buffer_assign(picture.pixels, static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4)) {
        return false;
    }
    int32_t target_w = 0, target_h = 0;
    bool object = false;
    target_framebuffer(target_w, target_h, object);
    {
        rt::WindowFramebufferScope window(extensions_, object);
        glReadBuffer(GL_BACK);
        rt::pixel_store_reset();
        glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, picture.pixels.data());
    }
    rt::read_buffer_select(object);
    rt::rows_flip(picture);
    bool png = name && rt::picture_format_for_name(name) == rt::PictureFormat::png;
    return rt::picture_write(name, picture, png ? key_colour_probe() : 0);
}

bool DuraVUZododivi::sprite_save(const char* name, int32_t n) {
    const rt::SpriteRecord* record = sprite(n);
    if (!record || record->width <= 0 || record->height <= 0 || record->texture == 0 || !gl_ready()) {
        return false;
    }
    GLint previous = 0, texture_w = 0, texture_h = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, record->texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &texture_w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &texture_h);
    bool sized = texture_w >= 1 && texture_h >= 1 && texture_w <= rt::kLargestTextureSide &&
                 texture_h <= rt::kLargestTextureSide;
    std::vector<uint8_t> texels;
    if (sized) sized = rt::buffer_assign(texels, static_cast<size_t>(texture_w) * static_cast<size_t>(texture_h) * 4);
    if (sized) {
        rt::pixel_store_reset();
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    if (!sized) return false;

    // Texture rows are bottom-up with the picture in the corner at row 0, column 0.
    rt::Picture picture;
    picture.width = std::min<int32_t>(record->width, texture_w);
    picture.height = std::min<int32_t>(record->height, texture_h);
    size_t row_bytes = static_cast<size_t>(picture.width) * 4;
    if (!rt::buffer_assign(picture.pixels, row_bytes * static_cast<size_t>(picture.height))) return false;
    for (int32_t row = 0; row < picture.height; ++row) {
        const uint8_t* from = texels.data() + static_cast<size_t>(picture.height - 1 - row) * texture_w * 4;
        std::memcpy(picture.pixels.data() + static_cast<size_t>(row) * row_bytes, from, row_bytes);
    }
    bool png = name && rt::picture_format_for_name(name) == rt::PictureFormat::png;
    return rt::picture_write(name, picture, png ? key_colour_probe() : 0);
}

// ---- game commands ----

void surface_create(int32_t surface, int32_t n, int32_t width, int32_t height) {
    if (DuraVUZododivi* display = rt::display_service()) display->surface_create(surface, n, width, height);
}

void surface_use(int32_t surface) {
    if (DuraVUZododivi* display = rt::display_service()) display->surface_use(surface);
}

void surface_use_screen() {
    if (DuraVUZododivi* display = rt::display_service()) display->surface_use_screen();
}

void sprite_grab(int32_t n, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (DuraVUZododivi* display = rt::display_service()) display->sprite_grab(n, x, y, width, height);
}

void background_grab() {
    if (DuraVUZododivi* display = rt::display_service()) display->background_grab();
}

void picture_slot_grab(int32_t slot) {
    if (DuraVUZododivi* display = rt::display_service()) display->picture_slot_grab(slot);
}

void picture_slot_draw(int32_t slot) {
    if (DuraVUZododivi* display = rt::display_service()) display->picture_slot_draw(slot);
}

int32_t pixel_get(int32_t x, int32_t y) {
    DuraVUZododivi* display = rt::display_service();
    return display ? display->pixel_get(x, y) : 0;
}

void pixel_set(int32_t x, int32_t y, int32_t colour) {
    if (DuraVUZododivi* display = rt::display_service()) display->pixel_set(x, y, colour);
}

void line_draw(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t colour) {
    if (DuraVUZododivi* display = rt::display_service()) display->line_draw(x1, y1, x2, y2, colour);
}

void rect_fill(int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour) {
    if (DuraVUZododivi* display = rt::display_service()) display->rect_fill(x, y, width, height, colour);
}

int32_t screen_save(const RtString& name) {
    error_code_clear();
    DuraVUZododivi* display = rt::display_service();
    if (display && display->screen_save(name.c_str())) return 1;
    error_code_set(kErrNoSuchFile);
    return 0;
}

int32_t sprite_save(const RtString& name, int32_t n) {
    error_code_clear();
    DuraVUZododivi* display = rt::display_service();
    if (display && display->sprite_save(name.c_str(), n)) return 0;
    error_code_set(kErrNoSuchFile);
    return 3;
}

int32_t key_colour_probe() {
    DuraVUZododivi* display = rt::display_service();
    return display ? display->key_colour_probe() : 0;
}
