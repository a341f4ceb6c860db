// Platform queries by key and the process environment. The language answer goes through the
// platform's language identifiers, so that it follows the same table on every system.
#include "runtime/files/platform_info.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/files/file_service.h"
#include "runtime/files/platform_queries.h"
#include "runtime/platform/sysinfo.h"
#include "runtime/values/numbers.h"

namespace rt {
namespace {

constexpr uint16_t make_language_id(uint16_t primary, uint16_t sub) {
    return static_cast<uint16_t>(primary | (sub << 10));
}
constexpr uint16_t primary_of(uint16_t id) { return id & 0x3ff; }

constexpr uint16_t kSubDefault = 1;
constexpr uint16_t kSubNeutral = 0;

// Locale language (ISO 639, lower case) to primary language; sublanguages come from the territory.
struct LanguageName {
    const char* iso;
    uint16_t primary;
};
constexpr LanguageName kLanguages[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},  {"de", 0x07},  {"el", 0x08},
    {"en", 0x09}, {"es", 0x0a}, {"fi", 0x0b}, {"fr", 0x0c}, {"he", 0x0d}, {"iw", 0x0d},  {"hu", 0x0e},  {"is", 0x0f},
    {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"nb", 0x14}, {"nn", 0x14},  {"no", 0x14},  {"pl", 0x15},
    {"pt", 0x16}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1a}, {"sr", 0x1a}, {"sk", 0x1b},  {"sq", 0x1c},  {"sv", 0x1d},
    {"th", 0x1e}, {"tr", 0x1f}, {"ur", 0x20}, {"id", 0x21}, {"in", 0x21}, {"uk", 0x22},  {"be", 0x23},  {"sl", 0x24},
    {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27}, {"fa", 0x29}, {"vi", 0x2a}, {"hy", 0x2b},  {"az", 0x2c},  {"eu", 0x2d},
    {"mk", 0x2f}, {"af", 0x36}, {"ka", 0x37}, {"fo", 0x38}, {"hi", 0x39}, {"ms", 0x3e},  {"kk", 0x3f},  {"ky", 0x40},
    {"sw", 0x41}, {"uz", 0x43}, {"tt", 0x44}, {"pa", 0x46}, {"gu", 0x47}, {"or", 0x48},  {"ta", 0x49},  {"te", 0x4a},
    {"as", 0x4d}, {"mr", 0x4e}, {"sa", 0x4f}, {"mn", 0x50}, {"gl", 0x56}, {"kok", 0x57}, {"syr", 0x5a}, {"dv", 0x65},
};

// Territories that name a sublanguage the language table tells apart.
struct Territory {
    uint16_t primary;
    const char* code;
    uint16_t sub;
};
constexpr Territory kTerritories[] = {
    {0x09, "US", 1},  {0x09, "GB", 2},  {0x09, "AU", 3},  {0x09, "CA", 4},  {0x09, "NZ", 5},  {0x09, "IE", 6},
    {0x09, "ZA", 7},  {0x09, "JM", 8},  {0x09, "BZ", 10}, {0x09, "TT", 11}, {0x09, "ZW", 12}, {0x09, "PH", 13},
    {0x09, "IN", 16}, {0x09, "MY", 17}, {0x09, "SG", 18}, {0x04, "TW", 1},  {0x04, "CN", 2},  {0x04, "HK", 3},
    {0x04, "SG", 4},  {0x04, "MO", 5},  {0x1a, "HR", 1},  {0x1a, "BA", 4},
};

