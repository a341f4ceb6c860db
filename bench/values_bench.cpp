// Figures for the runtime's value types against the standard library: RtString append and
// concatenation against std::string, array_element against std::vector::at, and random_draw.
// Prints nanoseconds per operation (best of five rounds, the median in brackets) and the ratio
// runtime / standard of the best rounds (lower is better).
//
// The figures depend on more than the code, so the program prints that first: the build type
// and compiler; the C library's allocator and anything that tunes or replaces it (the append
// figures are mostly the allocator's growth of a 6 MB text, and page faults on fresh memory,
// whose cost varies a lot between machines, virtual ones especially, and with transparent huge
// pages); and the machine's load. For the appends it also prints how often each text moved to a
// new buffer, the page faults of the round each figure comes from, and std::string reached
// through a call as RtString is, since most of the remaining gap is the call itself.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "runtime/runtime.h"

extern char** environ;

#ifndef RT_BUILD_TYPE
#define RT_BUILD_TYPE "unknown build type"
#endif

namespace {

// Keeps a value alive so the optimiser cannot drop the work that made it.
template <typename T>
void keep(const T& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

long page_faults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

struct Timing {
    double best = 0;    // ns per operation
    double median = 0;  // ns per operation
    long faults = 0;    // page faults of the best round
};

template <typename F>
Timing time_rounds(int64_t ops, F&& body) {
    constexpr int kRounds = 5;
    std::vector<double> ns;
    Timing timing;
    for (int round = 0; round < kRounds; ++round) {
        const long faults_before = page_faults();
        auto start = std::chrono::steady_clock::now();
        body();
        auto end = std::chrono::steady_clock::now();
        const long faults = page_faults() - faults_before;
        ns.push_back(std::chrono::duration<double, std::nano>(end - start).count() / static_cast<double>(ops));
        if (ns.back() <= *std::min_element(ns.begin(), ns.end())) timing.faults = faults;
    }
    std::sort(ns.begin(), ns.end());
    timing.best = ns.front();
    timing.median = ns[ns.size() / 2];
    return timing;
}

void report(const char* what, const Timing& runtime, const Timing& standard) {
    std::printf("%-44s runtime %8.2f ns (%8.2f)   standard %8.2f ns (%8.2f)   ratio %5.2f\n", what, runtime.best,
                runtime.median, standard.best, standard.median, runtime.best / standard.best);
}

const char* compiler() {
#if defined(__clang__)
    return "clang " __clang_version__;
#elif defined(__GNUC__)
    return "GCC " __VERSION__;
#else
    return "unknown compiler";
#endif
}

const char* address_sanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return "on";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return "on";
#else
    return "off";
#endif
#else
    return "off";
#endif
}

// The first line of a file, or "" when it cannot be read.
std::string first_line(const char* path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The selected word of a /sys setting such as "always [madvise] never".
std::string selected(const std::string& setting) {
    const size_t open = setting.find('[');
    const size_t close = setting.find(']');
    if (open == std::string::npos || close == std::string::npos || close < open) return setting.empty() ? "?" : setting;
    return setting.substr(open + 1, close - open - 1);
}

void print_conditions() {
#ifdef __OPTIMIZE__
    const char* optimised = "optimised";
#else
    const char* optimised = "not optimised";
#endif
#ifdef NDEBUG
    const char* assertions = "assertions off";
#else
    const char* assertions = "assertions on";
#endif
    std::printf("build      %s, %s, %s, %s, AddressSanitizer %s\n", RT_BUILD_TYPE, compiler(), optimised, assertions,
                address_sanitizer());
#ifdef __GLIBC__
    std::printf("allocator  GNU C library %d.%d malloc", __GLIBC__, __GLIBC_MINOR__);
#else
    std::printf("allocator  the C library's malloc");
#endif
    // Settings that change malloc's growth and trimming, or replace it.
    bool any = false;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "GLIBC_TUNABLES=", 15) == 0 || std::strncmp(*e, "MALLOC_", 7) == 0 ||
            std::strncmp(*e, "LD_PRELOAD=", 11) == 0) {
            std::printf(", %s", *e);
            any = true;
        }
    }
    std::printf("%s\n", any ? "" : ", no tunables or preloads");
    const std::string load = first_line("/proc/loadavg");
    std::printf("machine    %u CPUs, load %s, transparent huge pages %s\n", std::thread::hardware_concurrency(),
                load.substr(0, load.find(' ')).c_str(),
                selected(first_line("/sys/kernel/mm/transparent_hugepage/enabled")).c_str());
}

