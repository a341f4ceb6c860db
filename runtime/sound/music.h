// Background music commands: one piece at a time, looped by the runtime itself.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// Replaces any music with the file and starts it; looping music restarts every length (at least
// 500 ms) of the runtime clock.
void music_play(const RtString& file_name, bool loop);
void music_stop();
// 0 silent to 1 full.
void music_set_volume(double volume);
// 1 while music plays (always for looping music), else 0.
int32_t music_is_playing();
