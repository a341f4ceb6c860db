// Faults injected into write-back (full disk, no free descriptors, SIGKILL, a second SIGTERM, a
// read-only file, planted links, FIFOs): settings, line-store and channel files and file_copy
// destinations always hold the complete old or the complete new version, never a cut one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

using rt_test::read_file;
using rt_test::TempDir;
using rt_test::write_file;

bool is_root() { return geteuid() == 0; }

// ---- the versions the probe writes (tests/programs/fault_probe.cpp, same rules) ----

struct Shape {
    int count;
    int per;
    int bytes[2];  // length of each value, line or chunk in version 0 and version 1
};

std::string fill_text(int gen, int a, int b, int len) {
    std::string text = "g" + std::to_string(gen) + "." + std::to_string(a) + "." + std::to_string(b) + ":";
    const char letter = static_cast<char>('a' + (gen * 7 + a * 3 + b) % 26);
    while (static_cast<int>(text.size()) < len) text.push_back(letter);
    return text;
}

struct Kind {
    const char* name;  // FAULT_KIND
    Shape shape;
};

// Version 0 is about 5 KB, version 1 about 100 KB: the new version never fits a 64 KiB disk.
const Kind kKinds[] = {
    {"settings", {40, 8, {10, 300}}},
    {"lines", {250, 1, {20, 400}}},
    {"channel", {100, 1, {50, 1000}}},
    {"copy", {100, 1, {50, 1000}}},
};

std::string shape_text(const Shape& shape) {
    return std::to_string(shape.count) + "," + std::to_string(shape.per) + "," + std::to_string(shape.bytes[0]) + "," +
           std::to_string(shape.bytes[1]);
}

// The file's bytes as the runtime writes version gen of the kind.
std::string version_bytes(const std::string& kind, const Shape& shape, int gen) {
    std::string out;
    for (int a = 0; a < shape.count; ++a) {
        if (kind == "settings") {
            out += "[s" + std::to_string(a) + "]\r\n";
            for (int k = 0; k < shape.per; ++k) {
                out += "k" + std::to_string(k) + "=" + fill_text(gen, a, k, shape.bytes[gen]) + "\r\n";
            }
        } else if (kind == "lines") {
            out += fill_text(gen, a, 0, shape.bytes[gen]) + "\r\n";
        } else {
            out += fill_text(gen, a, 0, shape.bytes[gen]);
        }
    }
    return out;
}

// What a file holds compared with its two acceptable versions.
std::string describe(const std::string& path, const std::string& old_bytes, const std::string& new_bytes) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return "missing";
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return "no regular file";
    const std::string now = read_file(path);
    if (now == old_bytes) return "old";
    if (now == new_bytes) return "new";
    for (const std::string* version : {&old_bytes, &new_bytes}) {
        if (now.size() < version->size() && version->compare(0, now.size(), now) == 0) {
            return "cut at " + std::to_string(now.size()) + " of " + std::to_string(version->size()) + " bytes";
        }
    }
    return "other content (" + std::to_string(now.size()) + " bytes)";
}

bool old_or_new(const std::string& what) { return what == "old" || what == "new"; }

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The folder's names with each one's file number, size and change time: differs once anything
// in it was created, removed, replaced or written.
std::string folder_state(const std::string& dir) {
    std::string state;
    for (const std::string& name : names_in(dir)) {
        struct stat st;
        if (lstat((dir + "/" + name).c_str(), &st) != 0) continue;
        state += name + " " + std::to_string(st.st_ino) + " " + std::to_string(st.st_size) + " " +
                 std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + "\n";
    }
    return state;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : " ") + name;
    return out;
}

// ---- a probe run in the background, its output read as it comes ----

