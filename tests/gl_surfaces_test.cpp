// Off-screen surfaces, grabs, picture slots, primitives and picture saving on Mesa through SDL's
// offscreen driver, checked by reading pixels and textures back.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/gfx2d/picture_codec.h"
#include "runtime/gfx2d/sprites.h"
#include "runtime/gfx2d/surfaces.h"
#include "support/gl_support.h"
#include "support/test_support.h"

namespace {

struct Rgba {
    int r, g, b, a;
    bool operator==(const Rgba&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgba& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ")";
}

// Colours as the commands take them, 0x00BBGGRR.
constexpr int32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF, kKey = 0x8000FF;

Rgba rgb_of(int32_t c) { return Rgba{c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, 255}; }

class Surfaces : public rt_test::DisplayServiceTest {
protected:
    void SetUp() override {
        DisplayServiceTest::SetUp();
        if (HasFatalFailure()) return;
        display->screen_clear(0);
    }
    // The back buffer, rows top-down, RGB with alpha forced to 255.
    std::vector<Rgba> screen() const {
        std::vector<uint8_t> bytes(640 * 480 * 4);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
        std::vector<Rgba> out(640 * 480);
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                const uint8_t* p = &bytes[((479 - y) * 640 + x) * 4];
                out[y * 640 + x] = Rgba{p[0], p[1], p[2], 255};
            }
        }
        return out;
    }
    Rgba at(int x, int y) const {
        uint8_t p[4] = {};
        glReadBuffer(GL_BACK);
        glReadPixels(x, 479 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return Rgba{p[0], p[1], p[2], 255};
    }
    // Texel (x, row) of level 0, rows bottom-up as GL stores them.
    static Rgba texel(GLuint texture, int x, int row) {
        GLint w = 0, h = 0;
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        std::vector<uint8_t> bytes(static_cast<size_t>(w) * h * 4);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
        const uint8_t* p = &bytes[(static_cast<size_t>(row) * w + x) * 4];
        return Rgba{p[0], p[1], p[2], p[3]};
    }
    // Coloured blocks with a key-coloured hole at (30 ... 33, 24 ... 27).
    static void pattern() {
        rect_fill(10, 20, 16, 18, kRed);
        rect_fill(26, 20, 16, 9, kBlue);
        rect_fill(26, 29, 16, 9, kWhite);
        rect_fill(30, 24, 4, 4, kKey);
    }
    static bool in_hole(int x, int y) { return x >= 30 && x < 34 && y >= 24 && y < 28; }
};

// ---- surfaces ----

struct SurfaceCase {
    const char* name;
    bool framebuffer_object;
    bool finish_with_negative;  // surface_use(-1) instead of surface_use_screen()
};

class SurfaceDrawing : public Surfaces, public ::testing::WithParamInterface<SurfaceCase> {};

TEST_P(SurfaceDrawing, DrawingReachesTheSpriteAndTheScreenStaysAsItWas) {
    const SurfaceCase& c = GetParam();
    if (!c.framebuffer_object) display->framebuffer_objects_disable();
    display->screen_clear(kBlue);
    surface_create(0, 10, 100, 50);
    const rt::SpriteRecord* s = display->sprite(10);
    EXPECT_EQ(s->width, 100);
    EXPECT_EQ(s->height, 50);
    EXPECT_EQ(s->texture_width, 128);
    EXPECT_EQ(s->texture_height, 64);
    EXPECT_FLOAT_EQ(s->u_max, 0.78125f);
    EXPECT_FLOAT_EQ(s->v_max, 0.78125f);
    EXPECT_EQ(display->surface(0)->fbo_width, c.framebuffer_object ? 128 : 0);

    surface_use(0);
    EXPECT_EQ(display->render_target(), 0);
    rect_fill(0, 0, 100, 50, kRed);
    pixel_set(3, 2, kKey);
    EXPECT_EQ(pixel_get(0, 0), kRed);
    EXPECT_EQ(pixel_get(99, 49), kRed);
    EXPECT_EQ(pixel_get(3, 2), kKey);
    EXPECT_EQ(pixel_get(100, 0), 0);  // outside the surface
    if (c.finish_with_negative) {
        surface_use(-1);
    } else {
        surface_use_screen();
    }
    EXPECT_EQ(display->render_target(), -1);

    // The screen corner the fallback borrowed is back, beside the surface too.
    for (auto [x, y] : {std::pair{0, 0}, {50, 25}, {99, 49}, {110, 55}, {127, 63}}) {
        EXPECT_EQ(at(x, y), rgb_of(kBlue)) << x << ", " << y;
    }
    // The key pixel is a hole in the sprite's texture (rows bottom-up).
    EXPECT_EQ(texel(s->texture, 3, 47).a, 0);
    EXPECT_EQ(texel(s->texture, 50, 25), (Rgba{255, 0, 0, 255}));

    display->screen_clear(kGreen);
    sprite_draw(10, 200, 100);
    EXPECT_EQ(at(200, 100), rgb_of(kRed));
    EXPECT_EQ(at(299, 149), rgb_of(kRed));
    EXPECT_EQ(at(203, 102), rgb_of(kGreen));
    EXPECT_EQ(at(300, 150), rgb_of(kGreen));

    // A second round draws on what the sprite already holds.
    surface_use(0);
    rect_fill(0, 0, 10, 10, kWhite);
    surface_use_screen();
    sprite_draw(10, 200, 100);
    EXPECT_EQ(at(200, 100), rgb_of(kWhite));
    EXPECT_EQ(at(250, 120), rgb_of(kRed));
}

INSTANTIATE_TEST_SUITE_P(, SurfaceDrawing,
                         ::testing::Values(SurfaceCase{"FramebufferObject", true, false},
                                           SurfaceCase{"FramebufferObjectNegativeNumber", true, true},
                                           SurfaceCase{"CopyFallback", false, false},
                                           SurfaceCase{"CopyFallbackNegativeNumber", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Surfaces, BadNumbersDoNothing) {
    surface_create(32, 10, 100, 50);
    surface_create(-1, 10, 100, 50);
    surface_create(0, 65536, 100, 50);
    EXPECT_EQ(display->sprite(10)->width, 0);
    surface_use(5);  // never created
    EXPECT_EQ(display->render_target(), -1);
    surface_use(40);
    EXPECT_EQ(display->render_target(), -1);
    sprite_grab(-1, 0, 0, 10, 10);
    sprite_grab(70000, 0, 0, 10, 10);
    picture_slot_grab(8);
    picture_slot_draw(-1);
    EXPECT_EQ(pixel_get(-1, 0), 0);
    EXPECT_EQ(pixel_get(640, 0), 0);
}

// ---- primitives ----

TEST_F(Surfaces, PrimitivesCoverTheirPixels) {
    using Pixels = std::set<std::pair<int, int>>;
    auto block = [](int x0, int x1, int y0, int y1) {
        Pixels p;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) p.insert({x, y});
        }
        return p;
    };
    struct Case {
        const char* name;
        void (*draw)();
        Pixels lit;
    };
    const Case cases[] = {
        {"rect with negative width", [] { rect_fill(10, 10, -5, 3, kWhite); }, block(6, 10, 10, 12)},
        {"rect with negative height", [] { rect_fill(10, 10, 5, -3, kWhite); }, block(10, 14, 8, 10)},
        {"point", [] { pixel_set(7, 9, kWhite); }, block(7, 7, 9, 9)},
        {"line with equal ends", [] { line_draw(20, 30, 20, 30, kWhite); }, block(20, 20, 30, 30)},
        {"horizontal line", [] { line_draw(5, 40, 25, 40, kWhite); }, block(5, 25, 40, 40)},
        {"vertical line upwards", [] { line_draw(30, 20, 30, 5, kWhite); }, block(30, 30, 5, 20)},
    };
    for (const Case& c : cases) {
        display->screen_clear(0);
        c.draw();
        std::vector<Rgba> s = screen();
        Pixels lit;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                if (s[y * 640 + x] != rgb_of(0)) lit.insert({x, y});
            }
        }
        EXPECT_EQ(lit, c.lit) << c.name;
    }
}

