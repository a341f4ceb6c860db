// SoundService: the sound device and the numbered sound effects played through it.
#pragma once

#include "runtime/core/file_bytes.h"

namespace rt {

class SoundService {
public:
    SoundService() = default;
    ~SoundService() = default;
    SoundService(const SoundService&) = delete;
    SoundService& operator=(const SoundService&) = delete;

    // Opens the audio device; without one every sound command quietly does nothing.
    void device_open() {}
    // How sound files are found; start-up installs the file layer's search.
    void file_reader_set(FileBytesReader reader) { file_reader_ = reader; }

private:
    FileBytesReader file_reader_ = file_bytes_read_plain;
};

// The process's sound service; null before start-up and after shut-down.
SoundService* sound_service();

}  // namespace rt