class LiveProbe {
public:
    explicit LiveProbe(const std::vector<std::string>& env) {
        int fds[2];
        if (pipe(fds) != 0) return;
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            close(fds[0]);
            close(fds[1]);
            for (const std::string& kv : env) {
                const size_t eq = kv.find('=');
                setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
            }
            const std::string program = rt_test::test_program_path("fault_probe");
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        out_ = fds[0];
        fcntl(out_, F_SETFL, O_NONBLOCK);
    }
    ~LiveProbe() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
        }
        if (out_ >= 0) close(out_);
    }
    LiveProbe(const LiveProbe&) = delete;
    LiveProbe& operator=(const LiveProbe&) = delete;

    // Whether the probe printed line (a whole line) within timeout_ms.
    bool wait_line(const std::string& line, int timeout_ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (!has_line(line)) {
            if (std::chrono::steady_clock::now() > deadline || !read_some(50)) return has_line(line);
        }
        return true;
    }
    void send(int sig) {
        if (pid_ > 0 && !reaped_) kill(pid_, sig);
    }
    // The waitpid status once the probe ended, or -1 after timeout_ms (the probe is then killed).
    int wait_end(int timeout_ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (pid_ > 0 && !reaped_) {
            read_some(20);
            if (waitpid(pid_, &status_, WNOHANG) == pid_) {
                reaped_ = true;
            } else if (std::chrono::steady_clock::now() > deadline) {
                return -1;
            }
        }
        read_some(0);
        return reaped_ ? status_ : -1;
    }
    const std::string& output() const { return output_; }

private:
    bool has_line(const std::string& line) const {
        return output_.compare(0, line.size() + 1, line + "\n") == 0 ||
               output_.find("\n" + line + "\n") != std::string::npos;
    }
    // Reads what arrived within wait_ms; false once the output is closed.
    bool read_some(int wait_ms) {
        if (out_ < 0) return false;
        pollfd pfd{out_, POLLIN, 0};
        poll(&pfd, 1, wait_ms);
        char buf[4096];
        ssize_t n;
        while ((n = read(out_, buf, sizeof buf)) > 0) output_.append(buf, static_cast<size_t>(n));
        return n != 0;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = 0;
    bool reaped_ = false;
    std::string output_;
};

bool killed_by(int status, int sig) { return status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == sig; }

// A 64 KiB tmpfs mounted on path for its lifetime.
class TmpfsMount {
public:
    explicit TmpfsMount(const std::string& path) : path_(path) {
        std::filesystem::create_directory(path_);
        rt_test::ProgramResult r =
            rt_test::run_program({"/usr/bin/mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", path_}, {}, "", 30);
        mounted_ = r.exited && r.exit_code == 0;
        output_ = r.output;
    }
    ~TmpfsMount() {
        if (mounted_) rt_test::run_program({"/usr/bin/umount", "-l", path_}, {}, "", 30);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool mounted() const { return mounted_; }
    const std::string& output() const { return output_; }

private:
    std::string path_;
    bool mounted_ = false;
    std::string output_;
};

class FaultInjection : public ::testing::Test {
protected:
    FaultInjection() {
        for (const Kind& kind : kKinds) {
            if (!is(kind, "copy")) continue;
            write_file(source(0), old_version(kind));
            write_file(source(1), new_version(kind));
        }
    }

    static bool is(const Kind& kind, const char* name) { return std::string(kind.name) == name; }
    // Channels and copies tell the game whether the write could start ("result 0": refused).
    static bool reports_result(const Kind& kind) { return is(kind, "channel") || is(kind, "copy"); }

    std::string source(int gen) const { return sources_.file("source" + std::to_string(gen)); }

    // The probe's variables for writing kind to target, plus extra.
    std::vector<std::string> probe_env(const Kind& kind, const std::string& target,
                                       const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> env = {"SDL_VIDEODRIVER=offscreen",
                                        "TMPDIR=" + tmp_.path(),
                                        std::string("FAULT_KIND=") + kind.name,
                                        "FAULT_SHAPE=" + shape_text(kind.shape),
                                        "FAULT_TARGET=" + target,
                                        "FAULT_SOURCE0=" + source(0),
                                        "FAULT_SOURCE1=" + source(1),
                                        "FAULT_GEN=1"};
        env.insert(env.end(), extra.begin(), extra.end());
        return env;
    }

