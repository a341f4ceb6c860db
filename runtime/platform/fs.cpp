// POSIX stand-ins for the file services: descriptors, the one read loop and the one write loop
// (both resume after signals and short transfers), and path operations.
#include "runtime/platform/fs.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace rt {

struct PlatformFileAccess {
    static int descriptor(const PlatformFile& file) { return file.descriptor_; }
    static PlatformFile adopt(int descriptor) {
        PlatformFile file;
        file.descriptor_ = descriptor;
        return file;
    }
};

namespace {

int open_flags(FileOpenMode mode) {
    switch (mode) {
        case FileOpenMode::kRead:
            return O_RDONLY;
        case FileOpenMode::kWrite:
            return O_WRONLY;
        case FileOpenMode::kWriteCreate:
            return O_WRONLY | O_CREAT;
        case FileOpenMode::kWriteEmpty:
            return O_WRONLY | O_CREAT | O_TRUNC;
        case FileOpenMode::kReadWriteEmpty:
            return O_RDWR | O_CREAT | O_TRUNC;
        case FileOpenMode::kAppend:
            return O_WRONLY | O_CREAT | O_APPEND;
        case FileOpenMode::kAppendNoLink:
            return O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW;
        case FileOpenMode::kCreateNew:
            // O_EXCL alone already refuses an existing link; O_NOFOLLOW says so where it is read.
            return O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
    }
    return O_RDONLY;
}

// offset < 0: at the descriptor's own offset. Returns the bytes read; -1 when the system failed
// before any arrived.
int64_t read_all(int descriptor, void* dest, size_t count, int64_t offset) {
    if (descriptor < 0) return -1;
    char* p = static_cast<char*>(dest);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = offset < 0 ? ::read(descriptor, p + done, count - done)
                                     : ::pread(descriptor, p + done, count - done,
                                               static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return done > 0 ? static_cast<int64_t>(done) : -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

// offset < 0: at the descriptor's own offset.
bool write_all(int descriptor, const void* bytes, size_t count, int64_t offset) {
    if (descriptor < 0) return false;
    const char* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t n =
            offset < 0 ? ::write(descriptor, p, count) : ::pwrite(descriptor, p, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        count -= static_cast<size_t>(n);
        if (offset >= 0) offset += n;
    }
    return true;
}

void fill_info(const struct stat& st, PlatformFileInfo& out) {
    out.size = static_cast<int64_t>(st.st_size);
    out.is_regular = S_ISREG(st.st_mode);
    out.is_directory = S_ISDIR(st.st_mode);
    out.permissions = static_cast<uint32_t>(st.st_mode & 07777);
    out.names = static_cast<uint32_t>(st.st_nlink);
    out.owned = st.st_uid == ::geteuid();
}

}  // namespace

PlatformFile::~PlatformFile() { reset(); }

PlatformFile& PlatformFile::operator=(PlatformFile&& other) noexcept {
    if (this != &other) {
        reset();
        descriptor_ = other.descriptor_;
        other.descriptor_ = -1;
    }
    return *this;
}

void PlatformFile::reset() noexcept {
    // close is not retried after EINTR: the descriptor is released either way on Linux.
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
}

PlatformFile platform_file_open(const char* path, FileOpenMode mode, uint32_t permissions, PlatformOpenError* error) {
    if (error) *error = PlatformOpenError::kNone;
    if (path == nullptr || *path == '\0') {
        if (error) *error = PlatformOpenError::kMissing;
        return PlatformFile();
    }
    const int flags = open_flags(mode) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int descriptor;
    do {
        descriptor = ::open(path, flags, static_cast<mode_t>(permissions & 07777));
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0 && error) {
        switch (errno) {
            case ENOENT:
            case ENOTDIR:
            case ENAMETOOLONG:
            case ELOOP:
                *error = PlatformOpenError::kMissing;
                break;
            case EMFILE:
            case ENFILE:
            case ENOMEM:
            case EINTR:
            case EAGAIN:
                *error = PlatformOpenError::kTransient;
                break;
            default:
                *error = PlatformOpenError::kRefused;
                break;
        }
    }
    return PlatformFileAccess::adopt(descriptor);
}

int64_t platform_file_read_at(const PlatformFile& file, int64_t offset, void* dest, size_t count) {
    if (offset < 0) return -1;
    return read_all(PlatformFileAccess::descriptor(file), dest, count, offset);
}

int64_t platform_file_read(const PlatformFile& file, void* dest, size_t count) {
    return read_all(PlatformFileAccess::descriptor(file), dest, count, -1);
}

bool platform_file_write_at(const PlatformFile& file, int64_t offset, const void* bytes, size_t count) {
    if (offset < 0) return false;
    return write_all(PlatformFileAccess::descriptor(file), bytes, count, offset);
}

bool platform_file_write(const PlatformFile& file, const void* bytes, size_t count) {
    return write_all(PlatformFileAccess::descriptor(file), bytes, count, -1);
}

bool platform_file_info(const PlatformFile& file, PlatformFileInfo& out) {
    struct stat st;
    if (::fstat(PlatformFileAccess::descriptor(file), &st) != 0) return false;
    fill_info(st, out);
    return true;
}

bool platform_file_truncate(const PlatformFile& file, int64_t size) {
    int result;
    do {
        result = ::ftruncate(PlatformFileAccess::descriptor(file), static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool platform_file_sync(const PlatformFile& file) {
    int result;
    do {
        result = ::fsync(PlatformFileAccess::descriptor(file));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool platform_path_info(const char* path, PlatformFileInfo& out) {
    struct stat st;
    if (path == nullptr || ::stat(path, &st) != 0) return false;
    fill_info(st, out);
    return true;
}

bool platform_file_delete(const char* path) { return path != nullptr && ::unlink(path) == 0; }

bool platform_file_rename(const char* from, const char* to) {
    return from != nullptr && to != nullptr && std::rename(from, to) == 0;
}

bool platform_directory_create(const char* path) { return path != nullptr && ::mkdir(path, 0777) == 0; }

// ---- atomic replacement ----

namespace {

// The final target of path: links resolved, relative to the current folder when not absolute. A
// missing final component is fine (a new file); its folder must exist.
bool final_target(const char* path, std::string& out) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno != ENOENT) return false;
            out = current;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            out = current;
            return true;
        }
        char link[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), link, sizeof link - 1);
        if (n < 0) return false;
        link[n] = '\0';
        if (link[0] == '/') {
            current = link;
        } else {
            const size_t slash = current.rfind('/');
            current = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + link;
        }
    }
    return false;  // a loop of links
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// count letters and digits for a temporary name: from the system's random source, or the clock
// and process number where that is unavailable (the exclusive create catches any clash).
std::string random_letters(size_t count) {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[32] = {};
    if (count > sizeof bytes) count = sizeof bytes;
    if (::getrandom(bytes, count, GRND_NONBLOCK) != static_cast<ssize_t>(count)) {
        struct timespec now {};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        uint64_t mix = static_cast<uint64_t>(now.tv_nsec) * 0x9E3779B97F4A7C15ull ^
                       static_cast<uint64_t>(now.tv_sec) ^ (static_cast<uint64_t>(::getpid()) << 32);
        for (size_t i = 0; i < count; ++i) {
            mix ^= mix >> 29;
            mix *= 0xBF58476D1CE4E5B9ull;
            bytes[i] = static_cast<unsigned char>(mix >> 56);
        }
    }
    std::string out(count, 'x');
    for (size_t i = 0; i < count; ++i) out[i] = kAlphabet[bytes[i] % (sizeof kAlphabet - 1)];
    return out;
}

bool sync_folder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync folders
    ::close(fd);
    return ok;
}

}  // namespace

PlatformReplacement::~PlatformReplacement() { abandon(); }

PlatformReplacement::PlatformReplacement(PlatformReplacement&& other) noexcept
    : file_(std::move(other.file_)),
      target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)),
      prefix_(std::move(other.prefix_)),
      unnamed_(other.unnamed_) {
    other.temporary_.clear();
    other.unnamed_ = false;
}

