// The grid path planner: search nodes and their pool, the sorted open list (a bounded ring
// deque), the hashed closed set, and the A* search over a normalised cost map.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

namespace rt {

// One search node. Plain record: nodes live in the pool and are reused between searches.
struct Node {
    Node* parent;  // null for the start node
    int32_t x;
    int32_t y;
    float f;     // open list priority
    float g;     // cost of the best known route from the start
    Node* next;  // next node in the same closed table bucket
};

// Largest grid the planner takes, in cells; a bigger one is refused by setup.
inline constexpr int64_t kPlannerMaxCells = int64_t{1} << 28;
// The diagonal step factor: one float step above the float nearest to sqrt(2).
inline constexpr float kDiagonalStep = 1.4142137f;

struct PlannerParams {
    int32_t start_x = 0;
    int32_t start_y = 0;
    int32_t goal_x = 0;
    int32_t goal_y = 0;
    uint8_t diagonal_sqrt2 = 0;    // diagonal steps cost kDiagonalStep times the cell, else 1 times
    uint8_t diagonal_moves = 0;    // the four diagonal neighbours are visited too
    uint8_t reserved[2] = {0, 0};  // keeps the flags a whole word
    int32_t pool_size = 0;         // nodes; 0 means width x height
    int32_t open_capacity = 0;     // open list entries; 0 means width x height
    int32_t closed_bits = 0;       // closed table size as a power of two (at most 24, even)
    float weight = 0;              // 0: order by cost alone, 0.5: usual A*, 1: by distance alone
    int32_t width = 0;
    int32_t height = 0;
    const double* grid = nullptr;  // width x height values, cell (x, y) at y * width + x
};

// A pool of nodes taken up front. Nodes are handed out in order and given back only in bulk,
// by lowering the index of the next one.
class NodeFactory {
public:
    // Replaces the pool by n fresh nodes; n = 0 keeps the pool. False (pool unchanged) when the
    // storage cannot be had.
    bool init(int32_t n) noexcept;
    // The next free node, or null when the pool is used up.
    Node* take() noexcept { return next_ < count_ ? &nodes_[next_++] : nullptr; }
    // Makes the n nodes handed out last available again.
    void give_back(int32_t n) noexcept { next_ = n < next_ ? next_ - n : 0; }
    int32_t count() const noexcept { return count_; }
    int32_t in_use() const noexcept { return next_; }

private:
    int32_t count_ = 0;
    std::unique_ptr<Node[]> nodes_;
    int32_t next_ = 0;
};

// A bounded double-ended queue in a ring buffer. Positions count from the head (0) to the
// tail (size). Every operation that would overflow or underflow is refused and changes nothing.
template <typename T>
class FixedDeque {
public:
    // Replaces the storage by one of the given capacity and empties the queue; false (queue
    // unchanged) when the storage cannot be had.
    bool init(int32_t capacity) noexcept {
        if (capacity < 0) return false;
        std::unique_ptr<T[]> ring;
        if (capacity > 0) {
            ring.reset(new (std::nothrow) T[static_cast<size_t>(capacity)]);
            if (!ring) return false;
        }
        ring_ = std::move(ring);
        capacity_ = capacity;
        head_ = tail_ = 0;
        empty_ = true;
        return true;
    }

    int32_t capacity() const noexcept { return capacity_; }
    int32_t size() const noexcept {
        if (empty_) return 0;
        return tail_ > head_ ? tail_ - head_ : tail_ + capacity_ - head_;
    }
    bool empty() const noexcept { return empty_; }
    bool full() const noexcept { return !empty_ && head_ == tail_; }
    // Element at position i; i must lie below size().
    T& at(int32_t i) noexcept { return ring_[wrap(head_ + i)]; }
    const T& at(int32_t i) const noexcept { return ring_[wrap(head_ + i)]; }
    T& back() noexcept { return ring_[tail_ == 0 ? capacity_ - 1 : tail_ - 1]; }

    bool push_back(const T& value) noexcept {
        if (capacity_ == 0 || full()) return false;
        ring_[tail_] = value;
        tail_ = wrap(tail_ + 1);
        empty_ = false;
        return true;
    }
    bool push_front(const T& value) noexcept {
        if (capacity_ == 0 || full()) return false;
        head_ = head_ == 0 ? capacity_ - 1 : head_ - 1;
        ring_[head_] = value;
        empty_ = false;
        return true;
    }
    bool pop_back() noexcept {
        if (empty_) return false;
        tail_ = tail_ == 0 ? capacity_ - 1 : tail_ - 1;
        empty_ = head_ == tail_;
        return true;
    }
    bool pop_front() noexcept {
        if (empty_) return false;
        head_ = wrap(head_ + 1);
        empty_ = head_ == tail_;
        return true;
    }
    void clear() noexcept {
        head_ = tail_ = 0;
        empty_ = true;
    }

    // Inserts value before position i (0 to size). The elements on the shorter side move by one.
    bool insert(int32_t i, const T& value) noexcept {
        const int32_t n = size();
        if (i < 0 || i > n || capacity_ == 0 || full()) return false;
        if (i == n) return push_back(value);
        if (i == 0) return push_front(value);
        empty_ = false;
        if (i < n - i) {
            head_ = head_ == 0 ? capacity_ - 1 : head_ - 1;
            shift_down(1, i);
        } else {
            tail_ = wrap(tail_ + 1);
            shift_up(i, n - i);
        }
        at(i) = value;
        return true;
    }
    // Removes the element at position i (0 to size - 1). The elements on the shorter side move.
    bool erase(int32_t i) noexcept {
        const int32_t n = size();
        if (i < 0 || i >= n) return false;
        if (i < n - 1 - i) {
            shift_up(0, i);
            return pop_front();
        }
        shift_down(i + 1, n - 1 - i);
        return pop_back();
    }

private:
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved bytewise");

