// The order in which the runtime's services are created and released, and the one end sequence
// through which every way of stopping leaves the process (always with exit code 0).
#include "runtime/core/lifecycle.h"

#include <cstdio>
#include <string>

#include "runtime/core/clock.h"
#include "runtime/core/errors.h"
#include "runtime/core/globals.h"
#include "runtime/core/frame.h"
#include "runtime/core/movie.h"
#include "runtime/core/screen_mode.h"
#include "runtime/files/file_service.h"
#include "runtime/files/memory_files.h"
#include "runtime/files/resolver.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/gfx3d/engine3d.h"
#include "runtime/input/input_service.h"
#include "runtime/net/net_service.h"
#include "runtime/sound/music_service.h"
#include "runtime/sound/sound_service.h"
#include "runtime/platform/events.h"
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

// Loaders find their files the way every other asset is found: on disk, else in the program's
// pack (handed out as a memory file), or as a live memory file name.
bool asset_file_find(const char* name, FileBytes& out) {
    out = FileBytes{};
    std::string resolved;
    if (!path_resolve(main_resolver(), name, resolved, true)) return false;
    if (!is_memory_file_name(resolved.c_str())) return file_bytes_read_plain(resolved.c_str(), out);
    MemoryView view;
    if (!memory_file_lookup(resolved.c_str(), view)) return false;
    out.owner = view.owner_;
    out.data = view.data_;
    out.size = static_cast<size_t>(view.size_);
    return true;
}

// Music and movies are played from paths: a pack entry becomes a temporary file.
bool media_path_find(const char* name, std::string& path) {
    return path_resolve(media_resolver(), name, path, false);
}

// Font 0 from "smalfont.png", else "smalfont.bmp", when the search finds one; else the built-in
// font stays.
void startup_font_load(DuraVUZododivi& display) {
    for (const char* name : {"smalfont.png", "smalfont.bmp"}) {
        std::string resolved;
        if (path_resolve(main_resolver(), name, resolved, true)) {
            display.font_load(name, 0);
            break;
        }
    }
    display.font_set(0);
}

}  // namespace

}  // namespace rt

int32_t runtime_start(int32_t show_command, const RtString& window_title) {
    using rt::globals;
    rt::platform_append_file(rt::platform_temp_dir() + "ErrorLog.txt", "", 0, rt::AppendMode::kFreshExclusive);
    globals.core.pause_allowed = 1;
    clock_init();
    log_append("Init GFX");

    globals.display = std::make_unique<DuraVUZododivi>();
    if (!globals.display->display_create(startup_settings.screen_width, startup_settings.screen_height, 0,
                                         startup_settings.frame_rate, startup_settings.multisample)) {
        return 0;
    }
    globals.display->set_caption(window_title);
    globals.core.title_copy = window_title;
    globals.core.close_signals = std::make_unique<rt::PlatformCloseSignals>();

    random_seed(rt::truncate_to_int32(clock_now()));
    globals.net.game_create();

    if (!globals.engine3d) globals.engine3d = std::make_unique<Zevivedu3R>();
    globals.engine3d->file_reader_set(rt::asset_file_find);

    globals.input = std::make_unique<rt::InputService>();
    globals.sound = std::make_unique<rt::SoundService>();
    globals.sound->file_reader_set(rt::asset_file_find);
    globals.music = std::make_unique<rt::MusicService>();
    globals.music->path_resolver_set(rt::media_path_find);

    if (startup_settings.fullscreen != 0) {
        globals.display->display_set_fullscreen();
    } else {
        globals.display->display_set_windowed();
    }

    rt::input_init(globals.display->window(), startup_settings.mouse_hidden);
    globals.sound->device_open();
    rt::display_geometry_push();

    rt::files_start(rt::platform_executable_path());
    rt::enter_executable_dir();

    globals.display->picture_reader_set(rt::asset_file_find);
    globals.display->background_colour_set(0);

    double now = clock_now();
    globals.core.frame_stamp = globals.core.previous_frame_stamp = globals.core.start_stamp = now;

    frame_swap(globals.display.get(), nullptr);
    globals.display->viewport_set(0, 0, 0, 0);
    globals.display->font_builtin_load(0);
    rt::startup_font_load(*globals.display);

    globals.core.paused = 0;
    now = clock_now();
    globals.core.frame_stamp = globals.core.previous_frame_stamp = globals.core.start_stamp = now;

    if (show_command == 0) globals.display->display_hide();
    rt::input_mouse_mode_apply(startup_settings.mouse_hidden);

    log_append("Init Finalized");
    return 1;
}

void runtime_shutdown() {
    using rt::globals;
    if (!globals.core.quit_hook_done) {
        globals.core.quit_hook_done = 1;
        function_call_by_name(RtString("VRN_ON_QUIT"));
    }
    if (!globals.display) return;
    log_append("Shut down VRN");
    rt::movie_stop();
    if (globals.music) globals.music->stop();
    rt::enter_executable_dir();
    rt::files_close_channels();
    rt::files_flush();

    // The net game's worker stops before its sockets close.
    globals.net.game_release();

    rt::input_shutdown();
    globals.input.reset();
    globals.music.reset();
    globals.sound.reset();

    // GL objects of the 3D engine go while the display's context still exists.
    if (globals.engine3d) globals.engine3d->shaders().release();
    globals.display.reset();
    rt::files_release();
    rt::module_table_release();
    globals.core.close_signals.reset();
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
