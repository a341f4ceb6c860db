// The settings table behind the settings commands: sections of key and value pairs as read from
// one file, its parser, its written form and its write-back.
#pragma once

#include <string>
#include <vector>

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
    bool name_refused_ = false;  // the last selected name was too long to name a file
};

// Parses the lines of reader (the text-line rule, up to its end) into sections, appending to table.
void settings_parse(FileReader& reader, SettingsTable& table);
// The written form: "[name]" CR LF, then "key=value" CR LF per entry, for every section.
std::string settings_format(const SettingsTable& table);
// Writes the table back when changed and named by a plain file name, replacing the file in one
// step. False when the file could not be replaced (the old file is then untouched).
bool settings_write_back(const SettingsTable& table);

}  // namespace rt
