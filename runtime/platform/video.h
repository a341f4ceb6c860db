// The window, its OpenGL context, display modes, the GL entry-point loader and the message box,
// over SDL's video subsystem. Every object here lives on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace rt {

// Starts SDL's video subsystem with its GL library once per process; later calls only report
// whether it runs. It stays up until the process ends: the GL driver is never unloaded under a
// context, and its one-time set-up (and what the driver keeps for good) happens once.
// False when no video driver with OpenGL can be opened (no X server, no driver).
bool platform_video_start();
// Colour depth of the desktop in bits per pixel (24 for the usual 8-bit RGB desktops); 0 unknown.
int32_t platform_desktop_colour_bits();

// An OpenGL window: compatibility profile, double buffer, RGBA 8, depth 24, stencil 8.
class PlatformWindow {
public:
    // Creates the window hidden with a client area of width × height (values below 1 become 1).
    // samples > 0 asks for a multisampled framebuffer; counts that cannot be had are halved until
    // one can, down to none. Null on failure.
    static std::unique_ptr<PlatformWindow> create(int32_t width, int32_t height, int32_t samples);
    ~PlatformWindow();
    PlatformWindow(const PlatformWindow&) = delete;
    PlatformWindow& operator=(const PlatformWindow&) = delete;

    uint32_t id() const { return id_; }
    int32_t samples() const { return samples_; }
    void client_size(int32_t& width, int32_t& height) const;
    // Runtime texts are bytes; text that is not UTF-8 is taken as Latin-1.
    void set_caption(const char* bytes);
    std::string caption() const;

    // Windowed display: fixed-size framed window centred in the usable area of its display.
    void show_windowed(int32_t width, int32_t height);
    // Switches the display to the exact mode width × height, with colour_bits when that is not 0,
    // the window covering it from the display's origin; false when the display has no such mode
    // or refuses it.
    bool show_fullscreen(int32_t width, int32_t height, int32_t colour_bits);
    void leave_fullscreen();
    void hide();
    void raise();
    bool has_input_focus() const;

    void swap_buffers();

private:
    struct Native;  // the system window, defined by the platform's source
    PlatformWindow(std::unique_ptr<Native> native, int32_t samples);
    friend class PlatformGlContext;
    std::unique_ptr<Native> native_;
    uint32_t id_;
    int32_t samples_;
};

// The one OpenGL context. It may be made current on any window created by PlatformWindow::create
// with the same sample count.
class PlatformGlContext {
public:
    static std::unique_ptr<PlatformGlContext> create(PlatformWindow& window);
    ~PlatformGlContext();
    PlatformGlContext(const PlatformGlContext&) = delete;
    PlatformGlContext& operator=(const PlatformGlContext&) = delete;

    bool make_current(PlatformWindow& window);
    void release_current();

private:
    explicit PlatformGlContext(void* context) : context_(context) {}
    void* context_;
};

// Address of a GL entry point, or null. A non-null address does not prove the driver supports the
// function: decide support from the extension string.
void* platform_gl_proc_address(const char* name);
// Whole-word search of a space-separated extension list: name counts where it starts the list or
// follows a blank, and is followed by a blank or the end.
bool extension_list_contains(const char* list, const char* name);
// Whether the current GL context lists the extension (contexts of GL 3.0 and later are asked one
// name at a time). Needs a current context.
bool platform_gl_extension_listed(const char* name);

// Whether the screen saver and monitor power saving may start.
void platform_screen_saver_allow(bool allow);

// A warning box without owner; blocks until closed. Texts are bytes (Latin-1 when not UTF-8).
void platform_message_box(const char* caption, const char* text);
// Tests: boxes go to hook instead of the screen (null: the system's box again).
using PlatformMessageBoxHook = void (*)(const char* caption, const char* text);
void platform_message_box_hook_set(PlatformMessageBoxHook hook);

// The last error text of the platform layer, for diagnostics.
std::string platform_video_error();

// Runtime texts are single bytes; SDL wants UTF-8. Valid UTF-8 passes unchanged, anything else
// is read as Latin-1.
std::string platform_text_to_utf8(const char* bytes);

}  // namespace rt
