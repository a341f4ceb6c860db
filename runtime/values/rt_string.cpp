// RtString storage (the shared empty text, growth in 16-byte steps, deep copies) and the text
// commands of the generated code: concatenation, comparison, slicing, search, replacement, case,
// fixed-point and hex formatting, and splitting into a string array.
#include "runtime/values/rt_string.h"

#include <bit>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "runtime/arrays/rt_array.h"
#include "runtime/core/errors.h"
#include "runtime/values/numbers.h"
#include "runtime/values/truncate.h"

namespace rt {
namespace {

// The text every empty value points at (capacity 0). Never written: every write goes through
// reserve first, which swaps in an owned buffer.
constexpr char kEmptyText[1] = {0};

char* shared_empty() noexcept { return const_cast<char*>(kEmptyText); }

// Capacity for m bytes (text and terminator): the smallest multiple of 16 above m.
uint32_t capacity_for(uint64_t m) {
    const uint64_t capacity = (m & ~uint64_t{15}) + 16;
    if (capacity > UINT32_MAX) fatal(kErrOutOfMemory);
    return static_cast<uint32_t>(capacity);
}

// Bytes allocated for a buffer of the given capacity; every owned buffer has exactly this many.
// Up to 256 bytes the capacity itself; above, the capacity rounded up to the next quarter of its
// power of two (320, 384, 448, 512, 640, ...). A text growing in 16-byte steps then reallocates
// only when it outgrows its block, which is a quarter larger each time, so a long run of appends
// costs amortised constant time per byte on any allocator instead of one realloc (and, where the
// allocator cannot grow in place, one copy of the whole text) per 16 bytes. The capacity a text
// reports keeps its 16-byte steps; the rest of the block is room for the next ones.
size_t block_for(uint32_t capacity) {
    if (capacity <= 256) return capacity;
    const uint64_t step = std::bit_floor(uint64_t{capacity} - 1) / 4;
    return static_cast<size_t>((uint64_t{capacity} + step - 1) & ~(step - 1));
}

char* allocate(uint32_t capacity) {
    auto* bytes = static_cast<char*>(std::malloc(block_for(capacity)));
    if (!bytes) fatal(kErrOutOfMemory);
    return bytes;
}

// Grows a buffer of capacity old_capacity to capacity: within its block when that has room,
// else in place where the allocator can, else by moving it.
char* grow(char* buffer, uint32_t old_capacity, uint32_t capacity) {
    const size_t block = block_for(capacity);
    if (block == block_for(old_capacity)) return buffer;
    auto* bytes = static_cast<char*>(std::realloc(buffer, block));
    if (!bytes) fatal(kErrOutOfMemory);
    return bytes;
}

// Lengths are 32-bit: a longer C text cannot be held at all.
uint32_t checked_length(size_t n) {
    if (n > UINT32_MAX) fatal(kErrOutOfMemory);
    return static_cast<uint32_t>(n);
}

uint32_t measure(const char* text) { return text ? checked_length(std::strlen(text)) : 0; }

// left followed by right in one allocation, with the capacity a copy of left followed by an
// append of right would end with.
RtString concat_bytes(const char* left, uint32_t left_count, const char* right, uint32_t right_count) {
    const uint64_t total = uint64_t{left_count} + right_count;
    if (total == 0) return RtString();
    if (total > UINT32_MAX) fatal(kErrOutOfMemory);
    const uint64_t left_capacity = left_count ? capacity_for(uint64_t{left_count} + 1) : 0;
    RtString result;
    char* out = result.writable_buffer(left_capacity > total + 1 ? left_count : static_cast<uint32_t>(total));
    if (left_count) std::memcpy(out, left, left_count);
    if (right_count) std::memcpy(out + left_count, right, right_count);
    result.set_length(static_cast<int64_t>(total));
    return result;
}

int three_way(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

}  // namespace rt

// ---- storage ----

RtString::RtString() noexcept : buffer_(rt::shared_empty()), capacity_(0), length_(0) {}

RtString::RtString(const char* text) : RtString(text, rt::measure(text)) {}

RtString::RtString(const char* bytes, uint32_t count) : RtString() {
    if (count == 0 || !bytes) return;
    reserve(count, false);
    std::memcpy(buffer_, bytes, count);
    length_ = count;
    buffer_[count] = 0;
}

RtString::RtString(int32_t value) : RtString() {
    RtString text = string_from_int(value);
    swap(text);
}

RtString::RtString(float value) : RtString(static_cast<double>(value)) {}

RtString::RtString(double value) : RtString() {
    RtString text = string_from_real(value);
    swap(text);
}

RtString::RtString(const RtString& other) : RtString(other.buffer_, other.length_) {}

RtString::RtString(RtString&& other) noexcept : RtString() { swap(other); }

RtString::~RtString() {
    if (capacity_ != 0) std::free(buffer_);
    buffer_ = nullptr;
    capacity_ = 0;
    length_ = 0;
}

RtString& RtString::operator=(const RtString& other) {
    RtString copy(other);
    swap(copy);
    return *this;
}

RtString& RtString::operator=(RtString&& other) noexcept {
    swap(other);
    return *this;
}

RtString& RtString::operator=(const char* text) {
    RtString copy(text);
    swap(copy);
    return *this;
}

void RtString::reserve(uint32_t n, bool keep) {
    if (n == 0) return;
    // Growth keeps at least one byte spare beyond the terminator: a buffer of exactly m bytes is
    // replaced too (a 14-character text of capacity 16 grows to 32 on a 15th character).
    const uint64_t m = uint64_t{n} + 1;
    if (capacity_ > m) return;
    const uint32_t capacity = rt::capacity_for(m);
    if (keep && length_ != 0) {
        // Never a fresh buffer and a copy of the text on every 16-byte step: that would make long
        // runs of appends quadratic.
        buffer_ = rt::grow(buffer_, capacity_, capacity);
        capacity_ = capacity;
        return;
    }
    char* fresh = rt::allocate(capacity);
    fresh[0] = 0;
    // The old length would point past the terminator into bytes never written.
    length_ = 0;
    if (capacity_ != 0) std::free(buffer_);
    buffer_ = fresh;
    capacity_ = capacity;
}

void RtString::sync_length() noexcept {
    const uint32_t count = capacity_ ? static_cast<uint32_t>(strnlen(buffer_, capacity_)) : 0;
    if (count == capacity_ && count != 0) {
        length_ = capacity_ - 1;
        buffer_[length_] = 0;
    } else {
        length_ = count;
    }
}

void RtString::set_length(int64_t n) noexcept {
    if (n < 0 || n >= capacity_) return;
    length_ = static_cast<uint32_t>(n);
    buffer_[length_] = 0;
}

void RtString::clear() noexcept {
    RtString empty;
    swap(empty);
}

char* RtString::writable_buffer(uint32_t n) {
    // Even for n = 0 the caller gets a buffer it may write a terminator into, never the shared
    // read-only text.
    reserve(n == 0 && capacity_ == 0 ? 1 : n, true);
    return buffer_;
}

RtString& RtString::append(const char* text) { return append(text, rt::measure(text)); }

RtString& RtString::append(const char* bytes, uint32_t count) {
    if (count == 0 || !bytes) return *this;
    const uint64_t total = uint64_t{length_} + count;
    if (capacity_ <= total + 1) {
        // bytes may lie inside this text (s.append(s)), whose buffer growing may move.
        const auto at = reinterpret_cast<uintptr_t>(bytes);
        const auto base = reinterpret_cast<uintptr_t>(buffer_);
        const bool inside = capacity_ != 0 && at >= base && at < base + capacity_;
        reserve(static_cast<uint32_t>(total), true);
        if (inside) bytes = buffer_ + (at - base);
    }
    std::memmove(buffer_ + length_, bytes, count);
    length_ = static_cast<uint32_t>(total);
    buffer_[length_] = 0;
    return *this;
}

RtString& RtString::append(const RtString& text) { return append(text.buffer_, text.length_); }

RtString& RtString::append(int32_t value) { return append(string_from_int(value)); }

RtString& RtString::append(float value) { return append(string_from_real(value)); }

RtString& RtString::append(double value) { return append(string_from_real(value)); }

void RtString::swap(RtString& other) noexcept {
    std::swap(buffer_, other.buffer_);
    std::swap(capacity_, other.capacity_);
    std::swap(length_, other.length_);
}

void string_reserve(RtString& s, uint32_t n, bool keep) { s.reserve(n, keep); }
void string_sync_length(RtString& s) { s.sync_length(); }
void string_set_length(RtString& s, int64_t n) { s.set_length(n); }
void string_clear(RtString& s) { s.clear(); }

// ---- appending and concatenation ----

void string_append(RtString& target, const char* text) { target.append(text); }
void string_append(RtString& target, const RtString& text) { target.append(text); }
void string_append(RtString& target, int32_t value) { target.append(value); }
void string_append(RtString& target, float value) { target.append(value); }
void string_append(RtString& target, double value) { target.append(value); }

RtString string_concat(const RtString& left, const RtString& right) {
    return rt::concat_bytes(left.c_str(), left.length(), right.c_str(), right.length());
}
RtString string_concat(const RtString& left, const char* right) {
    return rt::concat_bytes(left.c_str(), left.length(), right, rt::measure(right));
}
RtString string_concat(const char* left, const RtString& right) {
    return rt::concat_bytes(left, rt::measure(left), right.c_str(), right.length());
}
RtString string_concat(const RtString& left, int32_t right) { return string_concat(left, string_from_int(right)); }
RtString string_concat(const RtString& left, float right) { return string_concat(left, string_from_real(right)); }
RtString string_concat(const RtString& left, double right) { return string_concat(left, string_from_real(right)); }
RtString string_concat(int32_t left, const RtString& right) { return string_concat(string_from_int(left), right); }
RtString string_concat(float left, const RtString& right) { return string_concat(string_from_real(left), right); }
RtString string_concat(double left, const RtString& right) { return string_concat(string_from_real(left), right); }
RtString string_concat(const char* left, int32_t right) { return string_concat(left, string_from_int(right)); }
RtString string_concat(const char* left, double right) { return string_concat(left, string_from_real(right)); }
RtString string_concat(int32_t left, const char* right) { return string_concat(string_from_int(left), right); }
RtString string_concat(double left, const char* right) { return string_concat(string_from_real(left), right); }

// ---- comparisons ----

int string_compare(const RtString& a, const RtString& b) { return std::strcmp(a.c_str(), b.c_str()); }
int string_compare(const RtString& a, const char* b) { return std::strcmp(a.c_str(), b ? b : ""); }
int string_compare(const char* a, const RtString& b) { return std::strcmp(a ? a : "", b.c_str()); }

int string_compare(const RtString& a, int32_t b) {
    const int32_t value = string_to_int(a);
    return value < b ? -1 : (value > b ? 1 : 0);
}
int string_compare(const RtString& a, double b) { return rt::three_way(string_to_real(a), b); }
int string_compare(int32_t a, const RtString& b) { return -string_compare(b, a); }
int string_compare(double a, const RtString& b) { return -string_compare(b, a); }

// ---- text operations ----

RtString string_mid(const RtString& source, int32_t start, int32_t count) {
    const int64_t length = source.length();
    int64_t n = count < 0 ? length : count;
    if (int64_t{start} + n > length) n = length - start;
    // A negative start is not clamped: it gives the empty text.
    if (n <= 0 || start >= length || start < 0) return RtString();
    return RtString(source.c_str() + start, static_cast<uint32_t>(n));
}

RtString string_left(const RtString& source, int32_t count) { return string_mid(source, 0, count); }

RtString string_right_from(const RtString& source, int32_t start) {
    const uint32_t length = source.length();
    return string_mid(source, start, length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length));
}

int32_t string_find(const RtString& text, const RtString& searched, int32_t start) {
    // Stepping over the first start bytes must not cross the terminator; start == length is
    // allowed (an empty searched text is found there).
    if (start < 0) return -1;
    const char* base = text.c_str();
    if (strnlen(base, static_cast<size_t>(start)) < static_cast<size_t>(start)) return -1;
    const char* found = std::strstr(base + start, searched.c_str());
    return found ? static_cast<int32_t>(found - base) : -1;
}

RtString string_replace(const RtString& text, const RtString& searched, const RtString& replacement) {
    // An empty searched text would match everywhere without advancing: the text stays as it is.
    if (searched.empty()) return text;
    // One pass from left to right: each occurrence in the original text is replaced once, and
    // replacement text is never searched again. Searching ends at the text's first 0 byte.
    const char* source = text.c_str();
    const char* end = source + text.length();
    const char* found = std::strstr(source, searched.c_str());
    if (!found) return text;
    RtString result;
    const char* from = source;
    while (found) {
        result.append(from, static_cast<uint32_t>(found - from));
        result.append(replacement);
        from = found + searched.length();
        found = std::strstr(from, searched.c_str());
    }
    result.append(from, static_cast<uint32_t>(end - from));
    return result;
}

void string_to_lower_in_place(char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] >= 'A' && bytes[i] <= 'Z') bytes[i] = static_cast<char>(bytes[i] + 32);
    }
}

