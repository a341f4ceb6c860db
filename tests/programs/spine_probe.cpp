// A tiny game on the runtime's own entry, steered by PROBE_* environment variables, for the
// process-level tests of start-up, shut-down and the fatal path.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/runtime.h"

namespace {

const char* probe_env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

double on_quit() {
    if (std::strcmp(probe_env("PROBE_QUIT_HOOK"), "1") == 0) log_append("quit hook");
    return 0;
}

}  // namespace

const NamedFunction game_functions[] = {{on_quit, "VRN_ON_QUIT"}, {nullptr, nullptr}};

void game_configure() {
    startup_settings.window_title = "Probe";
    startup_settings.debug_mode = std::strcmp(probe_env("PROBE_DEBUG"), "1") == 0 ? 1 : 0;
}

int32_t game_main() {
    std::string action = probe_env("PROBE_ACTION");
    if (action == "cwd") {
        char buf[4096];
        if (getcwd(buf, sizeof buf)) log_append((std::string("cwd=") + buf).c_str());
    } else if (action == "out_of_bounds") {
        RtArray<int32_t> values;
        array_dim(values, 3, 0, 0, 0);
        source_position_set(2, 40);
        array_element_1d(values, 3) = 1;
        log_append("not reached");
    } else if (action == "command_line") {
        log_append(RtString("cmd=") + command_line_get());
    }
    return 0;
}
