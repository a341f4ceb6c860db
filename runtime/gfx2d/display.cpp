// The renderer object's display state. Placeholder until the window and GL context exist:
// creation succeeds without a window.
#include "runtime/gfx2d/display.h"

DuraVUZododivi::DuraVUZododivi() = default;
DuraVUZododivi::~DuraVUZododivi() { display_destroy(); }

bool DuraVUZododivi::display_create(int32_t, int32_t, int32_t, int32_t, int32_t) { return true; }
bool DuraVUZododivi::display_set_fullscreen() { return false; }
bool DuraVUZododivi::display_set_windowed() { return true; }
bool DuraVUZododivi::display_hide() { return true; }
void DuraVUZododivi::display_destroy() { window_ = nullptr; }
void DuraVUZododivi::set_caption(const RtString&) {}
