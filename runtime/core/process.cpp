// The command line, programs, the shell and threads.
#include "runtime/core/process.h"

#include "runtime/core/globals.h"

RtString command_line_get() { return rt::globals.core.command_line; }
