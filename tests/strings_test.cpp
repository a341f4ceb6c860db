// RtString storage rules, the text commands, splitting into arrays and the block cipher.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "runtime/arrays/rt_array.h"
#include "runtime/values/blowfish.h"
#include "runtime/values/rt_string.h"
#include "support/test_support.h"

// Failure messages show the text rather than the object's bytes.
void PrintTo(const RtString& s, std::ostream* os) { *os << '"' << std::string(s.c_str(), s.length()) << '"'; }

TEST(StringStorage, EmptyValuesShareOneReadOnlyText) {
    RtString a;
    RtString b("");
    RtString c(a);
    RtString d("abc");
    d.clear();
    RtString e;
    e.append("");
    RtString moved("moved");
    RtString f(std::move(moved));
    for (const RtString* s : {&a, &b, &c, &d, &e, &moved}) {
        EXPECT_EQ(s->capacity(), 0u);
        EXPECT_EQ(s->length(), 0u);
        EXPECT_EQ(s->c_str(), a.c_str());
    }
    // Even a request for no characters hands out a buffer that may be written.
    char* p = e.writable_buffer(0);
    p[0] = '\0';
    EXPECT_NE(e.c_str(), a.c_str());
}

TEST(StringStorage, CapacityGrowsInSixteenByteSteps) {
    RtString s14("abcdefghijklmn");
    EXPECT_EQ(s14.capacity(), 16u);
    EXPECT_EQ(RtString("abcdefghijklmno").capacity(), 32u);
    EXPECT_EQ(RtString("abcdefghijklmnop").capacity(), 32u);

    s14.append("z");
    EXPECT_EQ(s14.capacity(), 32u);
    EXPECT_EQ(s14, "abcdefghijklmnz");
    const char* before = s14.c_str();
    s14.append("0123456789");  // still fits: same buffer
    EXPECT_EQ(s14.c_str(), before);

    RtString r("hello");
    r.reserve(40, true);
    EXPECT_EQ(r.capacity(), 48u);
    EXPECT_EQ(r, "hello");
    r.reserve(100, false);
    EXPECT_EQ(r.capacity(), 112u);
    EXPECT_EQ(r.length(), 0u);  // never a length beyond the terminator
    EXPECT_EQ(r.c_str()[0], '\0');
}

TEST(StringStorage, LengthRecountAndSetLength) {
    RtString s;
    char* out = s.writable_buffer(20);
    ASSERT_EQ(s.capacity(), 32u);
    std::strcpy(out, "direct");
    s.sync_length();
    EXPECT_EQ(s.length(), 6u);
    std::memset(out, 'x', s.capacity());  // no terminator left: the last byte becomes one
    s.sync_length();
    EXPECT_EQ(s.length(), 31u);
    EXPECT_EQ(s.c_str()[31], '\0');
    s.set_length(3);
    s.set_length(32);
    s.set_length(-1);
    EXPECT_EQ(s, "xxx");
}

TEST(StringStorage, CopiesAreDeepAndSelfAppendIsSafe) {
    RtString a("original");
    RtString b(a);
    b.writable_buffer(b.length())[0] = 'O';
    EXPECT_EQ(a, "original");
    EXPECT_EQ(b, "Original");
    RtString& self = a;
    a = self;
    EXPECT_EQ(a, "original");

    RtString d("0123456789abcd");  // the appended bytes live in the buffer that growth replaces
    d.append(d);
    EXPECT_EQ(d, "0123456789abcd0123456789abcd");
    d = d.c_str() + 4;
    EXPECT_EQ(d, "456789abcd0123456789abcd");
    EXPECT_EQ(RtString(RtString("a\0b", 3)).length(), 3u);  // copies take length bytes
}

TEST(StringStorage, ImpossibleSizeEndsWithOutOfMemory) {
    auto result = rt_test::run_in_child([] {
        RtString s("x");
        s.reserve(0xFFFFFFFFu, true);
    });
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.error_code(), 7);
}

TEST(StringText, ConcatenationAndComparison) {
    RtString s("x");
    EXPECT_EQ(-7 + s + 2.5 + "y" + 0.1f, "-7x2.5y0.1000000015");
    EXPECT_EQ((RtString() + RtString()).capacity(), 0u);
    // Same capacity as a copy of the left side followed by an append.
    RtString left("abcdefghijklm");
    EXPECT_EQ((left + "n").capacity(), 16u);
    EXPECT_EQ((left + "no").capacity(), 32u);

    RtString ten("10");
    EXPECT_TRUE(ten > 9);              // numeric
    EXPECT_TRUE(ten < RtString("9"));  // byte-wise
    EXPECT_TRUE(9 < ten);
    EXPECT_EQ(string_compare(RtString("2.5"), 2), 0);  // integer partner: the text reads as 2
    EXPECT_EQ(string_compare(RtString("2.5"), 2.0), 1);
    EXPECT_TRUE(RtString("\xe9") > RtString("z"));  // bytes are unsigned
    EXPECT_TRUE(RtString("ab\0x", 4) == "ab");      // comparison stops at the first 0 byte
}