// The language table: a row with sub_exact matches that identifier only, the others every
// sublanguage of their primary language. Exact rows are searched first.
struct LanguageRow {
    uint16_t id;
    bool sub_exact;
    const char* code;
};
constexpr LanguageRow kLanguageRows[] = {
    {0x0409, true, "UK"}, {0x0404, true, "CH"}, {0x0804, true, "CH"}, {0x0c04, true, "ZH"}, {0x1004, true, "ZH"},
    {0x1404, true, "ZH"}, {0x041a, true, "HR"}, {0x101a, true, "HR"}, {0x01, false, "AR"},  {0x02, false, "BG"},
    {0x03, false, "CA"},  {0x05, false, "CS"},  {0x06, false, "DA"},  {0x07, false, "DE"},  {0x08, false, "EL"},
    {0x09, false, "EN"},  {0x0a, false, "ES"},  {0x0b, false, "FI"},  {0x0c, false, "FR"},  {0x0d, false, "HE"},
    {0x0e, false, "HU"},  {0x0f, false, "IS"},  {0x10, false, "IT"},  {0x11, false, "JP"},  {0x12, false, "KO"},
    {0x13, false, "NL"},  {0x14, false, "NO"},  {0x15, false, "PL"},  {0x16, false, "PT"},  {0x18, false, "RO"},
    {0x19, false, "RU"},  {0x1a, false, "SR"},  {0x1b, false, "SK"},  {0x1c, false, "SQ"},  {0x1d, false, "SV"},
    {0x1e, false, "TH"},  {0x1f, false, "TR"},  {0x20, false, "UR"},  {0x21, false, "IN"},  {0x22, false, "UK"},
    {0x23, false, "BE"},  {0x24, false, "SL"},  {0x25, false, "ET"},  {0x26, false, "LV"},  {0x27, false, "LT"},
    {0x29, false, "FA"},  {0x2a, false, "VI"},  {0x2b, false, "HY"},  {0x2c, false, "AZ"},  {0x2d, false, "EU"},
    {0x2f, false, "MK"},  {0x36, false, "AF"},  {0x37, false, "KA"},  {0x38, false, "FO"},  {0x39, false, "HI"},
    {0x3e, false, "MS"},  {0x3f, false, "KK"},  {0x40, false, "KY"},  {0x41, false, "SW"},  {0x43, false, "UZ"},
    {0x44, false, "TT"},  {0x46, false, "PA"},  {0x47, false, "GU"},  {0x48, false, "OR"},  {0x49, false, "TA"},
    {0x4a, false, "TE"},  {0x4d, false, "AS"},  {0x4e, false, "MA"},  {0x4f, false, "SA"},  {0x50, false, "MO"},
    {0x56, false, "GL"},  {0x57, false, "KN"},  {0x5a, false, "SY"},  {0x65, false, "DI"},
};

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string trimmed(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t' || text[begin] == '\n')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\n')) --end;
    return text.substr(begin, end - begin);
}

// A sysfs attribute: the first line, without blanks; "" when missing.
std::string read_attribute(const std::string& dir, const char* name) {
    std::string text;
    if (!platform_read_small_file(dir + "/" + name, 256, text)) return std::string();
    return trimmed(text.substr(0, text.find('\n')));
}

// Decimal digits only, at most 18 of them (so the value fits with room for sums).
bool parse_count(const std::string& text, uint64_t& out) {
    if (text.empty() || text.size() > 18) return false;
    out = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

// FNV-1a over the build's date and time: the same for every run of one build.
constexpr uint32_t build_hash(const char* text) {
    uint32_t hash = 2166136261u;
    for (; *text != '\0'; ++text) hash = (hash ^ static_cast<unsigned char>(*text)) * 16777619u;
    return hash;
}
constexpr uint32_t kHostId = build_hash(RT_BUILD_DATE " " RT_BUILD_TIME);

RtString time_text() {
    const PlatformLocalTime now = platform_local_time();
    char text[64];
    std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d", now.year, now.month, now.day, now.hour, now.minute,
                  now.second);
    return RtString(text);
}

}  // namespace

uint16_t locale_language_id(std::string_view locale) {
    // language: 2 or 3 letters, then "_" territory, "." codeset or "@" modifier, or the end.
    size_t n = 0;
    while (n < locale.size() && is_ascii_letter(locale[n])) ++n;
    if (n < 2 || n > 3) return 0;
    if (n < locale.size() && locale[n] != '_' && locale[n] != '.' && locale[n] != '@') return 0;
    char language[4] = {};
    for (size_t i = 0; i < n; ++i) language[i] = lower(locale[i]);

    uint16_t primary = 0;
    for (const LanguageName& entry : kLanguages) {
        if (std::strcmp(entry.iso, language) == 0) {
            primary = entry.primary;
            break;
        }
    }
    if (primary == 0) return 0;

    uint16_t sub = kSubDefault;
    if (n < locale.size() && locale[n] == '_') {
        size_t end = n + 1;
        while (end < locale.size() && locale[end] != '.' && locale[end] != '@') ++end;
        const std::string_view territory = locale.substr(n + 1, end - n - 1);
        bool known = false;
        for (const Territory& entry : kTerritories) {
            if (entry.primary != primary || territory.size() != std::strlen(entry.code)) continue;
            bool same = true;
            for (size_t i = 0; i < territory.size(); ++i) same = same && upper(territory[i]) == entry.code[i];
            if (same) {
                sub = entry.sub;
                known = true;
                break;
            }
        }
        // A territory the table does not tell apart must not pass for the default one (a
        // Nigerian English is not a US English).
        if (!known && (primary == 0x09 || primary == 0x04)) sub = kSubNeutral;
    }
    if (primary == 0x1a && std::strcmp(language, "sr") == 0) {
        // Serbian: Cyrillic unless the modifier asks for Latin script.
        const size_t at = locale.find('@');
        sub = (at != std::string_view::npos && locale.substr(at + 1) == "latin") ? 2 : 3;
    }
    if (primary == 0x14 && std::strcmp(language, "nn") == 0) sub = 2;
    return make_language_id(primary, sub);
}

