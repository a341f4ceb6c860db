// The store behind the line store commands: up to 256 numbered lines of one text file, and their
// write-back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace rt {

constexpr int32_t kLineStoreLines = 256;
// A slot holds what one line read delivers: up to 1024 bytes, cut at a 0 byte. Longer texts
// written by the game are cut to this.
constexpr size_t kLineStoreSlotBytes = 1024;

struct LineStore {
    std::string name_;  // the file held; empty for none
    std::array<std::string, kLineStoreLines> lines_;
    int32_t last_line_ = 0;  // highest line number read or written
    bool changed_ = false;
};

// Writes lines 0 to last line back (each + CR LF) when changed and named by a plain file name,
// replacing the file in one step. Clears nothing. False when the file could not be replaced (the
// old file is then untouched); true when written or when nothing needed writing.
bool line_store_write_back(const LineStore& store);

}  // namespace rt
