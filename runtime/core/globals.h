// RuntimeGlobals: the runtime's one process-wide state. Services are created by runtime_start
// and released by runtime_shutdown; a null service pointer means "not started" or "shut down".
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/core/clock.h"
#include "runtime/core/errors.h"
#include "runtime/files/file_state.h"
#include "runtime/files/system_state.h"
#include "runtime/values/random.h"
#include "runtime/values/rt_string.h"

class DuraVUZododivi;
struct DataBlock;

namespace rt {

class InputState;
class PlatformWindow;

struct RuntimeGlobals {
    RuntimeGlobals();
    ~RuntimeGlobals();
    RuntimeGlobals(const RuntimeGlobals&) = delete;
    RuntimeGlobals& operator=(const RuntimeGlobals&) = delete;

    // Services.
    std::unique_ptr<DuraVUZododivi> display;
    PlatformWindow* window = nullptr;  // the display's window, copied after creation
    std::unique_ptr<InputState> input;

    // Texts kept by start-up.
    RtString title_copy;    // caption without the pause marker
    RtString command_line;  // the process command line, program name included

    // Window and pause state.
    uint8_t pause_allowed = 0;
    uint8_t paused = 0;
    uint8_t bring_to_front_requested = 0;
    int32_t quit_hook_done = 0;

    // Window messages and frame presentation.
    int32_t message_hook_state = -1;  // -1 not looked up yet, 0 the game has none, 1 found
    GameFunction message_hook = nullptr;
    uint8_t escape_ends_program = 1;

    // Frame stamps on the runtime clock, in milliseconds.
    double frame_stamp = 0;
    double previous_frame_stamp = 0;
    double start_stamp = 0;

    // Error state.
    int32_t error_code = 0;
    int32_t error_line = 0;
    int32_t current_line = 0;
    int32_t current_module = 0;

    // The game's named-function table (ends with a null function); may be null.
    const NamedFunction* functions = nullptr;
    DebugChannel debug;

    // Values.
    DataBlock* data_current = nullptr;
    IsaacState random;

    // Files: resolvers, channels, line store, settings; listing, modules, platform queries.
    FileState files;
    SystemState system;

    // Runtime clock (milliseconds since its first use) and its time source.
    double clock_base = 0;
    ClockSource clock_source;

    // Tests: replaces the system's message box (null: the system's, which blocks until closed).
    void (*message_box)(const char* caption, const char* text) = nullptr;
};

extern RuntimeGlobals globals;

}  // namespace rt
