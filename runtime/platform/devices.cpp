// SDL pointer and joystick access, force feedback through SDL haptics or rumble, and virtual
// joysticks for tests.
#include "runtime/platform/devices.h"

#include <SDL2/SDL.h>

#include <utility>

#include "runtime/platform/sdl_common.h"
#include "runtime/platform/video.h"

namespace rt {
namespace {

// The last non-zero rumble a virtual joystick received (test seam only).
struct VirtualRumble {
    bool seen = false;
    uint16_t low = 0;
    uint16_t high = 0;
};
VirtualRumble g_virtual_rumble;

int SDLCALL virtual_rumble(void*, Uint16 low, Uint16 high) {
    if (low != 0 || high != 0) g_virtual_rumble = VirtualRumble{true, low, high};
    return 0;
}

}  // namespace

// ---- subsystems ----

std::unique_ptr<PlatformInputDevices> PlatformInputDevices::open() {
    sdl_prepare();
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return nullptr;
    // Force feedback is optional: without it joysticks still work.
    SDL_InitSubSystem(SDL_INIT_HAPTIC);
    return std::unique_ptr<PlatformInputDevices>(new PlatformInputDevices());
}

PlatformInputDevices::~PlatformInputDevices() {
    if (SDL_WasInit(SDL_INIT_HAPTIC)) SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

int32_t PlatformInputDevices::joystick_device_count() const {
    int n = SDL_NumJoysticks();
    return n < 0 ? 0 : n;
}

// ---- pointer ----

bool platform_pointer_position(const PlatformWindow* window, int32_t& x, int32_t& y) {
    if (!window || !SDL_WasInit(SDL_INIT_VIDEO)) return false;
    SDL_Window* sdl_window = SDL_GetWindowFromID(window->id());
    if (!sdl_window) return false;
    int px = 0, py = 0;
    if (SDL_GetMouseFocus() == sdl_window) {
        SDL_GetMouseState(&px, &py);
    } else {
        int wx = 0, wy = 0;
        SDL_GetGlobalMouseState(&px, &py);
        SDL_GetWindowPosition(sdl_window, &wx, &wy);
        px -= wx;
        py -= wy;
    }
    x = px;
    y = py;
    return true;
}

void platform_pointer_warp(const PlatformWindow* window, int32_t x, int32_t y) {
    if (!window || !SDL_WasInit(SDL_INIT_VIDEO)) return;
    if (SDL_Window* sdl_window = SDL_GetWindowFromID(window->id())) SDL_WarpMouseInWindow(sdl_window, x, y);
}

bool platform_pointer_relative_set(bool on) {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    return SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE) == 0;
}

void platform_pointer_show(bool show) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

// ---- joysticks ----

struct PlatformJoystick::Device {
    explicit Device(SDL_Joystick* j) : joystick(j) {
        if (SDL_WasInit(SDL_INIT_HAPTIC) && SDL_JoystickIsHaptic(j) == 1) haptic = SDL_HapticOpenFromJoystick(j);
    }
    ~Device() {
        if (haptic) {
            if (effect >= 0) SDL_HapticDestroyEffect(haptic, effect);
            SDL_HapticClose(haptic);
        }
        SDL_JoystickClose(joystick);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    SDL_Joystick* joystick;
    SDL_Haptic* haptic = nullptr;  // null without force feedback through the haptic interface
    int effect = -1;               // the constant-force effect in use, −1 none
};

PlatformJoystick::PlatformJoystick(std::unique_ptr<Device> device, int32_t instance_id)
    : device_(std::move(device)), instance_id_(instance_id) {}

std::unique_ptr<PlatformJoystick> PlatformJoystick::open(int32_t device_index) {
    SDL_Joystick* joystick = SDL_JoystickOpen(device_index);
    if (!joystick) return nullptr;
    int32_t instance_id = SDL_JoystickInstanceID(joystick);
    return std::unique_ptr<PlatformJoystick>(new PlatformJoystick(std::make_unique<Device>(joystick), instance_id));
}

PlatformJoystick::~PlatformJoystick() = default;

std::string PlatformJoystick::product_name() const {
    const char* name = SDL_JoystickName(device_->joystick);
    return name ? name : "";
}

bool PlatformJoystick::read(int32_t axes[8], int32_t hats[4], uint8_t buttons[32]) {
    SDL_Joystick* j = device_->joystick;
    SDL_JoystickUpdate();
    if (!SDL_JoystickGetAttached(j)) return false;
    int n_axes = SDL_JoystickNumAxes(j);
    for (int i = 0; i < 8; ++i) axes[i] = i < n_axes ? SDL_JoystickGetAxis(j, i) : 0;
    int n_hats = SDL_JoystickNumHats(j);
    for (int i = 0; i < 4; ++i) hats[i] = i < n_hats ? SDL_JoystickGetHat(j, i) : -1;
    int n_buttons = SDL_JoystickNumButtons(j);
    for (int i = 0; i < 32; ++i) buttons[i] = i < n_buttons && SDL_JoystickGetButton(j, i) ? 1 : 0;
    return true;
}

bool PlatformJoystick::has_force_feedback() const {
    if (device_->haptic && (SDL_HapticQuery(device_->haptic) & SDL_HAPTIC_CONSTANT)) return true;
    return SDL_JoystickHasRumble(device_->joystick) == SDL_TRUE;
}

bool PlatformJoystick::constant_force(int32_t level, int32_t direction_x, int32_t direction_y, uint32_t duration_ms) {
    if (level < 0) level = 0;
    if (level > 32767) level = 32767;
    Device& d = *device_;
    if (d.haptic && (SDL_HapticQuery(d.haptic) & SDL_HAPTIC_CONSTANT)) {
        SDL_HapticStopAll(d.haptic);
        if (d.effect >= 0) {
            SDL_HapticDestroyEffect(d.haptic, d.effect);
            d.effect = -1;
        }
        if (SDL_HapticQuery(d.haptic) & SDL_HAPTIC_GAIN) SDL_HapticSetGain(d.haptic, 100);
        SDL_HapticEffect effect;
        SDL_zero(effect);
        effect.type = SDL_HAPTIC_CONSTANT;
        effect.constant.direction.type = SDL_HAPTIC_CARTESIAN;
        effect.constant.direction.dir[0] = direction_x;
        effect.constant.direction.dir[1] = direction_y;
        effect.constant.length = duration_ms;
        effect.constant.level = static_cast<Sint16>(level);
        d.effect = SDL_HapticNewEffect(d.haptic, &effect);
        return d.effect >= 0 && SDL_HapticRunEffect(d.haptic, d.effect, 1) == 0;
    }
    auto strength = static_cast<Uint16>(static_cast<uint32_t>(level) * 65535u / 32767u);
    return SDL_JoystickRumble(d.joystick, strength, strength, duration_ms) == 0;
}

// ---- virtual joysticks (tests) ----

int32_t platform_virtual_joystick_attach(int32_t axes, int32_t buttons, int32_t hats, const char* name) {
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = static_cast<Uint16>(axes);
    desc.nbuttons = static_cast<Uint16>(buttons);
    desc.nhats = static_cast<Uint16>(hats);
    desc.name = name;
    desc.Rumble = virtual_rumble;
    return SDL_JoystickAttachVirtualEx(&desc);
}

bool platform_virtual_joystick_axis(int32_t instance_id, int32_t axis, int32_t value) {
    SDL_Joystick* j = SDL_JoystickFromInstanceID(instance_id);
    return j && SDL_JoystickSetVirtualAxis(j, axis, static_cast<Sint16>(value)) == 0;
}

bool platform_virtual_joystick_button(int32_t instance_id, int32_t button, bool down) {
    SDL_Joystick* j = SDL_JoystickFromInstanceID(instance_id);
    return j && SDL_JoystickSetVirtualButton(j, button, down ? 1 : 0) == 0;
}

bool platform_virtual_joystick_hat(int32_t instance_id, int32_t hat, int32_t sdl_hat_bits) {
    SDL_Joystick* j = SDL_JoystickFromInstanceID(instance_id);
    return j && SDL_JoystickSetVirtualHat(j, hat, static_cast<Uint8>(sdl_hat_bits)) == 0;
}

bool platform_virtual_joystick_detach(int32_t device_index) { return SDL_JoystickDetachVirtual(device_index) == 0; }

bool platform_virtual_joystick_rumble_take(uint16_t& low, uint16_t& high) {
    if (!g_virtual_rumble.seen) return false;
    low = g_virtual_rumble.low;
    high = g_virtual_rumble.high;
    g_virtual_rumble = VirtualRumble{};
    return true;
}

int32_t platform_joystick_instance_of_device(int32_t device_index) {
    return SDL_JoystickGetDeviceInstanceID(device_index);
}

}  // namespace rt
