// make_assets: writes Tumblefoot_3's ten pictures (24-bit BMP, magenta where transparent) and its
// level into a folder, the same bytes on every run, after proving with the game's own player code
// that every platform of the level can be reached and that no place reached is a trap.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "game/game.h"
#include "runtime/core/globals.h"
#include "runtime/input/input_service.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Pictures

constexpr uint32_t kMagenta = 0xFF00FF;  // 0xRRGGBB here; transparent in the game

uint32_t rgb(int r, int g, int b) {
    return static_cast<uint32_t>(std::clamp(r, 0, 255)) << 16 | static_cast<uint32_t>(std::clamp(g, 0, 255)) << 8 |
           static_cast<uint32_t>(std::clamp(b, 0, 255));
}
// a + (b - a) * t / n, per channel, in integers.
uint32_t mix(uint32_t a, uint32_t b, int t, int n) {
    auto channel = [&](int shift) {
        int ca = static_cast<int>(a >> shift & 255);
        int cb = static_cast<int>(b >> shift & 255);
        return ca + (cb - ca) * t / n;
    };
    return rgb(channel(16), channel(8), channel(0));
}

// The palette: one earthy set shared by every picture.
const uint32_t kDirt = rgb(150, 100, 60);
const uint32_t kDirtDark = rgb(112, 72, 42);
const uint32_t kDirtLight = rgb(178, 128, 82);
const uint32_t kGrass = rgb(78, 168, 58);
const uint32_t kGrassDark = rgb(48, 118, 40);
const uint32_t kGrassLight = rgb(132, 210, 88);
const uint32_t kBrick = rgb(168, 70, 50);
const uint32_t kBrickDark = rgb(128, 48, 34);
const uint32_t kBrickLight = rgb(196, 100, 74);
const uint32_t kMortar = rgb(206, 194, 170);
const uint32_t kStone = rgb(132, 132, 142);
const uint32_t kStoneDark = rgb(88, 88, 100);
const uint32_t kStoneLight = rgb(178, 178, 188);
const uint32_t kWood = rgb(192, 140, 70);
const uint32_t kWoodDark = rgb(118, 78, 34);
const uint32_t kWoodLight = rgb(222, 176, 102);
const uint32_t kOutline = rgb(34, 26, 30);

// A fixed hash of a pixel position: the only source of variation, so every run draws the same.
uint32_t hash(int x, int y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBB, row 0 at the top

    Image(int w, int h, uint32_t fill) : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {}
    uint32_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    uint32_t get(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    void set(int x, int y, uint32_t c) {
        if (inside(x, y)) at(x, y) = c;
    }
    void rect(int x0, int y0, int x1, int y1, uint32_t c) {  // inclusive corners
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) set(x, y, c);
        }
    }
    // Pixels whose centre lies inside the ellipse around (cx, cy), radii rx and ry, all in half
    // pixels so that even sizes centre between pixels.
    void ellipse2(int cx2, int cy2, int rx2, int ry2, uint32_t c) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                int64_t dx = 2 * x + 1 - cx2;
                int64_t dy = 2 * y + 1 - cy2;
                if (dx * dx * ry2 * ry2 + dy * dy * rx2 * rx2 <= int64_t{rx2} * rx2 * ry2 * ry2) at(x, y) = c;
            }
        }
    }
};

