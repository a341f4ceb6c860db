// The game binary as a person meets it: started from another folder under a private X server,
// its window found by caption, measured, and ended with Escape.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/x11_support.h"

namespace {

using rt_test::eventually;
using rt_test::trimmed;

TEST(GameEndToEnd, OpensItsWindowFromAnyFolderAndEndsOnEscape) {
    rt_test::Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    rt_test::TempDir tmp;
    rt_test::TempDir elsewhere;

    pid_t game = fork();
    ASSERT_GE(game, 0);
    if (game == 0) {
        if (chdir(elsewhere.path().c_str()) != 0) _exit(126);
        setenv("DISPLAY", x.display().c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("TMPDIR", tmp.path().c_str(), 1);
        execl(RT_GAME_BINARY, RT_GAME_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }

    std::string window;
    bool found = eventually([&] {
        window = trimmed(x.tool({"xdotool", "search", "--name", "^Tumblefoot_3$"}));
        return !window.empty() && window.find('\n') == std::string::npos;
    });
    if (!found) kill(game, SIGKILL);
    ASSERT_TRUE(found) << "no window captioned Tumblefoot_3";
    EXPECT_TRUE(eventually([&] { return trimmed(x.tool({"xdotool", "getwindowfocus"})) == window; }));
    // A 640 × 480 client area, centred on the 1024 × 768 screen.
    EXPECT_EQ(x.geometry(window), "192 144 640 480");

    x.press("Escape");
    int status = 0;
    bool ended = eventually([&] { return waitpid(game, &status, WNOHANG) == game; });
    if (!ended) {
        kill(game, SIGKILL);
        waitpid(game, &status, 0);
    }
    ASSERT_TRUE(ended) << "Escape did not end the game";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    std::vector<std::string> log = rt_test::log_lines(tmp.file("ErrorLog.txt"));
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log.front(), "Init GFX");
    EXPECT_EQ(log[log.size() - 3], "Init Finalized");
    EXPECT_EQ(log[log.size() - 2], "Shut down VRN");
    EXPECT_EQ(log.back(), "vrn is shut down");
}

}  // namespace
