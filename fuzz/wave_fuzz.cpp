// Fuzzes the WAVE reader with the input as file bytes: a sound it accepts lies inside the input
// in whole frames of a supported format, converts to the device format, and mixes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "runtime/platform/audio.h"
#include "runtime/sound/mixer.h"
#include "runtime/sound/wave.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rt::WaveSound wave;
    if (!rt::wave_read(data, size, wave)) return 0;
    if (wave.data < data || wave.size == 0 || wave.size > rt::kWaveDataLimit ||
        static_cast<size_t>(wave.data - data) > size || wave.size > size - static_cast<size_t>(wave.data - data) ||
        (wave.channels != 1 && wave.channels != 2) || (wave.bits != 8 && wave.bits != 16) ||
        wave.block_align != wave.channels * wave.bits / 8 || wave.size % static_cast<size_t>(wave.block_align) != 0) {
        std::abort();
    }
    // Low rates stretch a few bytes into many frames; a smaller limit keeps each run short.
    auto samples = std::make_shared<std::vector<int16_t>>();
    if (!rt::platform_audio_convert(wave.data, wave.size, wave.bits, wave.channels, wave.rate, size_t{1} << 16,
                                    *samples)) {
        return 0;
    }
    if (samples->size() % 2 != 0 || samples->size() / 2 > (size_t{1} << 16)) std::abort();
    rt::Mixer mixer(2);
    mixer.voice_set(0, samples);
    mixer.voice_set(1, samples);
    mixer.voice_play(0, 0, -2500);
    mixer.voice_play(1, -600, 10000);
    int16_t out[1024];
    mixer.mix(out, 512);
    return 0;
}
