// Fuzzes the PNG reader with the input as file bytes: a decoded picture has the size it claims,
// and writing it as a PNG and reading that back gives the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/gfx2d/picture_codec.h"

namespace {

uint32_t be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Headers may claim up to 16384 x 16384 pixels (1 GiB) from a few bytes; such inputs only
    // measure the allocator, so the fuzzer skips them.
    if (size >= 24 && static_cast<uint64_t>(be32(data + 16)) * be32(data + 20) > (uint64_t{1} << 22)) return 0;
    static rt::Picture picture;
    if (!rt::png_decode(data, size, picture, 0x8000FF, "fuzz.png")) return 0;
    if (picture.width <= 0 || picture.height <= 0 || picture.width > rt::kPictureMaxSide ||
        picture.height > rt::kPictureMaxSide ||
        picture.pixels.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 4) {
        std::abort();
    }
    std::vector<uint8_t> bytes;
    rt::Picture again;
    if (!rt::png_encode(picture, bytes) || !rt::picture_decode(bytes.data(), bytes.size(), again, 0x8000FF, "again")) {
        std::abort();
    }
    if (again.width != picture.width || again.height != picture.height || again.pixels != picture.pixels) std::abort();
    return 0;
}
