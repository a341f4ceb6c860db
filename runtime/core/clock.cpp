// The runtime clock: milliseconds since its first use, on the monotonic counter (nanoseconds).
#include "runtime/core/clock.h"

#include "runtime/core/globals.h"
#include "runtime/platform/os.h"

// The monotonic counter needs no choosing on this platform; the clock starts at its first use.
void clock_init() {}

double clock_now() {
    double reading = static_cast<double>(rt::platform_clock_ns()) / 1e6;
    if (rt::globals.clock_base == 0) rt::globals.clock_base = reading;
    return reading - rt::globals.clock_base;
}

double clock_since_start() { return clock_now() - rt::globals.start_stamp; }
