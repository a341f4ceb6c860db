// The game binary as a person meets it: started from another folder under a private X server,
// its window found by caption and measured, watched through screenshots while keys walk and jump
// the player, and ended with Escape.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "runtime/gfx2d/picture_codec.h"
#include "support/test_support.h"
#include "support/x11_support.h"

namespace {

namespace fs = std::filesystem;
using rt_test::eventually;
using rt_test::trimmed;

const fs::path kGameDir = fs::path(RT_GAME_BINARY).parent_path();

// A screen picture, 0xRRGGBB per pixel, rows top-down.
struct Shot {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

// A picture of the game's Media with its magenta pixels left out, as the game draws it.
struct Sprite {
    int width = 0;
    int height = 0;
    std::vector<int> xs, ys;  // the opaque pixels
    std::vector<uint32_t> colours;
};

Sprite sprite_from(const std::string& bmp_path) {
    std::string bytes = rt_test::read_file(bmp_path);
    rt::Picture p;
    Sprite s;
    if (!rt::bmp_decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), p, 0xFF00FF)) return s;
    s.width = p.width;
    s.height = p.height;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* px = &p.pixels[(static_cast<size_t>(y) * p.width + x) * 4];
            if (px[3] == 0) continue;
            s.xs.push_back(x);
            s.ys.push_back(y);
            s.colours.push_back(uint32_t{px[0]} << 16 | uint32_t{px[1]} << 8 | px[2]);
        }
    }
    return s;
}

// True when the sprite's opaque pixels show at (x, y), all but 2 % of them within a few levels
// per channel.
bool shows(const Shot& shot, const Sprite& s, int x, int y) {
    if (s.colours.empty() || x < 0 || y < 0 || x + s.width > shot.width || y + s.height > shot.height) return false;
    size_t allowed = s.colours.size() / 50;
    for (size_t i = 0; i < s.colours.size(); ++i) {
        uint32_t a = shot.at(x + s.xs[i], y + s.ys[i]);
        uint32_t b = s.colours[i];
        bool close = true;
        for (int shift : {0, 8, 16}) close = close && std::abs(int(a >> shift & 255) - int(b >> shift & 255)) <= 6;
        if (!close && allowed-- == 0) return false;
    }
    return true;
}

struct Spot {
    int x = -1;
    int y = -1;
};

// Where on screen the sprite shows (the first place from the top-left), or (-1, -1).
Spot find(const Shot& shot, const Sprite& s) {
    for (int y = 0; y + s.height <= shot.height; ++y) {
        for (int x = 0; x + s.width <= shot.width; ++x) {
            if (shows(shot, s, x, y)) return {x, y};
        }
    }
    return {};
}

// An xwd dump: big-endian header fields, a colour table, then 32-bit ZPixmap rows.
Shot shot_from_xwd(const std::string& d) {
    auto field = [&](size_t i) {
        if (d.size() < 4 * i + 4) return uint32_t{0};
        const auto* b = reinterpret_cast<const uint8_t*>(d.data()) + 4 * i;
        return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    };
    const uint32_t header = field(0), format = field(2), width = field(4), height = field(5), lsb_first = field(7) == 0,
                   bits = field(11), line = field(12), colours = field(19);
    const uint32_t masks[3] = {field(14), field(15), field(16)};
    const uint64_t start = uint64_t{header} + 12ull * colours;
    Shot shot;
    if (d.size() < 100 || format != 2 || bits != 32 || width == 0 || width > 4096 || height > 4096 ||
        line < 4ull * width || start + uint64_t{line} * height > d.size())
        return shot;
    shot.width = static_cast<int>(width);
    shot.height = static_cast<int>(height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const auto* b = reinterpret_cast<const uint8_t*>(d.data()) + start + uint64_t{line} * y + 4 * x;
            uint32_t v = lsb_first ? uint32_t{b[3]} << 24 | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0]
                                   : uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
            uint32_t out = 0;
            for (uint32_t m : masks) out = out << 8 | (m == 0 ? 0 : (v & m) >> __builtin_ctz(m) & 255);
            shot.rgb.push_back(out);
        }
    }
    return shot;
}

bool save_png(const Shot& shot, const std::string& path) {
    rt::Picture p;
    p.width = shot.width;
    p.height = shot.height;
    for (uint32_t c : shot.rgb) p.pixels.insert(p.pixels.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255});
    std::vector<uint8_t> png;
    if (!rt::png_encode(p, png)) return false;
    rt_test::write_file(path, std::string(png.begin(), png.end()));
    return rt_test::file_exists(path);
}

// True when the two shots differ anywhere in the rectangle x0 ... x1 - 1, y0 ... y1 - 1, or when
// either does not cover it (a failed capture).
bool differ(const Shot& a, const Shot& b, int x0, int y0, int x1, int y1) {
    if (std::min(a.width, b.width) < x1 || std::min(a.height, b.height) < y1) return true;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (a.at(x, y) != b.at(x, y)) return true;
        }
    }
    return false;
}

