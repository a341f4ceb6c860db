// Picture codecs: BMP depths and headers, colour keys per format, refused and damaged files, the
// PNG messages, JPEG components, encode/decode round trips and the format chosen by a save name.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// clang-format off
#include <jpeglib.h>  // after <cstdio>: it uses FILE
// clang-format on

#include "runtime/gfx2d/picture_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int32_t kDefaultKey = 0x8000FF;

struct Rgba {
    uint8_t r, g, b, a = 255;
    bool operator==(const Rgba&) const = default;
};

void PrintTo(const Rgba& c, std::ostream* os) {
    *os << "(" << int{c.r} << "," << int{c.g} << "," << int{c.b} << "," << int{c.a} << ")";
}

Rgba pixel(const rt::Picture& p, int x, int y) {
    const uint8_t* q = p.pixels.data() + (static_cast<size_t>(y) * p.width + x) * 4;
    return {q[0], q[1], q[2], q[3]};
}

std::vector<Rgba> pixels_of(const rt::Picture& p) {
    std::vector<Rgba> out;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) out.push_back(pixel(p, x, y));
    }
    return out;
}

rt::Picture picture_of(int w, int h, const std::vector<Rgba>& px) {
    rt::Picture p;
    p.width = w;
    p.height = h;
    for (const Rgba& c : px) p.pixels.insert(p.pixels.end(), {c.r, c.g, c.b, c.a});
    return p;
}

