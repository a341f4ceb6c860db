// Path finding: the command's results on small grids, its three forms, paths on random grids
// against a slow reference search with the same ordering rules, and the planner's containers.
#include "runtime/path/path.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <queue>
#include <random>
#include <vector>

#include "runtime/arrays/rt_array.h"
#include "runtime/path/planner.h"

namespace {

using Cells = std::vector<std::pair<int32_t, int32_t>>;

RtArray<double> make_map(int32_t width, int32_t height, const std::vector<double>& values) {
    RtArray<double> map;
    map.dim(width, height, 0, 0);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) map.at(x, y, 0, 0) = values[static_cast<size_t>(y * width + x)];
    }
    return map;
}

template <typename T>
Cells cells_of(const RtArray<T>& path) {
    Cells out;
    for (int32_t i = 0; i < path.size(0); ++i) {
        out.emplace_back(static_cast<int32_t>(path.at(i, 0, 0, 0)), static_cast<int32_t>(path.at(i, 1, 0, 0)));
    }
    return out;
}

// ---- the reference: every rule spelled out, no clever containers ----

struct RefResult {
    Cells path;
    double cost = 0;  // sum of the normalised entry costs along the path
};

// Normalised costs: walls -1, passable cells value / largest + 1, in single precision. Empty
// when no cell is passable.
std::vector<float> ref_costs(const std::vector<double>& grid) {
    std::vector<float> cost(grid.size());
    float largest = 0;
    for (size_t i = 0; i < grid.size(); ++i) {
        cost[i] = grid[i] > 0 ? static_cast<float>(grid[i]) : -1.0f;
        largest = std::max(largest, cost[i]);
    }
    if (largest == 0) return {};
    for (float& c : cost) {
        if (c > 0) c = c / largest + 1;
    }
    return cost;
}

RefResult ref_search(const std::vector<double>& grid, int32_t width, int32_t height, float weight, int32_t sx,
                     int32_t sy, int32_t gx, int32_t gy, bool diagonals) {
    const std::vector<float> cost = ref_costs(grid);
    if (cost.empty()) return {};
    struct Cell {
        int state = 0;  // 0 unseen, 1 open, 2 closed
        int parent = -1;
        float f = 0;
        float g = 0;
        int64_t entered = 0;  // when it last entered the open list
    };
    std::vector<Cell> cells(grid.size());
    int64_t clock = 0;
    auto at = [&](int32_t x, int32_t y) { return y * width + x; };
    cells[at(sx, sy)] = Cell{1, -1, 0, 0, clock++};
    const int dx[8] = {-1, 0, 1, 1, -1, -1, 0, 1};
    const int dy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
    for (;;) {
        // The open cell of least f; among equal f the one that entered first.
        int best = -1;
        for (int i = 0; i < static_cast<int>(cells.size()); ++i) {
            if (cells[i].state != 1) continue;
            if (best < 0 || cells[i].f < cells[best].f ||
                (cells[i].f == cells[best].f && cells[i].entered < cells[best].entered)) {
                best = i;
            }
        }
        if (best < 0) return {};
        const int32_t x = best % width;
        const int32_t y = best / width;
        if (x == gx && y == gy) break;
        for (int k = 0; k < 8; ++k) {
            const bool diagonal = dx[k] != 0 && dy[k] != 0;
            if (diagonal && !diagonals) continue;
            const int32_t nx = x + dx[k];
            const int32_t ny = y + dy[k];
            if (nx < 0 || nx >= width || ny < 0 || ny >= height || cost[at(nx, ny)] == -1) continue;
            const float c = cost[at(nx, ny)];
            const float g = diagonal ? cells[best].g + c * rt::kDiagonalStep : cells[best].g + c;
            const float h = static_cast<float>(std::abs(gx - nx) + std::abs(gy - ny));
            const float f = g + weight * (h - g);
            Cell& n = cells[at(nx, ny)];
            if (n.state != 0 && n.g <= g) continue;
            n = Cell{1, best, f, g, clock++};
        }
        cells[best].state = 2;
    }
    RefResult result;
    for (int i = at(gx, gy); i >= 0; i = cells[i].parent) {
        result.path.insert(result.path.begin(), {i % width, i / width});
        if (cells[i].parent >= 0) result.cost += cost[i];
    }
    return result;
}

