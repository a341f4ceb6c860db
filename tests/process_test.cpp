// Other programs started with and without waiting, the command-line word splitter, the file
// dialogs through stand-in dialog programs, leaving through another program or the opener, and
// the thread commands with the owner-checking lock.
#include "runtime/core/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/core/shell_words.h"
#include "runtime/platform/os.h"
#include "runtime/platform/process.h"
#include "runtime/platform/threads.h"
#include "support/test_support.h"

namespace {

using rt_test::TempDir;

// Polls until done() holds, for at most a minute.
bool eventually(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void write_script(const std::string& path, const std::string& body) {
    rt_test::write_file(path, "#!/bin/sh\n" + body);
    ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
}

// Replaces PATH for its lifetime (the test environment always has one).
class PathOverride {
public:
    explicit PathOverride(const std::string& path) : old_(std::getenv("PATH") ? std::getenv("PATH") : "") {
        ::setenv("PATH", path.c_str(), 1);
    }
    ~PathOverride() { ::setenv("PATH", old_.c_str(), 1); }
    const std::string old_;
};

TEST(ProgramRun, WaitsAndStoresExitCodesAndRefusesWhatCannotStart) {
    TempDir dir;
    // A descriptor this process opened without close-on-exec must not reach the child.
    const int open_fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(open_fd, 3);
    const std::string fd_probe = "sh -c 'test -e /proc/self/fd/" + std::to_string(open_fd) + " && exit 9; exit 0'";
    struct Case {
        std::string command;
        double started;
        double exit_code;
    };
    const Case cases[] = {
        {"sh -c 'exit 3'", 1, 3},
        {"sh -c \"exit \\\"4\\\"\"", 1, 4},
        {"  sh\t-c  'kill -KILL $$'  ", 1, 128 + SIGKILL},
        {fd_probe, 1, 0},
        {"no-such-program-for-this-test", 0, 0},
        {"sh -c 'exit 3", 0, 0},  // a quote left open
        {"   ", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        RtString command(c.command.c_str());
        double exit_code = 77;
        EXPECT_EQ(program_run(command, 1, 1, exit_code), c.started);
        EXPECT_EQ(exit_code, c.exit_code);
        EXPECT_GE(command.capacity(), 1024u);
        EXPECT_STREQ(command.c_str(), c.command.c_str());
        EXPECT_EQ(command.length(), c.command.size());
    }
    ::close(open_fd);
}

TEST(ProgramRun, WithoutWaitingReturnsAtOnceAndTheChildIsReapedLater) {
    TempDir dir;
    const std::string pid_file = dir.file("pid");
    const std::string go_file = dir.file("go");
    // The child records its process id and runs until the test lets it go, so returning at all
    // shows that program_run did not wait.
    RtString command(("sh -c 'echo $$ > " + pid_file + ".part && mv " + pid_file + ".part " + pid_file +
                      "; while [ ! -e " + go_file + " ]; do sleep 0.05; done; exit 5'")
                         .c_str());
    double exit_code = 77;
    ASSERT_EQ(program_run(command, 0, 0, exit_code), 1);
    EXPECT_EQ(exit_code, 0);

    ASSERT_TRUE(eventually([&] { return rt_test::file_exists(pid_file); }));
    const pid_t pid = static_cast<pid_t>(std::atoi(rt_test::read_file(pid_file).c_str()));
    ASSERT_GT(pid, 0);
    rt_test::write_file(go_file, "");
    // A zombie still answers kill(pid, 0); a reaped child does not.
    EXPECT_TRUE(eventually([&] {
        rt::platform_process_reap_finished();
        return ::kill(pid, 0) != 0 && errno == ESRCH;
    }));
}

TEST(ShellWords, SplitsLikeAShellWithoutExpanding) {
    struct Case {
        const char* text;
        bool ok;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"", true, {}},
        {" \t ", true, {}},
        {"a b\tc", true, {"a", "b", "c"}},
        {"  lead   trail  ", true, {"lead", "trail"}},
        {"'a  b' c", true, {"a  b", "c"}},
        {"'\\' '\"'", true, {"\\", "\""}},
        {"pre'mid dle'post", true, {"premid dlepost"}},
        {"\"q \\\" \\\\ \\$ \\` \\n x\"", true, {"q \" \\ $ ` \\n x"}},
        {"a\\ b \\'c\\\"", true, {"a b", "'c\""}},
        {"'' \"\" x''", true, {"", "", "x"}},
        {"$HOME * ~ a;b", true, {"$HOME", "*", "~", "a;b"}},
        {"end\\", true, {"end\\"}},
        {"'open", false, {}},
        {"\"open", false, {}},
        {"\"escaped end\\\"", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> words{"left over"};
        EXPECT_EQ(rt::shell_words(c.text, words), c.ok);
        EXPECT_EQ(words, c.words);
    }
}

TEST(FileDialog, ReadsTheStandInDialogsAnswer) {
    // The stand-in records its arguments, one a line, then answers.
    const std::string record = "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$DIALOG_ARGS\"\n";
    struct Case {
        const char* program;  // the stand-in's name, or null for none at all
        const char* body;
        int32_t open;
        const char* expected;
        std::string arguments;  // "@" stands for the current folder; "" is not checked
    };
    const Case cases[] = {
        {"zenity", "printf 'C:\\\\Games\\\\level.map\\n'", 1, "C:/Games/level.map",
         "--file-selection\n--filename=@/\n--file-filter=Maps | *.map\n--file-filter=Everything | *\n"},
        {"zenity", "printf '/tmp/a b.map'", 0, "/tmp/a b.map",
         "--file-selection\n--save\n--confirm-overwrite\n--filename=@/\n--file-filter=Maps | *.map\n"
         "--file-filter=Everything | *\n"},
        {"zenity", "printf '/tmp/x.map\\n'; exit 1", 1, "NO_FILE", ""},
        {"zenity", "exit 0", 1, "NO_FILE", ""},
        {"kdialog", "printf '/home/x.map\\n'", 1, "/home/x.map", "--getopenfilename\n@\n*.map|Maps\n*|Everything\n"},
        {nullptr, "", 1, "NO_FILE", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program ? c.program : "none") + ": " + c.body);
        TempDir bin;
        TempDir work;
        ::setenv("DIALOG_ARGS", work.file("args").c_str(), 1);
        if (c.program) write_script(bin.file(c.program), record + c.body + "\n");
        const std::string before = rt::platform_current_dir();
        RtString result("stale");
        RtString returned;
        {
            PathOverride path(bin.path());
            returned = file_dialog(result, c.open, "Maps|*.map|Everything|*.*");
        }
        EXPECT_STREQ(result.c_str(), c.expected);
        EXPECT_STREQ(returned.c_str(), c.expected);
        EXPECT_EQ(rt::platform_current_dir(), before);
        std::string arguments = c.arguments;
        for (size_t at; (at = arguments.find('@')) != std::string::npos;) arguments.replace(at, 1, before);
        if (!arguments.empty()) {
            EXPECT_EQ(rt_test::read_file(work.file("args")), arguments);
        }
    }
    ::unsetenv("DIALOG_ARGS");
}

TEST(LeavingThroughAnotherProgram, ShutsDownStartsItAndExitsWithZero) {
    TempDir dir;
    const std::string ran_file = dir.file("ran");
    rt_test::ChildResult child = rt_test::run_in_child(
        [&] { program_run_and_exit(("sh -c 'echo started > " + ran_file + "; exit 4'").c_str()); });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 0);
    EXPECT_TRUE(eventually([&] { return rt_test::read_file(ran_file) == "started\n"; }));

    // The opener gets the target as one argument, blanks and all; program_end writes its end lines.
    write_script(dir.file("xdg-open"), "printf '%s' \"$1\" > \"" + dir.file("opened") + ".part\"; mv \"" +
                                           dir.file("opened") + ".part\" \"" + dir.file("opened") + "\"\n");
    PathOverride path(dir.path() + ":" + std::getenv("PATH"));
    child = rt_test::run_in_child([] { shell_open_and_exit("http://example.invalid/a b?c=1&d='e'"); });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 0);
    EXPECT_EQ(child.error_code(), 0);
    EXPECT_TRUE(eventually([&] { return rt_test::file_exists(dir.file("opened")); }));
    EXPECT_EQ(rt_test::read_file(dir.file("opened")), "http://example.invalid/a b?c=1&d='e'");
}

