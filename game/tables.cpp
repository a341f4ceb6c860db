// The game-wide tables: the tile kind table that ties a map code to a collision and a picture,
// the sprite numbers of the pictures, the map and the view position.
#include <cstdint>
#include <limits>

#include "game/game.h"

GameTables game_tables;

void tables_dim() {
    array_dim(game_tables.tile_kinds, 0, 0, 0, 0);
    array_dim(game_tables.tile_kinds, 9, 0, 0, 0);
    game_tables.scroll_x = 0;
    game_tables.scroll_y = 0;
    array_dim(game_tables.tile_sprites, 0, 0, 0, 0);
    array_dim(game_tables.tile_sprites, 7, 0, 0, 0);
    array_dim(game_tables.player_sprites, 0, 0, 0, 0);
    array_dim(game_tables.player_sprites, 2, 0, 0, 0);
}

void tile_kinds_fill() {
    // Per code: collision, and which of the seven tile pictures (-1: none).
    struct Entry {
        int32_t collision;
        int32_t picture;
    };
    const Entry entries[9] = {
        {passable, -1},      // 0 empty space
        {solid, -1},         // 1 invisible wall
        {solid, 0},          // 2 ground
        {solid, 1},          // 3 brick
        {passable, 2},       // 4 decoration in front of which the player walks
        {slope_falling, 3},  // 5
        {slope_rising, 4},   // 6
        {solid, 5},          // 7 stone
        {solid, 6},          // 8 crate
    };
    for (int32_t code = 0; code < 9; ++code) {
        const Entry& e = entries[code];
        array_element_1d(game_tables.tile_kinds, code).collision = e.collision;
        array_element_1d(game_tables.tile_kinds, code).sprite =
            e.picture < 0 ? -1 : array_element_1d(game_tables.tile_sprites, e.picture);
    }
}

int32_t tile_collision_at(int32_t column, int32_t row) {
    TileMap& map = game_tables.map;
    int64_t index = static_cast<int64_t>(row) * map.width + column;
    // An index beyond 32 bits lies outside any tiles array: clamped, it still fails the test.
    if (index > std::numeric_limits<int32_t>::max()) index = std::numeric_limits<int32_t>::max();
    if (index < std::numeric_limits<int32_t>::min()) index = std::numeric_limits<int32_t>::min();
    int32_t code = array_element_1d(map.tiles, static_cast<int32_t>(index));
    return array_element_1d(game_tables.tile_kinds, code).collision;
}
