// Fuzzes the pack reader: trailer, directory walk, entry checks and LZO1X extraction, through the
// resolver (to memory and to a temporary file) with the pack held as a memory file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "runtime/files/file_reader.h"
#include "runtime/files/memory_files.h"
#include "runtime/files/pack.h"
#include "runtime/files/resolver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    // An exact-size copy, so that any read past the input is caught.
    auto bytes = std::make_shared<std::vector<uint8_t>>(data, data + size);
    bytes->reserve(1);
    const uint8_t* start = bytes->capacity() > 0 ? bytes->data() : nullptr;
    if (!start) return 0;
    const std::string name = rt::memory_file_register(bytes, start, static_cast<uint32_t>(size));

    FileReader pack;
    if (!pack.open(name.c_str())) std::abort();
    std::vector<rt::PackEntry> entries;
    rt::pack_walk(pack, [&](const rt::PackEntry& entry) {
        entries.push_back(entry);
        return entries.size() < 16;
    });

    PackResolver resolver;
    resolver.set_pack(name.c_str());
    for (size_t i = 0; i < entries.size(); ++i) {
        const rt::PackEntry& entry = entries[i];
        rt::PackBlock block;
        const bool extracted = rt::pack_extract(pack, entry, block);
        if (extracted && !block.bytes_) std::abort();
        if (!entry.valid_ && extracted) std::abort();
        // Through the resolver, the way loaders ask: "pack:" keeps the name off the disk lookup.
        std::string requested = "pack:/" + entry.name_;
        std::string out;
        const bool want_memory = (i % 4) != 3;
        if (path_resolve(resolver, requested.c_str(), out, want_memory)) {
            FileReader reader;
            if (!reader.open(out.c_str())) std::abort();
            std::vector<uint8_t> copy(static_cast<size_t>(reader.size()) + 1);
            if (!reader.read(copy.data(), reader.size())) std::abort();
        }
    }
    std::string out;
    path_resolve(resolver, "pack:/no such entry", out, true);
    resolver.release();
    rt::memory_file_unregister(start);
    return 0;
}
