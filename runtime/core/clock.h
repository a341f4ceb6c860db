// The runtime clock: milliseconds since its first use, on the monotonic high-resolution counter,
// and the precise sleep of frame pacing. Tests may replace the time source with a fake.
#pragma once

#include <cstdint>

// Chooses the time source and lowers the main thread's timer slack (called by start-up).
void clock_init();
// Milliseconds since the clock's first use (the first call returns 0).
double clock_now();
// clock_now() minus the start mark taken at the end of start-up.
double clock_since_start();

namespace rt {

// Where the clock reads time and how it sleeps. Null members mean the system's.
struct ClockSource {
    int64_t (*now_ns)() = nullptr;  // monotonic nanoseconds
    void (*sleep_ns)(int64_t ns) = nullptr;
};

// Replaces the time source; the clock restarts at its next use.
void clock_source_set(const ClockSource& source);
// Sleeps for ms milliseconds (fractions kept) on the clock's time source; nothing for ms <= 0.
void clock_sleep_ms(double ms);

}  // namespace rt
