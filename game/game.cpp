// Tumblefoot_3: the start-up values, the pictures and the map loaded before the first frame, and
// the frame loop.
#include "game/game.h"

// The game's named functions: none.
const NamedFunction game_functions[] = {{nullptr, nullptr}};

void game_configure() {
    startup_settings.screen_width = 640;
    startup_settings.screen_height = 480;
    startup_settings.frame_rate = 60;
    startup_settings.fullscreen = 0;
    startup_settings.multisample = 0;
    startup_settings.debug_mode = 0;
    startup_settings.mouse_hidden = 0;
    startup_settings.window_title = "Tumblefoot_3";
}

namespace {

// Loads a picture into the lowest free sprite number, which is stored first: a picture that does
// not load leaves the number free for the next one.
void picture_load(const char* name, int32_t& number) {
    number = sprite_free_number();
    sprite_load(name, number);
}

}  // namespace

// Returns only when the game cannot start; the frame loop ends through the runtime.
int32_t game_main() {
    tables_dim();
    Player player;
    if (player_init(player) == 0) return 0;

    transparent_colour_set(0xFF00FF);  // magenta pixels of every later picture are transparent
    const char* tile_pictures[7] = {"Media/gfx/t1.bmp",      "Media/gfx/t2.bmp",      "Media/gfx/t3.bmp",
                                    "Media/gfx/tsloper.bmp", "Media/gfx/tslopel.bmp", "Media/gfx/t6.bmp",
                                    "Media/gfx/t7.bmp"};
    for (int32_t i = 0; i < 7; ++i) picture_load(tile_pictures[i], array_element_1d(game_tables.tile_sprites, i));
    picture_load("Media/gfx/left.bmp", array_element_1d(game_tables.player_sprites, 0));
    picture_load("Media/gfx/right.bmp", array_element_1d(game_tables.player_sprites, 1));
    int32_t background_sprite = 0;
    picture_load("Media/gfx/bg.bmp", background_sprite);
    int32_t background_width = 0;
    int32_t background_height = 0;
    sprite_size(background_sprite, background_width, background_height);

    tile_kinds_fill();
    game_tables.scroll_x = 0;
    game_tables.scroll_y = 0;
    if (map_load(game_tables.map, "Media/maps/map01.map") == 0) return 0;

    for (;;) {
        player_update(player);
        background_draw(background_sprite, background_width, background_height);
        map_draw(game_tables.map);
        player_draw(player);
        screen_present();
    }
}