// Cheapest cost by Dijkstra in double precision over the same normalised costs.
double cheapest(const std::vector<double>& grid, int32_t width, int32_t height, int32_t sx, int32_t sy, int32_t gx,
                int32_t gy) {
    const std::vector<float> cost = ref_costs(grid);
    std::vector<double> best(grid.size(), INFINITY);
    using Entry = std::pair<double, int>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
    best[sy * width + sx] = 0;
    queue.push({0, sy * width + sx});
    while (!queue.empty()) {
        auto [d, i] = queue.top();
        queue.pop();
        if (d > best[i]) continue;
        const int x = i % width, y = i / width;
        const int dx[4] = {0, 1, -1, 0}, dy[4] = {-1, 0, 0, 1};
        for (int k = 0; k < 4; ++k) {
            const int nx = x + dx[k], ny = y + dy[k];
            if (nx < 0 || nx >= width || ny < 0 || ny >= height || cost[ny * width + nx] < 0) continue;
            const double nd = d + cost[ny * width + nx];
            if (nd < best[ny * width + nx]) {
                best[ny * width + nx] = nd;
                queue.push({nd, ny * width + nx});
            }
        }
    }
    return best[gy * width + gx];
}

// ---- the command ----

TEST(PathFind, SmallGrids) {
    const std::vector<double> ones25(25, 1.0);
    std::vector<double> walled = ones25;
    for (int y = 0; y < 5; ++y) walled[y * 5 + 3] = 0;  // column 3 is a wall
    struct Case {
        const char* name;
        int32_t width, height;
        std::vector<double> values;
        double weight;
        int32_t sx, sy, gx, gy;
        int32_t expected;
        Cells path;           // expected cells when not empty
        bool path_untouched;  // the set-up refused: the old path stays
    };
    const Case cases[] = {
        {"3x1 line", 3, 1, {1, 1, 1}, 0.5, 0, 0, 2, 0, 3, {{0, 0}, {1, 0}, {2, 0}}, false},
        {"start is goal", 3, 1, {1, 1, 1}, 0.5, 1, 0, 1, 0, 0, {}, true},
        {"all zeros", 3, 1, {0, 0, 0}, 0.5, 0, 0, 2, 0, 0, {}, true},
        {"negative and not-a-number only", 3, 1, {-1, NAN, -5}, 0.5, 0, 0, 2, 0, 0, {}, true},
        {"goal at the width", 3, 1, {1, 1, 1}, 0.5, 0, 0, 3, 0, 0, {}, true},
        {"start left of the grid", 3, 1, {1, 1, 1}, 0.5, -1, 0, 2, 0, 0, {}, true},
        {"goal below the grid", 3, 1, {1, 1, 1}, 0.5, 0, 0, 2, 1, 0, {}, true},
        {"goal behind a wall", 5, 5, walled, 0.5, 0, 0, 4, 2, 0, {}, false},
        {"goal is a wall", 3, 1, {1, 1, 0}, 0.5, 0, 0, 2, 0, 0, {}, false},
        {"start may be a wall", 3, 1, {0, 1, 1}, 0.5, 0, 0, 2, 0, 3, {{0, 0}, {1, 0}, {2, 0}}, false},
        // entering the 2 costs 2 against 1.5 for a 1: the route through (0,1) is cheaper
        {"costly cell avoided", 2, 2, {1, 2, 1, 1}, 0.5, 0, 0, 1, 1, 3, {{0, 0}, {0, 1}, {1, 1}}, false},
        {"costly cell avoided, mirrored", 2, 2, {1, 1, 2, 1}, 0.5, 0, 0, 1, 1, 3, {{0, 0}, {1, 0}, {1, 1}}, false},
        {"open 5x5, straight steps only", 5, 5, ones25, 0.5, 0, 0, 4, 4, 9, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RtArray<double> map = make_map(c.width, c.height, c.values);
        RtArray<int32_t> path;
        path.dim(1, 2, 0, 0);
        path.at(0, 0, 0, 0) = 77;
        const int32_t n = path_find(map, path, c.weight, c.sx, c.sy, c.gx, c.gy);
        EXPECT_EQ(n, c.expected);
        if (c.path_untouched) {
            EXPECT_EQ(path.size(0), 1);
            EXPECT_EQ(path.at(0, 0, 0, 0), 77);
            continue;
        }
        EXPECT_EQ(path.size(0), n);
        if (n == 0) continue;
        EXPECT_EQ(path.size(1), 2);
        const Cells got = cells_of(path);
        if (!c.path.empty()) {
            EXPECT_EQ(got, c.path);
        }
        EXPECT_EQ(got.front(), std::make_pair(c.sx, c.sy));
        EXPECT_EQ(got.back(), std::make_pair(c.gx, c.gy));
        for (size_t i = 1; i < got.size(); ++i) {
            EXPECT_EQ(std::abs(got[i].first - got[i - 1].first) + std::abs(got[i].second - got[i - 1].second), 1);
        }
    }
}

TEST(PathFind, WeightOutsideZeroToOneIsLimited) {
    std::mt19937 random(7);
    std::vector<double> values(16 * 12);
    for (double& v : values) v = random() % 4 == 0 ? 0 : 1 + random() % 9;
    values[0] = values.back() = 5;
    const RtArray<double> map = make_map(16, 12, values);
    const std::pair<double, double> pairs[] = {{-3, 0}, {7, 1}, {NAN, 0}};
    for (auto [outside, inside] : pairs) {
        RtArray<int32_t> a, b;
        EXPECT_EQ(path_find(map, a, outside, 0, 0, 15, 11), path_find(map, b, inside, 0, 0, 15, 11));
        EXPECT_EQ(cells_of(a), cells_of(b));
    }
}

TEST(PathFind, ThreeForms) {
    std::vector<double> values(8 * 6, 3);
    for (int y = 0; y < 5; ++y) values[y * 8 + 4] = 0;  // a wall with a gap at the bottom
    values[2 * 8 + 2] = 9;
    const RtArray<double> map = make_map(8, 6, values);
    RtArray<int32_t> int_map;
    int_map.dim(8, 6, 0, 0);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) int_map.at(x, y, 0, 0) = static_cast<int32_t>(values[y * 8 + x]);
    }
    RtArray<int32_t> ints;
    RtArray<double> reals;
    RtArray<int32_t> from_int_map;
    const int32_t n = path_find(map, ints, 0.5, 0, 0, 7, 0);
    EXPECT_GT(n, 0);
    EXPECT_EQ(path_find(map, reals, 0.5, 0, 0, 7, 0), n);
    EXPECT_EQ(path_find(int_map, from_int_map, 0.5, 0, 0, 7, 0), n);
    EXPECT_EQ(cells_of(reals), cells_of(ints));
    EXPECT_EQ(cells_of(from_int_map), cells_of(ints));
    EXPECT_EQ(reals.size(1), 2);

    // The real form is emptied even when the set-up refuses; the integer form is left alone.
    EXPECT_EQ(path_find(map, reals, 0.5, 0, 0, 8, 0), 0);
    EXPECT_EQ(reals.size(0), 0);
    EXPECT_EQ(path_find(int_map, from_int_map, 0.5, 0, 0, 0, 0), 0);
    EXPECT_EQ(from_int_map.size(0), n);

    // Maps that hold no grid: never dimensioned, one-dimensional, emptied.
    RtArray<double> none;
    RtArray<double> line;
    line.dim(5, 0, 0, 0);
    EXPECT_EQ(path_find(none, ints, 0.5, 0, 0, 1, 0), 0);
    EXPECT_EQ(path_find(line, ints, 0.5, 0, 0, 1, 0), 0);
    EXPECT_EQ(ints.size(0), n);
}

