// Mixer cost: 32 copies of one sound playing at once at 44100 Hz stereo, each with its own volume
// and pan, mixed in the device's 1024-frame callbacks. Prints the time to mix one second of
// audio and that time as a percentage of one second of one core (best of five rounds, the
// median in brackets).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "runtime/platform/audio.h"
#include "runtime/sound/mixer.h"

#ifndef RT_BUILD_TYPE
#define RT_BUILD_TYPE "unknown build type"
#endif

int main() {
    constexpr int32_t kVoices = 32;
    constexpr int32_t kCallbackFrames = 1024;
    constexpr int32_t kSeconds = 10;  // of audio per round
    // Ten seconds of sound, so that no copy ends during a round.
    auto samples = std::make_shared<std::vector<int16_t>>(static_cast<size_t>(rt::kAudioRate) * 11 * 2);
    for (size_t i = 0; i < samples->size(); ++i) {
        (*samples)[i] = static_cast<int16_t>(std::lrint(6000 * std::sin(static_cast<double>(i) * 0.01)));
    }
    rt::Mixer mixer(kVoices);
    std::vector<int16_t> out(kCallbackFrames * 2);
    std::vector<double> rounds;
    long long checksum = 0;
    for (int round = 0; round < 5; ++round) {
        for (int32_t v = 0; v < kVoices; ++v) {
            mixer.voice_set(v, samples);
            mixer.voice_play(v, -v * 100, (v % 5 - 2) * 2000);
        }
        const int32_t callbacks = rt::kAudioRate * kSeconds / kCallbackFrames;
        auto start = std::chrono::steady_clock::now();
        for (int32_t c = 0; c < callbacks; ++c) {
            mixer.mix(out.data(), kCallbackFrames);
            checksum += out[static_cast<size_t>(c) % out.size()];
        }
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        const double audio_seconds = static_cast<double>(callbacks) * kCallbackFrames / rt::kAudioRate;
        rounds.push_back(took.count() / audio_seconds);
    }
    std::vector<double> sorted = rounds;
    std::sort(sorted.begin(), sorted.end());
    std::printf("mixer_bench (%s): %d copies, %d Hz stereo, %d-frame callbacks\n", RT_BUILD_TYPE, kVoices,
                rt::kAudioRate, kCallbackFrames);
    std::printf("  time to mix 1 s of audio: %.3f ms [%.3f ms]\n", sorted[0] * 1e3, sorted[2] * 1e3);
    std::printf("  CPU: %.3f %% of one core [%.3f %%]\n", sorted[0] * 100, sorted[2] * 100);
    std::printf("  (checksum %lld)\n", checksum);
    return 0;
}
