// The pack format: LZO1X-compressed entries with a directory and a 7-byte trailer at the end of a
// file (alone or appended to an executable). Reading checks every position and size it meets;
// building writes positions relative to the end, so a pack works alone and appended alike.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class FileReader;

namespace rt {

// Trailer: "sbX" then the directory position (int32, little-endian).
constexpr uint8_t kPackMagic[3] = {0x73, 0x62, 0x58};
constexpr int64_t kPackTrailerBytes = 7;
// Largest unpacked entry accepted, in bytes.
constexpr uint32_t kPackMaxUnpacked = 1u << 30;
// No LZO1X stream expands a byte into more than 255 bytes (a zero length-extension byte adds 255):
// an unpacked size above 256 x the compressed size cannot be genuine.
constexpr uint64_t kPackMaxExpansion = 256;

// One directory entry, its position already turned into an offset from the pack file's start.
struct PackEntry {
    std::string name_;
    int32_t raw_position_ = 0;  // as stored (the temporary file name is made from it)
    int64_t offset_ = 0;        // 0 when not valid
    uint32_t stored_size_ = 0;  // N: 4 bytes of unpacked size + the LZO1X stream
    bool valid_ = false;        // its N >= 4 stored bytes lie inside the file
};

// A decompressed entry: bytes_ holds size_ bytes (at least one byte is allocated, so that an empty
// entry still has an address).
struct PackBlock {
    std::unique_ptr<uint8_t[]> bytes_;
    uint32_t size_ = 0;
};

// Reads the trailer. False when the file is shorter than 7 bytes or the magic is missing.
bool pack_read_trailer(FileReader& pack, int32_t& directory_position);

// Walks the directory from its start, calling visit for every entry (valid or not) until visit
// returns false or the end marker. False when the trailer or the directory position is bad or
// the data ends before the end marker.
bool pack_walk(FileReader& pack, const std::function<bool(const PackEntry&)>& visit);

// The first entry whose name equals name ignoring ASCII case.
bool pack_find(FileReader& pack, std::string_view name, PackEntry& out);

// Reads and decompresses an entry. False for a stored size below 4, an unpacked size above
// kPackMaxUnpacked or above what the stream can expand to, a stream that does not decompress,
// or one whose output length differs from the unpacked size.
bool pack_extract(FileReader& pack, const PackEntry& entry, PackBlock& out);

// The last component of a requested name: what follows the last "/" or backslash.
std::string_view pack_last_component(std::string_view name);

// ---- building ----

struct PackSource {
    std::string name_;
    std::vector<uint8_t> bytes_;
};

enum class PackLevel { kFast, kBest };  // LZO1X-1, LZO1X-999

// Builds a pack of the given entries. Names must be 1 to 255 bytes, without "/", backslash or
// 0 bytes, distinct ignoring ASCII case; each entry at most kPackMaxUnpacked bytes; the whole
// pack below 2 GiB. On failure error says why.
bool pack_build(const std::vector<PackSource>& sources, PackLevel level, std::vector<uint8_t>& out, std::string& error);

// Where an existing pack at the end of a file begins (its lowest entry or directory offset),
// so that a new pack can replace it. False when the file ends in no readable pack.
bool pack_start_offset(FileReader& pack, int64_t& start);

}  // namespace rt
