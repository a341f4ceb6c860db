// The sprite store on Mesa through SDL's offscreen driver: texture sizes, free numbers, failed
// loads, colour bleeding, normal maps, the mipmapped twin, picture slots and alpha masks.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/gfx2d/picture_codec.h"
#include "runtime/gfx2d/sprites.h"
#include "runtime/gfx2d/surfaces.h"
#include "support/gl_support.h"
#include "support/test_support.h"

namespace {

using Rgba = std::array<int, 4>;
const Rgba kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255}, kKey{255, 0, 128, 255}, kClear{0, 0, 0, 0};

void put(rt::Picture& p, int x, int y, Rgba c) {
    for (int i = 0; i < 4; ++i) p.pixels[(static_cast<size_t>(y) * p.width + x) * 4 + i] = static_cast<uint8_t>(c[i]);
}

rt::Picture filled(int w, int h, Rgba c) {
    rt::Picture p{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) put(p, x, y, c);
    }
    return p;
}

// A level of a texture read back: rows bottom-up as GL stores them.
struct TextureLevel {
    int width = 0, height = 0;
    std::vector<uint8_t> bytes;
    Rgba at(int x, int row) const {
        const uint8_t* q = &bytes[(static_cast<size_t>(row) * width + x) * 4];
        return Rgba{q[0], q[1], q[2], q[3]};
    }
};

TextureLevel read_level(GLuint texture, int level) {
    TextureLevel t;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &t.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &t.height);
    t.bytes.resize(static_cast<size_t>(t.width) * t.height * 4);
    if (!t.bytes.empty()) glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, t.bytes.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return t;
}

class SpriteStore : public rt_test::DisplayServiceTest {
protected:
    std::string bmp(const std::string& name, const rt::Picture& picture) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(rt::bmp_encode(picture, bytes));
        rt_test::write_file(dir.file(name), std::string(bytes.begin(), bytes.end()));
        return dir.file(name);
    }
    std::array<int, 2> size_of(int32_t n) {
        int32_t w = -1, h = -1;
        sprite_size(n, w, h);
        return {w, h};
    }
    Rgba screen_pixel(int x, int y) {
        unsigned char p[4] = {};
        glReadBuffer(GL_BACK);
        glReadPixels(x, display->height() - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return Rgba{p[0], p[1], p[2], 255};
    }

    rt_test::TempDir dir;
};

TEST_F(SpriteStore, TexturesArePowersOfTwoFromSixteenWithASquareMipTwin) {
    struct Case {
        int w, h, tw, th;
        float u_max, v_max;
        int mip_side;
    } const cases[] = {
        {20, 10, 32, 16, 0.625f, 0.625f, 16},
        {16, 16, 16, 16, 1.0f, 1.0f, 16},
        {1, 1, 16, 16, 1.0f / 16, 1.0f / 16, 16},
        {33, 300, 64, 512, 33.0f / 64, 300.0f / 512, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        sprite_load(bmp("size.bmp", filled(c.w, c.h, kRed)).c_str(), 7);
        EXPECT_EQ(rt::globals.error_code, 0);
        const rt::SpriteRecord& s = *display->sprite(7);
        EXPECT_EQ((std::array<int, 4>{s.width, s.height, s.texture_width, s.texture_height}),
                  (std::array<int, 4>{c.w, c.h, c.tw, c.th}));
        EXPECT_FLOAT_EQ(s.u_max, c.u_max);
        EXPECT_FLOAT_EQ(s.v_max, c.v_max);
        EXPECT_EQ(static_cast<uint32_t>(sprite_texture_id(7)), s.texture);
        TextureLevel level0 = read_level(s.texture, 0), mip0 = read_level(s.mip_texture, 0);
        EXPECT_EQ((std::array<int, 2>{level0.width, level0.height}), (std::array<int, 2>{c.tw, c.th}));
        EXPECT_EQ(level0.at(0, c.h - 1), kRed);  // the picture's top-left pixel, bottom-up
        EXPECT_EQ((std::array<int, 2>{mip0.width, mip0.height}), (std::array<int, 2>{c.mip_side, c.mip_side}));
    }
}

TEST_F(SpriteStore, FreeNumbersAndSizes) {
    EXPECT_EQ(sprite_free_number(), 0);
    for (int n = 0; n < 5; ++n) sprite_load(bmp("one.bmp", filled(3, 2, kBlue)).c_str(), n);
    display->sprite_free(2);
    EXPECT_EQ(sprite_free_number(), 2);
    EXPECT_EQ(size_of(2), (std::array<int, 2>{0, 0}));
    EXPECT_EQ(size_of(3), (std::array<int, 2>{3, 2}));
    EXPECT_EQ(size_of(70000), (std::array<int, 2>{0, 0}));
    // Every ordinary number taken, marked directly: 65504 textures would only slow the test.
    for (int n = 0; n <= rt::kLastOrdinarySprite; ++n) display->sprite(n)->width += 100;
    EXPECT_EQ(sprite_free_number(), -1);
    for (int n = 0; n <= rt::kLastOrdinarySprite; ++n) display->sprite(n)->width -= 100;
}

TEST_F(SpriteStore, FailedLoadsRecordCodeThreeAndLeaveTheNumberFree) {
    const std::string good = bmp("good.bmp", filled(8, 8, kRed)), garbage = dir.file("garbage.png");
    rt_test::write_file(garbage, "BM this is not a picture at all");
    struct Case {
        std::string name;
        int32_t n;
    } const cases[] = {{dir.file("missing.bmp"), 5}, {garbage, 5}, {"", 5}, {good, -1}, {good, 65504}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " into " + std::to_string(c.n));
        sprite_load(good.c_str(), 5);
        ASSERT_EQ(rt::globals.error_code, 0);
        sprite_load(c.name.c_str(), c.n);
        EXPECT_EQ(rt::globals.error_code, 3);
        EXPECT_EQ(size_of(5), (std::array<int, 2>{c.n == 5 ? 0 : 8, c.n == 5 ? 0 : 8}));
        EXPECT_EQ(sprite_texture_id(5) == 0, c.n == 5);
    }
    // Font numbers are not for sprite_load, but the store loads them for fonts (no mip twin).
    EXPECT_EQ(display->sprite(65504)->width, 0);
    EXPECT_TRUE(display->sprite_load_picture(65504, good.c_str(), display->font_key(), false));
    EXPECT_EQ(display->sprite(65504)->mip_texture, 0u);
}

