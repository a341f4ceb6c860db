// Process entry of every game program: the game supplies game_configure, game_main and its
// table of named functions (game_functions); everything else is the runtime's.
#include "runtime/core/globals.h"
#include "runtime/platform/os.h"
#include "runtime/runtime.h"

int main() {
    rt::globals.functions = game_functions;
    rt::globals.core.command_line = RtString(rt::platform_command_line().c_str());
    game_configure();
    if (!runtime_start(1, startup_settings.window_title)) {
        // Without a display nothing the game does can be shown: end cleanly right away.
        program_end();
    }
    rt::globals.error_line = 0;
    rt::globals.error_code = 0;
    rt::globals.current_line = 0;
    game_main();
    program_end();
}
