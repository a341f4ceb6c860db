// The mixer's voices and the summing of playing voices into device-format samples.
#include "runtime/sound/mixer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace rt {

Mixer::Mixer(int32_t voice_count) : voices_(static_cast<size_t>(std::max(voice_count, 0))) {
    playing_.reserve(voices_.size());
}

float Mixer::gain(int32_t hundredths) {
    if (hundredths >= 0) return 1.0f;
    if (hundredths <= -10000) return 0.0f;
    return static_cast<float>(std::pow(10.0, hundredths / 2000.0));
}

void Mixer::voice_set(int32_t voice, MixerSamples samples) {
    if (!valid(voice)) return;
    MixerSamples old;  // released after the lock, so the audio thread never waits on a free
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Voice& v = voices_[static_cast<size_t>(voice)];
        if (v.playing) std::erase(playing_, voice);
        old = std::exchange(v.samples, std::move(samples));
        v.position = 0;
        v.playing = false;
    }
}

bool Mixer::voice_play(int32_t voice, int32_t volume, int32_t pan) {
    if (!valid(voice)) return false;
    const float level = gain(volume);
    const float left = level * gain(pan > 0 ? -pan : 0);
    const float right = level * gain(pan < 0 ? pan : 0);
    std::lock_guard<std::mutex> lock(mutex_);
    Voice& v = voices_[static_cast<size_t>(voice)];
    if (!v.samples || v.samples->size() < 2) return false;
    v.gain_left = left;
    v.gain_right = right;
    if (!v.playing) {
        v.playing = true;
        playing_.push_back(voice);
    }
    return true;
}

void Mixer::voice_stop(int32_t voice) {
    if (!valid(voice)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    Voice& v = voices_[static_cast<size_t>(voice)];
    if (v.playing) std::erase(playing_, voice);
    v.playing = false;
    v.position = 0;
}

bool Mixer::voice_playing(int32_t voice) const {
    if (!valid(voice)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return voices_[static_cast<size_t>(voice)].playing;
}

size_t Mixer::voice_position(int32_t voice) const {
    if (!valid(voice)) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    return voices_[static_cast<size_t>(voice)].position;
}

int32_t Mixer::playing_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int32_t>(playing_.size());
}

void Mixer::mix(int16_t* out, int32_t frames) {
    if (!out || frames <= 0) return;
    constexpr int32_t kChunk = 256;  // frames summed at a time, in a buffer on the stack
    float sum[kChunk * 2];
    std::lock_guard<std::mutex> lock(mutex_);
    for (int32_t done = 0; done < frames;) {
        const int32_t n = std::min(kChunk, frames - done);
        std::fill(sum, sum + n * 2, 0.0f);
        bool finished = false;
        for (int32_t id : playing_) {
            Voice& v = voices_[static_cast<size_t>(id)];
            const std::vector<int16_t>& s = *v.samples;
            const size_t total = s.size() / 2;
            const size_t take = std::min(static_cast<size_t>(n), total - v.position);
            const int16_t* src = s.data() + v.position * 2;
            const float gl = v.gain_left;
            const float gr = v.gain_right;
            for (size_t i = 0; i < take; ++i) {
                sum[i * 2] += src[i * 2] * gl;
                sum[i * 2 + 1] += src[i * 2 + 1] * gr;
            }
            v.position += take;
            if (v.position >= total) {
                // Played once: the voice goes idle and rewinds.
                v.playing = false;
                v.position = 0;
                finished = true;
            }
        }
        if (finished) std::erase_if(playing_, [this](int32_t id) { return !voices_[static_cast<size_t>(id)].playing; });
        int16_t* dst = out + static_cast<size_t>(done) * 2;
        for (int32_t i = 0; i < n * 2; ++i) {
            const float x = std::clamp(sum[i], -32768.0f, 32767.0f);
            dst[i] = static_cast<int16_t>(std::lrint(x));
        }
        done += n;
    }
}

}  // namespace rt