TEST(StringText, MidFindAndReplace) {
    RtString hello("Hello");
    EXPECT_EQ(string_mid(hello, 1, 3), "ell");
    EXPECT_EQ(string_mid(hello, 3, 10), "lo");
    EXPECT_EQ(string_mid(hello, 2, -1), "llo");
    EXPECT_EQ(string_mid(hello, 5, 1), "");
    EXPECT_EQ(string_mid(hello, -1, 3), "");
    EXPECT_EQ(string_mid(hello, 2, INT32_MAX), "llo");  // start + count must not overflow
    EXPECT_EQ(string_right_from(hello, 3), "lo");

    RtString t("abcabc");
    EXPECT_EQ(string_find(t, "c", 0), 2);
    EXPECT_EQ(string_find(t, "c", 3), 5);
    EXPECT_EQ(string_find(t, "c", 6), -1);
    EXPECT_EQ(string_find(t, "c", 7), -1);
    EXPECT_EQ(string_find(t, "c", -1), -1);
    EXPECT_EQ(string_find(t, "", 2), 2);
    EXPECT_EQ(string_find(t, "", 6), 6);

    EXPECT_EQ(string_replace("aXbXc", "X", "--"), "a--b--c");
    EXPECT_EQ(string_replace("abb", "ab", "xa"), "xab");
    EXPECT_EQ(string_replace("aaaa", "aa", "a"), "aa");
    EXPECT_EQ(string_replace("XX", "X", "XX"), "XXXX");
    EXPECT_EQ(string_replace("aXb", "X", ""), "ab");
    EXPECT_EQ(string_replace("abc", "", "y"), "abc");
}

TEST(StringText, CaseAndCharacterCodes) {
    RtString mixed("Hello, World! \xc4\xe4\x80\xff@[`{");
    EXPECT_EQ(string_to_upper(mixed), "HELLO, WORLD! \xc4\xe4\x80\xff@[`{");
    EXPECT_EQ(string_to_lower(mixed), "hello, world! \xc4\xe4\x80\xff@[`{");

    EXPECT_EQ(string_from_char(65), "A");
    EXPECT_EQ(string_from_char(321), "A");
    RtString zero = string_from_char(0);
    EXPECT_EQ(zero.length(), 1u);
    EXPECT_EQ(zero.c_str()[0], '\0');
    EXPECT_EQ(string_first_code("\xe9x"), 0xe9);
    EXPECT_EQ(string_first_code(RtString()), 0);
}

TEST(StringText, FixedPointAndHexFormatting) {
    EXPECT_EQ(string_format_fixed(8.9, 2.9, 3.14159), "    3.14");
    EXPECT_EQ(string_format_fixed(-8, 1, 2.5), "2.5     ");
    EXPECT_EQ(string_format_fixed(0, -3, 1.5), "1.500000");  // negative: as if no precision
    EXPECT_EQ(string_format_fixed(NAN, NAN, 1.25), "1");     // NaN counts as 0
    // Never more than the 128 reserved characters, whatever the width, precision or value.
    EXPECT_EQ(string_format_fixed(1e9, 2, 1.0).length(), 128u);
    EXPECT_EQ(string_format_fixed(-INFINITY, 2, 1.0).length(), 128u);
    EXPECT_EQ(string_format_fixed(2, 1e300, 1.0).length(), 128u);
    EXPECT_EQ(string_format_fixed(0, 0, 1e300).length(), 128u);

    const unsigned char bytes[] = {0x00, 0x0f, 0xa5, 0xff};
    EXPECT_EQ(string_hex_bytes(bytes, 4, false), "000fa5ff");
    EXPECT_EQ(string_hex_bytes(bytes, 4, true), "000FA5FF");
}

