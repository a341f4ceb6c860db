// DuraVUZododivi, the display service: the one renderer object. The window with the one OpenGL
// context, windowed and full-screen display, extension entry points, the software-renderer
// warning and the 2D projection (origin top left, one unit per pixel, y down); the sprite store
// with its picture slots, sprite drawing, fonts and text, off-screen surfaces and primitives.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/core/file_bytes.h"
#include "runtime/gfx2d/display.h"
#include "runtime/gfx2d/gl_extensions.h"
#include "runtime/gfx2d/picture_codec.h"
#include "runtime/gfx2d/sprite_store.h"
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

    // ---- sprite store and picture slots ----
    // Sets the sprite key and the font key (0x00BBGGRR, -1: none).
    void transparent_colour_set(int32_t colour);
    int32_t sprite_key() const { return sprite_key_; }
    int32_t font_key() const { return font_key_; }
    // The command forms: false (the caller records error code 3) when the picture is missing or
    // undecodable or n is no ordinary sprite number; the number is then free.
    bool sprite_load(const char* name, int32_t n, bool normal_map);
    void sprite_frames_set(int32_t n, int32_t frame_width, int32_t frame_height);
    void sprite_size(int32_t n, int32_t& width, int32_t& height) const;
    int32_t sprite_free_number() const;
    uint32_t sprite_texture_id(int32_t n) const;
    // Loads picture slot 0 and draws it; on failure empties the slot and clears to black.
    bool background_load(const char* name);
    void background_colour_set(int32_t colour);
    // Null for numbers outside 0 ... 65535.
    const rt::SpriteRecord* sprite(int32_t n) const;
    rt::SpriteRecord* sprite(int32_t n);
    const rt::PictureSlot* picture_slot(int32_t slot) const;

    void sprite_free(int32_t n);
    // Decodes the picture file that name finds (through the installed reader).
    bool picture_load(rt::Picture& picture, const char* name, int32_t key);
    // Uploads the rectangle x, y, w, h (0: to the picture's edge) into a power-of-two texture
    // (smallest side 16), replacing the texture name in *texture; *mip (when given) receives the
    // mipmapped twin.
    bool texture_upload(const rt::Picture& picture, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* texture,
                        uint32_t* mip, bool normal_map, bool font);
    bool sprite_load_picture(int32_t n, const char* name, int32_t key, bool normal_map);
    bool picture_slot_load(int32_t slot, const char* name);
    void picture_slot_clear(int32_t slot);
    // The sprite's alpha plane (texture_width x texture_height bytes, bottom-up), read back from
    // its texture on first use and cached; null for a free number.
    const uint8_t* sprite_alpha_mask(int32_t n);
    void sprite_alpha_mask_drop(int32_t n);
    void picture_reader_set(rt::FileBytesReader reader) { picture_reader_ = reader; }

    // ---- sprite drawing ----
    void sprite_draw(int32_t n, int32_t x, int32_t y);
    void sprite_draw_stretched(int32_t n, int32_t x, int32_t y, int32_t w, int32_t h);
    void sprite_draw_zoomed(int32_t n, int32_t x, int32_t y, double zoom_x, double zoom_y);
    void sprite_draw_rotozoom(int32_t n, int32_t x, int32_t y, double angle, double zoom);
    void sprite_draw_frame(int32_t n, int32_t frame, int32_t x, int32_t y);
    void sprite_draw_frame_rotozoom(int32_t n, int32_t frame, int32_t x, int32_t y, double angle, double zoom);
    void sprite_draw_frame_stretched(int32_t n, int32_t frame, int32_t x, int32_t y, int32_t w, int32_t h);
    void polygon_begin(int32_t n, int32_t mode);
    void polygon_vertex(double x, double y, double tx, double ty, int32_t colour);
    void polygon_split();
    void polygon_end();
    // The polygon under construction (for tests and the 3D engine).
    const std::vector<rt::PolygonVertex>& polygon_vertices() const { return polygon_; }
    int32_t polygon_count() const { return polygon_count_; }
    void blend_alpha_set(double alpha);
    int32_t sprite_collision(int32_t n1, int32_t x1, int32_t y1, int32_t n2, int32_t x2, int32_t y2);
    int32_t sprite_collision_frames(int32_t n1, int32_t frame1, int32_t x1, int32_t y1, int32_t n2, int32_t frame2,
                                    int32_t x2, int32_t y2);
    // The texture binder: n (its mip twin when use_mip) on unit 0, second on unit 1; names from
    // table[n] when table is given. n < 0 binds nothing.
    void sprite_bind(int32_t n, int32_t second, int32_t use_mip, const uint32_t* table);
    // Four (x, y, u, v) vertices as a triangle fan, wrap mode clamped to the edge.
    void quad_draw(const float vertices[16]);
    int32_t bound_sprite() const { return bound_sprite_; }

    // ---- fonts and text ----
    bool font_load(const char* name, int32_t n);  // false: not found or undecodable (built-in font loaded)
    void font_free(int32_t n);
    void font_set(int32_t n);
    int32_t current_font() const { return current_font_; }
    void font_size(int32_t& cell_width, int32_t& cell_height) const;
    int32_t font_free_number() const;
    void font_builtin_load(int32_t n);
    void text_draw_font(int32_t font, const char* text, size_t length, float x, float y, float z);
    void text_draw(const RtString& text, double x, double y);

    // ---- off-screen surfaces, grabs, primitives, saving ----
    void surface_create(int32_t s, int32_t n, int32_t w, int32_t h);
    void surface_use(int32_t s);
    void surface_use_screen();
    const rt::SurfaceEntry* surface(int32_t s) const;
    // Tests force the copy fallback for surfaces created afterwards.
    void framebuffer_objects_disable();
    // Tests force sprite_grab to read pixels back as on a framebuffer without alpha bits.
    void grab_read_back_force() { grab_read_back_forced_ = true; }
    void sprite_grab(int32_t n, int32_t x, int32_t y, int32_t w, int32_t h);
    void background_grab() { picture_slot_grab(0); }
    void picture_slot_grab(int32_t slot);
    void picture_slot_draw(int32_t slot);
    int32_t pixel_get(int32_t x, int32_t y);
    void pixel_set(int32_t x, int32_t y, int32_t colour);
    void line_draw(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t colour);
    void rect_fill(int32_t x, int32_t y, int32_t w, int32_t h, int32_t colour);
    bool screen_save(const char* name);
    bool sprite_save(const char* name, int32_t n);
    int32_t key_colour_probe();

    rt::PlatformWindow* window() const { return window_.get(); }
    void set_caption(const RtString& caption);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int32_t colour_bits() const { return colour_bits_; }
    int32_t multisample_count() const { return multisample_count_; }
    int32_t portrait() const { return portrait_; }
    int32_t ready() const { return ready_; }
    // GL may be called: the display was created and its window and context are there.
    bool gl_ready() const { return ready_ != 0 && context_ && window_; }
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

    // Sprite store: 65536 records, their cached alpha masks, eight picture slots.
    std::unique_ptr<rt::SpriteRecord[]> sprites_;
    std::unique_ptr<std::unique_ptr<uint8_t[]>[]> alpha_masks_;
    rt::PictureSlot slots_[rt::kPictureSlotCount];
    int32_t sprite_key_ = 0x8000FF;
    int32_t font_key_ = 0;
    rt::Picture picture_;  // decode buffer, reused
    rt::FileBytesReader picture_reader_ = rt::file_bytes_read_plain;
    std::vector<uint8_t> upload_pixels_;   // texture_upload's RGBA buffer, reused
    std::vector<uint8_t> upload_heights_;  // normal-map heights, reused
    // True while GL may be called: the display is ready and its window holds the context.

    // Drawing state.
    int32_t bound_sprite_ = -1;
    int32_t bound_second_ = -1;
    int32_t bound_mip_ = 0;
    std::vector<rt::PolygonVertex> polygon_;
    int32_t polygon_count_ = 0;
    int32_t polygon_mode_ = 0;
    int32_t polygon_coloured_ = 0;
    int32_t polygon_split_pending_ = 0;
    float texture_scale_[2] = {1.0f, 1.0f};
    // Texture unit 1 is disabled as the binder left it (only the binder enables it), so plain
    // binds need not switch units, which would break the driver's batching of draws.
    bool second_unit_off_ = false;
    // sprite_bind with the wrap mode given instead of repeat.
    void texture_bind(int32_t n, int32_t second, int32_t use_mip, const uint32_t* table, int32_t wrap);
    // The sprite draws' binding of n with the wrap mode and filters they use; false (nothing
    // drawn) for a free or out-of-range number or without GL.
    bool sprite_draw_bind(int32_t n, int32_t wrap, bool texel_centres);

    // Fonts and text.
    int32_t current_font_ = 0;
    std::vector<float> text_vertices_;  // x, y, z, u, v per vertex

    // Surfaces and grabs.
    rt::SurfaceEntry surfaces_[rt::kSurfaceCount];
    bool framebuffers_disabled_ = false;
    int32_t framebuffer_alpha_bits_ = 0;  // non-zero once the framebuffer reported alpha bits
    std::vector<uint8_t> grab_buffer_;
    uint32_t surfaces_live_ = 0;  // bit s: surface s was created
    bool grab_read_back_forced_ = false;
    // True while GL may be called: the display is ready and its window holds the context.
    // The framebuffer drawing goes to: its size, and whether it is a surface's framebuffer object.
    void target_framebuffer(int32_t& width, int32_t& height, bool& object) const;
};

namespace rt {
// The process's display service; null before start-up and after shut-down.
DuraVUZododivi* display_service();
}  // namespace rt