void put(Bytes& b, size_t at, uint32_t v, int n) {
    if (b.size() < at + n) b.resize(at + n);
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct BmpForm {
    int bits;
    int header;  // 12 (core) or 40, 108, 124
    bool top_down = false;
    bool bitfields = false;  // 16 bits: 5-6-5; 32 bits: R, G, B, X byte order
};

// A BMP written the way other programs write them, from top-down pixels.
Bytes make_bmp(int w, int h, const std::vector<Rgba>& px, const BmpForm& f) {
    std::vector<Rgba> palette;
    if (f.bits <= 8) {
        for (const Rgba& c : px) {
            if (std::find(palette.begin(), palette.end(), c) == palette.end()) palette.push_back(c);
        }
    }
    const size_t entry = f.header == 12 ? 3 : 4;
    const size_t masks = f.bitfields && f.header == 40 ? 12 : 0;
    const size_t offset = 14 + f.header + masks + palette.size() * entry;
    const size_t row = (static_cast<size_t>(w) * f.bits + 31) / 32 * 4;
    Bytes b(offset + row * h, 0);
    b[0] = 'B';
    b[1] = 'M';
    put(b, 2, static_cast<uint32_t>(b.size()), 4);
    put(b, 10, static_cast<uint32_t>(offset), 4);
    put(b, 14, f.header, 4);
    if (f.header == 12) {
        put(b, 18, w, 2);
        put(b, 20, h, 2);
        put(b, 22, 1, 2);
        put(b, 24, f.bits, 2);
    } else {
        put(b, 18, w, 4);
        put(b, 22, f.top_down ? -h : h, 4);
        put(b, 26, 1, 2);
        put(b, 28, f.bits, 2);
        put(b, 30, f.bitfields ? 3 : 0, 4);
        if (f.bitfields && f.bits == 16) {
            put(b, 54, 0xF800, 4), put(b, 58, 0x07E0, 4), put(b, 62, 0x001F, 4);
        } else if (f.bitfields) {
            put(b, 54, 0x0000FF, 4), put(b, 58, 0x00FF00, 4), put(b, 62, 0xFF0000, 4);
        }
    }
    for (size_t i = 0; i < palette.size(); ++i) {
        const size_t at = 14 + f.header + masks + i * entry;
        b[at] = palette[i].b, b[at + 1] = palette[i].g, b[at + 2] = palette[i].r;
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* r = b.data() + offset + row * (f.top_down ? y : h - 1 - y);
        for (int x = 0; x < w; ++x) {
            const Rgba c = px[y * w + x];
            if (f.bits <= 8) {
                const int index = static_cast<int>(std::find(palette.begin(), palette.end(), c) - palette.begin());
                const int bit = x * f.bits;
                r[bit / 8] |= static_cast<uint8_t>(index << (8 - f.bits - bit % 8));
            } else if (f.bits == 16) {
                const uint32_t v = f.bitfields ? (c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3
                                               : (c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3;
                r[2 * x] = static_cast<uint8_t>(v), r[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            } else if (f.bits == 24) {
                r[3 * x] = c.b, r[3 * x + 1] = c.g, r[3 * x + 2] = c.r;
            } else if (f.bitfields) {
                r[4 * x] = c.r, r[4 * x + 1] = c.g, r[4 * x + 2] = c.b, r[4 * x + 3] = 0x5A;
            } else {
                r[4 * x] = c.b, r[4 * x + 1] = c.g, r[4 * x + 2] = c.r, r[4 * x + 3] = 0x5A;
            }
        }
    }
    return b;
}

// PNGs of the forms the decoder refuses or must read, through libpng's simplified writer.
Bytes make_png(int w, int h, uint32_t format, const void* px, const void* colormap = nullptr, int entries = 0) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = w;
    image.height = h;
    image.format = format;
    image.colormap_entries = entries;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, px, 0, colormap);
    Bytes out(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, px, 0, colormap));
    out.resize(size);
    return out;
}

// An interlaced 8-bit RGBA or RGB PNG (the simplified writer cannot interlace).
Bytes make_interlaced_png(const rt::Picture& p, bool alpha) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp s, png_bytep d, size_t n) {
            auto* o = static_cast<Bytes*>(png_get_io_ptr(s));
            o->insert(o->end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(png, info, p.width, p.height, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    Bytes bytes;
    for (size_t i = 0; i < p.pixels.size(); ++i) {
        if (alpha || i % 4 != 3) bytes.push_back(p.pixels[i]);
    }
    std::vector<png_bytep> rows;
    for (int y = 0; y < p.height; ++y) rows.push_back(bytes.data() + y * p.width * (alpha ? 4 : 3));
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// A JPEG of 1 (grey) or 4 (CMYK) components, every pixel the same samples.
Bytes make_jpeg(int w, int h, int components, const uint8_t* samples) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row;
    for (int x = 0; x < w; ++x) row.insert(row.end(), samples, samples + components);
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(mem, mem + size);
    std::free(mem);
    return out;
}

const Rgba kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255}, kBlack{0, 0, 0},
    kYellow{255, 255, 0}, kKeyColour{255, 0, 128};

// 3 x 2, so that rows of every depth need padding.
const std::vector<Rgba> kSix{kRed, kGreen, kBlue, kWhite, kBlack, kYellow};
// 9 x 2: wide enough for the four-pixel steps of the 24- and 32-bit readers and their remainder.
std::vector<Rgba> wide(const std::vector<Rgba>& colours) {
    std::vector<Rgba> out;
    for (size_t i = 0; i < 18; ++i) out.push_back(colours[(i * 5 + i / 9) % colours.size()]);
    return out;
}
const std::vector<Rgba> kWide = wide(kSix);
const std::vector<Rgba> kWideTwo = wide({kWhite, kBlack});

TEST(BmpDecode, EveryDepthAndHeaderGivesThePicture) {
    const struct {
        BmpForm form;
        const std::vector<Rgba>* px;
    } cases[] = {
        {{1, 12}, &kWideTwo},
        {{1, 40}, &kWideTwo},
        {{4, 40}, &kWide},
        {{4, 12}, &kWide},
        {{8, 40}, &kWide},
        {{8, 124}, &kWide},
        {{16, 40}, &kWide},
        {{16, 40, false, true}, &kWide},
        {{24, 12}, &kWide},
        {{24, 40}, &kWide},
        {{24, 40, true}, &kWide},
        {{24, 108}, &kWide},
        {{32, 40}, &kWide},
        {{32, 40, true}, &kWide},
        {{32, 124, false, true}, &kWide},
        {{32, 40, false, true}, &kWide},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.form.bits << " bits, header " << c.form.header
                                        << (c.form.top_down ? ", top-down" : "")
                                        << (c.form.bitfields ? ", bit fields" : ""));
        const Bytes file = make_bmp(9, 2, *c.px, c.form);
        rt::Picture p;
        ASSERT_TRUE(rt::bmp_decode(file.data(), file.size(), p, rt::kNoColourKey));
        EXPECT_EQ(p.width, 9);
        EXPECT_EQ(p.height, 2);
        EXPECT_EQ(pixels_of(p), *c.px);
    }
}

