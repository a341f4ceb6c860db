// The grid path planner: node pool, closed table, set-up of the cost map, and the A* search
// with its fixed neighbour order and open list ordering.
#include "runtime/path/planner.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace rt {

namespace {

// Weight limited to 0..1; a weight that is not a number counts as 0.
float weight_limited(float weight) noexcept {
    if (!(weight > 0)) return 0;
    return weight < 1 ? weight : 1;
}

}  // namespace

// ---- NodeFactory ----

bool NodeFactory::init(int32_t n) noexcept {
    if (n == 0) return true;
    if (n < 0) return false;
    std::unique_ptr<Node[]> nodes(new (std::nothrow) Node[static_cast<size_t>(n)]);
    if (!nodes) return false;
    nodes_ = std::move(nodes);
    count_ = n;
    next_ = 0;
    return true;
}

// ---- NodeHashTable ----

bool NodeHashTable::init(int32_t bits) noexcept {
    bits = std::clamp(bits, 0, kMaxBits) & ~1;
    std::unique_ptr<Node*[]> buckets(new (std::nothrow) Node*[size_t{1} << bits]());
    if (!buckets) return false;
    buckets_ = std::move(buckets);
    bits_ = bits;
    found_link_ = nullptr;
    return true;
}

void NodeHashTable::insert(Node* node) noexcept {
    if (!buckets_ || node == nullptr) return;
    Node*& head = buckets_[bucket_of(node->x, node->y)];
    for (Node* n = head; n != nullptr; n = n->next) {
        if (n == node) return;
    }
    node->next = head;
    head = node;
}

Node* NodeHashTable::find(int32_t x, int32_t y) noexcept {
    found_link_ = nullptr;
    if (!buckets_) return nullptr;
    for (Node** link = &buckets_[bucket_of(x, y)]; *link != nullptr; link = &(*link)->next) {
        if ((*link)->x == x && (*link)->y == y) {
            found_link_ = link;
            return *link;
        }
    }
    return nullptr;
}

void NodeHashTable::unlink_found() noexcept {
    if (found_link_ == nullptr || *found_link_ == nullptr) return;
    Node* node = *found_link_;
    *found_link_ = node->next;
    node->next = nullptr;
    found_link_ = nullptr;
}

void NodeHashTable::clear() noexcept {
    if (buckets_) std::fill_n(buckets_.get(), size_t{1} << bits_, nullptr);
    found_link_ = nullptr;
}

int64_t NodeHashTable::count() const noexcept {
    if (!buckets_) return 0;
    int64_t n = 0;
    const size_t buckets = size_t{1} << bits_;
    for (size_t b = 0; b < buckets; ++b) {
        for (const Node* node = buckets_[b]; node != nullptr; node = node->next) ++n;
    }
    return n;
}

int32_t closed_bits_for(int64_t cells) noexcept {
    int32_t bits = 8;
    while (bits < NodeHashTable::kMaxBits && (int64_t{1} << bits) < cells) bits += 2;
    return bits;
}

// ---- Planner ----

bool Planner::setup(const PlannerParams& params) noexcept {
    const PlannerParams& p = params;
    if (p.grid == nullptr || p.width <= 0 || p.height <= 0) return false;
    const int64_t cells = int64_t{p.width} * p.height;
    if (cells > kPlannerMaxCells) return false;
    if (p.start_x < 0 || p.start_x >= p.width || p.start_y < 0 || p.start_y >= p.height) return false;
    if (p.goal_x < 0 || p.goal_x >= p.width || p.goal_y < 0 || p.goal_y >= p.height) return false;
    if (p.start_x == p.goal_x && p.start_y == p.goal_y) return false;

    // Everything is built aside and taken over only when all of it succeeded.
    std::unique_ptr<float[]> cost(new (std::nothrow) float[static_cast<size_t>(cells)]);
    if (!cost) return false;
    float largest = 0;
    for (int64_t i = 0; i < cells; ++i) {
        const double v = p.grid[i];
        if (!(v > 0)) {  // zero, negative and not-a-number cells are walls
            cost[i] = -1;
            continue;
        }
        // Kept inside the float range: huge values saturate, tiny ones stay positive.
        float c = v >= static_cast<double>(FLT_MAX) ? FLT_MAX : static_cast<float>(v);
        if (c == 0) c = std::numeric_limits<float>::denorm_min();
        cost[i] = c;
        largest = std::max(largest, c);
    }
    if (largest == 0) return false;
    for (int64_t i = 0; i < cells; ++i) {
        if (cost[i] > 0) cost[i] = cost[i] / largest + 1;
    }

    const int32_t all = static_cast<int32_t>(cells);
    const int32_t pool_size = p.pool_size <= 0 ? all : std::min(p.pool_size, all);
    const int32_t open_capacity = p.open_capacity <= 0 ? all : std::min(p.open_capacity, all);
    NodeFactory pool;
    FixedDeque<Node*> open;
    NodeHashTable closed;
    std::unique_ptr<Node*[]> open_at(new (std::nothrow) Node*[static_cast<size_t>(cells)]());
    if (!open_at || !pool.init(pool_size) || !open.init(open_capacity) || !closed.init(p.closed_bits)) return false;

    cost_map_ = std::move(cost);
    pool_ = std::move(pool);
    open_ = std::move(open);
    closed_ = std::move(closed);
    open_at_ = std::move(open_at);
    params_ = p;
    params_.pool_size = pool_size;
    params_.open_capacity = open_capacity;
    params_.closed_bits = closed_.bits();
    params_.weight = weight_limited(p.weight);
    search_count_ = 0;
    path_head_ = nullptr;
    finished_ = 1;
    return true;
}