const char* locale_table_code(uint16_t language_id) {
    for (const LanguageRow& row : kLanguageRows) {
        if (row.sub_exact && row.id == language_id) return row.code;
    }
    for (const LanguageRow& row : kLanguageRows) {
        if (!row.sub_exact && row.id == primary_of(language_id)) return row.code;
    }
    return nullptr;
}

RtString locale_answer(uint16_t language_id) {
    const char* code = locale_table_code(language_id);
    if (code == nullptr || std::strlen(code) != 2) return RtString("us");
    const char answer[3] = {lower(code[0]), lower(code[1]), 0};
    if (std::strcmp(answer, "el") == 0) return RtString("gr");
    if (std::strcmp(answer, "en") == 0) return RtString("us");
    return RtString(answer);
}

std::string process_locale_name() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        std::string value;
        if (platform_env_get(variable, value) && !value.empty()) return value;
    }
    return std::string();
}

std::optional<std::string> user_dirs_documents(std::string_view config, const std::string& home) {
    static constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR";
    std::optional<std::string> found;
    size_t line_start = 0;
    while (line_start < config.size()) {
        size_t line_end = config.find('\n', line_start);
        if (line_end == std::string_view::npos) line_end = config.size();
        std::string_view line = config.substr(line_start, line_end - line_start);
        line_start = line_end + 1;

        size_t p = 0;
        auto skip_blanks = [&] {
            while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
        };
        skip_blanks();
        if (line.substr(p, kKey.size()) != kKey) continue;
        p += kKey.size();
        skip_blanks();
        if (p >= line.size() || line[p] != '=') continue;
        ++p;
        skip_blanks();
        if (p >= line.size() || line[p] != '"') continue;
        ++p;
        // The quoted value, with shell escapes (\" \\ \$ \`) undone.
        std::string value;
        bool closed = false;
        for (; p < line.size(); ++p) {
            if (line[p] == '\\' && p + 1 < line.size()) {
                value.push_back(line[++p]);
            } else if (line[p] == '"') {
                closed = true;
                break;
            } else {
                value.push_back(line[p]);
            }
        }
        if (!closed) continue;

        std::string path;
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
            if (home.empty()) continue;
            path = home + value.substr(5);
        } else if (!value.empty() && value[0] == '/') {
            path = value;
        } else {
            continue;
        }
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        std::string home_bare = home;
        while (home_bare.size() > 1 && home_bare.back() == '/') home_bare.pop_back();
        found = path == home_bare ? std::string() : path;  // home itself: switched off
    }
    return found;
}

std::string documents_dir() {
    const std::string home = platform_home_dir();
    std::string config_home;
    if (!platform_env_get("XDG_CONFIG_HOME", config_home) || config_home.empty() || config_home[0] != '/') {
        if (home.empty()) return std::string();
        config_home = home + "/.config";
    }
    std::string config;
    if (platform_read_small_file(config_home + "/user-dirs.dirs", 64 * 1024, config)) {
        // The file has the last word, also when it switches the folder off.
        std::optional<std::string> dir = user_dirs_documents(config, home);
        if (dir) return *dir;
    }
    std::string from_env;
    if (platform_env_get("XDG_DOCUMENTS_DIR", from_env) && !from_env.empty() && from_env[0] == '/') {
        while (from_env.size() > 1 && from_env.back() == '/') from_env.pop_back();
        return from_env;
    }
    return std::string();
}

