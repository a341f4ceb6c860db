// The WAVE chunk reader: chunk layouts it must accept and damaged or hostile files it must refuse.
#include "runtime/sound/wave.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string le16(uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
std::string chunk(const std::string& id, const std::string& body) { return id + le32(uint32_t(body.size())) + body; }
std::string fmt_body(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t align, uint16_t bits) {
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}
std::string riff(const std::string& chunks) { return "RIFF" + le32(uint32_t(4 + chunks.size())) + "WAVE" + chunks; }
const std::string kSamples = "\x01\x02\x03\x04\x05\x06\x07\x08";  // two 16-bit stereo frames
const std::string kPlain = riff(chunk("fmt ", fmt_body(1, 2, 22050, 4, 16)) + chunk("data", kSamples));

bool read(const std::string& file, rt::WaveSound& wave) {
    return rt::wave_read(reinterpret_cast<const uint8_t*>(file.data()), file.size(), wave);
}

TEST(WaveRead, AcceptsTheLayoutsFilesUse) {
    struct Case {
        const char* what;
        std::string file;
        int32_t channels, rate, bits;
        size_t size;
    };
    const std::string extensible_fmt = fmt_body(0xFFFE, 2, 48000, 4, 16) + le16(22) + std::string(22, '\0');
    const Case cases[] = {
        {"plain", kPlain, 2, 22050, 16, 8},
        {"list before fmt, fact between",
         riff(chunk("LIST", "INFOISFT\x03\0\0\0abc") + chunk("fmt ", fmt_body(1, 2, 22050, 4, 16)) +
              chunk("fact", le32(2)) + chunk("data", kSamples)),
         2, 22050, 16, 8},
        {"18-byte fmt", riff(chunk("fmt ", fmt_body(1, 2, 22050, 4, 16) + le16(0)) + chunk("data", kSamples)), 2, 22050,
         16, 8},
        {"format tag not 1, taken as PCM", riff(chunk("fmt ", extensible_fmt) + chunk("data", kSamples)), 2, 48000, 16,
         8},
        {"8-bit mono 11025", riff(chunk("fmt ", fmt_body(1, 1, 11025, 1, 8)) + chunk("data", "\x80\x90\x70")), 1, 11025,
         8, 3},
        {"part frame at the end dropped", riff(chunk("fmt ", fmt_body(1, 2, 22050, 4, 16)) + chunk("data", "abcdef")),
         2, 22050, 16, 4},
        {"odd chunk unpadded",
         riff(chunk("odd ", "x") + chunk("fmt ", fmt_body(1, 1, 8000, 2, 16)) + chunk("data", "ab")), 1, 8000, 16, 2},
    };
    for (const Case& c : cases) {
        rt::WaveSound wave;
        ASSERT_TRUE(read(c.file, wave)) << c.what;
        EXPECT_EQ(wave.channels, c.channels) << c.what;
        EXPECT_EQ(wave.rate, c.rate) << c.what;
        EXPECT_EQ(wave.bits, c.bits) << c.what;
        ASSERT_EQ(wave.size, c.size) << c.what;
        const size_t at = c.file.rfind("data") + 8;
        EXPECT_EQ(wave.data, reinterpret_cast<const uint8_t*>(c.file.data()) + at) << c.what;
    }
}

TEST(WaveRead, RefusesDamagedAndHostileFiles) {
    const std::string fmt = chunk("fmt ", fmt_body(1, 2, 22050, 4, 16));
    const struct {
        const char* what;
        std::string file;
    } cases[] = {
        {"empty", ""},
        {"no RIFF mark", "RIFX" + kPlain.substr(4)},
        {"no WAVE mark", kPlain.substr(0, 8) + "AVI " + kPlain.substr(12)},
        {"no fmt chunk", riff(chunk("data", kSamples))},
        {"no data chunk", riff(fmt + chunk("fact", le32(2)))},
        {"fmt under 16 bytes",
         riff(chunk("fmt ", fmt_body(1, 2, 22050, 4, 16).substr(0, 14)) + chunk("data", kSamples))},
        {"chunk length 0xFFFFFFFF", riff("LIST" + le32(0xFFFFFFFFu) + fmt + chunk("data", kSamples))},
        {"chunk past the end", riff("LIST" + le32(0x7FFFFFF0u) + fmt + chunk("data", kSamples))},
        {"data past the end", riff(fmt + "data" + le32(9) + kSamples)},
        {"data length 0xFFFFFFFF", riff(fmt + "data" + le32(0xFFFFFFFFu) + kSamples)},
        {"fmt past the end", riff("fmt " + le32(64) + fmt_body(1, 2, 22050, 4, 16))},
        {"24-bit", riff(chunk("fmt ", fmt_body(1, 2, 22050, 6, 24)) + chunk("data", "abcdef"))},
        {"4-bit ADPCM", riff(chunk("fmt ", fmt_body(2, 1, 22050, 256, 4)) + chunk("data", std::string(256, 'x')))},
        {"block alignment not a frame", riff(chunk("fmt ", fmt_body(1, 2, 22050, 2, 16)) + chunk("data", kSamples))},
        {"six channels", riff(chunk("fmt ", fmt_body(1, 6, 22050, 12, 16)) + chunk("data", std::string(12, 'x')))},
        {"rate 0", riff(chunk("fmt ", fmt_body(1, 2, 0, 4, 16)) + chunk("data", kSamples))},
        {"rate 10 million", riff(chunk("fmt ", fmt_body(1, 2, 10000000, 4, 16)) + chunk("data", kSamples))},
        {"no whole frame", riff(fmt + chunk("data", "abc"))},
    };
    for (const auto& c : cases) {
        rt::WaveSound wave;
        EXPECT_FALSE(read(c.file, wave)) << c.what;
    }
    // Cut short anywhere, the file is refused.
    for (size_t n = 0; n < kPlain.size(); ++n) {
        rt::WaveSound wave;
        EXPECT_FALSE(read(kPlain.substr(0, n), wave)) << n << " bytes";
    }
}

TEST(WaveRead, CapsTheDataSize) {
    std::string file = riff(chunk("fmt ", fmt_body(1, 2, 44100, 4, 16)) + "data" + le32(rt::kWaveDataLimit + 4));
    file.resize(file.size() + rt::kWaveDataLimit + 4);
    rt::WaveSound wave;
    EXPECT_FALSE(read(file, wave));
    file.resize(file.size() - 4);
    file.replace(file.size() - rt::kWaveDataLimit - 8, 8, "data" + le32(rt::kWaveDataLimit));
    ASSERT_TRUE(read(file, wave));
    EXPECT_EQ(wave.size, rt::kWaveDataLimit);
}

}  // namespace