TEST(BmpDecode, SixteenBitChannelsScaleBy255Over31) {
    const Bytes file = make_bmp(1, 1, {{128, 8, 255}}, {16, 40});  // 5-bit values 16, 1, 31
    rt::Picture p;
    ASSERT_TRUE(rt::bmp_decode(file.data(), file.size(), p, rt::kNoColourKey));
    EXPECT_EQ(pixel(p, 0, 0), (Rgba{131, 8, 255}));
}

TEST(BmpDecode, PaletteIndexBeyondThePaletteReadsEntryZero) {
    Bytes file = make_bmp(3, 1, {kRed, kGreen, kGreen}, {8, 40});  // two entries, indices 0 1 1
    file[file.size() - 4 + 2] = 200;                               // last pixel (row padded to 4)
    rt::Picture p;
    ASSERT_TRUE(rt::bmp_decode(file.data(), file.size(), p, rt::kNoColourKey));
    EXPECT_EQ(pixels_of(p), (std::vector<Rgba>{kRed, kGreen, kRed}));
}

TEST(BmpDecode, DamagedOrAbsurdFilesFail) {
    const Bytes good = make_bmp(3, 2, kSix, {24, 40});
    auto with = [&](size_t at, uint32_t v, int n) {
        Bytes b = good;
        put(b, at, v, n);
        return b;
    };
    const struct {
        const char* what;
        Bytes file;
    } cases[] = {
        {"empty", {}},
        {"not BM", with(0, 'X', 1)},
        {"cut into the last row", Bytes(good.begin(), good.end() - 4)},
        {"cut inside the header", Bytes(good.begin(), good.begin() + 30)},
        {"pixel offset past the end", with(10, 0x7FFFFFF0, 4)},
        {"width 0", with(18, 0, 4)},
        {"negative width", with(18, static_cast<uint32_t>(-3), 4)},
        {"height 0", with(22, 0, 4)},
        {"most negative height", with(22, 0x80000000u, 4)},
        {"side above the limit", with(18, rt::kPictureMaxSide + 1, 4)},
        {"huge height, small file", with(22, rt::kPictureMaxSide, 4)},
        {"2 bits", with(28, 2, 2)},
        {"run-length compression", with(30, 1, 4)},
        {"bit fields on 24 bits", with(30, 3, 4)},
        {"header size 20", with(14, 20, 4)},
        {"header larger than the file", with(14, 4000, 4)},
        {"8 bits, pixels where the palette belongs",
         [&] {
             Bytes b = make_bmp(3, 2, kSix, {8, 40});
             put(b, 10, 54, 4);
             return b;
         }()},
    };
    for (const auto& c : cases) {
        rt::Picture p;
        EXPECT_FALSE(rt::bmp_decode(c.file.data(), c.file.size(), p, rt::kNoColourKey)) << c.what;
    }
    Bytes gaps = make_bmp(3, 2, kSix, {32, 40, false, true});
    put(gaps, 54, 0x0000F0F0, 4);  // a red mask with a gap
    rt::Picture p;
    EXPECT_FALSE(rt::bmp_decode(gaps.data(), gaps.size(), p, rt::kNoColourKey));
}

