// Figures for the runtime's value types against the standard library: RtString append and
// concatenation against std::string, array_element against std::vector::at, and random_draw.
// Prints nanoseconds per operation and the ratio runtime / standard (lower is better).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace {

// Keeps a value alive so the optimiser cannot drop the work that made it.
template <typename T>
void keep(const T& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

template <typename F>
double ns_per_op(int64_t ops, F&& body) {
    double best = 1e300;
    for (int round = 0; round < 5; ++round) {
        auto start = std::chrono::steady_clock::now();
        body();
        auto end = std::chrono::steady_clock::now();
        double ns = std::chrono::duration<double, std::nano>(end - start).count() / static_cast<double>(ops);
        if (ns < best) best = ns;
    }
    return best;
}

void report(const char* what, double runtime_ns, double standard_ns) {
    std::printf("%-44s runtime %8.2f ns   standard %8.2f ns   ratio %5.2f\n", what, runtime_ns, standard_ns,
                runtime_ns / standard_ns);
}

}  // namespace

int main() {
    const int64_t appends = 2000000;
    double rt_append = ns_per_op(appends, [&] {
        RtString s;
        for (int64_t i = 0; i < appends; ++i) s.append("abc");
        keep(s);
    });
    double std_append = ns_per_op(appends, [&] {
        std::string s;
        for (int64_t i = 0; i < appends; ++i) s.append("abc");
        keep(s);
    });
    report("append 3 bytes (growing to 6 MB)", rt_append, std_append);

    const int64_t concats = 2000000;
    RtString left("player score: ");
    RtString right("12345 points");
    std::string sleft = left.c_str();
    std::string sright = right.c_str();
    double rt_concat = ns_per_op(concats, [&] {
        for (int64_t i = 0; i < concats; ++i) {
            RtString r = left + right;
            keep(r);
        }
    });
    double std_concat = ns_per_op(concats, [&] {
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
    double rt_index = ns_per_op(int64_t(n) * passes, [&] {
        int64_t sum = 0;
        for (int64_t p = 0; p < passes; ++p) {
            for (int32_t i = 0; i < n; ++i) sum += array_element_1d(arr, i)++;
        }
        keep(sum);
    });
    double std_index = ns_per_op(int64_t(n) * passes, [&] {
        int64_t sum = 0;
        for (int64_t p = 0; p < passes; ++p) {
            for (int32_t i = 0; i < n; ++i) sum += vec.at(static_cast<size_t>(i))++;
        }
        keep(sum);
    });
    report("array_element_1d vs vector::at (read+write)", rt_index, std_index);

    double rt_index4 = ns_per_op(int64_t(n) * passes, [&] {
        int64_t sum = 0;
        for (int64_t p = 0; p < passes; ++p) {
            for (int32_t i = 0; i < n; ++i) sum += array_element(arr, i, 0, 0, 0)++;
        }
        keep(sum);
    });
    report("array_element (4 indices) vs vector::at", rt_index4, std_index);

    const int64_t draws = 200000;
    random_seed(1);
    double rt_draw = ns_per_op(draws, [&] {
        uint32_t x = 0;
        for (int64_t i = 0; i < draws; ++i) x ^= random_draw();
        keep(x);
    });
    std::mt19937 twister(1);
    double std_draw = ns_per_op(draws, [&] {
        uint32_t x = 0;
        for (int64_t i = 0; i < draws; ++i) x ^= static_cast<uint32_t>(twister());
        keep(x);
    });
    report("random_draw (a full batch) vs std::mt19937", rt_draw, std_draw);
    return 0;
}
