// Whether the current GL context offers an entry point by name.
#pragma once

namespace rt {

// True when the display's context has the GL version or one of the extensions that brings the
// entry point, and the loader gives its address. The loader alone answers for any "gl" name on
// some drivers, so its address decides nothing by itself. False without a display.
bool gl_entry_point_offered(const char* name);

}  // namespace rt
