// The game's logic without a window: the map loader, the player's movement and collision with
// scripted keys, and the view that follows the player. Maps are small files written per test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "game/game.h"
#include "runtime/core/globals.h"
#include "runtime/input/input_service.h"
#include "support/test_support.h"

namespace {

// The bytes of a map file: width, height, the codes, then any extra bytes.
std::string map_file_bytes(int32_t width, int32_t height, const std::vector<int32_t>& codes,
                           const std::string& extra = "") {
    std::string out;
    auto put = [&](int32_t v) {
        auto u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(u >> (8 * i)));
    };
    put(width);
    put(height);
    for (int32_t c : codes) put(c);
    return out + extra;
}

// A map drawn in text, one string per row: '.' empty, '#' ground (2), 'R' slope_rising (6),
// 'F' slope_falling (5), 'c' code -1.
std::vector<int32_t> codes_of(const std::vector<std::string>& rows) {
    std::vector<int32_t> codes;
    for (const std::string& row : rows) {
        for (char ch : row) {
            switch (ch) {
                case '#':
                    codes.push_back(2);
                    break;
                case 'R':
                    codes.push_back(6);
                    break;
                case 'F':
                    codes.push_back(5);
                    break;
                case 'c':
                    codes.push_back(-1);
                    break;
                default:
                    codes.push_back(0);
                    break;
            }
        }
    }
    return codes;
}

class Game : public ::testing::Test {
protected:
    void SetUp() override {
        tables_dim();
        tile_kinds_fill();
        rt::globals.input = std::make_unique<rt::InputService>();
        player_init(player);
    }
    void TearDown() override {
        rt::globals.input.reset();
        game_tables.map = TileMap{};
    }

    // Writes the rows as a map file and loads it into the game's map.
    void load(const std::vector<std::string>& rows) {
        std::string name = dir.file("level.map");
        rt_test::write_file(name, map_file_bytes(static_cast<int32_t>(rows[0].size()),
                                                 static_cast<int32_t>(rows.size()), codes_of(rows)));
        ASSERT_EQ(map_load(game_tables.map, RtString(name.c_str())), 1);
    }
    void keys(bool right, bool left, bool jump) {
        rt::globals.input->key_down_set(kKeyRight, right);
        rt::globals.input->key_down_set(kKeyLeft, left);
        rt::globals.input->key_down_set(kKeyJump, jump);
    }
    void frames(int n, bool right = false, bool left = false, bool jump = false) {
        keys(right, left, jump);
        for (int i = 0; i < n; ++i) player_update(player);
    }

    rt_test::TempDir dir;
    Player player{};
};

// 12 x 10 tiles, closed, floor of row 7 under the start (pixels 140 ... 159).
const std::vector<std::string> kRoom = {
    "############",  //
    "#..........#",  //
    "#..........#",  //
    "#..........#",  //
    "#..........#",  //
    "#..........#",  //
    "#..........#",  //
    "############",  //
    "############",  //
    "############",  //
};

TEST_F(Game, FallsToRestOnTheFloorNeverFasterThanATileAFrame) {
    struct Case {
        int32_t height;  // rows
        int32_t floor;   // row of the floor's top, solid down to the bottom
        int32_t start_y;
        int32_t rest_y;
    };
    for (const Case& c : {Case{10, 7, 100, 102}, Case{60, 58, 20, 20 * 58 - 38}}) {
        std::vector<std::string> rows(static_cast<size_t>(c.height), "#..........#");
        rows.front() = "############";
        for (int32_t r = c.floor; r < c.height; ++r) rows[static_cast<size_t>(r)] = "############";
        load(rows);
        player_init(player);
        player.y = c.start_y;
        int32_t largest_step = 0;
        for (int i = 0; i < 200; ++i) {
            int32_t before = player.y;
            frames(1);
            largest_step = std::max(largest_step, player.y - before);
        }
        EXPECT_EQ(player.y, c.rest_y) << c.height;
        EXPECT_EQ(player.y + player.height, 20 * c.floor - 1);
        EXPECT_EQ(player.speed_y, 1);
        EXPECT_EQ(player.airborne, 0);
        EXPECT_LE(largest_step, 20);
    }
}

TEST_F(Game, WallsStopTheBoxOnePixelShortOnTheRightAndTwoOnTheLeft) {
    std::vector<std::string> rows = kRoom;
    rows[5] = rows[6] = "#..#....#..#";  // walls in columns 3 and 8
    load(rows);
    frames(20);
    frames(20, true);
    EXPECT_EQ(player.x, 148);  // x + width = 159, the last pixel before column 8
    frames(1, false, true);
    EXPECT_EQ(player.x, 144);
    frames(30, false, true);
    EXPECT_EQ(player.x, 81);  // pixel 80 stays free beside column 3's last pixel 79
    EXPECT_EQ(player.facing_right, 0);
    // Both arrows: right wins.
    frames(1, true, true);
    EXPECT_EQ(player.x, 85);
    EXPECT_EQ(player.facing_right, 1);
}

