// Sprites per 60 fps frame: how many draws of a 26 x 37 sprite at varied positions fit in 16.7 ms
// (clear, the draws, and waiting for the GL to finish), through sprite_draw and through SDL's
// renderer with its OpenGL and its software back end, measured in the same run.
#include <GL/gl.h>
#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/gfx2d/picture_codec.h"
#include "runtime/gfx2d/sprites.h"

#ifndef RT_BUILD_TYPE
#define RT_BUILD_TYPE "unknown build type"
#endif

namespace {

constexpr int kScreenW = 640, kScreenH = 480;
constexpr int kSpriteW = 26, kSpriteH = 37;
constexpr double kFrameMs = 1000.0 / 60.0;

// A sprite as games have them: an opaque body with transparent corners.
rt::Picture sprite_picture() {
    rt::Picture p;
    p.width = kSpriteW;
    p.height = kSpriteH;
    p.pixels.assign(size_t{kSpriteW} * kSpriteH * 4, 0);
    for (int y = 0; y < kSpriteH; ++y) {
        for (int x = 0; x < kSpriteW; ++x) {
            double dx = (x + 0.5 - kSpriteW / 2.0) / (kSpriteW / 2.0),
                   dy = (y + 0.5 - kSpriteH / 2.0) / (kSpriteH / 2.0);
            if (dx * dx + dy * dy > 1.0) continue;
            uint8_t* px = &p.pixels[(size_t{static_cast<size_t>(y)} * kSpriteW + x) * 4];
            px[0] = static_cast<uint8_t>(40 + x * 8);
            px[1] = static_cast<uint8_t>(30 + y * 5);
            px[2] = 160;
            px[3] = 255;
        }
    }
    return p;
}

// Positions spread over the screen, the same sequence for every renderer.
std::vector<SDL_Point> positions(size_t count) {
    std::vector<SDL_Point> out(count);
    uint32_t seed = 12345;
    for (auto& p : out) {
        seed = seed * 1664525u + 1013904223u;
        p.x = static_cast<int>((seed >> 8) % (kScreenW - kSpriteW));
        seed = seed * 1664525u + 1013904223u;
        p.y = static_cast<int>((seed >> 8) % (kScreenH - kSpriteH));
    }
    return out;
}

double ms_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// One renderer under test: frame(n) clears, draws n sprites and waits until they are done.
struct Contender {
    std::string name;
    std::function<void(size_t)> frame;
    size_t count = 1000;          // sprites per frame, tuned so that a frame takes about 16.7 ms
    std::vector<double> results;  // sprites per 16.7 ms, one per round
};

// Times one frame of c.count sprites and moves c.count towards a 16.7 ms frame.
void measure_round(Contender& c) {
    c.frame(c.count);  // warm: the first frame after switching renderers pays for the switch
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        auto start = std::chrono::steady_clock::now();
        c.frame(c.count);
        best = std::min(best, ms_since(start));
    }
    double per_frame = static_cast<double>(c.count) * kFrameMs / best;
    c.results.push_back(per_frame);
    c.count = std::clamp<size_t>(static_cast<size_t>(per_frame), 50, 2000000);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    const std::vector<SDL_Point> where = positions(1 << 21);

    // The runtime's display, installed as the process's service so that the commands reach it.
    rt::globals.display = std::make_unique<DuraVUZododivi>();
    DuraVUZododivi& display = *rt::globals.display;
    if (!display.display_create(kScreenW, kScreenH, 0, 60, 0) || !display.display_set_windowed()) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    SDL_Window* runtime_window = SDL_GL_GetCurrentWindow();
    SDL_GLContext runtime_context = SDL_GL_GetCurrentContext();
    const rt::Picture picture = sprite_picture();
    std::vector<uint8_t> png;
    auto dir = std::filesystem::temp_directory_path() / ("sprite_bench." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "sprite.png").string();
    {
        if (!rt::png_encode(picture, png)) return 1;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    }
    bool loaded = display.sprite_load(path.c_str(), 1, false);
    std::filesystem::remove_all(dir);
    if (!loaded) {
        std::fprintf(stderr, "sprite not loaded\n");
        return 1;
    }
    const char* gl_renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    std::printf("sprite_bench (%s), GL renderer: %s\n", RT_BUILD_TYPE, gl_renderer ? gl_renderer : "?");
    // Other work on the machine slows the rasteriser threads: the figures are comparable only
    // within one run.
    std::string load;
    std::getline(std::ifstream("/proc/loadavg"), load);
    std::printf("load average: %s\n", load.c_str());

