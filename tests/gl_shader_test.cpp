// Shader slots on Mesa: refused numbers, compile and link failures with their logs, a
// fragment-only program colouring drawn sprites until the frame ends, and missing uniforms.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/gfx2d/picture_codec.h"
#include "runtime/gfx2d/sprites.h"
#include "runtime/gfx3d/engine3d.h"
#include "runtime/gfx3d/shader.h"
#include "support/gl_support.h"
#include "support/test_support.h"

namespace {

const char kPassVertex[] = "void main() { gl_Position = ftransform(); gl_TexCoord[0] = gl_MultiTexCoord0; }\n";
const char kColourFragment[] =
    "uniform float Red;\n"
    "uniform float Green;\n"
    "void main() { gl_FragColor = vec4(Red, Green, 0.0, 1.0); }\n";

// Shader texts by name; the engine reads them through its file reader.
std::map<std::string, std::string>& shader_files() {
    static std::map<std::string, std::string> files;
    return files;
}

bool shader_file_read(const char* name, rt::FileBytes& out) {
    auto it = shader_files().find(name);
    if (it == shader_files().end()) return false;
    auto text = std::make_shared<const std::string>(it->second);
    out.data = reinterpret_cast<const uint8_t*>(text->data());
    out.size = text->size();
    out.owner = text;
    return true;
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

const Rgb kWhite{255, 255, 255};

class Shaders : public rt_test::DisplayServiceTest {
protected:
    void SetUp() override {
        DisplayServiceTest::SetUp();
        if (HasFatalFailure()) return;
        rt::globals.engine3d = std::make_unique<Zevivedu3R>();
        engine = rt::globals.engine3d.get();
        engine->file_reader_set(shader_file_read);
        shader_files() = {{"pass.vert", kPassVertex}, {"colour.frag", kColourFragment}};
        // A white 8 x 8 sprite: whatever colour it shows comes from the program in use.
        rt::Picture picture;
        picture.width = picture.height = 8;
        picture.pixels.assign(8 * 8 * 4, 255);
        std::vector<uint8_t> png;
        ASSERT_TRUE(rt::png_encode(picture, png));
        std::string path = dir.file("white.png");
        rt_test::write_file(path, std::string(png.begin(), png.end()));
        sprite_load(RtString(path.c_str()), 1);
        screen_clear(0);
    }
    void TearDown() override {
        if (engine) engine->shaders().release();
        rt::globals.engine3d.reset();
        DisplayServiceTest::TearDown();
    }

    // The colour of the sprite drawn at (100, 100), read back from its middle.
    Rgb sprite_colour() {
        screen_clear(0);
        sprite_draw(1, 100, 100);
        uint8_t p[4] = {};
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(104, 479 - 104, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return Rgb{p[0], p[1], p[2]};
    }

    Zevivedu3R* engine = nullptr;
    rt_test::TempDir dir;
};

TEST_F(Shaders, NumbersOutsideTheSlotsAreRefused) {
    ASSERT_EQ(shader_load(254, "pass.vert", "colour.frag"), 1);
    rt_test::DebugCapture capture(1);
    for (int32_t number : {255, -1, 100000}) EXPECT_EQ(shader_load(number, "pass.vert", "colour.frag"), 0) << number;
    EXPECT_TRUE(capture.lines.empty());
    EXPECT_NE(engine->shaders().slot(254).program, 0u);
    // Two files that cannot be read make an empty slot, and that is no failure.
    EXPECT_EQ(shader_load(5, "missing.vert", "missing.frag"), 1);
    EXPECT_EQ(engine->shaders().slot(5).program, 0u);
    EXPECT_TRUE(capture.lines.empty());
}

TEST_F(Shaders, FailuresReportTheLogThenWhatFailed) {
    struct Case {
        const char* vertex;
        const char* fragment;
        const char* message;
    };
    const Case cases[] = {
        {"void main() { gl_Position = no_such_value; }\n", kColourFragment, "vertex shader failed"},
        {kPassVertex, "void main() { gl_FragColor = vec4(1.0) + ; }\n", "fragment shader failed"},
        {kPassVertex, "vec4 colour();\nvoid main() { gl_FragColor = colour(); }\n", "link shader failed"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(shader_load(3, "pass.vert", "colour.frag"), 1);
        shader_use(3);
        shader_files()["bad.vert"] = c.vertex;
        shader_files()["bad.frag"] = c.fragment;
        rt_test::DebugCapture capture(1);
        EXPECT_EQ(shader_load(3, "bad.vert", "bad.frag"), 0) << c.message;
        ASSERT_EQ(capture.lines.size(), 2u) << c.message;
        EXPECT_GT(capture.lines[0].size(), std::string("TX\n").size()) << c.message << ": the log is missing";
        EXPECT_EQ(capture.lines[0].rfind("TX", 0), 0u);
        EXPECT_EQ(capture.lines[1], std::string("TX") + c.message + "\n");
        // The old program is gone with the failed load: the slot in use draws fixed-function.
        EXPECT_EQ(sprite_colour(), kWhite) << c.message;
        shader_use(-1);
    }
}

TEST_F(Shaders, FragmentOnlyProgramColoursSpritesUntilTheFrameEnds) {
    rt_test::DebugCapture capture(1);
    ASSERT_EQ(shader_load(1, "missing.vert", "colour.frag"), 1);
    EXPECT_EQ(engine->shaders().slot(1).vertex, 0u);
    EXPECT_EQ(sprite_colour(), kWhite) << "loading alone makes no program current";

    shader_use(1);
    shader_set_float("Red", 0.0f);
    shader_set_float("Green", 1.0f);
    EXPECT_EQ(sprite_colour(), (Rgb{0, 255, 0}));
    shader_set_float("Red", 1.0f);
    shader_set_float("Green", 0.0f);
    EXPECT_EQ(sprite_colour(), (Rgb{255, 0, 0}));

    // Reloading the slot in use keeps it in use with the new program.
    EXPECT_EQ(shader_load(1, "pass.vert", "colour.frag"), 1);
    shader_set_float("Green", 1.0f);
    EXPECT_EQ(sprite_colour(), (Rgb{0, 255, 0}));

    engine->frame_reset();
    EXPECT_EQ(engine->shaders().in_use(), -1);
    EXPECT_EQ(sprite_colour(), kWhite);
    shader_set_float("Red", 1.0f);  // no slot in use: nothing to set, nothing to report
    EXPECT_EQ(sprite_colour(), kWhite);
    EXPECT_TRUE(capture.lines.empty());
}

TEST_F(Shaders, NamesTheProgramLacksAreReported) {
    ASSERT_EQ(shader_load(7, "pass.vert", "colour.frag"), 1);
    shader_use(7);
    rt_test::DebugCapture capture(1);
    shader_set_float("Blue", 1.0f);
    EXPECT_EQ(capture.lines, (std::vector<std::string>{"TXundefined uniform:\n", "TXBlue\n"}));
    capture.lines.clear();
    engine->shaders().attrib_float_set("Weight", 1.0f);
    EXPECT_EQ(capture.lines, (std::vector<std::string>{"TXundefined attrib:\n", "TXWeight\n"}));
    capture.lines.clear();
    // The scene's texture-unit uniforms are optional.
    engine->shaders().texture_units_set();
    EXPECT_TRUE(capture.lines.empty());
}

TEST(ShadersWithoutContext, SupportMissingIsNoticedOnce) {
    rt::globals.engine3d = std::make_unique<Zevivedu3R>();
    rt::globals.engine3d->file_reader_set(shader_file_read);
    shader_files() = {{"colour.frag", kColourFragment}};
    {
        rt_test::DebugCapture capture(1);
        EXPECT_EQ(shader_load(1, "", "colour.frag"), 0);
        EXPECT_EQ(shader_load(1, "", "colour.frag"), 0);
        shader_use(1);
        EXPECT_EQ(capture.lines, (std::vector<std::string>{"TXNo OpenGL 2.0 Shader Support\n"}));
    }
    EXPECT_EQ(rt::globals.engine3d->shaders().in_use(), -1);
    rt::globals.engine3d.reset();
}

}  // namespace
