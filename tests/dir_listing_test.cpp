// Directory listing of real folders, wildcard matching and the in-place text sort.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/files/name_order.h"
#include "runtime/platform/os.h"
#include "runtime/runtime.h"
#include "support/test_support.h"

namespace {

// A temporary folder that is the current directory for the test's lifetime.
class ListingFolder : public ::testing::Test {
protected:
    void SetUp() override {
        old_cwd_ = rt::platform_current_dir();
        ASSERT_TRUE(rt::platform_set_current_dir(dir_.path()));
    }
    void TearDown() override { rt::platform_set_current_dir(old_cwd_); }

    void file(const std::string& name) { rt_test::write_file(dir_.file(name), "x"); }
    void folder(const std::string& name) { ASSERT_EQ(::mkdir(dir_.file(name).c_str(), 0755), 0); }

    rt_test::TempDir dir_;
    std::string old_cwd_;
};

std::vector<std::string> names_of(RtArray<RtString>& a) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < array_bounds(a, 0); ++i) out.emplace_back(array_element(a, i, 0, 0, 0).c_str());
    return out;
}

using Names = std::vector<std::string>;

TEST_F(ListingFolder, DirectoriesFirstThenMatchingFilesEachInCaseFreeOrder) {
    file("b.TXT");
    file("a.txt");
    file("c.dat");
    folder("Maps");
    RtArray<RtString> out;
    EXPECT_EQ(directory_list("*.txt", out), 2 + 3 * 65536.0);
    EXPECT_EQ(names_of(out), (Names{".", "..", "Maps", "a.txt", "b.TXT"}));
    EXPECT_EQ(array_bounds(out, 1), 0);
}

TEST_F(ListingFolder, PatternsSelectFilesButNeverDirectories) {
    file("one.map");
    file("Makefile");
    folder("sub.map");
    RtArray<RtString> out;
    EXPECT_EQ(directory_list("", out), 3 * 65536.0);
    EXPECT_EQ(names_of(out), (Names{".", "..", "sub.map"}));
    EXPECT_EQ(directory_list("*", out), 2 + 3 * 65536.0);
    EXPECT_EQ(names_of(out), (Names{".", "..", "sub.map", "Makefile", "one.map"}));
    EXPECT_EQ(directory_list("*.*", out), 2 + 3 * 65536.0);  // also the name without a dot
    EXPECT_EQ(directory_list("*.map", out), 1 + 3 * 65536.0);
}

TEST_F(ListingFolder, OrderLowerCasesLettersAndSettlesCaseOnlyTies) {
    // Lower-casing puts "_" (0x5F) after "." and before letters; names that differ only in case (possible on
    // this file system) come in byte order, whatever order the directory keeps them in.
    for (const char* name : {"BA", "b_1", "a.txt", "A.txt", "B.txt", "\xC4rger"}) file(name);
    RtArray<RtString> out;
    EXPECT_EQ(directory_list("*", out), 6 + 2 * 65536.0);
    EXPECT_EQ(names_of(out), (Names{".", "..", "A.txt", "a.txt", "B.txt", "b_1", "BA", "\xC4rger"}));
}

TEST_F(ListingFolder, LinksCountAsWhatTheyPointAt) {
    folder("real");
    ASSERT_EQ(::symlink("real", dir_.file("linked").c_str()), 0);
    ASSERT_EQ(::symlink("missing", dir_.file("dangling").c_str()), 0);
    RtArray<RtString> out;
    EXPECT_EQ(directory_list("*", out), 1 + 4 * 65536.0);
    EXPECT_EQ(names_of(out), (Names{".", "..", "linked", "real", "dangling"}));
}

TEST_F(ListingFolder, ManyEntriesComeOutSorted) {
    std::vector<std::string> expected;
    for (int i = 1999; i >= 0; --i) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%04d.dat", i % 2 ? "F" : "f", i);
        file(name);
        expected.emplace_back(name);
    }
    std::sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
        return rt::text_compare_no_case(a.c_str(), b.c_str()) < 0;
    });
    expected.insert(expected.begin(), {".", ".."});
    RtArray<RtString> out;
    EXPECT_EQ(directory_list("*.DAT", out), 2000 + 2 * 65536.0);
    EXPECT_EQ(names_of(out), expected);
}

TEST_F(ListingFolder, RemovedCurrentDirectoryListsNothing) {
    ASSERT_EQ(::rmdir(dir_.path().c_str()), 0);
    RtArray<RtString> out;
    array_dim(out, 3, 0, 0, 0);
    EXPECT_EQ(directory_list("*", out), 0.0);
    EXPECT_EQ(array_bounds(out, 0), 0);
}