TEST_F(Game, AJumpRises91PixelsIn13FramesHangsAFrameAndLandsAgain) {
    std::vector<std::string> rows = kRoom;
    rows[0] = "#..........#";  // open up to the map's top (row 0 holds y 11 at the top)
    load(rows);
    frames(20);
    ASSERT_EQ(player.y, 102);
    std::vector<int32_t> ys;
    frames(1, false, false, true);
    ys.push_back(player.y);
    for (int i = 0; i < 40; ++i) {
        frames(1);
        ys.push_back(player.y);
    }
    EXPECT_EQ(ys[0], 89);
    EXPECT_EQ(ys[12], 102 - 91);  // 13 + 12 + ... + 1
    EXPECT_EQ(ys[13], ys[12]);    // the frame at the top
    EXPECT_EQ(*std::min_element(ys.begin(), ys.end()), 11);
    EXPECT_EQ(ys.back(), 102);
    EXPECT_EQ(player.airborne, 0);
}

TEST_F(Game, AHeadBumpStopsTheRiseBelowAnyNonPassableTile) {
    for (char ceiling : {'#', 'R', 'F'}) {
        std::vector<std::string> rows = kRoom;
        rows[2][5] = ceiling;  // above the box (x 100 ... 111)
        load(rows);
        player_init(player);
        frames(20);
        frames(1, false, false, true);
        int32_t stop_y = 0;
        for (int i = 0; i < 13 && stop_y == 0; ++i) {
            if (player.speed_y == 0) stop_y = player.y;
            frames(1);
        }
        EXPECT_EQ(stop_y, 20 * 2 + 21) << ceiling;
        frames(40);
        EXPECT_EQ(player.y, 102) << ceiling;
    }
}

TEST_F(Game, AHeldJumpKeyJumpsOnceUntilReleased) {
    for (char ground : {'#', 'F', 'R'}) {  // on the floor, or on a slope tile above it
        std::vector<std::string> rows = kRoom;
        rows[6][5] = ground;
        load(rows);
        player_init(player);
        player.x = 102;
        frames(20);
        const int32_t standing_y = player.y;
        auto takeoffs = [&](int n, bool jump) {
            int count = 0;
            for (int i = 0; i < n; ++i) {
                frames(1, false, false, jump);
                if (player.speed_y == -12) ++count;
            }
            return count;
        };
        EXPECT_EQ(takeoffs(120, true), 1) << ground;
        EXPECT_EQ(player.y, standing_y) << ground;
        EXPECT_EQ(player.airborne, 1) << ground;  // landed, but the key is still down
        EXPECT_EQ(takeoffs(1, false), 0) << ground;
        EXPECT_EQ(player.airborne, 0) << ground;
        EXPECT_EQ(takeoffs(1, true), 1) << ground;
    }
}

TEST_F(Game, FeetStandOnBothSlopeSurfaces) {
    struct Case {
        char slope;
        int32_t feet;  // 20 r + ..., foot point 7 pixels into the tile
    };
    for (const Case& c : {Case{'F', 6}, Case{'R', 12}}) {
        std::vector<std::string> rows = kRoom;
        rows[6][5] = c.slope;  // r = 6, pixels x 100 ... 119
        load(rows);
        player_init(player);
        player.x = 102;  // foot point 107
        frames(30);
        EXPECT_EQ(player.y + player.height, 20 * 6 + c.feet) << c.slope;
        EXPECT_EQ(player.airborne, 0);
        EXPECT_EQ(player.x, 102);
    }
}

TEST_F(Game, ClimbingASlopeChainNeverLeavesTheGround) {
    // A rising chain climbed to the right and a falling chain climbed to the left, each from the
    // floor of row 10 up four rows onto the ground of row 6.
    const std::vector<std::string> rising = {
        "################", "#..............#", "#..............#", "#..............#",
        "#..............#", "#..............#", "#.......R#######", "#......R########",
        "#.....R#########", "#....R##########", "################", "################",
    };
    std::vector<std::string> falling = rising;
    for (std::string& row : falling) {
        std::reverse(row.begin(), row.end());
        for (char& ch : row) ch = ch == 'R' ? 'F' : ch;
    }
    struct Case {
        const std::vector<std::string>* rows;
        int32_t start_x;
        bool right;
    };
    for (const Case& c : {Case{&rising, 40, true}, Case{&falling, 260, false}}) {
        load(*c.rows);
        player_init(player);
        player.x = c.start_x;
        frames(30);
        ASSERT_EQ(player.y + player.height, 199);
        int32_t largest_rise = 0;
        for (int i = 0; i < 40; ++i) {
            int32_t before = player.y;
            frames(1, c.right, !c.right);
            EXPECT_EQ(player.airborne, 0) << "frame " << i;
            EXPECT_LE(player.y, before) << "frame " << i;
            largest_rise = std::max(largest_rise, before - player.y);
        }
        EXPECT_EQ(player.y + player.height, 20 * 6 - 1);
        EXPECT_LE(largest_rise, 20);  // one row at a time
    }
}