    int32_t wrap(int32_t index) const noexcept { return index >= capacity_ ? index - capacity_ : index; }
    // Moves the elements at positions [first, first + count) one position toward the tail, in
    // runs that are contiguous in the ring, the last run first.
    void shift_up(int32_t first, int32_t count) noexcept {
        int32_t end = first + count;
        while (count > 0) {
            const int32_t source_last = wrap(head_ + end - 1);
            const int32_t target_last = wrap(head_ + end);
            const int32_t run = std::min({count, source_last + 1, target_last + 1});
            std::memmove(&ring_[target_last - run + 1], &ring_[source_last - run + 1], sizeof(T) * run);
            count -= run;
            end -= run;
        }
    }
    // Moves the elements at positions [first, first + count) one position toward the head
    // (first >= 1), the first run first.
    void shift_down(int32_t first, int32_t count) noexcept {
        while (count > 0) {
            const int32_t source = wrap(head_ + first);
            const int32_t target = wrap(head_ + first - 1);
            const int32_t run = std::min({count, capacity_ - source, capacity_ - target});
            std::memmove(&ring_[target], &ring_[source], sizeof(T) * run);
            count -= run;
            first += run;
        }
    }

    std::unique_ptr<T[]> ring_;
    int32_t capacity_ = 0;
    int32_t head_ = 0;
    int32_t tail_ = 0;  // one past the last element
    bool empty_ = true;
};

// Chained hash table of nodes keyed by (x, y), 2^bits buckets. The bucket of (x, y) is
// (x & m) | ((y & m) << s) with s = bits / 2 and m = 2^s - 1.
class NodeHashTable {
public:
    static constexpr int32_t kMaxBits = 24;

    // Bits are limited to kMaxBits and rounded down to even. False (table unchanged) when the
    // buckets cannot be had.
    bool init(int32_t bits) noexcept;
    // Links node at the head of its bucket unless that very node is already there.
    void insert(Node* node) noexcept;
    // The node at (x, y), or null; remembered for unlink_found.
    Node* find(int32_t x, int32_t y) noexcept;
    // Unlinks the node the last successful find returned (nothing when there was none).
    void unlink_found() noexcept;
    void clear() noexcept;
    // Nodes in the table (walks every bucket).
    int64_t count() const noexcept;
    int32_t bits() const noexcept { return bits_; }

private:
    size_t bucket_of(int32_t x, int32_t y) const noexcept {
        const int32_t s = bits_ / 2;
        const uint32_t m = (uint32_t{1} << s) - 1;
        return (static_cast<uint32_t>(x) & m) | ((static_cast<uint32_t>(y) & m) << s);
    }

    std::unique_ptr<Node*[]> buckets_;
    int32_t bits_ = 0;
    Node** found_link_ = nullptr;  // the link that points at the last found node
};

// A search over a grid of costs. Set up once per grid, then begin_search / search / reset,
// as often as wanted.
class Planner {
public:
    Planner() = default;
    Planner(const Planner&) = delete;
    Planner& operator=(const Planner&) = delete;
    virtual ~Planner() = default;

    // Checks the parameters and the grid and builds the cost map, pool, open list and closed
    // table. False when start or goal lie outside the grid, start equals goal, the grid has no
    // positive value, or the grid or storage is too large; the planner is then unchanged.
    bool setup(const PlannerParams& params) noexcept;
    virtual void begin_search() noexcept;
    // True when the search ended: path_head() is then the goal node, or null without a path.
    virtual bool search() noexcept = 0;
    // Gives every node back to the pool and empties both lists.
    virtual void reset() noexcept;

    bool finished() const noexcept { return finished_ != 0; }
    const Node* path_head() const noexcept { return path_head_; }
    int32_t search_count() const noexcept { return search_count_; }
    const PlannerParams& params() const noexcept { return params_; }
    // Normalised cost of cell (x, y): -1 for a wall, else in (1, 2]; -1 outside the grid.
    float cost_at(int32_t x, int32_t y) const noexcept;

protected:
    uint8_t finished_ = 1;
    NodeFactory pool_;
    PlannerParams params_;
    std::unique_ptr<float[]> cost_map_;
    int32_t search_count_ = 0;
    FixedDeque<Node*> open_;
    NodeHashTable closed_;
    Node* path_head_ = nullptr;
    // Per cell, the node of that cell while it is in the open list (else null): finds the
    // open node of a cell without walking the list.
    std::unique_ptr<Node*[]> open_at_;
};

class AStarPlanner final : public Planner {
public:
    void begin_search() noexcept override;
    bool search() noexcept override;

private:
    // The first open-list position whose f is at most f (the list is sorted by f, descending).
    int32_t open_first_not_above(float f) const noexcept;
    // Inserts node before the first entry whose f is less than or equal to its own.
    bool open_insert(Node* node) noexcept;
    // Position of node in the open list (found by its f), or -1.
    int32_t open_position(const Node* node) const noexcept;
    void visit(Node* from, int32_t x, int32_t y, bool diagonal) noexcept;
};

// Closed table bits the path command uses for a grid: the smallest even count whose table has a
// bucket per cell, 8 to 24.
int32_t closed_bits_for(int64_t cells) noexcept;

}  // namespace rt
