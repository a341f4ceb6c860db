// The command line, other programs (split into words as a shell would, started without a shell),
// the desktop's opener, the file dialogs (zenity, else kdialog) and the thread commands.
#include "runtime/core/process.h"

#include <new>
#include <type_traits>

#include "runtime/core/errors.h"
#include "runtime/core/globals.h"
#include "runtime/core/lifecycle.h"
#include "runtime/core/screen_mode.h"
#include "runtime/core/shell_words.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/platform/os.h"
#include "runtime/platform/process.h"
#include "runtime/platform/threads.h"

static_assert(std::is_same_v<ThreadFunction, rt::ThreadFunction>);

namespace rt {
namespace {

// A dialog answers with one path; anything longer is not a usable answer.
constexpr size_t kDialogOutputLimit = 64 * 1024;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string trimmed(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && is_blank(text[first])) ++first;
    while (last > first && is_blank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const std::string& part : parts) {
        if (!out.empty()) out += separator;
        out += part;
    }
    return out;
}

// One entry of a file dialog's filter list.
struct DialogFilter {
    std::string name;                   // the patterns joined by blanks when the name is empty
    std::vector<std::string> patterns;  // "*.*" becomes "*": every file
};
// Reads a filter list: name, "|", patterns, "|", name, ...; patterns are separated by ";" and
// trimmed of blanks. Entries without a pattern are left out.
std::vector<DialogFilter> dialog_filters_parse(const char* filter) {
    std::vector<DialogFilter> entries;
    const std::vector<std::string> fields = split(filter, '|');
    for (size_t i = 0; i + 1 < fields.size(); i += 2) {
        DialogFilter entry;
        for (const std::string& raw : split(fields[i + 1], ';')) {
            const std::string pattern = trimmed(raw);
            if (pattern.empty()) continue;
            entry.patterns.push_back(pattern == "*.*" ? std::string("*") : pattern);
        }
        if (entry.patterns.empty()) continue;
        entry.name = trimmed(fields[i]);
        if (entry.name.empty()) entry.name = joined(entry.patterns, " ");
        entries.push_back(std::move(entry));
    }
    return entries;
}

// The dialog program's arguments, or none when neither dialog program is on PATH.
std::vector<std::string> dialog_command(bool open, const char* filter, const std::string& start_dir) {
    const std::vector<DialogFilter> filters = dialog_filters_parse(filter);
    std::string program = platform_find_on_path("zenity");
    if (!program.empty()) {
        std::vector<std::string> argv{program, "--file-selection"};
        if (!open) {
            argv.emplace_back("--save");
            argv.emplace_back("--confirm-overwrite");
        }
        if (!start_dir.empty()) argv.push_back("--filename=" + start_dir + "/");
        for (const DialogFilter& entry : filters) {
            argv.push_back("--file-filter=" + entry.name + " | " + joined(entry.patterns, " "));
        }
        return argv;
    }
    program = platform_find_on_path("kdialog");
    if (program.empty()) return {};
    std::vector<std::string> argv{program, open ? "--getopenfilename" : "--getsavefilename",
                                  start_dir.empty() ? std::string(".") : start_dir};
    // kdialog's filter: one "patterns|name" line per entry.
    std::vector<std::string> lines;
    for (const DialogFilter& entry : filters) lines.push_back(joined(entry.patterns, " ") + "|" + entry.name);
    if (!lines.empty()) argv.push_back(joined(lines, "\n"));
    return argv;
}

// The path the dialog printed, "/" for every "\"; "" when it was cancelled or answered nonsense.
std::string dialog_answer(const CapturedRun& run) {
    if (run.exit_status != 0 || run.overflowed) return std::string();
    std::string path = run.output;
    if (!path.empty() && path.back() == '\n') path.pop_back();
    if (!path.empty() && path.back() == '\r') path.pop_back();
    if (path.find('\0') != std::string::npos) return std::string();
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

std::string file_dialog_run(bool open, const char* filter) {
    const std::string start_dir = platform_current_dir();
    const std::vector<std::string> argv = dialog_command(open, filter, start_dir);
    if (argv.empty()) return std::string();

    DuraVUZododivi* display = display_service();
    if (display) display->display_hide();
    CapturedRun run;
    const bool started = platform_process_capture(argv, kDialogOutputLimit, run);
    if (!start_dir.empty()) platform_set_current_dir(start_dir);
    if (display) {
        if (startup_settings.fullscreen == 0) {
            display->display_set_windowed();
        } else {
            screen_mode_set(startup_settings.screen_width, startup_settings.screen_height, 1);
        }
    }
    return started ? dialog_answer(run) : std::string();
}

}  // namespace

bool shell_words(const char* text, std::vector<std::string>& words) {
    words.clear();
    std::string word;
    bool in_word = false;  // distinguishes an empty quoted word from no word
    const char* p = text;
    while (*p != '\0') {
        const char c = *p;
        if (is_blank(c)) {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
            ++p;
            continue;
        }
        in_word = true;
        if (c == '\\') {
            ++p;
            if (*p == '\0') {
                word += '\\';  // a backslash that ends the text stays itself
                break;
            }
            word += *p++;
        } else if (c == '\'') {
            const char* end = ++p;
            while (*end != '\0' && *end != '\'') ++end;
            if (*end == '\0') {
                words.clear();
                return false;
            }
            word.append(p, end);
            p = end + 1;
        } else if (c == '"') {
            ++p;
            for (;;) {
                if (*p == '\0') {
                    words.clear();
                    return false;
                }
                if (*p == '"') {
                    ++p;
                    break;
                }
                if (*p == '\\' && (p[1] == '"' || p[1] == '\\' || p[1] == '$' || p[1] == '`')) ++p;
                word += *p++;
            }
        } else {
            word += c;
            ++p;
        }
    }
    if (in_word) words.push_back(std::move(word));
    return true;
}

}  // namespace rt

