// The parts the platform_info answers are made of: locale names to language identifiers and
// answers, the documents folder from user-dirs.dirs, battery charge from the
// power-supply folder, and the volume id's text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/values/rt_string.h"

namespace rt {

// A language identifier (primary language in the low 10 bits, sublanguage above) for a locale
// name of the form language[_territory][.codeset][@modifier]; 0 when it names no language the
// table knows ("C", "POSIX", malformed text).
uint16_t locale_language_id(std::string_view locale);
// The two-letter code of the language table for an identifier, upper case; null without a row.
const char* locale_table_code(uint16_t language_id);
// The "LOCALE" answer for an identifier: the table's code in lower case, "el" as "gr", "en" as
// "us"; "us" without a row.
RtString locale_answer(uint16_t language_id);
// The locale the process runs in for messages: the first non-empty of LC_ALL, LC_MESSAGES, LANG.
std::string process_locale_name();

// The documents folder named by a user-dirs.dirs text ("$HOME/..." or an absolute path, the
// last valid line wins), without trailing "/": none when no line names it, "" when it points at
// home (which the format uses to switch a folder off).
std::optional<std::string> user_dirs_documents(std::string_view config, const std::string& home);
// The documents folder of this user: user-dirs.dirs under $XDG_CONFIG_HOME (else ~/.config),
// then $XDG_DOCUMENTS_DIR; "" when neither names one.
std::string documents_dir();

// Charge in percent (0..100) of the system's batteries below a power-supply class folder;
// several batteries combine weighted by their full energy. 255 without a battery.
int32_t battery_percent(const std::string& power_supply_dir);

// 8 upper-case hex digits of id's four bytes in little-endian order.
RtString volume_id_text(uint32_t id);

}  // namespace rt
