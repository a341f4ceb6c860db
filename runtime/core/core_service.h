// Core's own state: the caption, the pause, the game's message hook, the exit keys and the frame
// stamps of frame presentation. Main thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/core/errors.h"
#include "runtime/platform/events.h"
#include "runtime/values/rt_string.h"

namespace rt {

struct CoreService {
    // Texts kept by start-up.
    RtString title_copy;    // caption without the pause marker
    RtString command_line;  // the process command line, program name included

    // Window and pause state.
    uint8_t pause_allowed = 0;
    uint8_t paused = 0;
    uint8_t bring_to_front_requested = 0;
    int32_t quit_hook_done = 0;
    // SIGTERM and SIGINT become a close request between start-up and shut-down.
    std::unique_ptr<PlatformCloseSignals> close_signals;

    // Window messages and frame presentation.
    int32_t message_hook_state = -1;  // -1 not looked up yet, 0 the game has none, 1 found
    GameFunction message_hook = nullptr;
    uint8_t escape_ends_program = 1;

    // Frame stamps on the runtime clock, in milliseconds.
    double frame_stamp = 0;
    double previous_frame_stamp = 0;
    double start_stamp = 0;
};

}  // namespace rt
