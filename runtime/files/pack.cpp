// Reading and building packs. Every position and size read from a pack is checked against the
// file before use; anything out of place reads as "no such entry".
#include "runtime/files/pack.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "runtime/files/file_reader.h"

namespace rt {

namespace {

int32_t read_le32(const uint8_t* p) {
    uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
                 static_cast<uint32_t>(p[3]) << 24;
    return static_cast<int32_t>(v);
}

void put_le32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 24));
}

// A stored position as an offset into a file of file_size bytes: absolute, or from the end when
// the directory position was negative. False when it falls outside the file.
bool resolve_offset(int32_t raw, bool from_end, int64_t file_size, int64_t& out) {
    int64_t offset = from_end ? file_size + raw : static_cast<int64_t>(raw);
    if (offset < 0 || offset >= file_size) return false;
    out = offset;
    return true;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

bool pack_read_trailer(FileReader& pack, int32_t& directory_position) {
    const int64_t size = pack.size();
    if (size < kPackTrailerBytes) return false;
    uint8_t trailer[kPackTrailerBytes];
    if (pack.read_at(size - kPackTrailerBytes, trailer, kPackTrailerBytes) != kPackTrailerBytes) return false;
    if (std::memcmp(trailer, kPackMagic, sizeof kPackMagic) != 0) return false;
    directory_position = read_le32(trailer + 3);
    return true;
}

bool pack_walk(FileReader& pack, const std::function<bool(const PackEntry&)>& visit) {
    int32_t directory = 0;
    if (!pack_read_trailer(pack, directory)) return false;
    const int64_t file_size = pack.size();
    const bool from_end = directory < 0;
    int64_t at = 0;
    if (!resolve_offset(directory, from_end, file_size, at)) return false;
    uint8_t record[255 + 8];
    PackEntry entry;
    for (;;) {
        uint8_t length = 0;
        if (pack.read_at(at, &length, 1) != 1) return false;
        if (length == 0) return true;
        const int64_t need = static_cast<int64_t>(length) + 8;
        if (pack.read_at(at + 1, record, need) != need) return false;
        at += 1 + need;
        entry.name_.assign(reinterpret_cast<const char*>(record), length);
        entry.raw_position_ = read_le32(record + length);
        entry.stored_size_ = static_cast<uint32_t>(read_le32(record + length + 4));
        entry.valid_ = resolve_offset(entry.raw_position_, from_end, file_size, entry.offset_) &&
                       entry.stored_size_ >= 4 && entry.offset_ + static_cast<int64_t>(entry.stored_size_) <= file_size;
        if (!entry.valid_) entry.offset_ = 0;
        if (!visit(entry)) return true;
    }
}

bool pack_find(FileReader& pack, std::string_view name, PackEntry& out) {
    bool found = false;
    pack_walk(pack, [&](const PackEntry& entry) {
        if (!equal_ignoring_case(entry.name_, name)) return true;
        // The first entry of that name decides, as it would for a reader that trusts the pack.
        found = entry.valid_;
        if (found) out = entry;
        return false;
    });
    return found;
}

bool pack_extract(FileReader& pack, const PackEntry& entry, PackBlock& out) {
    out = PackBlock{};
    if (!entry.valid_ || entry.stored_size_ < 4) return false;
    uint8_t head[4];
    if (pack.read_at(entry.offset_, head, 4) != 4) return false;
    const uint32_t unpacked = static_cast<uint32_t>(read_le32(head));
    const uint64_t compressed = entry.stored_size_ - 4u;
    if (unpacked > kPackMaxUnpacked || unpacked > compressed * kPackMaxExpansion) return false;

    const uint8_t* source = pack.memory_at(entry.offset_ + 4, static_cast<int64_t>(compressed));
    std::unique_ptr<uint8_t[]> copy;
    if (!source) {
        copy.reset(new (std::nothrow) uint8_t[compressed > 0 ? compressed : 1]);
        if (!copy) return false;
        if (pack.read_at(entry.offset_ + 4, copy.get(), static_cast<int64_t>(compressed)) !=
            static_cast<int64_t>(compressed)) {
            return false;
        }
        source = copy.get();
    }
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[unpacked > 0 ? unpacked : 1]);
    if (!bytes) return false;
    if (lzo_init() != LZO_E_OK) return false;
    lzo_uint produced = unpacked;
    int result = lzo1x_decompress_safe(source, static_cast<lzo_uint>(compressed), bytes.get(), &produced, nullptr);
    // Bytes after the stream's end marker are tolerated (a stored size padded by its writer).
    if ((result != LZO_E_OK && result != LZO_E_INPUT_NOT_CONSUMED) || produced != unpacked) return false;
    out.bytes_ = std::move(bytes);
    out.size_ = unpacked;
    return true;
}

