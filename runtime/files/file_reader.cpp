// The file layer's reader and writer over the platform's open files and registered memory blocks.
#include "runtime/files/file_reader.h"

#include <algorithm>
#include <cstring>

namespace rt {

namespace {

// Read-ahead per open plain file, in bytes. Reads of at least this size bypass it.
constexpr int64_t kBufferBytes = 64 * 1024;

int32_t saturate_int32(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace

bool file_readable(const char* name) {
    FileReader reader;
    return reader.open(name);
}

bool write_whole_file(const char* path, const void* bytes, size_t count) {
    if (!path || !*path || is_memory_file_name(path)) return false;
    return platform_file_replace(path, bytes, count);
}

}  // namespace rt

bool FileReader::open(const char* name, rt::PlatformOpenError* why) {
    close();
    if (why) *why = rt::PlatformOpenError::kMissing;
    // A longer name would be cut wherever the layer hands it on: it names no file here.
    if (!name || std::strlen(name) > rt::kNameMaxBytes) return false;
    if (rt::is_memory_file_name(name)) {
        rt::MemoryView view;
        if (!rt::memory_file_lookup(name, view)) return false;
        keep_alive_ = std::move(view.owner_);
        data_ = view.data_;
        size_ = view.size_;
        return true;
    }
    rt::PlatformFile file = rt::platform_file_open(name, rt::FileOpenMode::kRead, 0644, why);
    if (!file) return false;
    rt::PlatformFileInfo info;
    if (!rt::platform_file_info(file, info)) {
        if (why) *why = rt::PlatformOpenError::kRefused;
        return false;
    }
    // Only regular files read as files: a directory or device does not "exist" as one here.
    if (!info.is_regular || info.size > INT32_MAX) return false;
    handle_ = std::move(file);
    size_ = static_cast<int32_t>(info.size);
    if (why) *why = rt::PlatformOpenError::kNone;
    return true;
}

bool FileReader::create(const char* name) {
    close();
    if (!name || !*name || std::strlen(name) > rt::kNameMaxBytes || rt::is_memory_file_name(name)) return false;
    return replacement_.begin(name);
}

bool FileReader::open_append(const char* name) {
    close();
    if (!name || !*name || std::strlen(name) > rt::kNameMaxBytes || rt::is_memory_file_name(name)) return false;
    rt::PlatformFile file = rt::platform_file_open(name, rt::FileOpenMode::kWriteCreate);
    if (!file) return false;
    rt::PlatformFileInfo info;
    // Writes go to regular files only: a FIFO or device named here is left alone.
    if (!rt::platform_file_info(file, info) || !info.is_regular) return false;
    handle_ = std::move(file);
    file_pointer_ = info.size;
    return true;
}

bool FileReader::close() {
    // A new version with a write that failed is incomplete: it never replaces the old file.
    const bool kept = !replacement_.active() || (!write_failed_ && replacement_.commit());
    abandon();
    return kept;
}

void FileReader::abandon() {
    replacement_.abandon();
    write_failed_ = false;
    handle_.reset();
    data_ = nullptr;
    keep_alive_.reset();
    size_ = 0;
    position_ = 0;
    file_pointer_ = 0;
    buffer_length_ = 0;
}

int64_t FileReader::fill(int64_t offset, uint8_t* dest, int64_t n) {
    if (n <= 0) return 0;
    if (offset < 0) return -1;
    int64_t done = 0;
    if (buffer_length_ > 0 && offset >= buffer_start_ && offset < buffer_start_ + buffer_length_) {
        int64_t take = std::min(buffer_start_ + buffer_length_ - offset, n);
        std::memcpy(dest, buffer_.get() + (offset - buffer_start_), static_cast<size_t>(take));
        done = take;
    }
    while (done < n) {
        int64_t remaining = n - done;
        int64_t at = offset + done;
        if (remaining >= rt::kBufferBytes) {
            const int64_t r = rt::platform_file_read_at(plain(), at, dest + done, static_cast<size_t>(remaining));
            if (r < 0) return done > 0 ? done : -1;
            if (r == 0) break;
            done += r;
            continue;
        }
        if (!buffer_) buffer_.reset(new uint8_t[rt::kBufferBytes]);
        const int64_t r = rt::platform_file_read_at(plain(), at, buffer_.get(), static_cast<size_t>(rt::kBufferBytes));
        if (r < 0) {
            buffer_length_ = 0;
            return done > 0 ? done : -1;
        }
        buffer_start_ = at;
        buffer_length_ = r;
        if (r == 0) break;
        int64_t take = std::min<int64_t>(r, remaining);
        std::memcpy(dest + done, buffer_.get(), static_cast<size_t>(take));
        done += take;
    }
    return done;
}

bool FileReader::read(void* dest, int32_t n) {
    if (has_handle()) {
        if (n < 0) return false;
        int64_t grown = static_cast<int64_t>(position_) + n;
        if (grown > INT32_MAX) return false;
        position_ = static_cast<int32_t>(grown);
        int64_t got = fill(file_pointer_, static_cast<uint8_t*>(dest), n);
        if (got <= 0) return n == 0 && got == 0;
        file_pointer_ += got;
        return got == n;
    }
    if (data_) {
        // A position outside the data (a seek before the start or past the end) reads nothing.
        if (position_ < 0 || position_ > size_) return false;
        int64_t count = n;
        if (static_cast<int64_t>(position_) + count > size_) count = size_ - position_;
        if (count < 0) return false;
        if (count > 0) std::memcpy(dest, data_ + position_, static_cast<size_t>(count));
        position_ += static_cast<int32_t>(count);
        return true;
    }
    return false;
}

bool FileReader::write(const void* bytes, size_t count) {
    if (!has_handle()) return false;
    buffer_length_ = 0;
    if (!rt::platform_file_write_at(plain(), file_pointer_, bytes, count)) {
        write_failed_ = true;
        return false;
    }
    file_pointer_ += static_cast<int64_t>(count);
    return true;
}

int32_t FileReader::read_line(char* out) {
    int64_t got = 0;
    if (has_handle()) {
        got = fill(file_pointer_, reinterpret_cast<uint8_t*>(out), rt::kLineMaxBytes);
    } else if (data_) {
        if (position_ < 0 || position_ >= size_) return -1;
        got = std::min<int64_t>(rt::kLineMaxBytes, size_ - position_);
        std::memcpy(out, data_ + position_, static_cast<size_t>(got));
    }
    if (got <= 0) return -1;
    // Fewer bytes than asked means the data ended: the line ends there too. A full piece without
    // a line feed is a line of its own; the rest follows as the next line.
    const void* lf = std::memchr(out, '\n', static_cast<size_t>(got));
    int64_t consumed = got;
    int64_t length = got;
    if (lf) {
        length = static_cast<const char*>(lf) - out;
        consumed = length + 1;
        if (length > 0 && out[length - 1] == '\r') --length;
    }
    int64_t next = static_cast<int64_t>(position_) + consumed;
    if (next > INT32_MAX) return -1;
    position_ = static_cast<int32_t>(next);
    if (has_handle()) file_pointer_ += consumed;
    return static_cast<int32_t>(length);
}

void FileReader::seek(int32_t distance, int32_t origin) {
    if (!in_use()) return;
    int64_t base = origin == 0 ? 0 : (origin > 0 ? position_ : size_);
    position_ = rt::saturate_int32(base + distance);
    if (!has_handle()) return;
    int64_t pointer_base = 0;
    if (origin > 0) {
        pointer_base = file_pointer_;
    } else if (origin < 0) {
        rt::PlatformFileInfo info;
        if (!rt::platform_file_info(plain(), info)) return;
        pointer_base = info.size;
    }
    int64_t pointer = pointer_base + distance;
    if (pointer >= 0) file_pointer_ = pointer;
}

int64_t FileReader::read_at(int64_t offset, void* dest, int64_t n) {
    if (n < 0 || offset < 0) return -1;
    if (has_handle()) return fill(offset, static_cast<uint8_t*>(dest), n);
    if (data_) {
        if (offset > size_) return -1;
        int64_t count = std::min<int64_t>(n, size_ - offset);
        if (count > 0) std::memcpy(dest, data_ + offset, static_cast<size_t>(count));
        return count;
    }
    return -1;
}

int64_t FileReader::bytes_available() const {
    if (has_handle()) {
        rt::PlatformFileInfo info;
        if (!rt::platform_file_info(plain(), info)) return 0;
        return std::max<int64_t>(0, info.size - file_pointer_);
    }
    if (data_) return std::max<int64_t>(0, static_cast<int64_t>(size_) - position_);
    return 0;
}

const uint8_t* FileReader::memory_at(int64_t offset, int64_t n) const {
    if (!data_ || offset < 0 || n < 0 || offset > size_ || n > size_ - offset) return nullptr;
    return data_ + offset;
}

bool file_reader_open(FileReader& reader, const char* name) { return reader.open(name); }
bool file_reader_read(FileReader& reader, void* dest, int32_t n) { return reader.read(dest, n); }
void file_reader_close(FileReader& reader) { reader.close(); }
bool file_writer_create(FileReader& writer, const char* name) { return writer.create(name); }
