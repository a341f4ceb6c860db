// RtString: the runtime's one text type, and the text commands of the generated code.
// A growable byte string with an owned, always 0-terminated buffer; every empty value shares
// one read-only empty text, so empty strings never allocate.
#pragma once

#include <cstddef>
#include <cstdint>

template <typename T>
class RtArray;

class RtString {
public:
    RtString() noexcept;
    RtString(const char* text);  // NOLINT(google-explicit-constructor): generated code mixes texts freely
    RtString(const char* bytes, uint32_t count);
    RtString(int32_t value);
    RtString(float value);
    RtString(double value);
    RtString(const RtString& other);
    RtString(RtString&& other) noexcept;
    ~RtString();

    RtString& operator=(const RtString& other);
    RtString& operator=(RtString&& other) noexcept;
    RtString& operator=(const char* text);

    const char* c_str() const noexcept { return buffer_; }
    uint32_t length() const noexcept { return length_; }
    uint32_t capacity() const noexcept { return capacity_; }
    bool empty() const noexcept { return length_ == 0; }
    char operator[](uint32_t index) const noexcept { return buffer_[index]; }

    // Makes room for n characters plus the terminator. Grows unless capacity > n + 1, to the smallest
    // multiple of 16 above n + 1; a size beyond 32 bits ends the program with "out of memory".
    // With keep the text survives; without it the buffer starts as an empty text and the caller
    // sets the length. n = 0 does nothing.
    void reserve(uint32_t n, bool keep);
    // Recounts the length after the buffer was written directly (see writable_buffer).
    void sync_length() noexcept;
    // Sets the length to n when 0 <= n < capacity; otherwise nothing.
    void set_length(int64_t n) noexcept;
    void clear() noexcept;
    // Reserves n characters (keeping the text) and hands out the buffer for direct writing;
    // finish with sync_length() or set_length(). Never the shared empty text, even for n = 0.
    char* writable_buffer(uint32_t n);

    RtString& append(const char* text);
    RtString& append(const char* bytes, uint32_t count);
    RtString& append(const RtString& text);
    RtString& append(int32_t value);
    RtString& append(float value);
    RtString& append(double value);

    void swap(RtString& other) noexcept;

    RtString& operator+=(const RtString& text) { return append(text); }
    RtString& operator+=(const char* text) { return append(text); }
    RtString& operator+=(int32_t value) { return append(value); }
    RtString& operator+=(double value) { return append(value); }

private:
    char* buffer_;
    uint32_t capacity_;
    uint32_t length_;
};

// ---- storage commands (free-function forms used by generated code) ----
void string_reserve(RtString& s, uint32_t n, bool keep);
void string_sync_length(RtString& s);
void string_set_length(RtString& s, int64_t n);
void string_clear(RtString& s);

// ---- appending and concatenation ----
void string_append(RtString& target, const char* text);
void string_append(RtString& target, const RtString& text);
void string_append(RtString& target, int32_t value);
void string_append(RtString& target, float value);
void string_append(RtString& target, double value);

RtString string_concat(const RtString& left, const RtString& right);
RtString string_concat(const RtString& left, const char* right);
RtString string_concat(const char* left, const RtString& right);
RtString string_concat(const RtString& left, int32_t right);
RtString string_concat(const RtString& left, float right);
RtString string_concat(const RtString& left, double right);
RtString string_concat(int32_t left, const RtString& right);
RtString string_concat(float left, const RtString& right);
RtString string_concat(double left, const RtString& right);
RtString string_concat(const char* left, int32_t right);
RtString string_concat(const char* left, double right);
RtString string_concat(int32_t left, const char* right);
RtString string_concat(double left, const char* right);

// ---- comparisons ----
// Byte-wise three-way comparison up to the first 0 byte (strcmp): <0, 0 or >0.
int string_compare(const RtString& a, const RtString& b);
int string_compare(const RtString& a, const char* b);
int string_compare(const char* a, const RtString& b);
// Text against number: the text is converted (integer rule against an integer, real rule
// against a real) and the numbers are compared; -1, 0 or 1.
int string_compare(const RtString& a, int32_t b);
int string_compare(const RtString& a, double b);
int string_compare(int32_t a, const RtString& b);
int string_compare(double a, const RtString& b);

// ---- text operations ----
RtString string_mid(const RtString& source, int32_t start, int32_t count);
RtString string_left(const RtString& source, int32_t count);
RtString string_right_from(const RtString& source, int32_t start);
int32_t string_find(const RtString& text, const RtString& searched, int32_t start);
RtString string_replace(const RtString& text, const RtString& searched, const RtString& replacement);
RtString string_to_lower(const RtString& text);
RtString string_to_upper(const RtString& text);
void string_to_lower_in_place(char* bytes, size_t count);
void string_to_upper_in_place(char* bytes, size_t count);
RtString string_from_char(int32_t code);
int32_t string_first_code(const RtString& text);
RtString string_format_fixed(double width, double decimals, double value);
RtString string_hex_bytes(const void* bytes, size_t count, bool upper);
RtString string_encrypt(const RtString& key, const RtString& data);
RtString string_decrypt(const RtString& key, const RtString& hex);
int32_t string_split(const RtString& text, const char* delimiters, RtArray<RtString>& out);

// ---- operators for the generated code ----
inline RtString operator+(const RtString& a, const RtString& b) { return string_concat(a, b); }
inline RtString operator+(const RtString& a, const char* b) { return string_concat(a, b); }
inline RtString operator+(const char* a, const RtString& b) { return string_concat(a, b); }
inline RtString operator+(const RtString& a, int32_t b) { return string_concat(a, b); }
inline RtString operator+(const RtString& a, double b) { return string_concat(a, b); }
inline RtString operator+(int32_t a, const RtString& b) { return string_concat(a, b); }
inline RtString operator+(double a, const RtString& b) { return string_concat(a, b); }

#define RT_STRING_COMPARE_OPS(A, B)                                                    \
    inline bool operator==(A a, B b) { return string_compare(a, b) == 0; }             \
    inline bool operator!=(A a, B b) { return string_compare(a, b) != 0; }             \
    inline bool operator<(A a, B b) { return string_compare(a, b) < 0; }               \
    inline bool operator>(A a, B b) { return string_compare(a, b) > 0; }               \
    inline bool operator<=(A a, B b) { return string_compare(a, b) <= 0; }             \
    inline bool operator>=(A a, B b) { return string_compare(a, b) >= 0; }
RT_STRING_COMPARE_OPS(const RtString&, const RtString&)
RT_STRING_COMPARE_OPS(const RtString&, const char*)
RT_STRING_COMPARE_OPS(const char*, const RtString&)
RT_STRING_COMPARE_OPS(const RtString&, int32_t)
RT_STRING_COMPARE_OPS(const RtString&, double)
RT_STRING_COMPARE_OPS(int32_t, const RtString&)
RT_STRING_COMPARE_OPS(double, const RtString&)
#undef RT_STRING_COMPARE_OPS
