// Fuzzes the JPEG reader with the input as file bytes: a decoded picture has the size it claims
// and is opaque unless it has four components; small pictures are written and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/gfx2d/picture_codec.h"

namespace {

// The largest picture any frame header (SOFn marker) in the input claims, in pixels.
uint64_t largest_frame(const uint8_t* data, size_t size) {
    uint64_t largest = 0;
    for (size_t i = 0; i + 9 <= size; ++i) {
        const uint8_t m = data[i + 1];
        if (data[i] != 0xFF || m < 0xC0 || m > 0xCF || m == 0xC4 || m == 0xC8 || m == 0xCC) continue;
        const uint64_t height = static_cast<uint64_t>(data[i + 5]) << 8 | data[i + 6];
        const uint64_t width = static_cast<uint64_t>(data[i + 7]) << 8 | data[i + 8];
        if (width * height > largest) largest = width * height;
    }
    return largest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Headers may claim up to 16384 x 16384 pixels from a few bytes (libjpeg fills missing data);
    // such inputs only measure the allocator, so the fuzzer skips them.
    if (largest_frame(data, size) > (uint64_t{1} << 22)) return 0;
    static rt::Picture picture;
    if (!rt::jpeg_decode(data, size, picture)) return 0;
    const size_t pixels = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    if (picture.width <= 0 || picture.height <= 0 || picture.width > rt::kPictureMaxSide ||
        picture.height > rt::kPictureMaxSide || picture.pixels.size() != pixels * 4) {
        std::abort();
    }
    if (pixels <= 4096) {
        std::vector<uint8_t> bytes;
        rt::Picture again;
        if (!rt::jpeg_encode(picture, 80, bytes) || !rt::picture_decode(bytes.data(), bytes.size(), again, 0, "j") ||
            again.width != picture.width || again.height != picture.height) {
            std::abort();
        }
        for (size_t i = 3; i < again.pixels.size(); i += 4) {
            if (again.pixels[i] != 255) std::abort();
        }
    }
    return 0;
}