// std::string's append as the runtime's commands are reached: through a call, the length counted
// at run time. Inlined, with the literal's length known to the compiler, it is a few instructions.
__attribute__((noinline)) void append_called(std::string& s, const char* text) { s.append(text); }

// How often appending count times to a fresh text moves it to a new buffer.
template <typename Text>
int count_moves(int64_t count) {
    Text s;
    const char* at = s.c_str();
    int moves = 0;
    for (int64_t i = 0; i < count; ++i) {
        s.append("abc");
        if (s.c_str() != at) {
            ++moves;
            at = s.c_str();
        }
    }
    return moves;
}

}  // namespace

int main() {
    print_conditions();

    const int64_t appends = 2000000;
    const Timing rt_append = time_rounds(appends, [&] {
        RtString s;
        for (int64_t i = 0; i < appends; ++i) s.append("abc");
        keep(s);
    });
    const Timing std_append = time_rounds(appends, [&] {
        std::string s;
        for (int64_t i = 0; i < appends; ++i) s.append("abc");
        keep(s);
    });
    report("append 3 bytes (growing to 6 MB)", rt_append, std_append);
    std::printf("%-44s runtime %d moves, %ld page faults   standard %d moves, %ld page faults\n", "  (its best round)",
                count_moves<RtString>(appends), rt_append.faults, count_moves<std::string>(appends),
                std_append.faults);
    const char* volatile abc = "abc";  // not a constant the compiler could fold into the call
    const Timing std_append_called = time_rounds(appends, [&] {
        std::string s;
        for (int64_t i = 0; i < appends; ++i) append_called(s, abc);
        keep(s);
    });
    report("  the same, standard through a call", rt_append, std_append_called);

    const int64_t concats = 2000000;
    RtString left("player score: ");
    RtString right("12345 points");
    std::string sleft = left.c_str();
    std::string sright = right.c_str();
    const Timing rt_concat = time_rounds(concats, [&] {
        for (int64_t i = 0; i < concats; ++i) {
            RtString r = left + right;
            keep(r);
        }
    });
    const Timing std_concat = time_rounds(concats, [&] {
        for (int64_t i = 0; i < concats; ++i) {
            std::string r = sleft + sright;
            keep(r);
        }
    });
    report("concatenate 15 + 12 bytes", rt_concat, std_concat);

    const int32_t n = 1000;
    const int64_t passes = 20000;
    RtArray<int32_t> arr;
    array_dim(arr, n, 0, 0, 0);
    std::vector<int32_t> vec(n);
    const Timing rt_index = time_rounds(int64_t(n) * passes, [&] {
        int64_t sum = 0;
        for (int64_t p = 0; p < passes; ++p) {
            for (int32_t i = 0; i < n; ++i) sum += array_element_1d(arr, i)++;
        }
        keep(sum);
    });
    const Timing std_index = time_rounds(int64_t(n) * passes, [&] {
        int64_t sum = 0;
        for (int64_t p = 0; p < passes; ++p) {
            for (int32_t i = 0; i < n; ++i) sum += vec.at(static_cast<size_t>(i))++;
        }
        keep(sum);
    });
    report("array_element_1d vs vector::at (read+write)", rt_index, std_index);

    const Timing rt_index4 = time_rounds(int64_t(n) * passes, [&] {
        int64_t sum = 0;
        for (int64_t p = 0; p < passes; ++p) {
            for (int32_t i = 0; i < n; ++i) sum += array_element(arr, i, 0, 0, 0)++;
        }
        keep(sum);
    });
    report("array_element (4 indices) vs vector::at", rt_index4, std_index);

    const int64_t draws = 200000;
    random_seed(1);
    const Timing rt_draw = time_rounds(draws, [&] {
        uint32_t x = 0;
        for (int64_t i = 0; i < draws; ++i) x ^= random_draw();
        keep(x);
    });
    std::mt19937 twister(1);
    const Timing std_draw = time_rounds(draws, [&] {
        uint32_t x = 0;
        for (int64_t i = 0; i < draws; ++i) x ^= static_cast<uint32_t>(twister());
        keep(x);
    });
    report("random_draw (a full batch) vs std::mt19937", rt_draw, std_draw);
    return 0;
}
