// A small game on the runtime's own entry for the window, input and presentation tests, steered
// by WINDOW_PROBE_* variables. It presents frames until something ends it, logging key changes
// (and, per WINDOW_PROBE_ACTION, typed characters, focus changes, a switch to full screen, a long
// frame) and writing its frame count to a status file.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "runtime/gfx2d/display_service.h"
#include "runtime/platform/events.h"
#include "runtime/platform/video.h"
#include "runtime/runtime.h"

namespace {

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool env_is(const char* name, const char* value) { return std::strcmp(env(name), value) == 0; }

// The keys whose changes are logged as "down N" / "up N".
constexpr int32_t kWatchedKeys[] = {1,  2,  11, 14,  15,  21,  28,  29,  30,  42,  44,  54,  56,
                                    57, 62, 79, 156, 157, 184, 199, 200, 203, 205, 208, 210, 211};

void box_to_log(const char* caption, const char* text) {
    std::string line = std::string("box: ") + caption + " | " + text;
    log_append(line.c_str());
}

void log_line(const std::string& line) { log_append(line.c_str()); }

bool file_exists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

// Logs "down N" / "up N" when the state key_state reports for a key changes.
struct KeyWatch {
    bool down[256] = {};
    void check(int32_t code) {
        bool now = key_state(code) != 0;
        if (now == down[code]) return;
        down[code] = now;
        log_line(std::string(now ? "down " : "up ") + std::to_string(code));
    }
};

bool window_has_focus() {
    const rt::PlatformWindow* window = rt::display_service() ? rt::display_service()->window() : nullptr;
    return window && window->has_input_focus();
}

void status_write(long frames) {
    std::string path = env("WINDOW_PROBE_STATUS");
    if (path.empty()) return;
    std::string tmp = path + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f) return;
    std::fprintf(f, "%ld\n", frames);
    std::fclose(f);
    std::rename(tmp.c_str(), path.c_str());
}

void inject(rt::PlatformEventKind kind, int32_t code) {
    rt::PlatformEvent e;
    e.kind = kind;
    e.code = code;
    rt::platform_event_inject(rt::display_service()->window(), e);
}

double on_message() {
    if (env_is("WINDOW_PROBE_HOOK", "1")) log_append("hook");
    return 0;
}

}  // namespace

const NamedFunction game_functions[] = {{on_message, "VRN_WIN32_MSG"}, {nullptr, nullptr}};

void game_configure() {
    const char* title = env("WINDOW_PROBE_TITLE");
    startup_settings.window_title = *title ? title : "Probe";
    startup_settings.fullscreen = env_is("WINDOW_PROBE_FULLSCREEN", "1") ? 1 : 0;
    startup_settings.debug_mode = env_is("WINDOW_PROBE_DEBUG", "1") ? 1 : 0;
    if (*env("WINDOW_PROBE_WIDTH")) startup_settings.screen_width = std::atoi(env("WINDOW_PROBE_WIDTH"));
    if (*env("WINDOW_PROBE_HEIGHT")) startup_settings.screen_height = std::atoi(env("WINDOW_PROBE_HEIGHT"));
    if (env_is("WINDOW_PROBE_BOX", "1")) rt::platform_message_box_hook_set(box_to_log);
}

int32_t game_main() {
    std::string action = env("WINDOW_PROBE_ACTION");
    if (action == "no_escape") escape_ends_program_set(0);
    if (action == "inject_escape") {
        inject(rt::PlatformEventKind::activate, 0);
        inject(rt::PlatformEventKind::key_down, 1);
    }
    if (action == "inject_close") inject(rt::PlatformEventKind::close, 0);
    if (action == "return") return 0;
    if (action == "focus_hold") pause_on_focus_loss_set(0);
    if (*env("WINDOW_PROBE_CLEAR"))
        screen_clear(static_cast<int32_t>(std::strtol(env("WINDOW_PROBE_CLEAR"), nullptr, 0)));

    log_append("running");
    KeyWatch keys;
    bool focus = true;
    for (long frames = 1;; ++frames) {
        screen_present();
        for (int32_t code : kWatchedKeys) keys.check(code);
        if (action == "chars") {
            if (int32_t c = key_char_get()) log_line("char " + std::to_string(c));
        } else if (action == "focus_hold") {
            // Reads between frames too: a focus change may reach the program inside any key read.
            for (int i = 0; i < 10; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                keys.check(205);
            }
            if (window_has_focus() != focus) {
                focus = !focus;
                log_line(focus ? "focus 1" : "focus 0");
            }
        } else if (action == "fullscreen_later" && frames == 10) {
            screen_mode_set(1024, 768, 1);
            log_append("switched");
        } else if (action == "tap_wait" && frames == 10) {
            // One long frame without pumping, until the test has sent its tap: press and release
            // both wait in the queue when the next frame starts.
            log_append("waiting");
            std::string go = std::string(env("WINDOW_PROBE_STATUS")) + ".go";
            while (!file_exists(go)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        status_write(frames);
    }
}
