// Picture codecs: the BMP reader and writer, PNG through libpng and JPEG through libjpeg, all from
// and to memory. Library errors longjmp back into the one function that set the jump, which holds
// no object with a destructor, and become a failed call.
#include "runtime/gfx2d/picture_codec.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__) || defined(__SSE2__)
#include <immintrin.h>
#endif

// clang-format off
#include <jpeglib.h>  // after <cstdio>: it uses FILE
#include <jerror.h>
// clang-format on

#ifndef JCS_ALPHA_EXTENSIONS
#error "libjpeg-turbo with the RGBA colour spaces is required"
#endif

namespace rt {
namespace {

// ---- shared helpers ----

uint32_t le16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

// Stores v (R in the low byte, A in the high byte) as the bytes R, G, B, A.
inline void put_rgba(uint8_t* p, uint32_t v) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &v, 4);
    } else {
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 16);
        p[3] = static_cast<uint8_t>(v >> 24);
    }
}

// An opaque pixel, or 0 when its colour is the key. A key of -1 never matches, since the colour
// part has no bits above 23.
inline uint32_t keyed(uint32_t r, uint32_t g, uint32_t b, uint32_t key) {
    const uint32_t colour = r | g << 8 | b << 16;
    return colour == key ? 0u : colour | 0xFF000000u;
}

bool side_ok(int64_t side) { return side > 0 && side <= kPictureMaxSide; }

void picture_resize(Picture& out, int32_t width, int32_t height) {
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
}

// ---- BMP ----

constexpr uint32_t kBmpRgb = 0;
constexpr uint32_t kBmpBitfields = 3;

// One colour channel of a 16- or 32-bit pixel under a mask, scaled to 0 … 255 (truncated).
struct MaskChannel {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t max = 1;

    bool set(uint32_t m) {
        if (m == 0) return false;
        mask = m;
        shift = std::countr_zero(m);
        const uint32_t run = m >> shift;
        if ((run & (run + 1)) != 0) return false;  // not one run of bits
        max = run;
        return true;
    }
    uint32_t operator()(uint32_t pixel) const {
        return static_cast<uint32_t>(static_cast<uint64_t>((pixel & mask) >> shift) * 255 / max);
    }
};

struct BmpLayout {
    int64_t width = 0;
    int64_t height = 0;  // rows stored top-down when negative
    uint32_t bits = 0;
    uint32_t compression = kBmpRgb;
    uint64_t pixel_offset = 0;
    uint64_t palette_offset = 0;
    uint32_t palette_entry_size = 4;
    uint64_t palette_count = 0;
};

bool bmp_layout(const uint8_t* data, size_t size, BmpLayout& l) {
    if (size < 18 || data[0] != 'B' || data[1] != 'M') return false;
    l.pixel_offset = le32(data + 10);
    const uint64_t header = le32(data + 14);
    if (14 + header > size) return false;
    if (header == 12) {
        l.width = le16(data + 18);
        l.height = le16(data + 20);
        l.bits = le16(data + 24);
        l.palette_entry_size = 3;
    } else if (header >= 40) {
        l.width = static_cast<int32_t>(le32(data + 18));
        l.height = static_cast<int32_t>(le32(data + 22));
        l.bits = le16(data + 28);
        l.compression = le32(data + 30);
        // In 64-byte headers compression 3 means Huffman coding, not bit fields.
        if (header == 64 && l.compression != kBmpRgb) return false;
    } else {
        return false;
    }
    l.palette_offset = 14 + header;
    if (l.compression == kBmpBitfields) {
        if (l.bits != 16 && l.bits != 32) return false;
        if (66 > size) return false;  // the three masks follow the 40-byte part of the header
    } else if (l.compression != kBmpRgb) {
        return false;
    }
    if (l.bits != 1 && l.bits != 4 && l.bits != 8 && l.bits != 16 && l.bits != 24 && l.bits != 32) return false;
    if (!side_ok(l.width) || !side_ok(l.height < 0 ? -l.height : l.height)) return false;
    if (l.bits <= 8) {
        // The palette lies between the header and the pixels; what is missing reads as entry 0.
        const uint64_t end = std::min<uint64_t>(l.pixel_offset, size);
        const uint64_t room = end > l.palette_offset ? (end - l.palette_offset) / l.palette_entry_size : 0;
        l.palette_count = std::min<uint64_t>(room, uint64_t{1} << l.bits);
        if (l.palette_count == 0) return false;  // no colours at all
    }
    // Every row padded to 4 bytes; the last row's padding may be missing.
    const uint64_t row_size = (static_cast<uint64_t>(l.width) * l.bits + 31) / 32 * 4;
    const uint64_t row_used = (static_cast<uint64_t>(l.width) * l.bits + 7) / 8;
    const uint64_t rows = static_cast<uint64_t>(l.height < 0 ? -l.height : l.height);
    return l.pixel_offset + row_size * (rows - 1) + row_used <= size;
}