    auto runtime_frame = [&](size_t n, double alpha) {
        SDL_GL_MakeCurrent(runtime_window, runtime_context);
        display.frame_state_reset();
        display.screen_clear(0);
        blend_alpha_set(alpha);
        for (size_t i = 0; i < n; ++i) sprite_draw(1, where[i].x, where[i].y);
        glFinish();
    };

    // SDL's renderers, each in a window of its own; the OpenGL one gets a context of its own.
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    SDL_Window* gl_window = SDL_CreateWindow("gl", 0, 0, kScreenW, kScreenH, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    SDL_Renderer* gl_renderer_sdl = gl_window ? SDL_CreateRenderer(gl_window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    SDL_Window* sw_window = SDL_CreateWindow("sw", 0, 0, kScreenW, kScreenH, SDL_WINDOW_HIDDEN);
    SDL_Renderer* sw_renderer = sw_window ? SDL_CreateRenderer(sw_window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
    if (!gl_renderer_sdl || !sw_renderer) {
        std::fprintf(stderr, "SDL renderer missing: %s\n", SDL_GetError());
        return 1;
    }
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(gl_renderer_sdl, &info);
    std::printf("SDL renderers: %s", info.name);
    SDL_GetRendererInfo(sw_renderer, &info);
    std::printf(", %s\n", info.name);

    auto sdl_texture = [&](SDL_Renderer* r) {
        SDL_Texture* t = SDL_CreateTexture(r, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, kSpriteW, kSpriteH);
        SDL_UpdateTexture(t, nullptr, picture.pixels.data(), kSpriteW * 4);
        SDL_SetTextureBlendMode(t, SDL_BLENDMODE_BLEND);
        return t;
    };
    SDL_Texture* gl_texture = sdl_texture(gl_renderer_sdl);
    SDL_Texture* sw_texture = sdl_texture(sw_renderer);
    auto sdl_frame = [&](SDL_Renderer* r, SDL_Texture* t, size_t n) {
        SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
        SDL_RenderClear(r);
        SDL_Rect dst{0, 0, kSpriteW, kSpriteH};
        for (size_t i = 0; i < n; ++i) {
            dst.x = where[i].x;
            dst.y = where[i].y;
            SDL_RenderCopy(r, t, nullptr, &dst);
        }
        // Reading one pixel back runs every queued command and waits for it.
        uint32_t pixel = 0;
        SDL_Rect one{0, 0, 1, 1};
        SDL_RenderReadPixels(r, &one, SDL_PIXELFORMAT_ABGR8888, &pixel, 4);
    };

    std::vector<Contender> contenders(4);
    contenders[0].name = "runtime sprite_draw (alpha test)";
    contenders[0].frame = [&](size_t n) { runtime_frame(n, 0); };
    contenders[1].name = "runtime sprite_draw (blended)";
    contenders[1].frame = [&](size_t n) { runtime_frame(n, -1); };
    contenders[2].name = "SDL_Renderer opengl (blended)";
    contenders[2].frame = [&](size_t n) { sdl_frame(gl_renderer_sdl, gl_texture, n); };
    contenders[3].name = "SDL_Renderer software (blended)";
    contenders[3].frame = [&](size_t n) { sdl_frame(sw_renderer, sw_texture, n); };
    // Rounds alternate between the contenders so that a slow moment of the machine hits all alike.
    for (int round = 0; round < 7; ++round) {
        for (Contender& c : contenders) measure_round(c);
    }
    std::printf("sprites (%d x %d) per 16.7 ms frame, median of %zu rounds:\n", kSpriteW, kSpriteH,
                contenders[0].results.size());
    for (Contender& c : contenders) std::printf("  %-36s %9.0f\n", c.name.c_str(), median(c.results));
    double ours = median(contenders[0].results), ours_blended = median(contenders[1].results);
    double sdl_gl = median(contenders[2].results), sdl_sw = median(contenders[3].results);
    std::printf("ratios: runtime / SDL opengl %.2fx (blended %.2fx), runtime / SDL software %.2fx (blended %.2fx)\n",
                ours / sdl_gl, ours_blended / sdl_gl, ours / sdl_sw, ours_blended / sdl_sw);

    SDL_DestroyTexture(gl_texture);
    SDL_DestroyTexture(sw_texture);
    SDL_DestroyRenderer(gl_renderer_sdl);
    SDL_DestroyRenderer(sw_renderer);
    SDL_DestroyWindow(gl_window);
    SDL_DestroyWindow(sw_window);
    SDL_GL_MakeCurrent(runtime_window, runtime_context);
    rt::globals.display.reset();
    return 0;
}
