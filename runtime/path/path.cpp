// The path-finding command in its three forms: one planner per call, built over the caller's
// grid, searched once and destroyed.
#include "runtime/path/path.h"

#include <algorithm>
#include <new>
#include <vector>

#include "runtime/path/planner.h"

namespace rt {

namespace {

// Width and height of a map array, or false when it holds no two-dimensional grid the planner
// can take.
template <typename T>
bool map_shape(const RtArray<T>& map, int32_t& width, int32_t& height) {
    width = map.size(0);
    height = map.size(1);
    if (map.data() == nullptr || width <= 0 || height <= 0) return false;
    const int64_t cells = int64_t{width} * height;
    return cells <= map.count() && cells <= kPlannerMaxCells;
}

// Whether an array of kind T can be dimensioned to [n][2].
template <typename T>
bool path_fits(int32_t n) {
    ArrayShape shape;
    return array_shape(n, 2, 0, 0, ArrayKind<T>::step, sizeof(T), shape);
}

int32_t path_find_grid(const double* grid, int32_t width, int32_t height, double weight, int32_t start_x,
                       int32_t start_y, int32_t goal_x, int32_t goal_y, RtArray<int32_t>& path) {
    AStarPlanner planner;
    PlannerParams params;
    params.start_x = start_x;
    params.start_y = start_y;
    params.goal_x = goal_x;
    params.goal_y = goal_y;
    params.diagonal_sqrt2 = 1;
    params.diagonal_moves = 0;
    // A bucket per cell, so that closed set lookups stay short on large maps.
    params.closed_bits = closed_bits_for(int64_t{width} * height);
    params.weight = !(weight > 0) ? 0.0f : weight < 1 ? static_cast<float>(weight) : 1.0f;
    params.width = width;
    params.height = height;
    params.grid = grid;
    if (!planner.setup(params)) return 0;
    planner.begin_search();
    planner.search();

    int32_t n = 0;
    for (const Node* node = planner.path_head(); node != nullptr; node = node->parent) ++n;
    if (n == 0 || !path_fits<int32_t>(n)) {
        path.redim(0, 0, 0, 0);
        return 0;
    }
    path.redim(n, 2, 0, 0);
    int32_t row = n - 1;
    for (const Node* node = planner.path_head(); node != nullptr; node = node->parent, --row) {
        path.at(row, 0, 0, 0) = node->x;
        path.at(row, 1, 0, 0) = node->y;
    }
    planner.reset();
    return n;
}

}  // namespace

}  // namespace rt

int32_t path_find(const RtArray<double>& map, RtArray<int32_t>& path, double weight, int32_t start_x, int32_t start_y,
                  int32_t goal_x, int32_t goal_y) {
    int32_t width = 0;
    int32_t height = 0;
    if (!rt::map_shape(map, width, height)) return 0;
    return rt::path_find_grid(map.data(), width, height, weight, start_x, start_y, goal_x, goal_y, path);
}

int32_t path_find(const RtArray<double>& map, RtArray<double>& path, double weight, int32_t start_x, int32_t start_y,
                  int32_t goal_x, int32_t goal_y) {
    RtArray<int32_t> cells;
    int32_t n = path_find(map, cells, weight, start_x, start_y, goal_x, goal_y);
    if (!rt::path_fits<double>(n)) n = 0;
    path.redim(n, 2, 0, 0);
    for (int32_t i = 0; i < n; ++i) {
        path.at(i, 0, 0, 0) = cells.at(i, 0, 0, 0);
        path.at(i, 1, 0, 0) = cells.at(i, 1, 0, 0);
    }
    return n;
}

int32_t path_find(const RtArray<int32_t>& map, RtArray<int32_t>& path, double weight, int32_t start_x, int32_t start_y,
                  int32_t goal_x, int32_t goal_y) {
    int32_t width = 0;
    int32_t height = 0;
    if (!rt::map_shape(map, width, height)) return 0;
    std::vector<double> grid;
    try {
        grid.assign(map.data(), map.data() + int64_t{width} * height);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return rt::path_find_grid(grid.data(), width, height, weight, start_x, start_y, goal_x, goal_y, path);
}
