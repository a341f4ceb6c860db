// Tumblefoot_3's records, game-wide tables and functions: tile kinds, the tile map and its
// loader, the player's movement and collision, the view and the drawing of a frame.
#pragma once

#include <cstdint>

#include "runtime/runtime.h"

// Map pixels per tile side; the screen the view shows.
constexpr int32_t kTileSize = 20;
constexpr int32_t kScreenWidth = 640;
constexpr int32_t kScreenHeight = 480;

// Key codes the player reads.
constexpr int32_t kKeyRight = 205;
constexpr int32_t kKeyLeft = 203;
constexpr int32_t kKeyJump = 42;  // left Shift

enum TileCollision : int32_t {
    passable = 0,
    solid = 1,
    slope_rising = 2,   // surface from the bottom-left to the top-right corner
    slope_falling = 3,  // surface from the top-left to the bottom-right corner
};

struct TileKind {
    int32_t collision;  // TileCollision
    int32_t sprite;     // sprite drawn for the tile, -1 for none
};

// tiles[row * width + column], row 0 at the top.
struct TileMap {
    RtArray<int32_t> tiles;
    int32_t width = 0;
    int32_t height = 0;
};

struct Player {
    int32_t x;  // left edge of the box, map pixels
    int32_t y;  // top edge; the feet are at y + height
    int32_t height;
    int32_t width;  // the box covers x ... x + width inclusive
    int32_t speed_x;
    int32_t speed_y;   // pixels per frame, negative upwards
    int32_t airborne;  // 1 while no jump may start
    int32_t facing_right;
    int32_t jump_held;    // 1 from a jump's start until standing with the jump key up
    int32_t foot_column;  // tile under the foot point at the end of the last frame
    int32_t foot_row;
};

struct GameTables {
    RtArray<TileKind> tile_kinds;     // index: map code
    RtArray<int32_t> tile_sprites;    // the seven tile pictures
    RtArray<int32_t> player_sprites;  // [0] facing left, [1] facing right
    TileMap map;
    int32_t scroll_x = 0;  // map pixel at the screen's top-left corner
    int32_t scroll_y = 0;
};

extern GameTables game_tables;

// ---- tables ----
// Dimensions tile_kinds (9), tile_sprites (7) and player_sprites (2), empty, and resets the view.
void tables_dim();
// Fills tile_kinds, codes 0 to 8, from the collision table and tile_sprites.
void tile_kinds_fill();
// Collision of the tile at tiles[row * width + column]; an index outside the tiles, or a code
// outside the kind table, ends the program with error code 9.
int32_t tile_collision_at(int32_t column, int32_t row);

// ---- map ----
// 1 when the map was read; 0 when the file is missing, does not open, or its sizes cannot be a
// map. A file too short for its codes ends the program with error code 3.
int32_t map_load(TileMap& map, const RtString& name);

// ---- player ----
int32_t player_init(Player& player);
// One frame: keys, movement, then the view.
void player_update(Player& player);
void player_move(Player& player);

// ---- view and drawing ----
void view_follow(const Player& player);
void background_draw(int32_t sprite, int32_t width, int32_t height);
void map_draw(TileMap& map);
void player_draw(const Player& player);
