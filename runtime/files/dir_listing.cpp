// Directory listing, wildcard matching and the text quicksort.
#include "runtime/files/dir_listing.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "runtime/files/name_order.h"
#include "runtime/platform/sysinfo.h"

namespace rt {
namespace {

inline unsigned char lower_ascii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// Names equal without regard to case (possible on this file system: "a.txt" beside "A.txt") are
// ordered byte-wise, so that a listing does not depend on the directory's internal order.
int listing_compare(const char* a, const char* b) {
    const int order = text_compare_no_case(a, b);
    return order != 0 ? order : std::strcmp(a, b);
}

// Moves the median of first, middle and last to last, where partitioning takes its pivot; keeps
// already sorted runs (the common case for listings) from degrading to quadratic time.
void median_to_last(RtString* lo, RtString* hi, TextCompare compare) {
    RtString* mid = lo + (hi - lo) / 2;
    if (compare(mid->c_str(), lo->c_str()) < 0) mid->swap(*lo);
    if (compare(hi->c_str(), lo->c_str()) < 0) hi->swap(*lo);
    if (compare(hi->c_str(), mid->c_str()) < 0) hi->swap(*mid);
    mid->swap(*hi);
}

// Quicksort of a[lo..hi]. The smaller part is sorted by recursion and the larger one by the
// loop, so the stack holds at most log2(n) frames whatever the input.
void sort_run(RtString* a, ptrdiff_t lo, ptrdiff_t hi, TextCompare compare) {
    while (lo < hi) {
        median_to_last(a + lo, a + hi, compare);
        const char* pivot = a[hi].c_str();  // stays in place until the final swap
        ptrdiff_t i = lo - 1;
        ptrdiff_t j = hi;
        for (;;) {
            // Both scans are bounded, so a comparison that is not a consistent order cannot
            // carry them past the run.
            while (++i < hi && compare(a[i].c_str(), pivot) < 0) {
            }
            while (--j > lo && compare(pivot, a[j].c_str()) < 0) {
            }
            if (i >= j) break;
            a[i].swap(a[j]);
        }
        if (i != hi) a[i].swap(a[hi]);
        if (i - lo < hi - i) {
            sort_run(a, lo, i - 1, compare);
            lo = i + 1;
        } else {
            sort_run(a, i + 1, hi, compare);
            hi = i - 1;
        }
    }
}

}  // namespace

int text_compare_no_case(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        const int d = lower_ascii(*x) - lower_ascii(*y);
        if (d != 0 || *x == 0) return d;
    }
}

}  // namespace rt

bool text_match_wildcard(const char* pattern, const char* name) {
    if (pattern == nullptr || name == nullptr) return false;
    if (std::strcmp(pattern, "*.*") == 0) return true;
    const char* p = pattern;
    const char* n = name;
    const char* star = nullptr;       // pattern position just after the last "*"
    const char* star_name = nullptr;  // name position the last "*" attempt started from
    while (*n != '\0') {
        if (*p == '*') {
            while (*p == '*') ++p;
            if (*p == '\0') return true;
            star = p;
            star_name = n;
            continue;
        }
        const bool same = *p != '\0' && (*p == '?' ? *n != '.'
                                                   : rt::lower_ascii(static_cast<unsigned char>(*p)) ==
                                                         rt::lower_ascii(static_cast<unsigned char>(*n)));
        if (same) {
            ++p;
            ++n;
            continue;
        }
        if (star == nullptr) return false;
        // Let the "*" take one more character and try the rest again from there.
        p = star;
        n = ++star_name;
    }
    while (*p == '*') ++p;
    return *p == '\0';
}

void string_sort_range(RtString* first, RtString* last, TextCompare compare) {
    if (first == nullptr || last == nullptr || last <= first) return;
    rt::sort_run(first, 0, last - first, compare != nullptr ? compare : std::strcmp);
}

double directory_list(const char* pattern, RtArray<RtString>& out) {
    std::vector<rt::PlatformDirEntry> entries;
    rt::platform_list_directory(".", entries);

    std::vector<RtString> directories;
    std::vector<RtString> files;
    for (const rt::PlatformDirEntry& entry : entries) {
        if (entry.is_directory) {
            directories.emplace_back(entry.name.c_str());
        } else if (text_match_wildcard(pattern, entry.name.c_str())) {
            files.emplace_back(entry.name.c_str());
        }
    }
    if (!directories.empty()) string_sort_range(&directories.front(), &directories.back(), rt::listing_compare);
    if (!files.empty()) string_sort_range(&files.front(), &files.back(), rt::listing_compare);

    const int32_t dir_count = static_cast<int32_t>(directories.size());
    const int32_t file_count = static_cast<int32_t>(files.size());
    array_dim(out, dir_count + file_count, 0, 0, 0);
    int32_t index = 0;
    for (RtString& name : directories) array_element(out, index++, 0, 0, 0).swap(name);
    for (RtString& name : files) array_element(out, index++, 0, 0, 0).swap(name);
    return static_cast<double>(file_count) + 65536.0 * static_cast<double>(dir_count);
}
