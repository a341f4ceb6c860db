// Platform queries by key (language, documents folder, battery, volume id, time, build stamps,
// GL entry points) and the process environment.
#pragma once

#include "runtime/values/rt_string.h"

// The answer for key (byte-wise, case-sensitive); "NO_DATA" for a key it does not know.
RtString platform_info(const RtString& key);
// The variable's value, "" when unset; for an empty name every "name=value" entry, each ended
// by a line feed.
RtString environment_get(const RtString& name);
// Sets the variable for this process; name becomes name "=" value. The combined text is split
// at its first "=", and an empty value removes the variable.
void environment_set(RtString& name, const RtString& value);
