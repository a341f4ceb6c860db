// Fuzzes the .ddd readers (binary, quantised binary and "DDDA" text) through the object table:
// a load succeeds only with a vertex in frame 0, a failed read leaves the mesh empty, no mesh
// exceeds the vertex limit, and every colour lies in 0..1.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "runtime/core/globals.h"
#include "runtime/gfx3d/objects.h"

namespace {

rt::FileBytes g_input;

bool input_reader(const char*, rt::FileBytes& out) {
    out = g_input;
    return true;
}

bool unit(float value) { return value >= 0.0f && value <= 1.0f; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rt::globals.debug.present_override = 0;  // failure lines go nowhere
    g_input = rt::FileBytes{nullptr, data, size};
    // Kept across inputs, so that loading over an earlier mesh is exercised too.
    static rt::ObjectTable table;
    const int32_t loaded = table.load("fuzz.ddd", 1, input_reader);
    const rt::ObjectEntry* entry = table.find(1);
    const bool scene = size >= 4 && data[0] == ';' && data[1] == 'D' && data[2] == 'D' && data[3] == 'W';
    if (scene) {
        if (loaded != 0) std::abort();
        return 0;
    }
    if (!entry || !entry->mesh || (loaded == 1) != (entry->in_use == 1)) std::abort();
    const MeshObjectX& mesh = *entry->mesh;
    if (!mesh.loaded_ && (!mesh.frames_.empty() || !mesh.palette_.empty())) std::abort();
    if (loaded == 1 && (mesh.frames_.empty() || mesh.frames_[0].vertices.empty())) std::abort();
    int64_t total = 0;
    for (const MeshFrame& frame : mesh.frames_) {
        total += static_cast<int64_t>(frame.vertices.size());
        for (const MeshVertex& v : frame.vertices) {
            if (!unit(v.r) || !unit(v.g) || !unit(v.b) || v.a != 1.0f) std::abort();
            if (v.colour >= 0xFFFFFFFCu && (v.r != 1.0f || v.g != 1.0f || v.b != 1.0f)) std::abort();
        }
    }
    if (total > rt::kMeshMaxVertices) std::abort();

    MeshObjectX again;
    const bool parsed = rt::mesh_parse(again, data, size) == rt::MeshReadResult::kOk;
    if (parsed != mesh.loaded_ || again.frames_.size() != mesh.frames_.size()) std::abort();
    return 0;
}
