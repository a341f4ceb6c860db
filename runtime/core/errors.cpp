// Error state, the log file, the debugger channel and the named-function table.
#include "runtime/core/errors.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/core/globals.h"
#include "runtime/core/lifecycle.h"
#include "runtime/platform/os.h"
#include "runtime/values/truncate.h"

namespace rt {

const char* error_code_name(int32_t code) {
    switch (code) {
        case 0: return "success";
        case 3: return "no such file";
        case 7: return "out of memory";
        case 9: return "out of bounds";
        case 20: return "out of data";
        default: return "unknown error";
    }
}

void fatal(int32_t code) {
    error_code_set(code);
    program_end();
}

bool debugger_present() {
    if (globals.debug.present_override >= 0) return globals.debug.present_override != 0;
    return platform_debugger_present();
}

void debug_output(const char* text) {
    if (globals.debug.sink) {
        globals.debug.sink(text, globals.debug.sink_context);
    } else {
        platform_debug_output(text);
    }
}

}  // namespace rt

double error_code_set(double code) {
    rt::globals.error_line = rt::globals.current_line;
    rt::globals.error_code = rt::truncate_to_int32(code);
    return code;
}

void error_code_clear() { rt::globals.error_code = 0; }

RtString error_text() {
    char buf[64];
    int32_t code = rt::globals.error_code;
    std::snprintf(buf, sizeof buf, "%.4d %s", code, rt::error_code_name(code));
    return RtString(buf);
}

void source_position_set(int32_t module, int32_t line) {
    rt::globals.current_module = module;
    rt::globals.current_line = line;
}

void log_append(const char* text) {
    std::string path = rt::platform_temp_dir() + "ErrorLog.txt";
    std::string line = text ? text : "";
    line += "\r\n";
    // Never through a link, and only into a regular file of this user with one name (start-up
    // makes it anew, exclusively): in a shared folder anything else drops the line silently.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (rt::platform_append_file(path, line.data(), line.size())) return;
    }
}

void log_append(const RtString& text) { log_append(text.c_str()); }

void debug_print(const RtString& text) {
    if (!rt::debugger_present()) return;
    std::string line = "TX";
    line += text.c_str();
    rt::debug_output(line.c_str());
}

void debug_assert(int32_t value) {
    if (value != 0) return;
    debug_print(RtString("Assertion: Value = 0\n"));
    rt::fatal(kErrAssertion);
}

void debug_console_open() {}

GameFunction function_find(const char* name) {
    const NamedFunction* entry = rt::globals.functions;
    if (!entry || !name) return nullptr;
    for (; entry->function; ++entry) {
        if (entry->name && std::strcmp(entry->name, name) == 0) return entry->function;
    }
    return nullptr;
}

double function_call_by_name(const RtString& name) {
    if (GameFunction fn = function_find(name.c_str())) {
        fn();
        return 1;
    }
    if (std::strcmp(name.c_str(), "VRN_ON_QUIT") != 0 && std::strcmp(name.c_str(), "VRN_WIN32_MSG") != 0) {
        RtString text("CALLBYNAME \"");
        text.append(name);
        text.append("\" *** failed ***\n");
        debug_print(text);
    }
    return 0;
}