TEST_F(Game, TheViewKeepsThePlayerAt270And260InsideTheMapEdges) {
    struct Case {
        int32_t map_width, map_height, x, y, scroll_x, scroll_y;
    };
    const Case cases[] = {
        {100, 50, 100, 100, 0, 0},
        {100, 50, 1000, 600, 730, 340},
        {100, 50, 1950, 600, 1360, 340},           // the last 32 columns
        {100, 50, 1000, 900, 730, 520},            // the bottom rows
        {20, 10, 300, 300, 400 - 640, 200 - 480},  // smaller than the screen: negative
    };
    for (const Case& c : cases) {
        game_tables.map.width = c.map_width;
        game_tables.map.height = c.map_height;
        player.x = c.x;
        player.y = c.y;
        view_follow(player);
        EXPECT_EQ(game_tables.scroll_x, c.scroll_x) << c.x;
        EXPECT_EQ(game_tables.scroll_y, c.scroll_y) << c.y;
    }
}

TEST_F(Game, MapFilesLoadRowByRow) {
    struct Case {
        std::string bytes;
        int32_t result, width, height, count;
    };
    const std::vector<int32_t> six = {1, 2, 3, 4, 5, 6};
    const Case cases[] = {
        {map_file_bytes(3, 2, six), 1, 3, 2, 6},
        {map_file_bytes(3, 2, six, "\x01\x02\x03\x04"), 1, 3, 2, 6},  // extra bytes not read
        {map_file_bytes(0, 7, {}), 1, 0, 7, 0},
        {map_file_bytes(4, 0, {}), 1, 4, 0, 0},
        {map_file_bytes(-3, -2, six), 0, 0, 0, 0},  // no map has a negative size
    };
    for (const Case& c : cases) {
        std::string name = dir.file("case.map");
        rt_test::write_file(name, c.bytes);
        game_tables.map = TileMap{};
        EXPECT_EQ(map_load(game_tables.map, RtString(name.c_str())), c.result);
        EXPECT_EQ(game_tables.map.width, c.width);
        EXPECT_EQ(game_tables.map.height, c.height);
        EXPECT_EQ(array_bounds(game_tables.map.tiles, 0), c.count);
        if (c.count == 6) {
            EXPECT_EQ(array_element_1d(game_tables.map.tiles, 3), 4);  // column 0 of row 1
            EXPECT_EQ(tile_collision_at(0, 1), passable);              // code 4, a decoration
            EXPECT_EQ(tile_collision_at(1, 1), slope_falling);
        }
        EXPECT_EQ(file_channel_find_free(), 0);  // the channel was closed again
    }
    EXPECT_EQ(map_load(game_tables.map, RtString(dir.file("missing.map").c_str())), 0);
}

TEST_F(Game, CodeMinusOneIsCodeEight) {
    load({"#c#", "...", "###"});
    EXPECT_EQ(tile_collision_at(1, 0), solid);
    TileKind& minus_one = array_element_1d(game_tables.tile_kinds, array_element_1d(game_tables.map.tiles, 1));
    EXPECT_EQ(&minus_one, &array_element_1d(game_tables.tile_kinds, 8));
}

TEST_F(Game, ShortFilesAndUnknownCodesEndTheProgram) {
    struct Case {
        std::string bytes;
        int column;  // looked up after loading
        int32_t error;
    };
    const Case cases[] = {
        {map_file_bytes(3, 2, {1, 2, 3, 4, 5}), 0, 3},        // one code missing
        {map_file_bytes(3, 2, {1, 2, 3, 4, 5}, "xy"), 0, 3},  // half a code
        {map_file_bytes(3, 2, {}).substr(0, 6), 0, 3},        // not even the height
        {map_file_bytes(20000, 20000, {1, 2}), 0, 3},         // a huge claim is not dimensioned first
        {map_file_bytes(2, 1, {0, 9}), 1, 9},                 // code 9: outside the kind table
        {map_file_bytes(2, 1, {0, 2}), 2, 9},                 // past the end of the tiles
    };
    for (const Case& c : cases) {
        std::string name = dir.file("case.map");
        rt_test::write_file(name, c.bytes);
        rt_test::ChildResult child = rt_test::run_in_child([&] {
            if (map_load(game_tables.map, RtString(name.c_str())) != 1) return;
            tile_collision_at(c.column, 0);
        });
        EXPECT_FALSE(child.returned) << c.error;
        EXPECT_EQ(child.error_code(), c.error);
    }
}

}  // namespace
