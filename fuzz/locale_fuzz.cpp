// Fuzzes the reading of locale names (LC_ALL, LC_MESSAGES, LANG values) into language answers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "runtime/files/platform_queries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view locale(reinterpret_cast<const char*>(data), size);
    const uint16_t id = rt::locale_language_id(locale);
    const RtString answer = rt::locale_answer(id);
    if (answer.length() != 2) std::abort();
    return 0;
}