// Rows of 3-byte (B, G, R) and 4-byte (B, G, R, ignored) pixels into keyed RGBA. The vector
// forms convert four pixels per step and leave the rest of the row to the plain loop.
#if defined(__x86_64__) || defined(__i386__)
#define RT_PICTURE_SSSE3 1

__attribute__((target("ssse3"))) size_t bgr_row_ssse3(const uint8_t* src, uint8_t* dst, size_t n, uint32_t key) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, -128, 5, 4, 3, -128, 8, 7, 6, -128, 11, 10, 9, -128);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i keys = _mm_set1_epi32(static_cast<int>(key));
    size_t x = 0;
    // Each step loads 16 bytes and uses 12: stop while at least 6 pixels remain, so that the
    // extra 4 bytes still belong to the row.
    for (; x + 6 <= n; x += 4) {
        const __m128i colour = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * x)), order);
        const __m128i out = _mm_andnot_si128(_mm_cmpeq_epi32(colour, keys), _mm_or_si128(colour, alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * x), out);
    }
    return x;
}

__attribute__((target("ssse3"))) size_t bgrx_row_ssse3(const uint8_t* src, uint8_t* dst, size_t n, uint32_t key) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, -128, 6, 5, 4, -128, 10, 9, 8, -128, 14, 13, 12, -128);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i keys = _mm_set1_epi32(static_cast<int>(key));
    size_t x = 0;
    for (; x + 4 <= n; x += 4) {
        const __m128i colour = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x)), order);
        const __m128i out = _mm_andnot_si128(_mm_cmpeq_epi32(colour, keys), _mm_or_si128(colour, alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * x), out);
    }
    return x;
}

bool has_ssse3() {
    static const bool yes = __builtin_cpu_supports("ssse3");
    return yes;
}
#endif

void bgr_row(const uint8_t* src, uint8_t* dst, size_t n, uint32_t key) {
    size_t x = 0;
#ifdef RT_PICTURE_SSSE3
    if (has_ssse3()) x = bgr_row_ssse3(src, dst, n, key);
#endif
    for (; x < n; ++x) put_rgba(dst + 4 * x, keyed(src[3 * x + 2], src[3 * x + 1], src[3 * x], key));
}

void bgrx_row(const uint8_t* src, uint8_t* dst, size_t n, uint32_t key) {
    size_t x = 0;
#ifdef RT_PICTURE_SSSE3
    if (has_ssse3()) x = bgrx_row_ssse3(src, dst, n, key);
#endif
    for (; x < n; ++x) put_rgba(dst + 4 * x, keyed(src[4 * x + 2], src[4 * x + 1], src[4 * x], key));
}

