// Sprite drawing: plain, stretched, zoomed, rotated and framed sprites, polygons, the blending mode
// and global alpha, the texture binder every renderer part uses, and the pixel-exact collision
// test between two sprites.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "runtime/gfx2d/display_service.h"
#include "runtime/gfx2d/sprites.h"

namespace rt {
namespace {

constexpr size_t kPolygonBlock = 256;  // vertices by which the polygon buffer grows
// Vertex counts are int32 (and GL counts are GLsizei): the buffer stops growing below that.
constexpr size_t kPolygonMaxVertices = size_t{std::numeric_limits<int32_t>::max()} - kPolygonBlock;
constexpr double kRadiansPerDegree = 0.017453292;

// The double truncated toward zero and held inside the int32 range; NaN gives 0.
int32_t truncate_to_int32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// Grows the polygon buffer in whole blocks, keeping its contents, until it holds needed vertices;
// false when it cannot (the vertex is then dropped).
bool polygon_room(std::vector<PolygonVertex>& buffer, size_t needed) {
    if (needed <= buffer.size()) return true;
    if (needed > kPolygonMaxVertices) return false;
    try {
        buffer.resize((needed + kPolygonBlock - 1) / kPolygonBlock * kPolygonBlock);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// A frame's texture rectangle: u0 ... u1 left to right, v0 (bottom edge) ... v1 (top edge).
struct TexRect {
    float u0, v0, u1, v1;
};

// Whether n is a sprite number with an animation frame size.
bool framed(const SpriteRecord* sprites, int32_t n) {
    return n >= 0 && n < kSpriteCount && sprites[n].frame_width > 0 && sprites[n].frame_height > 0;
}

// The frame's place in the strip, frames numbered row by row from the top left.
void frame_cell(const SpriteRecord& s, int32_t frame, int64_t& column, int64_t& row) {
    int32_t per_row = s.width / s.frame_width;
    column = per_row != 0 ? frame % per_row : frame;
    row = per_row != 0 ? frame / per_row : 0;
}

TexRect frame_tex_rect(const SpriteRecord& s, int32_t frame) {
    int64_t column = 0, row = 0;
    frame_cell(s, frame, column, row);
    double tw = s.texture_width, th = s.texture_height;
    double u0 = static_cast<double>(column * s.frame_width) / tw;
    double v0 = static_cast<double>(s.height - s.frame_height * (row + 1)) / th;
    return TexRect{static_cast<float>(u0), static_cast<float>(v0), static_cast<float>(u0 + s.frame_width / tw),
                   static_cast<float>(v0 + s.frame_height / th)};
}

// One quad with its corners on the screen's pixel grid, laid out as in the plain sprite draw.
// Immediate mode: the driver keeps consecutive quads in one vertex buffer and draws them together
// as long as no state changes in between, which makes runs of sprite draws cheap.
void grid_quad_draw(int64_t x, int64_t y, int64_t w, int64_t h, const TexRect& t) {
    auto fx0 = static_cast<float>(x), fy0 = static_cast<float>(y);
    auto fx1 = static_cast<float>(x + w), fy1 = static_cast<float>(y + h);
    glBegin(GL_QUADS);
    glTexCoord2f(t.u1, t.v1);
    glVertex2f(fx1, fy0);
    glTexCoord2f(t.u0, t.v1);
    glVertex2f(fx0, fy0);
    glTexCoord2f(t.u0, t.v0);
    glVertex2f(fx0, fy1);
    glTexCoord2f(t.u1, t.v0);
    glVertex2f(fx1, fy1);
    glEnd();
}

void filters_set(uint8_t smoothing) {
    GLint filter = smoothing ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
}

void wrap_set(GLint wrap) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

void name_bind(GLuint name, GLint wrap) {
    glBindTexture(GL_TEXTURE_2D, name);
    glEnable(GL_TEXTURE_2D);
    wrap_set(wrap);
}

// Scans the overlap of two sprites' screen rectangles for a pixel that is opaque in both masks.
// Each side places its whole picture's mask with its top left corner at (x, y); the scanned
// rectangle is the overlap of the two given screen rectangles, clipped to both masks (texels
// outside a mask count as transparent).
struct MaskSide {
    const uint8_t* mask;
    int64_t x, y;                      // screen position of the picture's top left corner
    int64_t height;                    // picture height (rows of the mask counted from its top)
    int64_t mask_width, mask_rows;     // texture size: row length and row count of the mask
    int64_t left, top, right, bottom;  // screen rectangle taking part (right, bottom exclusive)
};

// The side of sprite s drawn at (x, y): the whole picture, or with framed the given frame
// (per_row at least 1; frame numbers are not limited, so the frame may lie outside the picture).
MaskSide mask_side(const SpriteRecord& s, bool framed, int32_t frame, int32_t x, int32_t y) {
    MaskSide m{};
    m.height = s.height;
    m.mask_width = std::max<int64_t>(s.texture_width, 0);
    m.mask_rows = std::max<int64_t>(s.texture_height, 0);
    int64_t offset_x = 0, offset_y = 0, w = s.width, h = s.height;
    if (framed && s.frame_width > 0 && s.frame_height > 0) {
        int64_t per_row = std::max(1, s.width / s.frame_width);
        offset_x = int64_t{s.frame_width} * (frame % per_row);
        offset_y = int64_t{s.frame_height} * (frame / per_row);
        w = s.frame_width;
        h = s.frame_height;
    }
    m.left = x;
    m.top = y;
    m.right = int64_t{x} + w;
    m.bottom = int64_t{y} + h;
    m.x = x - offset_x;
    m.y = y - offset_y;
    return m;
}

int32_t masks_overlap(const MaskSide& a, const MaskSide& b) {
    int64_t left = std::max(a.left, b.left), right = std::min(a.right, b.right);
    int64_t top = std::max(a.top, b.top), bottom = std::min(a.bottom, b.bottom);
    for (const MaskSide* s : {&a, &b}) {
        // Columns 0 ... mask_width - 1 and rows 0 ... mask_rows - 1 exist; row = y + height - 1 - py.
        left = std::max(left, s->x);
        right = std::min(right, s->x + s->mask_width);
        top = std::max(top, s->y + s->height - s->mask_rows);
        bottom = std::min(bottom, s->y + s->height);
    }
    if (right <= left || bottom <= top) return 0;
    auto alpha = [](const MaskSide& s, int64_t px, int64_t py) {
        int64_t row = s.y + s.height - 1 - py;
        return s.mask[row * s.mask_width + (px - s.x)];
    };
    // Every other pixel first, then the gaps: a large opaque area is found within a few reads.
    for (int64_t row_phase = 0; row_phase < 2; ++row_phase) {
        for (int64_t column_phase = 0; column_phase < 2; ++column_phase) {
            for (int64_t py = top + row_phase; py < bottom; py += 2) {
                for (int64_t px = left + column_phase; px < right; px += 2) {
                    if (alpha(a, px, py) != 0 && alpha(b, px, py) != 0) return 1;
                }
            }
        }
    }
    return 0;
}

// The overlap test of two placed sprites; the alpha masks are fetched only when the screen
// rectangles overlap or touch.
int32_t sprites_collide(DuraVUZododivi& display, MaskSide a, int32_t n1, MaskSide b, int32_t n2) {
    if (std::min(a.right, b.right) < std::max(a.left, b.left) || std::min(a.bottom, b.bottom) < std::max(a.top, b.top))
        return 0;
    a.mask = display.sprite_alpha_mask(n1);
    b.mask = display.sprite_alpha_mask(n2);
    if (!a.mask || !b.mask) return 0;
    return masks_overlap(a, b);
}

}  // namespace
}  // namespace rt

// ---- the texture binder ----

void DuraVUZododivi::sprite_bind(int32_t n, int32_t second, int32_t use_mip, const uint32_t* table) {
    texture_bind(n, second, use_mip, table, GL_REPEAT);
}

void DuraVUZododivi::texture_bind(int32_t n, int32_t second, int32_t use_mip, const uint32_t* table, int32_t wrap) {
    if (n >= rt::kSpriteCount) n = -1;
    if (second >= rt::kSpriteCount) second = -1;
    bound_sprite_ = n;
    bound_second_ = second;
    bound_mip_ = use_mip;
    if (!gl_ready()) return;
    auto name_of = [&](int32_t k) -> GLuint {
        if (table) return table[k];
        return use_mip ? sprites_[k].mip_texture : sprites_[k].texture;
    };
    if (extensions_.glActiveTextureARB) {
        if (second < 0 || n < 0) {
            // Switching units makes the driver flush its batch: skip it while unit 1 is known to
            // be off and unit 0 active.
            GLint active = 0;
            glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
            if (!second_unit_off_ || active != GL_TEXTURE0_ARB) {
                extensions_.glActiveTextureARB(GL_TEXTURE1_ARB);
                glDisable(GL_TEXTURE_2D);
                extensions_.glActiveTextureARB(GL_TEXTURE0_ARB);
                second_unit_off_ = true;
            }
        } else {
            extensions_.glActiveTextureARB(GL_TEXTURE1_ARB);
            rt::name_bind(name_of(n), wrap);
            extensions_.glActiveTextureARB(GL_TEXTURE0_ARB);
            second_unit_off_ = false;
        }
        if (n < 0) {
            glDisable(GL_TEXTURE_2D);
            return;
        }
        rt::name_bind(name_of(second < 0 ? n : second), wrap);
        return;
    }
    if (n < 0) {
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_COLOR_MATERIAL);
        return;
    }
    rt::name_bind(name_of(n), wrap);
}

bool DuraVUZododivi::sprite_draw_bind(int32_t n, int32_t wrap, bool texel_centres) {
    if (n < 0 || n >= rt::kSpriteCount || sprites_[n].width <= 0 || !gl_ready()) return false;
    texture_bind(n, -1, 0, nullptr, wrap);
    // Where every pixel centre falls on a texel centre, linear filtering returns that texel
    // unchanged, as nearest filtering does at a fraction of the cost.
    rt::filters_set(texel_centres ? 0 : smoothing_);
    return true;
}

void DuraVUZododivi::quad_draw(const float vertices[16]) {
    if (!gl_ready()) return;
    rt::wrap_set(GL_CLAMP_TO_EDGE);
    glBegin(GL_TRIANGLE_FAN);
    for (int i = 0; i < 4; ++i) {
        glTexCoord2f(vertices[i * 4 + 2], vertices[i * 4 + 3]);
        glVertex2f(vertices[i * 4], vertices[i * 4 + 1]);
    }
    glEnd();
}

// ---- sprites ----
// Draws that go through quad_draw bind with clamp-to-edge straight away: the same end state as
// binding with repeat and clamping afterwards, without changing the texture's state twice a draw.

void DuraVUZododivi::sprite_draw(int32_t n, int32_t x, int32_t y) {
    if (!sprite_draw_bind(n, GL_REPEAT, true)) return;
    const rt::SpriteRecord& s = sprites_[n];
    rt::grid_quad_draw(x, y, s.width, s.height, rt::TexRect{0, 0, s.u_max, s.v_max});
}

void DuraVUZododivi::sprite_draw_stretched(int32_t n, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (!sprite_draw_bind(n, GL_CLAMP_TO_EDGE, false)) return;
    const rt::SpriteRecord& s = sprites_[n];
    auto x0 = static_cast<float>(x), y0 = static_cast<float>(y);
    auto x1 = static_cast<float>(int64_t{x} + w), y1 = static_cast<float>(int64_t{y} + h);
    const float quad[16] = {x0, y1, 0, 0, x1, y1, s.u_max, 0, x1, y0, s.u_max, s.v_max, x0, y0, 0, s.v_max};
    quad_draw(quad);
}

void DuraVUZododivi::sprite_draw_zoomed(int32_t n, int32_t x, int32_t y, double zoom_x, double zoom_y) {
    if (n < 0 || n >= rt::kSpriteCount || sprites_[n].width <= 0) return;
    const rt::SpriteRecord& s = sprites_[n];
    double w = zoom_x * s.width, h = zoom_y * s.height;
    sprite_draw_stretched(n, rt::truncate_to_int32(x - (w - s.width) / 2),
                          rt::truncate_to_int32(y - (h - s.height) / 2), rt::truncate_to_int32(w),
                          rt::truncate_to_int32(h));
}

void DuraVUZododivi::sprite_draw_rotozoom(int32_t n, int32_t x, int32_t y, double angle, double zoom) {
    if (!sprite_draw_bind(n, GL_CLAMP_TO_EDGE, false)) return;
    const rt::SpriteRecord& s = sprites_[n];
    auto hx = static_cast<float>(zoom * s.width * 0.5), hy = static_cast<float>(zoom * s.height * 0.5);
    // Half a texel inwards, so that the edge texels do not blend with their neighbours.
    float tw = s.texture_width, th = s.texture_height;
    float u0 = 0.5f / tw, u1 = (s.width - 0.5f) / tw, v0 = 0.5f / th, v1 = (s.height - 0.5f) / th;
    glPushMatrix();
    glTranslatef(static_cast<float>(int64_t{x} + s.width / 2), static_cast<float>(int64_t{y} + s.height / 2), 0);
    glRotatef(static_cast<float>(angle), 0, 0, -1);
    const float quad[16] = {-hx, hy, u0, v0, hx, hy, u1, v0, hx, -hy, u1, v1, -hx, -hy, u0, v1};
    quad_draw(quad);
    glPopMatrix();
}

// ---- animation frames ----

void DuraVUZododivi::sprite_draw_frame(int32_t n, int32_t frame, int32_t x, int32_t y) {
    if (!rt::framed(sprites_.get(), n) || !sprite_draw_bind(n, GL_REPEAT, true)) return;
    const rt::SpriteRecord& s = sprites_[n];
    rt::grid_quad_draw(x, y, s.frame_width, s.frame_height, rt::frame_tex_rect(s, frame));
}

void DuraVUZododivi::sprite_draw_frame_rotozoom(int32_t n, int32_t frame, int32_t x, int32_t y, double angle,
                                                double zoom) {
    if (!rt::framed(sprites_.get(), n) || !sprite_draw_bind(n, GL_CLAMP_TO_EDGE, false)) return;
    const rt::SpriteRecord& s = sprites_[n];
    rt::TexRect t = rt::frame_tex_rect(s, frame);
    float du = 0.5f / s.texture_width, dv = 0.5f / s.texture_height;
    t = rt::TexRect{t.u0 + du, t.v0 + dv, t.u1 - du, t.v1 - dv};
    double cx = static_cast<double>(int64_t{x} + s.frame_width / 2);
    double cy = static_cast<double>(int64_t{y} + s.frame_height / 2);
    double hx = s.frame_width * zoom / 2, hy = s.frame_height * zoom / 2;
    double a = angle * rt::kRadiansPerDegree, c = std::cos(a), sn = std::sin(a);
    // Corner offsets and their texture corners; positive angles turn counter-clockwise on screen.
    const double offsets[4][2] = {{-hx, hy}, {hx, hy}, {hx, -hy}, {-hx, -hy}};
    const float tex[4][2] = {{t.u0, t.v0}, {t.u1, t.v0}, {t.u1, t.v1}, {t.u0, t.v1}};
    float quad[16];
    for (int i = 0; i < 4; ++i) {
        double dx = offsets[i][0], dy = offsets[i][1];
        quad[i * 4] = static_cast<float>(cx + dx * c + dy * sn);
        quad[i * 4 + 1] = static_cast<float>(cy - dx * sn + dy * c);
        quad[i * 4 + 2] = tex[i][0];
        quad[i * 4 + 3] = tex[i][1];
    }
    quad_draw(quad);
}

void DuraVUZododivi::sprite_draw_frame_stretched(int32_t n, int32_t frame, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (!rt::framed(sprites_.get(), n) || !sprite_draw_bind(n, GL_CLAMP_TO_EDGE, false)) return;
    const rt::SpriteRecord& s = sprites_[n];
    rt::TexRect t = rt::frame_tex_rect(s, frame);
    // The extra tenth of a pixel makes the far edges reach the last pixel row and column.
    auto x0 = static_cast<float>(x), y0 = static_cast<float>(y);
    auto x1 = static_cast<float>(x + (w + 0.1)), y1 = static_cast<float>(y + (h + 0.1));
    const float quad[16] = {x0, y1, t.u0, t.v0, x1, y1, t.u1, t.v0, x1, y0, t.u1, t.v1, x0, y0, t.u0, t.v1};
    quad_draw(quad);
}

// ---- polygons ----

void DuraVUZododivi::polygon_begin(int32_t n, int32_t mode) {
    if (n >= rt::kSpriteCount) n = -1;
    sprite_bind(n, -1, 0, nullptr);
    polygon_count_ = 0;
    rt::polygon_room(polygon_, 1);
    polygon_coloured_ = 0;
    polygon_split_pending_ = 0;
    polygon_mode_ = mode;
    if (n >= 0) {
        const rt::SpriteRecord& s = sprites_[n];
        texture_scale_[0] = s.texture_width > 0 ? 1.0f / s.texture_width : 0.0f;
        texture_scale_[1] = s.texture_height > 0 ? 1.0f / s.texture_height : 0.0f;
    }
}

void DuraVUZododivi::polygon_vertex(double x, double y, double tx, double ty, int32_t colour) {
    rt::PolygonVertex v{};
    v.x = static_cast<float>(x);
    v.y = static_cast<float>(y);
    if (bound_sprite_ >= 0) {
        v.u = static_cast<float>(tx * texture_scale_[0]);
        v.v = static_cast<float>((sprites_[bound_sprite_].height - ty) * texture_scale_[1]);
    }
    if (colour == 0xFFFFFF) {
        v.r = v.g = v.b = 255;
    } else {
        polygon_coloured_ = 1;
        auto c = static_cast<uint32_t>(colour);
        v.r = static_cast<uint8_t>(c & 0xFF);
        v.g = static_cast<uint8_t>((c >> 8) & 0xFF);
        v.b = static_cast<uint8_t>((c >> 16) & 0xFF);
    }
    if (colour == sprite_key_) {
        v.a = 0;
    } else {
        v.a = global_alpha_ == 1.0f ? 255 : static_cast<uint8_t>(global_alpha_ * 255.0f);
    }
    if (!rt::polygon_room(polygon_, static_cast<size_t>(polygon_count_) + (polygon_split_pending_ ? 2 : 1))) return;
    polygon_[polygon_count_++] = v;
    if (polygon_split_pending_) {
        polygon_[polygon_count_++] = v;
        polygon_split_pending_ = 0;
    }
}

void DuraVUZododivi::polygon_split() {
    if (polygon_count_ == 0 || polygon_split_pending_) return;
    if (!rt::polygon_room(polygon_, static_cast<size_t>(polygon_count_) + 1)) return;
    polygon_[polygon_count_] = polygon_[polygon_count_ - 1];
    ++polygon_count_;
    polygon_split_pending_ = 1;
}

void DuraVUZododivi::polygon_end() {
    if (polygon_count_ == 0 || !gl_ready()) return;
    constexpr GLenum kModes[3] = {GL_TRIANGLE_FAN, GL_TRIANGLES, GL_TRIANGLE_STRIP};
    GLenum mode = polygon_mode_ >= 0 && polygon_mode_ <= 2 ? kModes[polygon_mode_] : GL_TRIANGLE_FAN;
    const rt::PolygonVertex* data = polygon_.data();
    const bool textured = bound_sprite_ >= 0;
    const bool coloured = polygon_coloured_ != 0 || global_alpha_ != 1.0f;
    constexpr GLsizei kStride = sizeof(rt::PolygonVertex);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, kStride, &data->x);
    if (textured) {
        rt::filters_set(smoothing_);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, kStride, &data->u);
    }
    if (coloured) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, kStride, &data->r);
        glEnable(GL_DITHER);
        glShadeModel(GL_SMOOTH);
    }
    glDrawArrays(mode, 0, polygon_count_);
    glDisableClientState(GL_VERTEX_ARRAY);
    if (textured) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    if (coloured) {
        glDisableClientState(GL_COLOR_ARRAY);
        glColor4f(1, 1, 1, global_alpha_);
        glShadeModel(GL_FLAT);
        glDisable(GL_DITHER);
    }
}

