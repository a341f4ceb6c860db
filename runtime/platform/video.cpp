// SDL video: the OpenGL window, the context, display modes, the entry-point loader and the box.
#include "runtime/platform/video.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

#include <cstring>
#include <utility>

#include "runtime/platform/sdl_common.h"

namespace rt {

void sdl_prepare() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window must not minimise when it loses the focus in full screen: the pause marker shows.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
}

namespace {

bool valid_utf8(const unsigned char* s) {
    while (*s) {
        unsigned char c = *s;
        int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || (extra == 1 && c < 0xC2)) return false;
        ++s;
        for (int i = 0; i < extra; ++i, ++s) {
            if ((*s & 0xC0) != 0x80) return false;
        }
    }
    return true;
}

bool try_window(int32_t width, int32_t height, int32_t samples, int32_t alpha, SDL_Window*& out) {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alpha);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples > 0 ? samples : 0);
    out = SDL_CreateWindow("Vornic", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                           SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    return out != nullptr;
}

// The exact display mode width × height (and colour_bits unless 0) of the window's display.
bool find_mode(SDL_Window* window, int32_t width, int32_t height, int32_t colour_bits, SDL_DisplayMode& out) {
    int display = SDL_GetWindowDisplayIndex(window);
    if (display < 0) display = 0;
    int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(display, i, &mode) != 0) continue;
        if (mode.w != width || mode.h != height) continue;
        if (colour_bits != 0 && static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format)) != colour_bits) continue;
        out = mode;
        return true;
    }
    return false;
}

}  // namespace

std::string platform_text_to_utf8(const char* bytes) {
    if (!bytes) return std::string();
    const auto* s = reinterpret_cast<const unsigned char*>(bytes);
    if (valid_utf8(s)) return std::string(bytes);
    std::string out;
    for (; *s; ++s) {
        if (*s < 0x80) {
            out.push_back(static_cast<char>(*s));
        } else {
            out.push_back(static_cast<char>(0xC0 | (*s >> 6)));
            out.push_back(static_cast<char>(0x80 | (*s & 0x3F)));
        }
    }
    return out;
}

// ---- video subsystem ----

bool platform_video_start() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    sdl_prepare();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    if (SDL_GL_LoadLibrary(nullptr) != 0) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    // Key presses also report the text they type (the layout's character with Shift, Caps Lock,
    // AltGr and dead keys applied); events.cpp hands it over with the press.
    SDL_StartTextInput();
    // The screen saver is held off only while the window has the focus.
    SDL_EnableScreenSaver();
    return true;
}

int32_t platform_desktop_colour_bits() {
    SDL_DisplayMode mode;
    if (!SDL_WasInit(SDL_INIT_VIDEO) || SDL_GetDesktopDisplayMode(0, &mode) != 0) return 0;
    return static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format));
}

// ---- PlatformWindow ----

struct PlatformWindow::Native {
    explicit Native(SDL_Window* w) : window(w) {}
    ~Native() { SDL_DestroyWindow(window); }
    Native(const Native&) = delete;
    Native& operator=(const Native&) = delete;
    SDL_Window* window;
};

PlatformWindow::PlatformWindow(std::unique_ptr<Native> native, int32_t samples)
    : native_(std::move(native)), id_(SDL_GetWindowID(native_->window)), samples_(samples) {}

std::unique_ptr<PlatformWindow> PlatformWindow::create(int32_t width, int32_t height, int32_t samples) {
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    if (samples < 0) samples = 0;
    for (int32_t s = samples;; s /= 2) {
        for (int32_t alpha : {8, 0}) {
            SDL_Window* window = nullptr;
            if (try_window(width, height, s, alpha, window)) {
                return std::unique_ptr<PlatformWindow>(new PlatformWindow(std::make_unique<Native>(window), s));
            }
        }
        if (s == 0) break;
    }
    return nullptr;
}

PlatformWindow::~PlatformWindow() = default;

void PlatformWindow::client_size(int32_t& width, int32_t& height) const {
    int w = 0, h = 0;
    SDL_GetWindowSize(native_->window, &w, &h);
    width = w;
    height = h;
}

void PlatformWindow::set_caption(const char* bytes) {
    SDL_SetWindowTitle(native_->window, platform_text_to_utf8(bytes).c_str());
}

std::string PlatformWindow::caption() const {
    const char* title = SDL_GetWindowTitle(native_->window);
    return title ? title : "";
}

