// The view: the map pixel shown at the screen's top-left corner follows the player, who stays
// at screen (270, 260) until the view meets the map's edges.
#include <cstdint>

#include "game/game.h"

void view_follow(const Player& player) {
    TileMap& map = game_tables.map;
    // 64-bit: a map's pixel width need not fit 32 bits even when its tile count does.
    const int64_t map_width = static_cast<int64_t>(kTileSize) * map.width;
    const int64_t map_height = static_cast<int64_t>(kTileSize) * map.height;
    int64_t scroll_x = static_cast<int64_t>(player.x) - 270;
    int64_t scroll_y = static_cast<int64_t>(player.y) - 260;
    // The left and top limits first; the others only when those did not apply.
    if (scroll_x < 0) {
        scroll_x = 0;
    } else if (map_width < static_cast<int64_t>(player.x) + 370) {
        scroll_x = map_width - kScreenWidth;
    }
    if (scroll_y < 0) {
        scroll_y = 0;
    } else if (map_height < static_cast<int64_t>(player.y) + 220) {
        scroll_y = map_height - kScreenHeight;
    }
    game_tables.scroll_x = static_cast<int32_t>(scroll_x);
    game_tables.scroll_y = static_cast<int32_t>(scroll_y);
}
