// Reading plain files whole: the readers loaders use until start-up gives them the file layer's.
#include "runtime/core/file_bytes.h"

#include <memory>
#include <vector>

#include "runtime/platform/fs.h"

namespace rt {

bool file_bytes_read_plain(const char* path, FileBytes& out) {
    out = FileBytes{};
    if (!path || !*path) return false;
    PlatformFile file = platform_file_open(path, FileOpenMode::kRead);
    PlatformFileInfo info;
    if (!file || !platform_file_info(file, info) || !info.is_regular) return false;
    constexpr int64_t kLimit = int64_t{1} << 30;
    if (info.size < 0 || info.size > kLimit) return false;
    auto bytes = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(info.size));
    size_t done = 0;
    while (done < bytes->size()) {
        int64_t n = platform_file_read(file, bytes->data() + done, bytes->size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    out.data = bytes->data();
    out.size = bytes->size();
    out.owner = std::move(bytes);
    return true;
}

}  // namespace rt