void PlatformWindow::show_windowed(int32_t width, int32_t height) {
    SDL_SetWindowBordered(native_->window, SDL_TRUE);
    SDL_SetWindowResizable(native_->window, SDL_FALSE);
    SDL_SetWindowAlwaysOnTop(native_->window, SDL_FALSE);
    SDL_SetWindowSize(native_->window, width, height);
    int display = SDL_GetWindowDisplayIndex(native_->window);
    if (display < 0) display = 0;
    SDL_Rect area;
    if (SDL_GetDisplayUsableBounds(display, &area) != 0 && SDL_GetDisplayBounds(display, &area) != 0) {
        area = SDL_Rect{0, 0, width, height};
    }
    SDL_SetWindowPosition(native_->window, area.x + (area.w - width) / 2, area.y + (area.h - height) / 2);
    SDL_ShowWindow(native_->window);
    SDL_RaiseWindow(native_->window);
}

bool PlatformWindow::show_fullscreen(int32_t width, int32_t height, int32_t colour_bits) {
    SDL_Window* window = native_->window;
    SDL_DisplayMode mode;
    if (!find_mode(window, width, height, colour_bits, mode)) return false;
    if (SDL_SetWindowDisplayMode(window, &mode) != 0) return false;
    int display = SDL_GetWindowDisplayIndex(window);
    SDL_Rect bounds{0, 0, width, height};
    if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0) bounds = SDL_Rect{0, 0, width, height};
    // Without a window manager nobody acts on the full-screen request of a window already shown:
    // it keeps its place. Move it to the display's origin first, while SDL still moves windowed
    // windows (once full screen, SDL reports the display's origin wherever the window is).
    SDL_SetWindowSize(window, width, height);
    SDL_SetWindowPosition(window, bounds.x, bounds.y);
    SDL_ShowWindow(window);
    if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0) return false;
    SDL_RaiseWindow(window);
    return true;
}

void PlatformWindow::leave_fullscreen() {
    if (SDL_GetWindowFlags(native_->window) & SDL_WINDOW_FULLSCREEN) SDL_SetWindowFullscreen(native_->window, 0);
}

void PlatformWindow::hide() {
    leave_fullscreen();
    SDL_HideWindow(native_->window);
}

void PlatformWindow::raise() {
    SDL_ShowWindow(native_->window);
    SDL_RaiseWindow(native_->window);
}

bool PlatformWindow::has_input_focus() const {
    return (SDL_GetWindowFlags(native_->window) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

void PlatformWindow::swap_buffers() { SDL_GL_SwapWindow(native_->window); }

// ---- PlatformGlContext ----

std::unique_ptr<PlatformGlContext> PlatformGlContext::create(PlatformWindow& window) {
    SDL_GLContext context = SDL_GL_CreateContext(window.native_->window);
    if (!context) return nullptr;
    return std::unique_ptr<PlatformGlContext>(new PlatformGlContext(context));
}

PlatformGlContext::~PlatformGlContext() {
    if (SDL_GL_GetCurrentContext() == context_) SDL_GL_MakeCurrent(nullptr, nullptr);
    SDL_GL_DeleteContext(context_);
}

bool PlatformGlContext::make_current(PlatformWindow& window) {
    return SDL_GL_MakeCurrent(window.native_->window, context_) == 0;
}

void PlatformGlContext::release_current() {
    if (SDL_GL_GetCurrentContext() == context_) SDL_GL_MakeCurrent(nullptr, nullptr);
}

// ---- free functions ----

void* platform_gl_proc_address(const char* name) { return SDL_GL_GetProcAddress(name); }

bool extension_list_contains(const char* list, const char* name) {
    if (!list || !name || !*name) return false;
    size_t n = std::strlen(name);
    for (const char* p = std::strstr(list, name); p; p = std::strstr(p + 1, name)) {
        bool starts = p == list || p[-1] == ' ';
        bool ends = p[n] == ' ' || p[n] == '\0';
        if (starts && ends) return true;
    }
    return false;
}

bool platform_gl_extension_listed(const char* name) {
    if (!name || !*name) return false;
    if (const auto* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS))) {
        return extension_list_contains(list, name);
    }
    auto get_stringi = reinterpret_cast<PFNGLGETSTRINGIPROC>(platform_gl_proc_address("glGetStringi"));
    if (!get_stringi) return false;
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const auto* ext = reinterpret_cast<const char*>(get_stringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (ext && std::strcmp(ext, name) == 0) return true;
    }
    return false;
}

void platform_screen_saver_allow(bool allow) {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
    if (allow) {
        SDL_EnableScreenSaver();
    } else {
        SDL_DisableScreenSaver();
    }
}

namespace {
// The one test seam of the box; set before start-up, read on the main thread.
PlatformMessageBoxHook g_message_box_hook = nullptr;
}  // namespace

void platform_message_box_hook_set(PlatformMessageBoxHook hook) { g_message_box_hook = hook; }

void platform_message_box(const char* caption, const char* text) {
    if (g_message_box_hook) {
        g_message_box_hook(caption, text);
        return;
    }
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, platform_text_to_utf8(caption).c_str(),
                             platform_text_to_utf8(text).c_str(), nullptr);
}

std::string platform_video_error() { return SDL_GetError(); }

}  // namespace rt
