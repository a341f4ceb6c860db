// Media players over libmpv: a player without video for music, and a movie player that draws its
// frames with OpenGL into a rectangle of the current context. Every call is made on the main
// thread; the library's own threads only wake the waits here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace rt {

// The audio output every player opened from now on uses ("null": none, for tests); empty: the
// system's choice.
void platform_media_audio_output_set(const std::string& name);

// One piece of music, opened paused. Times in milliseconds.
class MusicPlayer {
public:
    // Opens path and waits (a few seconds at most) until its length is known; null when the file
    // cannot be played.
    static std::unique_ptr<MusicPlayer> open(const std::string& path);
    ~MusicPlayer();
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    double length_ms();
    double position_ms();
    // Whether playback has reached the end; the player then stays there until played again.
    bool ended();
    void seek_start();
    void play();
    void stop();
    // 100 is the normal volume; values are held to 0 ... 200.
    void volume_set(double percent);
    double volume();
    // How often the player has reported playback (re)starting after a load or a seek.
    int64_t starts_seen();

private:
    struct Native;
    explicit MusicPlayer(std::unique_ptr<Native> native);
    std::unique_ptr<Native> native_;
};

// One movie. open, render and the destructor need the OpenGL context current.
class MoviePlayer {
public:
    // Opens path paused and waits (a few seconds at most) until its picture size is known; null
    // when the file cannot be played.
    static std::unique_ptr<MoviePlayer> open(const std::string& path);
    ~MoviePlayer();
    MoviePlayer(const MoviePlayer&) = delete;
    MoviePlayer& operator=(const MoviePlayer&) = delete;

    // The picture's size in pixels; 0 × 0 for a file without pictures.
    void source_size(int32_t& width, int32_t& height) const;
    double length_ms();
    double position_ms();
    bool ended();
    void seek_start();
    // False when the player refuses to play.
    bool play();
    void stop();
    // Waits at most ms for a new frame or other news from the player.
    void wait(double ms);
    // Draws the newest frame into x, y, width × height (pixels, y from the top) of the default
    // framebuffer of size target_width × target_height, when a new one is ready or force is set;
    // true when it drew. GL state the game relies on is kept.
    bool render(int32_t x, int32_t y, int32_t width, int32_t height, int32_t target_width, int32_t target_height,
                bool force);
    // Tells the player a drawn frame was shown (after the buffer swap).
    void swapped();

private:
    struct Native;
    explicit MoviePlayer(std::unique_ptr<Native> native);
    std::unique_ptr<Native> native_;
};

}  // namespace rt
