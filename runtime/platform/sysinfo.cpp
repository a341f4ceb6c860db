// POSIX stand-ins for the directory, library, volume, environment and time queries of the file
// services.
#include "runtime/platform/sysinfo.h"

#include <dirent.h>
#include <dlfcn.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "runtime/platform/fs.h"

extern char** environ;

namespace rt {

namespace {

class DirHandle {
public:
    explicit DirHandle(const char* path) : dir_(::opendir(path)) {}
    ~DirHandle() {
        if (dir_ != nullptr) ::closedir(dir_);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    DIR* get() const { return dir_; }

private:
    DIR* dir_;
};

bool entry_is_directory(int dir_fd, const struct dirent* entry) {
    if (entry->d_type == DT_DIR) return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) return false;
    // Links are followed; a dangling one is a plain entry.
    struct stat st;
    if (::fstatat(dir_fd, entry->d_name, &st, 0) != 0) return false;
    return S_ISDIR(st.st_mode);
}

}  // namespace

bool platform_list_directory(const std::string& path, std::vector<PlatformDirEntry>& out) {
    out.clear();
    DirHandle dir(path.c_str());
    if (dir.get() == nullptr) return false;
    const int fd = ::dirfd(dir.get());
    for (;;) {
        errno = 0;
        const struct dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) break;
        out.push_back(PlatformDirEntry{entry->d_name, entry_is_directory(fd, entry)});
    }
    return true;
}

PlatformLibrary::~PlatformLibrary() {
    if (handle_ != nullptr) ::dlclose(handle_);
}

PlatformLibrary& PlatformLibrary::operator=(PlatformLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) ::dlclose(handle_);
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

PlatformLibrary PlatformLibrary::open(const std::string& name) {
    if (name.empty()) return PlatformLibrary();
    // Local binding: one module's symbols do not resolve another's references.
    return PlatformLibrary(::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL));
}

void* PlatformLibrary::symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return ::dlsym(handle_, name);
}

bool platform_volume_id(const std::string& path, uint32_t& out) {
    struct statvfs st;
    if (::statvfs(path.c_str(), &st) != 0) return false;
    const uint64_t fsid = st.f_fsid;
    out = static_cast<uint32_t>(fsid) ^ static_cast<uint32_t>(fsid >> 32);
    return true;
}

bool platform_read_small_file(const std::string& path, size_t max_bytes, std::string& out) {
    out.clear();
    PlatformFile file = platform_file_open(path.c_str(), FileOpenMode::kRead);
    if (!file) return false;
    PlatformFileInfo info;
    // Only regular files: a fifo or device named by a config file must not block or stream.
    if (!platform_file_info(file, info) || !info.is_regular) return false;
    char buf[4096];
    while (out.size() < max_bytes) {
        const size_t want = std::min(sizeof buf, max_bytes - out.size());
        const int64_t n = platform_file_read(file, buf, want);
        if (n < 0) return false;
        if (n == 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return true;
}

std::string platform_home_dir() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd pw;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr) {
        return std::string();
    }
    return found->pw_dir;
}

bool platform_env_get(const char* name, std::string& out) {
    const char* value = std::getenv(name);
    if (value == nullptr) return false;
    out = value;
    return true;
}

bool platform_env_set(const char* name, const char* value) {
    if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr) return false;
    if (value == nullptr || *value == '\0') return ::unsetenv(name) == 0;
    return ::setenv(name, value, 1) == 0;
}

std::vector<std::string> platform_env_entries() {
    std::vector<std::string> out;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) out.emplace_back(*entry);
    return out;
}

PlatformLocalTime platform_local_time() {
    const time_t now = ::time(nullptr);
    ::tzset();  // follow TZ when the game changed it since the last call
    struct tm parts;
    if (::localtime_r(&now, &parts) == nullptr) return PlatformLocalTime{1970, 1, 1, 0, 0, 0};
    return PlatformLocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                             parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

}  // namespace rt
