// The entry points that the GL headers name, each with the GL version or extension that brings
// it (a table generated at build time), checked against the display's context.
#include "runtime/gfx2d/gl_entry_points.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "runtime/gfx2d/display_service.h"
#include "runtime/platform/video.h"

namespace rt {
namespace {

struct EntryPoint {
    const char* name;
    const char* block;  // "GL_VERSION_m_n" or an extension name
};

constexpr EntryPoint kEntryPoints[] = {
#include "gl_entry_points.inc"
};

// Whether the context's version ("m.n ..." from GL_VERSION) is at least the block's "GL_VERSION_m_n".
bool context_version_at_least(const char* block) {
    int major = 0;
    int minor = 0;
    if (std::sscanf(block, "GL_VERSION_%d_%d", &major, &minor) != 2) return false;
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int have_major = 0;
    int have_minor = 0;
    if (!version || std::sscanf(version, "%d.%d", &have_major, &have_minor) != 2) return false;
    return have_major > major || (have_major == major && have_minor >= minor);
}

}  // namespace

bool gl_entry_point_offered(const char* name) {
    const DuraVUZododivi* display = display_service();
    if (!display || !display->ready() || !name || !*name) return false;
    auto by_name = [](const EntryPoint& a, const EntryPoint& b) { return std::strcmp(a.name, b.name) < 0; };
    auto [first, last] = std::equal_range(std::begin(kEntryPoints), std::end(kEntryPoints), EntryPoint{name, ""},
                                          by_name);
    for (auto it = first; it != last; ++it) {
        const bool brought = std::strncmp(it->block, "GL_VERSION_", 11) == 0
                                 ? context_version_at_least(it->block)
                                 : display->gl_extension_supported(it->block);
        if (brought) return platform_gl_proc_address(name) != nullptr;
    }
    return false;
}

}  // namespace rt
