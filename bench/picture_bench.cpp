// Figures for the picture decoders on 1024 x 1024 pictures held in memory, in megapixels per
// second (best of rounds): 24-bit BMP against a memcpy of the RGBA result, PNG against libpng's
// simplified reader of the same file into RGBA, and JPEG (quality 80) alone.
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "runtime/gfx2d/picture_codec.h"

#ifndef RT_BUILD_TYPE
#define RT_BUILD_TYPE "unknown build type"
#endif

namespace {

constexpr int kSide = 1024;
constexpr double kMegapixels = kSide * kSide / 1e6;
constexpr int32_t kSpriteKey = 0x8000FF;

template <typename T>
void keep(const T& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

// Best of at least min_rounds rounds and about budget_s seconds, in seconds.
template <typename F>
double best_seconds(int min_rounds, double budget_s, F&& body) {
    double best = 1e300;
    const auto all = std::chrono::steady_clock::now();
    for (int round = 0;
         round < min_rounds || std::chrono::duration<double>(std::chrono::steady_clock::now() - all).count() < budget_s;
         ++round) {
        const auto start = std::chrono::steady_clock::now();
        body();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// Best times of two bodies timed in alternate rounds, so that a change of machine load between
// them does not decide their ratio.
template <typename F, typename G>
std::pair<double, double> best_seconds_pair(int rounds, F&& first, G&& second) {
    std::pair<double, double> best{1e300, 1e300};
    for (int round = 0; round < rounds; ++round) {
        best.first = std::min(best.first, best_seconds(1, 0, first));
        best.second = std::min(best.second, best_seconds(1, 0, second));
    }
    return best;
}

// A game-like picture: smooth shading, flat areas, a few hard edges and some noise.
rt::Picture sample_picture(bool with_alpha) {
    rt::Picture p;
    p.width = kSide;
    p.height = kSide;
    p.pixels.resize(static_cast<size_t>(kSide) * kSide * 4);
    uint32_t seed = 12345;
    uint8_t* q = p.pixels.data();
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x, q += 4) {
            seed = seed * 1664525u + 1013904223u;
            const bool tile = ((x / 64) + (y / 64)) % 3 == 0;
            const uint8_t noise = static_cast<uint8_t>((seed >> 24) & 7);
            q[0] = static_cast<uint8_t>(tile ? 200 : (x >> 2) + noise);
            q[1] = static_cast<uint8_t>(tile ? 120 : (y >> 2) + noise);
            q[2] = static_cast<uint8_t>(tile ? 40 : ((x + y) >> 3) + noise);
            q[3] = with_alpha ? static_cast<uint8_t>((x * 7 + y) & 0xFF) : 255;
        }
    }
    return p;
}

std::vector<uint8_t> png_rgb(const rt::Picture& p) {
    std::vector<uint8_t> rgb;
    rgb.reserve(p.pixels.size() / 4 * 3);
    for (size_t i = 0; i < p.pixels.size(); i += 4) rgb.insert(rgb.end(), &p.pixels[i], &p.pixels[i] + 3);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(p.width);
    image.height = static_cast<png_uint_32>(p.height);
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgb.data(), 0, nullptr)) out.clear();
    out.resize(size);
    return out;
}

bool libpng_simple_read(const std::vector<uint8_t>& file, std::vector<uint8_t>& rgba) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return false;
    image.format = PNG_FORMAT_RGBA;
    rgba.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) != 0;
}

void png_figures(const char* what, const std::vector<uint8_t>& file) {
    rt::Picture picture;
    std::vector<uint8_t> reference;
    if (!rt::png_decode(file.data(), file.size(), picture, kSpriteKey, "bench") ||
        !libpng_simple_read(file, reference)) {
        std::printf("png %s: decode failed\n", what);
        return;
    }
    const auto [ours, simple] = best_seconds_pair(
        25,
        [&] {
            rt::png_decode(file.data(), file.size(), picture, kSpriteKey, "bench");
            keep(picture);
        },
        [&] {
            libpng_simple_read(file, reference);
            keep(reference);
        });
    std::printf("png  %-5s %8.1f MP/s   libpng simplified read %8.1f MP/s   ratio %.2fx (target >= 1.0x), %zu bytes\n",
                what, kMegapixels / ours, kMegapixels / simple, simple / ours, file.size());
}

}  // namespace

int main() {
    std::printf("build %s, %u CPUs, %d x %d pictures, best of rounds\n", RT_BUILD_TYPE,
                std::thread::hardware_concurrency(), kSide, kSide);

    // ---- BMP, 24 bits ----
    const rt::Picture opaque = sample_picture(false);
    std::vector<uint8_t> bmp;
    rt::Picture picture;
    if (!rt::bmp_encode(opaque, bmp) || !rt::bmp_decode(bmp.data(), bmp.size(), picture, kSpriteKey)) {
        std::printf("bmp: encode or decode failed\n");
        return 1;
    }
    std::vector<uint8_t> copy(picture.pixels.size());
    const auto [bmp_s, copy_s] = best_seconds_pair(
        100,
        [&] {
            rt::bmp_decode(bmp.data(), bmp.size(), picture, kSpriteKey);
            keep(picture);
        },
        [&] {
            std::memcpy(copy.data(), picture.pixels.data(), copy.size());
            keep(copy);
        });
    std::printf("bmp  24    %8.1f MP/s   memcpy of the RGBA output %8.1f MP/s   ratio %.2fx (target >= 0.25x)\n",
                kMegapixels / bmp_s, kMegapixels / copy_s, copy_s / bmp_s);

    // ---- PNG ----
    std::vector<uint8_t> png;
    if (!rt::png_encode(sample_picture(true), png)) return 1;
    png_figures("RGBA", png);
    png_figures("RGB", png_rgb(opaque));

    // ---- JPEG ----
    std::vector<uint8_t> jpeg;
    if (!rt::jpeg_encode(opaque, 80, jpeg) || !rt::jpeg_decode(jpeg.data(), jpeg.size(), picture)) {
        std::printf("jpeg: encode or decode failed\n");
        return 1;
    }
    const double jpeg_s = best_seconds(5, 1.0, [&] {
        rt::jpeg_decode(jpeg.data(), jpeg.size(), picture);
        keep(picture);
    });
    std::printf("jpeg 80    %8.1f MP/s   (%zu bytes)\n", kMegapixels / jpeg_s, jpeg.size());
    return 0;
}
