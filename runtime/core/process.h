// Commands that reach outside the game: the command line, other programs, the shell, the file
// dialogs and threads.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// The process command line as it was at entry, program name included.
RtString command_line_get();

// Starts the program named by the command line (split into words as a shell splits them, no shell
// run; the program is searched on PATH). The command's buffer is grown to at least 1024 characters,
// keeping its text. exit_code is set to 0, then, with wait != 0, to the program's exit code once it
// has ended (128 + the signal number when a signal ended it). show has no effect on this platform.
// 1 when the program was started, 0 when it was not.
double program_run(RtString& command, double wait, double show, double& exit_code);
// Shuts the runtime down, starts the program without waiting and ends the process with code 0.
[[noreturn]] void program_run_and_exit(const RtString& command);
// Shuts the runtime down, hands the file name or address to the desktop's opener and ends the
// program.
[[noreturn]] void shell_open_and_exit(const RtString& target);

// Shows the desktop's open (open != 0) or save file dialog and gives the chosen path with every "\"
// turned into "/", or "NO_FILE" when nothing was chosen or no dialog is available. filter lists
// display names and patterns separated by "|" ("Maps|*.map|All files|*.*"); patterns of one entry
// are separated by ";". The result is stored in result and returned. The current directory is the
// same afterwards; a full-screen display is left for the dialog and restored after it.
RtString file_dialog(RtString& result, int32_t open, const RtString& filter);

// A thread's body: one pointer-sized argument, a pointer-sized result (its exit code).
using ThreadFunction = intptr_t (*)(intptr_t argument);

// Starts function(argument) on a new thread: its handle when keep != 0 (for thread_join), 0 when
// not kept, -1 when no thread could be started.
intptr_t thread_create(ThreadFunction function, intptr_t argument, int32_t keep);
// Waits for a kept thread and stores its result when asked: 0, or 22 for a handle that is unknown,
// already joined, or the calling thread's own.
int32_t thread_join(intptr_t handle, intptr_t* exit_code = nullptr);
int32_t thread_join(intptr_t handle, double& exit_code);
// Gives the processor to another ready thread.
void thread_yield();
// Sleeps the calling thread; 0 or less yields.
void thread_sleep(int32_t milliseconds);
