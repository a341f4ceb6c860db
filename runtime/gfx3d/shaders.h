// The shader slots: GLSL programs through the ARB shader-object entry points.
#pragma once

namespace rt {

struct ShaderTable {};

// Makes fixed-function drawing current again (called at the end of every frame).
void shader_table_frame_reset(ShaderTable& table);

}  // namespace rt
