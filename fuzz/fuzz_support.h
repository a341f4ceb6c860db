// Shared by the fuzz targets: the input as a memory file the runtime will open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/files/memory_files.h"

namespace fuzz {

// Copies the input into a block the runtime holds and returns its "mem://" name; the block stays
// registered until unregister is called with block->data().
inline std::string register_input(const uint8_t* data, size_t size, std::shared_ptr<std::vector<uint8_t>>& block) {
    block = std::make_shared<std::vector<uint8_t>>(data, data + size);
    block->reserve(1);  // a non-null address even for an empty input
    return rt::memory_file_register(block, block->data(), static_cast<uint32_t>(size));
}

}  // namespace fuzz
