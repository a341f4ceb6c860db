// Fuzzes the pack tool's reading of an existing pack: the checks behind list, verify and append
// (with the program part of an ELF file), and extraction into a scratch folder.
#define PACK_TOOL_NO_MAIN
#include <cstdlib>
#include <filesystem>
#include <random>

#include "fuzz/fuzz_support.h"
#include "tools/pack.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Extraction may write up to 256 x the input: keep inputs small.
    if (size > (1u << 16)) return 0;
    std::shared_ptr<std::vector<uint8_t>> block;
    const std::string name = fuzz::register_input(data, size, block);
    FileReader pack;
    if (!pack.open(name.c_str())) std::abort();
    std::FILE* sink = std::fopen("/dev/null", "w");
    if (!sink) std::abort();
    const pack_tool::Console console{sink, sink};

    pack_tool::list(console, "fuzz", pack);
    const int verified = pack_tool::verify(console, "fuzz", pack);

    // append replaces a pack only when verify passes, and never cuts into the program part.
    int64_t keep = -1;
    const bool planned = pack_tool::plan_cut(console, "fuzz", pack, false, keep);
    if (planned && keep < static_cast<int64_t>(size) &&
        (verified != 0 || keep < pack_tool::program_end(pack) || keep < 0)) {
        std::abort();
    }
    if (!pack_tool::plan_cut(console, "fuzz", pack, true, keep)) std::abort();

    // Each input extracts into a folder of its own, removed afterwards.
    std::error_code error;
    std::random_device random;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path(error) / ("pack_tool_fuzz." + std::to_string(random()));
    if (std::filesystem::create_directory(folder, error)) {
        const int extracted = pack_tool::extract(console, "fuzz", pack, folder.string(), false);
        if (extracted == 0 && verified != 0) std::abort();
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            // Every file lands inside the folder, as a regular file.
            if (!entry.is_regular_file() || entry.path().parent_path() != folder) std::abort();
        }
        std::filesystem::remove_all(folder, error);
    }
    std::fclose(sink);
    rt::memory_file_unregister(block->data());
    return 0;
}
