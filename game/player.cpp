// The player: three keys per frame, then integer pixel movement through the tile map, stopped by
// solid walls and floors and by any non-passable tile from below, carried along both slope kinds.
#include <cstdint>

#include "game/game.h"

namespace {

constexpr int32_t kWalkSpeed = 4;
constexpr int32_t kJumpSpeed = -13;
constexpr int32_t kMaxFallSpeed = 20;  // one tile: no fall skips a floor

// True when a solid tile stands in the column of probe_x beside a box whose top is at top; column
// is that column. The rows scanned are those of the pixels top - top mod 20, +20, ... up to
// top + height.
bool wall_test(const Player& player, int32_t probe_x, int32_t top, int32_t& column) {
    column = probe_x / kTileSize;
    for (int32_t p = top - math_mod(top, kTileSize); p <= top + player.height; p += kTileSize) {
        if (tile_collision_at(column, p / kTileSize) == solid) return true;
    }
    return false;
}

// Puts the feet on the slope surface of the tile under (foot_x, foot_y); false, y unchanged, when
// that tile is no slope. column and row are the tile's either way.
bool slope_snap(Player& player, int32_t foot_x, int32_t foot_y, int32_t& column, int32_t& row) {
    column = foot_x / kTileSize;
    row = foot_y / kTileSize;
    int32_t dx = math_mod(foot_x, kTileSize);
    switch (tile_collision_at(column, row)) {
        case slope_falling:  // feet one pixel above the surface point 20 row + dx
            player.y = kTileSize * row + dx - player.height - 1;
            return true;
        case slope_rising:  // feet at 20 row + 19 - dx
            player.y = kTileSize * row - dx - player.height + 19;
            return true;
        default:
            return false;
    }
}

// The slope part of a frame, while falling or standing; true when it ended the frame's movement.
bool slope_move(Player& player) {
    int32_t foot_x = player.x + (player.width >> 1) + player.speed_x;
    int32_t foot_y = player.y + player.height;
    int32_t column = 0;
    int32_t row = 0;
    if (!slope_snap(player, foot_x, foot_y, column, row)) {
        // Off the slope tile of the last frame: onto the next one up or down the chain.
        bool climbing = false;
        switch (tile_collision_at(player.foot_column, player.foot_row)) {
            case slope_falling:
                climbing = player.speed_x <= 0;
                break;
            case slope_rising:
                climbing = player.speed_x >= 0;
                break;
            default:
                return false;
        }
        int32_t r = row;
        int32_t probe_y = 0;
        if (climbing) {
            player.y = kTileSize * r - player.height - 1;
            probe_y = kTileSize * r - 1;
        } else {
            player.y = kTileSize * r - player.height + 19;
            probe_y = kTileSize * r + 39;
        }
        // Failing, the y just set stays: level with the flat ground at either end of a slope.
        if (!slope_snap(player, foot_x, probe_y, column, row)) return false;
    }
    player.x += player.speed_x;
    if (player.jump_held == 0 || key_state(kKeyJump) == 0) {
        player.airborne = 0;
        player.jump_held = 0;
    }
    player.speed_y = 1;
    player.foot_column = column;
    player.foot_row = row;
    return true;
}

void flat_move(Player& player) {
    int32_t column = 0;
    if (player.speed_x > 0) {
        // Against a wall: the box's last pixel right before it.
        bool hit = wall_test(player, player.x + player.speed_x + player.width, player.y, column);
        player.x = hit ? kTileSize * column - player.width - 1 : player.x + player.speed_x;
    } else if (player.speed_x < 0) {
        // Against a wall: one free pixel, 20 column + 20, between it and the box.
        bool hit = wall_test(player, player.x + player.speed_x, player.y, column);
        player.x = hit ? kTileSize * column + 21 : player.x + player.speed_x;
    }

    const int32_t first = player.x - math_mod(player.x, kTileSize);
    if (player.speed_y < 0) {
        int32_t row = (player.y + player.speed_y) / kTileSize;
        for (int32_t q = first; q <= player.x + player.width; q += kTileSize) {
            if (tile_collision_at(q / kTileSize, row) != passable) {
                player.speed_y = 0;
                player.y = kTileSize * row + 21;
                return;
            }
        }
        player.y += player.speed_y;
        player.speed_y += 1;
        return;
    }
    int32_t row = (player.y + player.speed_y + player.height) / kTileSize;
    for (int32_t q = first; q <= player.x + player.width; q += kTileSize) {
        if (tile_collision_at(q / kTileSize, row) == solid) {
            player.speed_y = 1;  // the feet one pixel above the floor
            player.y = kTileSize * row - player.height - 1;
            if (!(player.jump_held == 1 && key_state(kKeyJump) != 0)) {
                player.airborne = 0;
                player.jump_held = 0;
            }
            return;
        }
    }
    player.y += player.speed_y;
    player.speed_y = math_min(player.speed_y + 1, kMaxFallSpeed);
    player.airborne = 1;
}

}  // namespace

int32_t player_init(Player& player) {
    player.x = 100;
    player.y = 100;
    player.height = 37;
    player.width = 11;
    player.speed_x = 0;
    player.speed_y = 0;
    player.airborne = 1;
    player.facing_right = 1;
    player.jump_held = 0;
    player.foot_column = 5;
    player.foot_row = 6;
    return 1;
}

void player_update(Player& player) {
    player.speed_x = 0;
    if (key_state(kKeyRight) != 0) {
        player.speed_x = kWalkSpeed;
        player.facing_right = 1;
    } else if (key_state(kKeyLeft) != 0) {
        player.speed_x = -kWalkSpeed;
        player.facing_right = 0;
    }
    if (key_state(kKeyJump) != 0 && player.airborne == 0) {
        player.speed_y = kJumpSpeed;
        player.airborne = 1;
        player.jump_held = 1;
    }
    player_move(player);
    view_follow(player);
}

void player_move(Player& player) {
    if (player.speed_y > 0 && slope_move(player)) return;
    flat_move(player);
    player.foot_column = (player.x + (player.width >> 1)) / kTileSize;
    player.foot_row = (player.y + player.height) / kTileSize;
}
