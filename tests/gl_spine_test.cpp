// Start-up, shut-down and the fatal path of a whole program on the runtime's own entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using rt_test::log_lines;
using rt_test::run_program;
using rt_test::TempDir;

struct ProbeRun {
    rt_test::ProgramResult result;
    std::vector<std::string> log;
};

ProbeRun run_probe(const std::vector<std::string>& env, const std::string& working_dir = "") {
    TempDir tmp;
    std::vector<std::string> full_env = env;
    full_env.push_back("TMPDIR=" + tmp.path());
    full_env.push_back("SDL_VIDEODRIVER=offscreen");
    ProbeRun run;
    run.result = run_program({rt_test::test_program_path("spine_probe")}, full_env, working_dir);
    run.log = log_lines(tmp.file("ErrorLog.txt"));
    // On a machine without GL hardware (Mesa's software rasteriser here) display creation warns
    // once, right after "Init GFX"; the lifecycle lines are the rest.
    if (run.log.size() > 1 && run.log[1] == "*** OpenGL Software Emulation - update driver!") {
        run.log.erase(run.log.begin() + 1);
    }
    return run;
}

TEST(Spine, NormalEndWritesTheFourLifecycleLinesInOrder) {
    ProbeRun run = run_probe({});
    ASSERT_TRUE(run.result.exited) << run.result.output;
    EXPECT_EQ(run.result.exit_code, 0);
    std::vector<std::string> expected = {"Init GFX", "Init Finalized", "Shut down VRN", "vrn is shut down"};
    EXPECT_EQ(run.log, expected);
}

TEST(Spine, DebugModePutsTheEndLinesBeforeShutDown) {
    ProbeRun run = run_probe({"PROBE_DEBUG=1"});
    ASSERT_TRUE(run.result.exited) << run.result.output;
    EXPECT_EQ(run.result.exit_code, 0);
    std::vector<std::string> expected = {"Init GFX", "Init Finalized", "-End On Line", "0",
                                         "-1",       "0",              "0",            "Shut down VRN",
                                         "vrn is shut down"};
    EXPECT_EQ(run.log, expected);
}

TEST(Spine, OutOfBoundsIndexEndsWithExitCodeZeroAndErrorNine) {
    ProbeRun run = run_probe({"PROBE_DEBUG=1", "PROBE_ACTION=out_of_bounds"});
    ASSERT_TRUE(run.result.exited) << run.result.output;
    EXPECT_EQ(run.result.exit_code, 0);
    // Error 9 set at line 40 of module 2: the end lines report line - 1 as the error line.
    std::vector<std::string> expected = {"Init GFX", "Init Finalized", "-End On Line", "9",
                                         "39",       "40",             "2",            "Shut down VRN",
                                         "vrn is shut down"};
    EXPECT_EQ(run.log, expected);
}

TEST(Spine, WorkingDirectoryBecomesTheExecutablesFolder) {
    TempDir elsewhere;
    ProbeRun run = run_probe({"PROBE_ACTION=cwd"}, elsewhere.path());
    ASSERT_TRUE(run.result.exited) << run.result.output;
    ASSERT_EQ(run.log.size(), 5u);
    EXPECT_EQ(run.log[2], std::string("cwd=") + RT_TEST_PROGRAM_DIR);
}

TEST(Spine, QuitHookRunsOnceBeforeShutDownAndCommandLineIsKept) {
    ProbeRun run = run_probe({"PROBE_QUIT_HOOK=1", "PROBE_ACTION=command_line"});
    ASSERT_TRUE(run.result.exited) << run.result.output;
    std::vector<std::string> expected = {"Init GFX", "Init Finalized",
                                         "cmd=" + rt_test::test_program_path("spine_probe"), "quit hook",
                                         "Shut down VRN", "vrn is shut down"};
    EXPECT_EQ(run.log, expected);
}

TEST(Spine, UnwritableTemporaryDirectoryStillRunsNormally) {
    rt_test::ProgramResult result =
        run_program({rt_test::test_program_path("spine_probe")},
                    {"TMPDIR=/nonexistent/folder", "SDL_VIDEODRIVER=offscreen"}, "");
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exit_code, 0);
}

}  // namespace
