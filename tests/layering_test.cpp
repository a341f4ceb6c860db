// The shape of the runtime, read from its sources: which folders may include which, that only the
// platform layer sees SDL, libmpv and the operating system, and that the game's one header reaches
// commands only. A new include that breaks the shape fails here with the file and the line.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kRuntime = fs::path(RT_SOURCE_DIR) / "runtime";

// Subsystems reach each other only through core, which coordinates them.
const std::set<std::string> kSubsystems = {"files", "input", "gfx2d", "sound", "net", "path", "gfx3d"};
// What every folder may use besides itself: the value types, arrays, the platform layer and
// core's shared helpers (error state, log, clock).
const std::set<std::string> kShared = {"values", "arrays", "platform"};
const std::set<std::string> kCoreShared = {"core/errors.h", "core/clock.h", "core/file_bytes.h"};
// Headers of internals beside the commands headers of their folders (services end in _service.h).
const std::set<std::string> kInternalHeaders = {
    "runtime/core/globals.h",         "runtime/core/core_service.h",
    "runtime/files/file_reader.h",    "runtime/files/pack.h",
    "runtime/files/memory_files.h",   "runtime/files/resolver.h",
    "runtime/files/settings_table.h", "runtime/files/line_store_table.h",
    "runtime/files/name_order.h",     "runtime/files/platform_queries.h",
    "runtime/gfx2d/gl_extensions.h",  "runtime/gfx2d/gl_entry_points.h",
    "runtime/gfx2d/picture_codec.h",  "runtime/gfx2d/sprite_store.h",
};

struct Include {
    std::string target;  // "runtime/..." path, or the system header's name for <...>
    bool system = false;
    int line = 0;
};

// Skips blanks and tabs from at; the index of the first other character.
size_t skip_blanks(const std::string& text, size_t at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    return at;
}

std::vector<Include> includes_of(const fs::path& file) {
    std::vector<Include> out;
    std::ifstream in(file);
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        size_t at = skip_blanks(text, 0);
        if (at >= text.size() || text[at] != '#') continue;
        at = skip_blanks(text, at + 1);
        if (text.compare(at, 7, "include") != 0) continue;
        at = skip_blanks(text, at + 7);
        if (at >= text.size() || (text[at] != '<' && text[at] != '"')) continue;
        const char close = text[at] == '<' ? '>' : '"';
        const size_t end = text.find(close, at + 1);
        if (end == std::string::npos) continue;
        out.push_back({text.substr(at + 1, end - at - 1), close == '>', number});
    }
    return out;
}

// "gfx2d" for runtime/gfx2d/display.cpp; "" for runtime/runtime.h.
std::string folder_of(const fs::path& file) {
    fs::path relative = fs::relative(file, kRuntime);
    return relative.has_parent_path() ? relative.begin()->string() : std::string();
}

std::vector<fs::path> runtime_files() {
    std::vector<fs::path> out;
    for (const auto& entry : fs::recursive_directory_iterator(kRuntime)) {
        std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".h" || ext == ".cpp")) out.push_back(entry.path());
    }
    return out;
}

std::string where(const fs::path& file, const Include& inc) {
    return fs::relative(file, kRuntime.parent_path()).string() + ":" + std::to_string(inc.line) + " includes " +
           inc.target;
}

bool is_platform_system_header(const std::string& name) {
    static const char* const kFolders[] = {"SDL2/", "SDL/", "mpv/", "sys/", "netinet/", "arpa/", "X11/"};
    static const std::set<std::string> kHeaders = {"unistd.h", "fcntl.h",   "dirent.h", "dlfcn.h",
                                                   "signal.h", "pthread.h", "pwd.h",    "poll.h",
                                                   "netdb.h",  "sched.h",   "spawn.h",  "termios.h"};
    for (const char* folder : kFolders) {
        if (name.rfind(folder, 0) == 0) return true;
    }
    return kHeaders.count(name) != 0;
}

bool is_word_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

