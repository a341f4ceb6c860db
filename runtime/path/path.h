// The path-finding command: the cheapest chain of straight steps between two cells of a cost
// grid, written into a path array. Nothing is kept between calls.
#pragma once

#include <cstdint>

#include "runtime/arrays/rt_array.h"

// map[x][y] holds the terrain: above 0 passable (entering costs more the higher the value), 0 or
// below a wall. weight (limited to 0..1) orders the search from cost alone (0) through the usual
// A* (0.5) to distance alone (1). Returns the number of cells of the path, start and goal
// included, with path redimensioned to [n][2] (path[i][0] = x, path[i][1] = y, start first).
// Returns 0 with path emptied when the goal cannot be reached, and 0 with path unchanged when
// start or goal lie outside the map, start equals goal, or no cell is passable.
int32_t path_find(const RtArray<double>& map, RtArray<int32_t>& path, double weight, int32_t start_x, int32_t start_y,
                  int32_t goal_x, int32_t goal_y);
// The same into a real path array, which is always redimensioned ([0][2] without a path).
int32_t path_find(const RtArray<double>& map, RtArray<double>& path, double weight, int32_t start_x, int32_t start_y,
                  int32_t goal_x, int32_t goal_y);
// The same over an integer map.
int32_t path_find(const RtArray<int32_t>& map, RtArray<int32_t>& path, double weight, int32_t start_x, int32_t start_y,
                  int32_t goal_x, int32_t goal_y);
