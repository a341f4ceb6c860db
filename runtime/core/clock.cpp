// The runtime clock on the monotonic counter (nanoseconds), with a replaceable time source.
#include "runtime/core/clock.h"

#include "runtime/core/globals.h"
#include "runtime/platform/os.h"

// The monotonic counter needs no choosing on this platform. Lowering the timer slack keeps the
// pacing sleeps within tens of microseconds of their target.
void clock_init() { rt::platform_timer_slack_lower(); }

double clock_now() {
    const rt::ClockSource& source = rt::globals.clock_source;
    int64_t ns = source.now_ns ? source.now_ns() : rt::platform_clock_ns();
    double reading = static_cast<double>(ns) / 1e6;
    if (rt::globals.clock_base == 0) rt::globals.clock_base = reading;
    return reading - rt::globals.clock_base;
}

double clock_since_start() { return clock_now() - rt::globals.core.start_stamp; }

namespace rt {

void clock_source_set(const ClockSource& source) {
    globals.clock_source = source;
    globals.clock_base = 0;
}

void clock_sleep_ms(double ms) {
    if (!(ms > 0)) return;
    if (ms > 1e12) ms = 1e12;  // about 31 years; keeps the nanoseconds inside 64 bits
    auto ns = static_cast<int64_t>(ms * 1e6);
    if (globals.clock_source.sleep_ns) {
        globals.clock_source.sleep_ns(ns);
    } else {
        platform_sleep_precise_ns(ns);
    }
}

}  // namespace rt