PlatformReplacement& PlatformReplacement::operator=(PlatformReplacement&& other) noexcept {
    if (this != &other) {
        abandon();
        file_ = std::move(other.file_);
        target_ = std::move(other.target_);
        temporary_ = std::move(other.temporary_);
        prefix_ = std::move(other.prefix_);
        unnamed_ = other.unnamed_;
        other.temporary_.clear();
        other.unnamed_ = false;
    }
    return *this;
}

bool PlatformReplacement::begin(const char* path, uint32_t new_permissions) {
    abandon();
    if (path == nullptr || *path == '\0') return false;
    std::string target;
    if (!final_target(path, target)) return false;
    struct stat st;
    bool exists = true;
    if (::stat(target.c_str(), &st) != 0) {
        if (errno != ENOENT) return false;
        exists = false;
    } else {
        if (!S_ISREG(st.st_mode)) return false;                 // folders, FIFOs and devices stay
        if (::access(target.c_str(), W_OK) != 0) return false;  // a read-only file stays refused
    }
    const size_t slash = target.rfind('/');
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // "." + name + "." + 12 letters must stay one valid name component (at most 255 bytes).
    if (base.size() > 200) base.resize(200);
    const std::string prefix = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + "." + base + ".";
    // A new file is created with new_permissions so that the system applies the creation mask;
    // an existing file's bits are copied below.
    const mode_t create_mode = exists ? 0600 : static_cast<mode_t>(new_permissions & 07777);
    int fd = -1;
    std::string temporary;
    // Unnamed first: a process killed before the commit leaves no file behind. It gets a name only
    // for the moment between linking it in and renaming it over the target (through /proc).
    if (::access("/proc/self/fd", X_OK) == 0) {
        do {
            fd = ::open(folder_of(target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, create_mode);
        } while (fd < 0 && errno == EINTR);
    }
    unnamed_ = fd >= 0;
    // File systems without unnamed files: a named one, removed again when not committed.
    for (int attempt = 0; attempt < 64 && fd < 0; ++attempt) {
        temporary = prefix + random_letters(12);
        do {
            fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, create_mode);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    file_ = PlatformFileAccess::adopt(fd);
    temporary_ = std::move(temporary);
    prefix_ = prefix;
    if (exists) {
        // Owner and group first (changing them clears set-id bits); only a privileged process or
        // a member of the group may, so a refusal is no failure. The permission bits must hold.
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) (void)::fchown(fd, st.st_uid, st.st_gid);
        if (::fchmod(fd, st.st_mode & 07777) != 0) {
            abandon();
            return false;
        }
    }
    target_ = std::move(target);
    return true;
}

bool PlatformReplacement::commit() {
    if (!file_ || (temporary_.empty() && !unnamed_)) return false;
    const int fd = PlatformFileAccess::descriptor(file_);
    bool written = ::fsync(fd) == 0;
    if (written && unnamed_) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        written = false;
        for (int attempt = 0; attempt < 64 && !written; ++attempt) {
            std::string name = prefix_ + random_letters(12);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                temporary_ = std::move(name);
                written = true;
            } else if (errno != EEXIST) {
                break;
            }
        }
        unnamed_ = false;
    }
    file_.reset();
    if (!written || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        abandon();
        return false;
    }
    temporary_.clear();
    // The rename is done; a folder that cannot be flushed still holds the new file once the
    // system writes it back, so this is not reported as a failure of the replacement.
    sync_folder(folder_of(target_));
    return true;
}

void PlatformReplacement::abandon() {
    file_.reset();
    unnamed_ = false;
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool platform_file_replace(const char* path, const void* bytes, size_t count, uint32_t new_permissions) {
    PlatformReplacement replacement;
    if (!replacement.begin(path, new_permissions)) return false;
    if (!platform_file_write(replacement.file(), bytes, count)) return false;
    return replacement.commit();
}

}  // namespace rt
