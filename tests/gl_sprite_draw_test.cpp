// Sprite drawing on Mesa, read back pixel by pixel: placement of plain, stretched, zoomed,
// rotated and framed draws, polygons, the blend modes and the alpha test, and sprite collisions.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/gfx2d/picture_codec.h"
#include "runtime/gfx2d/sprites.h"
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

const Rgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kWhite{255, 255, 255, 255};
const Rgba kClear{0, 0, 0, 0};

// A picture whose pixel (x, y) (from the top left) is colour(x, y).
rt::Picture make_picture(int w, int h, const std::function<Rgba(int, int)>& colour) {
    rt::Picture p;
    p.width = w;
    p.height = h;
    p.pixels.resize(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            Rgba c = colour(x, y);
            uint8_t* px = &p.pixels[(static_cast<size_t>(y) * w + x) * 4];
            px[0] = static_cast<uint8_t>(c.r);
            px[1] = static_cast<uint8_t>(c.g);
            px[2] = static_cast<uint8_t>(c.b);
            px[3] = static_cast<uint8_t>(c.a);
        }
    }
    return p;
}

// Every pixel its own colour, so that a misplaced or flipped texel shows.
Rgba gradient(int x, int y) { return Rgba{20 + x * 20, 20 + y * 20, 200, 255}; }

// Quadrants red (top left), green (top right), blue (bottom left), white (bottom right).
Rgba quadrants(int x, int y, int side) {
    bool right = x >= side / 2, bottom = y >= side / 2;
    return bottom ? (right ? kWhite : kBlue) : (right ? kGreen : kRed);
}

// The bounding box (x, y, w, h) of the non-black pixels and their count.
struct Lit {
    int x = 0, y = 0, w = 0, h = 0, count = 0;
    bool operator==(const Lit&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Lit& l) {
    return os << "(" << l.x << ", " << l.y << ", " << l.w << " x " << l.h << ", " << l.count << " lit)";
}

class SpriteDraw : public rt_test::DisplayServiceTest {
protected:
    void SetUp() override {
        DisplayServiceTest::SetUp();
        if (HasFatalFailure()) return;
        screen_clear(0);
    }
    // Puts the picture into sprite n through a PNG file, as a game loads it.
    void load(int32_t n, const rt::Picture& picture) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(rt::png_encode(picture, bytes));
        std::string path = dir.file("sprite" + std::to_string(n) + ".png");
        rt_test::write_file(path, std::string(bytes.begin(), bytes.end()));
        ASSERT_TRUE(display->sprite_load(path.c_str(), n, false));
    }
    // The back buffer, pixel (x, y) counted from the top left.
    void read_screen() {
        screen.resize(640 * 480 * 4);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, screen.data());
    }
    Rgba at(int x, int y) const {
        const uint8_t* p = &screen[(static_cast<size_t>(479 - y) * 640 + x) * 4];
        return Rgba{p[0], p[1], p[2], 255};
    }
    Rgba pixel(int x, int y) {
        read_screen();
        return at(x, y);
    }
    Lit lit() {
        read_screen();
        int x0 = INT_MAX, y0 = INT_MAX, x1 = -1, y1 = -1, count = 0;
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                Rgba c = at(x, y);
                if (c.r == 0 && c.g == 0 && c.b == 0) continue;
                ++count;
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
            }
        }
        return count == 0 ? Lit{} : Lit{x0, y0, x1 - x0 + 1, y1 - y0 + 1, count};
    }

    rt_test::TempDir dir;
    std::vector<uint8_t> screen;
};

TEST_F(SpriteDraw, PlainDrawPutsEveryTexelOnItsPixel) {
    load(1, make_picture(5, 3, gradient));
    for (auto [x, y] : {std::pair{10, 20}, {0, 0}, {635, 477}}) {
        screen_clear(0);
        sprite_draw(1, x, y);
        read_screen();
        for (int py = y - 1; py <= y + 3; ++py) {
            for (int px = x - 1; px <= x + 5; ++px) {
                if (px < 0 || py < 0 || px >= 640 || py >= 480) continue;
                bool inside = px >= x && px < x + 5 && py >= y && py < y + 3;
                Rgba want = inside ? gradient(px - x, py - y) : Rgba{0, 0, 0, 255};
                EXPECT_EQ(at(px, py), want) << "sprite at " << x << ", " << y << ", pixel " << px << ", " << py;
            }
        }
    }
}

