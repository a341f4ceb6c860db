// A small game on the runtime's own entry that writes files back under injected faults, steered
// by FAULT_* variables: one version of a settings file, line-store file, channel file (mode 0) or
// file_copy destination, written once, in an endless loop, or held until a signal ends the game.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/runtime.h"

// FAULT_KIND     settings | lines | channel | copy | log | alive
// FAULT_ACTION   once (default): version FAULT_GEN, written back through the end sequence
//                  (settings, lines) or at once (channel, copy), then program_end
//                loop: "ready", then versions 1, 0, 1, ... written back one after another, forever,
//                  before start-up
//                hang: settings version FAULT_GEN held unsaved, "ready", frames until a signal
// FAULT_TARGET   the file written (absolute: the runtime starts in the executable's folder)
// FAULT_SOURCE0, FAULT_SOURCE1   copy: the source of version 0 and 1
// FAULT_SHAPE    "count,per,bytes0,bytes1": settings count sections of per keys, lines count
//                lines, channel count chunks; each value, line or chunk bytes0 (version 0) or
//                bytes1 (version 1) long
// FAULT_NOFILE=1 every descriptor taken (RLIMIT_NOFILE lowered and filled) before the write-back
// FAULT_GO       log: the file whose appearance lets the probe log its lines and end
// Prints "ready", "ending" (quit hook), "result N" (what file_open / file_copy returned) and
// "error N" (the error code after that call).

namespace {

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool env_is(const char* name, const char* value) { return std::strcmp(env(name), value) == 0; }

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

struct Shape {
    int count = 1;
    int per = 1;
    int bytes[2] = {16, 16};
};

Shape shape_from_env() {
    Shape shape;
    std::sscanf(env("FAULT_SHAPE"), "%d,%d,%d,%d", &shape.count, &shape.per, &shape.bytes[0], &shape.bytes[1]);
    return shape;
}

// The text of one value, line or chunk: a prefix naming it, filled to len bytes with one letter.
// fault_injection_test.cpp builds the expected files from the same rule.
std::string fill_text(int gen, int a, int b, int len) {
    std::string text = "g" + std::to_string(gen) + "." + std::to_string(a) + "." + std::to_string(b) + ":";
    const char letter = static_cast<char>('a' + (gen * 7 + a * 3 + b) % 26);
    while (static_cast<int>(text.size()) < len) text.push_back(letter);
    return text;
}

// Lowers the descriptor limit to 64 and opens descriptors until none is left below it; the
// descriptors stay open until the process ends.
void take_every_descriptor() {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    limit.rlim_cur = 64;
    setrlimit(RLIMIT_NOFILE, &limit);
    for (int i = 0; i < 64 && dup(2) >= 0; ++i) {
    }
}

void report(const char* what, bool result) {
    say(std::string("result ") + (result ? "1" : "0") + " " + what);
    say("error " + std::to_string(std::atoi(error_text().c_str())));
}

void settings_version(const std::string& target, const Shape& shape, int gen) {
    settings_open(RtString(target.c_str()));
    for (int s = 0; s < shape.count; ++s) {
        const std::string section = "s" + std::to_string(s);
        for (int k = 0; k < shape.per; ++k) {
            const std::string key = "k" + std::to_string(k);
            settings_put(RtString(section.c_str()), RtString(key.c_str()),
                         RtString(fill_text(gen, s, k, shape.bytes[gen]).c_str()));
        }
    }
}

void lines_version(const std::string& target, const Shape& shape, int gen) {
    for (int i = 0; i < shape.count; ++i) {
        line_store_write(RtString(target.c_str()), i, RtString(fill_text(gen, i, 0, shape.bytes[gen]).c_str()));
    }
}

// Opens channel 0 for writing (mode 0) and writes the version chunk by chunk; false when the open
// is refused. A write that fails ends the program (code 3).
bool channel_version(const std::string& target, const Shape& shape, int gen, bool keep_open) {
    const bool opened = file_open(0, RtString(target.c_str()), 0);
    if (!opened) return false;
    for (int c = 0; c < shape.count; ++c) file_write_text(0, RtString(fill_text(gen, c, 0, shape.bytes[gen]).c_str()));
    if (!keep_open) file_close(0);
    return true;
}

bool copy_version(int gen) {
    const std::string target = env("FAULT_TARGET");
    const char* source = gen == 0 ? env("FAULT_SOURCE0") : env("FAULT_SOURCE1");
    return file_copy(RtString(source), RtString(target.c_str()));
}

[[noreturn]] void write_forever(const std::string& kind, const std::string& target, const Shape& shape) {
    say("ready");
    for (int gen = 1;; gen ^= 1) {
        if (kind == "settings") {
            settings_version(target, shape, gen);
            settings_open(RtString(""));
        } else if (kind == "lines") {
            lines_version(target, shape, gen);
            line_store_select(nullptr);
        } else if (kind == "channel") {
            channel_version(target, shape, gen, false);
        } else if (kind == "copy") {
            copy_version(gen);
        } else {
            program_end();
        }
    }
}

void wait_for_go() {
    const std::string go = env("FAULT_GO");
    for (int i = 0; i < 6000 && access(go.c_str(), F_OK) != 0; ++i) program_sleep(5);
}

double on_quit() {
    say("ending");
    // Settings and the line store are written back right after this hook, in the end sequence.
    if (env_is("FAULT_NOFILE", "1")) take_every_descriptor();
    return 0;
}

}  // namespace

const NamedFunction game_functions[] = {{on_quit, "VRN_ON_QUIT"}, {nullptr, nullptr}};

void game_configure() {
    startup_settings.window_title = "Fault probe";
    startup_settings.screen_width = 64;
    startup_settings.screen_height = 64;
    // The file layer works before start-up: the loop that is killed over and over runs here, so
    // that no run pays for a display it does not use (about 0.2 s each with a software GL).
    if (env_is("FAULT_ACTION", "loop")) write_forever(env("FAULT_KIND"), env("FAULT_TARGET"), shape_from_env());
}

int32_t game_main() {
    const std::string kind = env("FAULT_KIND");
    const std::string action = env("FAULT_ACTION");
    const std::string target = env("FAULT_TARGET");
    const Shape shape = shape_from_env();
    const int gen = env_is("FAULT_GEN", "0") ? 0 : 1;
    const bool no_files = env_is("FAULT_NOFILE", "1");

    if (kind == "alive") {
        say("alive");
    } else if (kind == "log") {
        say("ready");
        wait_for_go();
        for (int i = 0; i < 3; ++i) log_append("probe line");
    } else if (action == "hang") {
        settings_version(target, shape, gen);
        say("ready");
        for (;;) screen_present();
    } else if (kind == "settings") {
        settings_version(target, shape, gen);  // written back by the end sequence
    } else if (kind == "lines") {
        lines_version(target, shape, gen);  // written back by the end sequence
    } else if (kind == "channel") {
        if (no_files) take_every_descriptor();
        // Left open: the end sequence closes it.
        report("file_open", channel_version(target, shape, gen, true));
    } else if (kind == "copy") {
        if (no_files) take_every_descriptor();
        report("file_copy", copy_version(gen));
    }
    return 0;
}
