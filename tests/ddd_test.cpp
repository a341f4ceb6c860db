// 3D objects from .ddd files: both binary forms and the text form, colours and normals, the debug
// lines of a failed load, damaged and oversized files, and files found as memory files and in a pack.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/files/memory_files.h"
#include "runtime/files/pack.h"
#include "runtime/files/resolver.h"
#include "runtime/gfx3d/engine3d.h"
#include "runtime/gfx3d/objects.h"
#include "runtime/gfx3d/objects3d.h"
#include "support/test_support.h"

namespace {

using rt_test::DebugCapture;
using rt_test::TempDir;
using rt_test::write_file;

// Little-endian file bytes.
struct Bytes {
    std::string s;
    Bytes& u8(uint8_t v) {
        s.push_back(static_cast<char>(v));
        return *this;
    }
    Bytes& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    Bytes& f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        return u32(bits);
    }
    Bytes& f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        return u32(static_cast<uint32_t>(bits)).u32(static_cast<uint32_t>(bits >> 32));
    }
    // Magic, version, frame count, palette and texture coordinate pairs.
    Bytes& header(double version, int32_t frames, const std::vector<uint32_t>& palette, const std::vector<float>& uv) {
        u32(0x00C6B317).f64(version).i32(frames).i32(static_cast<int32_t>(palette.size()));
        i32(static_cast<int32_t>(uv.size() / 2));
        for (uint32_t c : palette) u32(c);
        for (float f : uv) f32(f);
        return *this;
    }
};

// Version 2.0, one triangle: normal indices 0, 4 and 200 (outside the table), colour indices
// 0 (white), 1 (red) and 9 (past the palette), texture coordinates for the first two vertices only.
std::string triangle_file() {
    Bytes b;
    b.header(2.0, 1, {0xFFFFFFFFu, 0x000000FFu}, {0.25f, 0.5f, 0.75f, 1.0f});
    b.i32(3);
    b.f32(1).f32(2).f32(3).u8(0).u8(0);
    b.f32(4).f32(5).f32(6).u8(4).u8(1);
    b.f32(7).f32(8).f32(9).u8(200).u8(9);
    return b.s;
}

// Finds names as start-up's reader does: disk, then the pack (as a memory file), or a memory file.
PackResolver* g_resolver = nullptr;
bool test_reader(const char* name, rt::FileBytes& out) {
    out = rt::FileBytes{};
    std::string resolved;
    if (!path_resolve(*g_resolver, name, resolved, true)) return false;
    if (!rt::is_memory_file_name(resolved.c_str())) return rt::file_bytes_read_plain(resolved.c_str(), out);
    rt::MemoryView view;
    if (!rt::memory_file_lookup(resolved.c_str(), view)) return false;
    out.owner = view.owner_;
    out.data = view.data_;
    out.size = static_cast<size_t>(view.size_);
    return true;
}

using Vec2 = std::array<float, 2>;
using Vec3 = std::array<float, 3>;
using Vec4 = std::array<float, 4>;
constexpr Vec4 kWhite{1, 1, 1, 1};
Vec3 position(const MeshVertex& v) { return {v.x, v.y, v.z}; }
Vec3 normal(const MeshVertex& v) { return {v.nx, v.ny, v.nz}; }
Vec2 texcoord(const MeshVertex& v) { return {v.u, v.v}; }
Vec4 rgba(const MeshVertex& v) { return {v.r, v.g, v.b, v.a}; }

class DddTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!rt::globals.engine3d) rt::globals.engine3d = std::make_unique<Zevivedu3R>();
        g_resolver = &resolver_;
        rt::engine3d()->file_reader_set(test_reader);
    }
    void TearDown() override { g_resolver = nullptr; }

    // Writes bytes under name in the test folder and loads them as object number.
    int32_t load(const std::string& name, const std::string& bytes, int32_t number = 1) {
        write_file(dir_.file(name), bytes);
        return object_load(RtString(dir_.file(name).c_str()), number);
    }
    const MeshObjectX* mesh(int32_t number = 1) { return rt::engine3d()->objects().mesh(number); }
    std::vector<std::string> failure_lines(const std::string& name, bool wrong_version = false,
                                           const char* kind = "# read error") {
        std::vector<std::string> lines;
        if (wrong_version) lines.push_back("TXWrong .ddd version.\n");
        lines.push_back(std::string("TX") + kind + "\n");
        lines.push_back("TX" + dir_.file(name) + "\n");
        return lines;
    }

    TempDir dir_;
    PackResolver resolver_;
};

