// The operating-system services the runtime core needs: process facts, files for the log,
// the debugger channel, the monotonic clock and leaving the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rt {

// The process command line: its arguments joined by single blanks, program name included.
std::string platform_command_line();
// Full path of the running executable ("" when it cannot be read).
std::string platform_executable_path();
// The temporary directory with a trailing "/": $TMPDIR when set and not empty, else "/tmp/".
std::string platform_temp_dir();
bool platform_set_current_dir(const std::string& path);
std::string platform_current_dir();
bool platform_delete_file(const std::string& path);
// How platform_append_file reaches its file. Neither mode follows a link at the name, so a link
// planted in a shared folder never leads the bytes into someone else's file.
enum class AppendMode {
    kAppend,          // appends to a regular file of this user with one name, created when missing
    kFreshExclusive,  // removes the name (a link itself, not its target) and makes the file anew,
                      // exclusively: fails when anything holds the name again by then
};
// Appends bytes to a file; false when it cannot be opened or written.
bool platform_append_file(const std::string& path, const char* bytes, size_t count,
                          AppendMode mode = AppendMode::kAppend);

// True when a tracer (debugger) is attached to this process.
bool platform_debugger_present();
// Writes text to the debugger's channel: standard error here.
void platform_debug_output(const char* text);

// Monotonic clock in nanoseconds.
int64_t platform_clock_ns();
void platform_sleep_ms(int32_t milliseconds);
// Sleeps for the given nanoseconds on the monotonic clock, resuming after signals; wakes within
// tens of microseconds once the timer slack is lowered.
void platform_sleep_precise_ns(int64_t nanoseconds);
// Lowers the calling thread's timer slack to 1 ns (the default 50 µs is added to every sleep).
void platform_timer_slack_lower();

[[noreturn]] void platform_exit(int code);

}  // namespace rt