// ---- grabs ----

class Grab : public Surfaces, public ::testing::WithParamInterface<bool> {};

TEST_P(Grab, GrabbedAreaDrawsTheSamePixelsWithTheKeyAsHole) {
    GLint alpha_bits = 0;
    glGetIntegerv(GL_ALPHA_BITS, &alpha_bits);
    RecordProperty("framebuffer_alpha_bits", alpha_bits);
    if (GetParam()) {
        // As a framebuffer without alpha holds it: the hole is found by its colour alone.
        display->grab_read_back_force();
        pattern();
        transparent_colour_set(-1);
        rect_fill(30, 24, 4, 4, kKey);
        transparent_colour_set(kKey);
    } else {
        pattern();
    }
    std::vector<Rgba> before = screen();
    sprite_grab(5, 10, 20, 32, 18);
    EXPECT_EQ(screen(), before);  // the key probe puts its pixel back
    const rt::SpriteRecord* s = display->sprite(5);
    EXPECT_EQ(s->width, 32);
    EXPECT_EQ(s->height, 18);
    EXPECT_EQ(s->texture_width, 32);
    EXPECT_EQ(s->texture_height, 32);

    rect_fill(300, 200, 32, 18, kGreen);
    sprite_draw(5, 300, 200);
    std::vector<Rgba> after = screen();
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 32; ++x) {
            Rgba want = in_hole(10 + x, 20 + y) ? rgb_of(kGreen) : before[(20 + y) * 640 + 10 + x];
            ASSERT_EQ(after[(200 + y) * 640 + 300 + x], want) << x << ", " << y;
        }
    }
    // Grabbing again into a texture of the same size keeps the texture name.
    GLuint texture = s->texture;
    sprite_grab(5, 0, 0, 20, 30);
    EXPECT_EQ(s->texture, texture);
}

