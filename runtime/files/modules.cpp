// The module table: outside shared libraries loaded for declared functions.
#include "runtime/files/modules.h"

#include <cstring>
#include <string>

#include "runtime/core/errors.h"
#include "runtime/files/file_service.h"
#include "runtime/platform/os.h"
#include "runtime/platform/sysinfo.h"

namespace rt {
namespace {

std::string with_forward_slashes(const char* name) {
    std::string out(name);
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

// The name as given (the system's library search), then, for a bare name, the executable's
// folder, where a game ships its own modules.
PlatformLibrary load_by_name(const std::string& name) {
    PlatformLibrary library = PlatformLibrary::open(name);
    if (library || name.find('/') != std::string::npos) return library;
    std::string exe = platform_executable_path();
    const size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return library;
    return PlatformLibrary::open(exe.substr(0, slash + 1) + name);
}

}  // namespace

void module_table_release() {
    ModuleTable& table = file_service().modules_;
    if (!table.requested_) return;
    // Latest first, so that a module loaded after another (and perhaps using it) goes first.
    while (!table.handles_.empty()) table.handles_.pop_back();
    table.names_.clear();
    table.requested_ = false;
}

}  // namespace rt

void module_function_resolve(RtString& module, const char* function, void*& out) {
    rt::ModuleTable& table = rt::file_service().modules_;
    table.requested_ = true;
    out = nullptr;

    const std::string given(module.c_str());
    if (module.length() > 0) string_to_lower_in_place(module.writable_buffer(module.length()), module.length());

    size_t index = 0;
    while (index < table.names_.size() && std::strcmp(table.names_[index].c_str(), module.c_str()) != 0) ++index;
    if (index == table.names_.size()) {
        rt::PlatformLibrary library = rt::load_by_name(rt::with_forward_slashes(module.c_str()));
        // Library names are case-sensitive here: a name with capitals is tried as written too.
        if (!library && given != module.c_str()) library = rt::load_by_name(rt::with_forward_slashes(given.c_str()));
        if (!library) {
            RtString message("DECLARE module not found: ");
            message.append(module);
            message.append("\n");
            debug_print(message);
            return;
        }
        table.handles_.push_back(std::move(library));
        table.names_.push_back(module);
    }
    out = table.handles_[index].symbol(function);
}