    // Writes version 1 of kind over target in one probe run; argv_prefix runs it through another
    // program (setpriv).
    rt_test::ProgramResult run_once(const Kind& kind, const std::string& target,
                                    const std::vector<std::string>& extra = {},
                                    const std::vector<std::string>& argv_prefix = {}) const {
        std::vector<std::string> argv = argv_prefix;
        argv.push_back(rt_test::test_program_path("fault_probe"));
        return rt_test::run_program(argv, probe_env(kind, target, extra), "", 60);
    }

    static std::string old_version(const Kind& kind) { return version_bytes(kind.name, kind.shape, 0); }
    static std::string new_version(const Kind& kind) { return version_bytes(kind.name, kind.shape, 1); }

    TempDir work_;
    TempDir tmp_;
    TempDir sources_;
};

TEST_F(FaultInjection, FullDiskLeavesTheOldVersionAndNoTemporaryFile) {
    if (!is_root()) GTEST_SKIP() << "needs root: mounts a 64 KiB tmpfs";
    // The copy of a file onto itself on a full disk must not lose the file either.
    const Kind onto_itself = {"copy", {40, 1, {1000, 1000}}};
    std::vector<const Kind*> rows;
    for (const Kind& kind : kKinds) rows.push_back(&kind);
    rows.push_back(&onto_itself);
    for (const Kind* row : rows) {
        const Kind& kind = *row;
        const bool self_copy = row == &onto_itself;
        SCOPED_TRACE(std::string(kind.name) + (self_copy ? " onto itself" : ""));
        const std::string mount_point = work_.file(std::string("disk_") + kind.name + (self_copy ? "_self" : ""));
        TmpfsMount disk(mount_point);
        ASSERT_TRUE(disk.mounted()) << disk.output();
        const std::string target = mount_point + "/file";
        const std::string old_bytes = old_version(kind);
        const std::string new_bytes = self_copy ? old_bytes : new_version(kind);
        write_file(target, old_bytes);
        ASSERT_EQ(read_file(target), old_bytes) << "the old version must fit the disk";
        ASSERT_GT(old_bytes.size() + new_bytes.size(), 64u * 1024u) << "both versions must not fit together";

        std::vector<std::string> extra;
        if (self_copy) extra = {"FAULT_SOURCE1=" + target};
        rt_test::ProgramResult r = run_once(kind, target, extra);
        EXPECT_TRUE(r.exited) << r.output;
        const std::string what = describe(target, old_bytes, new_bytes);
        EXPECT_TRUE(old_or_new(what)) << what;
        EXPECT_EQ(joined(names_in(mount_point)), "file") << "a temporary file was left behind";
        if (is(kind, "copy")) {
            EXPECT_NE(r.output.find("result 0"), std::string::npos) << r.output;
        }
    }
}

TEST_F(FaultInjection, NoFreeDescriptorsLeavesTheOldVersion) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const std::string target = work_.file(kind.name);
        write_file(target, old_version(kind));
        rt_test::ProgramResult r = run_once(kind, target, {"FAULT_NOFILE=1"});
        EXPECT_TRUE(r.exited) << r.output;
        const std::string what = describe(target, old_version(kind), new_version(kind));
        EXPECT_TRUE(old_or_new(what)) << what;
        if (reports_result(kind)) {
            EXPECT_NE(r.output.find("result 0"), std::string::npos) << r.output;
            EXPECT_NE(r.output.find("error 3"), std::string::npos) << r.output;
        }
    }
    std::vector<std::string> expected;
    for (const Kind& kind : kKinds) expected.push_back(kind.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(joined(names_in(work_.path())), joined(expected)) << "a temporary file was left behind";
}

