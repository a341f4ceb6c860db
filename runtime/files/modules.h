// Functions of outside shared libraries declared by the game: each module is loaded once, by its
// lower-cased name, and stays loaded until shut-down.
#pragma once

#include "runtime/values/rt_string.h"

// Lower-cases module in place (the caller's text changes), loads it unless already loaded and
// sets out to the address of function in it, or to null. Never fails the program: a missing
// module or function leaves out null, and a missing module is reported on the debug channel.
void module_function_resolve(RtString& module, const char* function, void*& out);
