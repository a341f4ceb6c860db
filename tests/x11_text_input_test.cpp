// The line-input command under a real X server: the probe edits a preset text with text_input
// while xdotool types as a person would; the text so far and the result come back through files.
// Waits poll with generous time-outs; nothing asserts a duration.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/test_support.h"
#include "support/x11_support.h"

namespace {

using rt_test::eventually;
using rt_test::trimmed;

class TextInputUnderX : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(x_.display().empty()) << "Xvfb did not start"; }
    void TearDown() override {
        if (probe_ > 0) {
            kill(probe_, SIGKILL);
            waitpid(probe_, nullptr, 0);
        }
        x_.tool({"xdotool", "keyup", "Shift_L", "BackSpace", "Return"});
    }

    // Starts the probe on preset and waits until its window has the focus.
    void start(const std::string& preset) {
        probe_ = fork();
        ASSERT_GE(probe_, 0);
        if (probe_ == 0) {
            setenv("DISPLAY", x_.display().c_str(), 1);
            setenv("SDL_VIDEODRIVER", "x11", 1);
            setenv("TMPDIR", tmp_.path().c_str(), 1);
            setenv("TEXT_PROBE_PRESET", preset.c_str(), 1);
            setenv("TEXT_PROBE_PROGRESS", tmp_.file("progress").c_str(), 1);
            setenv("TEXT_PROBE_RESULT", tmp_.file("result").c_str(), 1);
            std::string path = rt_test::test_program_path("text_input_probe");
            execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_TRUE(eventually([&] { return logged("running"); })) << "the probe did not start";
        ASSERT_TRUE(eventually([&] {
            window_ = trimmed(x_.tool({"xdotool", "search", "--name", "^TextInputProbe"}));
            return !window_.empty() && window_.find('\n') == std::string::npos;
        }));
        ASSERT_TRUE(eventually([&] { return trimmed(x_.tool({"xdotool", "getwindowfocus"})) == window_; }));
    }

    bool logged(const std::string& line) {
        for (const std::string& l : rt_test::log_lines(tmp_.file("ErrorLog.txt"))) {
            if (l == line) return true;
        }
        return false;
    }

    // Whether the text so far reads expected. The probe writes it on window messages, so the
    // pointer moves over the window to send some while waiting.
    bool progress_is(const std::string& expected) {
        return eventually([&] {
            if (rt_test::file_exists(tmp_.file("progress")) && rt_test::read_file(tmp_.file("progress")) == expected)
                return true;
            nudge_ = !nudge_;
            x_.tool({"xdotool", "mousemove", "--window", window_, nudge_ ? "300" : "301", "300"});
            return false;
        });
    }

    // The probe's exit status once it has ended by itself; -1 when it keeps running.
    int wait_exit() {
        int status = 0;
        if (!eventually([&] { return waitpid(probe_, &status, WNOHANG) == probe_; })) return -1;
        probe_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
    }

    static inline std::unique_ptr<rt_test::Xvfb> server_;
    static void SetUpTestSuite() { server_ = std::make_unique<rt_test::Xvfb>(); }
    static void TearDownTestSuite() { server_.reset(); }

    const rt_test::Xvfb& x_ = *server_;
    rt_test::TempDir tmp_;
    pid_t probe_ = -1;
    std::string window_;
    bool nudge_ = false;
};

TEST_F(TextInputUnderX, TypingBackspaceAndEnterEditTheVariable) {
    start("ab");
    ASSERT_TRUE(progress_is("ab"));
    // Each key waits for the text it should leave. A key read twice in a row counts once unless a
    // pass without a key down comes between, so the probe gets a few frames between two presses.
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"BackSpace", "a"}, {"BackSpace", ""}, {"BackSpace", ""},  // on an empty text it stays empty
        {"x", "x"},         {"shift+h", "xH"}, {"i", "xHi"},      {"space", "xHi "}, {"shift+1", "xHi !"},
    };
    for (const auto& [key, text] : steps) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        x_.press(key);
        ASSERT_TRUE(progress_is(text)) << key << " should leave \"" << text << "\"";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    x_.press("Return");
    ASSERT_EQ(wait_exit(), 0);
    EXPECT_TRUE(logged("done"));
    EXPECT_EQ(rt_test::read_file(tmp_.file("result")), "xHi !");
}

}  // namespace
