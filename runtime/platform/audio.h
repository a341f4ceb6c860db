// The audio device over SDL: one output stream at a fixed format fed by a callback, and the
// converter that turns PCM samples into that format once, at load time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace rt {

// The device format: interleaved stereo, signed 16-bit native-endian samples at 44100 frames per
// second. SDL converts to whatever the hardware wants.
constexpr int32_t kAudioRate = 44100;
constexpr int32_t kAudioChannels = 2;

// Fills frames frames of device-format samples into out. Called on SDL's audio thread.
using AudioFill = void (*)(void* user, int16_t* out, int32_t frames);

// An open output device; its callback runs from open() until the object is destroyed.
class PlatformAudioDevice {
public:
    // Opens the default output device and starts pulling samples from fill; null when there is
    // no audio driver or device.
    static std::unique_ptr<PlatformAudioDevice> open(AudioFill fill, void* user);
    // Stops the callback (waiting for a running one to return) and closes the device.
    ~PlatformAudioDevice();
    PlatformAudioDevice(const PlatformAudioDevice&) = delete;
    PlatformAudioDevice& operator=(const PlatformAudioDevice&) = delete;

    // While locked the callback does not run.
    void lock();
    void unlock();

private:
    PlatformAudioDevice(uint32_t id, AudioFill fill, void* user) : id_(id), fill_(fill), user_(user) {}
    static void callback(void* self, uint8_t* stream, int len);
    uint32_t id_;
    AudioFill fill_;
    void* user_;
};

// Converts PCM samples (8-bit unsigned or 16-bit signed little-endian, 1 or 2 interleaved
// channels, rate 100 … 200000 frames per second) to the device format, appending to out. Only
// whole frames of data are used. False when the format is unsupported or the result would exceed
// max_frames frames; out is then empty.
bool platform_audio_convert(const uint8_t* data, size_t size, int32_t bits, int32_t channels, int32_t rate,
                            size_t max_frames, std::vector<int16_t>& out);

}  // namespace rt