TEST_F(DddTest, BinaryTriangleWithPaletteNormalsAndTextureCoordinates) {
    ASSERT_EQ(load("tri.ddd", triangle_file()), 1);
    ASSERT_EQ(mesh()->frames_.size(), 1u);
    const std::vector<MeshVertex>& v = mesh()->frames_[0].vertices;
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(position(v[2]), (Vec3{7, 8, 9}));
    // Normals from the table; index 200 lies outside it and counts as 0.
    EXPECT_EQ(normal(v[0]), (Vec3{-0.525731f, 0, 0.850651f}));
    EXPECT_EQ(normal(v[1]), (Vec3{-0.16246f, 0.262866f, 0.951056f}));
    EXPECT_EQ(normal(v[2]), normal(v[0]));
    // Texture coordinates for the first two vertices only.
    EXPECT_EQ(texcoord(v[1]), (Vec2{0.75f, 1}));
    EXPECT_EQ(texcoord(v[2]), (Vec2{0, 0}));
    // 0xFFFFFFFF is white, 0x000000FF red, a colour index past the palette white.
    EXPECT_EQ(rgba(v[0]), kWhite);
    EXPECT_EQ(rgba(v[1]), (Vec4{1, 0, 0, 1}));
    EXPECT_EQ(rgba(v[2]), kWhite);
}

TEST_F(DddTest, QuantisedVerticesAndVersionLimits) {
    // 1.5: (byte - offset) x scale per axis.
    Bytes b;
    b.header(1.5, 1, {0x00336699u}, {});
    b.i32(2).f32(0).f32(0).f32(0).f32(0.5f).f32(0.5f).f32(0.5f);
    b.u8(10).u8(20).u8(30).u8(0).u8(0);
    b.u8(255).u8(0).u8(1).u8(0).u8(0);
    ASSERT_EQ(load("q.ddd", b.s), 1);
    EXPECT_EQ(position(mesh()->frames_[0].vertices[0]), (Vec3{5, 10, 15}));
    EXPECT_EQ(position(mesh()->frames_[0].vertices[1]), (Vec3{127.5f, 0, 0.5f}));
    EXPECT_EQ(rgba(mesh()->frames_[0].vertices[0]), (Vec4{0x99 / 255.0f, 0x66 / 255.0f, 0x33 / 255.0f, 1}));

    // 1.02 and 2.0 are the limits; beyond them, and a version that is no number, fail with the
    // version message. The object that loaded before is then not in use.
    for (double version : {1.02, 2.0}) {
        Bytes ok;
        ok.header(version, 0, {}, {});
        rt::FileBytes bytes{nullptr, reinterpret_cast<const uint8_t*>(ok.s.data()), ok.s.size()};
        MeshObjectX mesh_in;
        EXPECT_TRUE(rt::mesh_read(mesh_in, "x", bytes)) << version;
    }
    for (double version : {2.5, 1.01, -2.0, std::numeric_limits<double>::quiet_NaN()}) {
        Bytes bad;
        bad.header(version, 0, {}, {});
        DebugCapture capture(1);
        EXPECT_EQ(load("v.ddd", bad.s), 0) << version;
        EXPECT_EQ(capture.lines, failure_lines("v.ddd", true)) << version;
        EXPECT_EQ(mesh(), nullptr);
        ASSERT_NE(rt::engine3d()->objects().find(1), nullptr);
        EXPECT_TRUE(rt::engine3d()->objects().find(1)->mesh->frames_.empty());
    }
}

