// Whole files as bytes, for the loaders of pictures, sounds, shaders and 3D objects. Start-up gives
// each loader a reader that finds names the way the file layer does (disk, pack, memory files);
// until then loaders read plain files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace rt {

// The bytes of a file, kept alive by owner.
struct FileBytes {
    std::shared_ptr<const void> owner;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// Finds a file by the name the game gives and hands out its bytes; false when there is no such
// file or it cannot be read.
using FileBytesReader = bool (*)(const char* name, FileBytes& out);

// Reads a plain regular file whole (at most 1 GiB).
bool file_bytes_read_plain(const char* path, FileBytes& out);

}  // namespace rt
