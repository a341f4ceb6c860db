// Fonts and text of the display service: the 32 font numbers at the top of the sprite store, the
// built-in font, and text drawn as one triangle strip of character cells; the text commands.
#include "runtime/gfx2d/text.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "runtime/core/errors.h"
#include "runtime/gfx2d/builtin_font.h"
#include "runtime/gfx2d/display_service.h"

namespace rt {
namespace {

constexpr size_t kFloatsPerVertex = 5;  // x, y, z, u, v
constexpr size_t kVerticesPerChar = 4;
// The vertex array grows by this many vertices at a time.
constexpr size_t kVertexBlock = 256;
// Longer texts are drawn as several strips, so the vertex array stays small whatever the text.
constexpr size_t kCharsPerStrip = 4096;

bool font_number_valid(int32_t n) { return n >= 0 && n < kFontCount; }

int32_t font_number_limited(int32_t n) { return std::clamp(n, 0, kFontCount - 1); }

// Rows of the character grid: 16 (256 characters) unless the picture is wider than high, else 8
// (128 characters). Square pictures hold the full 16 x 16 grid of square cells.
int32_t grid_rows(const SpriteRecord& font) { return font.width <= font.height ? 16 : 8; }

}  // namespace
}  // namespace rt

bool DuraVUZododivi::font_load(const char* name, int32_t n) {
    if (!name || !*name) {
        font_free(n);
        return true;
    }
    current_font_ = rt::font_number_limited(n);
    if (sprite_load_picture(rt::kFirstFontSprite + current_font_, name, font_key_, false)) return true;
    font_builtin_load(current_font_);
    return false;
}

void DuraVUZododivi::font_free(int32_t n) {
    if (rt::font_number_valid(n)) sprite_free(rt::kFirstFontSprite + n);
}

void DuraVUZododivi::font_set(int32_t n) { current_font_ = rt::font_number_limited(n); }

void DuraVUZododivi::font_size(int32_t& cell_width, int32_t& cell_height) const {
    cell_width = cell_height = 0;
    const rt::SpriteRecord* font = sprite(rt::kFirstFontSprite + current_font_);
    if (!font || font->width <= 0) return;
    cell_width = font->width / 16;
    cell_height = font->height / rt::grid_rows(*font);
}

int32_t DuraVUZododivi::font_free_number() const {
    for (int32_t n = 0; n < rt::kFontCount; ++n) {
        if (sprite(rt::kFirstFontSprite + n)->width / 16 == 0) return n;
    }
    return -1;
}

void DuraVUZododivi::font_builtin_load(int32_t n) {
    if (!rt::font_number_valid(n) || !gl_ready()) return;
    const int32_t number = rt::kFirstFontSprite + n;
    sprite_free(number);
    rt::Picture picture;
    rt::builtin_font_picture(picture);
    rt::SpriteRecord& font = *sprite(number);
    if (!texture_upload(picture, 0, 0, 0, 0, &font.texture, nullptr, false, true)) return;
    font.texture_width = font.width = static_cast<int16_t>(picture.width);
    font.texture_height = font.height = static_cast<int16_t>(picture.height);
    font.u_max = font.v_max = 1.0f;
}

void DuraVUZododivi::text_draw_font(int32_t font, const char* text, size_t length, float x, float y, float z) {
    if (!text || length == 0 || !rt::font_number_valid(font) || !gl_ready()) return;
    const int32_t number = rt::kFirstFontSprite + font;
    const rt::SpriteRecord& record = *sprite(number);
    if (record.width <= 0 || record.height <= 0) return;

    const int32_t rows = rt::grid_rows(record);
    const auto chars = static_cast<uint32_t>(rows * 16);
    const float cell_w = static_cast<float>(record.width / 16);
    const float cell_h = static_cast<float>(record.height / rows);
    const float cell_u = record.u_max / 16.0f;
    const float cell_v = record.v_max / static_cast<float>(rows);

    sprite_bind(number, -1, 0, nullptr);
    if (extensions_.glClientActiveTextureARB) extensions_.glClientActiveTextureARB(GL_TEXTURE0_ARB);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);

    float left = std::ceil(x);
    const float top = std::ceil(y);
    for (size_t start = 0; start < length; start += rt::kCharsPerStrip) {
        const size_t count = std::min(length - start, rt::kCharsPerStrip);
        const size_t vertices = count * rt::kVerticesPerChar;
        const size_t needed = (vertices + rt::kVertexBlock - 1) / rt::kVertexBlock * rt::kVertexBlock;
        if (text_vertices_.size() < needed * rt::kFloatsPerVertex) text_vertices_.resize(needed * rt::kFloatsPerVertex);

        float* v = text_vertices_.data();
        auto emit = [&v, z](float px, float py, float u, float tv) {
            v[0] = px;
            v[1] = py;
            v[2] = z;
            v[3] = u;
            v[4] = tv;
            v += rt::kFloatsPerVertex;
        };
        for (size_t i = start; i < start + count; ++i) {
            const uint32_t c = static_cast<uint8_t>(text[i]) % chars;
            const auto column = static_cast<float>(c % 16);
            const auto row = static_cast<int32_t>(c / 16);
            const float u_left = column * cell_u;
            const float u_right = u_left + cell_u;
            const float v_bottom = static_cast<float>(rows - 1 - row) * cell_v;
            const float v_top = v_bottom + cell_v;
            emit(left, top + cell_h, u_left, v_bottom);
            emit(left, top, u_left, v_top);
            emit(left + cell_w, top + cell_h, u_right, v_bottom);
            emit(left + cell_w, top, u_right, v_top);
            left += cell_w;
        }
        constexpr auto stride = static_cast<GLsizei>(rt::kFloatsPerVertex * sizeof(float));
        glVertexPointer(3, GL_FLOAT, stride, text_vertices_.data());
        glTexCoordPointer(2, GL_FLOAT, stride, text_vertices_.data() + 3);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, static_cast<GLsizei>(vertices));
    }

    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void DuraVUZododivi::text_draw(const RtString& text, double x, double y) {
    text_draw_font(current_font_, text.c_str(), text.length(), static_cast<float>(x), static_cast<float>(y), 0.0f);
}

// ---- game commands ----

void font_load(const RtString& name, int32_t n) {
    error_code_clear();
    DuraVUZododivi* display = rt::display_service();
    if (display && !display->font_load(name.c_str(), n)) error_code_set(kErrNoSuchFile);
}

void font_set(int32_t n) {
    if (DuraVUZododivi* display = rt::display_service()) display->font_set(n);
}

void font_size(int32_t& cell_width, int32_t& cell_height) {
    cell_width = cell_height = 0;
    if (DuraVUZododivi* display = rt::display_service()) display->font_size(cell_width, cell_height);
}

void font_size(double& cell_width, double& cell_height) {
    int32_t w = 0, h = 0;
    font_size(w, h);
    cell_width = w;
    cell_height = h;
}

int32_t font_free_number() {
    DuraVUZododivi* display = rt::display_service();
    return display ? display->font_free_number() : 0;
}

void font_builtin_load(int32_t n) {
    if (DuraVUZododivi* display = rt::display_service()) display->font_builtin_load(n);
}

void text_draw(const RtString& text, double x, double y) {
    if (DuraVUZododivi* display = rt::display_service()) display->text_draw(text, x, y);
}

void text_draw_font(int32_t font, const RtString& text, float x, float y, float z) {
    if (DuraVUZododivi* display = rt::display_service())
        display->text_draw_font(font, text.c_str(), text.length(), x, y, z);
}
