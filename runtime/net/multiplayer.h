// Net game commands: host or join a game, register players, send and receive text messages.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"