TEST(PictureDecode, ColourKeyPerFormat) {
    // 11 x 1, the key colour at even places.
    std::vector<Rgba> px, px_alpha;
    std::vector<uint8_t> rgb;
    for (int i = 0; i < 11; ++i) {
        const Rgba c = i % 2 ? kBlack : kKeyColour;
        px.push_back(c);
        px_alpha.push_back({c.r, c.g, c.b, static_cast<uint8_t>(i % 2 ? 255 : 77)});
        rgb.insert(rgb.end(), {c.r, c.g, c.b});
    }
    Bytes png_rgba, jpeg;
    ASSERT_TRUE(rt::png_encode(picture_of(11, 1, px_alpha), png_rgba));
    ASSERT_TRUE(rt::jpeg_encode(picture_of(8, 8, std::vector<Rgba>(64, kKeyColour)), 100, jpeg));
    const Bytes png_rgb = make_png(11, 1, PNG_FORMAT_RGB, rgb.data());
    const Rgba clear{0, 0, 0, 0};
    const struct {
        const char* what;
        Bytes file;
        int32_t key;
        Rgba even, odd;
    } cases[] = {
        {"BMP 24", make_bmp(11, 1, px, {24, 40}), kDefaultKey, clear, kBlack},
        {"BMP 8", make_bmp(11, 1, px, {8, 40}), kDefaultKey, clear, kBlack},
        {"BMP 32", make_bmp(11, 1, px, {32, 40}), kDefaultKey, clear, kBlack},
        {"BMP no key", make_bmp(11, 1, px, {24, 40}), rt::kNoColourKey, kKeyColour, kBlack},
        {"BMP black key", make_bmp(11, 1, px, {32, 40}), 0, kKeyColour, clear},
        {"PNG RGB", png_rgb, kDefaultKey, clear, kBlack},
        {"PNG RGB no key", png_rgb, rt::kNoColourKey, kKeyColour, kBlack},
        {"PNG RGBA keeps its alpha", png_rgba, kDefaultKey, {255, 0, 128, 77}, kBlack},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        rt::Picture p;
        ASSERT_TRUE(rt::picture_decode(c.file.data(), c.file.size(), p, c.key, "x"));
        ASSERT_EQ(p.width, 11);
        for (int x = 0; x < 11; ++x) EXPECT_EQ(pixel(p, x, 0), x % 2 ? c.odd : c.even) << x;
    }
    rt::Picture p;
    ASSERT_TRUE(rt::picture_decode(jpeg.data(), jpeg.size(), p, kDefaultKey, "x"));
    EXPECT_EQ(pixel(p, 0, 0).a, 255);
    EXPECT_NEAR(pixel(p, 0, 0).r, 255, 3);
    EXPECT_NEAR(pixel(p, 0, 0).b, 128, 3);
}

TEST(PngDecode, UnsupportedFilesAreNamedOnStandardOutput) {
    const uint16_t grey16[] = {0, 65535};
    const uint8_t indices[] = {0, 1};
    const uint8_t colormap[17 * 3] = {255, 0, 0, 0, 255, 0};
    const uint8_t grey_alpha[] = {10, 255, 20, 128};
    const struct {
        Bytes file;
        const char* message;
    } cases[] = {
        {make_png(2, 1, PNG_FORMAT_LINEAR_Y, grey16),
         "File pics/deep.png has bit depth 16.\nOnly bit depth of 8 is supported.\n"},
        {make_png(2, 1, PNG_FORMAT_RGB_COLORMAP, indices, colormap, 17),
         "File pics/deep.png has unsupported color type.\nTypes GRAY, RGB and RGB_ALPHA are supported.\n"},
        {make_png(2, 1, PNG_FORMAT_GA, grey_alpha),
         "File pics/deep.png has unsupported color type.\nTypes GRAY, RGB and RGB_ALPHA are supported.\n"},
    };
    for (const auto& c : cases) {
        rt::Picture p;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(rt::png_decode(c.file.data(), c.file.size(), p, rt::kNoColourKey, "pics/deep.png"));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    }
}