TEST_F(DddTest, EmptyFramesLoadButTheObjectStaysUnused) {
    Bytes b;
    b.header(2.0, 2, {}, {});
    b.i32(0).i32(0);
    DebugCapture capture(1);
    EXPECT_EQ(load("empty.ddd", b.s, 7), 0);
    EXPECT_TRUE(capture.lines.empty());
    EXPECT_EQ(mesh(7), nullptr);
    ASSERT_NE(rt::engine3d()->objects().find(7), nullptr);
    EXPECT_EQ(rt::engine3d()->objects().find(7)->in_use, 0);
    EXPECT_EQ(rt::engine3d()->objects().find(7)->mesh->frames_.size(), 2u);
}

TEST_F(DddTest, DamagedFilesFailWithReadErrorAndName) {
    DebugCapture capture(1);
    // Missing file: the same lines without a specific message.
    EXPECT_EQ(object_load(RtString(dir_.file("none.ddd").c_str()), 1), 0);
    EXPECT_EQ(capture.lines, failure_lines("none.ddd"));

    // Every cut of a good file fails cleanly (the whole file loads).
    const std::string whole = triangle_file();
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        capture.lines.clear();
        EXPECT_EQ(load("cut.ddd", whole.substr(0, cut)), 0) << cut;
        EXPECT_EQ(capture.lines, failure_lines("cut.ddd")) << cut;
    }

    // Negative and oversized counts are refused before anything is allocated or read.
    struct Case {
        const char* what;
        int32_t frames, colours, texcoords, vertices;
    };
    const int32_t kMax = std::numeric_limits<int32_t>::max();
    for (const Case& c : {Case{"negative frames", -1, 0, 0, 3}, Case{"negative colours", 1, -1, 0, 3},
                          Case{"negative texcoords", 1, 0, -5, 3}, Case{"negative vertices", 1, 0, 0, -3},
                          Case{"huge colours", 1, kMax, 0, 3}, Case{"huge texcoords", 1, 0, kMax, 3},
                          Case{"huge frames", kMax, 0, 0, 3}, Case{"huge vertices", 1, 0, 0, kMax},
                          Case{"texcoords past the end", 1, 0, 8, 0}}) {
        Bytes b;
        b.u32(0x00C6B317).f64(2.0).i32(c.frames).i32(c.colours).i32(c.texcoords);
        b.i32(c.vertices);
        b.s += std::string(4 * 14, '\0');
        capture.lines.clear();
        EXPECT_EQ(load("bad.ddd", b.s), 0) << c.what;
        EXPECT_EQ(capture.lines, failure_lines("bad.ddd")) << c.what;
    }

    // Neither binary nor text.
    capture.lines.clear();
    EXPECT_EQ(load("junk.ddd", "DDD"), 0);
    EXPECT_EQ(capture.lines, failure_lines("junk.ddd"));
}

