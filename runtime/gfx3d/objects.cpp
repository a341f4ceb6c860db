// The .ddd readers (binary with full or quantised vertices, and "DDDA" text), the table of
// numbered objects and the object_load command. Every count from a file is checked against the
// bytes left before anything is allocated or read.
#include "runtime/gfx3d/objects.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "runtime/core/errors.h"
#include "runtime/gfx3d/engine3d.h"
#include "runtime/gfx3d/objects3d.h"

void MeshObject::clear() {
    frames_.clear();
    frames_.shrink_to_fit();
    palette_.clear();
    palette_.shrink_to_fit();
    loaded_ = false;
}

// The derived drawing data (vertex buffers, bounds) is the 3D scene renderer's; a mesh needs
// nothing more until that renderer draws it.
void MeshObjectX::prepare_for_drawing() {}

namespace rt {
namespace {

constexpr uint32_t kBinaryMagic = 0x00C6B317u;
constexpr double kLowestVersion = 1.02;
constexpr double kHighestVersion = 2.0;
constexpr double kHighestTextVersion = 1.1;
constexpr size_t kFullVertexBytes = 14;       // x, y, z floats, normal index, colour index
constexpr size_t kQuantisedVertexBytes = 5;   // x, y, z bytes, normal index, colour index
constexpr size_t kQuantisedFrameHeader = 24;  // offset and scale, three floats each

// Little-endian reads from a block of bytes; every read fails cleanly at the end.
class ByteCursor {
public:
    ByteCursor(const uint8_t* data, size_t size) : data_(data), left_(size) {}