std::atomic<intptr_t> self_handle{0};
std::atomic<int> detached_ran{0};

TEST(Threads, JoinGivesTheResultOnceAndRefusesBadHandles) {
    const intptr_t kept = thread_create([](intptr_t argument) -> intptr_t { return argument + 2; }, 3, 1);
    ASSERT_GT(kept, 0);
    intptr_t exit_code = 0;
    EXPECT_EQ(thread_join(kept, &exit_code), 0);
    EXPECT_EQ(exit_code, 5);
    EXPECT_EQ(thread_join(kept, &exit_code), 22);

    const intptr_t other = thread_create([](intptr_t) -> intptr_t { return -7; }, 0, 1);
    double real_code = 0;
    EXPECT_EQ(thread_join(other, real_code), 0);
    EXPECT_EQ(real_code, -7.0);

    for (intptr_t bad : {intptr_t{0}, intptr_t{-1}, intptr_t{123456789}}) EXPECT_EQ(thread_join(bad), 22);

    // Not kept: 0, and the thread runs all the same.
    const intptr_t detached = thread_create(
        [](intptr_t) -> intptr_t {
            detached_ran.store(1);
            return 0;
        },
        0, 0);
    EXPECT_EQ(detached, 0);
    EXPECT_TRUE(eventually([] { return detached_ran.load() == 1; }));

    // A thread joining itself is refused and its handle stays joinable.
    const intptr_t self = thread_create(
        [](intptr_t) -> intptr_t {
            while (self_handle.load() == 0) thread_sleep(1);
            return thread_join(self_handle.load());
        },
        0, 1);
    self_handle.store(self);
    EXPECT_EQ(thread_join(self, &exit_code), 0);
    EXPECT_EQ(exit_code, 22);
}

TEST(Threads, OwnedLockRefusesRelockingAndForeignUnlocking) {
    rt::OwnedLock lock;
    EXPECT_EQ(lock.lock(), 0);
    EXPECT_EQ(lock.lock(), 36);
    EXPECT_TRUE(lock.held_by_caller());
    int32_t foreign_unlock = -1;
    bool foreign_sees_held = true;
    std::thread other([&] {
        foreign_unlock = lock.unlock();
        foreign_sees_held = lock.held_by_caller();
    });
    other.join();
    EXPECT_EQ(foreign_unlock, 1);
    EXPECT_FALSE(foreign_sees_held);
    EXPECT_EQ(lock.unlock(), 0);
    EXPECT_EQ(lock.unlock(), 1);

    int32_t foreign_lock = -1;
    std::thread taker([&] {
        foreign_lock = lock.lock();
        lock.unlock();
    });
    taker.join();
    EXPECT_EQ(foreign_lock, 0);
}

}  // namespace