// 24-bit BMP: 14-byte file header, 40-byte info header, bottom-up rows padded to 4 bytes, BGR.
std::vector<uint8_t> bmp_bytes(const Image& image) {
    const uint32_t row_bytes = (static_cast<uint32_t>(image.width) * 3 + 3) & ~3u;
    const uint32_t data_bytes = row_bytes * static_cast<uint32_t>(image.height);
    std::vector<uint8_t> out;
    auto u16 = [&](uint32_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    out.push_back('B');
    out.push_back('M');
    u32(54 + data_bytes);
    u32(0);
    u32(54);
    u32(40);
    u32(static_cast<uint32_t>(image.width));
    u32(static_cast<uint32_t>(image.height));
    u16(1);   // planes
    u16(24);  // bits per pixel
    u32(0);   // no compression
    u32(data_bytes);
    u32(2835);  // 72 dots per inch
    u32(2835);
    u32(0);
    u32(0);
    for (int y = image.height - 1; y >= 0; --y) {
        size_t start = out.size();
        for (int x = 0; x < image.width; ++x) {
            uint32_t c = image.get(x, y);
            out.push_back(static_cast<uint8_t>(c));
            out.push_back(static_cast<uint8_t>(c >> 8));
            out.push_back(static_cast<uint8_t>(c >> 16));
        }
        while (out.size() - start < row_bytes) out.push_back(0);
    }
    return out;
}

// Earth with darker and lighter specks; the slopes fill with the same, so they join the ground.
uint32_t dirt(int x, int y) {
    uint32_t h = hash(x, y, 1) % 100;
    if (h < 9) return kDirtDark;
    if (h < 15) return kDirtLight;
    return kDirt;
}

Image ground_tile() {
    Image img(20, 20, kDirt);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) img.at(x, y) = dirt(x, y);
    }
    // Two pebbles.
    img.rect(4, 6, 6, 7, kStone);
    img.set(4, 6, kStoneLight);
    img.rect(13, 14, 14, 15, kStoneDark);
    return img;
}

// Bricks of 9 x 4 with mortar between, every other row shifted by half a brick; repeats seamlessly.
Image brick_tile() {
    Image img(20, 20, kMortar);
    for (int y = 0; y < 20; ++y) {
        int course = y / 5;
        for (int x = 0; x < 20; ++x) {
            int bx = (x + (course % 2 == 1 ? 5 : 0)) % 10;
            int by = y % 5;
            if (by == 4 || bx == 9) continue;
            uint32_t c = kBrick;
            if (by == 0 || bx == 0) c = kBrickLight;
            if (by == 3 || bx == 8) c = kBrickDark;
            if (c == kBrick && hash(x, y, 2) % 100 < 10) c = kBrickDark;
            img.at(x, y) = c;
        }
    }
    return img;
}

// Grass tufts and two flowers along the bottom; magenta above.
Image decoration_tile() {
    Image img(20, 20, kMagenta);
    for (int x = 0; x < 20; ++x) {
        int blade = 2 + static_cast<int>(hash(x, 0, 3) % 6);
        for (int y = 19; y >= 19 - blade; --y) {
            uint32_t c = (x + y) % 3 == 0 ? kGrassDark : kGrass;
            if (y == 19 - blade) c = kGrassLight;
            img.at(x, y) = c;
        }
    }
    // A red flower and a yellow one: stems, petals round a centre.
    auto flower = [&](int x, int top, uint32_t petal) {
        for (int y = top + 2; y <= 19; ++y) img.at(x, y) = kGrassDark;
        img.set(x - 1, 15, kGrass);  // a leaf
        img.at(x, top) = petal;
        img.at(x - 1, top + 1) = petal;
        img.at(x + 1, top + 1) = petal;
        img.at(x, top + 2) = petal;
        img.at(x, top + 1) = rgb(250, 220, 60);
    };
    flower(5, 7, rgb(220, 50, 60));
    flower(14, 10, rgb(250, 240, 120));
    return img;
}

// A slope: surface pixel of column dx at row surface(dx), grass along it, earth below, magenta above.
template <typename Surface>
Image slope_tile(Surface surface) {
    Image img(20, 20, kMagenta);
    for (int x = 0; x < 20; ++x) {
        int s = surface(x);
        for (int y = s; y < 20; ++y) {
            uint32_t c = dirt(x, y);
            if (y == s)
                c = kGrassLight;
            else if (y <= s + 2)
                c = (x % 3 == 0) ? kGrassDark : kGrass;
            img.at(x, y) = c;
        }
    }
    return img;
}

// One bevelled block of stone with a crack.
Image stone_tile() {
    Image img(20, 20, kStone);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            uint32_t c = hash(x, y, 4) % 100 < 12 ? mix(kStone, kStoneDark, 1, 2) : kStone;
            if (x <= 1 || y <= 1) c = kStoneLight;
            if (x >= 18 || y >= 18) c = kStoneDark;
            img.at(x, y) = c;
        }
    }
    const int crack[][2] = {{6, 4}, {7, 5}, {7, 6}, {8, 7}, {9, 7}, {10, 8}, {10, 9}, {11, 10}};
    for (const auto& p : crack) img.at(p[0], p[1]) = kStoneDark;
    return img;
}