TEST_F(SpriteStore, TransparentPixelsTakeTheAverageOfTheirOpaqueNeighbours) {
    rt::Picture picture = filled(16, 16, kClear);
    put(picture, 5, 5, kRed);
    put(picture, 7, 5, kBlue);
    // Fonts keep their transparent pixels black. Picture row 5 is texture row 10.
    for (bool font : {false, true}) {
        uint32_t texture = 0;
        ASSERT_TRUE(display->texture_upload(picture, 0, 0, 0, 0, &texture, nullptr, false, font));
        TextureLevel t = read_level(texture, 0);
        EXPECT_EQ(t.at(5, 10), kRed);
        EXPECT_EQ(t.at(6, 10), font ? kClear : (Rgba{127, 0, 127, 0}));
        EXPECT_EQ(t.at(4, 10), font ? kClear : (Rgba{255, 0, 0, 0}));
        EXPECT_EQ(t.at(12, 3), kClear);
        glDeleteTextures(1, &texture);
    }
}

TEST_F(SpriteStore, NormalMapsSlopeAwayFromRaisedBlue) {
    sprite_load_normal_map(bmp("flat.bmp", filled(16, 16, Rgba{10, 20, 30, 255})).c_str(), 3);
    ASSERT_EQ(rt::globals.error_code, 0);
    TextureLevel flat = read_level(display->sprite(3)->texture, 0);
    auto half = [](int v) { return v == 127 || v == 128; };
    for (size_t i = 0; i < flat.bytes.size(); i += 4) {
        ASSERT_TRUE(half(flat.bytes[i]) && half(flat.bytes[i + 1]) && flat.bytes[i + 2] == 255 &&
                    flat.bytes[i + 3] == 255)
            << "pixel " << i / 4;
    }
    // A raised column at x = 8: the normals on either side lean away from it.
    rt::Picture ridge = filled(16, 16, Rgba{0, 0, 0, 255});
    for (int y = 0; y < 16; ++y) put(ridge, 8, y, Rgba{0, 0, 255, 255});
    sprite_load_normal_map(bmp("ridge.bmp", ridge).c_str(), 3);
    TextureLevel t = read_level(display->sprite(3)->texture, 0);
    EXPECT_LT(t.at(7, 4)[0], 127);
    EXPECT_GT(t.at(9, 4)[0], 128);
    EXPECT_EQ(t.at(8, 4)[0], 127);
    EXPECT_LT(t.at(7, 4)[2], 255);
}

TEST_F(SpriteStore, MipChainLooksLikeThePictureDownToOnePixel) {
    const Rgba left{10, 200, 30, 255}, right{200, 10, 30, 255};
    rt::Picture picture = filled(32, 16, left);
    for (int y = 0; y < 16; ++y) {
        for (int x = 16; x < 32; ++x) put(picture, x, y, right);
    }
    sprite_load(bmp("halves.bmp", picture).c_str(), 4);
    const GLuint mip = display->sprite(4)->mip_texture;
    for (int level = 0, side = 16; level <= 4; ++level, side /= 2) {
        SCOPED_TRACE("level " + std::to_string(level));
        TextureLevel t = read_level(mip, level);
        ASSERT_EQ((std::array<int, 2>{t.width, t.height}), (std::array<int, 2>{side, side}));
        if (side >= 4) {
            EXPECT_EQ((std::array<Rgba, 2>{t.at(0, 0), t.at(side - 1, side - 1)}), (std::array{left, right}));
        }
    }
    EXPECT_EQ(read_level(mip, 5).width, 0);
}