TEST_F(FaultInjection, KillDuringWriteBackLeavesOldOrNew) {
    // 32 kills per kind at moments spread over 0 to 40 ms after the loop starts (one write-back
    // takes about 1 ms without a flush to the disk and tens of ms with one).
    constexpr int kKillsPerKind = 32;
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delay_us(0, 40000);
    int kills = 0;
    std::string summary;
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const std::string target = work_.file(kind.name);
        write_file(target, old_version(kind));
        int found_old = 0;
        int found_new = 0;
        int found_bad = 0;
        for (int i = 0; i < kKillsPerKind; ++i) {
            LiveProbe probe(probe_env(kind, target, {"FAULT_ACTION=loop"}));
            ASSERT_TRUE(probe.wait_line("ready", 60000)) << probe.output();
            std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
            probe.send(SIGKILL);
            const int status = probe.wait_end(60000);
            ASSERT_TRUE(killed_by(status, SIGKILL)) << "the loop ended on its own: " << probe.output();
            ++kills;
            const std::string what = describe(target, old_version(kind), new_version(kind));
            EXPECT_TRUE(old_or_new(what)) << "kill " << i << ": " << what;
            (what == "old" ? found_old : what == "new" ? found_new : found_bad) += 1;
        }
        summary += std::string(" ") + kind.name + ": old " + std::to_string(found_old) + ", new " +
                   std::to_string(found_new) + ", damaged " + std::to_string(found_bad) + ";";
    }
    std::printf("[ figures  ] %d kills;%s %zu names left in the folder (temporary files of killed write-backs)\n",
                kills, summary.c_str(), names_in(work_.path()).size() - std::size(kKinds));
    EXPECT_GE(kills, 100);
}

TEST_F(FaultInjection, SecondTermDuringTheEndSequenceLeavesOldOrNew) {
    // 64 sections of 64 keys: about 3.6 MB old and 3.7 MB new, so that writing it back takes a
    // while. The second SIGTERM follows the first change in the folder (the write-back started:
    // a new name, or the file changed or gone) by 0 to 30 ms.
    const Kind kind = {"settings", {64, 64, {880, 900}}};
    constexpr int kRuns = 16;
    const std::string target = work_.file("big.ini");
    const std::string old_bytes = old_version(kind);
    const std::string new_bytes = new_version(kind);
    int ended_by_second = 0;
    int found_new = 0;
    for (int i = 0; i < kRuns; ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        write_file(target, old_bytes);
        const std::string before = folder_state(work_.path());
        LiveProbe probe(probe_env(kind, target, {"FAULT_ACTION=hang"}));
        ASSERT_TRUE(probe.wait_line("ready", 60000)) << probe.output();
        probe.send(SIGTERM);
        ASSERT_TRUE(probe.wait_line("ending", 60000)) << probe.output();
        // A write-back that never starts (refused) gets the second signal after 10 s.
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (folder_state(work_.path()) == before && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(2000 * i));
        probe.send(SIGTERM);
        const int status = probe.wait_end(60000);
        ASSERT_NE(status, -1) << "the probe did not end: " << probe.output();
        if (killed_by(status, SIGTERM)) ++ended_by_second;
        const std::string what = describe(target, old_bytes, new_bytes);
        EXPECT_TRUE(old_or_new(what)) << what;
        if (what == "new") ++found_new;
    }
    std::printf("[ figures  ] %d runs, %d ended by the second SIGTERM, %d found the new version\n", kRuns,
                ended_by_second, found_new);
}

