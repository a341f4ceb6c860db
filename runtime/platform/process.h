// Child processes: starting a program with an argument vector, waiting for it or leaving it to be
// reaped later, capturing its standard output, and finding programs on the search path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rt {

// A started child. id 0 names no child.
struct ChildProcess {
    int64_t id = 0;
    bool started() const { return id > 0; }
};

// Starts argv[0] with the arguments argv; a name without "/" is searched on PATH. The child gets
// this process's standard input, output and error and no other descriptor, and default signal
// handling. An empty argv or a program that cannot be executed gives a child that was not started.
ChildProcess platform_process_spawn(const std::vector<std::string>& argv);

// Waits for the child to end (resuming after signals) and gives its exit status: the exit code, or
// 128 + the signal number when a signal ended it; -1 when the child cannot be waited for.
int32_t platform_process_wait(ChildProcess child);

// Gives the child up without waiting: it is reaped once it has ended, on a later spawn or
// platform_process_reap_finished(), so that it never stays a zombie for long.
void platform_process_release(ChildProcess child);
// Reaps every released child that has ended; never blocks.
void platform_process_reap_finished();

// Runs argv (as platform_process_spawn), reads its standard output until the end, then waits for
// it. Output beyond max_output bytes is read and dropped, and overflowed is set. False when the
// program could not be started; otherwise exit_status is set as by platform_process_wait.
struct CapturedRun {
    std::string output;
    bool overflowed = false;
    int32_t exit_status = -1;
};
bool platform_process_capture(const std::vector<std::string>& argv, size_t max_output, CapturedRun& run);

// The path of an executable regular file named name found on PATH (the system's default path when
// PATH is unset; an empty entry is the current directory); "" when there is none.
std::string platform_find_on_path(const std::string& name);

}  // namespace rt