TEST_F(SpriteDraw, DrawsCoverTheirRectangles) {
    load(1, make_picture(10, 10, [](int, int) { return kWhite; }));
    load(2, make_picture(8, 4, [](int, int) { return kWhite; }));
    display->sprite_frames_set(2, 4, 4);
    struct Case {
        const char* what;
        std::function<void()> draw;
        Lit want;
    };
    const Case cases[] = {
        {"plain", [] { sprite_draw(1, 100, 100); }, {100, 100, 10, 10, 100}},
        {"stretched", [] { sprite_draw_stretched(1, 50, 60, 30, 7); }, {50, 60, 30, 7, 210}},
        {"zoomed 2 x 2", [] { sprite_draw_zoomed(1, 100, 100, 2, 2); }, {95, 95, 20, 20, 400}},
        {"zoomed 1 x 1", [] { sprite_draw_zoomed(1, 100, 100, 1, 1); }, {100, 100, 10, 10, 100}},
        {"rotated 0", [] { sprite_draw_rotated(1, 100, 100, 0); }, {100, 100, 10, 10, 100}},
        {"rotozoom 0, 2", [] { sprite_draw_rotozoom(1, 100, 100, 0, 2); }, {95, 95, 20, 20, 400}},
        {"frame", [] { sprite_draw_frame(2, 1, 30, 40); }, {30, 40, 4, 4, 16}},
        {"frame stretched", [] { sprite_draw_frame_stretched(2, 1, 30, 40, 12, 8); }, {30, 40, 12, 8, 96}},
        {"frame of a sprite without frames", [] { sprite_draw_frame(1, 0, 30, 40); }, {}},
        {"free number", [] { sprite_draw(7, 30, 40); }, {}},
        {"negative number", [] { sprite_draw_stretched(-1, 30, 40, 5, 5); }, {}},
        {"number beyond the store", [] { sprite_draw_rotated(70000, 30, 40, 10); }, {}},
    };
    for (const Case& c : cases) {
        screen_clear(0);
        c.draw();
        EXPECT_EQ(lit(), c.want) << c.what;
    }
}

TEST_F(SpriteDraw, AnimationFramesShowTheirPartOfTheStrip) {
    // Two 4 x 3 frames side by side; frame 1 is the right half.
    load(1, make_picture(8, 3, gradient));
    display->sprite_frames_set(1, 4, 3);
    sprite_draw_frame(1, 1, 200, 100);
    read_screen();
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) EXPECT_EQ(at(200 + x, 100 + y), gradient(4 + x, y)) << x << ", " << y;
    }
}

TEST_F(SpriteDraw, RotationsTurnCounterClockwise) {
    load(1, make_picture(16, 16, [](int x, int y) { return quadrants(x, y, 16); }));
    display->sprite_frames_set(1, 16, 16);
    struct Case {
        double angle;
        Rgba top_left, top_right, bottom_left, bottom_right;
    };
    const Case cases[] = {
        {0, kRed, kGreen, kBlue, kWhite},
        {90, kGreen, kWhite, kRed, kBlue},
        {180, kWhite, kBlue, kGreen, kRed},
        {-90, kBlue, kRed, kWhite, kGreen},
    };
    for (bool frame : {false, true}) {
        for (const Case& c : cases) {
            screen_clear(0);
            smoothing_set(0);
            if (frame) {
                sprite_draw_frame_rotozoom(1, 0, 200, 200, c.angle, 1);
            } else {
                sprite_draw_rotated(1, 200, 200, c.angle);
            }
            read_screen();
            const char* how = frame ? "frame" : "sprite";
            EXPECT_EQ(at(204, 204), c.top_left) << how << " " << c.angle;
            EXPECT_EQ(at(212, 204), c.top_right) << how << " " << c.angle;
            EXPECT_EQ(at(204, 212), c.bottom_left) << how << " " << c.angle;
            EXPECT_EQ(at(212, 212), c.bottom_right) << how << " " << c.angle;
        }
    }
}