TEST_F(FaultInjection, ReadOnlyFileIsRefusedAndUnchanged) {
    // Root may write any file: as root, the probe runs as uid 65534 (nobody) in a folder it owns.
    std::vector<std::string> unprivileged;
    if (is_root()) {
        unprivileged = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        for (const std::string& dir : {work_.path(), tmp_.path()}) ASSERT_EQ(chown(dir.c_str(), 65534, 65534), 0);
        ASSERT_EQ(chmod(sources_.path().c_str(), 0755), 0);
        rt_test::ProgramResult alive = run_once({"alive", {1, 1, {1, 1}}}, "", {}, unprivileged);
        if (alive.output.find("alive") == std::string::npos) {
            GTEST_SKIP() << "the probe does not start as uid 65534 from " << rt_test::test_program_path("") << ": "
                         << alive.output;
        }
    }
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const std::string target = work_.file(kind.name);
        write_file(target, old_version(kind));
        if (is_root()) {
            ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
        }
        ASSERT_EQ(chmod(target.c_str(), 0444), 0);
        struct stat before;
        ASSERT_EQ(stat(target.c_str(), &before), 0);

        rt_test::ProgramResult r = run_once(kind, target, {}, unprivileged);
        EXPECT_TRUE(r.exited) << r.output;
        EXPECT_EQ(describe(target, old_version(kind), new_version(kind)), "old");
        struct stat after;
        ASSERT_EQ(stat(target.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced";
        EXPECT_EQ(after.st_mode & 07777, 0444u);
        if (reports_result(kind)) {
            EXPECT_NE(r.output.find("result 0"), std::string::npos) << r.output;
        }
    }
}

TEST_F(FaultInjection, LinkedFileIsReplacedThroughTheLinkWhichStays) {
    TempDir elsewhere;
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const std::string real = elsewhere.file(kind.name);
        const std::string link = work_.file(kind.name);
        write_file(real, old_version(kind));
        ASSERT_EQ(chmod(real.c_str(), 0640), 0);
        ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
        struct stat before;
        ASSERT_EQ(stat(real.c_str(), &before), 0);

        rt_test::ProgramResult r = run_once(kind, link);
        EXPECT_TRUE(r.exited) << r.output;
        struct stat link_stat;
        ASSERT_EQ(lstat(link.c_str(), &link_stat), 0);
        EXPECT_TRUE(S_ISLNK(link_stat.st_mode)) << "the link was replaced by a file";
        std::error_code ec;
        EXPECT_EQ(std::filesystem::read_symlink(link, ec).string(), real);
        EXPECT_EQ(describe(real, old_version(kind), new_version(kind)), "new");
        struct stat after;
        ASSERT_EQ(stat(real.c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino) << "written in place, not replaced in one step";
        EXPECT_EQ(after.st_mode & 07777, 0640u) << "the old file's permission bits were not kept";
    }
    std::vector<std::string> expected;
    for (const Kind& kind : kKinds) expected.push_back(kind.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(joined(names_in(elsewhere.path())), joined(expected));
}

TEST_F(FaultInjection, LogDoesNotFollowALinkPlantedInTheTemporaryFolder) {
    TempDir elsewhere;
    const std::string victim = elsewhere.file("victim.txt");
    const std::string log = tmp_.file("ErrorLog.txt");
    write_file(victim, "someone else's file\n");
    ASSERT_EQ(symlink(victim.c_str(), log.c_str()), 0);

    LiveProbe probe(probe_env({"log", {1, 1, {1, 1}}}, "", {"FAULT_GO=" + work_.file("go")}));
    ASSERT_TRUE(probe.wait_line("ready", 60000)) << probe.output();
    // Planted again after the start-up, between two lines of the log.
    unlink(log.c_str());
    ASSERT_EQ(symlink(victim.c_str(), log.c_str()), 0);
    write_file(work_.file("go"), "");
    const int status = probe.wait_end(60000);
    EXPECT_TRUE(status != -1 && WIFEXITED(status)) << probe.output();
    EXPECT_EQ(read_file(victim), "someone else's file\n");
}

TEST_F(FaultInjection, FifoTargetIsRefusedAndNothingBlocks) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const std::string target = work_.file(kind.name);
        ASSERT_EQ(mkfifo(target.c_str(), 0644), 0);
        // A probe that blocks is killed after 30 s and counts as not exited.
        rt_test::ProgramResult r =
            rt_test::run_program({rt_test::test_program_path("fault_probe")}, probe_env(kind, target), "", 30);
        EXPECT_TRUE(r.exited) << "blocked on the FIFO: " << r.output;
        struct stat st;
        ASSERT_EQ(lstat(target.c_str(), &st), 0) << "the FIFO was removed";
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
        if (reports_result(kind)) {
            EXPECT_NE(r.output.find("result 0"), std::string::npos) << r.output;
        }
    }
    std::vector<std::string> expected;
    for (const Kind& kind : kKinds) expected.push_back(kind.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(joined(names_in(work_.path())), joined(expected)) << "a temporary file was left behind";
}

}  // namespace
