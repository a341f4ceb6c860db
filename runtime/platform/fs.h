// Files and folders of the system's file system: PlatformFile, the one owner of an open file;
// whole reads and writes that resume after signals and short transfers; path queries, deletion,
// renaming and folder creation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rt {

// How platform_file_open opens a file. No mode makes the file the controlling terminal or hands
// it to a started program, and no open waits: a FIFO or device named by outside data cannot
// stall it (on regular files this changes nothing).
enum class FileOpenMode {
    kRead,            // an existing file, for reading
    kWrite,           // an existing file, for writing; its content kept
    kWriteCreate,     // for writing, created when missing; an existing content kept
    kWriteEmpty,      // for writing, created when missing, emptied
    kReadWriteEmpty,  // for reading and writing, created when missing, emptied
    kAppend,          // for writing, created when missing; every write lands at the end
    kCreateNew,       // for writing, made new: fails when the name exists, as a link too
    kAppendNoLink,    // as kAppend, but fails when the name is a link
};

struct PlatformFileInfo {
    int64_t size = 0;  // in bytes
    bool is_regular = false;
    bool is_directory = false;
    uint32_t permissions = 0;  // the 12 permission bits (owner, group, others, set-id, sticky)
    uint32_t names = 0;        // hard links: names in folders that lead to this file
    bool owned = false;        // owned by this process's effective user
};

// One open file; closed when destroyed or reset. Move-only. False when nothing is open.
class PlatformFile {
public:
    PlatformFile() noexcept = default;
    ~PlatformFile();
    PlatformFile(PlatformFile&& other) noexcept : descriptor_(other.descriptor_) { other.descriptor_ = -1; }
    PlatformFile& operator=(PlatformFile&& other) noexcept;
    PlatformFile(const PlatformFile&) = delete;
    PlatformFile& operator=(const PlatformFile&) = delete;

    explicit operator bool() const noexcept { return descriptor_ >= 0; }
    // Closes the file (when one is open).
    void reset() noexcept;

private:
    friend struct PlatformFileAccess;  // the platform layer's own functions reach the descriptor
    int descriptor_ = -1;
};

// Why an open failed.
enum class PlatformOpenError {
    kNone,
    kMissing,    // nothing under that name, or no name at all: a folder on the way is missing, the
                 // path is too long or loops through links
    kTransient,  // the system ran short of descriptors or memory, or a signal cut in: a later try
                 // may succeed
    kRefused,    // anything else: no permission, a read-only file system, an I/O error
};

// Opens path; an empty object when the system refuses, and then *error (when given) says why.
// permissions applies to a file the mode creates (the process's file creation mask removes bits
// from it).
PlatformFile platform_file_open(const char* path, FileOpenMode mode, uint32_t permissions = 0644,
                                PlatformOpenError* error = nullptr);

// Reads count bytes at offset (from the start of the file) without moving the file's own offset,
// until count bytes arrived or the file ended. Returns the bytes read (fewer only at the end or
// when the system failed after some arrived), or -1 when it failed before any arrived.
int64_t platform_file_read_at(const PlatformFile& file, int64_t offset, void* dest, size_t count);
// The same from the file's own offset, which moves past what was read.
int64_t platform_file_read(const PlatformFile& file, void* dest, size_t count);

// Writes all count bytes at offset without moving the file's own offset. False when the system
// takes no more (disk full, I/O error) or nothing is open.
bool platform_file_write_at(const PlatformFile& file, int64_t offset, const void* bytes, size_t count);
// The same at the file's own offset (its end in kAppend mode), which moves past what was written.
bool platform_file_write(const PlatformFile& file, const void* bytes, size_t count);

// Size and kind of the open file.
bool platform_file_info(const PlatformFile& file, PlatformFileInfo& out);
// Cuts or extends the file to size bytes.
bool platform_file_truncate(const PlatformFile& file, int64_t size);
// Returns once the file's content and size are on the storage device.
bool platform_file_sync(const PlatformFile& file);

// Size and kind of what path names, links followed. False when it does not exist.
bool platform_path_info(const char* path, PlatformFileInfo& out);
// Removes the name of a file (not of a folder); a link is removed, not what it points at.
bool platform_file_delete(const char* path);
// Gives from's file the name to, in one step: a file named to before is replaced, and anyone who
// opens to finds either the old file or the new one. Both names on the same file system.
bool platform_file_rename(const char* from, const char* to);
// Makes a folder (permissions rwx for all, less the file creation mask). False when path exists.
bool platform_directory_create(const char* path);

// A new version of a file, written beside it and put in its place in one step, so that the name
// always holds either the complete old content or the complete new one (after a crash, a full
// disk or a kill at any moment). A name that is a link is followed: its final target is replaced
// and the link stays. A target that exists but is no regular file (folder, FIFO, device) or that
// this process may not write is refused, never replaced. Main thread or any one thread at a time.
class PlatformReplacement {
public:
    PlatformReplacement() noexcept = default;
    // Not committed: the temporary file is removed and the old file stays as it was.
    ~PlatformReplacement();
    PlatformReplacement(PlatformReplacement&& other) noexcept;
    PlatformReplacement& operator=(PlatformReplacement&& other) noexcept;
    PlatformReplacement(const PlatformReplacement&) = delete;
    PlatformReplacement& operator=(const PlatformReplacement&) = delete;

    // Starts replacing path: an empty temporary file in the target's folder, opened for reading
    // and writing, with the old file's permission bits and, where this process may set them, its
    // owner and group (new_permissions less the creation mask for a file that does not exist
    // yet). False when refused or when the folder takes no file.
    bool begin(const char* path, uint32_t new_permissions = 0644);
    // The temporary file, to write (and read) through the platform file functions.
    const PlatformFile& file() const { return file_; }
    bool active() const { return static_cast<bool>(file_); }
    // Flushes the temporary file to the device, renames it over the target and flushes the folder.
    // False (and the old file untouched) when any step fails; the replacement is over either way.
    bool commit();
    // Gives up: removes the temporary file.
    void abandon();

private:
    PlatformFile file_;
    std::string target_;     // the final target's path (links resolved)
    std::string temporary_;  // the temporary file's path in the target's folder; "" while unnamed
    std::string prefix_;     // where the temporary gets its name at commit when it has none yet
    bool unnamed_ = false;   // the temporary has no name until commit: a kill leaves nothing
};

// The whole new content of path in one replacement; false (old file untouched) on any failure.
bool platform_file_replace(const char* path, const void* bytes, size_t count, uint32_t new_permissions = 0644);

}  // namespace rt
