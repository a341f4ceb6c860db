// SDL events translated into the runtime's window messages, event injection for tests, and the
// close request of SIGTERM/SIGINT.
#include "runtime/platform/events.h"

#include <SDL2/SDL.h>
#include <signal.h>

#include "runtime/platform/keys.h"
#include "runtime/platform/video.h"

namespace rt {
namespace {

bool ours(const PlatformWindow* window, uint32_t window_id) { return window && window_id == window->id(); }

void translate(const PlatformWindow* window, const SDL_Event& e, PlatformEvent& out) {
    out = PlatformEvent{};
    switch (e.type) {
        case SDL_WINDOWEVENT:
            out.for_window = ours(window, e.window.windowID);
            if (!out.for_window) break;
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) out.kind = PlatformEventKind::activate;
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) out.kind = PlatformEventKind::deactivate;
            if (e.window.event == SDL_WINDOWEVENT_CLOSE) out.kind = PlatformEventKind::close;
            break;
        case SDL_QUIT:
            out.kind = PlatformEventKind::close;
            out.for_window = true;
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            out.for_window = ours(window, e.key.windowID);
            if (e.key.repeat) break;
            out.kind = e.type == SDL_KEYDOWN ? PlatformEventKind::key_down : PlatformEventKind::key_up;
            out.code = platform_scan_code_from_sdl(e.key.keysym.scancode);
            break;
        case SDL_MOUSEMOTION:
            out.for_window = ours(window, e.motion.windowID);
            out.kind = PlatformEventKind::mouse_motion;
            out.x = e.motion.xrel;
            out.y = e.motion.yrel;
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            out.for_window = ours(window, e.button.windowID);
            out.kind = e.type == SDL_MOUSEBUTTONDOWN ? PlatformEventKind::mouse_button_down
                                                     : PlatformEventKind::mouse_button_up;
            out.code = e.button.button;
            break;
        case SDL_MOUSEWHEEL:
            out.for_window = ours(window, e.wheel.windowID);
            out.kind = PlatformEventKind::mouse_wheel;
            out.y = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
            break;
        case SDL_JOYDEVICEADDED:
            out.kind = PlatformEventKind::joystick_added;
            out.code = e.jdevice.which;
            break;
        case SDL_JOYDEVICEREMOVED:
            out.kind = PlatformEventKind::joystick_removed;
            out.code = e.jdevice.which;
            break;
        default:
            break;
    }
}

// Set by the signal handler, read on the main thread.
volatile sig_atomic_t g_close_signal = 0;
struct sigaction g_old_term;
struct sigaction g_old_int;
bool g_signals_installed = false;

void on_close_signal(int sig) {
    if (g_close_signal) {
        // The first request was not served (the program does not pump): end the default way.
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    g_close_signal = 1;
}

}  // namespace

bool platform_event_poll(const PlatformWindow* window, PlatformEvent& out) {
    if (!SDL_WasInit(SDL_INIT_EVENTS)) return false;
    SDL_Event e;
    if (SDL_PollEvent(&e) != 1) return false;
    translate(window, e, out);
    return true;
}

void platform_key_events_take(void (*sink)(const PlatformEvent& event, void* context), void* context) {
    if (!SDL_WasInit(SDL_INIT_EVENTS)) return;
    SDL_PumpEvents();
    SDL_Event events[32];
    for (;;) {
        int n = SDL_PeepEvents(events, 32, SDL_GETEVENT, SDL_KEYDOWN, SDL_KEYUP);
        for (int i = 0; i < n; ++i) {
            PlatformEvent out;
            translate(nullptr, events[i], out);
            if (out.kind != PlatformEventKind::other) sink(out, context);
        }
        if (n < 32) break;
    }
}

bool platform_event_inject(const PlatformWindow* window, const PlatformEvent& event) {
    if (!SDL_WasInit(SDL_INIT_EVENTS)) return false;
    SDL_Event e;
    SDL_zero(e);
    uint32_t id = window ? window->id() : 0;
    switch (event.kind) {
        case PlatformEventKind::activate:
        case PlatformEventKind::deactivate:
        case PlatformEventKind::close:
            e.type = SDL_WINDOWEVENT;
            e.window.windowID = id;
            e.window.event = event.kind == PlatformEventKind::activate     ? SDL_WINDOWEVENT_FOCUS_GAINED
                             : event.kind == PlatformEventKind::deactivate ? SDL_WINDOWEVENT_FOCUS_LOST
                                                                           : SDL_WINDOWEVENT_CLOSE;
            break;
        case PlatformEventKind::key_down:
        case PlatformEventKind::key_up: {
            e.type = event.kind == PlatformEventKind::key_down ? SDL_KEYDOWN : SDL_KEYUP;
            e.key.windowID = id;
            e.key.state = event.kind == PlatformEventKind::key_down ? SDL_PRESSED : SDL_RELEASED;
            auto sdl = static_cast<SDL_Scancode>(platform_sdl_from_scan_code(event.code));
            e.key.keysym.scancode = sdl;
            e.key.keysym.sym = SDL_GetKeyFromScancode(sdl);
            break;
        }
        case PlatformEventKind::mouse_motion:
            e.type = SDL_MOUSEMOTION;
            e.motion.windowID = id;
            e.motion.xrel = event.x;
            e.motion.yrel = event.y;
            break;
        case PlatformEventKind::mouse_button_down:
        case PlatformEventKind::mouse_button_up:
            e.type = event.kind == PlatformEventKind::mouse_button_down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
            e.button.windowID = id;
            e.button.button = static_cast<uint8_t>(event.code);
            e.button.state = event.kind == PlatformEventKind::mouse_button_down ? SDL_PRESSED : SDL_RELEASED;
            break;
        case PlatformEventKind::mouse_wheel:
            e.type = SDL_MOUSEWHEEL;
            e.wheel.windowID = id;
            e.wheel.y = event.y;
            e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
            break;
        default:
            return false;
    }
    return SDL_PushEvent(&e) == 1;
}

void platform_close_signals_install() {
    if (g_signals_installed) return;
    struct sigaction sa {};
    sa.sa_handler = on_close_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, &g_old_term);
    sigaction(SIGINT, &sa, &g_old_int);
    g_signals_installed = true;
}

void platform_close_signals_restore() {
    if (!g_signals_installed) return;
    sigaction(SIGTERM, &g_old_term, nullptr);
    sigaction(SIGINT, &g_old_int, nullptr);
    g_signals_installed = false;
}

bool platform_close_signal_pending() { return g_close_signal != 0; }

}  // namespace rt