// A wooden crate: frame, planks, a diagonal brace.
Image crate_tile() {
    Image img(20, 20, kWood);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            uint32_t c = (y % 6 == 5) ? kWoodDark : (hash(x / 3, y, 5) % 100 < 20 ? kWoodLight : kWood);
            if (x <= 2 || y <= 2 || x >= 17 || y >= 17) c = (x == 0 || y == 0) ? kWoodLight : kWoodDark;
            if (x > 2 && y > 2 && x < 17 && y < 17 && (x + y == 19 || x + y == 20)) c = kWoodDark;
            img.at(x, y) = c;
        }
    }
    for (int corner = 0; corner < 4; ++corner) img.set(corner % 2 == 0 ? 1 : 18, corner < 2 ? 1 : 18, kStone);
    return img;
}

// The player facing right in a 33 x 40 picture: the collision box (12 x 38 pixels) covers
// columns 4 to 15 and rows 2 to 39, where the right picture is drawn (x - 4, y - 2).
Image player_right() {
    const uint32_t skin = rgb(246, 204, 164);
    const uint32_t hair = rgb(96, 56, 28);
    const uint32_t shirt = rgb(44, 96, 206);
    const uint32_t shirt_dark = rgb(30, 64, 150);
    const uint32_t trousers = rgb(62, 62, 96);
    const uint32_t shoe = rgb(104, 40, 28);
    Image img(33, 40, kMagenta);
    // Legs, the back one darker, and shoes pointing forwards.
    img.rect(6, 28, 8, 36, mix(trousers, kOutline, 1, 3));
    img.rect(10, 28, 12, 36, trousers);
    img.rect(5, 37, 8, 39, mix(shoe, kOutline, 1, 3));
    img.rect(10, 37, 15, 39, shoe);
    img.rect(6, 26, 12, 27, trousers);
    // Body with a belt, the arm in front with its hand.
    img.rect(6, 15, 12, 25, shirt);
    img.rect(5, 17, 13, 24, shirt);
    img.rect(6, 25, 12, 25, kWoodDark);
    img.rect(9, 16, 11, 23, shirt_dark);
    img.rect(9, 24, 11, 25, skin);
    // Neck and head, hair over the top and the back.
    img.rect(8, 13, 10, 14, skin);
    img.ellipse2(20, 16, 11, 12, skin);  // centre (10, 8): columns 5 to 15, rows 2 to 13
    for (int y = 2; y <= 13; ++y) {
        for (int x = 5; x <= 15; ++x) {
            if (img.get(x, y) != skin) continue;
            if (y <= 4 || (x <= 7 && y <= 9) || (x <= 6)) img.at(x, y) = hair;
        }
    }
    // The eye looks forwards, the nose sticks out, a small mouth.
    img.rect(12, 6, 13, 8, rgb(255, 255, 255));
    img.rect(13, 7, 13, 8, kOutline);
    img.set(16, 9, skin);
    img.rect(12, 11, 13, 11, rgb(170, 70, 70));
    // A dark outline round the figure.
    Image out = img;
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            if (img.get(x, y) != kMagenta) continue;
            const int near[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
            for (const auto& n : near) {
                if (img.inside(n[0], n[1]) && img.get(n[0], n[1]) != kMagenta) out.at(x, y) = kOutline;
            }
        }
    }
    return out;
}

// The mirror image: the box then covers columns 17 to 28, where the left picture is drawn (x - 17).
Image mirrored(const Image& img) {
    Image out(img.width, img.height, kMagenta);
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) out.at(img.width - 1 - x, y) = img.get(x, y);
    }
    return out;
}

// A smooth wave of period p (pixels) and amplitude 0 ... 1000, integers only, so every machine
// draws the same: a triangle wave eased with a cubic.
int wave(int x, int p, int phase) {
    int64_t t = ((static_cast<int64_t>(x) + phase) % p + p) % p;
    int64_t tri = std::abs(2 * t - p);  // 0 ... p
    return static_cast<int>(tri * tri * (3 * p - 2 * tri) * 1000 / (int64_t{p} * p * p));
}

