// The command that names the packs: the files whose ends hold the packs that names missing on
// disk are looked up in.
#pragma once

#include "runtime/values/rt_string.h"

// Sets the pack of the main resolver (files, pictures, fonts, sounds, 3D objects) and of the media
// resolver (music and movies); both are enabled again and drop their last extraction. An empty
// name, or one above 1023 bytes, sets no pack.
void pack_set(const RtString& main_pack, const char* media_pack);