// One run of a game binary, started from an unrelated folder with its own log folder.
class Game {
public:
    Game(const rt_test::Xvfb& x, const std::string& binary) : x_(x) {
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(elsewhere_.path().c_str()) != 0) _exit(126);
            setenv("DISPLAY", x.display().c_str(), 1);
            setenv("SDL_VIDEODRIVER", "x11", 1);
            setenv("TMPDIR", tmp_.path().c_str(), 1);
            execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid_ < 0) return;
        eventually([&] {
            window_ = trimmed(x.tool({"xdotool", "search", "--name", "^Tumblefoot_3$"}));
            return !window_.empty() && window_.find('\n') == std::string::npos;
        });
    }
    ~Game() {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        // The next run must not find this window.
        eventually([&] { return trimmed(x_.tool({"xdotool", "search", "--name", "^Tumblefoot_3$"})).empty(); });
    }
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    // The window, once it is the only one captioned Tumblefoot_3 (empty before).
    const std::string& window() const { return window_; }
    bool focused() const {
        return eventually([&] { return trimmed(x_.tool({"xdotool", "getwindowfocus"})) == window_; });
    }
    Shot shot() const {
        std::string file = tmp_.file("shot.xwd");
        x_.tool({"xwd", "-silent", "-id", window_, "-out", file});
        return shot_from_xwd(rt_test::read_file(file));
    }
    void key(const char* action, const char* key) const { x_.tool({"xdotool", action, key}); }

    // Presses Escape; true when the game then left with exit code 0.
    bool ends_cleanly_on_escape() {
        x_.press("Escape");
        int status = 0;
        if (!eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; })) return false;
        status_ = status;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    std::vector<std::string> log() const { return rt_test::log_lines(tmp_.file("ErrorLog.txt")); }

private:
    const rt_test::Xvfb& x_;
    rt_test::TempDir tmp_;
    rt_test::TempDir elsewhere_;
    pid_t pid_ = -1;
    int status_ = -1;
    std::string window_;
};

class GameEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { x_ = std::make_unique<rt_test::Xvfb>(); }
    static void TearDownTestSuite() { x_.reset(); }
    void SetUp() override { ASSERT_FALSE(x_->display().empty()) << "Xvfb did not start"; }

    static std::unique_ptr<rt_test::Xvfb> x_;
    const Sprite right_ = sprite_from(kGameDir / "Media/gfx/right.bmp");
};
std::unique_ptr<rt_test::Xvfb> GameEndToEnd::x_;

// At rest after the start the player's box is at (100, 402) and the view at (0, 120), so the
// right-facing picture shows at (100 - 4, 402 - 120 - 2).
constexpr Spot kRestingPicture{96, 280};
constexpr int kViewY = 120;

bool rests_at_start(const Shot& shot, const Sprite& right) {
    return shows(shot, right, kRestingPicture.x, kRestingPicture.y);
}

// The screen corner of a fully visible tile holding code in the start view, clear of the player's
// picture; (-1, -1) when there is none.
Spot start_view_tile(int32_t code, const Sprite& player) {
    std::string m = rt_test::read_file(kGameDir / "Media/maps/map01.map");
    auto at = [&](size_t i) {
        int32_t v = 0;
        for (int b = 3; b >= 0; --b) v = v << 8 | static_cast<uint8_t>(m[4 * i + b]);
        return v;
    };
    if (m.size() < 8) return {};
    const int64_t width = at(0), height = at(1);
    if (width <= 0 || height <= 0 || m.size() < 8 + 4 * uint64_t(width * height)) return {};
    for (int64_t row = kViewY / 20; row < height && row * 20 - kViewY + 20 <= 480; ++row) {
        for (int64_t column = 0; column < width && column * 20 + 20 <= 640; ++column) {
            int x = int(column * 20), y = int(row * 20 - kViewY);
            bool clear = x + 20 <= kRestingPicture.x || x >= kRestingPicture.x + player.width ||
                         y + 20 <= kRestingPicture.y || y >= kRestingPicture.y + player.height;
            if (at(2 + size_t(row * width + column)) == code && clear) return {x, y};
        }
    }
    return {};
}

// Waits for the first frames, then checks that the brick code (3) and the decoration code (4)
// show the pictures expected for them.
void expect_tiles(const Game& game, const Sprite& right, const std::string& brick_picture) {
    const Sprite expected = sprite_from(kGameDir / ("Media/gfx/" + brick_picture));
    const Sprite brick = sprite_from(kGameDir / "Media/gfx/t2.bmp");
    const Sprite decoration = sprite_from(kGameDir / "Media/gfx/t3.bmp");
    Spot b = start_view_tile(3, right), d = start_view_tile(4, right);
    ASSERT_GE(b.x, 0) << "no brick in the start view";
    ASSERT_GE(d.x, 0) << "no decoration in the start view";
    Shot shot;
    ASSERT_TRUE(eventually([&] { return rests_at_start(shot = game.shot(), right); }))
        << "the player's picture is not where the player rests";
    EXPECT_TRUE(shows(shot, expected, b.x, b.y)) << "code 3 at " << b.x << ", " << b.y;
    EXPECT_TRUE(shows(shot, decoration, d.x, d.y)) << "code 4 at " << d.x << ", " << d.y;
    // Brick and decoration are told apart on the decoration's pixels.
    EXPECT_EQ(shows(shot, decoration, b.x, b.y), brick_picture == "t3.bmp");
    EXPECT_FALSE(shows(shot, brick, d.x, d.y));
}