// The background: a sky gradient, clouds, far and near hills. Everything repeats every 640 pixels
// across, so the picture tiles side by side without a seam; it is as tall as the level.
Image background(int width, int height) {
    Image img(width, height, 0);
    const uint32_t sky_top = rgb(68, 126, 208);
    const uint32_t sky_low = rgb(188, 222, 246);
    const int horizon = height * 3 / 5;
    for (int y = 0; y < height; ++y) {
        uint32_t c = mix(sky_top, sky_low, std::min(y, horizon), horizon);
        for (int x = 0; x < width; ++x) img.at(x, y) = c;
    }
    // Clouds: clusters of ellipses, measured across the wrap so they continue over the edges.
    struct Puff {
        int x, y, rx, ry;
    };
    const Puff puffs[] = {
        {40, 80, 34, 16},   {76, 70, 30, 20},   {110, 84, 28, 14}, {300, 140, 40, 16},
        {340, 128, 32, 22}, {378, 142, 30, 14}, {520, 60, 30, 14}, {552, 52, 26, 18},
        {584, 62, 30, 14},  {620, 66, 24, 12},  {200, 40, 22, 10}, {226, 36, 18, 12},
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (const Puff& p : puffs) {
                int64_t dx = std::abs(x - p.x);
                dx = std::min<int64_t>(dx, width - dx);
                int64_t dy = y - p.y;
                int64_t rx = p.rx;
                int64_t ry = p.ry;
                if (dx * dx * ry * ry + dy * dy * rx * rx <= rx * rx * ry * ry) {
                    img.at(x, y) = dy > ry / 3 ? rgb(222, 230, 242) : rgb(248, 250, 255);
                }
            }
        }
    }
    // Hills: heights from waves whose periods divide the width.
    const uint32_t far_hill = rgb(122, 172, 150);
    const uint32_t near_hill = rgb(82, 150, 92);
    for (int x = 0; x < width; ++x) {
        int far_top = horizon - 40 - (wave(x, width, 90) * 70 + wave(x, width / 4, 31) * 18) / 1000;
        int near_top = horizon + 40 - (wave(x, width / 2, 200) * 60 + wave(x, width / 5, 7) * 14) / 1000;
        for (int y = std::max(far_top, 0); y < height; ++y) {
            img.at(x, y) = mix(far_hill, sky_low, 1, 5 + (y - far_top) / 8);
        }
        for (int y = std::max(near_top, 0); y < height; ++y) {
            uint32_t c = mix(near_hill, rgb(40, 92, 52), std::min(y - near_top, 200), 200);
            if (hash(x, y, 6) % 100 < 6) c = mix(c, kGrassLight, 1, 3);
            img.at(x, y) = c;
        }
    }
    return img;
}

// ---------------------------------------------------------------------------------------------
// The level

constexpr int kMapWidth = 140;
constexpr int kMapHeight = 30;

enum Code : int32_t {
    kEmpty = 0,
    kWall = 1,
    kGround = 2,
    kBrickCode = 3,
    kDecoration = 4,
    kSlopeFalling = 5,
    kSlopeRising = 6,
    kStoneCode = 7,
    kCrate = 8,
};

// A place the player must be able to stand on: a flat surface (the top of row top, columns
// c0 to c1) or every tile of a slope chain (columns c0 to c1).
struct Target {
    bool slope;
    int c0, c1, top;
    std::string what;
};

struct Level {
    std::vector<int32_t> codes = std::vector<int32_t>(static_cast<size_t>(kMapWidth) * kMapHeight, kEmpty);
    std::vector<Target> targets;

    int32_t& at(int c, int r) { return codes[static_cast<size_t>(r) * kMapWidth + c]; }

