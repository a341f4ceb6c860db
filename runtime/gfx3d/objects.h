// The table of numbered 3D objects, their meshes (key frames of one triangle list), and the
// readers of .ddd files in the binary form (full or quantised vertices) and the "DDDA" text form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "runtime/core/file_bytes.h"

// One vertex of a mesh frame: 23 single-precision slots.
struct MeshVertex {
    float x = 0, y = 0, z = 0;
    float nx = 0, ny = 0, nz = 0;
    float u = 0, v = 0;
    float scene[9] = {};  // the 3D scene renderer's own per-vertex values
    uint32_t colour = 0;  // 0x00BBGGRR; 0xFFFFFFFC ... 0xFFFFFFFF: no colour (white)
    uint8_t colour_index = 0;
    float r = 1, g = 1, b = 1, a = 1;  // colour as 0..1
};
static_assert(sizeof(MeshVertex) == 23 * 4);

// One key frame: every three consecutive vertices form a triangle.
struct MeshFrame {
    std::vector<MeshVertex> vertices;
};

class MeshObject {
public:
    MeshObject() = default;
    virtual ~MeshObject() = default;
    MeshObject(const MeshObject&) = delete;
    MeshObject& operator=(const MeshObject&) = delete;

    // Readies a freshly loaded mesh for drawing.
    virtual void prepare_for_drawing() {}
    // Back to no frames, no palette, not loaded.
    void clear();

    std::vector<MeshFrame> frames_;  // frame 0 first
    std::vector<uint32_t> palette_;
    bool loaded_ = false;
};

class MeshObjectX : public MeshObject {
public:
    void prepare_for_drawing() override;
};

namespace rt {

constexpr int32_t kVertexNormalCount = 162;
// The format's normal table; a byte index outside it means entry 0.
extern const float kVertexNormals[kVertexNormalCount][3];

// Vertices one mesh may hold over all its frames. The text form builds frame count x index count
// vertices, which a small file could otherwise push to any size.
constexpr int64_t kMeshMaxVertices = int64_t{1} << 22;

// The colour value text files give every vertex (one of the values meaning no colour).
constexpr uint32_t kNoColour = 0xFFFFFFFDu;

enum class MeshReadResult { kOk, kBadFile, kWrongVersion, kOutOfMemory };

// Reads a whole .ddd file (either form) into mesh, which is emptied first and stays empty on
// failure. Sends nothing to the debug output.
MeshReadResult mesh_parse(MeshObject& mesh, const uint8_t* data, size_t size);

// The mesh reader: reads the file through reader and parses it. On failure the debug output gets
// "Wrong .ddd version." (when that is the cause), "# read error" (or "# malloc error") and the
// name, one line each; the mesh is left empty.
bool mesh_read(MeshObject& mesh, const char* file_name, FileBytesReader reader);
// The same on bytes already read; file_name only names them in the failure lines.
bool mesh_read(MeshObject& mesh, const char* file_name, const FileBytes& bytes);

// One numbered object. in_use 0: not loaded (or its last load failed).
struct ObjectEntry {
    uint8_t in_use = 0;
    uint8_t second_flag = 0;
    std::unique_ptr<MeshObjectX> mesh;
};

class ObjectTable {
public:
    // Loads a file that begins with ";DDW" (a scene description naming textures and objects) for
    // object number; returns 1 on success. Set by the 3D scene renderer.
    using SceneLoader = int32_t (*)(ObjectTable& table, const char* file_name, const FileBytes& bytes, int32_t number);

    // Loads file_name into object number: 1 when it loaded and frame 0 holds a vertex, else 0
    // with the object not in use.
    int32_t load(const char* file_name, int32_t number, FileBytesReader reader);

    // The object's entry, or null when the number was never loaded.
    ObjectEntry* find(int32_t number);
    const ObjectEntry* find(int32_t number) const;
    // The object's mesh when it is in use, else null.
    const MeshObjectX* mesh(int32_t number) const;

    void scene_loader_set(SceneLoader loader) { scene_loader_ = loader; }

private:
    std::map<int32_t, ObjectEntry> entries_;
    SceneLoader scene_loader_ = nullptr;
};

}  // namespace rt
