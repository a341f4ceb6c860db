// The table of numbered 3D objects read from .ddd files.
#pragma once

namespace rt {

struct ObjectTable {};

}  // namespace rt
