// Screen mode changes: the display switches, then the input service learns the new screen and the
// window to read the pointer in, and the mouse mode is applied again.
#include "runtime/core/screen_mode.h"

#include "runtime/core/frame.h"
#include "runtime/core/lifecycle.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/input/input_service.h"

namespace rt {

void display_geometry_push() {
    const DuraVUZododivi* display = display_service();
    if (!display) return;
    input_screen_geometry_set(display->width(), display->height(), display->portrait() != 0);
}

}  // namespace rt

void screen_mode_set(int32_t width, int32_t height, int32_t fullscreen) {
    DuraVUZododivi* display = rt::display_service();
    if (!display) return;
    startup_settings.screen_width = width;
    startup_settings.screen_height = height;
    startup_settings.fullscreen = fullscreen;
    display->display_set_mode(width, height, 0, fullscreen);
    rt::input_window_set(display->window());
    rt::display_geometry_push();
    rt::input_mouse_mode_apply(startup_settings.mouse_hidden);
    for (int i = 0; i < 5; ++i) screen_present();
}
