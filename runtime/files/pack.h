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

// The pieces of pack_build, for writers that put out one entry at a time.

// An entry name as packs hold it: 1 to 255 bytes, without "/", backslash or 0 byte. On failure
// error says why.
bool pack_name_check(std::string_view name, std::string& error);
// One entry's stored bytes: its unpacked size (4 bytes) then the LZO1X stream. Takes at most
// kPackMaxUnpacked bytes; needs about size * 17 / 16 bytes of memory besides the input.
bool pack_compress(const uint8_t* bytes, size_t size, PackLevel level, std::vector<uint8_t>& out, std::string& error);

// An entry already written: its stored bytes begin offset_ bytes after the pack's first byte.
struct PackPlaced {
    std::string name_;
    int64_t offset_ = 0;
    uint32_t stored_size_ = 0;
};
// The directory and trailer that end a pack whose entries fill its first data_size bytes.
// Positions count back from the pack's end, so the pack works alone and appended alike. False
// when the pack would reach 2 GiB.
bool pack_directory(const std::vector<PackPlaced>& entries, int64_t data_size, std::vector<uint8_t>& out,
                    std::string& error);

// ---- checking a whole pack ----

// Most directory records a check reads; a directory with more is reported as damaged.
constexpr size_t kPackMaxEntries = 1u << 20;

// One directory entry as a check of the whole pack found it.
struct PackCheckedEntry {
    PackEntry entry_;
    uint32_t unpacked_size_ = 0;  // as its first 4 bytes state it
    bool head_read_ = false;      // those 4 bytes lie inside the file
    std::string problem_;         // what is wrong with it; empty when it is sound
};

// What a check of a whole pack found.
struct PackCheck {
    bool found_ = false;             // the file ends in the magic
    std::string directory_problem_;  // what is wrong with the directory; empty when it is whole
    int64_t directory_offset_ = 0;
    int64_t directory_end_ = 0;              // one past its end marker (or where reading it stopped)
    int64_t start_ = 0;                      // the pack's first byte: its lowest entry or its directory
    int64_t unaccounted_ = 0;                // bytes from start_ to the end in no entry, directory or trailer
    std::vector<PackCheckedEntry> entries_;  // in directory order

    bool sound() const;  // found, its directory whole and every entry sound
};

// Checks every part of the pack at the end of a file: the directory lies inside the file, at or
// after floor and before the trailer, and ends in its marker; each entry lies inside the file at
// or after floor, overlaps no other entry, the directory or the trailer, and states no more
// unpacked bytes than its stream can expand to; with decompress set, each stream also
// decompresses to exactly its stated size (one entry in memory at a time).
void pack_check(FileReader& pack, int64_t floor, bool decompress, PackCheck& out);

}  // namespace rt
