// Socket commands: numbered TCP and UDP sockets, name resolution and the last network error.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"
