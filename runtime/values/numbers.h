// Number <-> text rules shared by every command, and the generated code's inline data lists.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/values/rt_string.h"

RtString string_from_int(int32_t value);
// At most 10 significant digits; exponential form below 1e-4 and from 1e10 on; no trailing ".".
RtString string_from_real(double value);
int32_t string_to_int(const RtString& text);
int32_t string_to_int(const char* text);
double string_to_real(const RtString& text);
double string_to_real(const char* text);
int32_t number_text_length(int32_t value);
int32_t number_text_length(double value);

// One item of a data list: a text item when text is non-null, else a number item.
struct DataItem {
    double value;
    const char* text;
};

struct DataBlock {
    const DataItem* items;
    int32_t count;
    int32_t read_index;
};

void data_restore(DataBlock& block);
// Each read takes the next item; past the end (or with no block current) the program ends
// with error code 20.
void data_read_text(RtString& out);
void data_read_real(double& out);
void data_read_int(int32_t& out);

namespace rt {

// snprintf and the number parsers under the "C" numeric rules whatever LC_NUMERIC the process
// runs with, so that a game in a locale that writes "1,5" still prints and reads "1.5".
int format_c_locale(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
double parse_real_c_locale(const char* text);
long parse_long_c_locale(const char* text);

}  // namespace rt
