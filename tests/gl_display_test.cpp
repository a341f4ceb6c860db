// The display on Mesa through SDL's offscreen driver: window and context creation, the 2D
// projection read back pixel by pixel, clears, extensions and full-screen fallback.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/files/platform_info.h"
#include "runtime/gfx2d/display.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/platform/video.h"
#include "support/gl_support.h"
#include "support/test_support.h"

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

class Display : public ::testing::Test {
protected:
    void SetUp() override {
        display = std::make_unique<DuraVUZododivi>();
        ASSERT_TRUE(display->display_create(640, 480, 0, 60, 0));
        ASSERT_TRUE(display->display_set_windowed());
    }
    // The pixel x to the right of the left edge and y below the top edge of the back buffer.
    Rgb pixel(int x, int y) {
        unsigned char p[4] = {};
        glReadBuffer(GL_BACK);
        glReadPixels(x, display->height() - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return Rgb{p[0], p[1], p[2]};
    }
    static void fill(float x0, float y0, float x1, float y1) {
        glColor4f(1, 1, 1, 1);
        glBegin(GL_QUADS);
        glVertex2f(x0, y0);
        glVertex2f(x1, y0);
        glVertex2f(x1, y1);
        glVertex2f(x0, y1);
        glEnd();
    }
    std::unique_ptr<DuraVUZododivi> display;
};

const Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255};

