// The settings commands: one file of "[section]" and "key = value" lines held in memory, read by
// section and key (ignoring ASCII case), changed by puts and written back when another file is
// selected, the selection is cleared, or the program ends.
#pragma once

#include "runtime/values/rt_string.h"

// Writes the held file back if changed, then loads name ("" clears the selection). A missing
// file gives an empty table under its name.
void settings_open(const RtString& name);
// The value of the first matching key of the first matching section, or default_value.
RtString settings_get(const RtString& section, const RtString& key, const RtString& default_value);
// Sets, adds or removes: an empty key removes the section; an empty value removes an existing key
// (a missing key is added even with an empty value).
void settings_put(const RtString& section, const RtString& key, const RtString& value);
