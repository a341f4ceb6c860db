// The movie command: resolves the file, fits the picture to the window, and runs its own loop of
// input, window messages, background music and frame drawing until the movie ends or is cut short.
#include "runtime/core/movie.h"

#include <GL/gl.h>

#include <memory>
#include <string>

#include "runtime/core/clock.h"
#include "runtime/core/window.h"
#include "runtime/files/resolver.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/input/input.h"
#include "runtime/input/input_service.h"
#include "runtime/platform/media.h"
#include "runtime/platform/video.h"
#include "runtime/sound/music_service.h"

namespace rt {
namespace {

// Longest wait for the player's news in one pass, in milliseconds.
constexpr double kMoviePassMs = 5;

bool key_or_button_down() {
    keyboard_update();
    return any_key_down() || mouse_button_any() != 0;
}

// What every pass of the loop does besides the movie: background music and the window.
void movie_pass_services() {
    if (MusicService* music = music_service()) music->service_loop();
    message_pump(display_service(), message_hook_get());
}

}  // namespace

MovieRect movie_fit(int32_t source_width, int32_t source_height, int32_t client_width, int32_t client_height) {
    MovieRect r;
    if (source_width <= 0 || source_height <= 0 || client_width <= 0 || client_height <= 0) return r;
    // The exact products, truncated: the scale is client ÷ source of the tighter side.
    const int64_t sw = source_width, sh = source_height, cw = client_width, ch = client_height;
    if (cw * sh <= ch * sw) {
        r.width = client_width;
        r.height = static_cast<int32_t>(sh * cw / sw);
    } else {
        r.width = static_cast<int32_t>(sw * ch / sh);
        r.height = client_height;
    }
    r.x = (client_width - r.width) / 2;
    r.y = (client_height - r.height) / 2;
    return r;
}

}  // namespace rt

namespace rt {
namespace {

// The player of the movie_play call in progress. A close request inside that call ends the
// program without returning to it, so shut-down releases the player through here while the GL
// context still exists. Main thread only.
std::unique_ptr<MoviePlayer>* active_movie = nullptr;

struct ActiveMovie {
    explicit ActiveMovie(std::unique_ptr<MoviePlayer>& player) { active_movie = &player; }
    ~ActiveMovie() { active_movie = nullptr; }
    ActiveMovie(const ActiveMovie&) = delete;
    ActiveMovie& operator=(const ActiveMovie&) = delete;
};

int32_t movie_run(const RtString& file_name, bool loop) {
    DuraVUZododivi* display = display_service();
    if (!display || !display->gl_ready()) return 3;
    std::string path;
    if (!path_resolve(media_resolver(), file_name.c_str(), path, false) || path.empty()) return 3;
    std::unique_ptr<MoviePlayer> player = MoviePlayer::open(path);
    if (!player) return 3;
    ActiveMovie active(player);

    int32_t source_w = 0, source_h = 0, client_w = 0, client_h = 0;
    player->source_size(source_w, source_h);
    display->window()->client_size(client_w, client_h);
    const MovieRect rect = movie_fit(source_w, source_h, client_w, client_h);

    // A key or button still held from before does not end the movie at once.
    while (key_or_button_down()) {
        movie_pass_services();
        clock_sleep_ms(kMoviePassMs);
    }

    if (player && player->play()) {
        bool first = true;
        for (;;) {
            const bool ended = player->ended();
            if (key_or_button_down()) break;
            movie_pass_services();
            if (!player) break;
            if (ended) {
                if (!loop) break;
                player->seek_start();
                player->play();
            }
            if (player->render(rect.x, rect.y, rect.width, rect.height, client_w, client_h, first)) {
                display->window()->swap_buffers();
                player->swapped();
                first = false;
            }
            player->wait(kMoviePassMs);
        }
    }
    movie_stop();
    // The game's next frame starts on a clean screen with its background.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    display->frame_state_reset();
    return 0;
}

}  // namespace

void movie_stop() {
    if (!active_movie || !*active_movie) return;
    (*active_movie)->stop();
    active_movie->reset();
}

}  // namespace rt

int32_t movie_play(const RtString& file_name, bool loop) {
    try {
        return rt::movie_run(file_name, loop);
    } catch (...) {
        rt::movie_stop();
        return 3;
    }
}
