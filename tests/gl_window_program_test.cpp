// Whole programs on the runtime's own entry with SDL's offscreen driver: every way of ending
// (exit key, close request, SIGTERM), a missing display, and the software-renderer warning.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "runtime/gfx2d/display_service.h"
#include "runtime/platform/video.h"
#include "support/test_support.h"

namespace {

using rt_test::TempDir;

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool any_line_with(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

struct ProbeRun {
    rt_test::ProgramResult result;
    std::vector<std::string> log;
};

ProbeRun run_probe(std::vector<std::string> env, const std::string& working_dir = "") {
    TempDir tmp;
    env.push_back("TMPDIR=" + tmp.path());
    if (std::none_of(env.begin(), env.end(),
                     [](const std::string& e) { return e.rfind("SDL_VIDEODRIVER=", 0) == 0; })) {
        env.push_back("SDL_VIDEODRIVER=offscreen");
    }
    ProbeRun run;
    run.result = rt_test::run_program({rt_test::test_program_path("window_probe")}, env, working_dir, 60);
    run.log = rt_test::log_lines(tmp.file("ErrorLog.txt"));
    return run;
}

void expect_clean_end(const ProbeRun& run) {
    ASSERT_TRUE(run.result.exited) << run.result.output;
    EXPECT_EQ(run.result.exit_code, 0);
    ASSERT_GE(run.log.size(), 2u);
    EXPECT_EQ(run.log[run.log.size() - 2], "Shut down VRN");
    EXPECT_EQ(run.log.back(), "vrn is shut down");
}

TEST(WindowProgram, EscapeEndsThroughTheEndSequenceWithErrorCodeZero) {
    ProbeRun run = run_probe({"WINDOW_PROBE_ACTION=inject_escape", "WINDOW_PROBE_DEBUG=1"});
    expect_clean_end(run);
    auto end = std::find(run.log.begin(), run.log.end(), "-End On Line");
    ASSERT_NE(end, run.log.end());
    EXPECT_EQ(*(end + 1), "0");
    EXPECT_TRUE(contains(run.log, "running"));
}

TEST(WindowProgram, CloseRequestEndsOnceAfterTheHookSawIt) {
    ProbeRun run = run_probe({"WINDOW_PROBE_ACTION=inject_close", "WINDOW_PROBE_HOOK=1"});
    expect_clean_end(run);
    EXPECT_EQ(std::count(run.log.begin(), run.log.end(), "Shut down VRN"), 1);
    auto hook = std::find(run.log.begin(), run.log.end(), "hook");
    ASSERT_NE(hook, run.log.end());
    EXPECT_LT(hook - run.log.begin(), std::find(run.log.begin(), run.log.end(), "Shut down VRN") - run.log.begin());
}

TEST(WindowProgram, TerminationSignalIsACloseRequest) {
    TempDir tmp;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("TMPDIR", tmp.path().c_str(), 1);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        std::string path = rt_test::test_program_path("window_probe");
        execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!contains(rt_test::log_lines(tmp.file("ErrorLog.txt")), "running") &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGTERM);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the program did not end on SIGTERM";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::vector<std::string> log = rt_test::log_lines(tmp.file("ErrorLog.txt"));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "vrn is shut down");
}

TEST(WindowProgram, WithoutADisplayStartUpStopsAndTheProgramEndsCleanly) {
    for (std::vector<std::string> env : {std::vector<std::string>{"SDL_VIDEODRIVER=x11", "DISPLAY=:4093"},
                                         std::vector<std::string>{"SDL_VIDEODRIVER=dummy"}}) {
        ProbeRun run = run_probe(env);
        expect_clean_end(run);
        EXPECT_EQ(run.log.front(), "Init GFX");
        EXPECT_FALSE(contains(run.log, "Init Finalized"));
        EXPECT_FALSE(contains(run.log, "running"));
    }
}

// The GL renderer of this process under SDL's offscreen driver with Mesa asked for its software
// rasteriser, as the probe runs of the next test get it; "" without a GL context. A GL that is not
// Mesa ignores the request and keeps its hardware renderer.
std::string renderer_with_software_requested() {
    const char* const names[] = {"SDL_VIDEODRIVER", "LIBGL_ALWAYS_SOFTWARE"};
    const char* const values[] = {"offscreen", "1"};
    std::vector<std::pair<bool, std::string>> saved;
    for (int i = 0; i < 2; ++i) {
        const char* old = std::getenv(names[i]);
        saved.emplace_back(old != nullptr, old ? old : "");
        setenv(names[i], values[i], 1);
    }
    std::string renderer;
    if (rt::platform_video_start()) {
        auto window = rt::PlatformWindow::create(64, 64, 0);
        auto context = window ? rt::PlatformGlContext::create(*window) : nullptr;
        if (context && context->make_current(*window)) {
            const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
            renderer = name ? name : "";
            context->release_current();
        }
    }
    for (int i = 0; i < 2; ++i) {
        if (saved[i].first) {
            setenv(names[i], saved[i].second.c_str(), 1);
        } else {
            unsetenv(names[i]);
        }
    }
    return renderer;
}

TEST(WindowProgram, SoftwareRendererIsLoggedAndBoxedOnlyWithTheDriverFile) {
    // Mesa's software rasteriser is asked for, so that machines with GL hardware check the
    // warning too; where the GL keeps a hardware renderer, there must be no warning and no box.
    const std::string renderer = renderer_with_software_requested();
    ASSERT_FALSE(renderer.empty()) << "no GL context: " << rt::platform_video_error();
    const bool software = rt::renderer_is_software(renderer.c_str());
    const std::vector<std::string> env = {"WINDOW_PROBE_ACTION=return", "WINDOW_PROBE_BOX=1", "LIBGL_ALWAYS_SOFTWARE=1"};
    const std::string line = "*** OpenGL Software Emulation - update driver!";
    TempDir cwd;
    ProbeRun plain = run_probe(env, cwd.path());
    expect_clean_end(plain);
    EXPECT_EQ(contains(plain.log, line), software) << renderer;
    EXPECT_FALSE(any_line_with(plain.log, "box:"));

    rt_test::write_file(cwd.file("opengldriver.txt"), "Install the vendor driver");
    ProbeRun boxed = run_probe(env, cwd.path());
    expect_clean_end(boxed);
    EXPECT_EQ(contains(boxed.log, line), software) << renderer;
    if (software) {
        EXPECT_TRUE(contains(boxed.log, "box: No OpenGL Hardware Drivers | Install the vendor driver"));
    } else {
        EXPECT_FALSE(any_line_with(boxed.log, "box:")) << renderer;
    }

    rt_test::write_file(cwd.file("opengldriver.txt"), "");
    ProbeRun builtin = run_probe(env, cwd.path());
    expect_clean_end(builtin);
    if (software) {
        EXPECT_TRUE(any_line_with(builtin.log,
                                  "box: No OpenGL Hardware Drivers | Please update your GFX adapter's driver\n"));
        EXPECT_TRUE(any_line_with(builtin.log, "\nBitte aktualisieren Sie Ihren\n"));
    } else {
        EXPECT_FALSE(any_line_with(builtin.log, "box:")) << renderer;
    }
}

}  // namespace
