// Shared by the SDL-based platform files only: SDL's process-wide settings.
#pragma once

namespace rt {

// Applies SDL's hints once, before the first subsystem starts: the runtime handles SIGTERM and
// SIGINT itself and never lets SDL turn them into quit events.
void sdl_prepare();

}  // namespace rt