int32_t battery_percent(const std::string& power_supply_dir) {
    std::vector<PlatformDirEntry> entries;
    platform_list_directory(power_supply_dir, entries);
    uint64_t weighted_sum = 0;
    uint64_t weight_total = 0;
    uint64_t plain_sum = 0;
    uint64_t count = 0;
    bool all_weighted = true;
    for (const PlatformDirEntry& entry : entries) {
        if (entry.name == "." || entry.name == "..") continue;
        const std::string dir = power_supply_dir + "/" + entry.name;
        if (read_attribute(dir, "type") != "Battery") continue;
        // Batteries of mice, keyboards and pads report scope "Device": not the system's power.
        if (read_attribute(dir, "scope") == "Device") continue;
        if (read_attribute(dir, "present") == "0") continue;

        uint64_t percent = 0;
        if (!parse_count(read_attribute(dir, "capacity"), percent)) {
            uint64_t now = 0;
            uint64_t full = 0;
            const bool energy = parse_count(read_attribute(dir, "energy_now"), now) &&
                                parse_count(read_attribute(dir, "energy_full"), full);
            if (!energy && !(parse_count(read_attribute(dir, "charge_now"), now) &&
                             parse_count(read_attribute(dir, "charge_full"), full))) {
                continue;
            }
            if (full == 0) continue;
            percent = now >= full ? 100 : now * 100 / full;
        }
        if (percent > 100) percent = 100;

        uint64_t full_energy = 0;
        if (parse_count(read_attribute(dir, "energy_full"), full_energy) && full_energy > 0 &&
            full_energy < (uint64_t{1} << 40)) {
            weighted_sum += percent * full_energy;
            weight_total += full_energy;
        } else {
            all_weighted = false;
        }
        plain_sum += percent;
        ++count;
    }
    if (count == 0) return 255;
    if (all_weighted && weight_total > 0) return static_cast<int32_t>((weighted_sum + weight_total / 2) / weight_total);
    return static_cast<int32_t>((plain_sum + count / 2) / count);
}

RtString volume_id_text(uint32_t id) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(id), static_cast<unsigned char>(id >> 8),
                                    static_cast<unsigned char>(id >> 16), static_cast<unsigned char>(id >> 24)};
    return string_hex_bytes(bytes, 4, true);
}

}  // namespace rt

RtString platform_info(const RtString& key) {
    const char* k = key.c_str();
    if (*k == '\0') return RtString("LINUX");
    if (std::strncmp(k, "GLEXT:", 6) == 0) {
        auto query = rt::file_service().gl_entry_point_query_;
        return RtString(query && query(k + 6) ? "1" : "0");
    }
    if (std::strcmp(k, "ID") == 0) {
        uint32_t id = 0;
        if (!rt::platform_volume_id("/", id)) id = 0;
        return rt::volume_id_text(id);
    }
    if (std::strcmp(k, "DEVICE") == 0) return RtString("DESKTOP");
    if (std::strcmp(k, "TIME") == 0) return rt::time_text();
    if (std::strcmp(k, "BATTERY") == 0) return string_from_int(rt::battery_percent("/sys/class/power_supply"));
    if (std::strcmp(k, "COMPILED") == 0) return RtString(RT_BUILD_DATE "-" RT_BUILD_TIME);
    if (std::strcmp(k, "HOSTID") == 0) {
        char text[16];
        std::snprintf(text, sizeof text, "%08X", rt::kHostId);
        return RtString(text);
    }
    if (std::strcmp(k, "LOCALE") == 0) return rt::locale_answer(rt::locale_language_id(rt::process_locale_name()));
    if (std::strcmp(k, "DOCUMENTS") == 0) {
        const std::string dir = rt::documents_dir();
        return RtString(dir.empty() ? "NO_DATA" : dir.c_str());
    }
    return RtString("NO_DATA");
}

RtString environment_get(const RtString& name) {
    if (name.empty()) {
        RtString all;
        for (const std::string& entry : rt::platform_env_entries()) {
            all.append(entry.c_str());
            all.append("\n");
        }
        return all;
    }
    std::string value;
    if (!rt::platform_env_get(name.c_str(), value)) return RtString();
    return RtString(value.c_str());
}

void environment_set(RtString& name, const RtString& value) {
    name.append("=");
    name.append(value);
    const std::string entry(name.c_str());
    const size_t equals = entry.find('=');
    if (equals == 0) return;  // no name before the "="
    rt::platform_env_set(entry.substr(0, equals).c_str(), entry.c_str() + equals + 1);
}