TEST(PathFind, RandomGridsMatchTheReference) {
    std::mt19937 random(12345);
    const float weights[] = {0, 0.25f, 0.5f, 0.75f, 1};
    int found = 0;
    for (int round = 0; round < 400; ++round) {
        const int32_t width = 1 + static_cast<int32_t>(random() % 20);
        const int32_t height = 1 + static_cast<int32_t>(random() % 20);
        const unsigned wall_share = random() % 50;  // percent
        std::vector<double> values(static_cast<size_t>(width * height));
        for (double& v : values) {
            if (random() % 100 < wall_share) {
                v = -static_cast<double>(random() % 3);
            } else {
                v = round % 2 ? 1 + random() % 9 : 0.01 + (random() % 100000) / 1000.0;  // ties and near-ties
            }
        }
        const int32_t sx = random() % width, sy = random() % height;
        const int32_t gx = random() % width, gy = random() % height;
        const float weight = weights[random() % 5];
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << width << "x" << height << ", weight "
                                        << weight);
        const RtArray<double> map = make_map(width, height, values);
        RtArray<int32_t> path;
        const int32_t n = path_find(map, path, weight, sx, sy, gx, gy);
        if (sx == gx && sy == gy) {
            EXPECT_EQ(n, 0);
            continue;
        }
        const RefResult ref = ref_search(values, width, height, weight, sx, sy, gx, gy, false);
        ASSERT_EQ(cells_of(path), ref.path);
        ASSERT_EQ(n, static_cast<int32_t>(ref.path.size()));
        if (n > 0) {
            ++found;
            // With weight up to 0.5 the order never overestimates: the path is a cheapest one.
            if (weight <= 0.5f) {
                EXPECT_NEAR(ref.cost, cheapest(values, width, height, sx, sy, gx, gy), 1e-3);
            }
        }
    }
    EXPECT_GT(found, 100);
}

