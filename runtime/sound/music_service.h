// MusicService: one piece of background music at a time through a media player without video,
// with the runtime's own looping on the runtime clock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace rt {

class MusicPlayer;

// Turns a name the game gives into a path a media player can open (a file extracted from the
// pack becomes a temporary file); false when there is no such file.
using MediaPathResolver = bool (*)(const char* name, std::string& path);

// Shortest time between two restarts of looping music, in milliseconds.
constexpr double kMusicLoopMinimumMs = 500;

class MusicService {
public:
    MusicService();
    ~MusicService();
    MusicService(const MusicService&) = delete;
    MusicService& operator=(const MusicService&) = delete;

    void path_resolver_set(MediaPathResolver resolver) { resolver_ = resolver; }

    // Replaces any music with the named file and starts it at full volume; a name that does not
    // resolve or a file that cannot be played leaves no music.
    void play(const char* file_name, bool loop);
    // Stops and closes the music (nothing without music).
    void stop();
    // 0 silent to 1 normal; an unchanged value is not sent again.
    void volume_set(double volume);
    // 1 while looping music exists or the piece has not reached its end; else 0.
    int32_t is_playing();
    // Called by frame presentation every frame, and by every loop that blocks the game: restarts
    // looping music when its length has passed on the runtime clock.
    void service_loop();

    // Inspection (tests): when looping music restarts next (runtime clock ms; 0: no loop), how
    // many volume changes went to the player, and the player itself (null without music).
    double loop_restart_at() const { return loop_restart_at_; }
    int64_t volume_sends() const { return volume_sends_; }
    MusicPlayer* player() const { return player_.get(); }

private:
    // The player's length in ms, at least kMusicLoopMinimumMs.
    double loop_length();
    void volume_send(double volume);

    MediaPathResolver resolver_ = nullptr;
    std::unique_ptr<MusicPlayer> player_;
    std::string name_;
    double volume_ = -1;  // cached; -1 until set after music starts or stops
    double loop_restart_at_ = 0;
    int64_t volume_sends_ = 0;
};

// The process's music service; null before start-up and after shut-down.
MusicService* music_service();

}  // namespace rt
