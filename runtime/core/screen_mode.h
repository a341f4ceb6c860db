// Screen mode changes during play, which the display, the mouse and frame presentation must all
// follow; core coordinates them.
#pragma once

#include <cstdint>

// Switches the screen mode: stores the values as start-up settings, applies them, re-applies the
// mouse mode and presents five frames.
void screen_mode_set(int32_t width, int32_t height, int32_t fullscreen);

namespace rt {

// Tells the input service the screen as the game sees it (size, portrait mode), after the display
// was created or changed.
void display_geometry_push();

}  // namespace rt
