// The definitions of the process-wide state, the start-up settings and the services' accessors.
#include "runtime/core/globals.h"

#include "runtime/core/lifecycle.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/gfx2d/gl_entry_points.h"
#include "runtime/gfx3d/engine3d.h"
#include "runtime/input/input_service.h"
#include "runtime/sound/music_service.h"
#include "runtime/sound/sound_service.h"

StartupSettings startup_settings;

namespace rt {

RuntimeGlobals globals;

// The platform information answers "GLEXT:" keys through the display's context (no display: no).
RuntimeGlobals::RuntimeGlobals() { files.gl_entry_point_query_ = gl_entry_point_offered; }
RuntimeGlobals::~RuntimeGlobals() = default;

DuraVUZododivi* display_service() { return globals.display.get(); }
InputService* input_service() { return globals.input.get(); }
SoundService* sound_service() { return globals.sound.get(); }
MusicService* music_service() { return globals.music.get(); }
FileService& file_service() { return globals.files; }
ValueService& value_service() { return globals.values; }
NetService& net_service() { return globals.net; }

}  // namespace rt

Zevivedu3R* rt::engine3d() { return globals.engine3d.get(); }
