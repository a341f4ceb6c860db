// Fuzzes the BMP reader with the input as file bytes: a decoded picture has the size it claims,
// and writing it as a BMP and reading that back gives the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/gfx2d/picture_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Kept across inputs, so that a reused buffer of another size is exercised too.
    static rt::Picture picture;
    if (!rt::bmp_decode(data, size, picture, 0x8000FF)) return 0;
    if (picture.width <= 0 || picture.height <= 0 || picture.width > rt::kPictureMaxSide ||
        picture.height > rt::kPictureMaxSide ||
        picture.pixels.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 4) {
        std::abort();
    }
    rt::Picture plain;
    if (!rt::bmp_decode(data, size, plain, rt::kNoColourKey)) std::abort();
    std::vector<uint8_t> bytes;
    rt::Picture again;
    if (!rt::bmp_encode(plain, bytes) ||
        !rt::picture_decode(bytes.data(), bytes.size(), again, rt::kNoColourKey, "f")) {
        std::abort();
    }
    if (again.width != plain.width || again.height != plain.height || again.pixels != plain.pixels) std::abort();
    return 0;
}