// ---- the planner framework ----

TEST(Planner, DiagonalsAndRepeatedSearchesMatchTheReference) {
    std::mt19937 random(99);
    for (int round = 0; round < 60; ++round) {
        const int32_t width = 2 + static_cast<int32_t>(random() % 14);
        const int32_t height = 2 + static_cast<int32_t>(random() % 14);
        std::vector<double> values(static_cast<size_t>(width * height));
        for (double& v : values) v = random() % 4 == 0 ? 0 : 1 + random() % 5;
        rt::PlannerParams params;
        params.start_x = 0;
        params.start_y = 0;
        params.goal_x = width - 1;
        params.goal_y = height - 1;
        params.diagonal_sqrt2 = 1;
        params.diagonal_moves = 1;
        params.closed_bits = static_cast<int32_t>(random() % 12);  // any size of table gives the same path
        params.weight = round % 3 * 0.5f;
        params.width = width;
        params.height = height;
        params.grid = values.data();
        rt::AStarPlanner planner;
        ASSERT_TRUE(planner.setup(params));
        const RefResult ref = ref_search(values, width, height, params.weight, 0, 0, width - 1, height - 1, true);
        for (int repeat = 0; repeat < 2; ++repeat) {
            planner.begin_search();
            EXPECT_FALSE(planner.finished());
            EXPECT_TRUE(planner.search());
            EXPECT_TRUE(planner.finished());
            Cells got;
            for (const rt::Node* n = planner.path_head(); n != nullptr; n = n->parent) {
                got.insert(got.begin(), {n->x, n->y});
            }
            EXPECT_EQ(got, ref.path) << "round " << round << ", search " << repeat;
            planner.reset();
            EXPECT_EQ(planner.path_head(), nullptr);
        }
    }
}

TEST(Planner, RefusedSetUpLeavesThePlannerAsItWas) {
    std::vector<double> values = {1, 1, 1, 1};
    rt::PlannerParams params;
    params.goal_x = 1;
    params.goal_y = 1;
    params.width = 2;
    params.height = 2;
    params.grid = values.data();
    params.weight = 0.5f;
    rt::AStarPlanner planner;
    planner.begin_search();  // before any set-up: nothing to search
    EXPECT_TRUE(planner.search());
    EXPECT_EQ(planner.path_head(), nullptr);
    ASSERT_TRUE(planner.setup(params));

    std::vector<double> big(100 * 100, 0.0);
    rt::PlannerParams refused = params;
    refused.width = refused.height = 100;
    refused.grid = big.data();  // no passable cell
    EXPECT_FALSE(planner.setup(refused));
    refused.grid = nullptr;
    EXPECT_FALSE(planner.setup(refused));
    refused = params;
    refused.width = 1 << 20;
    refused.height = 1 << 20;  // more cells than the planner takes
    EXPECT_FALSE(planner.setup(refused));
    EXPECT_EQ(planner.params().width, 2);

    planner.begin_search();
    planner.search();
    int n = 0;
    for (const rt::Node* node = planner.path_head(); node != nullptr; node = node->parent) ++n;
    EXPECT_EQ(n, 3);
    EXPECT_FLOAT_EQ(planner.cost_at(1, 1), 2.0f);
    EXPECT_EQ(planner.cost_at(2, 0), -1.0f);
    // A second begin_search without reset starts over instead of losing the pool's nodes.
    planner.begin_search();
    planner.search();
    EXPECT_NE(planner.path_head(), nullptr);
    planner.reset();
    planner.begin_search();
    planner.search();
    EXPECT_NE(planner.path_head(), nullptr);
}

