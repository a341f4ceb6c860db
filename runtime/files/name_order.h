// The order of names in directory listings: ASCII letters compared without regard to case.
#pragma once

namespace rt {

// Case-insensitive comparison of ASCII letters (both sides lower-cased), bytes unsigned: <0, 0
// or >0 as strcmp. Fits string_sort_range as its compare function.
int text_compare_no_case(const char* a, const char* b);

}  // namespace rt
