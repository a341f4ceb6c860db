// Sound effects: the mixer's samples (volume, pan, overlap), the numbered sounds' play, stop and
// channel rules, loading from WAVE files, and the real device under SDL's dummy driver.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "runtime/sound/mixer.h"
#include "runtime/sound/sound_service.h"
#include "support/test_support.h"

namespace {

std::string le16(uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

// A WAVE file of 16-bit stereo samples at 44100 Hz, or of raw bytes in any format.
std::string wave_file(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data) {
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    std::string fmt = le16(1) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
    std::string body = "WAVEfmt " + le32(16) + fmt + "data" + le32(uint32_t(data.size())) + data;
    return "RIFF" + le32(uint32_t(body.size())) + body;
}
std::string stereo_bytes(const std::vector<int16_t>& samples) {
    std::string s;
    for (int16_t v : samples) s += le16(static_cast<uint16_t>(v));
    return s;
}
// frames frames of a steady left/right pair.
std::vector<int16_t> steady(size_t frames, int16_t left, int16_t right) {
    std::vector<int16_t> s;
    for (size_t i = 0; i < frames; ++i) s.insert(s.end(), {left, right});
    return s;
}
std::vector<int16_t> ramp(size_t frames) {
    std::vector<int16_t> s;
    for (size_t i = 0; i < frames; ++i) s.insert(s.end(), {int16_t(i * 7 - 9000), int16_t(20000 - i * 5)});
    return s;
}
rt::MixerSamples shared(std::vector<int16_t> s) { return std::make_shared<const std::vector<int16_t>>(std::move(s)); }

std::vector<int16_t> mix(rt::Mixer& mixer, int32_t frames) {
    std::vector<int16_t> out(size_t(frames) * 2, 12345);
    mixer.mix(out.data(), frames);
    return out;
}

TEST(Mixer, VolumePanAndOverlapShapeTheSamples) {
    rt::Mixer mixer(4);
    const std::vector<int16_t> samples = ramp(700);
    mixer.voice_set(0, shared(samples));
    // Full volume, centre: the samples exactly, then silence once they have played.
    ASSERT_TRUE(mixer.voice_play(0, 0, 0));
    std::vector<int16_t> out = mix(mixer, 300);
    std::vector<int16_t> rest = mix(mixer, 500);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), out.begin()));
    EXPECT_EQ(std::vector<int16_t>(out.begin() + 1400, out.end()), std::vector<int16_t>(200, 0));
    EXPECT_FALSE(mixer.voice_playing(0));

    // −5000 is 50 dB down; pan −10000 leaves the left only, 2500 takes 25 dB off the left.
    mixer.voice_set(1, shared(steady(10, 30000, -30000)));
    const struct {
        int32_t volume, pan;
        double left, right;
    } levels[] = {{-5000, 0, 30000 * 0.0031623, -30000 * 0.0031623},
                  {0, -10000, 30000, 0},
                  {0, 10000, 0, -30000},
                  {0, 2500, 30000 * 0.056234, -30000},
                  {-10000, 0, 0, 0}};
    for (const auto& l : levels) {
        ASSERT_TRUE(mixer.voice_play(1, l.volume, l.pan));
        out = mix(mixer, 10);
        EXPECT_NEAR(out[0], l.left, 1.0) << l.volume << " " << l.pan;
        EXPECT_NEAR(out[1], l.right, 1.0) << l.volume << " " << l.pan;
    }

    // Two voices sharing one block overlap and sum; the sum is held to the 16-bit range.
    rt::MixerSamples block = shared(steady(100, 1000, 30000));
    mixer.voice_set(2, block);
    mixer.voice_set(3, block);
    mixer.voice_play(2, 0, 0);
    out = mix(mixer, 40);
    mixer.voice_play(3, 0, 0);
    out = mix(mixer, 70);
    EXPECT_EQ(out[0], 2000);
    EXPECT_EQ(out[1], 32767);
    EXPECT_EQ(out[59 * 2], 2000);
    EXPECT_EQ(out[60 * 2], 1000);  // voice 2 ended after its 100 frames
    EXPECT_FALSE(mixer.voice_playing(2));
    EXPECT_TRUE(mixer.voice_playing(3));
    EXPECT_EQ(mixer.voice_position(3), 70u);
}

// A service that acts as if it had a device, reading files from a temporary folder; nothing
// plays until the test mixes.
struct SoundServiceTest : ::testing::Test {
    rt_test::TempDir dir;
    rt::SoundService sound;
    void SetUp() override { sound.device_open_unplayed(); }
    std::string write(const std::string& name, const std::string& bytes) {
        rt_test::write_file(dir.file(name), bytes);
        return dir.file(name);
    }
    std::vector<int16_t> mix(int32_t frames) { return ::mix(sound.mixer(), frames); }
};

TEST_F(SoundServiceTest, LoadsNumbersAndCopiesWithinBounds) {
    const std::string file = write("a.wav", wave_file(2, 44100, 16, stereo_bytes(ramp(50))));
    EXPECT_EQ(sound.find_free(), 0);
    sound.load(file.c_str(), 5000, 0);
    EXPECT_EQ(sound.copy_count(4095), 1);
    sound.load(file.c_str(), 0, 9);
    EXPECT_EQ(sound.copy_count(0), 4);
    EXPECT_EQ(sound.find_free(), 1);
    sound.load(file.c_str(), -1, 2);  // refused: no slot for it
    EXPECT_EQ(sound.play(-1, 0, 1), -1);
    EXPECT_EQ(sound.find_free(), 1);
    // Reloading empties first; a failed load leaves the number free.
    sound.load(dir.file("missing.wav").c_str(), 0, 1);
    EXPECT_EQ(sound.copy_count(0), 0);
    EXPECT_EQ(sound.play(0, 0, 1), -1);
    for (int32_t n = 0; n < rt::SoundService::kSoundCount; ++n) sound.load(file.c_str(), n, 1);
    EXPECT_EQ(sound.find_free(), -1);
}

