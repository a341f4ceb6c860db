// Fonts and text on Mesa through SDL's offscreen driver: font pictures written to files and
// loaded with the commands, the character grid, text placement and advance, the built-in font,
// and the failure paths of font loading. Pixels are read back from the back buffer.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/gfx2d/builtin_font.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/gfx2d/picture_codec.h"
#include "runtime/gfx2d/text.h"
#include "support/gl_support.h"
#include "support/test_support.h"

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

constexpr int32_t kBlue = 0xFF0000;  // 0x00BBGGRR
const Rgb kBackground{0, 0, 255}, kWhite{255, 255, 255}, kOutline{8, 8, 8};

// The colour of pixel (px, py) of character c's cell in the test fonts: never black, so the font
// key (black) keys nothing.
Rgb cell_colour(int c, int px, int py) { return Rgb{c, px * 16, 128 + py * 8}; }

// A font picture of 16 columns of 16 x 16 cells, each cell painted with cell_colour.
rt::Picture grid_picture(int32_t width, int32_t height) {
    rt::Picture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<size_t>(width) * height * 4);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            Rgb c = cell_colour(y / 16 * 16 + x / 16, x % 16, y % 16);
            uint8_t* p = &picture.pixels[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = static_cast<uint8_t>(c.r);
            p[1] = static_cast<uint8_t>(c.g);
            p[2] = static_cast<uint8_t>(c.b);
            p[3] = 255;
        }
    }
    return picture;
}

class Text : public rt_test::DisplayServiceTest {
protected:
    void SetUp() override {
        DisplayServiceTest::SetUp();
        if (HasFatalFailure()) return;
        display->screen_clear(kBlue);
    }
    // The screen pixels of the rectangle x, y, w, h, row by row from the top.
    std::vector<Rgb> pixels(int x, int y, int w, int h) {
        std::vector<uint8_t> raw(static_cast<size_t>(w) * h * 4);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, display->height() - y - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
        std::vector<Rgb> out;
        for (int row = h - 1; row >= 0; --row) {
            for (int col = 0; col < w; ++col) {
                const uint8_t* p = &raw[(static_cast<size_t>(row) * w + col) * 4];
                out.push_back(Rgb{p[0], p[1], p[2]});
            }
        }
        return out;
    }
    Rgb pixel(int x, int y) { return pixels(x, y, 1, 1)[0]; }

    // Writes a grid font picture as PNG or BMP (by the name's ending) and returns its path.
    RtString font_file(const std::string& name, int32_t width, int32_t height) {
        std::vector<uint8_t> bytes;
        rt::Picture picture = grid_picture(width, height);
        bool png = name.ends_with(".png");
        EXPECT_TRUE(png ? rt::png_encode(picture, bytes) : rt::bmp_encode(picture, bytes));
        std::string path = dir.file(name);
        rt_test::write_file(path, std::string(bytes.begin(), bytes.end()));
        return RtString(path.c_str());
    }

    // Expects the 16 x 16 cell at (x, y) on screen to show character c of a grid font.
    void expect_grid_cell(int x, int y, int c) {
        std::vector<Rgb> cell = pixels(x, y, 16, 16);
        for (int py = 0; py < 16; ++py) {
            for (int px = 0; px < 16; ++px) {
                ASSERT_EQ(cell[py * 16 + px], cell_colour(c, px, py)) << "cell pixel " << px << ", " << py;
            }
        }
    }

    rt_test::TempDir dir;
};

TEST_F(Text, FontGridFollowsThePictureShape) {
    font_load(font_file("tall.png", 256, 256), 1);
    ASSERT_EQ(rt::globals.error_code, 0);
    font_load(font_file("wide.bmp", 256, 128), 2);
    ASSERT_EQ(rt::globals.error_code, 0);

    int32_t w = 0, h = 0;
    font_set(1);
    font_size(w, h);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 16);
    font_set(2);
    double dw = 0, dh = 0;
    font_size(dw, dh);
    EXPECT_EQ(dw, 16.0);
    EXPECT_EQ(dh, 16.0);

    // 256 characters: 200 has a cell of its own, upright, in the last rows of the picture.
    text_draw_font(1, RtString("\xC8"), 0, 0, 0);
    expect_grid_cell(0, 0, 200);
    // 128 characters: 200 wraps onto 72 and draws exactly what 72 draws.
    text_draw_font(2, RtString("\xC8"), 100, 0, 0);
    text_draw_font(2, RtString("H"), 200, 0, 0);
    EXPECT_EQ(pixels(100, 0, 16, 16), pixels(200, 0, 16, 16));
    expect_grid_cell(100, 0, 72);
    // The top left cell of each picture.
    text_draw_font(2, RtString("\x80"), 300, 0, 0);
    expect_grid_cell(300, 0, 0);
}