TEST_F(SpriteDraw, PolygonStripsJoinAtSplitsAndKeyColourIsTransparent) {
    polygon_begin(-1, 2);
    polygon_split();  // nothing to repeat yet
    const double xs[] = {1, 2, 3, 4, 5, 6};
    for (int i = 0; i < 3; ++i) polygon_vertex(xs[i], 0, 0, 0, 0xFFFFFF);
    polygon_split();
    polygon_split();  // already pending
    for (int i = 3; i < 6; ++i) polygon_vertex(xs[i], 0, 0, 0, 0xFFFFFF);
    ASSERT_EQ(display->polygon_count(), 8);
    const float want[] = {1, 2, 3, 3, 4, 4, 5, 6};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(display->polygon_vertices()[i].x, want[i]) << i;

    // The buffer grows past its first block and keeps its contents.
    polygon_begin(-1, 1);
    for (int i = 0; i < 1000; ++i) polygon_vertex(i, 0, 0, 0, 0xFFFFFF);
    ASSERT_EQ(display->polygon_count(), 1000);
    EXPECT_EQ(display->polygon_vertices()[0].x, 0);
    EXPECT_EQ(display->polygon_vertices()[999].x, 999);

    // A square fan in blue (0x00BBGGRR), then the same in the key colour over it.
    auto square = [](int32_t colour) {
        polygon_begin(-1, 0);
        for (auto [x, y] : {std::pair{300, 300}, {310, 300}, {310, 310}, {300, 310}}) {
            polygon_vertex(x, y, 0, 0, colour);
        }
    };
    square(0xFF0000);
    EXPECT_EQ(display->polygon_vertices()[0].a, 255);
    polygon_end();
    EXPECT_EQ(pixel(305, 305), kBlue);
    square(display->sprite_key());
    EXPECT_EQ(display->polygon_vertices()[0].a, 0);
    polygon_end();
    EXPECT_EQ(pixel(305, 305), kBlue);

    // A textured fan: (tx, ty) are picture pixels counted from the top left.
    load(1, make_picture(16, 16, [](int x, int y) { return quadrants(x, y, 16); }));
    polygon_begin(1, 0);
    polygon_vertex(400, 400, 8, 0, 0xFFFFFF);
    polygon_vertex(408, 400, 16, 0, 0xFFFFFF);
    polygon_vertex(408, 408, 16, 8, 0xFFFFFF);
    polygon_vertex(400, 408, 8, 8, 0xFFFFFF);
    polygon_end();
    EXPECT_EQ(pixel(404, 404), kGreen);
}

TEST_F(SpriteDraw, BlendModesAndTheAlphaTest) {
    load(1, make_picture(4, 4, [](int, int) { return Rgba{200, 100, 50, 255}; }));
    struct Case {
        double alpha;
        Rgba want;
        bool blending;
    };
    // Over a grey of 64: additive adds half the sprite, translucent mixes half and half.
    const Case cases[] = {
        {0.5, {164, 114, 89, 255}, true},
        {-0.5, {132, 82, 57, 255}, true},
        {-3, {200, 100, 50, 255}, true},
        {0, {200, 100, 50, 255}, false},
    };
    for (const Case& c : cases) {
        screen_clear(0x404040);
        blend_alpha_set(c.alpha);
        EXPECT_EQ(glIsEnabled(GL_BLEND) == GL_TRUE, c.blending) << c.alpha;
        EXPECT_EQ(glIsEnabled(GL_ALPHA_TEST) == GL_TRUE, !c.blending) << c.alpha;
        sprite_draw(1, 10, 10);
        Rgba got = pixel(11, 11);
        EXPECT_NEAR(got.r, c.want.r, 1) << c.alpha;
        EXPECT_NEAR(got.g, c.want.g, 1) << c.alpha;
        EXPECT_NEAR(got.b, c.want.b, 1) << c.alpha;
    }
    EXPECT_EQ(display->global_alpha(), 1.0f);

    // The alpha test hides texels of alpha 0.05 and below (12 / 255) and keeps 14 / 255.
    load(2, make_picture(2, 1, [](int x, int) { return Rgba{255, 255, 255, x == 0 ? 12 : 14}; }));
    screen_clear(0);
    sprite_draw(2, 20, 20);
    EXPECT_EQ(pixel(20, 20), (Rgba{0, 0, 0, 255}));
    EXPECT_EQ(pixel(21, 20), kWhite);
}

