// Memory file names ("mem://" + size + "." + address in hexadecimal) and the registry of the
// blocks they may name. A name opens only a block the runtime registered and still holds, so a
// name read from a file, a setting or the network can never point the runtime at other memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rt {

// A run of bytes kept alive by owner_ (shared by the registry and by every reader open on it).
struct MemoryView {
    std::shared_ptr<const void> owner_;
    const uint8_t* data_ = nullptr;
    int32_t size_ = 0;
};

// The registry lives in the file layer's process-wide state (FileService).
using MemoryBlockRegistry = std::vector<MemoryView>;

// True when name starts with exactly "mem://".
bool is_memory_file_name(const char* name);

// "mem://" + size in "%8x" + "." + address in at least eight hexadecimal digits (a 64-bit
// address takes more), so that the size reads from character 6 and the address from character 15.
std::string memory_file_name(const void* data, uint32_t size);

// Registers size bytes at data, kept alive by owner until unregistered (and after that for as
// long as a reader holds them). Returns the block's name, or "" when size exceeds 2^31 - 1 bytes.
std::string memory_file_register(std::shared_ptr<const void> owner, const uint8_t* data, uint32_t size);
// Forgets the block registered at data: its name stops resolving. Readers already open keep it.
void memory_file_unregister(const void* data);

// Resolves a memory file name to a registered block: the address must be a registered block's
// start and the size at most that block's size. False for every other name.
// Loaders that read memory file names themselves (pictures, sounds, 3D objects) use this.
bool memory_file_lookup(const char* name, MemoryView& out);

}  // namespace rt
