// The window under a real X server: the suite shares one Xvfb, every test runs the window probe
// in it and drives it with xdotool as a person would (keys, focus), reading the caption, the
// window geometry, a screenshot and what the probe logs. Waits poll with generous time-outs;
// nothing asserts a duration.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"
#include "support/x11_support.h"

namespace {

using rt_test::eventually;
using rt_test::trimmed;
using rt_test::Xvfb;

// Long enough for anything the probe does within a few frames.
constexpr std::chrono::seconds kFewSeconds{10};

class WindowUnderX : public ::testing::Test {
protected:
    // One server for the suite: starting it costs more than most tests.
    static void SetUpTestSuite() { server_ = std::make_unique<Xvfb>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override { ASSERT_FALSE(x_.display().empty()) << "Xvfb did not start"; }
    void TearDown() override {
        if (probe_ > 0) {
            kill(probe_, SIGKILL);
            waitpid(probe_, nullptr, 0);
        }
        // A test that stopped half-way may have left keys down on the shared server.
        tool({"xdotool", "keyup", "Right", "Shift_L", "1", "minus", "k", "a"});
    }

    // Starts the probe with extra WINDOW_PROBE_* settings and waits for its window to have the focus.
    void start(const std::vector<std::string>& settings) {
        std::remove(tmp_.file("ErrorLog.txt").c_str());
        std::remove(tmp_.file("status").c_str());
        std::remove(tmp_.file("status.go").c_str());
        probe_ = fork();
        ASSERT_GE(probe_, 0);
        if (probe_ == 0) {
            setenv("DISPLAY", x_.display().c_str(), 1);
            setenv("SDL_VIDEODRIVER", "x11", 1);
            setenv("TMPDIR", tmp_.path().c_str(), 1);
            setenv("WINDOW_PROBE_STATUS", tmp_.file("status").c_str(), 1);
            for (const std::string& kv : settings) {
                size_t eq = kv.find('=');
                setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
            }
            std::string path = rt_test::test_program_path("window_probe");
            execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_TRUE(eventually([&] { return logged("running"); })) << "the probe did not start";
        ASSERT_TRUE(eventually([&] {
            window_ = trimmed(tool({"xdotool", "search", "--name", "^Probe"}));
            return !window_.empty() && window_.find('\n') == std::string::npos;
        }));
        ASSERT_TRUE(eventually([&] { return trimmed(tool({"xdotool", "getwindowfocus"})) == window_; }));
    }

    std::string tool(const std::vector<std::string>& argv) { return x_.tool(argv); }
    std::string shell(const std::string& command) { return tool({"sh", "-c", command}); }

    void press(const std::string& keys) { x_.press(keys); }

    std::vector<std::string> log() { return rt_test::log_lines(tmp_.file("ErrorLog.txt")); }
    bool logged(const std::string& line) { return count(line) > 0; }
    long count(const std::string& line) {
        std::vector<std::string> lines = log();
        return std::count(lines.begin(), lines.end(), line);
    }
    // The log lines that are one of wanted, in order.
    std::vector<std::string> log_of(const std::vector<std::string>& wanted) {
        std::vector<std::string> out;
        for (const std::string& line : log()) {
            if (std::find(wanted.begin(), wanted.end(), line) != wanted.end()) out.push_back(line);
        }
        return out;
    }
    std::string root_window() { return trimmed(shell("xwininfo -root | awk '/Window id:/ {print $4}'")); }
    long frames() { return std::atol(rt_test::read_file(tmp_.file("status")).c_str()); }
    std::string caption() { return trimmed(tool({"xdotool", "getwindowname", window_})); }

    // The probe's exit status once it has ended by itself; −1 when it keeps running.
    int wait_exit() {
        int status = 0;
        bool ended = eventually([&] { return waitpid(probe_, &status, WNOHANG) == probe_; });
        if (!ended) return -1;
        probe_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
    }
    bool still_running() { return waitpid(probe_, nullptr, WNOHANG) == 0; }

    std::string geometry() { return x_.geometry(window_); }

    static inline std::unique_ptr<Xvfb> server_;
    const Xvfb& x_ = *server_;
    rt_test::TempDir tmp_;
    pid_t probe_ = -1;
    std::string window_;
};

TEST_F(WindowUnderX, CaptionClientAreaCentringAndClearColour) {
    start({"WINDOW_PROBE_CLEAR=0x0000FF"});
    EXPECT_EQ(caption(), "Probe");
    // 640 × 480 centred on the 1024 × 768 screen.
    EXPECT_EQ(geometry(), "192 144 640 480");
    std::string pixel =
        shell("xwd -silent -id " + window_ + " | convert-im6.q16 xwd:- -crop 1x1+639+479 -depth 8 txt:- | tail -n 1");
    EXPECT_NE(pixel.find("#FF0000"), std::string::npos) << pixel;
}

TEST_F(WindowUnderX, EscapeEndsTheProgramThroughTheEndSequence) {
    start({});
    press("Escape");
    ASSERT_EQ(wait_exit(), 0);
    std::vector<std::string> lines = log();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Shut down VRN");
    EXPECT_EQ(lines.back(), "vrn is shut down");
}

TEST_F(WindowUnderX, WithEscapeSwitchedOffOnlyAltF4Ends) {
    start({"WINDOW_PROBE_ACTION=no_escape"});
    press("Escape");
    ASSERT_TRUE(eventually([&] { return logged("up 1"); }));
    long seen = frames();
    ASSERT_TRUE(eventually([&] { return frames() > seen + 5; })) << "the game stopped after Escape";
    EXPECT_TRUE(still_running());
    press("alt+F4");
    EXPECT_EQ(wait_exit(), 0);
    EXPECT_EQ(log().back(), "vrn is shut down");
}

TEST_F(WindowUnderX, LosingTheFocusPausesAndGettingItBackResumes) {
    start({});
    tool({"xdotool", "windowfocus", root_window()});
    ASSERT_TRUE(eventually([&] { return caption() == "Probe <pause>"; }));
    // The frame in flight when the focus went still finishes; the hold begins at the next one.
    long paused_at = -1;
    ASSERT_TRUE(eventually([&] {
        long before = frames();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        paused_at = frames();
        return paused_at == before;
    }));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(frames(), paused_at) << "the game advanced while paused";
    EXPECT_TRUE(still_running());

    tool({"xdotool", "windowfocus", window_});
    ASSERT_TRUE(eventually([&] { return caption() == "Probe"; }));
    EXPECT_TRUE(eventually([&] { return frames() > paused_at + 5; }));
}

TEST_F(WindowUnderX, KeyPressesArriveUnderTheirScanCodes) {
    start({});
    const std::vector<std::pair<std::string, int>> keys = {
        {"Right", 205},    {"Left", 203},      {"Up", 200},       {"Down", 208},   {"Shift_L", 42}, {"Shift_R", 54},
        {"Control_L", 29}, {"Control_R", 157}, {"Alt_L", 56},     {"a", 30},       {"z", 44},       {"y", 21},
        {"space", 57},     {"Return", 28},     {"KP_Enter", 156}, {"1", 2},        {"0", 11},       {"BackSpace", 14},
        {"Tab", 15},       {"Home", 199},      {"Insert", 210},   {"Delete", 211}, {"KP_End", 79},
    };
    // A key that arrives under a wrong code fails in seconds and names itself (the probe sees a
    // press within a few frames).
    for (const auto& [name, code] : keys) {
        press(name);
        EXPECT_TRUE(eventually([&] { return logged("up " + std::to_string(code)); }, std::chrono::seconds(5)))
            << name << " did not arrive as " << code;
        EXPECT_TRUE(logged("down " + std::to_string(code))) << name;
    }
    EXPECT_TRUE(still_running());
}

TEST_F(WindowUnderX, QuickTapBetweenTwoFramesIsNotLost) {
    // The probe stops in one long frame without reading input; the tap goes out (press and release
    // together) and is complete in the program's queue before the next frame starts.
    start({"WINDOW_PROBE_ACTION=tap_wait"});
    ASSERT_TRUE(eventually([&] { return logged("waiting"); }));
    tool({"xdotool", "key", "--delay", "0", "Shift_L"});
    rt_test::write_file(tmp_.file("status.go"), "");
    EXPECT_TRUE(eventually([&] { return logged("up 42"); }, kFewSeconds));
    EXPECT_EQ(log_of({"waiting", "down 42", "up 42"}), (std::vector<std::string>{"waiting", "down 42", "up 42"}));
}

TEST_F(WindowUnderX, TypedCharactersFollowShiftCapsLockAndTheLayout) {
    start({"WINDOW_PROBE_ACTION=chars"});
    press("shift+1");
    EXPECT_TRUE(eventually([&] { return logged("char 33"); }, kFewSeconds)) << "Shift+1 gives '!'";
    press("shift+minus");
    EXPECT_TRUE(eventually([&] { return logged("char 95"); }, kFewSeconds)) << "Shift+minus gives '_'";
    {
        // Caps Lock belongs to the shared server: switched back off even when a check fails.
        struct CapsLock {
            const Xvfb& x;
            explicit CapsLock(const Xvfb& server) : x(server) { x.tool({"xdotool", "key", "Caps_Lock"}); }
            ~CapsLock() { x.tool({"xdotool", "key", "Caps_Lock"}); }
        } caps(x_);
        press("k");
        EXPECT_TRUE(eventually([&] { return logged("char 75"); }, kFewSeconds)) << "Caps Lock and K give 'K'";
    }
    press("a");
    EXPECT_TRUE(eventually([&] { return logged("char 97"); }, kFewSeconds)) << "a alone gives 'a'";
    EXPECT_EQ(log_of({"char 33", "char 95", "char 75", "char 97", "char 49", "char 45", "char 107", "char 65"}),
              (std::vector<std::string>{"char 33", "char 95", "char 75", "char 97"}));
}

TEST_F(WindowUnderX, HeldKeyKeepsItsStateWhileTheFocusIsAway) {
    // Without the pause the program runs on unfocused; what key_state reported when the focus went
    // must stay, whether the focus loss reaches the program in the pump or inside a key read (the
    // probe reads Right between frames too). Many rounds, since the order of the two varies.
    start({"WINDOW_PROBE_ACTION=focus_hold"});
    const std::string root = root_window();
    auto right = [&] {
        std::vector<std::string> changes = log_of({"down 205", "up 205"});
        return changes.empty() ? std::string() : changes.back();
    };
    for (long round = 1; round <= 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        tool({"xdotool", "keydown", "Right"});
        ASSERT_TRUE(eventually([&] { return right() == "down 205"; }));
        long ups = count("up 205");
        tool({"xdotool", "windowfocus", root});
        ASSERT_TRUE(eventually([&] { return count("focus 0") == round; }));
        long seen = frames();
        ASSERT_TRUE(eventually([&] { return frames() > seen + 3; }));
        ASSERT_EQ(count("up 205"), ups) << "Right read as released when the focus went";
        tool({"xdotool", "windowfocus", window_});
        ASSERT_TRUE(eventually([&] { return count("focus 1") == round; }));
        // The system reports keys still held some time after the focus is back.
        ASSERT_TRUE(eventually([&] { return right() == "down 205"; }));
        tool({"xdotool", "keyup", "Right"});
        ASSERT_TRUE(eventually([&] { return right() == "up 205"; }));
    }
}

TEST_F(WindowUnderX, FullScreenDuringPlayCoversTheScreenFromItsOrigin) {
    start({"WINDOW_PROBE_ACTION=fullscreen_later"});
    ASSERT_TRUE(eventually([&] { return logged("switched"); }));
    EXPECT_FALSE(logged("No Fullscreen Mode available"));
    EXPECT_TRUE(eventually([&] { return geometry() == "0 0 1024 768"; }, kFewSeconds)) << geometry();
}

TEST_F(WindowUnderX, FullScreenUsesTheExactModeOrFallsBackToTheWindow) {
    start({"WINDOW_PROBE_FULLSCREEN=1"});
    EXPECT_TRUE(logged("No Fullscreen Mode available"));  // the server has only 1024 × 768
    EXPECT_EQ(geometry(), "192 144 640 480");
    kill(probe_, SIGTERM);
    EXPECT_EQ(wait_exit(), 0);

    start({"WINDOW_PROBE_FULLSCREEN=1", "WINDOW_PROBE_WIDTH=1024", "WINDOW_PROBE_HEIGHT=768"});
    EXPECT_FALSE(logged("No Fullscreen Mode available"));
    EXPECT_EQ(geometry(), "0 0 1024 768");
}

}  // namespace
