// The map loader: width, height and width x height tile codes, little-endian 32-bit integers,
// read through a file channel.
#include <cstdint>
#include <limits>

#include "game/game.h"

int32_t map_load(TileMap& map, const RtString& name) {
    int32_t channel = file_channel_find_free();
    if (channel < 0) return 0;
    if (!file_exists(name)) return 0;
    if (!file_open(channel, name, 1)) return 0;
    array_dim(map.tiles, 0, 0, 0, 0);
    int32_t width = 0;
    int32_t height = 0;
    file_read_long(channel, width);
    file_read_long(channel, height);
    const int64_t count = static_cast<int64_t>(width) * height;
    if (width < 0 || height < 0 || count > std::numeric_limits<int32_t>::max()) {
        // No map has a negative size or more codes than a table can index: a bad file.
        map.width = 0;
        map.height = 0;
        file_close(channel);
        return 0;
    }
    // A file too short for its codes ends the program at the first missing one, as reading them
    // would; finding that out before dimensioning spares the table a bogus header asks for.
    file_seek(channel, 0, -1);
    const int64_t available = static_cast<int64_t>(file_position(channel)) - 8;
    if (available < 4 * count) {
        int32_t missing = 0;
        file_read_long(channel, missing);  // at the end of a plain file: error code 3, the end
    }
    file_seek(channel, 8, 0);  // a memory file's short read gives zeros instead: read on
    array_dim(map.tiles, static_cast<int32_t>(count), 0, 0, 0);
    int32_t index = 0;
    for (int32_t column = 0; column < width; ++column) {
        for (int32_t row = 0; row < height; ++row) {
            file_read_long(channel, array_element_1d(map.tiles, index));
            ++index;
        }
    }
    map.width = width;
    map.height = height;
    file_close(channel);
    return 1;
}