INSTANTIATE_TEST_SUITE_P(, Grab, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ReadBack" : "Copy"; });

TEST_F(Surfaces, PictureSlotReproducesTheScreen) {
    pattern();
    rect_fill(600, 440, 40, 40, kGreen);  // up to the bottom right corner
    rect_fill(0, 470, 640, 10, kBlue);
    std::vector<Rgba> before = screen();
    picture_slot_grab(1);
    const rt::PictureSlot* slot = display->picture_slot(1);
    EXPECT_EQ(slot->columns, 1);
    EXPECT_EQ(slot->rows, 1);
    EXPECT_EQ(slot->tile_used_width[0], 640);
    EXPECT_EQ(slot->tile_used_height[0], 480);
    display->screen_clear(kWhite);
    picture_slot_draw(1);
    EXPECT_EQ(screen(), before);
}

// ---- saving ----

TEST_F(Surfaces, SavedPicturesDecodeToTheScreen) {
    rt_test::TempDir dir;
    pattern();
    rect_fill(100, 100, 200, 150, kGreen);
    std::vector<Rgba> shown = screen();
    struct Case {
        const char* file;
        const char* magic;
        bool exact;
        bool keyed;
    };
    const Case cases[] = {
        {"shot.bmp", "BM", true, false},     {"shot.png", "\x89PNG", true, true},
        {"SHOT.PNG", "\x89PNG", true, true}, {"shot.jpg", "\xFF\xD8", false, false},
        {"shot.jpeg", "BM", true, false},    {"shot", "BM", true, false},
    };
    for (const Case& c : cases) {
        std::string path = dir.file(c.file);
        ASSERT_EQ(screen_save(RtString(path.c_str())), 1) << c.file;
        EXPECT_EQ(rt::globals.error_code, 0);
        std::string bytes = rt_test::read_file(path);
        EXPECT_EQ(bytes.rfind(c.magic, 0), 0u) << c.file;
        rt::Picture p;
        ASSERT_TRUE(rt::picture_decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), p,
                                       rt::kNoColourKey, c.file))
            << c.file;
        ASSERT_EQ(p.width, 640);
        ASSERT_EQ(p.height, 480);
        long error = 0;
        int keyed_wrong = 0;
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                const uint8_t* q = &p.pixels[(static_cast<size_t>(y) * 640 + x) * 4];
                const Rgba& want = shown[y * 640 + x];
                error += std::abs(q[0] - want.r) + std::abs(q[1] - want.g) + std::abs(q[2] - want.b);
                if (c.keyed && q[3] != (in_hole(x, y) ? 0 : 255)) ++keyed_wrong;
            }
        }
        if (c.exact) {
            EXPECT_EQ(error, 0) << c.file;
        } else {
            EXPECT_LT(static_cast<double>(error) / (640.0 * 480 * 3), 2.0) << c.file;
        }
        EXPECT_EQ(keyed_wrong, 0) << c.file;
    }

    // A sprite saves its picture, not the whole texture.
    sprite_grab(5, 10, 20, 32, 18);
    std::string path = dir.file("sprite.bmp");
    ASSERT_EQ(sprite_save(RtString(path.c_str()), 5), 0);
    std::string bytes = rt_test::read_file(path);
    rt::Picture p;
    ASSERT_TRUE(rt::picture_decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), p, rt::kNoColourKey,
                                   "sprite.bmp"));
    ASSERT_EQ(p.width, 32);
    ASSERT_EQ(p.height, 18);
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 32; ++x) {
            const uint8_t* q = &p.pixels[(static_cast<size_t>(y) * 32 + x) * 4];
            ASSERT_EQ((Rgba{q[0], q[1], q[2], 255}), shown[(20 + y) * 640 + 10 + x]) << x << ", " << y;
        }
    }
}

TEST_F(Surfaces, FailedSavesReportCodeThreeAndLeaveFilesAlone) {
    rt_test::TempDir dir;
    sprite_grab(5, 0, 0, 16, 16);
    std::string missing = dir.file("no/such/folder/shot.bmp");
    EXPECT_EQ(screen_save(RtString(missing.c_str())), 0);
    EXPECT_EQ(rt::globals.error_code, 3);
    EXPECT_EQ(sprite_save(RtString(missing.c_str()), 5), 3);
    EXPECT_EQ(rt::globals.error_code, 3);
    std::string kept = dir.file("kept.bmp");
    rt_test::write_file(kept, "old");
    EXPECT_EQ(sprite_save(RtString(kept.c_str()), 6), 3);  // free sprite
    EXPECT_EQ(rt_test::read_file(kept), "old");
    EXPECT_EQ(screen_save(RtString("mem://00000010 00001000")), 0);
    // A success clears the code again.
    EXPECT_EQ(screen_save(RtString(kept.c_str())), 1);
    EXPECT_EQ(rt::globals.error_code, 0);
}

}  // namespace