    size_t left() const { return left_; }
    // True when count records of record_size bytes are still there.
    bool holds(int64_t count, size_t record_size) const {
        return count >= 0 && static_cast<uint64_t>(count) <= left_ / record_size;
    }
    bool skip(size_t n) {
        if (n > left_) return false;
        data_ += n;
        left_ -= n;
        return true;
    }
    bool u8(uint8_t& out) {
        if (left_ < 1) return false;
        out = data_[0];
        return skip(1);
    }
    bool u32(uint32_t& out) {
        if (left_ < 4) return false;
        out = static_cast<uint32_t>(data_[0]) | static_cast<uint32_t>(data_[1]) << 8 |
              static_cast<uint32_t>(data_[2]) << 16 | static_cast<uint32_t>(data_[3]) << 24;
        return skip(4);
    }
    bool i32(int32_t& out) {
        uint32_t bits;
        if (!u32(bits)) return false;
        out = static_cast<int32_t>(bits);
        return true;
    }
    bool f32(float& out) {
        uint32_t bits;
        if (!u32(bits)) return false;
        std::memcpy(&out, &bits, sizeof out);
        return true;
    }
    bool f64(double& out) {
        uint32_t low, high;
        if (!u32(low) || !u32(high)) return false;
        uint64_t bits = static_cast<uint64_t>(high) << 32 | low;
        std::memcpy(&out, &bits, sizeof out);
        return true;
    }

private:
    const uint8_t* data_;
    size_t left_;
};

void colour_apply(MeshVertex& vertex, uint32_t colour) {
    vertex.colour = colour;
    if (colour >= 0xFFFFFFFCu) {
        vertex.r = vertex.g = vertex.b = vertex.a = 1.0f;
        return;
    }
    vertex.r = static_cast<float>(colour & 0xFF) / 255.0f;
    vertex.g = static_cast<float>((colour >> 8) & 0xFF) / 255.0f;
    vertex.b = static_cast<float>((colour >> 16) & 0xFF) / 255.0f;
    vertex.a = 1.0f;
}

void normal_apply(MeshVertex& vertex, uint8_t index) {
    const float* n = kVertexNormals[index < kVertexNormalCount ? index : 0];
    vertex.nx = n[0];
    vertex.ny = n[1];
    vertex.nz = n[2];
}

// ---- binary form ----

MeshReadResult binary_parse(MeshObject& mesh, ByteCursor in) {
    uint32_t magic;
    double version;
    int32_t frame_count, colour_count, texcoord_count;
    if (!in.u32(magic) || !in.f64(version) || !in.i32(frame_count) || !in.i32(colour_count) ||
        !in.i32(texcoord_count)) {
        return MeshReadResult::kBadFile;
    }
    if (!(version >= kLowestVersion && version <= kHighestVersion)) return MeshReadResult::kWrongVersion;
    if (!in.holds(colour_count, 4)) return MeshReadResult::kBadFile;
    mesh.palette_.resize(static_cast<size_t>(colour_count));
    for (uint32_t& colour : mesh.palette_) in.u32(colour);

    if (!in.holds(texcoord_count, 8)) return MeshReadResult::kBadFile;
    std::vector<float> texcoords(static_cast<size_t>(texcoord_count) * 2);
    for (float& value : texcoords) in.f32(value);

    const bool quantised = version < kHighestVersion;
    if (!in.holds(frame_count, quantised ? 4 + kQuantisedFrameHeader : 4)) return MeshReadResult::kBadFile;
    if (frame_count > kMeshMaxVertices) return MeshReadResult::kOutOfMemory;
    mesh.frames_.reserve(static_cast<size_t>(frame_count));
    int64_t total_vertices = 0;
    for (int32_t f = 0; f < frame_count; ++f) {
        int32_t vertex_count;
        float offset[3] = {}, scale[3] = {};
        if (!in.i32(vertex_count)) return MeshReadResult::kBadFile;
        if (quantised) {
            if (!in.f32(offset[0]) || !in.f32(offset[1]) || !in.f32(offset[2]) || !in.f32(scale[0]) ||
                !in.f32(scale[1]) || !in.f32(scale[2])) {
                return MeshReadResult::kBadFile;
            }
        }
        if (!in.holds(vertex_count, quantised ? kQuantisedVertexBytes : kFullVertexBytes)) {
            return MeshReadResult::kBadFile;
        }
        total_vertices += vertex_count;
        if (total_vertices > kMeshMaxVertices) return MeshReadResult::kOutOfMemory;

        MeshFrame& frame = mesh.frames_.emplace_back();
        frame.vertices.resize(static_cast<size_t>(vertex_count));
        for (size_t i = 0; i < frame.vertices.size(); ++i) {
            MeshVertex& vertex = frame.vertices[i];
            if (quantised) {
                uint8_t q[3];
                for (uint8_t& b : q) in.u8(b);
                vertex.x = (static_cast<float>(q[0]) - offset[0]) * scale[0];
                vertex.y = (static_cast<float>(q[1]) - offset[1]) * scale[1];
                vertex.z = (static_cast<float>(q[2]) - offset[2]) * scale[2];
            } else {
                in.f32(vertex.x);
                in.f32(vertex.y);
                in.f32(vertex.z);
            }
            uint8_t normal_index = 0, colour_index = 0;
            in.u8(normal_index);
            in.u8(colour_index);
            normal_apply(vertex, normal_index);
            if (i < static_cast<size_t>(texcoord_count)) {
                vertex.u = texcoords[2 * i];
                vertex.v = texcoords[2 * i + 1];
            }
            vertex.colour_index = colour_index;
            colour_apply(vertex, colour_index < mesh.palette_.size() ? mesh.palette_[colour_index] : kNoColour);
        }
    }
    return MeshReadResult::kOk;
}

// ---- text form ----

// Numbers separated by blanks, tabs and line ends; "#" starts a comment up to the end of its line.
class TextCursor {
public:
    TextCursor(const uint8_t* data, size_t size) : text_(reinterpret_cast<const char*>(data), size) {}

    // A rough upper bound on the numbers still to come: each takes at least one byte.
    bool holds(int64_t count, int64_t numbers_each) const {
        return count >= 0 && static_cast<uint64_t>(count) * static_cast<uint64_t>(numbers_each) <=
                                 static_cast<uint64_t>(text_.size() - pos_);
    }

    bool number(double& out) {
        std::string_view token;
        if (!next(token)) return false;
        return parse(token, out);
    }
    bool number(float& out) {
        std::string_view token;
        if (!next(token)) return false;
        return parse(token, out);
    }
    // A whole number from 0 to 2^31 - 1.
    bool count(int32_t& out) {
        double value;
        if (!number(value)) return false;
        if (!(value >= 0.0 && value <= static_cast<double>(std::numeric_limits<int32_t>::max())) ||
            value != std::floor(value)) {
            return false;
        }
        out = static_cast<int32_t>(value);
        return true;
    }

private:
    static bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

    bool next(std::string_view& token) {
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (blank(c)) {
                ++pos_;
            } else if (c == '#') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            } else {
                break;
            }
        }
        size_t start = pos_;
        while (pos_ < text_.size() && !blank(text_[pos_]) && text_[pos_] != '#') ++pos_;
        token = text_.substr(start, pos_ - start);
        return !token.empty();
    }