bool bmp_decode_rows(const uint8_t* data, const BmpLayout& l, Picture& out, uint32_t key) {
    const int32_t width = static_cast<int32_t>(l.width);
    const int32_t height = static_cast<int32_t>(l.height < 0 ? -l.height : l.height);
    const size_t row_size = (static_cast<size_t>(width) * l.bits + 31) / 32 * 4;
    const size_t out_row = static_cast<size_t>(width) * 4;

    uint32_t palette[256] = {};
    for (uint64_t i = 0; i < l.palette_count; ++i) {
        const uint8_t* e = data + l.palette_offset + i * l.palette_entry_size;
        palette[i] = keyed(e[2], e[1], e[0], key);
    }
    for (uint64_t i = l.palette_count; i < 256; ++i) palette[i] = palette[0];

    MaskChannel red, green, blue;
    bool plain32 = l.bits == 32;
    if (l.bits == 16 && l.compression == kBmpRgb) {
        red.set(0x7C00);
        green.set(0x03E0);
        blue.set(0x001F);
    } else if (l.compression == kBmpBitfields) {
        const uint32_t limit = l.bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
        const uint32_t r = le32(data + 54), g = le32(data + 58), b = le32(data + 62);
        if (!red.set(r) || !green.set(g) || !blue.set(b) || (r | g | b) > limit) return false;
        plain32 = l.bits == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF;
    }

    picture_resize(out, width, height);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = data + l.pixel_offset + row_size * static_cast<size_t>(y);
        const int32_t out_y = l.height < 0 ? y : height - 1 - y;
        uint8_t* dst = out.pixels.data() + out_row * static_cast<size_t>(out_y);
        switch (l.bits) {
            case 1:
                for (int32_t x = 0; x < width; ++x) put_rgba(dst + 4 * x, palette[(src[x >> 3] >> (7 - (x & 7))) & 1]);
                break;
            case 4:
                for (int32_t x = 0; x < width; ++x)
                    put_rgba(dst + 4 * x, palette[(src[x >> 1] >> (x & 1 ? 0 : 4)) & 15]);
                break;
            case 8:
                for (int32_t x = 0; x < width; ++x) put_rgba(dst + 4 * x, palette[src[x]]);
                break;
            case 16:
                for (int32_t x = 0; x < width; ++x) {
                    const uint32_t p = le16(src + 2 * x);
                    put_rgba(dst + 4 * x, keyed(red(p), green(p), blue(p), key));
                }
                break;
            case 24:
                bgr_row(src, dst, static_cast<size_t>(width), key);
                break;
            default:
                if (plain32) {
                    bgrx_row(src, dst, static_cast<size_t>(width), key);
                } else {
                    for (int32_t x = 0; x < width; ++x) {
                        const uint32_t p = le32(src + 4 * x);
                        put_rgba(dst + 4 * x, keyed(red(p), green(p), blue(p), key));
                    }
                }
                break;
        }
    }
    return true;
}

// ---- PNG ----

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void png_read_bytes(png_structp png, png_bytep dst, size_t n) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > src->size - src->pos) png_error(png, "truncated");
    std::memcpy(dst, src->data + src->pos, n);
    src->pos += n;
}

void png_write_bytes(png_structp png, png_bytep bytes, size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), bytes, bytes + n);
}

void png_flush_nothing(png_structp) {}

[[noreturn]] void png_fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void png_quiet(png_structp, png_const_charp) {}

// Widens the n RGB pixels at row + n into keyed RGBA pixels from row on, in place: pixel x is
// read before it is written, and every write ends before the bytes still to be read.
#ifdef RT_PICTURE_SSSE3
__attribute__((target("ssse3"))) size_t rgb_widen_ssse3(uint8_t* row, size_t n, uint32_t key) {
    const __m128i order = _mm_setr_epi8(0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i keys = _mm_set1_epi32(static_cast<int>(key));
    size_t x = 0;
    // The step at x writes up to byte 4x + 16 and reads up to n + 3x + 16, within the row while
    // 6 pixels remain; the next step reads from n + 3x + 12 >= 4x + 16 on.
    for (; x + 6 <= n; x += 4) {
        const __m128i colour =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + n + 3 * x)), order);
        const __m128i out = _mm_andnot_si128(_mm_cmpeq_epi32(colour, keys), _mm_or_si128(colour, alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 4 * x), out);
    }
    return x;
}
#endif

void rgb_widen(uint8_t* row, size_t n, uint32_t key) {
    size_t x = 0;
#ifdef RT_PICTURE_SSSE3
    if (has_ssse3()) x = rgb_widen_ssse3(row, n, key);
#endif
    for (; x < n; ++x) {
        const uint8_t* src = row + n + 3 * x;
        put_rgba(row + 4 * x, keyed(src[0], src[1], src[2], key));
    }
}

// Zeroes the opaque pixels of an RGBA row whose colour is key.
void clear_key_pixels(uint8_t* row, size_t n, uint32_t key) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(key), static_cast<uint8_t>(key >> 8),
                              static_cast<uint8_t>(key >> 16), 255};
    uint32_t target;
    std::memcpy(&target, bytes, 4);
    size_t x = 0;
