// The runtime's window messages: the window procedure, the message pump with the game's message
// hook, pausing on focus loss, and the commands that wait for input. Main thread only.
#pragma once

#include <cstdint>

#include "runtime/core/errors.h"

class DuraVUZododivi;
namespace rt {
struct PlatformEvent;
}

// Reacts to one message of the window: activation pauses and resumes, a close request ends the
// program, input events feed the input state.
void window_procedure(const rt::PlatformEvent& event);
// Dispatches every pending message; with a hook, calls it once before each message of the window.
// A pending SIGTERM/SIGINT is served as a close request. Always 1.
int32_t message_pump(DuraVUZododivi* display, GameFunction hook);
// The game's "VRN_WIN32_MSG" function, looked up on first use; null when the game has none.
GameFunction message_hook_get();
// Calls the game's "VRN_WIN32_MSG" once when it has one.
void message_hook_call();
// Whether losing the focus pauses the program.
void pause_on_focus_loss_set(int32_t flag);
// Waits for one full key press (down, then up).
void key_wait();
// Waits for one full mouse-button click.
void mouse_wait();
// Waits briefly (at most 15 passes of 5 ms) for any key, mouse or joystick activity.
void input_wait_change();
