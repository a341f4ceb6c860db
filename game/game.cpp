// Tumblefoot_3: the start-up values, and the game itself.
#include "runtime/runtime.h"

// The game's named functions: none.
const NamedFunction game_functions[] = {{nullptr, nullptr}};

void game_configure() {
    startup_settings.screen_width = 640;
    startup_settings.screen_height = 480;
    startup_settings.frame_rate = 60;
    startup_settings.fullscreen = 0;
    startup_settings.multisample = 0;
    startup_settings.debug_mode = 0;
    startup_settings.mouse_hidden = 0;
    startup_settings.window_title = "Tumblefoot_3";
}

// Until the level is playable: empty frames at the frame rate until Escape, Alt+F4 or the
// window's close button ends the program.
int32_t game_main() {
    for (;;) screen_present();
}
