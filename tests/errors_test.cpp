// The error state, its texts, the log file, the debugger channel and calls by name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/platform/os.h"
#include "runtime/runtime.h"
#include "support/test_support.h"

namespace {

using rt_test::DebugCapture;

// Points TMPDIR at a private folder for the test's lifetime.
class TempLog {
public:
    TempLog() : old_(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "") { setenv("TMPDIR", dir_.path().c_str(), 1); }
    ~TempLog() {
        if (old_.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", old_.c_str(), 1);
        }
    }
    std::string path() const { return dir_.file("ErrorLog.txt"); }

private:
    rt_test::TempDir dir_;
    std::string old_;
};

const NamedFunction kTable[] = {
    {[] { return 5.0; }, "counted"},
    {[] { return 0.0; }, "Counted"},
    {nullptr, nullptr},
};

TEST(ErrorState, CodesTextsAndLines) {
    source_position_set(3, 17);
    EXPECT_EQ(error_code_set(9.7), 9.7);
    EXPECT_EQ(rt::globals.error_code, 9);
    EXPECT_EQ(rt::globals.error_line, 17);
    EXPECT_STREQ(error_text().c_str(), "0009 out of bounds");
    error_code_set(21);
    EXPECT_STREQ(error_text().c_str(), "0021 unknown error");
    error_code_set(-1);
    EXPECT_STREQ(error_text().c_str(), "-0001 unknown error");
    error_code_set(3);
    EXPECT_STREQ(error_text().c_str(), "0003 no such file");
    error_code_set(20);
    EXPECT_STREQ(error_text().c_str(), "0020 out of data");
    error_code_set(12345);
    EXPECT_STREQ(error_text().c_str(), "12345 unknown error");
    // Values beyond the integer range saturate instead of being undefined.
    error_code_set(1e300);
    EXPECT_EQ(rt::globals.error_code, INT32_MAX);
    error_code_clear();
    EXPECT_STREQ(error_text().c_str(), "0000 success");
    source_position_set(0, 0);
}

TEST(Log, AppendsLinesWithCrLfAndSurvivesAMissingFolder) {
    TempLog log;
    log_append("first");
    log_append(RtString("second"));
    EXPECT_EQ(rt_test::read_file(log.path()), "first\r\nsecond\r\n");

    // TMPDIR naming a folder that does not exist: the line is dropped without creating the folder
    // or touching the error state, and the log takes lines again once TMPDIR is back.
    const std::string folder = log.path().substr(0, log.path().rfind('/'));
    const std::string error_before = error_text().c_str();
    setenv("TMPDIR", (folder + "/missing/folder").c_str(), 1);
    log_append("lost without complaint");
    EXPECT_FALSE(rt_test::file_exists(folder + "/missing"));
    EXPECT_EQ(std::string(error_text().c_str()), error_before);
    setenv("TMPDIR", folder.c_str(), 1);
    log_append("third");
    EXPECT_EQ(rt_test::read_file(log.path()), "first\r\nsecond\r\nthird\r\n");
}

// A name planted in the shared folder never leads the log into another file; the start-up's
// fresh, exclusive creation takes the name back.
TEST(Log, PlantedNamesAreNeverWrittenThrough) {
    struct Plant {
        const char* what;
        int (*make)(const char* target, const char* name);
    };
    const std::vector<Plant> plants = {{"symbolic link", symlink}, {"hard link", link}};
    for (const Plant& plant : plants) {
        SCOPED_TRACE(plant.what);
        TempLog log;
        const std::string victim = log.path() + ".victim";
        rt_test::write_file(victim, "private");
        ASSERT_EQ(plant.make(victim.c_str(), log.path().c_str()), 0);
        log_append("leaked");
        EXPECT_EQ(rt_test::read_file(victim), "private");
        rt::platform_append_file(log.path(), "", 0, rt::AppendMode::kFreshExclusive);
        log_append("mine");
        EXPECT_EQ(rt_test::read_file(log.path()), "mine\r\n");
        EXPECT_EQ(rt_test::read_file(victim), "private");
    }
}

TEST(NamedFunctions, FindIsExactAndCallByNameReportsFailuresOnce) {
    rt::globals.functions = kTable;
    DebugCapture debug(1);
    EXPECT_NE(function_find("counted"), nullptr);
    EXPECT_EQ(function_find("counted")(), 5.0);
    EXPECT_EQ(function_find("COUNTED"), nullptr);
    EXPECT_EQ(function_call_by_name(RtString("Counted")), 1.0);
    EXPECT_TRUE(debug.lines.empty());

    EXPECT_EQ(function_call_by_name(RtString("missing")), 0.0);
    ASSERT_EQ(debug.lines.size(), 1u);
    EXPECT_EQ(debug.lines[0], "TXCALLBYNAME \"missing\" *** failed ***\n");

    // The two optional hooks are never reported.
    EXPECT_EQ(function_call_by_name(RtString("VRN_ON_QUIT")), 0.0);
    EXPECT_EQ(function_call_by_name(RtString("VRN_WIN32_MSG")), 0.0);
    EXPECT_EQ(debug.lines.size(), 1u);
    rt::globals.functions = nullptr;
    EXPECT_EQ(function_find("counted"), nullptr);
}

TEST(DebugChannel, SilentWithoutDebuggerAndPrefixedWithOne) {
    {
        DebugCapture absent(0);
        debug_print(RtString("hello"));
        debug_breakpoint(5);
        EXPECT_TRUE(absent.lines.empty());
        EXPECT_EQ(rt::globals.core.bring_to_front_requested, 0);
    }
    DebugCapture present(1);
    debug_print(RtString("hello"));
    rt::globals.core.paused = 1;
    debug_breakpoint(255);
    debug_breakpoint(-1);
    ASSERT_EQ(present.lines.size(), 3u);
    EXPECT_EQ(present.lines[0], "TXhello");
    EXPECT_EQ(present.lines[1], "BPff");
    EXPECT_EQ(present.lines[2], "BPffffffff");
    EXPECT_EQ(rt::globals.core.paused, 0);
    EXPECT_EQ(rt::globals.core.bring_to_front_requested, 1);
    rt::globals.core.bring_to_front_requested = 0;
}

TEST(DebugChannel, DebuggerPresenceFollowsTheTracer) {
    // Under a plain test run nobody traces the process (under gdb this would differ).
    if (std::getenv("RT_TEST_UNDER_DEBUGGER") == nullptr) {
        EXPECT_FALSE(rt::debugger_present());
    }
}

TEST(Assertions, PassingDoesNothingFailingEndsWithCode21) {
    debug_assert(1);
    debug_assert(-3);
    rt_test::ChildResult child = rt_test::run_in_child([] {
        DebugCapture debug(1);
        debug_assert(0);
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 0);
    EXPECT_EQ(child.error_code(), 21);
}

TEST(Assertions, FatalPathKeepsTheCurrentLine) {
    rt_test::ChildResult child = rt_test::run_in_child([] {
        source_position_set(7, 120);
        rt::fatal(9);
    });
    EXPECT_EQ(child.exit_code, 0);
    std::vector<std::string> expected = {"-End On Line", "9", "119", "120", "7"};
    EXPECT_EQ(child.log, expected);
}

}  // namespace