    // Solid ground whose top is row top; the face rows (down to face_to) may be another tile.
    void ground(int c0, int c1, int top, const std::string& what, int32_t face = kGround, int face_rows = 0) {
        for (int c = c0; c <= c1; ++c) {
            for (int r = top; r < kMapHeight - 1; ++r) at(c, r) = r < top + face_rows ? face : kGround;
        }
        targets.push_back({false, c0, c1, top, what});
    }
    void platform(int c0, int c1, int row, int32_t code, const std::string& what) {
        for (int c = c0; c <= c1; ++c) at(c, row) = code;
        targets.push_back({false, c0, c1, row, what});
    }
    void fill_below(int c, int r) {
        for (int rr = r + 1; rr < kMapHeight - 1; ++rr) at(c, rr) = kGround;
    }
    // k slope_rising tiles climbing to the right from (c, bottom): the ground left of them has its
    // top at row bottom + 1, the ground right of them at row bottom - k + 1.
    void rising(int c, int bottom, int k, const std::string& what) {
        for (int i = 0; i < k; ++i) {
            at(c + i, bottom - i) = kSlopeRising;
            fill_below(c + i, bottom - i);
        }
        targets.push_back({true, c, c + k - 1, 0, what});
    }
    // k slope_falling tiles going down to the right from (c, top): the ground left of them has its
    // top at row top, the ground right of them at row top + k.
    void falling(int c, int top, int k, const std::string& what) {
        for (int i = 0; i < k; ++i) {
            at(c + i, top + i) = kSlopeFalling;
            fill_below(c + i, top + i);
        }
        targets.push_back({true, c, c + k - 1, 0, what});
    }
    void decorate(int c, int r) {
        if (at(c, r) == kEmpty) at(c, r) = kDecoration;
    }
};

Level build_level() {
    Level L;
    L.ground(1, 19, 22, "start meadow");
    L.rising(20, 21, 4, "first hill, rising slopes");
    L.ground(24, 35, 18, "hill top");
    L.platform(28, 31, 14, kBrickCode, "brick ledge over the hill");
    L.falling(36, 18, 4, "first hill, falling slopes");
    L.ground(40, 45, 22, "before the pit");
    L.ground(46, 49, 25, "pit floor");
    L.ground(50, 65, 22, "under the steps");
    L.platform(52, 54, 19, kBrickCode, "first step");
    L.platform(57, 60, 15, kStoneCode, "second step");
    L.platform(62, 65, 11, kBrickCode, "third step");
    L.at(65, 10) = kCrate;
    L.falling(66, 22, 4, "valley, falling slopes");
    L.ground(70, 74, 26, "valley floor");
    L.rising(75, 25, 4, "valley, rising slopes");
    L.ground(79, 86, 22, "before the wall");
    L.platform(81, 81, 21, kCrate, "first crate");
    L.platform(83, 84, 20, kCrate, "crate stack");
    L.at(83, 21) = kCrate;
    L.at(84, 21) = kCrate;
    L.ground(87, 96, 18, "on the brick wall", kBrickCode, 4);
    L.platform(94, 94, 17, kCrate, "crate on the wall");
    L.falling(97, 18, 4, "down from the wall");
    L.ground(101, 110, 22, "lower field");
    L.platform(103, 106, 18, kBrickCode, "floating bricks");
    L.platform(107, 109, 14, kStoneCode, "high stones");
    L.rising(111, 21, 4, "last hill, rising slopes");
    L.ground(115, 124, 18, "last hill top");
    L.falling(125, 18, 2, "last hill, falling slopes");
    L.ground(127, 138, 20, "end meadow");
    L.platform(133, 133, 19, kCrate, "crate at the end");
    L.platform(134, 134, 18, kCrate, "top crate at the end");
    L.at(134, 19) = kCrate;

    // Grass and flowers on the open ground.
    const int decorations[][2] = {{3, 21},   {8, 21},   {11, 21},  {26, 17},  {33, 17}, {42, 21},  {47, 24},
                                  {59, 21},  {72, 25},  {80, 21},  {86, 21},  {90, 17}, {102, 21}, {109, 21},
                                  {118, 17}, {122, 17}, {129, 19}, {137, 19}, {63, 10}, {30, 13}};
    for (const auto& d : decorations) L.decorate(d[0], d[1]);

    // Closed on every side: an invisible ceiling, stone walls and floor.
    for (int c = 0; c < kMapWidth; ++c) {
        L.at(c, 0) = kWall;
        L.at(c, kMapHeight - 1) = kStoneCode;
    }
    for (int r = 1; r < kMapHeight; ++r) {
        L.at(0, r) = kStoneCode;
        L.at(kMapWidth - 1, r) = kStoneCode;
    }
    return L;
}

