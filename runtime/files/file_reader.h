// FileReader: one open file of the file layer, a plain file or a memory file, read and written
// by the channels, the loaders, the line store and settings; and the text-line rule they share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "runtime/files/memory_files.h"
#include "runtime/platform/fs.h"

namespace rt {

// Longest text line the line rule delivers, in bytes.
constexpr int32_t kLineMaxBytes = 1024;
// Longest file name the file layer takes, in bytes, without the terminator.
constexpr size_t kNameMaxBytes = 1023;

}  // namespace rt

// An open file: a plain file (an open system file and a file pointer of its own, where the next
// read or write happens) or a memory file (its bytes). size and position are signed 32-bit
// because the channel commands report and move them as 32-bit integers; a plain file above
// 2^31 - 1 bytes therefore does not open. position counts what the reads asked for, so a short
// read leaves it ahead of the file pointer; a seek may move it outside the file (a memory file
// then reads nothing).
class FileReader {
public:
    FileReader() = default;
    FileReader(FileReader&&) noexcept = default;
    FileReader& operator=(FileReader&&) noexcept = default;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // A memory file name (of a live block) or an existing regular file, for reading. When it
    // fails, *why (when given) says whether the name is missing (or no regular file), the system
    // was short of something for the moment, or it refused.
    bool open(const char* name, rt::PlatformOpenError* why = nullptr);
    // Starts a new version of name, empty, for reading and writing: a temporary file beside it
    // that close() puts in its place in one step; until then name keeps its old content.
    // Refuses memory file names and what replacement refuses (folders, FIFOs, devices, files
    // this process may not write).
    bool create(const char* name);
    // Opens a regular file name for writing, creating it when missing, with the file pointer at
    // its end; writes land in place.
    bool open_append(const char* name);
    // Closes; a file made by create() replaces its name now. False when that replacement failed
    // or a write to it failed before (the name then keeps its old content).
    bool close();
    // Closes; a file made by create() is dropped and its name keeps its old content.
    void abandon();

    // Reads n bytes into dest. A plain file must deliver all n bytes from its file pointer (the
    // position grows by n even when they do not all arrive); a memory file delivers what is left
    // of n and succeeds, failing only at a negative count or a position outside the data.
    bool read(void* dest, int32_t n);
    // Writes all bytes at the file pointer of a plain file; false otherwise or on a short write.
    // Size and position do not change.
    bool write(const void* bytes, size_t count);

    // The text-line rule: at most kLineMaxBytes bytes up to a line feed, a carriage return right
    // before it dropped, the position set just after it. Returns the line's length in out
    // (which holds kLineMaxBytes bytes), or -1 when nothing at all could be read.
    int32_t read_line(char* out);

    // Moves the position (origin 0: from the start, > 0: from the position, < 0: from the size)
    // and a plain file's pointer the same way (from its start, itself or its current end). A
    // pointer move that would go before the start of the file leaves the pointer where it was.
    void seek(int32_t distance, int32_t origin);

    // Bytes at offset from the start, for readers of a structure inside the file (the pack);
    // the position does not move. Returns the count delivered (short at the end), -1 on error.
    int64_t read_at(int64_t offset, void* dest, int64_t n);
    // The memory file's bytes at [offset, offset + n), or null (plain file, or out of range).
    const uint8_t* memory_at(int64_t offset, int64_t n) const;

    // Bytes a read at the current place could still deliver (plain file: from its pointer to its
    // current end; memory file: from the position to the size). 0 when nothing is open.
    int64_t bytes_available() const;

    bool in_use() const { return has_handle() || data_; }
    bool has_handle() const { return handle_ || replacement_.active(); }
    bool is_memory() const { return data_ != nullptr; }
    int32_t size() const { return size_; }
    int32_t position() const { return position_; }

private:
    int64_t fill(int64_t offset, uint8_t* dest, int64_t n);
    // The open plain file: the replacement's temporary file while one is under way.
    const rt::PlatformFile& plain() const { return replacement_.active() ? replacement_.file() : handle_; }

    rt::PlatformFile handle_;
    rt::PlatformReplacement replacement_;
    bool write_failed_ = false;  // a write to the replacement failed: close() drops it
    const uint8_t* data_ = nullptr;
    int32_t size_ = 0;
    int32_t position_ = 0;

    // Keeps a memory file's bytes alive while open, even once their name no longer resolves.
    std::shared_ptr<const void> keep_alive_;
    // Where the next read or write of a plain file happens, in bytes from its start.
    int64_t file_pointer_ = 0;
    // Read-ahead of a plain file: the bytes at [buffer_start_, buffer_start_ + buffer_length_).
    // Every write through this reader drops it; a change made through another open file may be
    // read late.
    std::unique_ptr<uint8_t[]> buffer_;
    int64_t buffer_start_ = 0;
    int64_t buffer_length_ = 0;
};

// The reader's operations as free functions, for code that holds a FileReader record.
bool file_reader_open(FileReader& reader, const char* name);
bool file_reader_read(FileReader& reader, void* dest, int32_t n);
void file_reader_close(FileReader& reader);
bool file_writer_create(FileReader& writer, const char* name);

namespace rt {

// True when name opens for reading as file_reader_open would open it.
bool file_readable(const char* name);
// Replaces path's content by bytes in one step; false (the old content kept) when it cannot be
// written. Refuses memory file names.
bool write_whole_file(const char* path, const void* bytes, size_t count);

}  // namespace rt
