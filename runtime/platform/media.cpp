// The music and movie players over libmpv, and the drawing of movie frames through mpv's OpenGL
// render interface into an off-screen framebuffer that is then copied into the wanted rectangle.
#include "runtime/platform/media.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <mpv/client.h>
#include <mpv/render.h>
#include <mpv/render_gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "runtime/platform/video.h"

namespace rt {
namespace {

// Waits for the player to load a file or show its first picture; generous for a loaded machine.
constexpr std::chrono::milliseconds kOpenPatience{10000};

std::string& audio_output() {
    static std::string name;  // set by tests before any player opens; main thread only
    return name;
}

// An mpv instance with the state its events report. The library's threads call wakeup() only;
// everything else runs on the main thread.
struct MpvCore {
    mpv_handle* mpv = nullptr;

    // Touched by mpv's threads through wakeup(); guarded by lock.
    std::mutex lock;
    std::condition_variable news;
    bool news_pending = false;

    // Main thread only, from the event queue.
    bool loaded = false;
    bool failed = false;
    bool file_ended = false;
    bool video_ready = false;
    bool restart_pending = false;
    int64_t starts = 0;

    MpvCore() = default;
    MpvCore(const MpvCore&) = delete;
    MpvCore& operator=(const MpvCore&) = delete;
    ~MpvCore() {
        if (mpv) mpv_terminate_destroy(mpv);
    }

    // Runs on one of mpv's threads.
    static void wakeup(void* context) {
        auto* self = static_cast<MpvCore*>(context);
        {
            std::lock_guard<std::mutex> hold(self->lock);
            self->news_pending = true;
        }
        self->news.notify_all();
    }

    void option(const char* name, const char* value) { mpv_set_option_string(mpv, name, value); }

    // The instance with the options both players share; false when libmpv cannot start.
    bool create(bool video) {
        mpv = mpv_create();
        if (!mpv) return false;
        option("config", "no");
        option("terminal", "no");
        option("idle", "yes");
        option("keep-open", "yes");  // the end keeps the file loaded, its length and position readable
        option("pause", "yes");
        option("input-default-bindings", "no");
        option("input-vo-keyboard", "no");
        option("osc", "no");
        option("load-scripts", "no");
        option("ytdl", "no");
        option("sub-auto", "no");
        option("audio-file-auto", "no");
        option("hwdec", "no");
        option("volume-max", "200");
        if (!audio_output().empty()) option("ao", audio_output().c_str());
        if (video) {
            option("vo", "libmpv");
            option("keepaspect", "no");  // the caller fits the picture itself
            option("osd-level", "0");
            option("gpu-hwdec-interop", "no");
        } else {
            option("vo", "null");
            option("vid", "no");
            option("audio-display", "no");
        }
        if (mpv_initialize(mpv) < 0) return false;
        mpv_set_wakeup_callback(mpv, &MpvCore::wakeup, this);
        return true;
    }

    void drain() {
        for (;;) {
            mpv_event* event = mpv_wait_event(mpv, 0);
            if (!event || event->event_id == MPV_EVENT_NONE) return;
            switch (event->event_id) {
                case MPV_EVENT_FILE_LOADED:
                    loaded = true;
                    break;
                case MPV_EVENT_END_FILE: {
                    file_ended = true;
                    const auto* end = static_cast<const mpv_event_end_file*>(event->data);
                    if (!loaded || (end && end->reason == MPV_END_FILE_REASON_ERROR)) failed = true;
                    break;
                }
                case MPV_EVENT_PLAYBACK_RESTART:
                    ++starts;
                    restart_pending = false;
                    break;
                case MPV_EVENT_VIDEO_RECONFIG:
                    video_ready = true;
                    break;
                case MPV_EVENT_SHUTDOWN:
                    failed = true;
                    break;
                default:
                    break;
            }
        }
    }

    void wait(double ms) {
        std::unique_lock<std::mutex> hold(lock);
        if (ms > 0) {
            news.wait_for(hold, std::chrono::duration<double, std::milli>(ms), [this] { return news_pending; });
        }
        news_pending = false;
    }

    // Drains events until done() holds or patience runs out (wall time: the runtime clock may be
    // a test's fake).
    template <typename Done>
    bool wait_until(Done done, std::chrono::milliseconds patience) {
        const auto until = std::chrono::steady_clock::now() + patience;
        for (;;) {
            drain();
            if (done()) return true;
            if (std::chrono::steady_clock::now() >= until) return false;
            wait(20);
        }
    }

