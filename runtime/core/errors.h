// The runtime's error state, the log file, the debugger channel, assertions and the table of
// named game functions. No command throws: a failure sets the error code, a fatal one also ends
// the program through program_end.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// Error codes of the runtime.
enum RtErrorCode : int32_t {
    kErrSuccess = 0,
    kErrNoSuchFile = 3,
    kErrOutOfMemory = 7,
    kErrArrayAppend = 8,
    kErrOutOfBounds = 9,
    kErrOutOfData = 20,
    kErrAssertion = 21,
};

// A game function callable by name: no arguments, a double result. A table of these ends with
// an entry whose function is null.
using GameFunction = double (*)();
struct NamedFunction {
    GameFunction function;
    const char* name;
};

// error_line = current line, then error_code = code truncated toward zero; returns code.
double error_code_set(double code);
void error_code_clear();
// The current code as "%.4d %s", for example "0009 out of bounds".
RtString error_text();
void source_position_set(int32_t module, int32_t line);

// Appends one line (text + CR LF) to "ErrorLog.txt" in the temporary directory; silent on failure.
void log_append(const char* text);
void log_append(const RtString& text);

// Sends "TX" + text to an attached debugger; nothing without one.
void debug_print(const RtString& text);
// Ends the program with error code 21 when value is 0.
void debug_assert(int32_t value);
// With a debugger attached: a "BP" notice, then the window is brought back on the next frame.
void debug_breakpoint(int32_t value);
// The process's standard streams already exist on this platform: nothing to open.
void debug_console_open();

GameFunction function_find(const char* name);
double function_call_by_name(const RtString& name);

namespace rt {

// The fatal path of every bounds check: error_code_set(code), then program_end.
[[noreturn]] void fatal(int32_t code);

// Text of an error code without the number ("out of bounds", "unknown error", ...).
const char* error_code_name(int32_t code);

bool debugger_present();
void debug_output(const char* text);  // the raw channel: no prefix, no line end added

}  // namespace rt