    template <typename T>
    static bool parse(std::string_view token, T& out) {
        if (token.size() > 1 && token[0] == '+' && token[1] != '-') token.remove_prefix(1);
        const char* end = token.data() + token.size();
        auto [ptr, ec] = std::from_chars(token.data(), end, out);
        return ec == std::errc() && ptr == end;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

struct IndexPair {
    int32_t vertex;
    int32_t texcoord;
};

MeshReadResult text_parse(MeshObject& mesh, const uint8_t* data, size_t size) {
    // "DDDA" is a word of its own.
    if (size > 4 && data[4] != ' ' && data[4] != '\t' && data[4] != '\n' && data[4] != '\r' && data[4] != '#') {
        return MeshReadResult::kBadFile;
    }
    TextCursor in(data + 4, size - 4);
    double version;
    if (!in.number(version)) return MeshReadResult::kBadFile;
    if (!(version <= kHighestTextVersion)) return MeshReadResult::kWrongVersion;
    const bool with_normals = version >= kHighestTextVersion;

    int32_t texcoord_count;
    if (!in.count(texcoord_count) || !in.holds(texcoord_count, 2)) return MeshReadResult::kBadFile;
    std::vector<float> texcoords(static_cast<size_t>(texcoord_count) * 2);
    for (float& value : texcoords) {
        if (!in.number(value)) return MeshReadResult::kBadFile;
    }

    int32_t group_count;
    if (!in.count(group_count) || !in.holds(group_count, 4)) return MeshReadResult::kBadFile;
    std::vector<IndexPair> pairs;  // all groups' pairs in order
    for (int32_t g = 0; g < group_count; ++g) {
        double unused;
        int32_t index_count;
        for (int i = 0; i < 3; ++i) {
            if (!in.number(unused)) return MeshReadResult::kBadFile;
        }
        if (!in.count(index_count) || !in.holds(index_count, 2)) return MeshReadResult::kBadFile;
        if (static_cast<int64_t>(pairs.size()) + index_count > kMeshMaxVertices) return MeshReadResult::kOutOfMemory;
        pairs.reserve(pairs.size() + static_cast<size_t>(index_count));
        for (int32_t k = 0; k < index_count; ++k) {
            IndexPair pair;
            if (!in.count(pair.vertex) || !in.count(pair.texcoord)) return MeshReadResult::kBadFile;
            pairs.push_back(pair);
        }
    }

    int32_t frame_count;
    if (!in.count(frame_count) || !in.holds(frame_count, 1)) return MeshReadResult::kBadFile;
    const int64_t vertices_per_frame = static_cast<int64_t>(pairs.size());
    if (frame_count > kMeshMaxVertices || vertices_per_frame * frame_count > kMeshMaxVertices) {
        return MeshReadResult::kOutOfMemory;
    }
    const int numbers_each = with_normals ? 6 : 3;
    mesh.frames_.reserve(static_cast<size_t>(frame_count));
    std::vector<float> points;  // this frame's x y z [nx ny nz] per vertex
    for (int32_t f = 0; f < frame_count; ++f) {
        int32_t vertex_count;
        if (!in.count(vertex_count) || !in.holds(vertex_count, numbers_each)) return MeshReadResult::kBadFile;
        points.resize(static_cast<size_t>(vertex_count) * static_cast<size_t>(numbers_each));
        for (float& value : points) {
            if (!in.number(value)) return MeshReadResult::kBadFile;
        }
        MeshFrame& frame = mesh.frames_.emplace_back();
        frame.vertices.resize(pairs.size());
        for (size_t i = 0; i < pairs.size(); ++i) {
            const IndexPair& pair = pairs[i];
            if (pair.vertex >= vertex_count) return MeshReadResult::kBadFile;
            const float* p = &points[static_cast<size_t>(pair.vertex) * static_cast<size_t>(numbers_each)];
            MeshVertex& vertex = frame.vertices[i];
            vertex.x = p[0];
            vertex.y = p[1];
            vertex.z = p[2];
            if (with_normals) {
                vertex.nx = p[3];
                vertex.ny = p[4];
                vertex.nz = p[5];
            }
            if (pair.texcoord < texcoord_count) {
                vertex.u = texcoords[2 * static_cast<size_t>(pair.texcoord)];
                vertex.v = texcoords[2 * static_cast<size_t>(pair.texcoord) + 1];
            }
            colour_apply(vertex, kNoColour);
        }
    }
    return MeshReadResult::kOk;
}

void debug_line(const char* text) {
    std::string line = text;
    line += "\n";
    debug_print(RtString(line.c_str()));
}

void failure_report(MeshReadResult result, const char* file_name) {
    if (result == MeshReadResult::kWrongVersion) debug_line("Wrong .ddd version.");
    debug_line(result == MeshReadResult::kOutOfMemory ? "# malloc error" : "# read error");
    debug_line(file_name ? file_name : "");
}

}  // namespace

MeshReadResult mesh_parse(MeshObject& mesh, const uint8_t* data, size_t size) {
    mesh.clear();
    MeshReadResult result = MeshReadResult::kBadFile;
    try {
        uint32_t magic = 0;
        ByteCursor head(data, size);
        if (head.u32(magic) && magic == kBinaryMagic) {
            result = binary_parse(mesh, ByteCursor(data, size));
        } else if (size >= 4 && std::memcmp(data, "DDDA", 4) == 0) {
            result = text_parse(mesh, data, size);
        }
    } catch (const std::bad_alloc&) {
        result = MeshReadResult::kOutOfMemory;
    } catch (const std::length_error&) {
        result = MeshReadResult::kOutOfMemory;
    }
    if (result != MeshReadResult::kOk) {
        mesh.clear();
        return result;
    }
    mesh.loaded_ = true;
    return result;
}

bool mesh_read(MeshObject& mesh, const char* file_name, const FileBytes& bytes) {
    MeshReadResult result = mesh_parse(mesh, bytes.data, bytes.data ? bytes.size : 0);
    if (result == MeshReadResult::kOk) return true;
    failure_report(result, file_name);
    return false;
}

bool mesh_read(MeshObject& mesh, const char* file_name, FileBytesReader reader) {
    FileBytes bytes;
    if (!file_name || !reader || !reader(file_name, bytes)) {
        mesh.clear();
        failure_report(MeshReadResult::kBadFile, file_name);
        return false;
    }
    return mesh_read(mesh, file_name, bytes);
}

int32_t ObjectTable::load(const char* file_name, int32_t number, FileBytesReader reader) {
    if (!file_name) file_name = "";
    FileBytes bytes;
    const bool found = reader && reader(file_name, bytes);
    if (found && bytes.data && bytes.size >= 4 && std::memcmp(bytes.data, ";DDW", 4) == 0) {
        return scene_loader_ ? scene_loader_(*this, file_name, bytes, number) : 0;
    }
    ObjectEntry* entry = nullptr;
    try {
        entry = &entries_[number];
        if (!entry->mesh) entry->mesh = std::make_unique<MeshObjectX>();
    } catch (const std::bad_alloc&) {
        if (entry) entry->in_use = 0;
        failure_report(MeshReadResult::kOutOfMemory, file_name);
        return 0;
    }
    entry->in_use = 0;
    entry->mesh->clear();
    if (!found) {
        failure_report(MeshReadResult::kBadFile, file_name);
        return 0;
    }
    if (!mesh_read(*entry->mesh, file_name, bytes)) return 0;
    if (entry->mesh->frames_.empty() || entry->mesh->frames_[0].vertices.empty()) return 0;
    entry->in_use = 1;
    entry->second_flag = 0;
    entry->mesh->prepare_for_drawing();
    return 1;
}

ObjectEntry* ObjectTable::find(int32_t number) {
    auto it = entries_.find(number);
    return it == entries_.end() ? nullptr : &it->second;
}

const ObjectEntry* ObjectTable::find(int32_t number) const {
    auto it = entries_.find(number);
    return it == entries_.end() ? nullptr : &it->second;
}

const MeshObjectX* ObjectTable::mesh(int32_t number) const {
    const ObjectEntry* entry = find(number);
    return entry && entry->in_use ? entry->mesh.get() : nullptr;
}

}  // namespace rt

int32_t object_load(const RtString& file_name, int32_t number) {
    Zevivedu3R* engine = rt::engine3d();
    if (!engine) return 0;
    try {
        return engine->objects().load(file_name.c_str(), number, engine->file_reader());
    } catch (const std::exception&) {
        return 0;
    }
}
