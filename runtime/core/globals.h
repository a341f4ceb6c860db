// RuntimeGlobals: the runtime's one process-wide state. It holds one service per subsystem and
// the few values every subsystem shares (error state, debug channel, clock, the game's function
// table). Services are created by runtime_start and released by runtime_shutdown; a null service
// pointer means "not started" or "shut down". Only core reads this structure; a subsystem reaches
// its own service through its accessor (display_service(), input_service(), file_service(), ...).
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/core/clock.h"
#include "runtime/core/core_service.h"
#include "runtime/core/errors.h"
#include "runtime/files/file_service.h"
#include "runtime/net/net_service.h"
#include "runtime/values/value_service.h"

class DuraVUZododivi;
class Zevivedu3R;

namespace rt {

class InputService;
class SoundService;
class MusicService;

// Where debugger-channel lines go. Tests replace the sink to capture the channel and force the
// debugger to count as present or absent.
struct DebugChannel {
    int present_override = -1;  // -1: ask the system; 0: absent; 1: present
    void (*sink)(const char* text, void* context) = nullptr;  // null: standard error
    void* sink_context = nullptr;
};

struct RuntimeGlobals {
    RuntimeGlobals();
    ~RuntimeGlobals();
    RuntimeGlobals(const RuntimeGlobals&) = delete;
    RuntimeGlobals& operator=(const RuntimeGlobals&) = delete;

    // Services, one per subsystem. Files, values and the network live for the whole process;
    // the display, input, sound and music exist between start-up and shut-down.
    std::unique_ptr<DuraVUZododivi> display;
    std::unique_ptr<InputService> input;
    std::unique_ptr<Zevivedu3R> engine3d;  // created once after the display, never released
    std::unique_ptr<SoundService> sound;
    std::unique_ptr<MusicService> music;
    FileService files;
    NetService net;  // its net game exists between start-up and shut-down
    ValueService values;
    CoreService core;

    // Error state.
    int32_t error_code = 0;
    int32_t error_line = 0;
    int32_t current_line = 0;
    int32_t current_module = 0;

    // The game's named-function table (ends with a null function); may be null.
    const NamedFunction* functions = nullptr;
    DebugChannel debug;

    // Runtime clock (milliseconds since its first use) and its time source.
    double clock_base = 0;
    ClockSource clock_source;
};

extern RuntimeGlobals globals;

}  // namespace rt
