// The renderer object's display part: window and context creation, display modes, extension
// entry points, the software-renderer warning, the 2D projection and the screen clear.
#include "runtime/gfx2d/display_service.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "runtime/core/clock.h"
#include "runtime/core/errors.h"
#include "runtime/platform/video.h"

namespace rt {
namespace {

// Process-wide: the software-renderer check runs once per process.
bool g_software_check_done = false;

const char kSoftwareLogLine[] = "*** OpenGL Software Emulation - update driver!";
const char kSoftwareBoxCaption[] = "No OpenGL Hardware Drivers";
// Latin-1 bytes, as the box text of the driver file would be.
const char kSoftwareBoxText[] =
    "Please update your GFX adapter's driver\nso it can render OpenGL by HARDWARE\n\n\n"
    "Bitte aktualisieren Sie Ihren\nGrafkkartentreiber, damit er OpenGL\nper HARDWARE unterst\xFCtzt!";

}  // namespace

double frame_time_of_rate(int32_t frame_rate) { return frame_rate <= 0 ? 2.0 : 1000.0 / frame_rate; }

bool renderer_is_software(const char* renderer) {
    if (!renderer) return false;
    if (std::strcmp(renderer, "Mesa Windows GDI Driver") == 0) return true;
    return std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe") ||
           std::strstr(renderer, "Software Rasterizer");
}

std::string software_warning_text(const std::string& file_content) {
    return file_content.empty() ? std::string(kSoftwareBoxText) : file_content;
}

}  // namespace rt

DuraVUZododivi::DuraVUZododivi()
    : sprites_(new rt::SpriteRecord[rt::kSpriteCount]),
      alpha_masks_(new std::unique_ptr<uint8_t[]>[rt::kSpriteCount]) {}

DuraVUZododivi::~DuraVUZododivi() {
    display_destroy();
    context_.reset();
}

bool DuraVUZododivi::window_and_context_create(int32_t width, int32_t height, int32_t samples) {
    // A re-created window keeps the sample count of the context in force, so the context fits it.
    std::unique_ptr<rt::PlatformWindow> window =
        rt::PlatformWindow::create(width, height, context_ ? multisample_count_ : samples);
    if (!window) return false;
    if (context_ && !context_->make_current(*window)) context_.reset();
    if (!context_) {
        context_ = rt::PlatformGlContext::create(*window);
        if (!context_) return false;
    }
    multisample_count_ = window->samples();
    window_ = std::move(window);
    return true;
}

bool DuraVUZododivi::display_create(int32_t width, int32_t height, int32_t colour_bits, int32_t frame_rate,
                                    int32_t multisample) {
    pacing_.frame_time_ms = rt::frame_time_of_rate(frame_rate);
    if (!rt::platform_video_start()) {
        std::fprintf(stderr, "display: no video driver with OpenGL: %s\n", rt::platform_video_error().c_str());
        return false;
    }
    if (!window_and_context_create(width, height, multisample)) {
        std::fprintf(stderr, "display: no OpenGL window: %s\n", rt::platform_video_error().c_str());
        return false;
    }
    int32_t client_w = 0, client_h = 0;
    window_->client_size(client_w, client_h);
    width_ = width != 0 ? width : client_w;
    height_ = height != 0 ? height : client_h;
    colour_bits_ = colour_bits != 0 ? colour_bits : rt::platform_desktop_colour_bits();
    fullscreen_ = 0;

    if (!rt::g_software_check_done) software_renderer_check();

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    pacing_.next_frame_at = clock_now();
    extensions_fetch();
    viewport_set(0, 0, 0, 0);
    ready_ = 1;
    return true;
}

void DuraVUZododivi::software_renderer_check() {
    rt::g_software_check_done = true;
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (!rt::renderer_is_software(renderer)) return;
    log_append(rt::kSoftwareLogLine);
    std::FILE* file = std::fopen("opengldriver.txt", "rb");
    if (!file) return;
    char buf[2048] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, file);
    std::fclose(file);
    buf[n] = '\0';
    std::string text = rt::software_warning_text(std::string(buf));
    rt::platform_message_box(rt::kSoftwareBoxCaption, text.c_str());
}