    // Loads path paused; false when it cannot be played.
    bool load(const std::string& path) {
        // A path, never a URL or a protocol: names that are not absolute get "./".
        std::string file = !path.empty() && path[0] == '/' ? path : "./" + path;
        const char* command[] = {"loadfile", file.c_str(), nullptr};
        if (mpv_command(mpv, command) < 0) return false;
        wait_until([this] { return loaded || failed || file_ended; }, kOpenPatience);
        return loaded && !failed && !file_ended;
    }

    double seconds_property_ms(const char* name) {
        double seconds = 0;
        if (mpv_get_property(mpv, name, MPV_FORMAT_DOUBLE, &seconds) < 0 || !std::isfinite(seconds)) return 0;
        return seconds * 1000.0;
    }

    bool ended() {
        drain();
        if (failed || file_ended) return true;
        if (restart_pending) return false;
        int flag = 0;
        if (mpv_get_property(mpv, "eof-reached", MPV_FORMAT_FLAG, &flag) < 0) return false;
        return flag != 0;
    }

    void seek_start() {
        drain();
        const char* command[] = {"seek", "0", "absolute", nullptr};
        if (mpv_command(mpv, command) >= 0) restart_pending = true;
    }

    bool pause_set(bool pause) { return mpv_set_property_string(mpv, "pause", pause ? "yes" : "no") >= 0; }
};

}  // namespace

void platform_media_audio_output_set(const std::string& name) { audio_output() = name; }

// ---- music ----

struct MusicPlayer::Native {
    MpvCore core;
};

MusicPlayer::MusicPlayer(std::unique_ptr<Native> native) : native_(std::move(native)) {}
MusicPlayer::~MusicPlayer() = default;

std::unique_ptr<MusicPlayer> MusicPlayer::open(const std::string& path) {
    auto native = std::make_unique<Native>();
    if (!native->core.create(false) || !native->core.load(path)) return nullptr;
    return std::unique_ptr<MusicPlayer>(new MusicPlayer(std::move(native)));
}

double MusicPlayer::length_ms() { return native_->core.seconds_property_ms("duration"); }
double MusicPlayer::position_ms() { return native_->core.seconds_property_ms("time-pos"); }
bool MusicPlayer::ended() { return native_->core.ended(); }
void MusicPlayer::seek_start() { native_->core.seek_start(); }
void MusicPlayer::play() { native_->core.pause_set(false); }
void MusicPlayer::stop() { native_->core.pause_set(true); }

void MusicPlayer::volume_set(double percent) {
    double v = std::isfinite(percent) ? std::clamp(percent, 0.0, 200.0) : 100.0;
    mpv_set_property(native_->core.mpv, "volume", MPV_FORMAT_DOUBLE, &v);
}

double MusicPlayer::volume() {
    double v = 0;
    mpv_get_property(native_->core.mpv, "volume", MPV_FORMAT_DOUBLE, &v);
    return v;
}

int64_t MusicPlayer::starts_seen() {
    native_->core.drain();
    return native_->core.starts;
}

// ---- movies ----

namespace {

void* gl_address(void*, const char* name) { return platform_gl_proc_address(name); }

template <typename F>
F gl_fetch(const char* name) {
    return reinterpret_cast<F>(platform_gl_proc_address(name));
}

// The entry points beyond GL 1.1 the frame copy needs, and what mpv's drawing changes outside the
// attribute stacks.
struct GlCalls {
    PFNGLGENFRAMEBUFFERSPROC gen_framebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC delete_framebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bind_framebuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DPROC framebuffer_texture_2d = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC check_framebuffer_status = nullptr;
    PFNGLBLITFRAMEBUFFERPROC blit_framebuffer = nullptr;
    PFNGLUSEPROGRAMPROC use_program = nullptr;
    PFNGLBINDBUFFERPROC bind_buffer = nullptr;
    PFNGLBINDVERTEXARRAYPROC bind_vertex_array = nullptr;