TEST_F(SpriteDraw, PlainDrawsSwitchTheSecondTextureUnitOff) {
    load(1, make_picture(4, 4, [](int, int) { return kGreen; }));
    load(2, make_picture(4, 4, [](int, int) { return Rgba{128, 128, 128, 255}; }));
    sprite_draw(1, 10, 10);
    display->sprite_bind(2, 1, 0, nullptr);  // sprite 2 on unit 1, which would darken what follows
    sprite_draw(1, 20, 10);
    EXPECT_EQ(pixel(11, 11), kGreen);
    EXPECT_EQ(pixel(21, 11), kGreen);
}

TEST_F(SpriteDraw, CollisionsNeedAPixelOpaqueInBoth) {
    load(1, make_picture(4, 4, [](int, int) { return kWhite; }));
    // Opaque left half only.
    load(2, make_picture(8, 8, [](int x, int) { return x < 4 ? kWhite : kClear; }));
    // One opaque pixel at an odd column and an odd row.
    load(3, make_picture(8, 8, [](int x, int y) { return x == 5 && y == 3 ? kWhite : kClear; }));
    // A strip of two 4 x 4 frames: frame 0 transparent, frame 1 opaque.
    load(4, make_picture(8, 4, [](int x, int) { return x >= 4 ? kWhite : kClear; }));
    display->sprite_frames_set(4, 4, 4);
    struct Case {
        const char* what;
        int32_t got, want;
    };
    const Case cases[] = {
        {"touching edges", sprite_collision(1, 0, 0, 1, 4, 0), 0},
        {"touching corners", sprite_collision(1, 0, 0, 1, 4, 4), 0},
        {"one common pixel", sprite_collision(1, 0, 0, 1, 3, 3), 1},
        {"overlap in transparent pixels", sprite_collision(2, 0, 0, 1, 4, 2), 0},
        {"overlap in opaque pixels", sprite_collision(2, 0, 0, 1, 1, 2), 1},
        {"single pixel found", sprite_collision(3, 10, 20, 1, 14, 20), 1},
        {"single pixel missed on the right", sprite_collision(3, 10, 20, 1, 16, 20), 0},
        {"single pixel missed below", sprite_collision(3, 10, 20, 1, 14, 24), 0},
        {"single pixel, sprites swapped", sprite_collision(1, 15, 23, 3, 10, 20), 1},
        {"transparent frame", sprite_collision_frames(4, 0, 0, 0, 1, -1, 2, 2), 0},
        {"opaque frame", sprite_collision_frames(4, 1, 0, 0, 1, -1, 2, 2), 1},
        {"frame beyond the picture", sprite_collision_frames(4, 9, 0, 0, 1, 0, 0, 0), 0},
        {"negative frame", sprite_collision_frames(4, -7, 0, 0, 1, 0, 0, 0), 0},
        {"far right", sprite_collision(1, INT_MAX - 2, 0, 1, INT_MAX - 1, 1), 1},
        {"far left", sprite_collision(1, INT_MIN, INT_MIN, 1, INT_MIN + 3, INT_MIN + 3), 1},
        {"free sprite", sprite_collision(1, 0, 0, 9, 0, 0), 0},
        {"number beyond the store", sprite_collision(1, 0, 0, 70000, 0, 0), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(SpriteDrawWithoutDisplay, CommandsDoNothing) {
    ASSERT_EQ(rt::globals.display, nullptr);
    sprite_draw(0, 0, 0);
    polygon_begin(0, 0);
    polygon_vertex(0, 0, 0, 0, 0);
    polygon_end();
    blend_alpha_set(0.5);
    EXPECT_EQ(sprite_collision(0, 0, 0, 0, 0, 0), 0);

    // A display object without a window keeps its state but calls no GL.
    DuraVUZododivi display;
    display.sprite_draw(0, 0, 0);
    display.polygon_begin(-1, 2);
    display.polygon_vertex(1, 2, 0, 0, 0x123456);
    display.polygon_end();
    display.blend_alpha_set(-0.25);
    EXPECT_EQ(display.global_alpha(), 0.25f);
    EXPECT_EQ(display.polygon_count(), 1);
}

}  // namespace
