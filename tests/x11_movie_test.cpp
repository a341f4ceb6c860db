// Movies under a real X server: generated clips are played in the test's own window while a
// helper thread takes screenshots with xwd and presses keys with xdotool as a person would.
// Waits poll with generous time-outs; nothing asserts a duration.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/core/movie.h"
#include "runtime/core/window.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/input/input_service.h"
#include "runtime/platform/media.h"
#include "support/test_media.h"
#include "support/test_support.h"
#include "support/x11_support.h"

namespace {

using rt_test::eventually;
using rt_test::trimmed;

struct Rgb {
    int r = 0, g = 0, b = 0;
};
bool is_red(Rgb c) { return c.r > 180 && c.g < 70 && c.b < 70; }
bool is_blue(Rgb c) { return c.b > 180 && c.r < 70 && c.g < 70; }
bool is_black(Rgb c) { return c.r < 16 && c.g < 16 && c.b < 16; }

TEST(MovieFit, ScalesByTheTighterSideAndCentres) {
    struct Case {
        int32_t sw, sh, cw, ch;
        rt::MovieRect want;
    };
    const Case cases[] = {
        {320, 240, 640, 480, {0, 0, 640, 480}},
        {400, 100, 640, 480, {0, 160, 640, 160}},
        {100, 400, 640, 480, {260, 0, 120, 480}},
        {1000, 3, 640, 480, {0, 239, 640, 1}},
        {3, 1000, 640, 480, {319, 0, 1, 480}},
        {0, 240, 640, 480, {}},
        {320, 0, 640, 480, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rt::movie_fit(c.sw, c.sh, c.cw, c.ch), c.want) << c.sw << " x " << c.sh;
    }
}

class MovieUnderX : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // One server for the process: the video layer, once started, stays on its display.
        if (!server_) server_ = std::make_unique<rt_test::Xvfb>();
        if (server_->display().empty()) return;
        setenv("DISPLAY", server_->display().c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        rt::platform_media_audio_output_set("null");
        rt::globals.display = std::make_unique<DuraVUZododivi>();
        if (!rt::globals.display->display_create(640, 480, 0, 60, 0)) return;
        rt::globals.display->set_caption(RtString("MovieTest"));
        rt::globals.display->display_set_windowed();
        rt::globals.input = std::make_unique<rt::InputService>();
        rt::input_init(rt::globals.display->window(), 0);
    }
    static void TearDownTestSuite() {
        rt::input_shutdown();
        rt::globals.input.reset();
        rt::globals.display.reset();
    }

    void SetUp() override {
        ASSERT_FALSE(x().display().empty()) << "Xvfb did not start";
        ASSERT_NE(rt::display_service(), nullptr);
        ASSERT_TRUE(rt::display_service()->gl_ready());
        ASSERT_TRUE(eventually([&] {
            message_pump(rt::display_service(), nullptr);
            window_ = trimmed(x().tool({"xdotool", "search", "--name", "^MovieTest$"}));
            return !window_.empty() && window_.find('\n') == std::string::npos;
        }));
        ASSERT_TRUE(eventually([&] {
            message_pump(rt::display_service(), nullptr);
            return trimmed(x().tool({"xdotool", "getwindowfocus"})) == window_;
        }));
    }

    static const rt_test::Xvfb& x() { return *server_; }

