// Fuzzes the reading of a user-dirs.dirs file for the documents folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "runtime/files/platform_queries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view config(reinterpret_cast<const char*>(data), size);
    const auto dir = rt::user_dirs_documents(config, "/home/user");
    // Whatever it names is an absolute path.
    if (dir && !dir->empty() && (*dir)[0] != '/') std::abort();
    rt::user_dirs_documents(config, "");
    return 0;
}
