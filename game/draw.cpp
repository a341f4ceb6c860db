// Drawing one frame's pictures: the repeating background, the tiles in view and the player, all
// placed relative to the view's top-left map pixel.
#include <cstdint>

#include "game/game.h"

void background_draw(int32_t sprite, int32_t width, int32_t height) {
    // The picture moves with the map and repeats every width x height pixels.
    const int32_t mx = math_mod(game_tables.scroll_x, width);
    const int32_t my = math_mod(game_tables.scroll_y, height);
    sprite_draw(sprite, -mx, -my);
    sprite_draw(sprite, width - mx, -my);
    sprite_draw(sprite, -mx, height - my);
    sprite_draw(sprite, width - mx, height - my);
}

void map_draw(TileMap& map) {
    const int32_t x0 = -math_mod(game_tables.scroll_x, kTileSize);
    const int32_t first_column = game_tables.scroll_x / kTileSize;
    int32_t row = game_tables.scroll_y / kTileSize;
    const int64_t count = array_bounds(map.tiles, 0);
    // Up to 33 columns and 25 rows; a column past the right edge reads the next row's first
    // tiles, off screen when the view stands at its right limit.
    for (int32_t y = -math_mod(game_tables.scroll_y, kTileSize); y <= kScreenHeight; y += kTileSize) {
        int64_t index = static_cast<int64_t>(row) * map.width + first_column;
        for (int32_t x = x0; x <= kScreenWidth; x += kTileSize) {
            if (index >= 0 && index < count) {
                int32_t code = array_element_1d(map.tiles, static_cast<int32_t>(index));
                int32_t sprite = array_element_1d(game_tables.tile_kinds, code).sprite;
                if (sprite != -1) sprite_draw(sprite, x, y);
            }
            ++index;
        }
        ++row;
    }
}

void player_draw(const Player& player) {
    // The pictures are wider than the 11-pixel box, with the figure placed differently in each.
    if (player.facing_right == 1) {
        sprite_draw(array_element_1d(game_tables.player_sprites, 1), player.x - game_tables.scroll_x - 4,
                    player.y - game_tables.scroll_y - 2);
    } else {
        sprite_draw(array_element_1d(game_tables.player_sprites, 0), player.x - game_tables.scroll_x - 17,
                    player.y - game_tables.scroll_y - 2);
    }
}
