// Number <-> text rules (digits, exponent layout, parsing limits, locale independence) and the
// inline data lists with their out-of-data end.
#include "runtime/values/numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "runtime/values/value_service.h"
#include "support/test_support.h"

void PrintTo(const RtString& s, std::ostream* os) { *os << '"' << std::string(s.c_str(), s.length()) << '"'; }

TEST(NumberText, IntegersInDecimal) {
    EXPECT_EQ(string_from_int(0), "0");
    EXPECT_EQ(string_from_int(7), "7");
    EXPECT_EQ(string_from_int(-42), "-42");
    EXPECT_EQ(string_from_int(INT32_MAX), "2147483647");
    EXPECT_EQ(string_from_int(INT32_MIN), "-2147483648");
    EXPECT_EQ(number_text_length(INT32_MIN), 11);
    EXPECT_EQ(number_text_length(0), 1);
}

TEST(NumberText, RealsWithTenSignificantDigits) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {-0.5, "-0.5"},
        {100.0, "100"},
        {123456.789, "123456.789"},
        {1.0 / 3, "0.3333333333"},
        {static_cast<double>(0.1f), "0.1000000015"},
        {3.0, "3"},
        {2.5, "2.5"},
        {9999999999.0, "9999999999"},
        {1e10, "1e+10"},
        {12345678901.0, "1.23456789e+10"},
        {1e20, "1e+20"},
        {0.000015, "1.5e-05"},
        {-2.5e-300, "-2.5e-300"},
        {0.99999999999, "1"},  // rounds to 10 digits
    };
    for (const auto& c : cases) {
        EXPECT_EQ(string_from_real(c.value), c.text) << "value " << c.value;
        EXPECT_EQ(number_text_length(c.value), static_cast<int32_t>(std::string(c.text).size()));
    }
    EXPECT_EQ(string_from_real(INFINITY), "inf");
    EXPECT_EQ(string_from_real(-INFINITY), "-inf");
    EXPECT_EQ(string_from_real(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(string_from_real(1.5).capacity(), 80u);  // 63 characters reserved
}

TEST(NumberText, ParsingFollowsAtoiAndAtof) {
    EXPECT_EQ(string_to_int("  42abc"), 42);
    EXPECT_EQ(string_to_int("abc"), 0);
    EXPECT_EQ(string_to_int("-3.9"), -3);
    // Out of the 32-bit range: saturated, never undefined.
    EXPECT_EQ(string_to_int("2147483648"), INT32_MAX);
    EXPECT_EQ(string_to_int("-99999999999999999999999"), INT32_MIN);
    EXPECT_EQ(string_to_real("1.5e3"), 1500.0);
    EXPECT_EQ(string_to_real("  -.25xyz"), -0.25);
    EXPECT_EQ(string_to_real("abc"), 0.0);
}

namespace {

// A locale whose decimal separator is ",": an installed one, else one compiled into folder.
// Empty when none can be had.
std::string comma_locale(const rt_test::TempDir& folder) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name)) return name;
    }
    const std::string command = "localedef -i de_DE -f UTF-8 '" + folder.file("de_DE.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return "";
    setenv("LOCPATH", folder.path().c_str(), 1);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) return "de_DE.UTF-8";
    unsetenv("LOCPATH");
    return "";
}

}  // namespace

TEST(NumberText, IndependentOfTheProcessLocale) {
    rt_test::TempDir folder;
    const std::string name = comma_locale(folder);
    if (name.empty()) GTEST_SKIP() << "no locale with a decimal comma available";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    const bool comma_active = std::string(probe) == "1,5";

    const RtString real = string_from_real(2.5);
    const double parsed = string_to_real("2.75");
    const RtString fixed = string_format_fixed(0, 2, 1.25);
    const RtString concatenated = RtString("x") + 0.5;

    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    const bool comma_still_active = std::string(probe) == "1,5";
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");

    ASSERT_TRUE(comma_active);
    EXPECT_EQ(real, "2.5");
    EXPECT_EQ(parsed, 2.75);
    EXPECT_EQ(fixed, "1.25");
    EXPECT_EQ(concatenated, "x0.5");
    EXPECT_TRUE(comma_still_active);  // the caller's locale is restored
}

// ---- data lists ----

TEST(DataList, ReadsItemsInOrderByTheNumberRules) {
    const DataItem items[] = {{2.9, nullptr},         {-2.9, nullptr}, {1e20, nullptr},
                              {0.0, "  17.5 apples"}, {0.25, nullptr}, {0.0, "text"}};
    DataBlock block{items, 6, 3};
    data_restore(block);
    EXPECT_EQ(block.read_index, 0);
    int32_t i[3] = {};
    for (int32_t& x : i) data_read_int(x);
    EXPECT_EQ(i[0], 2);
    EXPECT_EQ(i[1], -2);
    EXPECT_EQ(i[2], INT32_MAX);  // saturated, never undefined
    double d = 0;
    data_read_real(d);
    EXPECT_EQ(d, 17.5);
    RtString s("old");
    data_read_text(s);
    EXPECT_EQ(s, "0.25");
    data_read_text(s);
    EXPECT_EQ(s, "text");
    data_restore(block);
    data_read_text(s);
    EXPECT_EQ(s, "2.9");
    rt::value_service().data_current = nullptr;
}

TEST(DataList, ReadingPastTheEndEndsWithOutOfData) {
    auto past_end = rt_test::run_in_child([] {
        static const DataItem items[] = {{1, nullptr}, {2, nullptr}};
        DataBlock block{items, 2, 0};
        data_restore(block);
        double d;
        data_read_real(d);
        data_read_real(d);
        data_read_real(d);
    });
    EXPECT_EQ(past_end.exit_code, 0);
    EXPECT_EQ(past_end.error_code(), 20);

    auto no_block = rt_test::run_in_child([] {
        rt::value_service().data_current = nullptr;
        RtString s;
        data_read_text(s);
    });
    EXPECT_EQ(no_block.exit_code, 0);
    EXPECT_EQ(no_block.error_code(), 20);
}
