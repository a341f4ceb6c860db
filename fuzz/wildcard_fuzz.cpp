// Fuzzes the listing's wildcard test: the input is a pattern and a name separated by the first
// line feed (a lone input is matched against itself and a fixed name).
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/files/dir_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\n');
    const std::string pattern = input.substr(0, split);
    const std::string name = split == std::string::npos ? input : input.substr(split + 1);
    text_match_wildcard(pattern.c_str(), name.c_str());
    text_match_wildcard(pattern.c_str(), "map01.map");
    return 0;
}
