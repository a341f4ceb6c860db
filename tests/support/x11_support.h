// Helpers for tests under a real X server: a private Xvfb, polling with generous time-outs, and
// running X tools (xdotool, xwininfo) against that server.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace rt_test {

// Polls condition every 50 ms for up to patience (30 s unless given); its last answer.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds patience = std::chrono::seconds(30));

// s without trailing line ends and blanks.
std::string trimmed(std::string s);

// A private X server on a display number the server picks itself (-displayfd); stopped at the end.
// It does not reset when its last client leaves, so programs may come and go one after another.
class Xvfb {
public:
    Xvfb();
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    // ":N", or empty when the server did not start.
    const std::string& display() const { return display_; }

    // Runs a tool against this server; its standard output (and error).
    std::string tool(const std::vector<std::string>& argv) const;
    // xdotool keydown, a pause, keyup: a press that lasts over several frames.
    void press(const std::string& keys) const;
    // "x y width height" of a window's client area, from xwininfo.
    std::string geometry(const std::string& window) const;

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace rt_test