#ifdef __SSE2__
    const __m128i targets = _mm_set1_epi32(static_cast<int>(target));
    for (; x + 4 <= n; x += 4) {
        __m128i* p = reinterpret_cast<__m128i*>(row + 4 * x);
        const __m128i v = _mm_loadu_si128(p);
        _mm_storeu_si128(p, _mm_andnot_si128(_mm_cmpeq_epi32(v, targets), v));
    }
#endif
    for (; x < n; ++x) {
        uint32_t v;
        std::memcpy(&v, row + 4 * x, 4);
        if (v == target) std::memset(row + 4 * x, 0, 4);
    }
}

bool png_read_picture(png_structp png, png_infop info, PngSource& src, Picture& out, uint32_t key, const char* name) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &src, png_read_bytes);
    png_set_sig_bytes(png, 8);
    png_set_user_limits(png, kPictureMaxSide, kPictureMaxSide);
#ifdef PNG_IGNORE_ADLER32
    // Every chunk carries its own CRC, which is still checked; the zlib checksum on top of it
    // costs a few per cent of the decode.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int depth = png_get_bit_depth(png, info);
    const int type = png_get_color_type(png, info);
    if (depth != 8) {
        std::printf("File %s has bit depth %d.\n", name ? name : "", depth);
        std::printf("Only bit depth of 8 is supported.\n");
        return false;
    }
    if (type != PNG_COLOR_TYPE_GRAY && type != PNG_COLOR_TYPE_RGB && type != PNG_COLOR_TYPE_RGB_ALPHA) {
        std::printf("File %s has unsupported color type.\n", name ? name : "");
        std::printf("Types GRAY, RGB and RGB_ALPHA are supported.\n");
        return false;
    }
    if (!side_ok(width) || !side_ok(height)) return false;
    // Plain RGB rows are read into the back of their RGBA row and widened there together with
    // the key; interlaced ones take libpng's filler, since every pass adds to the rows.
    const bool widen = type == PNG_COLOR_TYPE_RGB && png_get_interlace_type(png, info) == PNG_INTERLACE_NONE;
    if (type == PNG_COLOR_TYPE_GRAY) png_set_gray_to_rgb(png);
    if (type != PNG_COLOR_TYPE_RGB_ALPHA && !widen) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * (widen ? 3 : 4)) return false;

    picture_resize(out, static_cast<int32_t>(width), static_cast<int32_t>(height));
    const bool keying = type == PNG_COLOR_TYPE_RGB && key != static_cast<uint32_t>(kNoColourKey);
    for (int pass = 0; pass < passes; ++pass) {
        uint8_t* row = out.pixels.data();
        for (png_uint_32 y = 0; y < height; ++y, row += static_cast<size_t>(width) * 4) {
            if (widen) {
                png_read_row(png, row + width, nullptr);
                rgb_widen(row, width, key);
            } else {
                png_read_row(png, row, nullptr);
                if (keying && pass == passes - 1) clear_key_pixels(row, width, key);
            }
        }
    }
    return true;
}

bool png_write_picture(png_structp png, png_infop info, const Picture& picture, std::vector<uint8_t>& out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &out, png_write_bytes, png_flush_nothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t row_size = static_cast<size_t>(picture.width) * 4;
    for (int32_t y = 0; y < picture.height; ++y) {
        png_write_row(png, picture.pixels.data() + row_size * static_cast<size_t>(y));
    }
    png_write_end(png, nullptr);
    return true;
}

// ---- JPEG ----

// More scans than this mark a hostile progressive file (each scan walks the whole picture).
constexpr int kJpegMaxScans = 500;

struct JpegErrors {
    jpeg_error_mgr mgr;  // first, so that cinfo->err points at the whole struct
    std::jmp_buf jump;
};

[[noreturn]] void jpeg_fail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1); }

void jpeg_quiet(j_common_ptr) {}

// Warnings pass quietly, except the end of the data before the end of the picture: the library
// would fill the rest with grey, and a cut file must fail like a missing one.
void jpeg_warning(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) jpeg_fail(cinfo);
}

void jpeg_limit_scans(j_common_ptr cinfo) {
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kJpegMaxScans) {
        jpeg_fail(cinfo);
    }
}