TEST_F(Text, TextStartsAtTheNextWholePixelAndAdvancesByCells) {
    font_load(font_file("font.png", 256, 256), 3);
    ASSERT_EQ(display->current_font(), 3);
    text_draw(RtString("Hi"), 10.2, 20.7);
    expect_grid_cell(11, 21, 'H');
    expect_grid_cell(27, 21, 'i');
    EXPECT_EQ(pixel(10, 21), kBackground);
    EXPECT_EQ(pixel(11, 20), kBackground);
    EXPECT_EQ(pixel(43, 21), kBackground);
    EXPECT_EQ(pixel(42, 37), kBackground);

    // Nothing for an empty text or a font number that holds nothing.
    std::vector<Rgb> before = pixels(0, 100, 64, 32);
    text_draw(RtString(""), 0, 100);
    text_draw_font(9, RtString("Hi"), 0, 100, 0);
    text_draw_font(-1, RtString("Hi"), 0, 100, 0);
    text_draw_font(32, RtString("Hi"), 0, 100, 0);
    EXPECT_EQ(pixels(0, 100, 64, 32), before);
}

TEST_F(Text, FontNumbersAreLimitedAndFreeNumbersFound) {
    font_set(40);
    EXPECT_EQ(display->current_font(), 31);
    font_set(-3);
    EXPECT_EQ(display->current_font(), 0);

    EXPECT_EQ(font_free_number(), 0);
    font_builtin_load(0);
    font_builtin_load(1);
    EXPECT_EQ(font_free_number(), 2);
    font_load(RtString(""), 1);  // frees, and leaves the current font alone
    EXPECT_EQ(font_free_number(), 1);
    EXPECT_EQ(display->current_font(), 0);
    font_set(1);
    int32_t w = -1, h = -1;
    font_size(w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    for (int32_t n = 0; n < rt::kFontCount; ++n) font_builtin_load(n);
    EXPECT_EQ(font_free_number(), -1);
}

TEST_F(Text, BuiltInFontDrawsWhiteDotsWithADarkOutline) {
    font_builtin_load(5);
    font_set(5);
    int32_t w = 0, h = 0;
    font_size(w, h);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 8);

    // Every glyph in two lines of 48 cells; each cell checked against its dot pattern.
    std::string all;
    for (int c = 32; c < 128; ++c) all += static_cast<char>(c);
    text_draw(RtString(all.substr(0, 48).c_str()), 0, 0);
    text_draw(RtString(all.substr(48).c_str()), 0, 8);
    std::vector<Rgb> screen = pixels(0, 0, 48 * 8, 16);
    auto dot = [](uint32_t mask, int x, int y) {
        return x >= 1 && x <= 5 && y >= 1 && y <= 6 && (mask >> ((y - 1) * 5 + (x - 1)) & 1u) != 0;
    };
    for (int c = 32; c < 128; ++c) {
        SCOPED_TRACE("character " + std::to_string(c));
        uint32_t mask = rt::builtin_glyph_mask(c);
        int left = (c - 32) % 48 * 8, top = (c - 32) / 48 * 8;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                bool near = false;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) near = near || dot(mask, x + dx, y + dy);
                }
                Rgb want = dot(mask, x, y) ? kWhite : near ? kOutline : kBackground;
                ASSERT_EQ(screen[(top + y) * 48 * 8 + left + x], want) << "pixel " << x << ", " << y;
            }
        }
    }

    // Characters below 32 are empty cells that still advance.
    text_draw(RtString("\x01\x1F"
                       "A"),
              0, 40);
    EXPECT_EQ(pixels(0, 40, 16, 8), std::vector<Rgb>(16 * 8, kBackground));
    EXPECT_EQ(pixels(16, 40, 8, 8), pixels(33 * 8, 0, 8, 8));  // 'A' is cell 33 of the first line
}

TEST(BuiltinGlyphs, PrintableCharactersAreDistinctAndTheSpaceIsEmpty) {
    EXPECT_EQ(rt::builtin_glyph_mask(' '), 0u);
    EXPECT_EQ(rt::builtin_glyph_mask(31), 0u);
    EXPECT_EQ(rt::builtin_glyph_mask(128), 0u);
    std::set<uint32_t> seen;
    for (int c = 33; c < 128; ++c) {
        uint32_t mask = rt::builtin_glyph_mask(c);
        EXPECT_NE(mask, 0u) << "character " << c;
        EXPECT_LT(mask, 1u << 30) << "character " << c;
        EXPECT_TRUE(seen.insert(mask).second) << "character " << c << " looks like another";
    }
}

TEST_F(Text, UnreadableFontFilesFailAndLeaveTheBuiltInFont) {
    rt_test::write_file(dir.file("garbage.png"), std::string(300, 'x'));
    for (std::string name : {dir.file("missing.png"), dir.file("garbage.png")}) {
        SCOPED_TRACE(name);
        font_load(font_file("good.png", 256, 256), 4);
        font_load(RtString(name.c_str()), 4);
        EXPECT_EQ(rt::globals.error_code, 3);
        EXPECT_EQ(display->current_font(), 4);
        int32_t w = 0, h = 0;
        font_size(w, h);
        EXPECT_EQ(w, 8);
        EXPECT_EQ(h, 8);
    }
    // Still readable: 'A' of the built-in font is white where its pattern has a dot.
    text_draw(RtString("A"), 0, 0);
    uint32_t mask = rt::builtin_glyph_mask('A');
    int bit = 0;
    while ((mask >> bit & 1u) == 0) ++bit;
    EXPECT_EQ(pixel(1 + bit % 5, 1 + bit / 5), kWhite);

    // A later successful load clears the error code.
    font_load(font_file("again.png", 256, 256), 4);
    EXPECT_EQ(rt::globals.error_code, 0);
}

}  // namespace
