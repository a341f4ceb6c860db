// MusicService and the music commands: the player's lifetime, the cached volume, and looping by
// restarts on the runtime clock.
#include "runtime/sound/music_service.h"

#include <cmath>

#include "runtime/core/clock.h"
#include "runtime/platform/media.h"
#include "runtime/sound/music.h"

namespace rt {

MusicService::MusicService() = default;
MusicService::~MusicService() = default;

double MusicService::loop_length() {
    double length = player_ ? player_->length_ms() : 0;
    return length < kMusicLoopMinimumMs ? kMusicLoopMinimumMs : length;
}

void MusicService::volume_send(double volume) {
    if (!player_) return;
    // The player's scale has 1000 steps per normal volume, truncated toward zero; 100 % is normal.
    double steps = std::isfinite(volume) ? std::trunc(volume * 1000.0) : 0.0;
    player_->volume_set(steps / 10.0);
    ++volume_sends_;
}

void MusicService::play(const char* file_name, bool loop) {
    volume_ = -1;
    loop_restart_at_ = 0;
    if (player_) {
        player_->stop();
        player_.reset();
    }
    name_ = file_name ? file_name : "";
    std::string path;
    if (resolver_) {
        if (!resolver_(name_.c_str(), path)) return;
    } else {
        path = name_;
    }
    if (path.empty()) return;
    player_ = MusicPlayer::open(path);
    if (!player_) return;
    double length = loop_length();
    if (loop) loop_restart_at_ = clock_now() + length;
    player_->seek_start();
    player_->play();
    // Every new piece starts at full volume.
    volume_ = 1;
    volume_send(1);
}

void MusicService::stop() {
    volume_ = -1;
    loop_restart_at_ = 0;
    if (!player_) return;
    player_->stop();
    player_.reset();
}

void MusicService::volume_set(double volume) {
    if (volume == volume_) return;
    volume_ = volume;
    volume_send(volume);
}

int32_t MusicService::is_playing() {
    if (!player_) return 0;
    if (loop_restart_at_ > 0) return 1;
    return player_->ended() ? 0 : 1;
}

void MusicService::service_loop() {
    if (!(loop_restart_at_ > 0) || !player_) return;
    double now = clock_now();
    if (now < loop_restart_at_) return;
    loop_restart_at_ = now + loop_length();
    player_->play();
    player_->seek_start();
    player_->play();
}

}  // namespace rt

void music_play(const RtString& file_name, bool loop) {
    rt::MusicService* music = rt::music_service();
    if (!music) return;
    try {
        music->play(file_name.c_str(), loop);
    } catch (...) {
        music->stop();  // out of memory: no music
    }
}

void music_stop() {
    if (rt::MusicService* music = rt::music_service()) music->stop();
}

void music_set_volume(double volume) {
    if (rt::MusicService* music = rt::music_service()) music->volume_set(volume);
}

int32_t music_is_playing() {
    rt::MusicService* music = rt::music_service();
    return music ? music->is_playing() : 0;
}
