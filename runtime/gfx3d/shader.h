// Shader commands: GLSL programs in the 255 numbered slots (0 to 254), the program in use and its
// float uniforms. Compile and link logs and failures go to the debug output.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// 1 when loaded; 0 for a number outside 0 to 254, without shader support, or when a shader failed
// to compile or the program to link (the slot is then empty). A file that cannot be read adds no
// shader.
int32_t shader_load(int32_t number, const RtString& vertex_file, const RtString& fragment_file);
// 0 to 254 makes that slot's program current; any other number (-1 by convention) returns to
// fixed-function drawing. Every presented frame starts with fixed-function drawing.
void shader_use(int32_t number);
// Sets a float uniform of the program in use; nothing when no slot is in use.
void shader_set_float(const RtString& name, float value);