void string_to_upper_in_place(char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] >= 'a' && bytes[i] <= 'z') bytes[i] = static_cast<char>(bytes[i] - 32);
    }
}

RtString string_to_lower(const RtString& text) {
    RtString copy(text);
    if (!copy.empty()) string_to_lower_in_place(copy.writable_buffer(copy.length()), copy.length());
    return copy;
}

RtString string_to_upper(const RtString& text) {
    RtString copy(text);
    if (!copy.empty()) string_to_upper_in_place(copy.writable_buffer(copy.length()), copy.length());
    return copy;
}

RtString string_from_char(int32_t code) {
    // The low 8 bits; code 0 still gives a text of length 1 (its one byte is 0).
    const char byte = static_cast<char>(code & 0xff);
    return RtString(&byte, 1);
}

int32_t string_first_code(const RtString& text) {
    return text.empty() ? 0 : static_cast<unsigned char>(text.c_str()[0]);
}

RtString string_format_fixed(double width, double decimals, double value) {
    // Width and precision as printf's "%W.Df". Both are bounded so that NaN and huge values stay
    // defined; beyond the bounds the visible 128 characters would not change. A negative
    // precision is taken as none given (six decimals), as printf does for "*".
    constexpr int32_t kLimit = 4096;
    constexpr uint32_t kReserved = 128;  // characters; longer results are cut
    int32_t w = rt::truncate_to_int32(width);
    int32_t d = rt::truncate_to_int32(decimals);
    w = w < -kLimit ? -kLimit : (w > kLimit ? kLimit : w);
    d = d > kLimit ? kLimit : d;
    RtString text;
    char* out = text.writable_buffer(kReserved);
    rt::format_c_locale(out, kReserved + 1, "%*.*f", w, d, value);
    text.sync_length();
    return text;
}

RtString string_hex_bytes(const void* bytes, size_t count, bool upper) {
    if (count == 0) return RtString();
    if (count > UINT32_MAX / 2) rt::fatal(kErrOutOfMemory);
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    const auto* in = static_cast<const unsigned char*>(bytes);
    const auto n = static_cast<uint32_t>(count * 2);
    RtString text;
    char* out = text.writable_buffer(n);
    for (size_t i = 0; i < count; ++i) {
        out[2 * i] = digits[in[i] >> 4];
        out[2 * i + 1] = digits[in[i] & 15];
    }
    text.set_length(n);
    return text;
}

int32_t string_split(const RtString& text, const char* delimiters, RtArray<RtString>& out) {
    array_redim(out, 0, 0, 0, 0);
    const char* delims = delimiters ? delimiters : "";
    const char* at = text.c_str();
    int32_t tokens = 0;
    for (;;) {
        at += std::strspn(at, delims);
        if (*at == 0) break;
        const size_t run = std::strcspn(at, delims);
        array_append(out, RtString(at, static_cast<uint32_t>(run)));
        ++tokens;
        at += run;
    }
    return tokens;
}