TEST_F(DddTest, TextFiles) {
    // 1.0: positions only, "#" comments anywhere between numbers.
    const std::string v10 =
        "DDDA 1.0 # a cut-out\n"
        "3  0 0  1 0  0.5 1\n"
        "1\t7 7 7 # group values, unused\r\n"
        "3 0 0 1 1 2 2\n"
        "2 # frames\n"
        "3 0 0 0  1 0 0  0 1 0\n"
        "3 0 0 1  2 0 1  0 2 1 # second key frame";
    ASSERT_EQ(load("a.ddd", v10), 1);
    ASSERT_EQ(mesh()->frames_.size(), 2u);
    ASSERT_EQ(mesh()->frames_[1].vertices.size(), 3u);
    const MeshVertex& v = mesh()->frames_[1].vertices[1];
    EXPECT_EQ(position(v), (Vec3{2, 0, 1}));
    EXPECT_EQ(normal(v), (Vec3{0, 0, 0}));
    EXPECT_EQ(texcoord(v), (Vec2{1, 0}));
    EXPECT_EQ(v.colour, rt::kNoColour);
    EXPECT_EQ(rgba(v), kWhite);

    // 1.1: a normal after each position. Vertices may be shared; a texture index past the list
    // gives no coordinates.
    const std::string v11 =
        "DDDA\n1.1\n1 0.25 0.75\n"
        "1 0 0 0 6  0 0  1 0  2 5  0 0  2 0  1 0\n"
        "1 3  0 0 0 0 0 1  1 0 0 0 0 1  0 1 0 0 0 -1\n";
    ASSERT_EQ(load("b.ddd", v11, 2), 1);
    const std::vector<MeshVertex>& w = mesh(2)->frames_[0].vertices;
    ASSERT_EQ(w.size(), 6u);
    EXPECT_EQ(position(w[2]), (Vec3{0, 1, 0}));
    EXPECT_EQ(normal(w[2]), (Vec3{0, 0, -1}));
    EXPECT_EQ(texcoord(w[2]), (Vec2{0, 0}));
    EXPECT_EQ(texcoord(w[0]), (Vec2{0.25f, 0.75f}));
    EXPECT_EQ(normal(w[5]), (Vec3{0, 0, 1}));

    // Failures: a higher version, a vertex index past the frame, a word where a number belongs, a
    // count that is not a whole number, and a file cut short.
    DebugCapture capture(1);
    EXPECT_EQ(load("c.ddd", "DDDA 1.2 0 0 0"), 0);
    EXPECT_EQ(capture.lines, failure_lines("c.ddd", true));
    for (const char* bad :
         {"DDDA 1.0 0 1 0 0 0 3 0 0 1 0 3 0 1 3 0 0 0 1 0 0 0 1 0", "DDDA 1.0 x 0 0", "DDDA 1.0 1.5 0 0",
          "DDDA 1.0 0 1 0 0 0 3 0 0 1 0 2 0 1 3 0 0 0 1 0 0 0 1", "DDDA1.0 0 0 0", "DDDA 1.0 0 0 -1"}) {
        capture.lines.clear();
        EXPECT_EQ(load("d.ddd", bad), 0) << bad;
        EXPECT_EQ(capture.lines, failure_lines("d.ddd")) << bad;
    }

    // Frames x indices is bounded: a small file cannot ask for millions of vertices.
    std::string big = "DDDA 1.0 0 1 0 0 0 3000";
    for (int i = 0; i < 3000; ++i) big += " 0 0";
    big += " 3000";
    for (int i = 0; i < 3000; ++i) big += " 1 0 0 0";
    capture.lines.clear();
    EXPECT_EQ(load("big.ddd", big), 0);
    EXPECT_EQ(capture.lines, failure_lines("big.ddd", false, "# malloc error"));
}

TEST_F(DddTest, FoundAsMemoryFileAndInAPack) {
    auto bytes = std::make_shared<std::string>(triangle_file());
    const auto* data = reinterpret_cast<const uint8_t*>(bytes->data());
    std::string name = rt::memory_file_register(bytes, data, static_cast<uint32_t>(bytes->size()));
    EXPECT_EQ(object_load(RtString(name.c_str()), 3), 1);
    EXPECT_EQ(mesh(3)->frames_[0].vertices[1].y, 5.0f);
    rt::memory_file_unregister(data);
    DebugCapture capture(1);
    EXPECT_EQ(object_load(RtString(name.c_str()), 3), 0);

    // A pack entry, found by its name when no such file is on disk.
    std::vector<rt::PackSource> sources{{"Model.ddd", std::vector<uint8_t>(bytes->begin(), bytes->end())}};
    std::vector<uint8_t> pack;
    std::string error;
    ASSERT_TRUE(rt::pack_build(sources, rt::PackLevel::kFast, pack, error)) << error;
    write_file(dir_.file("game.pack"), std::string(pack.begin(), pack.end()));
    resolver_.set_pack(dir_.file("game.pack").c_str());
    EXPECT_EQ(object_load(RtString("models/model.ddd"), 4), 1);
    EXPECT_EQ(mesh(4)->frames_[0].vertices.size(), 3u);
}

}  // namespace
