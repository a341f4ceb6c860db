// SoundService: the sound device and the numbered sound effects played through it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/core/file_bytes.h"
#include "runtime/platform/audio.h"
#include "runtime/sound/mixer.h"

namespace rt {

// Numbered sounds, each with up to four copies of the same samples that play, stop and take
// volume and pan independently. A channel is number × 256 + copy index. Without a device every
// command does nothing (plays return −1). Game thread only; the mixer is shared with the audio
// thread under its own lock.
class SoundService {
public:
    static constexpr int32_t kSoundCount = 4096;
    static constexpr int32_t kCopiesMax = 4;

    SoundService();
    // Empties the sounds from the last number to the first, then closes the device.
    ~SoundService();
    SoundService(const SoundService&) = delete;
    SoundService& operator=(const SoundService&) = delete;

    // Opens the audio device; without one every sound command quietly does nothing.
    void device_open();
    // Test seam: behaves as with a device, but nothing plays the mixer until mixer().mix is called.
    void device_open_unplayed();
    void device_close();
    bool device_present() const { return device_present_; }
    // How sound files are found; start-up installs the file layer's search.
    void file_reader_set(FileBytesReader reader) { file_reader_ = reader ? reader : file_bytes_read_plain; }

    int32_t find_free() const;
    void load(const char* file_name, int32_t number, int32_t copies);
    int32_t play(int32_t number, double pan, double volume);
    int32_t is_playing(int32_t channel) const;
    void stop(int32_t channel);
    void stop_all();

    // The number of loaded copies of a sound (0: free).
    int32_t copy_count(int32_t number) const;
    Mixer& mixer() { return mixer_; }

private:
    struct Slot {
        int32_t copy_count = 0;
        int32_t current_copy = 0;
    };
    static int32_t voice_of(int32_t number, int32_t copy) { return number * kCopiesMax + copy; }
    void slot_empty(int32_t number);
    void slot_stop(int32_t number);
    static void device_fill(void* self, int16_t* out, int32_t frames);

    FileBytesReader file_reader_ = file_bytes_read_plain;
    Mixer mixer_{kSoundCount * kCopiesMax};
    std::vector<Slot> slots_;
    bool device_present_ = false;
    std::unique_ptr<PlatformAudioDevice> device_;  // declared last: closed before the mixer goes
};

// The process's sound service; null before start-up and after shut-down.
SoundService* sound_service();

}  // namespace rt
