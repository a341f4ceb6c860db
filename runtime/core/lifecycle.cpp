// The order in which the runtime's services are created and released, and the one end sequence
// through which every way of stopping leaves the process (always with exit code 0).
#include "runtime/core/lifecycle.h"

#include <cstdio>
#include <string>

#include "runtime/core/clock.h"
#include "runtime/core/errors.h"
#include "runtime/core/globals.h"
#include "runtime/gfx2d/display.h"
#include "runtime/platform/os.h"
#include "runtime/values/random.h"
#include "runtime/values/truncate.h"

namespace rt {
namespace {

// The executable's folder: its full path cut at the last slash.
std::string executable_dir() {
    std::string path = platform_executable_path();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

void enter_executable_dir() {
    std::string dir = executable_dir();
    if (!dir.empty()) platform_set_current_dir(dir);
}

}  // namespace

void run_program(const NamedFunction* functions) {
    globals.functions = functions;
    globals.command_line = RtString(platform_command_line().c_str());
    game_configure();
    if (!runtime_start(1, startup_settings.window_title)) {
        // Without a display nothing the game does can be shown: end cleanly right away.
        program_end();
    }
    globals.error_line = 0;
    globals.error_code = 0;
    globals.current_line = 0;
    game_main();
    program_end();
}

}  // namespace rt

int32_t runtime_start(int32_t show_command, const RtString& window_title) {
    using rt::globals;
    rt::platform_delete_file(rt::platform_temp_dir() + "ErrorLog.txt");
    globals.pause_allowed = 1;
    clock_init();
    log_append("Init GFX");

    globals.display = std::make_unique<DuraVUZododivi>();
    if (!globals.display->display_create(startup_settings.screen_width, startup_settings.screen_height, 0,
                                         startup_settings.frame_rate, startup_settings.multisample)) {
        return 0;
    }
    globals.window = globals.display->window();
    globals.display->set_caption(window_title);
    globals.title_copy = window_title;

    random_seed(rt::truncate_to_int32(clock_now()));

    if (startup_settings.fullscreen != 0) {
        globals.display->display_set_fullscreen();
    } else {
        globals.display->display_set_windowed();
    }

    rt::enter_executable_dir();

    double now = clock_now();
    globals.frame_stamp = globals.previous_frame_stamp = globals.start_stamp = now;

    globals.paused = 0;
    now = clock_now();
    globals.frame_stamp = globals.previous_frame_stamp = globals.start_stamp = now;

    if (show_command == 0) globals.display->display_hide();

    log_append("Init Finalized");
    return 1;
}

void runtime_shutdown() {
    using rt::globals;
    if (!globals.quit_hook_done) {
        globals.quit_hook_done = 1;
        function_call_by_name(RtString("VRN_ON_QUIT"));
    }
    if (!globals.display) return;
    log_append("Shut down VRN");
    rt::enter_executable_dir();

    globals.display.reset();
    globals.window = nullptr;
    log_append("vrn is shut down");
}

void program_end() {
    using rt::globals;
    if (startup_settings.debug_mode != 0) {
        char buf[32];
        log_append("-End On Line");
        std::snprintf(buf, sizeof buf, "%d", globals.error_code);
        log_append(buf);
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(globals.error_line) - 1);
        log_append(buf);
        std::snprintf(buf, sizeof buf, "%d", globals.current_line);
        log_append(buf);
        std::snprintf(buf, sizeof buf, "%d", globals.current_module);
        log_append(buf);
    }
    runtime_shutdown();
    rt::platform_exit(0);
}
