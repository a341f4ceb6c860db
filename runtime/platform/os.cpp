// POSIX stand-ins for the process, log file, debugger and clock services of the core.
#include "runtime/platform/os.h"

#include <sched.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "runtime/platform/fs.h"

namespace rt {

namespace {

// Reads a whole small file of /proc (size unknown in advance); "" on failure.
std::string read_proc_file(const char* path) {
    std::string out;
    PlatformFile file = platform_file_open(path, FileOpenMode::kRead);
    if (!file) return out;
    char buf[4096];
    for (;;) {
        const int64_t n = platform_file_read(file, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

}  // namespace

std::string platform_command_line() {
    std::string raw = read_proc_file("/proc/self/cmdline");
    // Arguments are separated (and ended) by 0 bytes.
    while (!raw.empty() && raw.back() == '\0') raw.pop_back();
    for (char& c : raw) {
        if (c == '\0') c = ' ';
    }
    return raw;
}

std::string platform_executable_path() {
    std::string path(4096, '\0');
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) return std::string();
        if (static_cast<size_t>(n) < path.size()) {
            path.resize(static_cast<size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string platform_temp_dir() {
    const char* dir = std::getenv("TMPDIR");
    std::string out = (dir && *dir) ? dir : "/tmp";
    if (out.back() != '/') out.push_back('/');
    return out;
}

bool platform_set_current_dir(const std::string& path) { return ::chdir(path.c_str()) == 0; }

std::string platform_current_dir() {
    std::string path(4096, '\0');
    while (::getcwd(path.data(), path.size()) == nullptr) {
        if (errno != ERANGE) return std::string();
        path.resize(path.size() * 2);
    }
    path.resize(std::strlen(path.c_str()));
    return path;
}

bool platform_delete_file(const std::string& path) { return platform_file_delete(path.c_str()); }

bool platform_append_file(const std::string& path, const char* bytes, size_t count, AppendMode mode) {
    if (mode == AppendMode::kFreshExclusive) {
        platform_file_delete(path.c_str());
        PlatformFile file = platform_file_open(path.c_str(), FileOpenMode::kCreateNew);
        return file && platform_file_write(file, bytes, count);
    }
    PlatformFile file = platform_file_open(path.c_str(), FileOpenMode::kAppendNoLink);
    // A hard link to another file, or a file someone else made under the name, is not ours.
    PlatformFileInfo info;
    if (!file || !platform_file_info(file, info) || !info.is_regular || !info.owned || info.names != 1) return false;
    return platform_file_write(file, bytes, count);
}

bool platform_debugger_present() {
    std::string status = read_proc_file("/proc/self/status");
    size_t pos = status.find("TracerPid:");
    if (pos == std::string::npos) return false;
    return std::atol(status.c_str() + pos + 10) != 0;
}

void platform_debug_output(const char* text) {
    std::fputs(text, stderr);
    std::fflush(stderr);
}

int64_t platform_clock_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void platform_sleep_ms(int32_t milliseconds) {
    if (milliseconds <= 0) {
        sched_yield();
        return;
    }
    timespec ts{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void platform_sleep_precise_ns(int64_t nanoseconds) {
    if (nanoseconds <= 0) return;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t until = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec + nanoseconds;
    timespec deadline{static_cast<time_t>(until / 1000000000), static_cast<long>(until % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

void platform_timer_slack_lower() { prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }

void platform_exit(int code) {
    std::fflush(nullptr);
    std::exit(code);
}

}  // namespace rt
