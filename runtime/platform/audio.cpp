// SDL audio: the output device with its callback, and load-time conversion of PCM samples to the
// device format through SDL's converter.
#include "runtime/platform/audio.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

#include "runtime/platform/sdl_common.h"

namespace rt {

std::unique_ptr<PlatformAudioDevice> PlatformAudioDevice::open(AudioFill fill, void* user) {
    if (!fill) return nullptr;
    sdl_prepare();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
    std::unique_ptr<PlatformAudioDevice> device(new PlatformAudioDevice(0, fill, user));
    SDL_AudioSpec want{};
    want.freq = kAudioRate;
    want.format = AUDIO_S16SYS;
    want.channels = kAudioChannels;
    want.samples = 1024;  // about 23 ms per callback
    want.callback = &PlatformAudioDevice::callback;
    want.userdata = device.get();
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts to the hardware's format, the callback always sees ours.
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    device->id_ = id;
    SDL_PauseAudioDevice(id, 0);
    return device;
}

PlatformAudioDevice::~PlatformAudioDevice() {
    SDL_CloseAudioDevice(id_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void PlatformAudioDevice::lock() { SDL_LockAudioDevice(id_); }
void PlatformAudioDevice::unlock() { SDL_UnlockAudioDevice(id_); }

// Runs on SDL's audio thread.
void PlatformAudioDevice::callback(void* self, uint8_t* stream, int len) {
    auto* device = static_cast<PlatformAudioDevice*>(self);
    constexpr int kFrameBytes = kAudioChannels * 2;
    int32_t frames = len / kFrameBytes;
    device->fill_(device->user_, reinterpret_cast<int16_t*>(stream), frames);
    int used = frames * kFrameBytes;
    if (used < len) std::fill(stream + used, stream + len, uint8_t{0});
}

bool platform_audio_convert(const uint8_t* data, size_t size, int32_t bits, int32_t channels, int32_t rate,
                            size_t max_frames, std::vector<int16_t>& out) {
    out.clear();
    if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2) || rate < 100 || rate > 200000) return false;
    if (!data && size != 0) return false;
    const size_t frame_bytes = static_cast<size_t>(channels) * static_cast<size_t>(bits / 8);
    const uint64_t in_frames = size / frame_bytes;
    // The result's length before converting, so that a long sound at a low rate cannot make the
    // converter allocate without bound.
    const uint64_t expected = (in_frames * kAudioRate + static_cast<uint64_t>(rate) - 1) / static_cast<uint64_t>(rate);
    if (in_frames > (uint64_t{1} << 40) || expected > max_frames) return false;
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, bits == 8 ? AUDIO_U8 : AUDIO_S16LSB, static_cast<Uint8>(channels), rate, AUDIO_S16SYS,
                          kAudioChannels, kAudioRate) < 0) {
        return false;
    }
    // The converter works in place in a buffer len_mult times the input; held to 256 MiB.
    // (SDL's audio stream is not used: SDL 2.26 drops frames when one put resamples more than
    // about a thousand frames, and loses a fraction of a frame at every put.)
    const uint64_t in_bytes = in_frames * frame_bytes;
    const uint64_t work_bytes = in_bytes * static_cast<uint64_t>(std::max(cvt.len_mult, 1));
    if (work_bytes > (uint64_t{256} << 20)) return false;
    try {
        out.resize(static_cast<size_t>(work_bytes + 1) / 2);
    } catch (...) {
        out.clear();
        return false;
    }
    if (in_bytes > 0) std::memcpy(out.data(), data, static_cast<size_t>(in_bytes));
    cvt.buf = reinterpret_cast<Uint8*>(out.data());
    cvt.len = static_cast<int>(in_bytes);
    const bool ok = SDL_ConvertAudio(&cvt) == 0 && cvt.len_cvt >= 0 &&
                    static_cast<uint64_t>(cvt.len_cvt) <= work_bytes &&
                    static_cast<size_t>(cvt.len_cvt) / (kAudioChannels * 2) <= max_frames;
    if (!ok) {
        out.clear();
        out.shrink_to_fit();
        return false;
    }
    // Whole frames only.
    out.resize(static_cast<size_t>(cvt.len_cvt) / (kAudioChannels * 2) * kAudioChannels);
    out.shrink_to_fit();
    return true;
}

}  // namespace rt
