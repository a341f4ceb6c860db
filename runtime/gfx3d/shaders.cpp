// The shader slots.
#include "runtime/gfx3d/shaders.h"

namespace rt {

void shader_table_frame_reset(ShaderTable&) {}

}  // namespace rt
