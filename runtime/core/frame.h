// Frame presentation: showing the frame, the paused loop, the exit keys, the buffer swap with
// the frame limiter, and the game's timing commands.
#pragma once

#include <cstdint>

#include "runtime/core/errors.h"

class DuraVUZododivi;

// The game's per-frame call: presents the frame and returns when the next one is due.
void screen_present();
// Swaps and clears the buffers, then waits (pumping messages) until the next frame is due and
// advances the deadline. Always 1.
int32_t frame_swap(DuraVUZododivi* display, GameFunction hook);
// Milliseconds between the last two presentations; 1 when that is 0 or less.
double frame_duration();
// Sleeps for the milliseconds truncated to an integer; nothing for values below 1.
void program_sleep(double milliseconds);
// frame time = 1000 / frames_per_second, or 2 ms for 0 or less.
void frame_rate_set(int32_t frames_per_second);
// Whether Escape ends the program at the next presentation (Alt+F4 always does).
void escape_ends_program_set(double flag);

namespace rt {

// The limiter sleeps until this long before it leaves (1 ms ahead of the deadline), then spins,
// pumping messages. The sleep usually wakes within tens of microseconds; the margin absorbs a late
// wake-up on a busy machine for about 3 % of a processor at 60 frames per second.
constexpr double kPacingSpinMs = 0.5;

// What the frame limiter does with remaining_ms left until the deadline: a sleep of the returned
// milliseconds (> 0), a spin pass (0), or leaving (< 0).
double frame_wait_step(double remaining_ms);
// The deadline after a presentation that left the limiter at now: one frame time later on the
// grid, one more when already past it, and a fresh start one frame time after now when later still.
double frame_deadline_next(double next_frame_at, double frame_time_ms, double now);
// Escape (when it ends the program) or Alt+F4 held in the current snapshot.
bool exit_keys_down();

}  // namespace rt
