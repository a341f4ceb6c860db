// Frame pacing benchmark: the empty paced loop for 10 s at 60 frames per second, then 5 s paused.
// Prints the long-run rate error, the spread of frame intervals and the processor time used.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "runtime/gfx2d/display_service.h"
#include "runtime/platform/events.h"
#include "runtime/runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRunSeconds = 10;
constexpr double kPausedSeconds = 5;
constexpr double kFrameMs = 1000.0 / 60.0;

double seconds_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
}

// The long-run rate error in ppm: how far the frames drift from the ideal 60 Hz grid between the
// first and the last two seconds. Medians of the offsets from the grid make single late frames
// (a busy machine) count for nothing.
double rate_error_ppm(const std::vector<Clock::time_point>& stamps) {
    const size_t window = 120;
    std::vector<double> offsets;
    for (size_t i = 0; i < stamps.size(); ++i) {
        offsets.push_back(seconds_between(stamps.front(), stamps[i]) * 1000 - static_cast<double>(i) * kFrameMs);
    }
    std::vector<double> head(offsets.begin(), offsets.begin() + window);
    std::vector<double> tail(offsets.end() - window, offsets.end());
    double drift_ms = percentile(tail, 0.5) - percentile(head, 0.5);
    double span_ms = static_cast<double>(offsets.size() - window) * kFrameMs;
    return -drift_ms / span_ms * 1e6;
}

void inject(rt::PlatformEventKind kind) {
    rt::PlatformEvent e;
    e.kind = kind;
    rt::platform_event_inject(rt::display_service()->window(), e);
}

}  // namespace

void run() {
    // Settle: the first frames after start-up absorb its cost.
    for (int i = 0; i < 30; ++i) screen_present();

    std::vector<Clock::time_point> stamps;
    stamps.reserve(static_cast<size_t>(kRunSeconds * 60 + 10));
    Clock::time_point start = Clock::now();
    double cpu_start = cpu_seconds();
    stamps.push_back(start);
    while (seconds_between(start, stamps.back()) < kRunSeconds) {
        screen_present();
        stamps.push_back(Clock::now());
    }
    double cpu_running = (cpu_seconds() - cpu_start) / seconds_between(start, stamps.back());

    std::vector<double> deviation;
    for (size_t i = 1; i < stamps.size(); ++i) {
        double interval_ms = seconds_between(stamps[i - 1], stamps[i]) * 1000;
        deviation.push_back(std::abs(interval_ms - kFrameMs));
    }
    double rate_error = rate_error_ppm(stamps);

    // Paused: focus loss holds the program in the paused loop until focus comes back.
    inject(rt::PlatformEventKind::deactivate);
    message_pump(rt::display_service(), nullptr);
    std::thread resume([] {
        std::this_thread::sleep_for(std::chrono::duration<double>(kPausedSeconds));
        inject(rt::PlatformEventKind::activate);
    });
    Clock::time_point pause_start = Clock::now();
    double cpu_pause_start = cpu_seconds();
    screen_present();
    double cpu_paused = (cpu_seconds() - cpu_pause_start) / seconds_between(pause_start, Clock::now());
    resume.join();

    std::printf("frames               %zu in %.3f s\n", stamps.size() - 1,
                seconds_between(stamps.front(), stamps.back()));
    std::printf("rate error           %+.1f ppm   (target |e| <= 10)\n", rate_error);
    std::printf("|interval - 16.667|  p50 %.4f ms, p99 %.4f ms   (target p99 <= 0.25)\n", percentile(deviation, 0.5),
                percentile(deviation, 0.99));
    std::printf("cpu running          %.4f s per s   (target <= 0.12)\n", cpu_running);
    std::printf("cpu paused           %.4f s per s   (target <= 0.01)\n", cpu_paused);
    std::fflush(stdout);
}

std::string g_private_tmp;

void private_tmp_remove() {
    std::error_code ec;
    if (!g_private_tmp.empty()) std::filesystem::remove_all(g_private_tmp, ec);
}

int main() {
    // Start-up deletes and writes the log in the temporary directory: keep it private.
    std::string dir = (std::getenv("TMPDIR") && *std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    std::string templ = dir + "/frame_pacing_XXXXXX";
    if (mkdtemp(templ.data())) {
        g_private_tmp = templ;
        setenv("TMPDIR", templ.c_str(), 1);
        std::atexit(private_tmp_remove);
    }
    startup_settings.frame_rate = 60;
    if (runtime_start(1, "Frame pacing")) run();
    program_end();
}
