// The line store commands: one text file held in memory as up to 256 numbered lines, read and
// written by line number, written back when another file is selected and at shut-down.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// Makes name the held file (null: none): writes back the file held before, clears the store and
// loads name. Returns the error code: 0, or 3 when name cannot be resolved or opened (the store
// then holds that name with no lines, and is written back under it).
int32_t line_store_select(const char* name);

// The line's text without trailing control bytes, "NO_DATA" for an empty or missing line,
// "NO_FILE" when the file cannot be read. Returns the error code (0, 3, or 7 for a line number
// outside 0 to 255). line is truncated toward zero.
double line_store_read(const RtString& name, double line, RtString& out);
double line_store_read_real(const RtString& name, double line, double& out);
double line_store_read_int(const RtString& name, double line, int32_t& out);
// Stores text as the line; returns the error code (0, or 7 for a line outside 0 to 255).
double line_store_write(const RtString& name, double line, const RtString& text);
double line_store_write_real(const RtString& name, double line, double value);
