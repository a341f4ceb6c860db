// The definitions of the process-wide state and the start-up settings.
#include "runtime/core/globals.h"

#include "runtime/core/lifecycle.h"
#include "runtime/gfx2d/display.h"
#include "runtime/input/input.h"

StartupSettings startup_settings;

namespace rt {

RuntimeGlobals globals;

RuntimeGlobals::RuntimeGlobals() : random{} {}
RuntimeGlobals::~RuntimeGlobals() = default;

}  // namespace rt
