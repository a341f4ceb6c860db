// Process start-up, the one end sequence, and the values the game sets before start-up.
#pragma once

#include <cstdint>

#include "runtime/core/errors.h"
#include "runtime/values/rt_string.h"

// Written by the game's game_configure before the runtime starts; read once by runtime_start.
struct StartupSettings {
    int32_t screen_width = 640;
    int32_t screen_height = 480;
    int32_t frame_rate = 60;  // 0 or less: the 2 ms frame time floor
    int32_t fullscreen = 0;
    int32_t multisample = 0;
    int32_t debug_mode = 0;   // end lines in the log; focus loss never pauses
    int32_t mouse_hidden = 0;
    RtString window_title;
};

extern StartupSettings startup_settings;

// The game's side: defined by every game program.
void game_configure();
int32_t game_main();

// Creates every runtime service in order. show_command 0 keeps the window hidden.
int32_t runtime_start(int32_t show_command, const RtString& window_title);
// Releases every runtime service in order; safe to call more than once.
void runtime_shutdown();
// The end sequence: debug end lines, shut-down, exit code 0. Never returns.
[[noreturn]] void program_end();


// The game's table of named functions, ended by an entry whose function is null. Every game
// program defines it (an empty game: { { nullptr, nullptr } }).
extern const NamedFunction game_functions[];
