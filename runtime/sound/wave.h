// The RIFF WAVE chunk reader: finds the "fmt " and "data" chunks of a file held in memory and
// checks every length against the bytes that are there.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rt {

// The largest "data" chunk a sound may have (64 MiB).
constexpr uint32_t kWaveDataLimit = 64u << 20;

// A PCM sound as the reader found it. The format tag is reported but not used: the samples are
// always taken as PCM. channels is 2 when the file has more than one channel, else 1.
struct WaveSound {
    uint16_t format_tag = 0;
    int32_t channels = 0;
    int32_t rate = 0;               // frames per second, 100 … 200000
    int32_t block_align = 0;        // bytes per frame: channels × bits / 8
    int32_t bits = 0;               // 8 (unsigned) or 16 (signed little-endian)
    const uint8_t* data = nullptr;  // points into the file's bytes
    size_t size = 0;                // whole frames only, at least one
};

// Reads the sound in a WAVE file's bytes: "RIFF" and "WAVE" marks, chunks skipped by their stored
// length (odd lengths not padded) up to the first "fmt ", then up to the first "data". False on
// anything it cannot read: missing marks or chunks, a length beyond the end of the file, a
// "fmt " chunk under 16 bytes, a "data" chunk over kWaveDataLimit, or a format other than 8- or
// 16-bit mono or stereo at 100 … 200000 frames per second.
bool wave_read(const uint8_t* bytes, size_t size, WaveSound& out);

}  // namespace rt