    // The window's pixels, 640 × 480 RGB rows from the top; empty when the shot failed.
    std::vector<uint8_t> screenshot() {
        const std::string shot = tmp_.file("shot.rgb");
        std::remove(shot.c_str());
        x().tool({"sh", "-c", "xwd -silent -id " + window_ + " | convert-im6.q16 xwd:- -depth 8 rgb:" + shot});
        std::string bytes = rt_test::file_exists(shot) ? rt_test::read_file(shot) : std::string();
        if (bytes.size() != 640u * 480u * 3u) return {};
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    static Rgb at(const std::vector<uint8_t>& shot, int x, int y) {
        size_t i = (static_cast<size_t>(y) * 640 + x) * 3;
        return Rgb{shot[i], shot[i + 1], shot[i + 2]};
    }

    // Whether a screenshot shows a red-over-blue picture exactly in r, black around it.
    static bool shows(const std::vector<uint8_t>& shot, const rt::MovieRect& r) {
        if (shot.empty()) return false;
        const int cx = r.x + r.width / 2;
        const int top = r.y, bottom = r.y + r.height - 1, quarter = r.y + r.height / 4,
                  three_quarters = r.y + r.height * 3 / 4;
        bool ok = is_red(at(shot, cx, top)) && is_red(at(shot, r.x, quarter)) &&
                  is_red(at(shot, r.x + r.width - 1, quarter)) && is_blue(at(shot, cx, bottom)) &&
                  is_blue(at(shot, r.x, three_quarters)) && is_blue(at(shot, r.x + r.width - 1, three_quarters));
        if (r.y > 0) ok = ok && is_black(at(shot, cx, r.y - 1)) && is_black(at(shot, cx, 0));
        if (r.y + r.height < 480) ok = ok && is_black(at(shot, cx, r.y + r.height)) && is_black(at(shot, cx, 479));
        return ok;
    }

    // Plays path looped while a helper runs before() (if given), waits for the picture in want and
    // then ends the movie with end(); movie_play's result, and whether the picture was seen.
    int play_until(const std::string& path, const rt::MovieRect& want, const std::function<void()>& end, bool& seen,
                   const std::function<void()>& before = nullptr) {
        std::atomic<bool> done{false};
        seen = false;
        std::thread helper([&] {
            if (before) before();
            seen = eventually([&] { return done || shows(screenshot(), want); });
            seen = seen && !done;
            while (!done) {
                end();
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
        });
        int result = movie_play(RtString(path.c_str()), true);
        done = true;
        helper.join();
        return result;
    }
    void press_key() { x().press("space"); }
    void click() { x().tool({"xdotool", "mousemove", "--window", window_, "100", "100", "click", "1"}); }

    static inline std::unique_ptr<rt_test::Xvfb> server_;
    rt_test::TempDir tmp_;
    std::string window_;
};

TEST_F(MovieUnderX, PicturesAreFittedToTheWindowAndAKeyOrAClickEndsThem) {
    struct Case {
        int w, h;
        rt::MovieRect want;
        bool by_click;
    };
    for (const Case& c : {Case{320, 240, {0, 0, 640, 480}, false}, Case{400, 100, {0, 160, 640, 160}, true}}) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        const std::string clip = tmp_.file("clip" + std::to_string(c.w) + ".y4m");
        rt_test::write_file(clip, rt_test::y4m_clip(c.w, c.h, 10, 5, rt_test::kYccRed, rt_test::kYccBlue));
        bool seen = false;
        auto end = [&] { c.by_click ? click() : press_key(); };
        EXPECT_EQ(play_until(clip, c.want, end, seen), 0);
        EXPECT_TRUE(seen) << "the picture never showed in its rectangle";
    }
}

TEST_F(MovieUnderX, AKeyHeldOnEntryIsWaitedOut) {
    const std::string clip = tmp_.file("held.y4m");
    rt_test::write_file(clip, rt_test::y4m_clip(320, 240, 10, 5, rt_test::kYccRed, rt_test::kYccBlue));
    x().tool({"xdotool", "keydown", "a"});
    ASSERT_TRUE(eventually([] {
        message_pump(rt::display_service(), nullptr);
        keyboard_update();
        return rt::any_key_down();
    }));
    // Were the held key to count, the movie would end before its picture shows.
    bool seen = false;
    auto release = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        x().tool({"xdotool", "keyup", "a"});
    };
    EXPECT_EQ(play_until(
                  clip, {0, 0, 640, 480}, [&] { press_key(); }, seen, release),
              0);
    EXPECT_TRUE(seen);
}

TEST_F(MovieUnderX, AShortClipPlaysToItsEnd) {
    const std::string clip = tmp_.file("short.y4m");
    rt_test::write_file(clip, rt_test::y4m_clip(64, 48, 5, 10, rt_test::kYccRed, rt_test::kYccBlue));
    EXPECT_EQ(movie_play(RtString(clip.c_str()), false), 0);
}

TEST_F(MovieUnderX, MissingOrUnplayableFilesReturn3) {
    rt_test::write_file(tmp_.file("junk.y4m"), std::string(5000, '\x33'));
    rt_test::write_file(tmp_.file("empty.avi"), "");
    for (const std::string& name : {tmp_.file("missing.y4m"), tmp_.file("junk.y4m"), tmp_.file("empty.avi")}) {
        EXPECT_EQ(movie_play(RtString(name.c_str()), false), 3) << name;
    }
}

}  // namespace