std::vector<uint8_t> map_bytes(const Level& level) {
    std::vector<uint8_t> out;
    auto put = [&](int32_t v) {
        auto u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
    };
    put(kMapWidth);
    put(kMapHeight);
    for (int32_t code : level.codes) put(code);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Checking the level with the game's player code

enum Dir { kNone, kLeft, kRight };

void keys_set(rt::InputService& input, Dir dir, bool jump) {
    input.key_down_set(kKeyRight, dir == kRight);
    input.key_down_set(kKeyLeft, dir == kLeft);
    input.key_down_set(kKeyJump, jump);
}

// What identifies a standing player: position and the tile carried for the slopes.
using StateKey = std::tuple<int32_t, int32_t, int32_t, int32_t>;
StateKey key_of(const Player& p) { return {p.x, p.y, p.foot_column, p.foot_row}; }

bool standing(const Player& p) { return p.airborne == 0 && p.speed_y == 1 && p.jump_held == 0; }

// Runs the script (keys per frame) until the player stands, then idle frames until nothing
// changes any more. False when that takes too long.
template <typename Script>
bool run(rt::InputService& input, Player& p, Script script) {
    constexpr int kMaxFrames = 240;
    int frame = 0;
    for (;; ++frame) {
        if (frame >= kMaxFrames) return false;
        auto [dir, jump] = script(frame);
        keys_set(input, dir, jump);
        player_update(p);
        if (frame >= 1 && standing(p)) break;
        if (frame == 0 && !jump && standing(p)) break;
    }
    keys_set(input, kNone, false);
    for (int idle = 0; idle < kMaxFrames; ++idle) {
        Player before = p;
        player_update(p);
        if (standing(p) && key_of(p) == key_of(before)) return true;
    }
    return false;
}

struct Search {
    std::vector<Player> nodes;
    std::map<StateKey, int> index;
    std::vector<std::vector<int>> reverse;  // reverse[to]: the nodes with an edge to it
};

int add_node(Search& s, const Player& p) {
    auto [it, fresh] = s.index.emplace(key_of(p), static_cast<int>(s.nodes.size()));
    if (fresh) {
        s.nodes.push_back(p);
        s.reverse.emplace_back();
    }
    return it->second;
}

// Every standing place reached from the start with walking steps and jumps whose direction
// changes at most once in the air. Fewer moves than a person has: what it reaches is reachable.
bool search_level(rt::InputService& input, Search& s) {
    Player start{};
    player_init(start);
    if (!run(input, start, [](int) { return std::pair{kNone, false}; })) return false;
    add_node(s, start);
    const Dir dirs[3] = {kNone, kLeft, kRight};
    for (size_t n = 0; n < s.nodes.size(); ++n) {
        std::vector<Player> results;
        auto attempt = [&](auto script) {
            Player p = s.nodes[n];
            if (run(input, p, script)) results.push_back(p);
        };
        for (Dir d : {kLeft, kRight}) {
            attempt([d](int) { return std::pair{d, false}; });                     // a step (and on, off a ledge)
            attempt([d](int f) { return std::pair{f == 0 ? d : kNone, false}; });  // a step off, then drop
        }
        for (Dir d1 : dirs) {
            for (Dir d2 : dirs) {
                for (int turn = 2; turn <= (d1 == d2 ? 2 : 24); turn += 2) {
                    attempt([=](int f) { return std::pair{f < turn ? d1 : d2, f == 0}; });
                }
            }
        }
        for (const Player& p : results) {
            int to = add_node(s, p);
            s.reverse[static_cast<size_t>(to)].push_back(static_cast<int>(n));
        }
    }
    return true;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "make_assets: %s\n", message.c_str());
    return 1;
}

