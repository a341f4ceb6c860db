// Fuzzes the settings parser with the file held as a memory file, then lookups and puts; checks
// that the written form of a parsed table parses back to the same written form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "fuzz_support.h"
#include "runtime/files/file_reader.h"
#include "runtime/files/file_service.h"
#include "runtime/files/memory_files.h"
#include "runtime/files/settings.h"
#include "runtime/files/settings_table.h"

namespace {

std::string parse_and_format(const std::string& text) {
    auto bytes = std::make_shared<std::string>(text);
    const uint8_t* start = reinterpret_cast<const uint8_t*>(bytes->data());
    const std::string name = rt::memory_file_register(bytes, start, static_cast<uint32_t>(bytes->size()));
    FileReader reader;
    if (!reader.open(name.c_str())) std::abort();
    rt::SettingsTable table;
    rt::settings_parse(reader, table);
    rt::memory_file_unregister(start);
    return rt::settings_format(table);
}

// True when every line of text fits one read of the line rule.
bool lines_fit(const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end - start + 1 > 1000) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::shared_ptr<std::vector<uint8_t>> bytes;
    const std::string name = fuzz::register_input(data, size, bytes);
    const uint8_t* start = bytes->data();

    settings_open(RtString(name.c_str()));
    const rt::SettingsTable& table = rt::file_service().settings_;
    // Sections merge by name ignoring case while parsing: each name is held once.
    std::unordered_set<std::string> names;
    for (const rt::SettingsSection& section : table.sections_) {
        std::string lower = section.name_;
        for (char& c : lower) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        }
        if (!names.insert(lower).second) std::abort();
    }
    if (!table.sections_.empty()) {
        const rt::SettingsSection& first = table.sections_.front();
        RtString section(first.name_.c_str());
        if (!first.entries_.empty()) {
            RtString key(first.entries_.front().key_.c_str());
            settings_get(section, key, RtString("default"));
            settings_put(section, key, RtString(""));
            settings_put(section, key, RtString("value"));
        }
        settings_put(section, RtString(""), RtString(""));
    }
    settings_put(RtString("New"), RtString("key"), RtString("v"));
    settings_get(RtString("new"), RtString("KEY"), RtString(""));

    const std::string once = rt::settings_format(rt::file_service().settings_);
    if (lines_fit(once) && parse_and_format(once) != once) std::abort();
    // A table held under a memory file name is dropped, never written.
    settings_open(RtString(""));
    rt::memory_file_unregister(start);
    return 0;
}
