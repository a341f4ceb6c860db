// Movies: a video file played over the game window in a blocking call that any key or mouse
// button ends.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// Plays the file fitted to the window (looping with loop) until it ends or a key or mouse button
// is pressed; 0 after playing, 3 when the file cannot be found or played.
int32_t movie_play(const RtString& file_name, bool loop);

namespace rt {

// Where a source_width × source_height picture is shown in a client area: scaled by the smaller
// of the two ratios, each side truncated, centred (y from the top). Empty for an empty source.
struct MovieRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const MovieRect&) const = default;
};
MovieRect movie_fit(int32_t source_width, int32_t source_height, int32_t client_width, int32_t client_height);

// Stops and releases the player of a movie_play call in progress (shut-down); needs the GL
// context. Nothing when no movie plays.
void movie_stop();

}  // namespace rt
