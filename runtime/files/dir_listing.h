// Listing the current directory into a text array, the wildcard test it filters file names with,
// and the in-place text sort it orders them with.
#pragma once

#include <cstdint>

#include "runtime/arrays/rt_array.h"
#include "runtime/values/rt_string.h"

// Three-way comparison of two C texts: <0, 0 or >0 (as strcmp).
using TextCompare = int (*)(const char*, const char*);

// Dimensions out to every entry of the current directory: subdirectories first (all of them,
// "." and ".." included), then the files whose names match pattern, each group in
// case-insensitive name order. Returns file count + 65536 * directory count.
double directory_list(const char* pattern, RtArray<RtString>& out);

// True when the whole name matches: "*" any run (also empty), "?" any one character except
// ".", other characters equal without regard to ASCII case; "*.*" matches every name.
bool text_match_wildcard(const char* pattern, const char* name);

// Sorts first..last (both included) in place, ascending; compare null means strcmp. Equal
// elements keep no particular order.
void string_sort_range(RtString* first, RtString* last, TextCompare compare);
