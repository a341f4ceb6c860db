// RuntimeGlobals: the runtime's one process-wide state. Services are created by runtime_start
// and released by runtime_shutdown; a null service pointer means "not started" or "shut down".
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/core/errors.h"
#include "runtime/values/random.h"
#include "runtime/values/rt_string.h"

class DuraVUZododivi;
struct DataBlock;

namespace rt {

struct RuntimeGlobals {
    RuntimeGlobals();
    ~RuntimeGlobals();
    RuntimeGlobals(const RuntimeGlobals&) = delete;
    RuntimeGlobals& operator=(const RuntimeGlobals&) = delete;

    // Services.
    std::unique_ptr<DuraVUZododivi> display;
    void* window = nullptr;  // the display's window, copied after creation

    // Texts kept by start-up.
    RtString title_copy;    // caption without the pause marker
    RtString command_line;  // the process command line, program name included

    // Window and pause state.
    uint8_t pause_allowed = 0;
    uint8_t paused = 0;
    uint8_t bring_to_front_requested = 0;
    int32_t quit_hook_done = 0;

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

    // Runtime clock (milliseconds since its first use).
    double clock_base = 0;
};

extern RuntimeGlobals globals;

}  // namespace rt