TEST_F(SpriteStore, PictureSlotsTileLargePictures) {
    GLint max_side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);
    ASSERT_GE(max_side, 512);
    // More than eight tiles across keeps the left eight.
    struct Case {
        int w, h, columns, rows;
    } const cases[] = {{600, 300, 2, 1}, {512, 512, 1, 1}, {4200, 10, 8, 1}, {10, 1100, 1, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        ASSERT_TRUE(display->picture_slot_load(2, bmp("slot.bmp", filled(c.w, c.h, kRed)).c_str()));
        const rt::PictureSlot& slot = *display->picture_slot(2);
        EXPECT_EQ((std::array<int, 2>{slot.columns, slot.rows}), (std::array<int, 2>{c.columns, c.rows}));
        for (int tile = 0; tile < rt::kSlotTiles; ++tile) {
            const bool used = tile / 8 < c.columns && tile % 8 < c.rows;
            EXPECT_EQ(slot.tile_texture[tile] != 0, used) << "tile " << tile;
            EXPECT_EQ(slot.tile_texture_width[tile], used ? 512 : 0);
        }
        EXPECT_EQ(read_level(slot.tile_texture[0], 0).at(0, 511), kRed);  // top-left corner
    }
    display->picture_slot_clear(2);
    EXPECT_EQ(display->picture_slot(2)->columns, 0);
    EXPECT_EQ(display->picture_slot(2)->tile_texture[0], 0);
    EXPECT_FALSE(display->picture_slot_load(2, dir.file("missing.bmp").c_str()));
    EXPECT_EQ(display->picture_slot(8), nullptr);
}

TEST_F(SpriteStore, BackgroundLoadsSlotZeroOrClearsToBlack) {
    const std::string back = bmp("back.bmp", filled(640, 480, kBlue));
    background_load(back.c_str());
    EXPECT_EQ(rt::globals.error_code, 0);
    EXPECT_EQ((std::array<int, 2>{display->picture_slot(0)->columns, display->picture_slot(0)->rows}),
              (std::array<int, 2>{2, 1}));
    background_colour_set(0x0000FF);
    EXPECT_EQ(display->picture_slot(0)->columns, 0);
    EXPECT_EQ(screen_pixel(10, 10), kRed);
    background_load(back.c_str());
    background_load(dir.file("missing.bmp").c_str());
    EXPECT_EQ(rt::globals.error_code, 3);
    EXPECT_EQ(display->picture_slot(0)->columns, 0);
    EXPECT_EQ(screen_pixel(10, 10), (Rgba{0, 0, 0, 255}));
}

TEST_F(SpriteStore, AlphaMaskIsTheTexturesAlphaBottomUpAndDroppedOnFree) {
    rt::Picture picture = filled(20, 10, kRed);
    put(picture, 3, 2, kKey);
    sprite_load(bmp("holed.bmp", picture).c_str(), 6);
    const uint8_t* mask = display->sprite_alpha_mask(6);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(display->sprite_alpha_mask(6), mask);  // cached
    // Picture (x, y) is mask byte (9 - y) * 32 + x; the padding up to 32 x 16 is transparent.
    EXPECT_EQ((std::array{mask[7 * 32 + 3], mask[7 * 32 + 4], mask[9 * 32], mask[19], mask[20], mask[15 * 32 + 31]}),
              (std::array<uint8_t, 6>{0, 255, 255, 255, 0, 0}));
    display->sprite_free(6);
    EXPECT_EQ(display->sprite_alpha_mask(6), nullptr);
    sprite_load(bmp("solid.bmp", filled(20, 10, kRed)).c_str(), 6);
    mask = display->sprite_alpha_mask(6);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(mask[7 * 32 + 3], 255);
    EXPECT_EQ(display->sprite_alpha_mask(-1), nullptr);
}

// A store without a display: sprite_free resets the record without GL; loads fail.
TEST(SpriteStoreWithoutDisplay, FreeResetsTheRecordAndLoadsFail) {
    DuraVUZododivi store;
    rt::SpriteRecord& s = *store.sprite(12);
    s = rt::SpriteRecord{77, 78, 0.25f, 0.5f, 16, 16, 5, 5, 3, 4};
    store.sprite_free(12);
    EXPECT_EQ((std::array<int, 8>{int(s.texture), int(s.mip_texture), s.texture_width, s.texture_height, s.width,
                                  s.height, s.frame_width, s.frame_height}),
              (std::array<int, 8>{0, 0, -1, -1, 0, 0, 3, 4}));  // the frame size outlives a reload
    EXPECT_EQ((std::array{s.u_max, s.v_max}), (std::array{1.0f, 1.0f}));
    store.sprite_free(-4);
    rt_test::TempDir dir;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(rt::bmp_encode(filled(4, 4, kRed), bytes));
    rt_test::write_file(dir.file("a.bmp"), std::string(bytes.begin(), bytes.end()));
    EXPECT_FALSE(store.sprite_load(dir.file("a.bmp").c_str(), 12, false));
    EXPECT_EQ(s.width, 0);
}

}  // namespace