TEST_F(GameEndToEnd, OpensItsWindowFromAnyFolderShowsItsPicturesAndEndsOnEscape) {
    Game game(*x_, RT_GAME_BINARY);
    ASSERT_FALSE(game.window().empty()) << "no window captioned Tumblefoot_3";
    EXPECT_TRUE(game.focused());
    // A 640 × 480 client area, centred on the 1024 × 768 screen.
    EXPECT_EQ(x_->geometry(game.window()), "192 144 640 480");
    expect_tiles(game, right_, "t2.bmp");

    ASSERT_TRUE(game.ends_cleanly_on_escape());
    std::vector<std::string> log = game.log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log.front(), "Init GFX");
    EXPECT_EQ(log[log.size() - 3], "Init Finalized");
    EXPECT_EQ(log[log.size() - 2], "Shut down VRN");
    EXPECT_EQ(log.back(), "vrn is shut down");
}

TEST_F(GameEndToEnd, WithoutTheBrickPictureBricksShowTheDecoration) {
    // The next picture loaded takes the free sprite number: codes 3 and 4 both draw t3.bmp.
    rt_test::TempDir copy;
    fs::copy(RT_GAME_BINARY, copy.file("tumblefoot"));
    fs::copy(kGameDir / "Media", copy.file("Media"), fs::copy_options::recursive);
    ASSERT_TRUE(fs::remove(copy.file("Media/gfx/t2.bmp")));

    Game game(*x_, copy.file("tumblefoot"));
    ASSERT_FALSE(game.window().empty()) << "no window captioned Tumblefoot_3";
    expect_tiles(game, right_, "t3.bmp");
    EXPECT_TRUE(game.ends_cleanly_on_escape());
}

TEST_F(GameEndToEnd, ShiftJumpsAndHoldingRightScrollsTheViewPastThePlayer) {
    Game game(*x_, RT_GAME_BINARY);
    ASSERT_FALSE(game.window().empty()) << "no window captioned Tumblefoot_3";
    ASSERT_TRUE(game.focused());
    Shot start;
    ASSERT_TRUE(eventually([&] { return rests_at_start(start = game.shot(), right_); }));

    // The jump: the picture rises (the view follows part of the way) and lands where it was. A
    // screenshot may miss a short jump, so the key is pressed again until one is seen.
    bool rose = false;
    for (int attempt = 0; attempt < 10 && !rose; ++attempt) {
        game.key("keydown", "Shift_L");
        rose = eventually(
            [&] {
                Shot s = game.shot();
                for (int y = 0; y < kRestingPicture.y; ++y) {
                    if (shows(s, right_, kRestingPicture.x, y)) return true;
                }
                return false;
            },
            std::chrono::seconds(3));
        game.key("keyup", "Shift_L");
        ASSERT_TRUE(eventually([&] { return rests_at_start(game.shot(), right_); })) << "no landing";
    }
    EXPECT_TRUE(rose) << "Shift did not lift the player's picture";

    // Walking right: once the view scrolls, the box stays at screen x 270, the picture at 266.
    game.key("keydown", "Right");
    Shot first;
    bool reached = eventually([&] { return find(first = game.shot(), right_).x == 266; });
    Shot later;
    bool scrolled = reached && eventually([&] {
                        later = game.shot();
                        Spot p = find(later, right_);
                        EXPECT_TRUE(p.x == 266 || p.x < 0) << "the picture left x 266 for " << p.x;
                        return p.x == 266 && differ(first, later, 0, 0, 260, 480);
                    });
    // On up the hill, where the view follows upwards too: the fuller scene for the screenshot.
    if (scrolled) {
        eventually(
            [&] {
                Spot p = find(later = game.shot(), right_);
                EXPECT_TRUE(p.x == 266 || p.x < 0) << "the picture left x 266 for " << p.x;
                return p.x == 266 && p.y < kRestingPicture.y;
            },
            std::chrono::seconds(10));
        // A few more steps, onto the hill top; only the picture depends on this pause.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    game.key("keyup", "Right");
    ASSERT_TRUE(reached) << "the player's picture never reached x 266";
    EXPECT_TRUE(scrolled) << "the view did not move";
    EXPECT_TRUE(differ(start, later, 0, 0, 260, 480));

    // Standing again: the scene stops changing, with the picture still at 266 facing right.
    Shot settled = game.shot();
    EXPECT_TRUE(eventually([&] {
        Shot next = game.shot();
        bool still = !differ(settled, next, 0, 0, 640, 480);
        settled = next;
        return still && find(settled, right_).x == 266;
    }));
    if (const char* path = std::getenv("TUMBLEFOOT_SCREENSHOT"); path && *path) {
        EXPECT_TRUE(save_png(settled, path)) << path;
    }
    EXPECT_TRUE(game.ends_cleanly_on_escape());
}

}  // namespace
