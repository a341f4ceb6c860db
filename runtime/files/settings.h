// The settings table: one file of "[section]" and "key = value" lines held in memory, read by
// section and key (ignoring ASCII case), changed by puts and written back when another file is
// selected, the selection is cleared, or the program ends.
#pragma once

#include <string>
#include <vector>

#include "runtime/values/rt_string.h"

class FileReader;

namespace rt {

struct SettingsEntry {
    std::string key_;
    std::string value_;
};

struct SettingsSection {
    std::string name_;
    std::vector<SettingsEntry> entries_;
};

struct SettingsTable {
    std::vector<SettingsSection> sections_;  // in file order, then in order of creation
    std::string name_;                       // the file held; empty for none
    bool changed_ = false;
};

// Parses the lines of reader (the text-line rule, up to its end) into sections, appending to table.
void settings_parse(FileReader& reader, SettingsTable& table);
// The written form: "[name]" CR LF, then "key=value" CR LF per entry, for every section.
std::string settings_format(const SettingsTable& table);
// Writes the table back when changed and named by a plain file name; silent on failure.
void settings_write_back(const SettingsTable& table);

}  // namespace rt

// Writes the held file back if changed, then loads name ("" clears the selection). A missing
// file gives an empty table under its name.
void settings_open(const RtString& name);
// The value of the first matching key of the first matching section, or default_value.
RtString settings_get(const RtString& section, const RtString& key, const RtString& default_value);
// Sets, adds or removes: an empty key removes the section; an empty value removes an existing key
// (a missing key is added even with an empty value).
void settings_put(const RtString& section, const RtString& key, const RtString& value);