// ---- blending ----

void DuraVUZododivi::blend_alpha_set(double alpha) {
    if (std::isnan(alpha)) alpha = 0;
    if (gl_ready()) {
        if (alpha == 0) {
            glDisable(GL_BLEND);
            glEnable(GL_ALPHA_TEST);
        } else {
            glEnable(GL_BLEND);
            glDisable(GL_ALPHA_TEST);
            glBlendFunc(GL_SRC_ALPHA, alpha > 0 ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
        }
    }
    global_alpha_ = alpha == 0 ? 1.0f : static_cast<float>(std::min(std::fabs(alpha), 1.0));
    if (gl_ready()) glColor4f(1, 1, 1, global_alpha_);
}

// ---- collision ----

int32_t DuraVUZododivi::sprite_collision(int32_t n1, int32_t x1, int32_t y1, int32_t n2, int32_t x2, int32_t y2) {
    if (n1 < 0 || n1 >= rt::kSpriteCount || n2 < 0 || n2 >= rt::kSpriteCount) return 0;
    if (sprites_[n1].width <= 0 || sprites_[n2].width <= 0) return 0;
    return rt::sprites_collide(*this, rt::mask_side(sprites_[n1], false, 0, x1, y1), n1,
                               rt::mask_side(sprites_[n2], false, 0, x2, y2), n2);
}

int32_t DuraVUZododivi::sprite_collision_frames(int32_t n1, int32_t frame1, int32_t x1, int32_t y1, int32_t n2,
                                                int32_t frame2, int32_t x2, int32_t y2) {
    if (n1 < 0 || n1 >= rt::kSpriteCount || n2 < 0 || n2 >= rt::kSpriteCount) return 0;
    if (sprites_[n1].width <= 0 || sprites_[n2].width <= 0) return 0;
    return rt::sprites_collide(*this, rt::mask_side(sprites_[n1], true, frame1, x1, y1), n1,
                               rt::mask_side(sprites_[n2], true, frame2, x2, y2), n2);
}

// ---- game commands ----

void sprite_draw(int32_t n, int32_t x, int32_t y) {
    if (DuraVUZododivi* display = rt::display_service()) display->sprite_draw(n, x, y);
}

void sprite_draw_stretched(int32_t n, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (DuraVUZododivi* display = rt::display_service()) display->sprite_draw_stretched(n, x, y, w, h);
}

void sprite_draw_zoomed(int32_t n, int32_t x, int32_t y, double zoom_x, double zoom_y) {
    if (DuraVUZododivi* display = rt::display_service()) display->sprite_draw_zoomed(n, x, y, zoom_x, zoom_y);
}

void sprite_draw_rotated(int32_t n, int32_t x, int32_t y, double angle) {
    if (DuraVUZododivi* display = rt::display_service()) display->sprite_draw_rotozoom(n, x, y, angle, 1.0);
}

void sprite_draw_rotozoom(int32_t n, int32_t x, int32_t y, double angle, double zoom) {
    if (DuraVUZododivi* display = rt::display_service()) display->sprite_draw_rotozoom(n, x, y, angle, zoom);
}

void sprite_draw_frame(int32_t n, int32_t frame, int32_t x, int32_t y) {
    if (DuraVUZododivi* display = rt::display_service()) display->sprite_draw_frame(n, frame, x, y);
}

void sprite_draw_frame_rotozoom(int32_t n, int32_t frame, int32_t x, int32_t y, double angle, double zoom) {
    if (DuraVUZododivi* display = rt::display_service())
        display->sprite_draw_frame_rotozoom(n, frame, x, y, angle, zoom);
}

void sprite_draw_frame_stretched(int32_t n, int32_t frame, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (DuraVUZododivi* display = rt::display_service()) display->sprite_draw_frame_stretched(n, frame, x, y, w, h);
}

void polygon_begin(int32_t n, int32_t mode) {
    if (DuraVUZododivi* display = rt::display_service()) display->polygon_begin(n, mode);
}

void polygon_vertex(double x, double y, double tx, double ty, int32_t colour) {
    if (DuraVUZododivi* display = rt::display_service()) display->polygon_vertex(x, y, tx, ty, colour);
}

void polygon_split() {
    if (DuraVUZododivi* display = rt::display_service()) display->polygon_split();
}

void polygon_end() {
    if (DuraVUZododivi* display = rt::display_service()) display->polygon_end();
}

void blend_alpha_set(double alpha) {
    if (DuraVUZododivi* display = rt::display_service()) display->blend_alpha_set(alpha);
}

void smoothing_set(int32_t flag) {
    if (DuraVUZododivi* display = rt::display_service()) display->smoothing_set(flag != 0 ? 1 : 0);
}

int32_t sprite_collision(int32_t n1, int32_t x1, int32_t y1, int32_t n2, int32_t x2, int32_t y2) {
    DuraVUZododivi* display = rt::display_service();
    return display ? display->sprite_collision(n1, x1, y1, n2, x2, y2) : 0;
}

int32_t sprite_collision_frames(int32_t n1, int32_t frame1, int32_t x1, int32_t y1, int32_t n2, int32_t frame2,
                                int32_t x2, int32_t y2) {
    DuraVUZododivi* display = rt::display_service();
    return display ? display->sprite_collision_frames(n1, frame1, x1, y1, n2, frame2, x2, y2) : 0;
}