    void fetch() {
        gen_framebuffers = gl_fetch<PFNGLGENFRAMEBUFFERSPROC>("glGenFramebuffers");
        delete_framebuffers = gl_fetch<PFNGLDELETEFRAMEBUFFERSPROC>("glDeleteFramebuffers");
        bind_framebuffer = gl_fetch<PFNGLBINDFRAMEBUFFERPROC>("glBindFramebuffer");
        framebuffer_texture_2d = gl_fetch<PFNGLFRAMEBUFFERTEXTURE2DPROC>("glFramebufferTexture2D");
        check_framebuffer_status = gl_fetch<PFNGLCHECKFRAMEBUFFERSTATUSPROC>("glCheckFramebufferStatus");
        blit_framebuffer = gl_fetch<PFNGLBLITFRAMEBUFFERPROC>("glBlitFramebuffer");
        use_program = gl_fetch<PFNGLUSEPROGRAMPROC>("glUseProgram");
        bind_buffer = gl_fetch<PFNGLBINDBUFFERPROC>("glBindBuffer");
        bind_vertex_array = gl_fetch<PFNGLBINDVERTEXARRAYPROC>("glBindVertexArray");
    }
    bool framebuffers() const {
        return gen_framebuffers && delete_framebuffers && bind_framebuffer && framebuffer_texture_2d &&
               check_framebuffer_status && blit_framebuffer;
    }
};

// GL state outside the attribute stacks, saved before mpv draws and put back afterwards.
struct GlBindings {
    GLint program = 0, array_buffer = 0, element_buffer = 0, unpack_buffer = 0, pack_buffer = 0;
    GLint vertex_array = 0, draw_framebuffer = 0, read_framebuffer = 0;

    void save(const GlCalls& gl) {
        if (gl.use_program) glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        if (gl.bind_buffer) {
            glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &array_buffer);
            glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &element_buffer);
            glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpack_buffer);
            glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &pack_buffer);
        }
        if (gl.bind_vertex_array) glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertex_array);
        if (gl.bind_framebuffer) {
            glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw_framebuffer);
            glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_framebuffer);
        }
    }
    void restore(const GlCalls& gl) const {
        if (gl.bind_vertex_array) gl.bind_vertex_array(static_cast<GLuint>(vertex_array));
        if (gl.use_program) gl.use_program(static_cast<GLuint>(program));
        if (gl.bind_buffer) {
            gl.bind_buffer(GL_ARRAY_BUFFER, static_cast<GLuint>(array_buffer));
            gl.bind_buffer(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLuint>(element_buffer));
            gl.bind_buffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(unpack_buffer));
            gl.bind_buffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(pack_buffer));
        }
        if (gl.bind_framebuffer) {
            gl.bind_framebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(draw_framebuffer));
            gl.bind_framebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read_framebuffer));
        }
    }
};

}  // namespace

struct MoviePlayer::Native {
    MpvCore core;
    mpv_render_context* render = nullptr;
    GlCalls gl;
    // Off-screen target mpv draws into, of the size of the last rectangle.
    GLuint framebuffer = 0;
    GLuint texture = 0;
    int32_t target_w = 0, target_h = 0;
    int32_t source_w = 0, source_h = 0;

    Native() = default;
    Native(const Native&) = delete;
    Native& operator=(const Native&) = delete;
    // The render context goes before the player (mpv's rule); both need the GL context current.
    ~Native() {
        if (render) mpv_render_context_free(render);
        target_free();
    }

    void target_free() {
        if (framebuffer && gl.delete_framebuffers) gl.delete_framebuffers(1, &framebuffer);
        if (texture) glDeleteTextures(1, &texture);
        framebuffer = texture = 0;
        target_w = target_h = 0;
    }

    // The off-screen target of width × height; false when it cannot be made.
    bool target_ensure(int32_t width, int32_t height) {
        if (framebuffer && width == target_w && height == target_h) return true;
        target_free();
        if (!gl.framebuffers()) return false;
        GLint previous_texture = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous_texture);
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous_texture));
        gl.gen_framebuffers(1, &framebuffer);
        gl.bind_framebuffer(GL_FRAMEBUFFER, framebuffer);
        gl.framebuffer_texture_2d(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        bool complete = gl.check_framebuffer_status(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        if (!complete) {
            target_free();
            return false;
        }
        target_w = width;
        target_h = height;
        return true;
    }

    // Runs on mpv's render thread: a new frame is waiting.
    static void frame_waiting(void* context) { MpvCore::wakeup(context); }
};

MoviePlayer::MoviePlayer(std::unique_ptr<Native> native) : native_(std::move(native)) {}
MoviePlayer::~MoviePlayer() = default;

