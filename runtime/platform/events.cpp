// SDL events translated into the runtime's window messages, event injection for tests, and the
// close request of SIGTERM/SIGINT.
#include "runtime/platform/events.h"

#include <SDL2/SDL.h>
#include <signal.h>

#include <vector>

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

// The first character of UTF-8 text as Latin-1: 1 … 255, or kTypedOutsideLatin1 beyond it (or
// when the text is not UTF-8); 0 for empty text.
int32_t latin1_of_utf8(const char* text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    if (s[0] == 0) return 0;
    if (s[0] < 0x80) return s[0];
    // Two-byte sequences C2 80 … C3 BF are U+0080 … U+00FF; every other lead byte is beyond.
    if ((s[0] == 0xC2 || s[0] == 0xC3) && (s[1] & 0xC0) == 0x80) return ((s[0] & 0x1F) << 6) | (s[1] & 0x3F);
    return kTypedOutsideLatin1;
}

// The system queues the text a key press typed directly after the press: takes it when it is the
// next queued event with a type in first … last, and gives its character.
int32_t typed_text_take(uint32_t first, uint32_t last) {
    SDL_Event next;
    if (SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, first, last) != 1) return 0;
    if (next.type != SDL_TEXTINPUT) return 0;
    SDL_PeepEvents(&next, 1, SDL_GETEVENT, SDL_TEXTINPUT, SDL_TEXTINPUT);
    return latin1_of_utf8(next.text.text);
}

// Whether a focus-lost message waits in the queue.
bool focus_loss_queued() {
    int count = SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
    if (count <= 0) return false;
    std::vector<SDL_Event> events(static_cast<size_t>(count));
    count = SDL_PeepEvents(events.data(), count, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
    for (int i = 0; i < count; ++i) {
        if (events[static_cast<size_t>(i)].window.event == SDL_WINDOWEVENT_FOCUS_LOST) return true;
    }
    return false;
}

// Set by the signal handler, read on the main thread. A handler gets no context argument, so the
// flag it writes has to live at namespace scope; sig_atomic_t is the only type it may write.
volatile sig_atomic_t g_close_signal = 0;

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
    // A repeated press takes its text too, so that text never reaches the pump on its own.
    if (e.type == SDL_KEYDOWN) out.character = typed_text_take(SDL_FIRSTEVENT, SDL_LASTEVENT);
    return true;
}

void platform_key_events_take(void (*sink)(const PlatformEvent& event, void* context), void* context) {
    if (!SDL_WasInit(SDL_INIT_EVENTS)) return;
    SDL_PumpEvents();
    if (focus_loss_queued()) return;
    // One at a time, so that a press and the text it typed (the next key-range event) stay together.
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_KEYDOWN, SDL_TEXTINPUT) == 1) {
        PlatformEvent out;
        translate(nullptr, e, out);
        if (e.type == SDL_KEYDOWN) out.character = typed_text_take(SDL_KEYDOWN, SDL_TEXTINPUT);
        if (out.kind != PlatformEventKind::other) sink(out, context);
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

// ---- close signals ----

struct PlatformCloseSignals::Saved {
    struct sigaction term {};
    struct sigaction interrupt {};
};

PlatformCloseSignals::PlatformCloseSignals() : saved_(std::make_unique<Saved>()) {
    struct sigaction sa {};
    sa.sa_handler = on_close_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, &saved_->term);
    sigaction(SIGINT, &sa, &saved_->interrupt);
}

PlatformCloseSignals::~PlatformCloseSignals() {
    sigaction(SIGTERM, &saved_->term, nullptr);
    sigaction(SIGINT, &saved_->interrupt, nullptr);
}

bool PlatformCloseSignals::pending() const { return g_close_signal != 0; }

}  // namespace rt
