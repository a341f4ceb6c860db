// Reading, checking and building packs. Every position and size read from a pack is checked against the
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

// One directory record (name, position, stored size; length bytes of name) as an entry.
void decode_record(const uint8_t* record, uint8_t length, bool from_end, int64_t file_size, PackEntry& entry) {
    entry.name_.assign(reinterpret_cast<const char*>(record), length);
    entry.raw_position_ = read_le32(record + length);
    entry.stored_size_ = static_cast<uint32_t>(read_le32(record + length + 4));
    entry.valid_ = resolve_offset(entry.raw_position_, from_end, file_size, entry.offset_) && entry.stored_size_ >= 4 &&
                   entry.offset_ + static_cast<int64_t>(entry.stored_size_) <= file_size;
    if (!entry.valid_) entry.offset_ = 0;
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
        decode_record(record, length, from_end, file_size, entry);
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

bool pack_name_check(std::string_view name, std::string& error) {
    if (name.empty() || name.size() > 255) {
        error = "entry name must be 1 to 255 bytes: \"" + std::string(name) + "\"";
        return false;
    }
    if (name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
        error = "entry name must not contain a slash, backslash or 0 byte: \"" + std::string(name) + "\"";
        return false;
    }
    return true;
}

bool pack_compress(const uint8_t* bytes, size_t size, PackLevel level, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    if (size > kPackMaxUnpacked) {
        error = "entry too large (limit 1 GiB)";
        return false;
    }
    if (lzo_init() != LZO_E_OK) {
        error = "LZO initialisation failed";
        return false;
    }
    std::vector<uint8_t> work(level == PackLevel::kBest ? LZO1X_999_MEM_COMPRESS : LZO1X_1_MEM_COMPRESS);
    // LZO1X output never exceeds size + size / 16 + 64 + 3 bytes.
    out.resize(4 + size + size / 16 + 64 + 3);
    lzo_uint packed_size = out.size() - 4;
    const uint8_t* in = size > 0 ? bytes : out.data();
    const int result = level == PackLevel::kBest
                           ? lzo1x_999_compress(in, size, out.data() + 4, &packed_size, work.data())
                           : lzo1x_1_compress(in, size, out.data() + 4, &packed_size, work.data());
    if (result != LZO_E_OK) {
        out.clear();
        error = "compression failed";
        return false;
    }
    out.resize(4 + packed_size);
    for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
    return true;
}

bool pack_directory(const std::vector<PackPlaced>& entries, int64_t data_size, std::vector<uint8_t>& out,
                    std::string& error) {
    out.clear();
    uint64_t directory_size = 1;
    for (const PackPlaced& entry : entries) directory_size += 1 + entry.name_.size() + 8;
    const uint64_t total = static_cast<uint64_t>(data_size) + directory_size + kPackTrailerBytes;
    if (data_size < 0 || total > INT32_MAX) {
        error = "pack would exceed 2 GiB";
        return false;
    }
    const int64_t end = static_cast<int64_t>(total);
    out.reserve(static_cast<size_t>(directory_size + kPackTrailerBytes));
    for (const PackPlaced& entry : entries) {
        out.push_back(static_cast<uint8_t>(entry.name_.size()));
        out.insert(out.end(), entry.name_.begin(), entry.name_.end());
        put_le32(out, static_cast<uint32_t>(entry.offset_ - end));
        put_le32(out, entry.stored_size_);
    }
    out.push_back(0);
    out.insert(out.end(), kPackMagic, kPackMagic + sizeof kPackMagic);
    put_le32(out, static_cast<uint32_t>(data_size - end));
    return true;
}

bool pack_build(const std::vector<PackSource>& sources, PackLevel level, std::vector<uint8_t>& out,
                std::string& error) {
    out.clear();
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string& name = sources[i].name_;
        if (!pack_name_check(name, error)) return false;
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
    std::vector<uint8_t> data;
    std::vector<PackPlaced> placed;
    std::vector<uint8_t> stored;
    for (const PackSource& source : sources) {
        if (!pack_compress(source.bytes_.data(), source.bytes_.size(), level, stored, error)) {
            error += ": " + source.name_;
            return false;
        }
        if (stored.size() + data.size() > INT32_MAX) {
            error = "pack would exceed 2 GiB";
            return false;
        }
        placed.push_back({source.name_, static_cast<int64_t>(data.size()), static_cast<uint32_t>(stored.size())});
        data.insert(data.end(), stored.begin(), stored.end());
    }
    std::vector<uint8_t> tail;
    if (!pack_directory(placed, static_cast<int64_t>(data.size()), tail, error)) return false;
    out = std::move(data);
    out.insert(out.end(), tail.begin(), tail.end());
    return true;
}

bool PackCheck::sound() const {
    if (!found_ || !directory_problem_.empty()) return false;
    for (const PackCheckedEntry& checked : entries_) {
        if (!checked.problem_.empty()) return false;
    }
    return true;
}

namespace {

std::string byte_text(int64_t at) { return "byte " + std::to_string(at); }

// Reads the directory records into out.entries_ and sets the directory's extent and problem.
void check_directory(FileReader& pack, int64_t floor, int32_t directory, PackCheck& out) {
    const int64_t file_size = pack.size();
    const int64_t trailer = file_size - kPackTrailerBytes;
    const bool from_end = directory < 0;
    if (!resolve_offset(directory, from_end, file_size, out.directory_offset_) || out.directory_offset_ >= trailer) {
        out.directory_offset_ = out.directory_end_ = trailer;
        out.directory_problem_ = "directory position " + std::to_string(directory) + " lies outside the pack";
        return;
    }
    int64_t at = out.directory_offset_;
    uint8_t record[255 + 8];
    bool ended = false;
    bool too_many = false;
    while (at < trailer) {
        uint8_t length = 0;
        if (pack.read_at(at, &length, 1) != 1) break;
        if (length == 0) {
            ended = true;
            ++at;
            break;
        }
        const int64_t need = static_cast<int64_t>(length) + 8;
        if (at + 1 + need > trailer || pack.read_at(at + 1, record, need) != need) break;
        if (out.entries_.size() >= kPackMaxEntries) {
            too_many = true;
            break;
        }
        at += 1 + need;
        PackCheckedEntry checked;
        decode_record(record, length, from_end, file_size, checked.entry_);
        out.entries_.push_back(std::move(checked));
    }
    out.directory_end_ = at;
    if (too_many) {
        out.directory_problem_ = "directory holds more than " + std::to_string(kPackMaxEntries) + " entries";
    } else if (!ended) {
        out.directory_problem_ = "directory cut short after " + std::to_string(out.entries_.size()) +
                                 " entries: no end marker before the trailer";
    }
    if (out.directory_offset_ < floor) {
        if (!out.directory_problem_.empty()) out.directory_problem_ += "; ";
        out.directory_problem_ += "directory at " + byte_text(out.directory_offset_) +
                                  " lies inside the program, which ends at " + byte_text(floor);
    }
}

// A byte range [begin_, end_) of the pack; owner_ is the entry's index, or -1 for the directory
// and the trailer.
struct Span {
    int64_t begin_;
    int64_t end_;
    int64_t owner_;
};

}  // namespace

void pack_check(FileReader& pack, int64_t floor, bool decompress, PackCheck& out) {
    out = PackCheck{};
    int32_t directory = 0;
    if (!pack_read_trailer(pack, directory)) return;
    out.found_ = true;
    const int64_t file_size = pack.size();
    const int64_t trailer = file_size - kPackTrailerBytes;
    check_directory(pack, floor, directory, out);

    // Each entry on its own: inside the file, after the program, clear of directory and trailer.
    std::vector<Span> spans;
    for (size_t i = 0; i < out.entries_.size(); ++i) {
        PackCheckedEntry& checked = out.entries_[i];
        const PackEntry& entry = checked.entry_;
        if (!entry.valid_) {
            checked.problem_ = "position " + std::to_string(entry.raw_position_) + " with " +
                               std::to_string(entry.stored_size_) + " stored bytes lies outside the file";
            continue;
        }
        const int64_t begin = entry.offset_;
        const int64_t end = begin + static_cast<int64_t>(entry.stored_size_);
        spans.push_back({begin, end, static_cast<int64_t>(i)});
        uint8_t head[4];
        if (pack.read_at(begin, head, 4) == 4) {
            checked.unpacked_size_ = static_cast<uint32_t>(read_le32(head));
            checked.head_read_ = true;
        }
        const uint64_t compressed = entry.stored_size_ - 4u;
        if (begin < floor) {
            checked.problem_ =
                "starts at " + byte_text(begin) + ", inside the program, which ends at " + byte_text(floor);
        } else if (end > trailer) {
            checked.problem_ = "reaches into the trailer";
        } else if (begin < out.directory_end_ && end > out.directory_offset_) {
            checked.problem_ = "overlaps the directory";
        } else if (!checked.head_read_ || checked.unpacked_size_ > kPackMaxUnpacked ||
                   checked.unpacked_size_ > compressed * kPackMaxExpansion) {
            checked.problem_ = "states " + std::to_string(checked.unpacked_size_) + " unpacked bytes, more than " +
                               std::to_string(compressed) + " compressed bytes can hold";
        }
    }

    // Entries against each other: in order of position, each against the furthest-reaching one
    // before it.
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
        return a.begin_ != b.begin_ ? a.begin_ < b.begin_ : a.end_ < b.end_;
    });
    int64_t reach = -1;
    int64_t reacher = -1;
    for (const Span& span : spans) {
        if (span.begin_ < reach) {
            PackCheckedEntry& a = out.entries_[static_cast<size_t>(reacher)];
            PackCheckedEntry& b = out.entries_[static_cast<size_t>(span.owner_)];
            if (a.problem_.empty()) a.problem_ = "overlaps entry \"" + b.entry_.name_ + "\"";
            if (b.problem_.empty()) b.problem_ = "overlaps entry \"" + a.entry_.name_ + "\"";
        }
        if (span.end_ > reach) {
            reach = span.end_;
            reacher = span.owner_;
        }
    }

    if (decompress) {
        for (PackCheckedEntry& checked : out.entries_) {
            if (!checked.problem_.empty()) continue;
            PackBlock block;
            if (!pack_extract(pack, checked.entry_, block)) {
                checked.problem_ =
                    "does not decompress to its stated " + std::to_string(checked.unpacked_size_) + " bytes";
            }
        }
    }

    // The pack's extent, and the bytes in it that no part of the pack claims.
    out.start_ = out.directory_offset_;
    for (const Span& span : spans) out.start_ = std::min(out.start_, span.begin_);
    spans.push_back({out.directory_offset_, out.directory_end_, -1});
    spans.push_back({trailer, file_size, -1});
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin_ < b.begin_; });
    int64_t covered = 0;
    int64_t covered_to = out.start_;
    for (const Span& span : spans) {
        const int64_t begin = std::max(span.begin_, covered_to);
        if (span.end_ > begin) {
            covered += span.end_ - begin;
            covered_to = span.end_;
        }
    }
    out.unaccounted_ = (file_size - out.start_) - covered;
}

}  // namespace rt
