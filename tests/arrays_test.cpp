// RtArray: shapes, capacity and storage rules, re-dimensioning, copies and moves, and the fatal
// paths (codes 7, 8 and 9, each in a child process).
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "runtime/arrays/rt_array.h"
#include "support/test_support.h"

namespace {

void expect_fatal(int code, const std::function<void()>& body) {
    rt_test::ChildResult r = rt_test::run_in_child(body);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_FALSE(r.returned);
    EXPECT_EQ(r.error_code(), code);
}

struct Tile {
    int32_t kind;
    int32_t flags;
};

TEST(Arrays, IndexingAndBounds) {
    RtArray<int32_t> a;
    array_dim(a, 3, 0, 0, 0);
    array_element_1d(a, 2) = 42;
    EXPECT_EQ(array_element_1d(a, -1), 42);
    EXPECT_EQ(&array_element(a, -3, 0, 0, 0), a.data());
    EXPECT_EQ(array_bounds(a, 0), 3);
    EXPECT_EQ(array_bounds(a, 1), 0);
    EXPECT_EQ(array_bounds(a, 4), 0);
    EXPECT_EQ(a.dimensions(), 1);

    array_dim(a, 2, 3, 0, 0);  // the first index varies fastest
    EXPECT_EQ(&array_element(a, 1, 2, 0, 0), a.data() + 5);
    EXPECT_EQ(a.dimensions(), 2);
    array_dim(a, 2, 3, 4, 5);
    EXPECT_EQ(&array_element(a, 1, 2, 3, 4), a.data() + 1 + 2 * 2 + 3 * 6 + 4 * 24);
    EXPECT_EQ(a.dimensions(), 4);
    array_dim(a, 2, 0, 3, 0);  // an unused middle dimension: (i, 0, k) are six distinct slots
    EXPECT_EQ(a.dimensions(), 3);
    EXPECT_EQ(&array_element(a, 1, 0, 2, 0), a.data() + 1 + 2 * 2);
}

TEST(Arrays, BadIndexEndsWithCode9) {
    struct Case {
        int32_t s1, s2, s3, i, j, k;
    };
    for (Case c : {
             Case{3, 0, 0, -4, 0, 0},  // the first index counts from the end only once
             Case{2, 3, 0, 2, 0, 0},
             Case{2, 3, 0, 0, 3, 0},
             Case{2, 3, 0, 0, -1, 0},
             Case{0, 0, 0, 0, 0, 0},  // dimensioned empty
             Case{2, 0, 0, 0, 1, 0},  // an unused dimension takes only index 0: j = 1 would pass the storage
             Case{2, 0, 3, 1, 5, 0},
         }) {
        expect_fatal(9, [c] {
            RtArray<int32_t> a;
            array_dim(a, c.s1, c.s2, c.s3, 0);
            array_element(a, c.i, c.j, c.k, 0) = 1;
        });
    }
    expect_fatal(9, [] {
        RtArray<RtString> a;  // never dimensioned: no storage
        array_element_1d(a, 0) = "x";
    });
}

// Every index the check lets through lands inside the shape's elements, for shapes with unused
// and negative sizes too; with no negative size each element is reached exactly once (an unused
// dimension takes index 0 and must not fold the dimensions after it onto each other).
TEST(Arrays, AccessNeverLeavesStorage) {
    const int32_t sizes[] = {-2, -1, 0, 1, 2, 3};
    auto valid = [](int32_t index, int32_t size) { return size == 0 ? index == 0 : index >= 0 && index < size; };
    RtArray<int32_t> a;
    for (int32_t s1 : sizes)
        for (int32_t s2 : sizes)
            for (int32_t s3 : sizes)
                for (int32_t s4 : sizes) {
                    array_dim(a, s1, s2, s3, s4);
                    const int32_t n = a.count();
                    std::vector<int> hits(static_cast<size_t>(n));
                    for (int32_t i = 0; i < 3; ++i)
                        for (int32_t j = -1; j < 4; ++j)
                            for (int32_t k = -1; k < 4; ++k)
                                for (int32_t l = -1; l < 4; ++l) {
                                    if (i >= s1 || !valid(j, s2) || !valid(k, s3) || !valid(l, s4)) continue;
                                    const ptrdiff_t offset = &array_element(a, i, j, k, l) - a.data();
                                    ASSERT_GE(offset, 0);
                                    ASSERT_LT(offset, n);
                                    ++hits[static_cast<size_t>(offset)];
                                }
                    if (s1 > 0 && s2 >= 0 && s3 >= 0 && s4 >= 0) {
                        for (int h : hits) ASSERT_EQ(h, 1) << s1 << "x" << s2 << "x" << s3 << "x" << s4;
                    }
                }
    // A negative size counts as 1 elementwise and admits no index at all.
    RtArray<int32_t> b;
    array_dim(b, 4, -2, 3, 0);
    EXPECT_EQ(b.count(), 12);
    EXPECT_EQ(b.dimensions(), 3);
    expect_fatal(9, [&b] { array_element(b, 0, 0, 0, 0) = 1; });
    // Strides come from max(1, size) like the count, so a negative size stays in 32 bits too.
    RtArray<uint8_t> c;
    array_dim(c, 100000, -100000, 2, 0);
    EXPECT_EQ(c.count(), 200000);
    EXPECT_EQ(c.stride(2), 100000);
}

TEST(Arrays, CapacityAndInlineBlock) {
    struct Case {
        int32_t count, capacity;
        bool inline_block;
    };
    RtArray<int32_t> ints;
    for (Case c : {Case{0, 8, true}, Case{7, 8, true}, Case{8, 16, false}, Case{16, 24, false}}) {
        RtArray<int32_t> fresh;
        array_dim(fresh, c.count, 0, 0, 0);
        EXPECT_EQ(fresh.capacity(), c.capacity) << c.count;
        EXPECT_EQ(fresh.uses_inline_block(), c.inline_block) << c.count;
    }
    for (Case c : {Case{7, 8, true}, Case{15, 16, true}, Case{16, 24, false}}) {
        RtArray<double> fresh;
        array_dim(fresh, c.count, 0, 0, 0);
        EXPECT_EQ(fresh.capacity(), c.capacity) << c.count;
        EXPECT_EQ(fresh.uses_inline_block(), c.inline_block) << c.count;
    }
    for (Case c : {Case{0, 64, false}, Case{63, 64, false}, Case{64, 128, false}}) {
        RtArray<RtString> texts;
        array_dim(texts, c.count, 0, 0, 0);
        EXPECT_EQ(texts.capacity(), c.capacity) << c.count;
        RtArray<uint8_t> bytes;
        array_dim(bytes, c.count, 0, 0, 0);
        EXPECT_EQ(bytes.capacity(), c.capacity) << c.count;
    }

    // A shape that fits reuses the storage; a first size of 0 goes back to the minimal block.
    array_dim(ints, 50, 0, 0, 0);
    const int32_t* heap = ints.data();
    array_dim(ints, 3, 2, 0, 0);
    EXPECT_EQ(ints.data(), heap);
    EXPECT_EQ(ints.capacity(), 56);
    array_dim(ints, 0, 0, 0, 0);
    EXPECT_TRUE(ints.uses_inline_block());
    EXPECT_EQ(ints.capacity(), 8);
    EXPECT_EQ(ints.dimensions(), 0);
}

TEST(Arrays, DimClearsAndRecordsAreZeroFilled) {
    RtArray<int32_t> a;
    array_dim(a, 40, 0, 0, 0);
    for (int32_t i = 0; i < 40; ++i) array_element_1d(a, i) = i + 1;
    array_dim(a, 40, 0, 0, 0);
    for (int32_t i = 0; i < a.capacity(); ++i) EXPECT_EQ(a.data()[i], 0);

    RtArray<Tile> tiles;
    array_dim(tiles, 3, 0, 0, 0);
    array_element_1d(tiles, 1) = Tile{5, 6};
    array_dim(tiles, 3, 0, 0, 0);
    EXPECT_EQ(array_element_1d(tiles, 1).kind, 0);
    EXPECT_EQ(array_element_1d(tiles, 1).flags, 0);

    RtArray<RtString> texts;
    array_dim(texts, 2, 2, 0, 0);
    array_element(texts, 1, 1, 0, 0) = "kept?";
    array_dim(texts, 2, 2, 0, 0);
    EXPECT_TRUE(array_element(texts, 1, 1, 0, 0).empty());
}

TEST(Arrays, RedimKeepsCommonElements) {
    RtArray<int32_t> a;
    array_dim(a, 3, 2, 0, 0);
    for (int32_t j = 0; j < 2; ++j)
        for (int32_t i = 0; i < 3; ++i) array_element(a, i, j, 0, 0) = 10 * i + j + 1;
    array_redim(a, 2, 4, 0, 0);
    EXPECT_EQ(a.capacity(), 16);
    for (int32_t j = 0; j < 4; ++j)
        for (int32_t i = 0; i < 2; ++i) EXPECT_EQ(array_element(a, i, j, 0, 0), j < 2 ? 10 * i + j + 1 : 0);

    // A one-dimensional array gaining a second dimension keeps its elements at j = 0.
    RtArray<double> r;
    array_set_list(r, {1.5, 2.5});
    array_redim(r, 3, 2, 0, 0);
    EXPECT_EQ(array_element(r, 1, 0, 0, 0), 2.5);
    EXPECT_EQ(array_element(r, 2, 1, 0, 0), 0.0);

    // Texts keep their first two dimensions only.
    RtArray<RtString> t;
    array_dim(t, 2, 2, 2, 0);
    array_element(t, 1, 1, 0, 0) = "front";
    array_element(t, 1, 1, 1, 0) = "back";
    array_redim(t, 2, 2, 2, 0);
    EXPECT_EQ(array_element(t, 1, 1, 0, 0), "front");
    EXPECT_TRUE(array_element(t, 1, 1, 1, 0).empty());

    RtArray<Tile> tiles;  // from never dimensioned, and over a negative size without a fatal end
    array_redim(tiles, 2, 0, 0, 0);
    array_element_1d(tiles, 1) = Tile{7, 8};
    array_redim(tiles, 2, -1, 0, 0);
    array_redim(tiles, 2, 0, 0, 0);
    EXPECT_EQ(array_element_1d(tiles, 1).kind, 0);

    // A first size below 1 empties the shape but keeps the storage.
    array_redim(a, 0, 0, 0, 0);
    EXPECT_NE(a.data(), nullptr);
    EXPECT_EQ(a.capacity(), 16);
    EXPECT_EQ(a.dimensions(), 0);
    EXPECT_EQ(array_bounds(a, 1), 0);
}

TEST(Arrays, OneDimensionalRedimReusesStorageAndShowsClearedElements) {
    RtArray<RtString> words;
    for (int32_t n = 0; n < 1000; ++n) array_append(words, RtString(n));
    EXPECT_EQ(array_bounds(words, 0), 1000);
    EXPECT_EQ(array_element_1d(words, 999), "999");
    const RtString* storage = words.data();
    array_redim(words, 10, 0, 0, 0);  // shrink within the storage
    EXPECT_EQ(words.data(), storage);
    array_redim(words, 20, 0, 0, 0);  // grow again: the dropped elements come back empty
    EXPECT_EQ(array_element_1d(words, 9), "9");
    EXPECT_TRUE(array_element_1d(words, 10).empty());
    array_redim(words, 0, 0, 0, 0);
    array_redim(words, 5, 0, 0, 0);
    EXPECT_TRUE(array_element_1d(words, 0).empty());

    RtArray<int32_t> numbers;
    array_dim(numbers, 40, 0, 0, 0);
    array_element_1d(numbers, 39) = 5;
    array_element_1d(numbers, 2) = 3;
    array_redim(numbers, 3, 0, 0, 0);
    array_redim(numbers, 40, 0, 0, 0);
    EXPECT_EQ(array_element_1d(numbers, 2), 3);
    EXPECT_EQ(array_element_1d(numbers, 39), 0);
}

TEST(Arrays, CopyAndMoveOfInlineAndHeapArrays) {
    RtArray<int32_t> small;
    array_set_list(small, {1, 2, 3});
    ASSERT_TRUE(small.uses_inline_block());

    RtArray<int32_t> copied(small);
    EXPECT_TRUE(copied.uses_inline_block());
    array_element_1d(small, 0) = 9;
    EXPECT_EQ(array_element_1d(copied, 0), 1);

    RtArray<int32_t> moved(std::move(copied));
    EXPECT_TRUE(moved.uses_inline_block());
    EXPECT_EQ(array_element_1d(moved, 2), 3);
    EXPECT_EQ(copied.data(), nullptr);  // NOLINT(bugprone-use-after-move): moved-from is never-dimensioned
    EXPECT_EQ(array_bounds(copied, 0), 0);

    RtArray<int32_t> assigned;
    array_dim(assigned, 100, 0, 0, 0);
    assigned = moved;
    EXPECT_TRUE(assigned.uses_inline_block());
    EXPECT_EQ(array_element_1d(assigned, 1), 2);
    assigned = std::move(small);
    EXPECT_EQ(array_element_1d(assigned, 0), 9);

    RtArray<RtString> texts;
    array_dim(texts, 70, 0, 0, 0);
    array_element_1d(texts, 69) = "last";
    const RtString* storage = texts.data();
    RtArray<RtString> deep = texts;
    array_element_1d(deep, 69) = "changed";
    EXPECT_EQ(array_element_1d(texts, 69), "last");
    RtArray<RtString> stolen = std::move(texts);
    EXPECT_EQ(stolen.data(), storage);
    const RtArray<RtString>& alias = deep;
    deep = alias;  // self-assignment keeps the contents
    EXPECT_EQ(array_element_1d(deep, 69), "changed");
}

TEST(Arrays, CopySetListAndAppend) {
    RtArray<int32_t> source;
    array_dim(source, 2, 3, 0, 0);
    array_element(source, 1, 2, 0, 0) = 12;
    RtArray<int32_t> target;
    array_dim(target, 100, 0, 0, 0);
    array_element_1d(target, 50) = 5;
    array_copy(target, source);
    EXPECT_EQ(array_bounds(target, 1), 3);
    EXPECT_EQ(array_element(target, 1, 2, 0, 0), 12);
    EXPECT_EQ(target.data()[50], 0);
    array_copy(target, target);  // onto itself: nothing is lost
    EXPECT_EQ(array_element(target, 1, 2, 0, 0), 12);

    const uint8_t bytes[] = {4, 5, 6};
    RtArray<uint8_t> b;
    array_set_list(b, 3, bytes);
    EXPECT_EQ(array_element_1d(b, -1), 6);

    RtArray<RtString> list;
    array_append(list, "a");
    array_append(list, "b");
    array_append(list, array_element_1d(list, 0));  // an element of the array itself
    EXPECT_EQ(array_bounds(list, 0), 3);
    EXPECT_EQ(array_element_1d(list, 2), "a");

    expect_fatal(8, [] {
        RtArray<RtString> grid;
        array_dim(grid, 2, 2, 0, 0);
        array_append(grid, "x");
    });
}

TEST(Arrays, ShapesTooLargeEndWithCode7) {
    expect_fatal(7, [] {
        RtArray<int32_t> a;
        array_dim(a, 65536, 65536, 0, 0);  // 2^32 elements
    });
    expect_fatal(7, [] {
        RtArray<double> a;
        array_dim(a, 300000000, 0, 0, 0);  // 2.4 GB
    });
    expect_fatal(7, [] {
        RtArray<uint8_t> a;
        array_redim(a, INT32_MAX, 1, 0, 0);  // capacity beyond INT32_MAX
    });
}

}  // namespace
