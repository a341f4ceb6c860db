// The event queue seen as the runtime's window messages: SDL events become PlatformEvents, and
// SIGTERM/SIGINT become a close request served on the main thread.
#pragma once

#include <cstdint>
#include <memory>

namespace rt {

class PlatformWindow;

enum class PlatformEventKind : uint8_t {
    other,       // nothing the runtime reacts to (exposure, movement, text, ...)
    activate,    // the window gained the input focus
    deactivate,  // the window lost the input focus
    close,       // close box, window manager, quit request
    key_down,    // code: runtime scan code (0 when the key has none); character: what it typed
    key_up,
    mouse_motion,       // x, y: relative movement in pixels
    mouse_button_down,  // code: 1 left, 2 middle, 3 right, 4 and up other buttons
    mouse_button_up,
    mouse_wheel,       // y: wheel steps, positive away from the user
    joystick_added,    // code: device index to open
    joystick_removed,  // code: instance id of the device that went away
};

struct PlatformEvent {
    PlatformEventKind kind = PlatformEventKind::other;
    bool for_window = false;  // a message of the runtime's window (the game's message hook sees it)
    int32_t code = 0;
    int32_t x = 0;
    int32_t y = 0;
    // key_down: the character the press typed in the keyboard layout (Shift, Caps Lock, AltGr and
    // dead keys applied): 1 … 255 (Latin-1); 0 when it typed nothing (or was injected);
    // kTypedOutsideLatin1 when it typed a character beyond Latin-1.
    int32_t character = 0;
};

constexpr int32_t kTypedOutsideLatin1 = -1;

// Takes the next pending event, translated for window (may be null). False when none is pending.
bool platform_event_poll(const PlatformWindow* window, PlatformEvent& out);

// Takes every pending key event out of the queue (fetching new ones from the system first) and
// hands each to sink; other events stay queued in order. While a focus loss is queued nothing is
// taken: the system queues the releases of held keys together with it (just before it), and the
// pump must see them with the focus loss, in order, so that a key held when the focus goes keeps
// its state however the calls fall in time.
void platform_key_events_take(void (*sink)(const PlatformEvent& event, void* context), void* context);

// Puts an event into the queue as if it came from the system (activate, deactivate, close, key,
// mouse and wheel kinds). Safe from any thread. False when the queue refused it.
bool platform_event_inject(const PlatformWindow* window, const PlatformEvent& event);

// While it lives, SIGTERM and SIGINT set a pending close request instead of killing the process;
// a second signal while one is still pending ends the process the default way. The destructor
// puts back the handlers that were in force before. Signal handlers belong to the process: keep
// one object at a time.
class PlatformCloseSignals {
public:
    PlatformCloseSignals();
    ~PlatformCloseSignals();
    PlatformCloseSignals(const PlatformCloseSignals&) = delete;
    PlatformCloseSignals& operator=(const PlatformCloseSignals&) = delete;

    // True once a signal's close request is pending; it stays pending, since serving it ends the
    // program.
    bool pending() const;

private:
    struct Saved;  // the handlers in force before
    std::unique_ptr<Saved> saved_;
};

}  // namespace rt