TEST(StringSplit, TokensBetweenDelimiterRuns) {
    RtArray<RtString> out;
    EXPECT_EQ(string_split(",a,,b,", ",", out), 2);
    ASSERT_EQ(array_bounds(out, 0), 2);
    EXPECT_EQ(array_element_1d(out, 0), "a");
    EXPECT_EQ(array_element_1d(out, 1), "b");
    EXPECT_EQ(string_split("one two;three", " ;", out), 3);
    EXPECT_EQ(array_element_1d(out, 2), "three");
    // The array is emptied first, even when nothing is appended.
    EXPECT_EQ(string_split(",,,", ",", out), 0);
    EXPECT_EQ(array_bounds(out, 0), 0);
    EXPECT_EQ(string_split("", ",", out), 0);
    EXPECT_EQ(string_split(RtString("a b\0c", 5), " ", out), 2);  // ends at the first 0 byte
}

// ---- the block cipher ----

TEST(Blowfish, BlockFunctionMatchesPublishedVectors) {
    // Published vectors are big-endian bytes; the block function works on the words.
    const struct {
        uint8_t key[8];
        uint32_t plain[2];
        uint32_t cipher[2];
    } vectors[] = {
        {{0, 0, 0, 0, 0, 0, 0, 0}, {0x00000000, 0x00000000}, {0x4EF99745, 0x6198DD78}},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0xFFFFFFFF, 0xFFFFFFFF}, {0x51866FD5, 0xB85ECB8A}},
        {{0x30, 0, 0, 0, 0, 0, 0, 0}, {0x10000000, 0x00000001}, {0x7D856F9A, 0x613063F2}},
        {{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, {0x11111111, 0x11111111}, {0x61F9C380, 0x2281B096}},
    };
    rt::BlowfishKey key;
    for (const auto& v : vectors) {
        rt::blowfish_init(key, v.key, 8);
        uint32_t l = v.plain[0];
        uint32_t r = v.plain[1];
        rt::blowfish_encrypt_block(key, l, r);
        EXPECT_EQ(l, v.cipher[0]);
        EXPECT_EQ(r, v.cipher[1]);
        rt::blowfish_decrypt_block(key, l, r);
        EXPECT_EQ(l, v.plain[0]);
        EXPECT_EQ(r, v.plain[1]);
    }
}

TEST(Blowfish, TextsRoundTripThroughLittleEndianHex) {
    // The all-zero vector through the text commands: each word appears byte-reversed.
    RtString zeros8("\0\0\0\0\0\0\0\0", 8);
    EXPECT_EQ(string_encrypt(zeros8, zeros8), "4597f94e78dd9861");
    EXPECT_EQ(string_encrypt("key", "abcdefgh").length(), 16u);  // whole block: no extra one
    EXPECT_EQ(string_encrypt("key", "abcdefghi").length(), 32u);

    for (const char* key : {"k", "", "a key longer than the seventy-two bytes the schedule mixes in, by a few"}) {
        for (const char* text : {"a", "exactly8", "a longer text over several blocks \xe9\xff"}) {
            RtString hex = string_encrypt(key, text);
            EXPECT_EQ(string_decrypt(key, hex), text);
            EXPECT_EQ(string_decrypt(key, string_to_upper(hex)), text);
        }
    }
    EXPECT_NE(string_decrypt("other", string_encrypt("key", "Hello")), "Hello");
}

TEST(Blowfish, EmptyKeyKeepsTheInitialPArray) {
    // Four 0 bytes XOR nothing into the P-array: the same schedule as no key bytes at all.
    rt::BlowfishKey empty;
    rt::BlowfishKey zeros;
    const uint8_t zero_bytes[4] = {0, 0, 0, 0};
    rt::blowfish_init(empty, nullptr, 0);
    rt::blowfish_init(zeros, zero_bytes, 4);
    EXPECT_EQ(std::memcmp(&empty, &zeros, sizeof empty), 0);
}

TEST(Blowfish, DamagedHexStaysInBounds) {
    RtString hex = string_encrypt("key", "Hello, World!");  // 32 digits
    RtString damaged = hex;
    damaged.writable_buffer(damaged.length())[0] = 'z';
    RtString zeroed = hex;
    zeroed.writable_buffer(zeroed.length())[0] = '0';
    EXPECT_EQ(string_decrypt("key", damaged), string_decrypt("key", zeroed));  // non-hex counts as 0
    // An unpaired last digit is a byte's high half; a partial block is filled with 0 bytes.
    EXPECT_EQ(string_decrypt("key", string_left(hex, 31)), string_decrypt("key", string_left(hex, 31) + "0"));
    EXPECT_EQ(string_decrypt("key", "x"), string_decrypt("key", "0000000000000000"));
    EXPECT_EQ(string_decrypt("key", string_left(hex, 16)), "Hello, W");
}
