// Test helpers: temporary folders, whole-file reads, child processes for the fatal path.
#include "support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "runtime/core/globals.h"
#include "runtime/runtime.h"

namespace rt_test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/rt_test_XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> log_lines(const std::string& log_path) {
    std::vector<std::string> lines;
    std::string all = read_file(log_path);
    size_t pos = 0;
    while (pos < all.size()) {
        size_t end = all.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(all.substr(pos));
            break;
        }
        lines.push_back(all.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

int ChildResult::error_code() const {
    for (size_t i = 0; i + 1 < log.size(); ++i) {
        if (log[i] == "-End On Line") return std::atoi(log[i + 1].c_str());
    }
    return -1000;
}

ChildResult run_in_child(const std::function<void()>& body) {
    TempDir tmp;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        setenv("TMPDIR", tmp.path().c_str(), 1);
        startup_settings.debug_mode = 1;
        body();
        std::fflush(nullptr);
        _exit(77);
    }
    ChildResult result;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) {
        result.exited = WIFEXITED(status);
        result.exit_code = result.exited ? WEXITSTATUS(status) : -1;
        result.returned = result.exited && result.exit_code == 77;
    }
    result.log = log_lines(tmp.file("ErrorLog.txt"));
    return result;
}

DebugCapture::DebugCapture(int present) {
    rt::globals.debug.present_override = present;
    rt::globals.debug.sink = [](const char* text, void* self) {
        static_cast<DebugCapture*>(self)->lines.emplace_back(text);
    };
    rt::globals.debug.sink_context = this;
}

DebugCapture::~DebugCapture() { rt::globals.debug = rt::DebugChannel{}; }

ProgramResult run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env_overrides,
                          const std::string& working_dir, int timeout_s) {
    ProgramResult result;
    int pipefd[2];
    if (pipe(pipefd) != 0) return result;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        close(pipefd[0]);
        close(pipefd[1]);
        return result;
    }
    if (pid == 0) {
        dup2(pipefd[1], 1);
        dup2(pipefd[1], 2);
        close(pipefd[0]);
        close(pipefd[1]);
        if (!working_dir.empty() && chdir(working_dir.c_str()) != 0) _exit(126);
        for (const std::string& kv : env_overrides) {
            size_t eq = kv.find('=');
            if (eq == std::string::npos) {
                unsetenv(kv.c_str());
            } else {
                setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
            }
        }
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipefd[1]);
    fcntl(pipefd[0], F_SETFL, O_NONBLOCK);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
    int status = 0;
    bool done = false;
    char buf[4096];
    while (!done) {
        pollfd pfd{pipefd[0], POLLIN, 0};
        poll(&pfd, 1, 50);
        ssize_t n;
        while ((n = read(pipefd[0], buf, sizeof buf)) > 0) result.output.append(buf, static_cast<size_t>(n));
        pid_t w = waitpid(pid, &status, WNOHANG);
        if (w == pid) {
            done = true;
        } else if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            done = true;
        }
    }
    ssize_t n;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0) result.output.append(buf, static_cast<size_t>(n));
    close(pipefd[0]);
    result.exited = WIFEXITED(status);
    result.exit_code = result.exited ? WEXITSTATUS(status) : -1;
    return result;
}

std::string test_program_path(const std::string& name) { return std::string(RT_TEST_PROGRAM_DIR) + "/" + name; }

mode_t kind_of(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

std::string long_name_in(const std::string& folder) {
    std::string path = folder;
    while (path.size() < 1100) {
        path += "/" + std::string(200, 'd');
        mkdir(path.c_str(), 0700);
    }
    return path + "/f";
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
}

FileSizeLimit::~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, old_handler_);
}

}  // namespace rt_test
