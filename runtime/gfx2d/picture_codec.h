// Pictures in memory and the codecs between them and file bytes: BMP (own reader and writer),
// PNG (libpng) and JPEG (libjpeg). Decoders take untrusted bytes and fail cleanly on anything they
// cannot read; nothing here touches GL or the file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rt {

// A decoded picture: rows top-down, four bytes per pixel (R, G, B, A). The buffer is reused by the
// next decode into the same Picture when it is large enough.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
};

// Largest side accepted from a file header; larger pictures fail before any allocation.
constexpr int32_t kPictureMaxSide = 16384;

// Colour keys are 0x00BBGGRR; kNoColourKey keys nothing.
constexpr int32_t kNoColourKey = -1;

// Each decoder: true with out filled, or false with out's size unspecified. key: pixels whose
// R | G << 8 | B << 16 equals it become (0, 0, 0, 0) (BMP, and PNG without an alpha channel).
bool bmp_decode(const uint8_t* data, size_t size, Picture& out, int32_t key);
// name is used only in the messages about unsupported files (standard output).
bool png_decode(const uint8_t* data, size_t size, Picture& out, int32_t key, const char* name);
// No colour key: JPEG pictures keep every pixel opaque.
bool jpeg_decode(const uint8_t* data, size_t size, Picture& out);
// BMP, then PNG, then JPEG; the first that succeeds decides.
bool picture_decode(const uint8_t* data, size_t size, Picture& out, int32_t key, const char* name);

// Encoders of a top-down RGBA picture into file bytes; false when the picture is empty or too
// large for the format. BMP: 24 bits, bottom-up rows, alpha dropped. PNG: RGBA, 8 bits per
// channel. JPEG: RGB at the given quality, baseline.
bool bmp_encode(const Picture& picture, std::vector<uint8_t>& out);
bool png_encode(const Picture& picture, std::vector<uint8_t>& out);
bool jpeg_encode(const Picture& picture, int32_t quality, std::vector<uint8_t>& out);

// The file format that a save name selects, by its ending (letters compared without case): a
// name longer than four characters ending in ".png" gives PNG; else a name ending in "jpg" JPEG;
// anything else BMP.
enum class PictureFormat { bmp, png, jpeg };
PictureFormat picture_format_for_name(const char* name);

}  // namespace rt