void jpeg_quiet_errors(JpegErrors& errors) {
    jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = jpeg_fail;
    errors.mgr.output_message = jpeg_quiet;
    errors.mgr.emit_message = jpeg_warning;
}

bool jpeg_read_picture(jpeg_decompress_struct& cinfo, JpegErrors& errors, jpeg_progress_mgr& progress,
                       const uint8_t* data, size_t size, Picture& out) {
    if (setjmp(errors.jump)) return false;
    jpeg_create_decompress(&cinfo);
    progress.progress_monitor = jpeg_limit_scans;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    if (!side_ok(cinfo.image_width) || !side_ok(cinfo.image_height)) return false;
    // Grey and colour come out as RGBA with alpha 255; four components as stored (CMYK), the
    // fourth taken as alpha.
    switch (cinfo.num_components) {
        case 1:
        case 3:
            cinfo.out_color_space = JCS_EXT_RGBA;
            break;
        case 4:
            cinfo.out_color_space = JCS_CMYK;
            break;
        default:
            return false;
    }
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 4 || cinfo.output_width != cinfo.image_width ||
        cinfo.output_height != cinfo.image_height) {
        return false;
    }
    picture_resize(out, static_cast<int32_t>(cinfo.output_width), static_cast<int32_t>(cinfo.output_height));
    const size_t row_size = static_cast<size_t>(cinfo.output_width) * 4;
    JSAMPROW rows[8];
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION first = cinfo.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(8, cinfo.output_height - first);
        for (JDIMENSION i = 0; i < count; ++i) rows[i] = out.pixels.data() + row_size * (first + i);
        if (jpeg_read_scanlines(&cinfo, rows, count) == 0) return false;
    }
    return true;
}

// Compressed bytes go straight into the caller's vector, which grows by doubling.
struct JpegSink {
    jpeg_destination_mgr mgr;  // first, so that cinfo->dest points at the whole struct
    std::vector<uint8_t>* out;
};

void jpeg_sink_init(j_compress_ptr cinfo) {
    auto* sink = reinterpret_cast<JpegSink*>(cinfo->dest);
    sink->out->resize(std::max<size_t>(sink->out->capacity(), 65536));
    sink->mgr.next_output_byte = sink->out->data();
    sink->mgr.free_in_buffer = sink->out->size();
}

boolean jpeg_sink_grow(j_compress_ptr cinfo) {
    auto* sink = reinterpret_cast<JpegSink*>(cinfo->dest);
    const size_t used = sink->out->size();
    sink->out->resize(used * 2);
    sink->mgr.next_output_byte = sink->out->data() + used;
    sink->mgr.free_in_buffer = sink->out->size() - used;
    return TRUE;
}

void jpeg_sink_done(j_compress_ptr cinfo) {
    auto* sink = reinterpret_cast<JpegSink*>(cinfo->dest);
    sink->out->resize(sink->out->size() - sink->mgr.free_in_buffer);
}

