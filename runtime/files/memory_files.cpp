// Memory file names and the registry of blocks they may name.
#include "runtime/files/memory_files.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "runtime/files/file_service.h"

namespace rt {

namespace {

// Reads a hexadecimal number the way the names are read back: leading blanks skipped, reading
// stops at the first character that is not a hexadecimal digit. False when no digit is there or
// the value does not fit in 64 bits.
bool parse_hex(const char* text, uint64_t& value) {
    while (*text == ' ' || *text == '\t') ++text;
    value = 0;
    int digits = 0;
    for (;; ++text) {
        char c = *text;
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            break;
        }
        if (value > (UINT64_MAX >> 4)) return false;
        value = (value << 4) | digit;
        ++digits;
    }
    return digits > 0;
}

// Where the size and the address start in a memory file name.
constexpr size_t kSizeColumn = 6;
constexpr size_t kAddressColumn = 15;

}  // namespace

bool is_memory_file_name(const char* name) { return name && std::strncmp(name, "mem://", 6) == 0; }

std::string memory_file_name(const void* data, uint32_t size) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "mem://%8" PRIx32 ".%8" PRIxPTR, size, reinterpret_cast<uintptr_t>(data));
    return buf;
}

std::string memory_file_register(std::shared_ptr<const void> owner, const uint8_t* data, uint32_t size) {
    if (!data || size > static_cast<uint32_t>(INT32_MAX)) return std::string();
    MemoryBlockRegistry& registry = file_service().memory_blocks_;
    for (MemoryView& view : registry) {
        if (view.data_ == data) {
            view.owner_ = std::move(owner);
            view.size_ = static_cast<int32_t>(size);
            return memory_file_name(data, size);
        }
    }
    registry.push_back(MemoryView{std::move(owner), data, static_cast<int32_t>(size)});
    return memory_file_name(data, size);
}

void memory_file_unregister(const void* data) {
    MemoryBlockRegistry& registry = file_service().memory_blocks_;
    for (size_t i = 0; i < registry.size(); ++i) {
        if (registry[i].data_ == data) {
            registry[i] = std::move(registry.back());
            registry.pop_back();
            return;
        }
    }
}

bool memory_file_lookup(const char* name, MemoryView& out) {
    if (!is_memory_file_name(name)) return false;
    // The address column must lie inside the name before it is read.
    if (std::strlen(name) <= kAddressColumn) return false;
    uint64_t size = 0;
    uint64_t address = 0;
    if (!parse_hex(name + kSizeColumn, size) || !parse_hex(name + kAddressColumn, address)) return false;
    for (const MemoryView& view : file_service().memory_blocks_) {
        if (reinterpret_cast<uintptr_t>(view.data_) == address && size <= static_cast<uint64_t>(view.size_)) {
            out.owner_ = view.owner_;
            out.data_ = view.data_;
            out.size_ = static_cast<int32_t>(size);
            return true;
        }
    }
    return false;
}

}  // namespace rt
