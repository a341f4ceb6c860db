// File channels over FileReader records, whole-file and directory commands, console text.
#include "runtime/files/channels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "runtime/core/errors.h"
#include "runtime/files/file_reader.h"
#include "runtime/files/file_service.h"
#include "runtime/files/resolver.h"
#include "runtime/platform/fs.h"
#include "runtime/platform/os.h"
#include "runtime/values/numbers.h"

namespace rt {

namespace {

// The channel's record; a number outside 0 to 7 ends the program with code 7.
FileReader& channel_for(int32_t channel) {
    if (channel < 0 || channel >= kChannelCount) fatal(kErrOutOfMemory);
    return file_service().channels_[static_cast<size_t>(channel)];
}

// Reads an n-byte little-endian value; missing high-order bytes of a short memory file stay 0.
uint64_t read_value(int32_t channel, int32_t n) {
    FileReader& reader = channel_for(channel);
    uint8_t bytes[8] = {};
    if (!reader.read(bytes, n)) fatal(kErrNoSuchFile);
    uint64_t value = 0;
    for (int32_t i = n - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

void write_bytes(int32_t channel, const void* bytes, size_t count) {
    FileReader& writer = channel_for(channel);
    if (!writer.write(bytes, count)) fatal(kErrNoSuchFile);
}

void write_value(int32_t channel, uint64_t value, int32_t n) {
    uint8_t bytes[8];
    for (int32_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    write_bytes(channel, bytes, static_cast<size_t>(n));
}

}  // namespace

}  // namespace rt

int32_t file_channel_find_free() {
    for (int32_t i = 0; i < rt::kChannelCount; ++i) {
        if (!rt::file_service().channels_[static_cast<size_t>(i)].in_use()) return i;
    }
    return -1;
}

bool file_open(int32_t channel, const RtString& name, int32_t mode) {
    error_code_clear();
    FileReader& reader = rt::channel_for(channel);
    // A file written on this channel before is put in place now; its failure is reported even
    // when the new open succeeds.
    if (!reader.close()) error_code_set(kErrNoSuchFile);
    bool opened;
    if (mode >= 1) {
        std::string resolved;
        if (!path_resolve(rt::main_resolver(), name.c_str(), resolved, true)) error_code_set(kErrNoSuchFile);
        opened = reader.open(resolved.c_str());
    } else if (mode == 0) {
        opened = reader.create(name.c_str());
    } else {
        opened = reader.open_append(name.c_str());
    }
    if (!opened) error_code_set(kErrNoSuchFile);
    return opened;
}

void file_close(int32_t channel) {
    FileReader& reader = rt::channel_for(channel);
    error_code_clear();
    // A file made by mode 0 replaces its name here; when that fails the old file stays.
    if (!reader.close()) error_code_set(kErrNoSuchFile);
}

bool file_at_end(int32_t channel) {
    if (channel < 0 || channel >= rt::kChannelCount) return true;
    const FileReader& reader = rt::file_service().channels_[static_cast<size_t>(channel)];
    return reader.size() <= reader.position();
}

int32_t file_position(int32_t channel) { return rt::channel_for(channel).position(); }

void file_seek(int32_t channel, int32_t distance, int32_t origin) { rt::channel_for(channel).seek(distance, origin); }

void file_read_byte(int32_t channel, int32_t& out) {
    out = static_cast<int8_t>(static_cast<uint8_t>(rt::read_value(channel, 1)));
}
void file_read_ubyte(int32_t channel, int32_t& out) { out = static_cast<int32_t>(rt::read_value(channel, 1)); }
void file_read_word(int32_t channel, int32_t& out) {
    out = static_cast<int16_t>(static_cast<uint16_t>(rt::read_value(channel, 2)));
}
void file_read_uword(int32_t channel, int32_t& out) { out = static_cast<int32_t>(rt::read_value(channel, 2)); }
void file_read_long(int32_t channel, int32_t& out) {
    out = static_cast<int32_t>(static_cast<uint32_t>(rt::read_value(channel, 4)));
}
void file_read_ulong(int32_t channel, int32_t& out) { file_read_long(channel, out); }

void file_read_float(int32_t channel, double& out) {
    uint32_t bits = static_cast<uint32_t>(rt::read_value(channel, 4));
    float value;
    std::memcpy(&value, &bits, sizeof value);
    out = value;
}

void file_read_double(int32_t channel, double& out) {
    uint64_t bits = rt::read_value(channel, 8);
    std::memcpy(&out, &bits, sizeof out);
}

void file_read_text(int32_t channel, RtString& out, int32_t n) {
    FileReader& reader = rt::channel_for(channel);
    out.clear();
    if (n <= 0) return;
    // A plain file too short for n bytes fails the read anyway: fail before allocating n bytes.
    if (reader.has_handle() && reader.bytes_available() < n) rt::fatal(kErrNoSuchFile);
    char* buffer = out.writable_buffer(static_cast<uint32_t>(n) + 32u);
    // Bytes a memory file cannot deliver stay 0, never stale memory.
    std::memset(buffer, 0, static_cast<size_t>(n) + 1);
    if (!reader.read(buffer, n)) rt::fatal(kErrNoSuchFile);
    out.set_length(n);
}

void file_read_line(int32_t channel, RtString& out) {
    FileReader& reader = rt::channel_for(channel);
    char line[rt::kLineMaxBytes];
    int32_t length = reader.read_line(line);
    if (length < 0) rt::fatal(kErrNoSuchFile);
    out = RtString(line, static_cast<uint32_t>(length));
}

void file_read_line_real(int32_t channel, double& out) {
    RtString line;
    file_read_line(channel, line);
    out = string_to_real(line);
}

void file_read_line_int(int32_t channel, int32_t& out) {
    RtString line;
    file_read_line(channel, line);
    out = string_to_int(line);
}

void file_write_byte(int32_t channel, int32_t value) { rt::write_value(channel, static_cast<uint32_t>(value), 1); }
void file_write_ubyte(int32_t channel, int32_t value) { rt::write_value(channel, static_cast<uint32_t>(value), 1); }
void file_write_word(int32_t channel, int32_t value) { rt::write_value(channel, static_cast<uint32_t>(value), 2); }
void file_write_uword(int32_t channel, int32_t value) { rt::write_value(channel, static_cast<uint32_t>(value), 2); }
void file_write_long(int32_t channel, int32_t value) { rt::write_value(channel, static_cast<uint32_t>(value), 4); }
void file_write_ulong(int32_t channel, int32_t value) { rt::write_value(channel, static_cast<uint32_t>(value), 4); }

void file_write_float(int32_t channel, double value) {
    // A finite double beyond the float range becomes the infinity of its sign, as the FPU
    // rounds it, without the undefined conversion.
    float narrowed;
    if (std::isfinite(value) && std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) {
        narrowed = value > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    } else {
        narrowed = static_cast<float>(value);
    }
    uint32_t bits;
    std::memcpy(&bits, &narrowed, sizeof bits);
    rt::write_value(channel, bits, 4);
}

void file_write_double(int32_t channel, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    rt::write_value(channel, bits, 8);
}

void file_write_text(int32_t channel, const RtString& text) { rt::write_bytes(channel, text.c_str(), text.length()); }

void file_write_line(int32_t channel, const RtString& text) {
    rt::write_bytes(channel, text.c_str(), text.length());
    rt::write_bytes(channel, "\r\n", 2);
}

void file_write_line_real(int32_t channel, double value) { file_write_line(channel, string_from_real(value)); }
void file_write_line_int(int32_t channel, int32_t value) { file_write_line(channel, string_from_int(value)); }

bool file_exists(const RtString& name) { return rt::file_readable(name.c_str()); }

int32_t file_size(const RtString& name) {
    error_code_clear();
    FileReader reader;
    if (!reader.open(name.c_str())) {
        // A name too long for the layer names no file, as a missing one does.
        error_code_set(kErrNoSuchFile);
        return 0;
    }
    return reader.size();
}

bool file_copy(const RtString& source, const RtString& destination) {
    error_code_clear();
    FileReader in;
    rt::PlatformReplacement out;
    const char* target = destination.c_str();
    // The destination is written beside itself and replaces its name only once complete, so a
    // failed copy (and a copy of a file onto itself) leaves it as it was.
    if (!in.open(source.c_str()) || std::strlen(target) > rt::kNameMaxBytes || rt::is_memory_file_name(target) ||
        !out.begin(target)) {
        error_code_set(kErrNoSuchFile);
        return false;
    }
    char block[4096];
    int32_t left = in.size();
    while (left > 0) {
        int32_t n = std::min<int32_t>(left, static_cast<int32_t>(sizeof block));
        if (!in.read(block, n) || !rt::platform_file_write(out.file(), block, static_cast<size_t>(n))) {
            error_code_set(kErrNoSuchFile);
            return false;
        }
        left -= n;
    }
    if (!out.commit()) {
        error_code_set(kErrNoSuchFile);
        return false;
    }
    return true;
}

bool file_delete(const RtString& name) {
    if (rt::is_memory_file_name(name.c_str())) return false;
    return rt::platform_file_delete(name.c_str());
}

bool directory_create(const RtString& path) {
    if (rt::is_memory_file_name(path.c_str())) return false;
    return rt::platform_directory_create(path.c_str());
}

bool path_is_directory(const RtString& path) {
    rt::PlatformFileInfo info;
    return rt::platform_path_info(path.c_str(), info) && info.is_directory;
}

RtString directory_get_current() {
    std::string dir = rt::platform_current_dir();
    if (dir.empty() || dir.back() != '/') dir.push_back('/');
    return RtString(dir.c_str(), static_cast<uint32_t>(dir.size()));
}

bool directory_set_current(const RtString& path) {
    if (rt::platform_set_current_dir(path.c_str())) {
        error_code_clear();
        return true;
    }
    error_code_set(kErrNoSuchFile);
    return false;
}

int32_t path_to_forward_slashes(RtString& text) {
    const uint32_t length = text.length();
    if (length == 0) return 0;
    char* bytes = text.writable_buffer(length);
    for (uint32_t i = 0; i < length; ++i) {
        if (bytes[i] == '\\') bytes[i] = '/';
    }
    return static_cast<int32_t>(length);
}

void console_print(const RtString& text) { std::fputs(text.c_str(), stdout); }

void console_print_error(const RtString& text) { std::fputs(text.c_str(), stderr); }

RtString console_read_line() {
    char line[4096];
    if (!std::fgets(line, sizeof line, stdin)) return RtString();
    size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\n') line[--length] = '\0';
    return RtString(line, static_cast<uint32_t>(length));
}