TEST(PngDecode, GreyInterlacedAndDamagedFiles) {
    const uint8_t grey[] = {0, 90, 255};
    const Bytes grey_png = make_png(3, 1, PNG_FORMAT_GRAY, grey);
    rt::Picture p;
    ASSERT_TRUE(rt::png_decode(grey_png.data(), grey_png.size(), p, 0, "g"));
    EXPECT_EQ(pixels_of(p), (std::vector<Rgba>{kBlack, {90, 90, 90}, kWhite}));  // no key on grey

    rt::Picture big;
    big.width = 13;
    big.height = 11;
    for (int i = 0; i < big.width * big.height * 4; ++i) big.pixels.push_back(static_cast<uint8_t>(i * 7));
    const Bytes interlaced = make_interlaced_png(big, true);
    ASSERT_TRUE(rt::png_decode(interlaced.data(), interlaced.size(), p, rt::kNoColourKey, "i"));
    EXPECT_EQ(p.pixels, big.pixels);
    // Without alpha: opaque, and the key still applies once all passes are in.
    const Bytes interlaced_rgb = make_interlaced_png(big, false);
    const Rgba keyed_pixel = pixel(big, 12, 10);
    ASSERT_TRUE(rt::png_decode(interlaced_rgb.data(), interlaced_rgb.size(), p,
                               keyed_pixel.r | keyed_pixel.g << 8 | keyed_pixel.b << 16, "i"));
    for (int i = 0; i < big.width * big.height; ++i) {
        const Rgba want = pixel(big, i % big.width, i / big.width);
        const Rgba got = pixel(p, i % big.width, i / big.width);
        const Rgba expected = want == keyed_pixel ? Rgba{0, 0, 0, 0} : Rgba{want.r, want.g, want.b, 255};
        EXPECT_EQ(got, expected) << i;
    }

    Bytes whole;
    ASSERT_TRUE(rt::png_encode(big, whole));
    Bytes bad_crc = whole;
    bad_crc[50] ^= 0x55;  // inside the first IDAT
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (size_t cut : {size_t{8}, size_t{20}, size_t{40}, whole.size() - 20}) {
        EXPECT_FALSE(rt::png_decode(whole.data(), cut, p, rt::kNoColourKey, "t")) << cut;
    }
    EXPECT_FALSE(rt::png_decode(bad_crc.data(), bad_crc.size(), p, rt::kNoColourKey, "c"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(JpegDecode, GreyColourAndFourComponents) {
    const uint8_t grey = 100;
    const Bytes grey_jpeg = make_jpeg(8, 8, 1, &grey);
    rt::Picture p;
    ASSERT_TRUE(rt::jpeg_decode(grey_jpeg.data(), grey_jpeg.size(), p));
    EXPECT_EQ(p.width, 8);
    for (const Rgba& c : pixels_of(p)) {
        EXPECT_NEAR(c.r, 100, 2);
        EXPECT_EQ(c.g, c.r);
        EXPECT_EQ(c.b, c.r);
        EXPECT_EQ(c.a, 255);
    }
    const uint8_t cmyk[] = {20, 120, 200, 60};
    const Bytes cmyk_jpeg = make_jpeg(8, 8, 4, cmyk);
    ASSERT_TRUE(rt::jpeg_decode(cmyk_jpeg.data(), cmyk_jpeg.size(), p));
    const Rgba c = pixel(p, 3, 3);
    EXPECT_NEAR(c.r, 20, 3);
    EXPECT_NEAR(c.g, 120, 3);
    EXPECT_NEAR(c.b, 200, 3);
    EXPECT_NEAR(c.a, 60, 3);

    testing::internal::CaptureStderr();
    // Cut in the headers, and cut in the picture data (the library would fill it with grey).
    for (size_t cut : {size_t{2}, size_t{3}, size_t{40}, grey_jpeg.size() - 4})
        EXPECT_FALSE(rt::jpeg_decode(grey_jpeg.data(), cut, p)) << cut;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(PictureEncode, RoundTrips) {
    // 5 x 4, a gentle gradient (JPEG halves the colour resolution) with varied alpha.
    rt::Picture in;
    in.width = 5;
    in.height = 4;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            in.pixels.insert(in.pixels.end(), {static_cast<uint8_t>(40 + 8 * x), static_cast<uint8_t>(60 + 8 * y), 150,
                                               static_cast<uint8_t>(x * 60)});
        }
    }
    rt::Picture out;
    Bytes bmp, png, jpeg;
    ASSERT_TRUE(rt::bmp_encode(in, bmp));
    ASSERT_TRUE(rt::bmp_decode(bmp.data(), bmp.size(), out, rt::kNoColourKey));
    ASSERT_EQ(out.width, 5);
    ASSERT_EQ(out.height, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            Rgba expected = pixel(in, x, y);
            expected.a = 255;
            EXPECT_EQ(pixel(out, x, y), expected);
        }
    }
    // Header fields other readers rely on: row size 16, 54-byte header, bottom-up, 10000 px/m.
    const Bytes header(bmp.begin(), bmp.begin() + 54);
    Bytes expected_header(54, 0);
    expected_header[0] = 'B', expected_header[1] = 'M';
    put(expected_header, 2, 16 * 4 + 54, 4);
    put(expected_header, 10, 54, 4);
    put(expected_header, 14, 40, 4);
    put(expected_header, 18, 5, 4);
    put(expected_header, 22, 4, 4);
    put(expected_header, 26, 1, 2);
    put(expected_header, 28, 24, 2);
    put(expected_header, 38, 10000, 4);
    put(expected_header, 42, 10000, 4);
    EXPECT_EQ(header, expected_header);
    EXPECT_EQ(bmp.size(), 16u * 4 + 54);

    ASSERT_TRUE(rt::png_encode(in, png));
    ASSERT_TRUE(rt::png_decode(png.data(), png.size(), out, kDefaultKey, "p"));
    EXPECT_EQ(out.pixels, in.pixels);

    ASSERT_TRUE(rt::jpeg_encode(in, 90, jpeg));
    ASSERT_TRUE(rt::jpeg_decode(jpeg.data(), jpeg.size(), out));
    ASSERT_EQ(out.width, 5);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            const Rgba a = pixel(in, x, y), b = pixel(out, x, y);
            EXPECT_NEAR(a.r, b.r, 12);
            EXPECT_NEAR(a.g, b.g, 12);
            EXPECT_NEAR(a.b, b.b, 12);
            EXPECT_EQ(b.a, 255);
        }
    }
    // Baseline: the frame marker is SOF0.
    const uint8_t sof0[] = {0xFF, 0xC0};
    EXPECT_NE(std::search(jpeg.begin(), jpeg.end(), std::begin(sof0), std::end(sof0)), jpeg.end());

    const rt::Picture empty, short_buffer = picture_of(3, 3, {kRed});
    for (const rt::Picture* bad : {&empty, &short_buffer}) {
        EXPECT_FALSE(rt::bmp_encode(*bad, bmp));
        EXPECT_FALSE(rt::png_encode(*bad, png));
        EXPECT_FALSE(rt::jpeg_encode(*bad, 80, jpeg));
    }
}

