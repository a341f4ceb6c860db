// The mixer: voices that each play shared device-format samples once with their own volume and
// pan, summed into the device's stream. Its state is shared with the audio thread under its lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace rt {

// Interleaved stereo signed 16-bit samples at the device rate, shared by every voice playing them.
using MixerSamples = std::shared_ptr<const std::vector<int16_t>>;

class Mixer {
public:
    // Voices are numbered 0 … voice_count − 1; other numbers are ignored.
    explicit Mixer(int32_t voice_count);
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // Gives a voice its samples (null: none), stopped at position 0.
    void voice_set(int32_t voice, MixerSamples samples);
    // Sets the voice's volume (hundredths of a decibel of attenuation, 0 full … −10000 silent)
    // and pan (−10000 left only … 10000 right only: the other side is attenuated by |pan|
    // hundredths of a decibel) and starts it from its current position. False without samples.
    bool voice_play(int32_t voice, int32_t volume, int32_t pan);
    // Stops the voice and rewinds it to position 0.
    void voice_stop(int32_t voice);
    // True from voice_play until the voice is stopped or its samples have played once.
    bool voice_playing(int32_t voice) const;
    // Frames played since the voice last started from position 0.
    size_t voice_position(int32_t voice) const;
    int32_t playing_count() const;

    // Mixes the next frames frames of every playing voice into out (interleaved stereo, frames × 2
    // samples), overwriting it. The device callback calls this on SDL's audio thread; tests call
    // it directly.
    void mix(int16_t* out, int32_t frames);

    // The linear factor of an attenuation in hundredths of a decibel: 1 at 0 and above, 0 at
    // −10000 and below.
    static float gain(int32_t hundredths);

private:
    struct Voice {
        MixerSamples samples;
        size_t position = 0;  // in frames
        float gain_left = 1.0f;
        float gain_right = 1.0f;
        bool playing = false;
    };
    bool valid(int32_t voice) const { return voice >= 0 && static_cast<size_t>(voice) < voices_.size(); }

    mutable std::mutex mutex_;  // guards everything below; the audio thread takes it in mix()
    std::vector<Voice> voices_;
    std::vector<int32_t> playing_;  // voices with playing set, in the order they started
};

}  // namespace rt
