// The number <-> text rules every command shares (decimal integers, reals to 10 significant
// digits, atoi/atof parsing) kept independent of the process locale, and the inline data lists.
#include "runtime/values/numbers.h"

#include <locale.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "runtime/core/errors.h"
#include "runtime/values/value_service.h"
#include "runtime/values/truncate.h"

namespace rt {

namespace {

// Switches the calling thread to the "C" locale for its lifetime. newlocale of "C" hands back
// the C library's built-in object, so this costs no allocation. If the switch fails, the
// process locale stays in force.
class CLocaleScope {
public:
    CLocaleScope() noexcept : c_locale_(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0))) {
        if (c_locale_) previous_ = uselocale(c_locale_);
    }
    ~CLocaleScope() {
        if (previous_) uselocale(previous_);
        if (c_locale_) freelocale(c_locale_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t c_locale_;
    locale_t previous_ = static_cast<locale_t>(0);
};

}  // namespace

int format_c_locale(char* out, size_t size, const char* format, ...) {
    CLocaleScope scope;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(out, size, format, args);
    va_end(args);
    return written;
}

double parse_real_c_locale(const char* text) {
    if (!text) return 0.0;
    CLocaleScope scope;
    return std::strtod(text, nullptr);
}

long parse_long_c_locale(const char* text) {
    if (!text) return 0;
    CLocaleScope scope;
    return std::strtol(text, nullptr, 10);
}

}  // namespace rt

RtString string_from_int(int32_t value) {
    // Right to left into a local buffer: 10 digits and a sign at most.
    char digits[12];
    char* at = digits + sizeof digits;
    // The magnitude in unsigned arithmetic, so INT32_MIN needs no special case.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        *--at = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--at = '-';
    return RtString(at, static_cast<uint32_t>(digits + sizeof digits - at));
}

RtString string_from_real(double value) {
    RtString text;
    char* out = text.writable_buffer(63);
    // "%.10g" gives the 10-digit shortest form: no fraction zeros, never a trailing ".", and
    // exponential form below 1e-4 and from 1e10 on. Only negative zero needs mending ("-0").
    if (value == 0.0) {
        out[0] = '0';
        out[1] = 0;
    } else {
        rt::format_c_locale(out, 64, "%.10g", value);
    }
    text.sync_length();
    return text;
}

int32_t string_to_int(const char* text) {
    // atoi's rules; out-of-range values saturate instead of being undefined.
    const long value = rt::parse_long_c_locale(text);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int32_t string_to_int(const RtString& text) { return string_to_int(text.c_str()); }

double string_to_real(const char* text) { return rt::parse_real_c_locale(text); }

double string_to_real(const RtString& text) { return string_to_real(text.c_str()); }

int32_t number_text_length(int32_t value) { return static_cast<int32_t>(string_from_int(value).length()); }

int32_t number_text_length(double value) { return static_cast<int32_t>(string_from_real(value).length()); }

// ---- data lists ----

void data_restore(DataBlock& block) {
    block.read_index = 0;
    rt::value_service().data_current = &block;
}

namespace rt {

namespace {

// The next item of the current block; no block or no item left ends the program ("out of data").
const DataItem& data_next() {
    DataBlock* block = value_service().data_current;
    if (!block || !block->items || block->read_index < 0 || block->read_index >= block->count) {
        fatal(kErrOutOfData);
    }
    return block->items[block->read_index++];
}

}  // namespace

}  // namespace rt

void data_read_text(RtString& out) {
    const DataItem& item = rt::data_next();
    RtString value = item.text ? RtString(item.text) : string_from_real(item.value);
    out.swap(value);
}

void data_read_real(double& out) {
    const DataItem& item = rt::data_next();
    out = item.text ? string_to_real(item.text) : item.value;
}

void data_read_int(int32_t& out) {
    double value;
    data_read_real(value);
    out = rt::truncate_to_int32(value);
}
