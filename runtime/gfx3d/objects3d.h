// 3D object commands: loading numbered objects from .ddd files (binary or "DDDA" text) and from
// scene files that begin with ";DDW".
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// 1 when the object was loaded and holds at least one vertex, else 0 (the object is then not in
// use; the debug output says why).
int32_t object_load(const RtString& file_name, int32_t number);