TEST_F(Display, WindowHasTheClientSizeAndTheDesktopDepth) {
    int32_t w = 0, h = 0;
    display->window()->client_size(w, h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    display->screen_size(w, h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_EQ(display->colour_bits(), rt::platform_desktop_colour_bits());
    EXPECT_EQ(display->display_is_fullscreen(), 0);
    EXPECT_EQ(display->ready(), 1);
    EXPECT_DOUBLE_EQ(display->pacing().frame_time_ms, 1000.0 / 60.0);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
}

TEST_F(Display, ViewportMapsTheOriginAndClipsToItsRectangle) {
    display->screen_clear(0);
    display->viewport_set(10, 20, 100, 50);
    fill(-1000, -1000, 1000, 1000);  // everything the viewport lets through
    // Corners inside, and the pixels just outside each edge.
    EXPECT_EQ(pixel(10, 20), kWhite);
    EXPECT_EQ(pixel(109, 20), kWhite);
    EXPECT_EQ(pixel(10, 69), kWhite);
    EXPECT_EQ(pixel(109, 69), kWhite);
    EXPECT_EQ(pixel(9, 20), kBlack);
    EXPECT_EQ(pixel(10, 19), kBlack);
    EXPECT_EQ(pixel(110, 69), kBlack);
    EXPECT_EQ(pixel(109, 70), kBlack);

    // The game's point (0, 0) is the pixel 10 right and 20 below the top-left corner.
    display->screen_clear(0);
    fill(0, 0, 1, 1);
    EXPECT_EQ(pixel(10, 20), kWhite);
    EXPECT_EQ(pixel(11, 20), kBlack);
    EXPECT_EQ(pixel(10, 21), kBlack);

    int32_t x, y, w, h;
    display->viewport_get(x, y, w, h);
    EXPECT_EQ(std::vector<int32_t>({x, y, w, h}), std::vector<int32_t>({10, 20, 100, 50}));
    double dx, dy, dw, dh;
    display->viewport_get(dx, dy, dw, dh);
    EXPECT_EQ(std::vector<double>({dx, dy, dw, dh}), std::vector<double>({10, 20, 100, 50}));
}

TEST_F(Display, WholeScreenViewportHasTheOriginTopLeftAndYDownwards) {
    display->viewport_set(0, 0, 0, 0);
    display->screen_clear(0);
    fill(0, 0, 2, 1);          // top-left: two pixels wide, one high
    fill(639, 479, 640, 480);  // bottom-right pixel
    EXPECT_EQ(pixel(0, 0), kWhite);
    EXPECT_EQ(pixel(1, 0), kWhite);
    EXPECT_EQ(pixel(2, 0), kBlack);
    EXPECT_EQ(pixel(0, 1), kBlack);
    EXPECT_EQ(pixel(639, 479), kWhite);
    EXPECT_EQ(pixel(638, 479), kBlack);
    int32_t x, y, w, h;
    display->viewport_get(x, y, w, h);
    EXPECT_EQ(std::vector<int32_t>({x, y, w, h}), std::vector<int32_t>({0, 0, 640, 480}));
    // The 2D state after a viewport: alpha test on, blending and depth test off.
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(Display, ClearTakesTheColourAsBlueGreenRed) {
    display->screen_clear(0x00336699);
    EXPECT_EQ(pixel(0, 0), (Rgb{0x99, 0x66, 0x33}));
    EXPECT_EQ(pixel(639, 479), (Rgb{0x99, 0x66, 0x33}));
    display->screen_clear(0x7FFF0000);  // the top byte is no colour
    EXPECT_EQ(pixel(320, 240), (Rgb{0, 0, 255}));
    // The frame's clear after the swap uses the same colour.
    display->screen_clear(0x0000FF00);
    display->buffers_swap_and_clear();
    EXPECT_EQ(pixel(5, 5), (Rgb{0, 255, 0}));
}

TEST_F(Display, ExtensionNamesMatchWholeWordsOnly) {
    const char* list = "GL_ARB_multitexture GL_EXT_abgr GL_ARB_multitexture_plus";
    EXPECT_TRUE(rt::extension_list_contains(list, "GL_ARB_multitexture"));
    EXPECT_TRUE(rt::extension_list_contains(list, "GL_EXT_abgr"));
    EXPECT_TRUE(rt::extension_list_contains(list, "GL_ARB_multitexture_plus"));
    EXPECT_FALSE(rt::extension_list_contains(list, "GL_ARB_multi"));
    EXPECT_FALSE(rt::extension_list_contains(list, "texture"));
    EXPECT_FALSE(rt::extension_list_contains(list, ""));
    EXPECT_FALSE(rt::extension_list_contains("GL_EXT_abgrX", "GL_EXT_abgr"));

    EXPECT_TRUE(display->gl_extension_supported("GL_ARB_multitexture"));
    EXPECT_FALSE(display->gl_extension_supported("GL_ARB_multitextur"));
    EXPECT_FALSE(display->gl_extension_supported("GL_no_such_extension"));
    // Mesa offers both groups, so every entry of the table is there.
    const rt::GlExtensionTable& ext = display->gl_extensions();
    EXPECT_NE(ext.glActiveTextureARB, nullptr);
    EXPECT_NE(ext.glGetBufferParameterivARB, nullptr);
    EXPECT_NE(ext.glCreateProgramObjectARB, nullptr);
    EXPECT_NE(ext.glVertexAttrib1fARB, nullptr);
}

TEST_F(Display, EntryPointsCountOnlyWithTheirVersionOrExtension) {
    EXPECT_EQ(platform_info(RtString("GLEXT:glActiveTextureARB")), "0");  // no display yet
    rt::globals.display = std::move(display);
    EXPECT_EQ(platform_info(RtString("GLEXT:glClear")), "1");               // GL 1.1
    EXPECT_EQ(platform_info(RtString("GLEXT:glDrawRangeElements")), "1");   // GL 1.2
    EXPECT_EQ(platform_info(RtString("GLEXT:glActiveTextureARB")), "1");    // GL_ARB_multitexture
    EXPECT_EQ(platform_info(RtString("GLEXT:glGenFramebuffersEXT")), "1");  // GL_EXT_framebuffer_object
    // The loader hands out an address for these too; the driver has neither the extension nor
    // the function.
    EXPECT_EQ(platform_info(RtString("GLEXT:glCombinerParameterfNV")), "0");  // GL_NV_register_combiners
    EXPECT_EQ(platform_info(RtString("GLEXT:glNoSuchFunction")), "0");
    EXPECT_EQ(platform_info(RtString("GLEXT:wglSwapIntervalEXT")), "0");
    display = std::move(rt::globals.display);
}

TEST_F(Display, ContextAndItsTexturesSurviveANewWindow) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    ASSERT_TRUE(glIsTexture(texture));
    display->display_destroy();
    EXPECT_EQ(display->window(), nullptr);
    EXPECT_EQ(display->width(), 0);
    ASSERT_TRUE(display->display_create(320, 200, 0, 0, 0));
    EXPECT_TRUE(glIsTexture(texture));
    EXPECT_DOUBLE_EQ(display->pacing().frame_time_ms, 2.0);  // frame rate 0
    display->screen_clear(0x00FFFFFF);
    EXPECT_EQ(pixel(319, 199), kWhite);
    glDeleteTextures(1, &texture);
}

TEST_F(Display, ZeroSizeTakesTheWindowsSize) {
    display.reset();
    display = std::make_unique<DuraVUZododivi>();
    ASSERT_TRUE(display->display_create(0, 0, 0, 60, 0));
    int32_t w = 0, h = 0;
    display->window()->client_size(w, h);
    EXPECT_GT(w, 0);
    EXPECT_EQ(display->width(), w);
    EXPECT_EQ(display->height(), h);
    EXPECT_GT(display->colour_bits(), 0);
}

TEST_F(Display, MultisampleRequestsAreHalvedUntilOneFits) {
    display.reset();
    display = std::make_unique<DuraVUZododivi>();
    ASSERT_TRUE(display->display_create(64, 64, 0, 60, 64));
    int32_t got = display->multisample_count();
    EXPECT_LT(got, 64);
    EXPECT_EQ(64 % (got == 0 ? 1 : got), 0);  // a halving of the request
    GLint samples = -1;
    glGetIntegerv(GL_SAMPLES, &samples);
    EXPECT_EQ(samples, got);
}

TEST_F(Display, FullScreenWithoutAMatchingModeFallsBackToTheWindow) {
    ASSERT_TRUE(display->display_set_mode(0, 0, 0, 0));
    EXPECT_FALSE(display->display_set_fullscreen());  // the offscreen display has no 640 × 480 mode
    EXPECT_EQ(display->display_is_fullscreen(), 0);
    std::vector<std::string> log = rt_test::log_lines(rt_test::private_log_path());
    EXPECT_NE(std::find(log.begin(), log.end(), "No Fullscreen Mode available"), log.end());
    // The window and the projection are still usable.
    display->screen_clear(0x000000FF);
    EXPECT_EQ(pixel(0, 0), (Rgb{255, 0, 0}));
}

TEST(SoftwareRenderer, MesaRasterisersCountAsSoftware) {
    EXPECT_TRUE(rt::renderer_is_software("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_TRUE(rt::renderer_is_software("softpipe"));
    EXPECT_TRUE(rt::renderer_is_software("Mesa DRI Intel(R) Software Rasterizer"));
    EXPECT_TRUE(rt::renderer_is_software("Mesa Windows GDI Driver"));
    EXPECT_FALSE(rt::renderer_is_software("Mesa Windows GDI Driver 2"));
    EXPECT_FALSE(rt::renderer_is_software("AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6)"));
    EXPECT_FALSE(rt::renderer_is_software(nullptr));
    EXPECT_EQ(rt::software_warning_text("Use the new driver"), "Use the new driver");
    std::string builtin = rt::software_warning_text("");
    EXPECT_EQ(builtin.rfind("Please update your GFX adapter's driver\n", 0), 0u);
    EXPECT_NE(builtin.find("unterst\xFCtzt!"), std::string::npos);
}

TEST(TextEncoding, LatinOneBecomesUtf8AndUtf8Stays) {
    EXPECT_EQ(rt::platform_text_to_utf8("plain"), "plain");
    EXPECT_EQ(rt::platform_text_to_utf8("unterst\xFCtzt"), "unterst\xC3\xBCtzt");
    EXPECT_EQ(rt::platform_text_to_utf8("gr\xC3\xBC\xC3\x9F"), "gr\xC3\xBC\xC3\x9F");
    EXPECT_EQ(rt::platform_text_to_utf8("\xC3"), "\xC3\x83");  // cut sequence: Latin-1
    EXPECT_EQ(rt::platform_text_to_utf8(nullptr), "");
}

}  // namespace
