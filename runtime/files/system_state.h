// Process-wide state of directory listing, outside modules and platform queries.
#pragma once

#include <vector>

#include "runtime/platform/sysinfo.h"
#include "runtime/values/rt_string.h"

namespace rt {

// Outside modules loaded for the game's declared functions; each stays loaded until shut-down.
struct ModuleTable {
    std::vector<PlatformLibrary> handles;
    std::vector<RtString> names;  // lower-cased, parallel to handles
    bool requested = false;       // a module was asked for since start (or the last release)
};

struct SystemState {
    ModuleTable modules;
};

}  // namespace rt
