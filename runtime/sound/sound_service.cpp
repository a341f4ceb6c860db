// The sound service (numbered sounds, their copies and the device) and the sound commands.
#include "runtime/sound/sound_service.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "runtime/sound/sound.h"
#include "runtime/sound/wave.h"

namespace rt {
namespace {

// A loaded sound at the device rate may last up to 64 MiB of samples (about six minutes).
constexpr size_t kConvertedFramesMax = (size_t{64} << 20) / (kAudioChannels * sizeof(int16_t));

// Reads and converts a WAVE file; null on any failure.
MixerSamples sound_file_read(FileBytesReader reader, const char* name) {
    FileBytes file;
    if (!reader(name, file) || !file.data) return nullptr;
    WaveSound wave;
    if (!wave_read(file.data, file.size, wave)) return nullptr;
    try {
        auto samples = std::make_shared<std::vector<int16_t>>();
        if (!platform_audio_convert(wave.data, wave.size, wave.bits, wave.channels, wave.rate, kConvertedFramesMax,
                                    *samples) ||
            samples->size() < static_cast<size_t>(kAudioChannels)) {
            return nullptr;
        }
        return samples;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

SoundService::SoundService() : slots_(kSoundCount) {}

SoundService::~SoundService() {
    for (int32_t number = kSoundCount - 1; number >= 0; --number) slot_empty(number);
    device_close();
}

// Runs on SDL's audio thread.
void SoundService::device_fill(void* self, int16_t* out, int32_t frames) {
    static_cast<SoundService*>(self)->mixer_.mix(out, frames);
}

void SoundService::device_open() {
    if (device_present_) return;
    device_ = PlatformAudioDevice::open(&SoundService::device_fill, this);
    device_present_ = device_ != nullptr;
}

void SoundService::device_open_unplayed() {
    if (device_present_) return;
    device_present_ = true;
}

void SoundService::device_close() {
    device_.reset();
    device_present_ = false;
}

int32_t SoundService::find_free() const {
    for (int32_t number = 0; number < kSoundCount; ++number) {
        if (slots_[static_cast<size_t>(number)].copy_count == 0) return number;
    }
    return -1;
}

int32_t SoundService::copy_count(int32_t number) const {
    if (number < 0 || number >= kSoundCount) return 0;
    return slots_[static_cast<size_t>(number)].copy_count;
}

void SoundService::slot_empty(int32_t number) {
    Slot& slot = slots_[static_cast<size_t>(number)];
    for (int32_t copy = 0; copy < slot.copy_count; ++copy) mixer_.voice_set(voice_of(number, copy), nullptr);
    slot = Slot{};
}

void SoundService::slot_stop(int32_t number) {
    const Slot& slot = slots_[static_cast<size_t>(number)];
    for (int32_t copy = 0; copy < slot.copy_count; ++copy) mixer_.voice_stop(voice_of(number, copy));
}

void SoundService::load(const char* file_name, int32_t number, int32_t copies) {
    if (number < 0 || !file_name) return;
    number = std::min(number, kSoundCount - 1);
    slot_empty(number);
    copies = std::clamp(copies, 1, kCopiesMax);
    if (!device_present_) return;
    MixerSamples samples = sound_file_read(file_reader_, file_name);
    if (!samples) return;
    // Every copy shares the one block of samples.
    for (int32_t copy = 0; copy < copies; ++copy) mixer_.voice_set(voice_of(number, copy), samples);
    slots_[static_cast<size_t>(number)] = Slot{copies, 0};
}

int32_t SoundService::play(int32_t number, double pan, double volume) {
    if (number < 0) return -1;
    number = std::min(number, kSoundCount - 1);
    pan = std::isnan(pan) ? 0.0 : std::clamp(pan, -1.0, 1.0);
    double level = volume * 100.0;
    level = std::isnan(level) ? 0.0 : std::clamp(level, 0.0, 100.0);
    const int32_t volume_percent = static_cast<int32_t>(level);  // truncated toward zero
    Slot& slot = slots_[static_cast<size_t>(number)];
    if (!device_present_ || slot.copy_count == 0) return -1;

    if (mixer_.voice_playing(voice_of(number, slot.current_copy))) {
        // A single copy is not restarted while it still sounds; otherwise the next copy in turn
        // is taken, cut off if it is still playing.
        if (slot.copy_count == 1) return -1;
        slot.current_copy = (slot.current_copy + 1) % slot.copy_count;
        mixer_.voice_stop(voice_of(number, slot.current_copy));
    }
    const int32_t voice = voice_of(number, slot.current_copy);
    if (!mixer_.voice_play(voice, volume_percent * 100 - 10000, static_cast<int32_t>(pan * 10000.0))) return -1;
    return number * 256 + slot.current_copy;
}

int32_t SoundService::is_playing(int32_t channel) const {
    if (channel < 0) return 0;
    const int32_t number = channel >> 8;
    const int32_t copy = channel & 255;
    if (number >= kSoundCount || copy >= slots_[static_cast<size_t>(number)].copy_count) return 0;
    return mixer_.voice_playing(voice_of(number, copy)) ? 1 : 0;
}

void SoundService::stop(int32_t channel) {
    if (channel < 0) return;
    const int32_t number = channel >> 8;
    const int32_t copy = channel & 255;
    if (number >= kSoundCount || !device_present_) return;
    if (copy < slots_[static_cast<size_t>(number)].copy_count) {
        mixer_.voice_stop(voice_of(number, copy));
    } else {
        slot_stop(number);
    }
}

void SoundService::stop_all() {
    for (int32_t number = 0; number < kSoundCount; ++number) slot_stop(number);
}

}  // namespace rt

// ---- commands ----

int32_t sound_find_free() {
    rt::SoundService* sound = rt::sound_service();
    return sound ? sound->find_free() : 0;
}

void sound_load(const RtString& file_name, int32_t number, int32_t copies) {
    if (rt::SoundService* sound = rt::sound_service()) sound->load(file_name.c_str(), number, copies);
}

int32_t sound_play(int32_t number, double pan, double volume) {
    rt::SoundService* sound = rt::sound_service();
    return sound ? sound->play(number, pan, volume) : -1;
}

int32_t sound_is_playing(int32_t channel) {
    rt::SoundService* sound = rt::sound_service();
    return sound ? sound->is_playing(channel) : 0;
}

void sound_stop(int32_t channel) {
    if (rt::SoundService* sound = rt::sound_service()) sound->stop(channel);
}

void sound_stop_all() {
    if (rt::SoundService* sound = rt::sound_service()) sound->stop_all();
}