TEST(Wildcard, MatchesWholeNames) {
    EXPECT_TRUE(text_match_wildcard("map??.map", "map01.map"));
    EXPECT_FALSE(text_match_wildcard("map??.map", "map1.map"));
    EXPECT_FALSE(text_match_wildcard("map??.map", "map.1.map"));  // "?" never takes a "."
    EXPECT_FALSE(text_match_wildcard("a?c", "abcd"));             // the name must end with the pattern
    EXPECT_FALSE(text_match_wildcard("abc", "ab"));
    EXPECT_TRUE(text_match_wildcard("*", "anything.at.all"));
    EXPECT_FALSE(text_match_wildcard("", "x"));
    EXPECT_TRUE(text_match_wildcard("*.*", "Makefile"));  // the catch-all, whatever the name
    EXPECT_FALSE(text_match_wildcard("*.**", "Makefile"));
    EXPECT_TRUE(text_match_wildcard("*.TXT", "notes.txt"));
    EXPECT_FALSE(text_match_wildcard("\xC4*", "\xE4rger"));  // case rules know ASCII letters only
    EXPECT_FALSE(text_match_wildcard(nullptr, "x"));
    EXPECT_FALSE(text_match_wildcard("*", nullptr));
}

TEST(Wildcard, StarsTakeAnyRunAndRetry) {
    EXPECT_TRUE(text_match_wildcard("*ab", "aab"));  // the first attempt at "a" fails
    EXPECT_TRUE(text_match_wildcard("a*b*c", "axbybzc"));
    EXPECT_FALSE(text_match_wildcard("a*b*c", "axbybz"));
    EXPECT_TRUE(text_match_wildcard("a***", "a"));
    EXPECT_TRUE(text_match_wildcard("*.txt", ".txt"));
    EXPECT_TRUE(text_match_wildcard("*?", "x"));
    EXPECT_FALSE(text_match_wildcard("*?", "."));
    EXPECT_TRUE(text_match_wildcard("*.tar.gz", "a.b.tar.gz"));
}

TEST(Wildcard, ManyStarsEndInLinearTime) {
    // A backtracking matcher would take exponential time here and never end within the test's
    // time-out; a linear one answers at once.
    std::string pattern;
    for (int i = 0; i < 2000; ++i) pattern += "*a";
    pattern += "b";
    const std::string name(20000, 'a');
    EXPECT_FALSE(text_match_wildcard(pattern.c_str(), name.c_str()));
}

std::vector<RtString> texts(const std::vector<std::string>& in) {
    std::vector<RtString> out;
    for (const std::string& s : in) out.emplace_back(s.c_str());
    return out;
}

std::vector<std::string> plain(const std::vector<RtString>& in) {
    std::vector<std::string> out;
    for (const RtString& s : in) out.emplace_back(s.c_str());
    return out;
}

TEST(SortRange, OrdersByStrcmpWithoutAFunction) {
    std::vector<RtString> v = texts({"b", "B", "a", "", "ab"});
    string_sort_range(&v.front(), &v.back(), nullptr);
    EXPECT_EQ(plain(v), (Names{"", "B", "a", "ab", "b"}));
}

TEST(SortRange, SwapsBuffersInsteadOfCopying) {
    std::vector<RtString> v = texts({"delta", "alpha", "charlie", "bravo"});
    std::vector<const char*> before;
    for (const RtString& s : v) before.push_back(s.c_str());
    string_sort_range(&v.front(), &v.back(), rt::text_compare_no_case);
    EXPECT_EQ(plain(v), (Names{"alpha", "bravo", "charlie", "delta"}));
    std::vector<const char*> after;
    for (const RtString& s : v) after.push_back(s.c_str());
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after);
}

TEST(SortRange, HardShapesOfInput) {
    const int n = 50000;
    std::vector<std::vector<std::string>> inputs(4);
    for (int i = 0; i < n; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%06d", i);
        inputs[0].emplace_back(name);                              // sorted
        inputs[1].emplace_back(name);                              // reversed below
        inputs[2].emplace_back("same");                            // all equal
        inputs[3].emplace_back(i % 2 ? name : std::string("zz"));  // half equal, half sorted
    }
    std::reverse(inputs[1].begin(), inputs[1].end());
    for (auto& input : inputs) {
        std::vector<RtString> v = texts(input);
        string_sort_range(&v.front(), &v.back(), nullptr);
        std::sort(input.begin(), input.end());
        EXPECT_EQ(plain(v), input);
    }
}

TEST(SortRange, InconsistentComparisonStaysInsideTheRun) {
    std::vector<RtString> v = texts({"c", "a", "b", "e", "d", "f", "g"});
    string_sort_range(&v.front() + 1, &v.back() - 1, [](const char*, const char*) { return -1; });
    std::vector<std::string> got = plain(v);
    EXPECT_EQ(got.front(), "c");
    EXPECT_EQ(got.back(), "g");
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (Names{"a", "b", "c", "d", "e", "f", "g"}));
    string_sort_range(&v.back(), &v.front(), nullptr);  // reversed bounds: nothing happens
}

}  // namespace
