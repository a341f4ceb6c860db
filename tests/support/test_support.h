// Helpers shared by the test suites: temporary folders, file contents, and running code that
// ends the program (the fatal path) in a child process.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

namespace rt_test {

// A fresh folder under the system temporary directory, removed with its contents at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);

// The log's lines (CR LF ends removed); empty when there is no log.
std::vector<std::string> log_lines(const std::string& log_path);

// What a child process left behind when it ran code that may end the program.
struct ChildResult {
    bool exited = false;        // left through exit(), not killed by a signal
    int exit_code = -1;
    bool returned = false;      // the code ran to its end without ending the program
    std::vector<std::string> log;  // the child's ErrorLog.txt, one entry per line
    int error_code() const;     // the error code of the end lines (debug mode), or -1000
};

// Runs body in a forked child with TMPDIR pointing at a private folder and debug_mode set, so that
// program_end writes its end lines. The child ends through program_end (exit code 0) or, when body
// returns, with exit code 77.
ChildResult run_in_child(const std::function<void()>& body);

// Captures the debugger channel for its lifetime; present = 1 makes a debugger count as
// attached, 0 as absent.
class DebugCapture {
public:
    explicit DebugCapture(int present);
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;
    std::vector<std::string> lines;
};

// Runs a program and waits for it (at most timeout_s seconds, then it is killed).
// Returns the exit status as from waitpid, or -1 when it could not start.
struct ProgramResult {
    bool exited = false;
    int exit_code = -1;
    std::string output;  // standard output and standard error together
};
ProgramResult run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env_overrides,
                          const std::string& working_dir, int timeout_s = 60);

// Where the test programs (tests/programs/*.cpp) are built.
std::string test_program_path(const std::string& name);

// The kind of what path names, links not followed (S_IFREG, S_IFLNK, ...); 0 when nothing is there.
mode_t kind_of(const std::string& path);

// A file under a path of at least 1024 bytes, which the file layer does not take as a name (the
// folders are made; the file is not).
std::string long_name_in(const std::string& folder);

// Lowers the largest file this process may write to bytes (a full disk, seen from the writer),
// with the signal that would end the process ignored; both restored at the end.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    sighandler_t old_handler_ = SIG_DFL;
};

}  // namespace rt_test
