// The operating-system services behind directory listing, outside modules and platform queries:
// directory enumeration, shared libraries, the root volume's id, small sysfs/config file reads,
// the process environment, local time and the GL loader's entry points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rt {

struct PlatformDirEntry {
    std::string name;
    bool is_directory = false;  // symbolic links count as what they point at
};

// Every entry of a directory, "." and ".." included, in the system's order. False (and out
// empty) when the directory cannot be opened.
bool platform_list_directory(const std::string& path, std::vector<PlatformDirEntry>& out);

// A loaded shared library; closes it when destroyed. Move-only.
class PlatformLibrary {
public:
    PlatformLibrary() noexcept = default;
    ~PlatformLibrary();
    PlatformLibrary(PlatformLibrary&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    PlatformLibrary& operator=(PlatformLibrary&& other) noexcept;
    PlatformLibrary(const PlatformLibrary&) = delete;
    PlatformLibrary& operator=(const PlatformLibrary&) = delete;

    // Loads by name or path with the system's search rules; an empty object on failure.
    static PlatformLibrary open(const std::string& name);

    explicit operator bool() const noexcept { return handle_ != nullptr; }
    // Address of an exported symbol, or null.
    void* symbol(const char* name) const;

private:
    explicit PlatformLibrary(void* handle) noexcept : handle_(handle) {}
    void* handle_ = nullptr;
};

// A 32-bit identifier of the file system mounted at path, stable while it exists (the folded
// file-system id). False when the system does not give one.
bool platform_volume_id(const std::string& path, uint32_t& out);

// Reads at most max_bytes of a file; false when it cannot be opened or read.
bool platform_read_small_file(const std::string& path, size_t max_bytes, std::string& out);

// The user's home folder: $HOME when set and not empty, else the password database's entry;
// "" when neither gives one.
std::string platform_home_dir();

// Environment access; a missing variable reads as absent (false).
bool platform_env_get(const char* name, std::string& out);
// Empty value removes the variable. False for an empty name or one holding "=".
bool platform_env_set(const char* name, const char* value);
// Every "name=value" entry of the process environment, in its order.
std::vector<std::string> platform_env_entries();

struct PlatformLocalTime {
    int year, month, day, hour, minute, second;  // month 1..12, day 1..31
};
PlatformLocalTime platform_local_time();

}  // namespace rt
