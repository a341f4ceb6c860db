// Platform queries by key (language table, documents folder, battery, ids, time) and the
// process environment, with fake configuration and power-supply folders on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "runtime/files/platform_queries.h"
#include "runtime/runtime.h"
#include "support/test_support.h"

namespace {

// Saves the named variables and puts them back (or removes them) when the test ends.
class EnvGuard {
public:
    explicit EnvGuard(std::vector<std::string> names) {
        for (const std::string& name : names) {
            const char* value = std::getenv(name.c_str());
            saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
        }
    }
    ~EnvGuard() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        tzset();
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

bool is_hex8(const std::string& text) {
    return text.size() == 8 && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

std::string info(const char* key) { return platform_info(RtString(key)).c_str(); }

std::string locale_for(const char* lang) {
    EnvGuard env({"LC_ALL", "LC_MESSAGES", "LANG"});
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", lang, 1);
    return info("LOCALE");
}

TEST(PlatformInfo, FixedKeysAndUnknownOnes) {
    EXPECT_EQ(info(""), "LINUX");
    EXPECT_EQ(info("DEVICE"), "DESKTOP");
    EXPECT_EQ(info("VERSION"), "NO_DATA");
    EXPECT_EQ(info("device"), "NO_DATA");  // keys are case-sensitive
    EXPECT_EQ(info("GLEXT"), "NO_DATA");
    // No display, so no GL context: no entry point is offered.
    EXPECT_EQ(info("GLEXT:glActiveTextureARB"), "0");
    EXPECT_EQ(info("GLEXT:"), "0");
}

TEST(PlatformInfo, IdentifiersHaveTheirForms) {
    EXPECT_TRUE(is_hex8(info("ID"))) << info("ID");
    EXPECT_EQ(info("ID"), info("ID"));
    EXPECT_TRUE(is_hex8(info("HOSTID"))) << info("HOSTID");
    EXPECT_EQ(info("HOSTID"), info("HOSTID"));
    EXPECT_STREQ(rt::volume_id_text(0x1234ABCDu).c_str(), "CDAB3412");  // bytes in memory order
    const std::string compiled = info("COMPILED");                      // as "Jul  2 2010-16:19:51"
    ASSERT_EQ(compiled.size(), 20u);
    EXPECT_EQ(compiled.substr(11, 1) + compiled.substr(14, 1) + compiled.substr(17, 1), "-::");
}

TEST(PlatformInfo, TimeIsLocalTimeWithTwoDigitFields) {
    EnvGuard env({"TZ"});
    setenv("TZ", "UTC0", 1);
    tzset();
    for (int attempt = 0; attempt < 3; ++attempt) {
        const time_t before = time(nullptr);
        const std::string answer = info("TIME");
        if (time(nullptr) != before) continue;  // a second boundary passed: ask again
        struct tm parts;
        gmtime_r(&before, &parts);
        char expected[80];
        std::snprintf(expected, sizeof expected, "%04d-%02d-%02d %02d:%02d:%02d", parts.tm_year + 1900,
                      parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
        EXPECT_EQ(answer, expected);
        return;
    }
    FAIL() << "the clock kept moving";
}

TEST(Locale, LanguagesOfTheProcessLocale) {
    EXPECT_EQ(locale_for("de_AT.UTF-8"), "de");
    EXPECT_EQ(locale_for("en_GB.UTF-8"), "us");
    EXPECT_EQ(locale_for("en_US.UTF-8"), "uk");
    EXPECT_EQ(locale_for("en"), "uk");
    EXPECT_EQ(locale_for("en_NG"), "us");  // an English the table has no row for is not US English
    EXPECT_EQ(locale_for("uk_UA.UTF-8"), "uk");
    EXPECT_EQ(locale_for("el_GR"), "gr");
    EXPECT_EQ(locale_for("zh_TW.UTF-8"), "ch");
    EXPECT_EQ(locale_for("zh_HK.UTF-8"), "zh");
    EXPECT_EQ(locale_for("ja_JP.eucJP"), "jp");
    EXPECT_EQ(locale_for("he_IL"), "he");
    EXPECT_EQ(locale_for("id_ID"), "in");
    EXPECT_EQ(locale_for("sr_RS@latin"), "sr");
    EXPECT_EQ(locale_for("nn_NO"), "no");
    EXPECT_EQ(locale_for("kok_IN"), "kn");
    EXPECT_EQ(locale_for("C"), "us");
    EXPECT_EQ(locale_for("C.UTF-8"), "us");
    EXPECT_EQ(locale_for("xx_YY"), "us");
    EXPECT_EQ(locale_for("de-AT"), "us");
    EXPECT_EQ(locale_for(""), "us");
}

TEST(Locale, VariablesTakeTheirTurn) {
    EnvGuard env({"LC_ALL", "LC_MESSAGES", "LANG"});
    setenv("LANG", "fr_FR.UTF-8", 1);
    setenv("LC_MESSAGES", "it_IT.UTF-8", 1);
    setenv("LC_ALL", "", 1);  // empty: not set
    EXPECT_EQ(info("LOCALE"), "it");
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    EXPECT_EQ(info("LOCALE"), "ru");
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    EXPECT_EQ(info("LOCALE"), "fr");
    unsetenv("LANG");
    EXPECT_EQ(info("LOCALE"), "us");
}

TEST(Locale, TableAnswersExactlyTheKnownCodes) {
    const std::set<std::string> known = {
        "AR", "BG", "CA", "CH", "CS", "DA", "DE", "EL", "UK", "ES", "FI", "FR", "HE", "HU", "IS", "IT", "JP", "KO",
        "NL", "NO", "PL", "PT", "RO", "RU", "HR", "SK", "SQ", "SV", "TH", "TR", "UR", "IN", "BE", "SL", "ET", "LV",
        "LT", "FA", "VI", "HY", "AZ", "EU", "MK", "AF", "KA", "FO", "HI", "MS", "KK", "KY", "SW", "UZ", "TT", "PA",
        "GU", "OR", "TA", "TE", "MA", "AS", "SA", "MO", "GL", "KN", "SY", "DI", "EN", "SR", "ZH"};
    std::set<std::string> seen;
    for (uint32_t id = 0; id <= 0xffff; ++id) {
        if (const char* code = rt::locale_table_code(static_cast<uint16_t>(id))) seen.insert(code);
    }
    EXPECT_EQ(seen, known);
    EXPECT_STREQ(rt::locale_table_code(0x0c07), "DE");  // German (Austria)
    EXPECT_STREQ(rt::locale_table_code(0x0409), "UK");
    EXPECT_STREQ(rt::locale_table_code(0x0809), "EN");
    EXPECT_STREQ(rt::locale_table_code(0x0404), "CH");
    EXPECT_STREQ(rt::locale_table_code(0x1404), "ZH");
    EXPECT_EQ(rt::locale_table_code(0x0004), nullptr);  // Chinese without a region has no row
    EXPECT_EQ(rt::locale_table_code(0x0045), nullptr);  // Bengali
    EXPECT_STREQ(rt::locale_answer(0x0045).c_str(), "us");
}

// HOME and XDG_CONFIG_HOME pointed at a temporary folder.
class Documents : public ::testing::Test {
protected:
    Documents() : env_({"HOME", "XDG_CONFIG_HOME", "XDG_DOCUMENTS_DIR"}) {
        setenv("HOME", home_.path().c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_DOCUMENTS_DIR");
        ::mkdir(home_.file(".config").c_str(), 0755);
    }
    void write_config(const std::string& text) { rt_test::write_file(home_.file(".config/user-dirs.dirs"), text); }

    EnvGuard env_;
    rt_test::TempDir home_;
};

TEST_F(Documents, FromTheUserDirsFile) {
    write_config("# written by a tool\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/My Docs/\"\n");
    EXPECT_EQ(info("DOCUMENTS"), home_.path() + "/My Docs");
}

TEST_F(Documents, ConfigHomeVariableMovesTheFile) {
    rt_test::TempDir config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    rt_test::write_file(config.file("user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"/srv/papers\"\n");
    write_config("XDG_DOCUMENTS_DIR=\"$HOME/Ignored\"\n");
    EXPECT_EQ(info("DOCUMENTS"), "/srv/papers");
}

TEST_F(Documents, NoneWithoutFileOrWhenSwitchedOff) {
    EXPECT_EQ(info("DOCUMENTS"), "NO_DATA");
    setenv("XDG_DOCUMENTS_DIR", "/data/docs/", 1);
    EXPECT_EQ(info("DOCUMENTS"), "/data/docs");  // the variable stands in for a missing file
    write_config("XDG_DOCUMENTS_DIR=\"$HOME/\"\n");
    EXPECT_EQ(info("DOCUMENTS"), "NO_DATA");  // pointing at home switches the folder off
}

TEST(UserDirs, LinesThatDoNotNameAFolderAreSkipped) {
    const std::string home = "/home/pat";
    auto parse = [&](const std::string& text) { return rt::user_dirs_documents(text, home); };
    EXPECT_EQ(parse(""), std::nullopt);
    EXPECT_EQ(parse("# XDG_DOCUMENTS_DIR=\"/x\"\n"), std::nullopt);
    EXPECT_EQ(parse("XDG_DOCUMENTS_DIR=\"relative/x\"\n"), std::nullopt);
    EXPECT_EQ(parse("XDG_DOCUMENTS_DIR=\"$HOMEWORK/x\"\n"), std::nullopt);
    EXPECT_EQ(parse("XDG_DOCUMENTS_DIR=\"/unclosed\n"), std::nullopt);
    EXPECT_EQ(parse("XDG_DOCUMENTS_DIR=/unquoted\n"), std::nullopt);
    EXPECT_EQ(parse("  XDG_DOCUMENTS_DIR =\t\"/a\\\"b\\\\c\" # note\r\n"), "/a\"b\\c");
    EXPECT_EQ(parse("XDG_DOCUMENTS_DIR=\"/first\"\nXDG_DOCUMENTS_DIR=\"$HOME/second\""), "/home/pat/second");
    EXPECT_EQ(parse("XDG_DOCUMENTS_DIR=\"/\"\n"), "/");
    EXPECT_EQ(parse("XDG_DOCUMENTS_DIR=\"$HOME\"\n"), "");
    EXPECT_EQ(rt::user_dirs_documents("XDG_DOCUMENTS_DIR=\"$HOME/x\"\n", ""), std::nullopt);
}

// A power-supply class folder with devices made of attribute files.
class Battery : public ::testing::Test {
protected:
    void device(const std::string& name, const std::map<std::string, std::string>& attributes) {
        const std::string dir = root_.file("devices_" + name);
        ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
        for (const auto& [attribute, value] : attributes) rt_test::write_file(dir + "/" + attribute, value + "\n");
        // The class folder holds links to the devices, as the kernel's does.
        ASSERT_EQ(::symlink(dir.c_str(), supply_.file(name).c_str()), 0);
    }
    int32_t percent() const { return rt::battery_percent(supply_.path()); }

    rt_test::TempDir root_;
    rt_test::TempDir supply_;
};

TEST_F(Battery, NoneGives255) {
    EXPECT_EQ(percent(), 255);
    device("AC", {{"type", "Mains"}, {"online", "1"}});
    device("hidpp_battery_0", {{"type", "Battery"}, {"scope", "Device"}, {"capacity", "40"}});
    EXPECT_EQ(percent(), 255);  // a mouse's battery is not the system's
    EXPECT_EQ(rt::battery_percent(root_.file("missing")), 255);
}

TEST_F(Battery, ChargeFromEnergyWhenCapacityIsMissingOrUnreadable) {
    device("BAT0", {{"type", "Battery"}, {"capacity", "n/a"}, {"energy_now", "30000000"}, {"energy_full", "40000000"}});
    EXPECT_EQ(percent(), 75);
}

TEST_F(Battery, SeveralBatteriesWeighByFullEnergy) {
    device("BAT0", {{"type", "Battery"}, {"capacity", "100"}, {"energy_full", "50000000"}});
    device("BAT1", {{"type", "Battery"}, {"capacity", "0"}, {"energy_full", "150000000"}});
    device("BAT2", {{"type", "Battery"}, {"present", "0"}, {"capacity", "3"}});
    EXPECT_EQ(percent(), 25);
}

TEST_F(Battery, UnweightedAverageAndClamping) {
    device("BAT0", {{"type", "Battery"}, {"capacity", "150"}});
    device("BAT1", {{"type", "Battery"}, {"capacity", "50"}});
    device("BAT2", {{"type", "Battery"}, {"capacity", "-5"}});  // unreadable: left out
    EXPECT_EQ(percent(), 75);
}

TEST(PlatformInfo, BatteryAnswerIsANumberText) {
    const int value = std::atoi(info("BATTERY").c_str());
    EXPECT_EQ(info("BATTERY"), std::to_string(value));
    EXPECT_TRUE((value >= 0 && value <= 100) || value == 255);
}

TEST(Environment, SetGetAndList) {
    EnvGuard env({"RT_PROBE_VARIABLE", "RT_PROBE_A"});
    unsetenv("RT_PROBE_VARIABLE");
    EXPECT_STREQ(environment_get(RtString("RT_PROBE_VARIABLE")).c_str(), "");

    RtString name("RT_PROBE_VARIABLE");
    environment_set(name, RtString("a b=c"));
    EXPECT_STREQ(name.c_str(), "RT_PROBE_VARIABLE=a b=c");  // the caller's text changes
    EXPECT_STREQ(environment_get(RtString("RT_PROBE_VARIABLE")).c_str(), "a b=c");
    const std::string all = std::string("\n") + environment_get(RtString()).c_str();
    EXPECT_NE(all.find("\nRT_PROBE_VARIABLE=a b=c\n"), std::string::npos);
    EXPECT_EQ(all.back(), '\n');

    RtString clear("RT_PROBE_VARIABLE");
    environment_set(clear, RtString());
    EXPECT_EQ(std::getenv("RT_PROBE_VARIABLE"), nullptr);  // an empty value removes it

    RtString joined("RT_PROBE_A=x");  // split at the first "=": RT_PROBE_A gets "x=y"
    environment_set(joined, RtString("y"));
    EXPECT_STREQ(environment_get(RtString("RT_PROBE_A")).c_str(), "x=y");

    RtString nameless("");
    environment_set(nameless, RtString("v"));
    EXPECT_STREQ(nameless.c_str(), "=v");
}

}  // namespace