std::string_view pack_last_component(std::string_view name) {
    size_t cut = name.find_last_of("/\\");
    return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

bool pack_build(const std::vector<PackSource>& sources, PackLevel level, std::vector<uint8_t>& out,
                std::string& error) {
    out.clear();
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string& name = sources[i].name_;
        if (name.empty() || name.size() > 255) {
            error = "entry name must be 1 to 255 bytes: \"" + name + "\"";
            return false;
        }
        if (name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
            error = "entry name must not contain a slash, backslash or 0 byte: \"" + name + "\"";
            return false;
        }
        if (sources[i].bytes_.size() > kPackMaxUnpacked) {
            error = "entry too large (limit 1 GiB): " + name;
            return false;
        }
        for (size_t j = 0; j < i; ++j) {
            if (equal_ignoring_case(sources[j].name_, name)) {
                error = "two entries named \"" + name + "\" (names match ignoring case)";
                return false;
            }
        }
    }
    if (lzo_init() != LZO_E_OK) {
        error = "LZO initialisation failed";
        return false;
    }
    std::vector<uint8_t> work(level == PackLevel::kBest ? LZO1X_999_MEM_COMPRESS : LZO1X_1_MEM_COMPRESS);
    std::vector<uint8_t> data;
    std::vector<int64_t> offsets;
    std::vector<uint32_t> stored;
    for (const PackSource& source : sources) {
        const size_t size = source.bytes_.size();
        std::vector<uint8_t> packed(size + size / 16 + 64 + 3);
        lzo_uint packed_size = packed.size();
        const uint8_t* in = size > 0 ? source.bytes_.data() : packed.data();
        int result = level == PackLevel::kBest ? lzo1x_999_compress(in, size, packed.data(), &packed_size, work.data())
                                               : lzo1x_1_compress(in, size, packed.data(), &packed_size, work.data());
        if (result != LZO_E_OK) {
            error = "compression failed: " + source.name_;
            return false;
        }
        if (4 + static_cast<uint64_t>(packed_size) + data.size() > INT32_MAX) {
            error = "pack would exceed 2 GiB";
            return false;
        }
        offsets.push_back(static_cast<int64_t>(data.size()));
        stored.push_back(static_cast<uint32_t>(4 + packed_size));
        put_le32(data, static_cast<uint32_t>(size));
        data.insert(data.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed_size));
    }
    uint64_t directory_size = 1;
    for (const PackSource& source : sources) directory_size += 1 + source.name_.size() + 8;
    const uint64_t total = data.size() + directory_size + kPackTrailerBytes;
    if (total > INT32_MAX) {
        error = "pack would exceed 2 GiB";
        return false;
    }
    // Positions count back from the end, so the same bytes work alone and after an executable.
    const int64_t end = static_cast<int64_t>(total);
    const int64_t directory_offset = static_cast<int64_t>(data.size());
    out = std::move(data);
    out.reserve(static_cast<size_t>(total));
    for (size_t i = 0; i < sources.size(); ++i) {
        out.push_back(static_cast<uint8_t>(sources[i].name_.size()));
        out.insert(out.end(), sources[i].name_.begin(), sources[i].name_.end());
        put_le32(out, static_cast<uint32_t>(offsets[i] - end));
        put_le32(out, stored[i]);
    }
    out.push_back(0);
    out.insert(out.end(), kPackMagic, kPackMagic + sizeof kPackMagic);
    put_le32(out, static_cast<uint32_t>(directory_offset - end));
    return true;
}

bool pack_start_offset(FileReader& pack, int64_t& start) {
    int32_t directory = 0;
    if (!pack_read_trailer(pack, directory)) return false;
    int64_t lowest = 0;
    if (!resolve_offset(directory, directory < 0, pack.size(), lowest)) return false;
    pack_walk(pack, [&](const PackEntry& entry) {
        if (entry.valid_) lowest = std::min(lowest, entry.offset_);
        return true;
    });
    start = lowest;
    return true;
}

}  // namespace rt