TEST(PictureDecode, DispatchesByMagicAndReusesTheBuffer) {
    const rt::Picture in = picture_of(3, 2, kSix);
    Bytes bmp, png, jpeg;
    ASSERT_TRUE(rt::bmp_encode(in, bmp));
    ASSERT_TRUE(rt::png_encode(in, png));
    ASSERT_TRUE(rt::jpeg_encode(in, 80, jpeg));
    rt::Picture p;
    for (const Bytes* file : {&png, &jpeg, &bmp}) {
        ASSERT_TRUE(rt::picture_decode(file->data(), file->size(), p, rt::kNoColourKey, "x"));
        EXPECT_EQ(p.width, 3);
        EXPECT_EQ(p.height, 2);
    }
    EXPECT_EQ(pixels_of(p), kSix);
    const uint8_t* buffer = p.pixels.data();
    const Bytes small = make_bmp(1, 1, {kRed}, {24, 40});
    ASSERT_TRUE(rt::picture_decode(small.data(), small.size(), p, rt::kNoColourKey, "x"));
    EXPECT_EQ(p.pixels.data(), buffer);
    EXPECT_EQ(p.pixels.size(), 4u);

    const Bytes not_bmp = [&] {
        Bytes b = png;
        b[0] = 'B', b[1] = 'M';
        return b;
    }();
    const Bytes junk{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0};
    for (const Bytes* bad : {&not_bmp, &junk}) EXPECT_FALSE(rt::picture_decode(bad->data(), bad->size(), p, 0, "x"));
}

TEST(PictureFormat, ChosenByTheNameEnding) {
    using F = rt::PictureFormat;
    const struct {
        const char* name;
        F format;
    } cases[] = {
        {"shot.png", F::png}, {"x.PNG", F::png},  {".png", F::bmp},    {"xpng", F::bmp},
        {"a.jpg", F::jpeg},   {"A.JpG", F::jpeg}, {"jpg", F::jpeg},    {"a.jpeg", F::bmp},
        {"shot.bmp", F::bmp}, {"", F::bmp},       {"png.txt", F::bmp},
    };
    for (const auto& c : cases) EXPECT_EQ(rt::picture_format_for_name(c.name), c.format) << c.name;
}

}  // namespace