void DuraVUZododivi::extensions_fetch() {
    extensions_ = rt::GlExtensionTable{};
    auto fetch = [](auto& entry, const char* name) {
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(rt::platform_gl_proc_address(name));
    };
    fetch(extensions_.glBindRenderbufferEXT, "glBindRenderbufferEXT");
    fetch(extensions_.glDeleteRenderbuffersEXT, "glDeleteRenderbuffersEXT");
    fetch(extensions_.glGenRenderbuffersEXT, "glGenRenderbuffersEXT");
    fetch(extensions_.glRenderbufferStorageEXT, "glRenderbufferStorageEXT");
    fetch(extensions_.glBindFramebufferEXT, "glBindFramebufferEXT");
    fetch(extensions_.glDeleteFramebuffersEXT, "glDeleteFramebuffersEXT");
    fetch(extensions_.glGenFramebuffersEXT, "glGenFramebuffersEXT");
    fetch(extensions_.glCheckFramebufferStatusEXT, "glCheckFramebufferStatusEXT");
    fetch(extensions_.glFramebufferTexture2DEXT, "glFramebufferTexture2DEXT");
    fetch(extensions_.glFramebufferRenderbufferEXT, "glFramebufferRenderbufferEXT");
    fetch(extensions_.glGetFramebufferAttachmentParameterivEXT, "glGetFramebufferAttachmentParameterivEXT");
    const auto* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!list) return;
    if (std::strstr(list, "GL_ARB_multitexture")) {
        fetch(extensions_.glActiveTextureARB, "glActiveTextureARB");
        fetch(extensions_.glMultiTexCoord2fARB, "glMultiTexCoord2fARB");
        fetch(extensions_.glClientActiveTextureARB, "glClientActiveTextureARB");
        fetch(extensions_.glGenBuffersARB, "glGenBuffersARB");
        fetch(extensions_.glBindBufferARB, "glBindBufferARB");
        fetch(extensions_.glBufferDataARB, "glBufferDataARB");
        fetch(extensions_.glDeleteBuffersARB, "glDeleteBuffersARB");
        fetch(extensions_.glMapBufferARB, "glMapBufferARB");
        fetch(extensions_.glUnmapBufferARB, "glUnmapBufferARB");
        fetch(extensions_.glGetBufferParameterivARB, "glGetBufferParameterivARB");
    }
    if (std::strstr(list, "GL_ARB_fragment_program")) {
        fetch(extensions_.glCreateProgramObjectARB, "glCreateProgramObjectARB");
        fetch(extensions_.glDeleteObjectARB, "glDeleteObjectARB");
        fetch(extensions_.glCreateShaderObjectARB, "glCreateShaderObjectARB");
        fetch(extensions_.glShaderSourceARB, "glShaderSourceARB");
        fetch(extensions_.glCompileShaderARB, "glCompileShaderARB");
        fetch(extensions_.glGetObjectParameterivARB, "glGetObjectParameterivARB");
        fetch(extensions_.glAttachObjectARB, "glAttachObjectARB");
        fetch(extensions_.glGetInfoLogARB, "glGetInfoLogARB");
        fetch(extensions_.glLinkProgramARB, "glLinkProgramARB");
        fetch(extensions_.glUseProgramObjectARB, "glUseProgramObjectARB");
        fetch(extensions_.glGetUniformLocationARB, "glGetUniformLocationARB");
        fetch(extensions_.glUniform1fARB, "glUniform1fARB");
        fetch(extensions_.glUniform1iARB, "glUniform1iARB");
        fetch(extensions_.glGetAttribLocationARB, "glGetAttribLocationARB");
        fetch(extensions_.glVertexAttrib1fARB, "glVertexAttrib1fARB");
    }
}

bool DuraVUZododivi::gl_extension_supported(const char* name) const {
    return context_ && rt::platform_gl_extension_listed(name);
}

bool DuraVUZododivi::display_set_fullscreen() {
    if (!window_) return false;
    int32_t desktop_bits = rt::platform_desktop_colour_bits();
    int32_t bits = colour_bits_ != 0 && colour_bits_ != desktop_bits ? colour_bits_ : 0;
    bool changed =
        window_->show_fullscreen(width_, height_, bits) || (bits != 0 && window_->show_fullscreen(width_, height_, 0));
    if (!changed) {
        log_append("No Fullscreen Mode available");
        display_set_windowed();
        return false;
    }
    viewport_set(0, 0, 0, 0);
    fullscreen_ = 1;
    return true;
}

bool DuraVUZododivi::display_set_windowed() {
    if (!window_) return true;
    window_->leave_fullscreen();
    window_->show_windowed(width_, height_);
    viewport_set(0, 0, 0, 0);
    fullscreen_ = 0;
    return true;
}

bool DuraVUZododivi::display_hide() {
    if (window_) window_->hide();
    fullscreen_ = 0;
    return true;
}

void DuraVUZododivi::display_destroy() {
    if (window_) {
        // Textures go while the context is still current on the window.
        if (render_target_ != -1) surface_use_screen();
        for (int32_t n = 0; n < rt::kSpriteCount; ++n) sprite_free(n);
        for (int32_t slot = 0; slot < rt::kPictureSlotCount; ++slot) picture_slot_clear(slot);
        window_->leave_fullscreen();
        if (context_) context_->release_current();
        window_.reset();
    }
    width_ = 0;
    height_ = 0;
}

bool DuraVUZododivi::display_set_mode(int32_t width, int32_t height, int32_t colour_bits, int32_t fullscreen) {
    if (width != 0) width_ = width;
    if (height != 0) height_ = height;
    if (colour_bits != 0) colour_bits_ = colour_bits;
    return fullscreen != 0 ? display_set_fullscreen() : display_set_windowed();
}

void DuraVUZododivi::display_set_size(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
    viewport_set(0, 0, 0, 0);
}

