// Tumblefoot_3's frame without pacing: player and view, background, tiles, player picture and the
// buffer swap, on Mesa through SDL's offscreen driver, with the player walking to and fro in the
// middle of the level. Prints processor and wall milliseconds per frame.
#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "game/game.h"
#include "runtime/core/globals.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/input/input_service.h"

#ifndef RT_BUILD_TYPE
#define RT_BUILD_TYPE "unknown build type"
#endif

namespace {

constexpr int kRounds = 5;
constexpr int kFramesPerRound = 1000;
constexpr int kStrideFrames = 20;  // frames per walk in one direction: 80 pixels

double cpu_ms() { return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The game's pictures and map, loaded as game_main loads them; the background sprite, or -1 when
// a picture or the map is missing.
int32_t assets_load(int32_t& background_width, int32_t& background_height) {
    tables_dim();
    transparent_colour_set(0xFF00FF);
    const char* names[10] = {"Media/gfx/t1.bmp",      "Media/gfx/t2.bmp", "Media/gfx/t3.bmp", "Media/gfx/tsloper.bmp",
                             "Media/gfx/tslopel.bmp", "Media/gfx/t6.bmp", "Media/gfx/t7.bmp", "Media/gfx/left.bmp",
                             "Media/gfx/right.bmp",   "Media/gfx/bg.bmp"};
    int32_t numbers[10];
    for (int32_t i = 0; i < 10; ++i) {
        numbers[i] = sprite_free_number();
        sprite_load(names[i], numbers[i]);
        if (sprite_free_number() == numbers[i]) {
            std::fprintf(stderr, "game_frame_bench: %s did not load\n", names[i]);
            return -1;
        }
    }
    for (int32_t i = 0; i < 7; ++i) array_element_1d(game_tables.tile_sprites, i) = numbers[i];
    array_element_1d(game_tables.player_sprites, 0) = numbers[7];
    array_element_1d(game_tables.player_sprites, 1) = numbers[8];
    sprite_size(numbers[9], background_width, background_height);
    tile_kinds_fill();
    if (map_load(game_tables.map, "Media/maps/map01.map") == 0) {
        std::fprintf(stderr, "game_frame_bench: Media/maps/map01.map did not load\n");
        return -1;
    }
    return numbers[9];
}

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    // The folder holding Media/: the one given, else this program's own (the build folder, where
    // building tumblefoot copies it).
    std::error_code ec;
    std::filesystem::path folder =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
    if (chdir(folder.c_str()) != 0 || !std::filesystem::exists("Media/maps/map01.map")) {
        std::fprintf(stderr, "usage: game_frame_bench [FOLDER]\n  FOLDER holds the game's Media/ (looked in %s)\n",
                     folder.c_str());
        return 2;
    }

    rt::globals.display = std::make_unique<DuraVUZododivi>();
    DuraVUZododivi& display = *rt::globals.display;
    if (!display.display_create(kScreenWidth, kScreenHeight, 0, 60, 0) || !display.display_set_windowed()) {
        std::fprintf(stderr, "game_frame_bench: no display\n");
        return 1;
    }
    rt::globals.input = std::make_unique<rt::InputService>();
    rt::input_init(display.window(), 0);
    rt::globals.input->window_active_set(true);  // key reads then do what they do in the game

    int32_t background_width = 0;
    int32_t background_height = 0;
    const int32_t background = assets_load(background_width, background_height);
    if (background < 0) return 1;

    // On the last hill top, where the view stands away from every edge of the map: partial tile
    // columns and rows on all four sides.
    Player player;
    player_init(player);
    player.x = 2340;
    player.y = 300;
    rt::InputService& input = *rt::globals.input;
    int64_t frame = 0;
    auto one_frame = [&] {
        const bool right = frame / kStrideFrames % 2 == 0;
        input.key_down_set(kKeyRight, right);
        input.key_down_set(kKeyLeft, !right);
        ++frame;
        player_update(player);
        background_draw(background, background_width, background_height);
        map_draw(game_tables.map);
        player_draw(player);
        display.buffers_swap_and_clear();
        glFinish();  // the frame's drawing done, as the next swap on a real window would wait for it
    };
    for (int i = 0; i < 2 * kStrideFrames; ++i) one_frame();  // landed, caches warm
    std::printf("game_frame_bench (%s): player at %d, %d; view at %d, %d\n", RT_BUILD_TYPE, player.x, player.y,
                game_tables.scroll_x, game_tables.scroll_y);

    std::vector<double> cpu_per_frame, wall_per_frame;
    for (int round = 0; round < kRounds; ++round) {
        const double cpu_start = cpu_ms();
        const auto wall_start = std::chrono::steady_clock::now();
        for (int i = 0; i < kFramesPerRound; ++i) one_frame();
        const double wall =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall_start).count();
        cpu_per_frame.push_back((cpu_ms() - cpu_start) / kFramesPerRound);
        wall_per_frame.push_back(wall / kFramesPerRound);
        std::printf("round %d: %d frames, cpu %.3f ms/frame, wall %.3f ms/frame\n", round + 1, kFramesPerRound,
                    cpu_per_frame.back(), wall_per_frame.back());
    }
    std::printf("median: cpu %.3f ms/frame (all threads), wall %.3f ms/frame; %.0f frames/s unpaced\n",
                median(cpu_per_frame), median(wall_per_frame), 1000.0 / median(wall_per_frame));
    std::printf("player ended at %d, %d; view at %d, %d\n", player.x, player.y, game_tables.scroll_x,
                game_tables.scroll_y);

    rt::globals.input.reset();
    rt::globals.display.reset();
    return 0;
}
