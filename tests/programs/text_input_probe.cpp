// A small game on the runtime's own entry for the line-input test: it edits a text preset from
// TEXT_PROBE_PRESET with text_input and writes the result to TEXT_PROBE_RESULT. While the input
// runs, every window message writes the text so far to TEXT_PROBE_PROGRESS.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/core/text_input.h"
#include "runtime/runtime.h"

namespace {

// The variable the input edits; the message hook reads it between passes.
RtString g_text;

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Replaces the file at once, so a reader never sees half a text.
void file_replace(const std::string& path, const RtString& text) {
    if (path.empty()) return;
    std::string tmp = path + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return;
    std::fwrite(text.c_str(), 1, text.length(), f);
    std::fclose(f);
    std::rename(tmp.c_str(), path.c_str());
}

double on_message() {
    file_replace(env("TEXT_PROBE_PROGRESS"), g_text);
    return 0;
}

}  // namespace

const NamedFunction game_functions[] = {{on_message, "VRN_WIN32_MSG"}, {nullptr, nullptr}};

void game_configure() { startup_settings.window_title = "TextInputProbe"; }

int32_t game_main() {
    g_text = env("TEXT_PROBE_PRESET");
    log_append("running");
    text_input(g_text, 20, 30);
    file_replace(env("TEXT_PROBE_RESULT"), g_text);
    log_append("done");
    return 0;
}
