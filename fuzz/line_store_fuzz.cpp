// Fuzzes the line store's loading by the line rule with the file held as a memory file, then
// reads and writes of lines; checks the limits every line must keep.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "runtime/files/file_service.h"
#include "runtime/files/line_store.h"
#include "runtime/files/line_store_table.h"
#include "runtime/files/memory_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::shared_ptr<std::vector<uint8_t>> bytes;
    const std::string name = fuzz::register_input(data, size, bytes);
    const uint8_t* start = bytes->data();
    const RtString file(name.c_str());

    size_t total = 0;
    for (int32_t n = 0; n < rt::kLineStoreLines; ++n) {
        RtString line;
        if (line_store_read(file, n, line) != 0) std::abort();
        if (line.length() > rt::kLineStoreSlotBytes) std::abort();
        if (std::memchr(line.c_str(), '\n', line.length())) std::abort();
        total += line.length();
    }
    // The lines together never hold more than the file did.
    if (total > size + std::strlen("NO_DATA") * rt::kLineStoreLines) std::abort();
    if (rt::file_service().line_store_.last_line_ >= rt::kLineStoreLines) std::abort();

    double value = 0;
    line_store_read_real(file, size % 300, value);
    line_store_write(file, static_cast<double>(size % 256), RtString("written"));
    RtString back;
    line_store_read(file, static_cast<double>(size % 256), back);
    if (std::strcmp(back.c_str(), "written") != 0) std::abort();
    // Held under a memory file name: dropped at the next selection, never written.
    line_store_select(nullptr);
    rt::memory_file_unregister(start);
    return 0;
}
