// Figures for the settings commands: load time of files of 1,000 / 10,000 / 40,000 sections of
// four keys (with the time per section, which stays flat when loading is linear), and the time of
// writing back a changed 1 MB settings file (the replacement's flush to the disk included).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/platform/os.h"
#include "runtime/runtime.h"

#ifndef RT_BUILD_TYPE
#define RT_BUILD_TYPE "unknown build type"
#endif

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The times of rounds of body, at least min_rounds and until budget_s seconds are spent (at most
// max_rounds), sorted.
template <typename F>
std::vector<double> time_rounds(int min_rounds, int max_rounds, double budget_s, F&& body) {
    std::vector<double> times;
    const auto all = std::chrono::steady_clock::now();
    while (static_cast<int>(times.size()) < max_rounds &&
           (static_cast<int>(times.size()) < min_rounds || seconds_since(all) < budget_s)) {
        const auto start = std::chrono::steady_clock::now();
        body();
        times.push_back(seconds_since(start));
    }
    std::sort(times.begin(), times.end());
    return times;
}

double median(const std::vector<double>& sorted) { return sorted[sorted.size() / 2]; }

void write_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A settings file of sections sections with four keys each, every value value_bytes long.
std::string settings_text(int sections, int value_bytes) {
    std::string text;
    const std::string value(static_cast<size_t>(value_bytes), 'v');
    for (int s = 0; s < sections; ++s) {
        text += "[section" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 4; ++k) text += "key" + std::to_string(k) + " = " + value + "\r\n";
    }
    return text;
}

std::string first_line(const char* path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

int main() {
    std::string dir = rt::platform_temp_dir() + "settings_bench_XXXXXX";
    if (!mkdtemp(dir.data())) return 1;
    const std::string load = first_line("/proc/loadavg");
    std::printf("build      %s, %u CPUs, load %s, files in %s\n", RT_BUILD_TYPE, std::thread::hardware_concurrency(),
                load.substr(0, load.find(' ')).c_str(), dir.c_str());

    // ---- load ----
    for (int sections : {1000, 10000, 40000}) {
        const std::string path = dir + "/load" + std::to_string(sections) + ".ini";
        write_bytes(path, settings_text(sections, 16));
        const RtString name(path.c_str());
        // Best of up to 5 rounds within 2 s (one round when a load takes longer).
        const std::vector<double> times = time_rounds(1, 5, 2.0, [&] {
            settings_open(name);
            settings_open(RtString(""));  // unchanged: nothing is written back
        });
        const double best = times.front();
        std::printf("settings load, %6d sections of 4 keys (%5.2f MB)   %10.2f ms   %8.1f ns per section\n", sections,
                    static_cast<double>(std::filesystem::file_size(path)) / 1e6, best * 1e3, best / sections * 1e9);
    }

    // ---- write-back ----
    {
        const std::string path = dir + "/big.ini";
        write_bytes(path, settings_text(1000, 240));  // 4,000 values of 240 bytes: about 1 MB
        const RtString name(path.c_str());
        int round = 0;
        std::vector<double> write_back;
        time_rounds(20, 20, 0, [&] {
            settings_open(name);
            settings_put(RtString("section0"), RtString("key0"), RtString(std::to_string(++round).c_str()));
            const auto start = std::chrono::steady_clock::now();
            settings_open(RtString(""));  // changed: written back
            write_back.push_back(seconds_since(start));
        });
        std::sort(write_back.begin(), write_back.end());
        std::printf(
            "settings write-back of a changed %.2f MB file     best %8.2f ms   median %8.2f ms   worst %8.2f ms\n",
            static_cast<double>(std::filesystem::file_size(path)) / 1e6, write_back.front() * 1e3,
            median(write_back) * 1e3, write_back.back() * 1e3);
    }

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
