// The runtime clock: milliseconds since its first use, on the monotonic high-resolution counter.
#pragma once

void clock_init();
double clock_now();
double clock_since_start();
