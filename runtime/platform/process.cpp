// Child processes over posix_spawn: argument vectors, waiting, reaping children nobody waits for,
// capturing standard output through a pipe, and the PATH search.
#include "runtime/platform/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>

extern char** environ;

namespace rt {
namespace {

// Children started without waiting. Each is reaped with WNOHANG on the next spawn (or an explicit
// reap) after it ended; a forked copy of this process finds them not to be its own children and
// drops them.
struct ReleasedChildren {
    std::mutex lock;
    std::vector<pid_t> pids;
};

ReleasedChildren& released_children() {
    static ReleasedChildren table;  // the process layer's one table; lives until the process ends
    return table;
}

// Owns a posix_spawn file-actions object and an attribute object for one spawn.
class SpawnSetup {
public:
    SpawnSetup() {
        ok_ = posix_spawn_file_actions_init(&actions_) == 0;
        if (ok_ && posix_spawnattr_init(&attr_) != 0) {
            posix_spawn_file_actions_destroy(&actions_);
            ok_ = false;
        }
    }
    ~SpawnSetup() {
        if (!ok_) return;
        posix_spawnattr_destroy(&attr_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // stdout_fd >= 0 becomes the child's standard output. Every descriptor above 2 is closed in
    // the child, whether or not its owner asked for close-on-exec. Signals the runtime may block
    // or ignore (a broken pipe on a socket, for one) are back to their defaults in the child.
    bool prepare(int stdout_fd) {
        if (!ok_) return false;
        if (stdout_fd >= 0 && posix_spawn_file_actions_adddup2(&actions_, stdout_fd, STDOUT_FILENO) != 0) return false;
        if (posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) != 0) return false;
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM, SIGXFSZ}) {
            sigaddset(&defaults, sig);
        }
        return posix_spawnattr_setsigmask(&attr_, &none) == 0 &&
               posix_spawnattr_setsigdefault(&attr_, &defaults) == 0 &&
               posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    }

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attr() const { return &attr_; }

private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attr_{};
    bool ok_ = false;
};

ChildProcess spawn_with_stdout(const std::vector<std::string>& argv, int stdout_fd) {
    platform_process_reap_finished();
    if (argv.empty() || argv[0].empty()) return ChildProcess{};
    SpawnSetup setup;
    if (!setup.prepare(stdout_fd)) return ChildProcess{};
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    // glibc reports a failed exec (a missing program included) as the result of the spawn.
    if (posix_spawnp(&pid, args[0], setup.actions(), setup.attr(), args.data(), environ) != 0) return ChildProcess{};
    return ChildProcess{static_cast<int64_t>(pid)};
}

bool is_executable_file(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

ChildProcess platform_process_spawn(const std::vector<std::string>& argv) { return spawn_with_stdout(argv, -1); }

int32_t platform_process_wait(ChildProcess child) {
    if (!child.started()) return -1;
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(static_cast<pid_t>(child.id), &status, 0);
    } while (result < 0 && errno == EINTR);
    if (result != static_cast<pid_t>(child.id)) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

void platform_process_release(ChildProcess child) {
    if (!child.started()) return;
    ReleasedChildren& table = released_children();
    std::lock_guard<std::mutex> guard(table.lock);
    table.pids.push_back(static_cast<pid_t>(child.id));
}

void platform_process_reap_finished() {
    ReleasedChildren& table = released_children();
    std::lock_guard<std::mutex> guard(table.lock);
    auto gone = std::remove_if(table.pids.begin(), table.pids.end(), [](pid_t pid) {
        int status = 0;
        const pid_t result = ::waitpid(pid, &status, WNOHANG);
        // Ended and reaped now, or not (any more) a child of this process.
        return result == pid || (result < 0 && errno != EINTR);
    });
    table.pids.erase(gone, table.pids.end());
}

bool platform_process_capture(const std::vector<std::string>& argv, size_t max_output, CapturedRun& run) {
    run = CapturedRun{};
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    const ChildProcess child = spawn_with_stdout(argv, fds[1]);
    ::close(fds[1]);
    if (!child.started()) {
        ::close(fds[0]);
        return false;
    }
    // Read to the end even past the limit, so that the child never blocks on a full pipe.
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const size_t count = static_cast<size_t>(n);
        const size_t room = max_output - std::min(max_output, run.output.size());
        run.output.append(buf, std::min(count, room));
        if (count > room) run.overflowed = true;
    }
    ::close(fds[0]);
    run.exit_status = platform_process_wait(child);
    return true;
}

std::string platform_find_on_path(const std::string& name) {
    if (name.empty()) return std::string();
    if (name.find('/') != std::string::npos) return is_executable_file(name) ? name : std::string();
    std::string search;
    if (const char* path = std::getenv("PATH")) {
        search = path;
    } else {
        const size_t size = ::confstr(_CS_PATH, nullptr, 0);
        if (size > 0) {
            search.assign(size, '\0');
            ::confstr(_CS_PATH, search.data(), size);
            search.resize(size - 1);
        }
    }
    size_t start = 0;
    for (;;) {
        const size_t colon = search.find(':', start);
        const std::string dir = search.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (is_executable_file(candidate)) return candidate;
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return std::string();
}

}  // namespace rt