std::unique_ptr<MoviePlayer> MoviePlayer::open(const std::string& path) {
    auto native = std::make_unique<Native>();
    MpvCore& core = native->core;
    if (!core.create(true)) return nullptr;
    native->gl.fetch();

    mpv_opengl_init_params init{&gl_address, nullptr};
    const char* api = MPV_RENDER_API_TYPE_OPENGL;
    mpv_render_param params[] = {{MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(api)},
                                 {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &init},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    GlBindings bindings;
    bindings.save(native->gl);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    int created = mpv_render_context_create(&native->render, core.mpv, params);
    glPopClientAttrib();
    glPopAttrib();
    bindings.restore(native->gl);
    if (created < 0) {
        native->render = nullptr;
        return nullptr;
    }
    mpv_render_context_set_update_callback(native->render, &Native::frame_waiting, &core);

    if (!core.load(path)) return nullptr;
    // A file with pictures reports their size once the first one is decoded.
    int64_t tracks = 0;
    bool has_video = false;
    mpv_get_property(core.mpv, "track-list/count", MPV_FORMAT_INT64, &tracks);
    for (int64_t i = 0; i < std::min<int64_t>(tracks, 64); ++i) {
        std::string key = "track-list/" + std::to_string(i) + "/type";
        char* type = mpv_get_property_string(core.mpv, key.c_str());
        if (type && std::string(type) == "video") has_video = true;
        mpv_free(type);
    }
    if (has_video) {
        core.wait_until([&core] { return core.video_ready || core.failed || core.file_ended; }, kOpenPatience);
        int64_t w = 0, h = 0;
        mpv_get_property(core.mpv, "dwidth", MPV_FORMAT_INT64, &w);
        mpv_get_property(core.mpv, "dheight", MPV_FORMAT_INT64, &h);
        if (w > 0 && h > 0 && w <= 65536 && h <= 65536) {
            native->source_w = static_cast<int32_t>(w);
            native->source_h = static_cast<int32_t>(h);
        }
    }
    return std::unique_ptr<MoviePlayer>(new MoviePlayer(std::move(native)));
}

void MoviePlayer::source_size(int32_t& width, int32_t& height) const {
    width = native_->source_w;
    height = native_->source_h;
}

double MoviePlayer::length_ms() { return native_->core.seconds_property_ms("duration"); }
double MoviePlayer::position_ms() { return native_->core.seconds_property_ms("time-pos"); }
bool MoviePlayer::ended() { return native_->core.ended(); }
void MoviePlayer::seek_start() { native_->core.seek_start(); }
bool MoviePlayer::play() { return native_->core.pause_set(false); }
void MoviePlayer::stop() { native_->core.pause_set(true); }

void MoviePlayer::wait(double ms) {
    native_->core.wait(ms);
    native_->core.drain();
}

bool MoviePlayer::render(int32_t x, int32_t y, int32_t width, int32_t height, int32_t target_width,
                         int32_t target_height, bool force) {
    Native& n = *native_;
    uint64_t flags = mpv_render_context_update(n.render);
    if (!(flags & MPV_RENDER_UPDATE_FRAME) && !force) return false;
    if (target_width <= 0 || target_height <= 0) return false;

    GlBindings bindings;
    bindings.save(n.gl);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    if (n.gl.bind_framebuffer) n.gl.bind_framebuffer(GL_FRAMEBUFFER, 0);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);

    int flip = 1;  // frames are copied as the default framebuffer holds them: bottom row first
    if (width > 0 && height > 0 && n.target_ensure(width, height)) {
        mpv_opengl_fbo fbo{static_cast<int>(n.framebuffer), width, height, GL_RGBA8};
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_OPENGL_FBO, &fbo}, {MPV_RENDER_PARAM_FLIP_Y, &flip}, {MPV_RENDER_PARAM_INVALID, nullptr}};
        mpv_render_context_render(n.render, params);
        n.gl.bind_framebuffer(GL_READ_FRAMEBUFFER, n.framebuffer);
        n.gl.bind_framebuffer(GL_DRAW_FRAMEBUFFER, 0);
        const int32_t bottom = target_height - y - height;
        n.gl.blit_framebuffer(0, 0, width, height, x, bottom, x + width, bottom + height, GL_COLOR_BUFFER_BIT,
                              GL_NEAREST);
    } else if (width > 0 && height > 0) {
        // Without framebuffer objects the picture fills the whole target.
        mpv_opengl_fbo fbo{0, target_width, target_height, 0};
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_OPENGL_FBO, &fbo}, {MPV_RENDER_PARAM_FLIP_Y, &flip}, {MPV_RENDER_PARAM_INVALID, nullptr}};
        mpv_render_context_render(n.render, params);
    }
    glPopClientAttrib();
    glPopAttrib();
    bindings.restore(n.gl);
    return true;
}

void MoviePlayer::swapped() { mpv_render_context_report_swap(native_->render); }

}  // namespace rt
