// DuraVUZododivi, the display service: the one renderer object. Its display part: the window with
// the one OpenGL context, windowed and full-screen display, extension entry points, the
// software-renderer warning and the 2D projection (origin top left, one unit per pixel, y down).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/gfx2d/display.h"
#include "runtime/gfx2d/gl_extensions.h"
#include "runtime/values/rt_string.h"

namespace rt {
class PlatformWindow;
class PlatformGlContext;

// Frame pacing state, in runtime clock milliseconds.
struct FramePacing {
    double frame_time_ms = 2.0;  // 1000 / frame rate, 2.0 for a rate of 0 or less
    double next_frame_at = 0;    // when the next frame is due
};

// 1000 / frame_rate, or 2.0 when frame_rate <= 0.
double frame_time_of_rate(int32_t frame_rate);
// Whether a GL renderer string names a software rasteriser.
bool renderer_is_software(const char* renderer);
// The text of the software-renderer box: the file's content, or the built-in text when empty.
std::string software_warning_text(const std::string& file_content);
// Word-bounded search: name counts where it starts the list or follows a blank, and is followed by
// a blank or the end.
bool extension_list_contains(const char* list, const char* name);
}  // namespace rt

class DuraVUZododivi {
public:
    DuraVUZododivi();
    virtual ~DuraVUZododivi();
    DuraVUZododivi(const DuraVUZododivi&) = delete;
    DuraVUZododivi& operator=(const DuraVUZododivi&) = delete;

    // Creates the hidden window with its GL context (reusing the context when one exists); width
    // or height 0 take the window's size, colour_bits 0 the desktop depth. True on success.
    bool display_create(int32_t width, int32_t height, int32_t colour_bits, int32_t frame_rate, int32_t multisample);
    // True when the display mode was changed; otherwise logs and falls back to the windowed display.
    bool display_set_fullscreen();
    bool display_set_windowed();
    bool display_hide();
    // Destroys the window; the context stays for a later display_create.
    void display_destroy();
    // Non-zero width, height and colour_bits replace the stored ones; then full screen or windowed.
    bool display_set_mode(int32_t width, int32_t height, int32_t colour_bits, int32_t fullscreen);
    void display_set_size(int32_t width, int32_t height);

    // The 2D projection onto the rectangle x, y, w, h (pixels, y from the top); w or h <= 0 means
    // the whole screen. Resets the 2D drawing state.
    void viewport_set(int32_t x, int32_t y, int32_t w, int32_t h);
    void viewport_get(int32_t& x, int32_t& y, int32_t& w, int32_t& h) const;
    void viewport_get(double& x, double& y, double& w, double& h) const;
    void screen_size(int32_t& width, int32_t& height) const;
    void screen_size(double& width, double& height) const;
    // Clears the colour buffer to colour (0x00BBGGRR); later frame clears use it too.
    void screen_clear(int32_t colour);
    int32_t display_is_fullscreen() const { return fullscreen_; }
    bool gl_extension_supported(const char* name) const;

    // Frame presentation: show the back buffer, then clear colour and depth.
    void buffers_swap_and_clear();
    // The per-frame 2D reset: blending off, alpha test on, global alpha 1, white, whole screen.
    void frame_state_reset();
    // Shows the window and gives it the focus (after a debugger break).
    void bring_to_front();

    rt::PlatformWindow* window() const { return window_.get(); }
    void set_caption(const RtString& caption);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int32_t colour_bits() const { return colour_bits_; }
    int32_t multisample_count() const { return multisample_count_; }
    int32_t portrait() const { return portrait_; }
    int32_t ready() const { return ready_; }
    int32_t render_target() const { return render_target_; }
    rt::FramePacing& pacing() { return pacing_; }
    float global_alpha() const { return global_alpha_; }
    void global_alpha_set(float alpha) { global_alpha_ = alpha; }
    uint8_t smoothing() const { return smoothing_; }
    void smoothing_set(uint8_t on) { smoothing_ = on; }
    const rt::GlExtensionTable& gl_extensions() const { return extensions_; }

private:
    bool window_and_context_create(int32_t width, int32_t height, int32_t samples);
    void software_renderer_check();
    void extensions_fetch();

    std::unique_ptr<rt::PlatformGlContext> context_;
    std::unique_ptr<rt::PlatformWindow> window_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t colour_bits_ = 0;
    uint8_t fullscreen_ = 0;
    int32_t multisample_count_ = 0;
    int32_t viewport_x_ = 0;
    int32_t viewport_y_ = 0;
    int32_t viewport_w_ = 0;
    int32_t viewport_h_ = 0;
    int32_t portrait_ = 0;
    int32_t render_target_ = -1;  // −1: the screen; off-screen surfaces select their number
    rt::FramePacing pacing_;
    int32_t ready_ = 0;
    uint8_t smoothing_ = 1;
    float global_alpha_ = 1.0f;
    rt::GlExtensionTable extensions_;
};

namespace rt {
// The process's display service; null before start-up and after shut-down.
DuraVUZododivi* display_service();
}  // namespace rt