TEST(Planner, SmallPoolOrOpenListEndsWithoutPathInsteadOfFailing) {
    std::vector<double> values(10 * 10, 1.0);
    for (int32_t pool : {1, 2, 5, 0}) {
        for (int32_t open : {1, 3, 0}) {
            rt::PlannerParams params;
            params.goal_x = params.goal_y = 9;
            params.pool_size = pool;
            params.open_capacity = open;
            params.closed_bits = 8;
            params.weight = 0.5f;
            params.width = params.height = 10;
            params.grid = values.data();
            rt::AStarPlanner planner;
            ASSERT_TRUE(planner.setup(params));
            planner.begin_search();
            EXPECT_TRUE(planner.search());
            EXPECT_EQ(planner.path_head() != nullptr, pool == 0) << pool << " " << open;
            planner.reset();
        }
    }
}

TEST(FixedDeque, RandomOperationsMatchAPlainDeque) {
    std::mt19937 random(5);
    for (int32_t capacity : {0, 1, 2, 7, 16}) {
        rt::FixedDeque<int> q;
        ASSERT_TRUE(q.init(capacity));
        std::deque<int> model;
        for (int step = 0; step < 4000; ++step) {
            const int value = step;
            const bool room = static_cast<int32_t>(model.size()) < capacity;
            const int32_t at = static_cast<int32_t>(random() % (model.size() + 2));  // one beyond the size too
            switch (random() % 6) {
                case 0:
                    ASSERT_EQ(q.push_back(value), room);
                    if (room) model.push_back(value);
                    break;
                case 1:
                    ASSERT_EQ(q.push_front(value), room);
                    if (room) model.push_front(value);
                    break;
                case 2:
                case 3: {
                    const bool fits = room && at <= static_cast<int32_t>(model.size());
                    ASSERT_EQ(q.insert(at, value), fits);
                    if (fits) model.insert(model.begin() + at, value);
                    break;
                }
                case 4: {
                    const bool inside = at < static_cast<int32_t>(model.size());
                    ASSERT_EQ(q.erase(at), inside);
                    if (inside) model.erase(model.begin() + at);
                    break;
                }
                default:
                    ASSERT_EQ(q.pop_back(), !model.empty());
                    if (!model.empty()) model.pop_back();
            }
            ASSERT_EQ(q.size(), static_cast<int32_t>(model.size()));
            for (int32_t i = 0; i < q.size(); ++i) ASSERT_EQ(q.at(i), model[static_cast<size_t>(i)]) << step;
        }
    }
}

TEST(NodeHashTable, BitsInsertFindUnlink) {
    rt::NodeHashTable table;
    const std::pair<int32_t, int32_t> bits[] = {{8, 8}, {9, 8}, {1, 0}, {-4, 0}};
    for (auto [asked, got] : bits) {
        ASSERT_TRUE(table.init(asked));
        EXPECT_EQ(table.bits(), got) << asked;
    }
    EXPECT_EQ(rt::closed_bits_for(3), 8);
    EXPECT_EQ(rt::closed_bits_for(1024 * 1024), 20);
    EXPECT_EQ(rt::closed_bits_for(int64_t{1} << 40), 24);
    ASSERT_TRUE(table.init(8));
    rt::Node a{nullptr, 1, 2, 0, 0, nullptr};
    rt::Node b{nullptr, 17, 18, 0, 0, nullptr};  // same bucket as a with 8 bits
    rt::Node c{nullptr, 3, 2, 0, 0, nullptr};
    table.insert(&a);
    table.insert(&b);
    table.insert(&a);  // already there: nothing happens
    table.insert(&c);
    EXPECT_EQ(table.count(), 3);
    EXPECT_EQ(table.find(1, 2), &a);
    table.unlink_found();
    EXPECT_EQ(table.find(1, 2), nullptr);
    EXPECT_EQ(table.find(17, 18), &b);
    EXPECT_EQ(table.count(), 2);
    table.unlink_found();
    table.unlink_found();  // nothing left to unlink
    EXPECT_EQ(table.count(), 1);
    table.clear();
    EXPECT_EQ(table.find(3, 2), nullptr);
}

}  // namespace