void DuraVUZododivi::viewport_set(int32_t x, int32_t y, int32_t w, int32_t h) {
    bool rotated = portrait_ != 0 && render_target_ == -1;
    if (w <= 0 || h <= 0) {
        w = rotated ? height_ : width_;
        h = rotated ? width_ : height_;
    }
    viewport_x_ = x;
    viewport_y_ = y;
    viewport_w_ = w;
    viewport_h_ = h;
    if (!context_) return;

    glMatrixMode(GL_PROJECTION);
    if (rotated) {
        glViewport(width_ - y - h, height_ - w - x, h, w);
        // A quarter turn of the picture.
        const GLfloat turn[16] = {0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        glLoadMatrixf(turn);
    } else {
        glViewport(x, height_ - h - y, w, h);
        glLoadIdentity();
    }
    // Integer coordinates fall on pixel corners: no half-pixel offset.
    glOrtho(0, w, h, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    for (GLenum cap :
         {GL_DEPTH_TEST, GL_CULL_FACE, GL_FOG, GL_LINE_SMOOTH, GL_POINT_SMOOTH, GL_POLYGON_SMOOTH, GL_STENCIL_TEST,
          GL_NORMALIZE, GL_LIGHTING, GL_COLOR_MATERIAL, GL_DITHER, GL_AUTO_NORMAL, GL_POLYGON_OFFSET_POINT}) {
        glDisable(cap);
    }
    glFrontFace(GL_CCW);
    glShadeModel(GL_FLAT);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.05f);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_FASTEST);
    glColor4f(1, 1, 1, 1);

    smoothing_ = 1;
    // No sprite bound: untextured until the next sprite draw binds one.
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glEnable(GL_ALPHA_TEST);
    global_alpha_ = 1.0f;
    glColor4f(1, 1, 1, 1);
}

void DuraVUZododivi::viewport_get(int32_t& x, int32_t& y, int32_t& w, int32_t& h) const {
    x = viewport_x_;
    y = viewport_y_;
    w = viewport_w_;
    h = viewport_h_;
}

void DuraVUZododivi::viewport_get(double& x, double& y, double& w, double& h) const {
    x = viewport_x_;
    y = viewport_y_;
    w = viewport_w_;
    h = viewport_h_;
}

void DuraVUZododivi::screen_size(int32_t& width, int32_t& height) const {
    width = portrait_ ? height_ : width_;
    height = portrait_ ? width_ : height_;
}

void DuraVUZododivi::screen_size(double& width, double& height) const {
    int32_t w = 0, h = 0;
    screen_size(w, h);
    width = w;
    height = h;
}

void DuraVUZododivi::screen_clear(int32_t colour) {
    if (!context_) return;
    auto c = static_cast<uint32_t>(colour);
    glClearColor(static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
                 static_cast<float>((c >> 16) & 0xFF) / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void DuraVUZododivi::buffers_swap_and_clear() {
    if (!window_) return;
    // A frame never ends on an off-screen surface.
    if (render_target_ != -1) surface_use_screen();
    window_->swap_buffers();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void DuraVUZododivi::frame_state_reset() {
    if (!context_) return;
    glEnable(GL_BLEND);
    glDisable(GL_BLEND);
    glEnable(GL_ALPHA_TEST);
    global_alpha_ = 1.0f;
    glColor4f(1, 1, 1, 1);
    // The background picture is the first layer of every frame.
    picture_slot_draw(0);
    viewport_set(0, 0, 0, 0);
}

void DuraVUZododivi::bring_to_front() {
    if (window_) window_->raise();
}

void DuraVUZododivi::set_caption(const RtString& caption) {
    if (window_) window_->set_caption(caption.c_str());
}

// ---- game commands ----

void viewport_set(int32_t x, int32_t y, int32_t w, int32_t h) {
    if (DuraVUZododivi* display = rt::display_service()) display->viewport_set(x, y, w, h);
}

void viewport_get(int32_t& x, int32_t& y, int32_t& w, int32_t& h) {
    x = y = w = h = 0;
    if (DuraVUZododivi* display = rt::display_service()) display->viewport_get(x, y, w, h);
}

void viewport_get(double& x, double& y, double& w, double& h) {
    x = y = w = h = 0;
    if (DuraVUZododivi* display = rt::display_service()) display->viewport_get(x, y, w, h);
}

void screen_size(int32_t& width, int32_t& height) {
    width = height = 0;
    if (DuraVUZododivi* display = rt::display_service()) display->screen_size(width, height);
}

void screen_size(double& width, double& height) {
    width = height = 0;
    if (DuraVUZododivi* display = rt::display_service()) display->screen_size(width, height);
}

void screen_clear(int32_t colour) {
    if (DuraVUZododivi* display = rt::display_service()) display->screen_clear(colour);
}

int32_t display_is_fullscreen() { return rt::display_service() ? rt::display_service()->display_is_fullscreen() : 0; }

int32_t gl_extension_supported(const RtString& name) {
    return rt::display_service() && rt::display_service()->gl_extension_supported(name.c_str()) ? 1 : 0;
}