TEST_F(SoundServiceTest, PlaysStopsAndRotatesCopies) {
    const std::string file = write("a.wav", wave_file(2, 44100, 16, stereo_bytes(ramp(1000))));
    const int32_t n = 7;
    // One copy: not restarted while it sounds.
    sound.load(file.c_str(), n, 1);
    EXPECT_EQ(sound.play(n, 0, 1), n * 256);
    mix(100);
    EXPECT_EQ(sound.play(n, 0, 1), -1);
    EXPECT_EQ(sound.mixer().voice_position(n * 4), 100u);
    EXPECT_EQ(sound.is_playing(n * 256), 1);
    mix(900);
    EXPECT_EQ(sound.is_playing(n * 256), 0);
    EXPECT_EQ(sound.play(n, 0, 1), n * 256);

    // Two copies played three times: copy 0, copy 1, then copy 0 again from its start.
    sound.load(file.c_str(), n, 2);
    EXPECT_EQ(sound.play(n, 0, 1), n * 256 + 0);
    mix(10);
    EXPECT_EQ(sound.play(n, 0, 1), n * 256 + 1);
    mix(10);
    EXPECT_EQ(sound.play(n, 0, 1), n * 256 + 0);
    EXPECT_EQ(sound.mixer().voice_position(n * 4), 0u);
    EXPECT_EQ(sound.mixer().voice_position(n * 4 + 1), 10u);
    EXPECT_EQ(sound.mixer().playing_count(), 2);

    // A copy index that is not a loaded copy stops every copy; a loaded one stops only itself.
    sound.stop(n * 256 + 7);
    EXPECT_EQ(sound.is_playing(n * 256), 0);
    EXPECT_EQ(sound.is_playing(n * 256 + 1), 0);
    sound.play(n, 0, 1);
    sound.play(n, 0, 1);
    sound.stop(n * 256 + 1);
    EXPECT_EQ(sound.is_playing(n * 256), 1);
    EXPECT_EQ(sound.is_playing(n * 256 + 1), 0);
    sound.stop_all();
    EXPECT_EQ(sound.mixer().playing_count(), 0);

    // Channels outside the table are refused without effect.
    EXPECT_EQ(sound.is_playing(-1), 0);
    EXPECT_EQ(sound.is_playing(4096 * 256), 0);
    EXPECT_EQ(sound.is_playing(n * 256 + 2), 0);
    sound.stop(-5);
    sound.stop(0x7FFFFFFF);
}

TEST_F(SoundServiceTest, ClampsVolumeAndPan) {
    const std::vector<int16_t> samples = steady(64, 12000, -12000);
    const std::string file = write("a.wav", wave_file(2, 44100, 16, stereo_bytes(samples)));
    sound.load(file.c_str(), 1, 1);
    const struct {
        double pan, volume;
        int16_t left, right;
    } cases[] = {{0, 1.5, 12000, -12000}, {0, -0.2, 0, 0}, {3, 1, 0, -12000}, {-3, 1, 12000, 0}, {0, NAN, 0, 0}};
    for (const auto& c : cases) {
        ASSERT_EQ(sound.play(1, c.pan, c.volume), 256);
        std::vector<int16_t> out = mix(64);
        EXPECT_EQ(out[10], c.left) << c.pan << " " << c.volume;
        EXPECT_EQ(out[11], c.right) << c.pan << " " << c.volume;
    }
}

TEST_F(SoundServiceTest, ConvertsFilesToTheDeviceFormat) {
    // 8-bit mono at 11025 Hz plays at its own rate: four times as many frames at 44100, both sides.
    std::string bytes(1000, '\xC0');
    const std::string file = write("m.wav", wave_file(1, 11025, 8, bytes));
    sound.load(file.c_str(), 2, 1);
    ASSERT_EQ(sound.play(2, 0, 1), 512);
    std::vector<int16_t> out = mix(5000);
    size_t frames = 0;
    while (frames < 5000 && (out[frames * 2] != 0 || out[frames * 2 + 1] != 0)) ++frames;
    EXPECT_NEAR(double(frames), 4000, 40);
    EXPECT_NEAR(out[2000 * 2], 0x40 << 8, 300);
    EXPECT_EQ(out[2000 * 2], out[2000 * 2 + 1]);
    EXPECT_EQ(sound.is_playing(512), 0);
}

TEST(SoundDevice, DummyDriverPlaysAndNoDriverDoesNothing) {
    rt_test::TempDir dir;
    const std::string file = dir.file("a.wav");
    rt_test::write_file(file, wave_file(2, 44100, 16, stereo_bytes(ramp(4410))));
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        rt::SoundService sound;
        sound.device_open();
        ASSERT_TRUE(sound.device_present());
        sound.load(file.c_str(), 3, 1);
        ASSERT_EQ(sound.play(3, 0, 1), 3 * 256);
        // The audio thread plays the tenth of a second through; generous for a loaded machine.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (sound.is_playing(3 * 256) && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_EQ(sound.is_playing(3 * 256), 0);
    }
    {
        setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
        rt::SoundService sound;
        sound.device_open();
        EXPECT_FALSE(sound.device_present());
        sound.load(file.c_str(), 3, 1);
        EXPECT_EQ(sound.copy_count(3), 0);
        EXPECT_EQ(sound.find_free(), 0);
        EXPECT_EQ(sound.play(3, 0, 1), -1);
        EXPECT_EQ(sound.is_playing(3 * 256), 0);
        sound.stop(3 * 256);
        sound.stop_all();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
}

}  // namespace