// The level's checks: closed edges, every target reached, the start reachable again from every
// place reached. Empty when all hold; otherwise what failed.
std::string check_level(const Level& level, rt::InputService& input, Search& s) {
    for (int c = 0; c < kMapWidth; ++c) {
        for (int r : {0, kMapHeight - 1}) {
            if (tile_collision_at(c, r) != solid) return "the map is open at column " + std::to_string(c);
        }
    }
    for (int r = 0; r < kMapHeight; ++r) {
        for (int c : {0, kMapWidth - 1}) {
            if (tile_collision_at(c, r) != solid) return "the map is open at row " + std::to_string(r);
        }
    }
    if (!search_level(input, s)) return "the player does not come to rest after the start";

    for (const Target& t : level.targets) {
        auto reached = [&](int column) {
            for (const Player& p : s.nodes) {
                if (p.foot_column != column) continue;
                if (t.slope) {
                    int kind = tile_collision_at(p.foot_column, p.foot_row);
                    if (kind == slope_rising || kind == slope_falling) return true;
                } else if (p.y + p.height == kTileSize * t.top - 1) {
                    return true;
                }
            }
            return false;
        };
        // Slope chains need every tile stood on, flat places one column.
        if (t.slope) {
            for (int c = t.c0; c <= t.c1; ++c) {
                if (!reached(c)) return "no way onto the slope in column " + std::to_string(c) + " (" + t.what + ")";
            }
        } else {
            bool any = false;
            for (int c = t.c0; c <= t.c1 && !any; ++c) any = reached(c);
            if (!any) return "unreachable: " + t.what;
        }
    }

    // Back to the start from everywhere: a reverse search over the moves found.
    std::vector<bool> back(s.nodes.size(), false);
    std::vector<int> queue = {0};
    back[0] = true;
    while (!queue.empty()) {
        int n = queue.back();
        queue.pop_back();
        for (int from : s.reverse[static_cast<size_t>(n)]) {
            if (!back[static_cast<size_t>(from)]) {
                back[static_cast<size_t>(from)] = true;
                queue.push_back(from);
            }
        }
    }
    for (size_t n = 0; n < s.nodes.size(); ++n) {
        if (!back[n]) {
            const Player& p = s.nodes[n];
            return "a trap: no way back from x " + std::to_string(p.x) + ", y " + std::to_string(p.y);
        }
    }
    return {};
}

bool write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_assets FOLDER\n  writes FOLDER/gfx/*.bmp and FOLDER/maps/map01.map\n");
        return 2;
    }
    const Level level = build_level();

    // The game's tables and map, as the game sets them up, with keys scripted per frame.
    tables_dim();
    tile_kinds_fill();
    TileMap& map = game_tables.map;
    array_dim(map.tiles, kMapWidth * kMapHeight, 0, 0, 0);
    for (int i = 0; i < kMapWidth * kMapHeight; ++i)
        array_element_1d(map.tiles, i) = level.codes[static_cast<size_t>(i)];
    map.width = kMapWidth;
    map.height = kMapHeight;
    rt::globals.input = std::make_unique<rt::InputService>();
    Search search;
    std::string problem = check_level(level, *rt::globals.input, search);
    rt::globals.input.reset();
    if (!problem.empty()) return fail("level check: " + problem);

    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder / "gfx", ec);
    std::filesystem::create_directories(folder / "maps", ec);
    const std::pair<const char*, Image> pictures[] = {
        {"t1.bmp", ground_tile()},
        {"t2.bmp", brick_tile()},
        {"t3.bmp", decoration_tile()},
        {"tsloper.bmp", slope_tile([](int dx) { return dx; })},
        {"tslopel.bmp", slope_tile([](int dx) { return 19 - dx; })},
        {"t6.bmp", stone_tile()},
        {"t7.bmp", crate_tile()},
        {"left.bmp", mirrored(player_right())},
        {"right.bmp", player_right()},
        {"bg.bmp", background(640, kMapHeight * kTileSize)},
    };
    for (const auto& [name, image] : pictures) {
        if (!write_file(folder / "gfx" / name, bmp_bytes(image))) return fail(std::string("cannot write ") + name);
    }
    if (!write_file(folder / "maps" / "map01.map", map_bytes(level))) return fail("cannot write map01.map");
    std::printf("level %d x %d: %zu standing places reached, %zu places checked\n", kMapWidth, kMapHeight,
                search.nodes.size(), level.targets.size());
    return 0;
}