RtString command_line_get() { return rt::globals.core.command_line; }

double program_run(RtString& command, double wait, double show, double& exit_code) {
    // Showing or hiding the new program's window has no counterpart here: a program opens its
    // windows as it likes.
    static_cast<void>(show);
    exit_code = 0;
    try {
        command.reserve(1024, true);
        std::vector<std::string> argv;
        const bool parsed = rt::shell_words(command.c_str(), argv);
        command.sync_length();
        if (!parsed || argv.empty()) return 0;
        const rt::ChildProcess child = rt::platform_process_spawn(argv);
        if (!child.started()) return 0;
        if (wait != 0) {
            const int32_t status = rt::platform_process_wait(child);
            if (status >= 0) exit_code = status;
        } else {
            rt::platform_process_release(child);
        }
        return 1;
    } catch (const std::bad_alloc&) {
        error_code_set(kErrOutOfMemory);
        return 0;
    }
}

void program_run_and_exit(const RtString& command) {
    runtime_shutdown();
    RtString copy = command;
    double exit_code = 0;
    program_run(copy, 0, 1, exit_code);
    rt::platform_exit(0);
}

void shell_open_and_exit(const RtString& target) {
    runtime_shutdown();
    try {
        // The opener runs on after this process has gone; nobody waits for it.
        rt::platform_process_release(rt::platform_process_spawn({"xdg-open", target.c_str()}));
    } catch (const std::bad_alloc&) {
    }
    program_end();
}

RtString file_dialog(RtString& result, int32_t open, const RtString& filter) {
    std::string chosen;
    try {
        chosen = rt::file_dialog_run(open != 0, filter.c_str());
    } catch (const std::bad_alloc&) {
        chosen.clear();
    }
    if (chosen.empty()) {
        result = "NO_FILE";
    } else {
        result = RtString(chosen.data(), static_cast<uint32_t>(chosen.size()));
    }
    return result;
}

intptr_t thread_create(ThreadFunction function, intptr_t argument, int32_t keep) {
    return rt::platform_thread_start(function, argument, keep != 0);
}

int32_t thread_join(intptr_t handle, intptr_t* exit_code) { return rt::platform_thread_join(handle, exit_code); }

int32_t thread_join(intptr_t handle, double& exit_code) {
    intptr_t code = 0;
    const int32_t result = rt::platform_thread_join(handle, &code);
    if (result == 0) exit_code = static_cast<double>(code);
    return result;
}

void thread_yield() { rt::platform_thread_yield(); }

void thread_sleep(int32_t milliseconds) { rt::platform_sleep_ms(milliseconds); }