void Planner::begin_search() noexcept {
    if (pool_.in_use() > 0) reset();  // a search left unfinished gives its nodes back first
    finished_ = 0;
    search_count_ = 0;
    path_head_ = nullptr;
}

void Planner::reset() noexcept {
    const int64_t open_nodes = open_.size();
    for (int32_t i = 0; i < open_.size(); ++i) {
        const Node* node = open_.at(i);
        open_at_[static_cast<size_t>(node->y) * static_cast<size_t>(params_.width) + static_cast<size_t>(node->x)] =
            nullptr;
    }
    const int64_t in_lists = open_nodes + closed_.count();
    pool_.give_back(static_cast<int32_t>(std::min<int64_t>(in_lists, pool_.in_use())));
    open_.clear();
    closed_.clear();
    path_head_ = nullptr;
    finished_ = 1;
}

float Planner::cost_at(int32_t x, int32_t y) const noexcept {
    if (!cost_map_ || x < 0 || x >= params_.width || y < 0 || y >= params_.height) return -1;
    return cost_map_[static_cast<size_t>(y) * static_cast<size_t>(params_.width) + static_cast<size_t>(x)];
}

// ---- AStarPlanner ----

void AStarPlanner::begin_search() noexcept {
    Planner::begin_search();
    Node* start = pool_.take();
    if (start == nullptr) return;  // not set up
    *start = Node{nullptr, params_.start_x, params_.start_y, 0, 0, nullptr};
    if (!open_.push_back(start)) {
        pool_.give_back(1);
        return;
    }
    open_at_[static_cast<size_t>(start->y) * static_cast<size_t>(params_.width) + static_cast<size_t>(start->x)] =
        start;
}

int32_t AStarPlanner::open_first_not_above(float f) const noexcept {
    // The list is sorted by f, descending: the first position whose f is <= the given one.
    int32_t lo = 0;
    int32_t hi = open_.size();
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (open_.at(mid)->f <= f) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return lo;
}

bool AStarPlanner::open_insert(Node* node) noexcept { return open_.insert(open_first_not_above(node->f), node); }

int32_t AStarPlanner::open_position(const Node* node) const noexcept {
    const int32_t lo = open_first_not_above(node->f);
    for (int32_t i = lo; i < open_.size() && !(open_.at(i)->f < node->f); ++i) {
        if (open_.at(i) == node) return i;
    }
    for (int32_t i = open_.size() - 1; i >= 0; --i) {  // not where its f says: walk the whole list
        if (open_.at(i) == node) return i;
    }
    return -1;
}

void AStarPlanner::visit(Node* from, int32_t x, int32_t y, bool diagonal) noexcept {
    const size_t cell = static_cast<size_t>(y) * static_cast<size_t>(params_.width) + static_cast<size_t>(x);
    const float c = cost_map_[cell];
    if (c < 0) return;  // wall
    const float step = params_.diagonal_sqrt2 ? kDiagonalStep : 1.0f;
    const float g = diagonal ? from->g + c * step : from->g + c;
    const float h = static_cast<float>(std::abs(params_.goal_x - x) + std::abs(params_.goal_y - y));
    const float f = g + params_.weight * (h - g);

    // A cell is in at most one of the lists; the open one is looked up first, it is cheaper.
    if (Node* open = open_at_[cell]) {
        if (open->g > g) {
            const int32_t position = open_position(open);
            if (position < 0 || !open_.erase(position)) return;
            open->parent = from;
            open->g = g;
            open->f = f;
            open_insert(open);  // one entry was just freed
        }
        return;
    }
    if (Node* closed = closed_.find(x, y)) {
        if (closed->g > g && !open_.full()) {
            closed_.unlink_found();
            closed->parent = from;
            closed->g = g;
            closed->f = f;
            open_insert(closed);  // cannot fail: not full
            open_at_[cell] = closed;
        }
        return;
    }
    Node* node = pool_.take();
    if (node == nullptr) return;  // pool used up: the cell stays unvisited
    *node = Node{from, x, y, f, g, nullptr};
    if (!open_insert(node)) {
        pool_.give_back(1);
        return;
    }
    open_at_[cell] = node;
}

bool AStarPlanner::search() noexcept {
    ++search_count_;
    const int32_t width = params_.width;
    const int32_t height = params_.height;
    const bool diagonals = params_.diagonal_moves != 0;
    while (!open_.empty()) {
        Node* node = open_.back();
        open_.pop_back();
        const int32_t x = node->x;
        const int32_t y = node->y;
        open_at_[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = nullptr;
        if (x == params_.goal_x && y == params_.goal_y) {
            closed_.insert(node);
            path_head_ = node;
            finished_ = 1;
            return true;
        }
        // Neighbours in a fixed order: the row above left to right, right, left, the row below
        // left to right. Diagonal steps may cut past walls at the corners.
        static constexpr struct {
            int8_t dx;
            int8_t dy;
            bool diagonal;
        } kNeighbours[8] = {{-1, -1, true}, {0, -1, false}, {1, -1, true}, {1, 0, false},
                            {-1, 0, false}, {-1, 1, true},  {0, 1, false}, {1, 1, true}};
        for (const auto& n : kNeighbours) {
            if (n.diagonal && !diagonals) continue;
            const int32_t nx = x + n.dx;
            const int32_t ny = y + n.dy;
            if (nx < 0 || nx >= width || ny < 0 || ny >= height) continue;
            visit(node, nx, ny, n.diagonal);
        }
        closed_.insert(node);
    }
    finished_ = 1;
    return true;
}

}  // namespace rt
