// A private Xvfb and the X tools run against it.
#include "support/x11_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/test_support.h"

namespace rt_test {

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(30);
}  // namespace

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds patience) {
    auto deadline = Clock::now() + patience;
    while (Clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

Xvfb::Xvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        int null_fd = ::open("/dev/null", O_WRONLY);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        std::string fd = std::to_string(fds[1]);
        // Without -noreset the server resets when its last client disconnects, and a program
        // connecting at that moment fails.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buf[32];
            ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            number.append(buf, static_cast<size_t>(n));
        }
    }
    close(fds[0]);
    if (number.find('\n') != std::string::npos) display_ = ":" + trimmed(number);
}

Xvfb::~Xvfb() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

std::string Xvfb::tool(const std::vector<std::string>& argv) const {
    std::vector<std::string> full = {"/usr/bin/env"};
    full.insert(full.end(), argv.begin(), argv.end());
    return run_program(full, {"DISPLAY=" + display_}, "", 30).output;
}

void Xvfb::press(const std::string& keys) const {
    tool({"xdotool", "keydown", keys});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    tool({"xdotool", "keyup", keys});
}

std::string Xvfb::geometry(const std::string& window) const {
    std::string info = tool({"xwininfo", "-id", window});
    std::string out;
    for (const char* key : {"Absolute upper-left X:", "Absolute upper-left Y:", "Width:", "Height:"}) {
        size_t at = info.find(key);
        if (at == std::string::npos) return "missing " + std::string(key);
        out += std::to_string(std::atoi(info.c_str() + at + std::string(key).size())) + " ";
    }
    return trimmed(out);
}

}  // namespace rt_test
