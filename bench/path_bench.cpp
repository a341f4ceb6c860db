// Figures for path_find on a 1024 x 1024 grid with a quarter of its cells walls, toward a
// reachable goal and toward a walled-in one, against a plain binary-heap A* over the same grid
// and the same normalised costs. Prints milliseconds (best of five rounds, the median in
// brackets), the ratio path_find / heap (lower is better), and whether the path costs agree.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <queue>
#include <random>
#include <vector>

#include "runtime/path/path.h"
#include "runtime/runtime.h"

#ifndef RT_BUILD_TYPE
#define RT_BUILD_TYPE "unknown build type"
#endif

namespace {

constexpr int32_t kSide = 1024;

struct Timing {
    double best = 0;    // ms
    double median = 0;  // ms
};

Timing time_rounds(const std::function<void()>& body) {
    std::vector<double> ms;
    for (int round = 0; round < 5; ++round) {
        const auto t0 = std::chrono::steady_clock::now();
        body();
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2]};
}

// The same normalisation as the planner: walls -1, passable cells value / largest + 1.
std::vector<float> normalised(const double* grid, size_t cells) {
    std::vector<float> cost(cells);
    float largest = 0;
    for (size_t i = 0; i < cells; ++i) {
        cost[i] = grid[i] > 0 ? static_cast<float>(grid[i]) : -1.0f;
        largest = std::max(largest, cost[i]);
    }
    for (float& c : cost) {
        if (c > 0) c = c / largest + 1;
    }
    return cost;
}

// Plain A* with a binary heap, straight steps, Manhattan distance; cells of the path from the
// start to the goal into path (empty without one).
void heap_astar(const double* grid, int32_t width, int32_t height, int32_t sx, int32_t sy, int32_t gx, int32_t gy,
                std::vector<int32_t>& path) {
    const size_t cells = static_cast<size_t>(width) * static_cast<size_t>(height);
    const std::vector<float> cost = normalised(grid, cells);
    std::vector<float> g(cells, INFINITY);
    std::vector<int32_t> parent(cells, -1);
    std::vector<uint8_t> closed(cells, 0);
    using Entry = std::pair<float, int32_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> open;
    const int32_t start = sy * width + sx;
    const int32_t goal = gy * width + gx;
    g[start] = 0;
    open.push({0, start});
    path.clear();
    while (!open.empty()) {
        const int32_t i = open.top().second;
        open.pop();
        if (closed[i]) continue;
        closed[i] = 1;
        if (i == goal) {
            for (int32_t c = goal; c >= 0; c = parent[c]) path.push_back(c);
            std::reverse(path.begin(), path.end());
            return;
        }
        const int32_t x = i % width;
        const int32_t y = i / width;
        const int32_t dx[4] = {0, 1, -1, 0};
        const int32_t dy[4] = {-1, 0, 0, 1};
        for (int k = 0; k < 4; ++k) {
            const int32_t nx = x + dx[k];
            const int32_t ny = y + dy[k];
            if (nx < 0 || nx >= width || ny < 0 || ny >= height) continue;
            const int32_t n = ny * width + nx;
            if (cost[n] < 0 || closed[n]) continue;
            const float ng = g[i] + cost[n];
            if (ng < g[n]) {
                g[n] = ng;
                parent[n] = i;
                open.push({ng + static_cast<float>(std::abs(gx - nx) + std::abs(gy - ny)), n});
            }
        }
    }
}

double path_cost(const std::vector<float>& cost, const std::vector<int32_t>& cells) {
    double sum = 0;
    for (size_t i = 1; i < cells.size(); ++i) sum += cost[static_cast<size_t>(cells[i])];
    return sum;
}

void run(const char* what, const RtArray<double>& map, int32_t gx, int32_t gy) {
    const size_t cells = static_cast<size_t>(kSide) * kSide;
    const std::vector<float> cost = normalised(map.data(), cells);
    RtArray<int32_t> path;
    int32_t n = 0;
    const Timing runtime = time_rounds([&] { n = path_find(map, path, 0.5, 0, 0, gx, gy); });
    std::vector<int32_t> heap_path;
    const Timing heap = time_rounds([&] { heap_astar(map.data(), kSide, kSide, 0, 0, gx, gy, heap_path); });

    std::vector<int32_t> runtime_path;
    for (int32_t i = 0; i < n; ++i) runtime_path.push_back(path.at(i, 1, 0, 0) * kSide + path.at(i, 0, 0, 0));
    const double a = path_cost(cost, runtime_path);
    const double b = path_cost(cost, heap_path);
    const bool agree =
        runtime_path.size() == 0 ? heap_path.empty() : !heap_path.empty() && std::abs(a - b) <= 1e-5 * std::max(a, b);
    std::printf("%-22s path_find %8.2f ms (%8.2f)   heap A* %8.2f ms (%8.2f)   ratio %5.2f\n", what, runtime.best,
                runtime.median, heap.best, heap.median, runtime.best / heap.best);
    std::printf("%-22s cells %d / %zu, cost %.4f / %.4f: %s\n", "", n, heap_path.size(), a, b,
                agree ? "costs agree" : "COSTS DIFFER");
}

}  // namespace

int main() {
    std::printf("build      %s\n", RT_BUILD_TYPE);
    std::mt19937 random(20261208);
    RtArray<double> map;
    map.dim(kSide, kSide, 0, 0);
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            map.at(x, y, 0, 0) = random() % 4 == 0 ? 0.0 : static_cast<double>(1 + random() % 9);
        }
    }
    map.at(0, 0, 0, 0) = 1;
    map.at(kSide - 1, kSide - 1, 0, 0) = 1;
    std::printf("grid       %d x %d, 25 %% walls, passable cells 1 to 9, from (0,0)\n", kSide, kSide);
    run("to (1023,1023)", map, kSide - 1, kSide - 1);

    // The goal walled in: both searches visit every cell they can reach.
    const int32_t g = kSide / 2;
    map.at(g - 1, g, 0, 0) = 0;
    map.at(g + 1, g, 0, 0) = 0;
    map.at(g, g - 1, 0, 0) = 0;
    map.at(g, g + 1, 0, 0) = 0;
    map.at(g, g, 0, 0) = 1;
    run("unreachable (512,512)", map, g, g);
    return 0;
}