bool jpeg_write_picture(jpeg_compress_struct& cinfo, JpegErrors& errors, JpegSink& sink, const Picture& picture,
                        int32_t quality) {
    if (setjmp(errors.jump)) return false;
    jpeg_create_compress(&cinfo);
    sink.mgr.init_destination = jpeg_sink_init;
    sink.mgr.empty_output_buffer = jpeg_sink_grow;
    sink.mgr.term_destination = jpeg_sink_done;
    cinfo.dest = &sink.mgr;
    cinfo.image_width = static_cast<JDIMENSION>(picture.width);
    cinfo.image_height = static_cast<JDIMENSION>(picture.height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_RGBX;  // the alpha byte is skipped
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t row_size = static_cast<size_t>(picture.width) * 4;
    while (cinfo.next_scanline < cinfo.image_height) {
        // libjpeg only reads the rows it is given.
        JSAMPROW row = const_cast<uint8_t*>(picture.pixels.data()) + row_size * cinfo.next_scanline;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

bool encodable(const Picture& picture) {
    return picture.width > 0 && picture.height > 0 &&
           picture.pixels.size() / 4 / static_cast<uint64_t>(picture.width) >= static_cast<uint64_t>(picture.height);
}

bool ends_with_nocase(const char* name, size_t length, const char* tail) {
    const size_t n = std::strlen(tail);
    if (length < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = name[length - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}

}  // namespace

bool bmp_decode(const uint8_t* data, size_t size, Picture& out, int32_t key) {
    BmpLayout layout;
    if (!data || !bmp_layout(data, size, layout)) return false;
    return bmp_decode_rows(data, layout, out, static_cast<uint32_t>(key));
}

bool png_decode(const uint8_t* data, size_t size, Picture& out, int32_t key, const char* name) {
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_quiet);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    PngSource source{data, size, 8};
    const bool ok = info && png_read_picture(png, info, source, out, static_cast<uint32_t>(key), name);
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    return ok;
}

bool jpeg_decode(const uint8_t* data, size_t size, Picture& out) {
    if (!data || size < 3 || data[0] != 0xFF || data[1] != 0xD8) return false;
    jpeg_decompress_struct cinfo{};
    JpegErrors errors{};
    jpeg_progress_mgr progress{};
    jpeg_quiet_errors(errors);
    cinfo.err = &errors.mgr;
    const bool ok = jpeg_read_picture(cinfo, errors, progress, data, size, out);
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

bool picture_decode(const uint8_t* data, size_t size, Picture& out, int32_t key, const char* name) {
    if (!data || size < 3) return false;
    if (data[0] == 'B' && data[1] == 'M') return bmp_decode(data, size, out, key);
    if (size >= 8 && png_sig_cmp(data, 0, 8) == 0) return png_decode(data, size, out, key, name);
    if (data[0] == 0xFF && data[1] == 0xD8) return jpeg_decode(data, size, out);
    return false;
}

bool bmp_encode(const Picture& picture, std::vector<uint8_t>& out) {
    out.clear();
    if (!encodable(picture)) return false;
    const size_t row_size = (static_cast<size_t>(picture.width) * 3 + 3) / 4 * 4;
    const uint64_t file_size = static_cast<uint64_t>(row_size) * static_cast<uint64_t>(picture.height) + 54;
    if (file_size > 0xFFFFFFFFu) return false;
    out.assign(static_cast<size_t>(file_size), 0);
    uint8_t* h = out.data();
    auto put32 = [](uint8_t* p, uint32_t v) {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
    };
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, static_cast<uint32_t>(file_size));
    put32(h + 10, 54);  // pixel offset
    put32(h + 14, 40);  // information header size
    put32(h + 18, static_cast<uint32_t>(picture.width));
    put32(h + 22, static_cast<uint32_t>(picture.height));  // positive: rows bottom-up
    h[26] = 1;                                             // planes
    h[28] = 24;                                            // bits per pixel; compression and image size stay 0
    put32(h + 38, 10000);                                  // pixels per metre, x
    put32(h + 42, 10000);                                  // and y
    const size_t in_row = static_cast<size_t>(picture.width) * 4;
    for (int32_t y = 0; y < picture.height; ++y) {
        const uint8_t* src = picture.pixels.data() + in_row * static_cast<size_t>(picture.height - 1 - y);
        uint8_t* dst = h + 54 + row_size * static_cast<size_t>(y);
        for (int32_t x = 0; x < picture.width; ++x, src += 4, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    return true;
}

bool png_encode(const Picture& picture, std::vector<uint8_t>& out) {
    out.clear();
    if (!encodable(picture)) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_quiet);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    const bool ok = info && png_write_picture(png, info, picture, out);
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (!ok) out.clear();
    return ok;
}

bool jpeg_encode(const Picture& picture, int32_t quality, std::vector<uint8_t>& out) {
    out.clear();
    if (!encodable(picture)) return false;
    jpeg_compress_struct cinfo{};
    JpegErrors errors{};
    JpegSink sink{};
    sink.out = &out;
    jpeg_quiet_errors(errors);
    cinfo.err = &errors.mgr;
    const bool ok = jpeg_write_picture(cinfo, errors, sink, picture, quality);
    jpeg_destroy_compress(&cinfo);
    if (!ok) out.clear();
    return ok;
}

PictureFormat picture_format_for_name(const char* name) {
    if (!name) return PictureFormat::bmp;
    const size_t length = std::strlen(name);
    if (length > 4 && ends_with_nocase(name, length, ".png")) return PictureFormat::png;
    if (ends_with_nocase(name, length, "jpg")) return PictureFormat::jpeg;
    return PictureFormat::bmp;
}

}  // namespace rt