// The first system type the code names: SDL_* and _SDL_* names, mpv_* names, and a few POSIX
// types. "" when there is none.
std::string platform_type_in(const std::string& code) {
    for (size_t at = 0; at < code.size(); ++at) {
        if (at > 0 && is_word_char(code[at - 1])) continue;  // only at the start of a word
        size_t end = at;
        while (end < code.size() && is_word_char(code[end])) ++end;
        const std::string word = code.substr(at, end - at);
        const bool sdl = word.rfind("SDL_", 0) == 0 || word.rfind("_SDL_", 0) == 0;
        if (sdl || word.rfind("mpv_", 0) == 0 || word == "mode_t" || word == "DIR" || word == "pid_t") return word;
        const size_t after = end + 5;
        if (word == "struct" && code.compare(end, 5, " stat") == 0 &&
            (after == code.size() || !is_word_char(code[after]))) {
            return "struct stat";
        }
    }
    return std::string();
}

// The faults one per line under a heading.
std::string listing(const std::string& heading, const std::vector<std::string>& faults) {
    std::string text = heading + ":\n";
    for (const std::string& f : faults) text += "  " + f + "\n";
    return text;
}

}  // namespace

TEST(Layering, SubsystemsReachTheirNeighboursOnlyThroughCore) {
    std::vector<std::string> faults;
    for (const fs::path& file : runtime_files()) {
        const std::string from = folder_of(file);
        for (const Include& inc : includes_of(file)) {
            if (inc.system || inc.target.rfind("runtime/", 0) != 0) continue;
            const std::string target = inc.target.substr(8);
            const std::string to = target.substr(0, target.find('/'));
            if (to == from || from == "core" || from.empty()) continue;
            bool allowed = false;
            if (from == "platform") {
                allowed = false;  // the platform layer stands alone
            } else if (kShared.count(to) != 0) {
                allowed = true;
            } else if (to == "core") {
                allowed = kCoreShared.count(target) != 0;
            }
            if (!allowed) faults.push_back(where(file, inc));
        }
    }
    EXPECT_TRUE(faults.empty()) << listing("back-edges between folders", faults);
}

TEST(Layering, OnlyThePlatformLayerSeesSdlMpvAndTheSystem) {
    std::vector<std::string> faults;
    for (const fs::path& file : runtime_files()) {
        const bool platform = folder_of(file) == "platform";
        for (const Include& inc : includes_of(file)) {
            if (inc.system && is_platform_system_header(inc.target) && !(platform && file.extension() == ".cpp")) {
                faults.push_back(where(file, inc));
            }
        }
        if (!platform || file.extension() != ".h") continue;
        // The platform's headers hand out the runtime's own types only (comments aside).
        std::ifstream in(file);
        std::string text;
        for (int number = 1; std::getline(in, text); ++number) {
            std::string code = text.substr(0, text.find("//"));
            const std::string type = platform_type_in(code);
            if (!type.empty()) {
                faults.push_back(fs::relative(file, kRuntime.parent_path()).string() + ":" + std::to_string(number) +
                                 " names " + type);
            }
        }
    }
    EXPECT_TRUE(faults.empty()) << listing("system types or headers outside the platform layer", faults);
}

TEST(Layering, TheGameHeaderReachesCommandsOnly) {
    // Everything runtime.h pulls in, followed through the runtime's own headers.
    std::set<std::string> seen;
    std::vector<std::string> open = {"runtime/runtime.h"};
    std::vector<std::string> faults;
    while (!open.empty()) {
        std::string header = open.back();
        open.pop_back();
        if (!seen.insert(header).second) continue;
        for (const Include& inc : includes_of(kRuntime.parent_path() / header)) {
            const std::string& t = inc.target;
            if (inc.system) {
                if (t.rfind("GL/", 0) == 0 || is_platform_system_header(t))
                    faults.push_back(header + " includes <" + t + ">");
                continue;
            }
            if (t.rfind("runtime/", 0) != 0) continue;
            const bool internal = t.rfind("runtime/platform/", 0) == 0 || t.find("_service.h") != std::string::npos ||
                                  kInternalHeaders.count(t) != 0;
            if (internal) faults.push_back(header + " includes " + t);
            open.push_back(t);
        }
    }
    EXPECT_TRUE(faults.empty()) << listing("internals reachable from runtime/runtime.h", faults);
}
