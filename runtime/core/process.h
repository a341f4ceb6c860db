// Commands that reach outside the game: the command line, other programs, the shell, threads.
#pragma once

#include "runtime/values/rt_string.h"

// The process command line as it was at entry, program name included.
RtString command_line_get();
