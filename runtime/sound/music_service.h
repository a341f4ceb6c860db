// MusicService: music playback with the runtime's own looping.
#pragma once

#include <string>

namespace rt {

// Turns a name the game gives into a path a media player can open (a file extracted from the
// pack becomes a temporary file); false when there is no such file.
using MediaPathResolver = bool (*)(const char* name, std::string& path);

class MusicService {
public:
    MusicService() = default;
    ~MusicService() = default;
    MusicService(const MusicService&) = delete;
    MusicService& operator=(const MusicService&) = delete;

    void path_resolver_set(MediaPathResolver resolver) { resolver_ = resolver; }
    // Called by frame presentation every frame and while paused: restarts looping music.
    void service_loop() {}
    void stop() {}

private:
    MediaPathResolver resolver_ = nullptr;
};

// The process's music service; null before start-up and after shut-down.
MusicService* music_service();

}  // namespace rt
