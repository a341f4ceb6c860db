// Test media made at test time: a sine tone as a 16-bit PCM WAVE file, and uncompressed
// YUV4MPEG2 clips whose frames hold a top and a bottom colour (BT.601 studio-range YCbCr).
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

namespace rt_test {

inline void put_le(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A mono 22050 Hz tone of ms milliseconds.
inline std::string wav_tone(int ms, double frequency = 440.0) {
    const uint32_t rate = 22050;
    const uint32_t samples = rate * static_cast<uint32_t>(ms) / 1000;
    std::string out = "RIFF";
    put_le(out, 36 + samples * 2, 4);
    out += "WAVEfmt ";
    put_le(out, 16, 4);
    put_le(out, 1, 2);  // PCM
    put_le(out, 1, 2);  // mono
    put_le(out, rate, 4);
    put_le(out, rate * 2, 4);
    put_le(out, 2, 2);
    put_le(out, 16, 2);
    out += "data";
    put_le(out, samples * 2, 4);
    for (uint32_t i = 0; i < samples; ++i) {
        double v = std::sin(2.0 * M_PI * frequency * i / rate) * 8000.0;
        put_le(out, static_cast<uint32_t>(static_cast<int32_t>(v)) & 0xFFFF, 2);
    }
    return out;
}

struct Ycc {
    uint8_t y, cb, cr;
};
constexpr Ycc kYccRed{81, 90, 240};
constexpr Ycc kYccBlue{41, 240, 110};

// width × height pictures, frames of them at fps per second, the upper half top, the rest bottom.
inline std::string y4m_clip(int width, int height, int frames, int fps, Ycc top, Ycc bottom) {
    std::string frame = "FRAME\n";
    const size_t plane = static_cast<size_t>(width) * height;
    const size_t split = static_cast<size_t>(width) * (height / 2);
    for (uint8_t Ycc::*channel : {&Ycc::y, &Ycc::cb, &Ycc::cr}) {
        frame.append(split, static_cast<char>(top.*channel));
        frame.append(plane - split, static_cast<char>(bottom.*channel));
    }
    std::string out = "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " F" +
                      std::to_string(fps) + ":1 Ip A1:1 C444\n";
    for (int i = 0; i < frames; ++i) out += frame;
    return out;
}

}  // namespace rt_test
