// Parsing, lookup, change and write-back of the settings table.
#include "runtime/files/settings.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "runtime/core/errors.h"
#include "runtime/files/file_reader.h"
#include "runtime/files/file_service.h"
#include "runtime/files/resolver.h"
#include "runtime/files/settings_table.h"

namespace rt {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
// Where a section name or key ends.
bool ends_name(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '='; }

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// A text argument as the C text it is compared as (up to its first 0 byte).
std::string_view text_of(const RtString& text) { return std::string_view(text.c_str()); }

SettingsSection* find_section(SettingsTable& table, std::string_view name, size_t* index = nullptr) {
    for (size_t i = 0; i < table.sections_.size(); ++i) {
        if (same_ignoring_case(table.sections_[i].name_, name)) {
            if (index) *index = i;
            return &table.sections_[i];
        }
    }
    return nullptr;
}

size_t find_or_add_section(SettingsTable& table, std::string_view name) {
    size_t index = 0;
    if (find_section(table, name, &index)) return index;
    table.sections_.push_back(SettingsSection{std::string(name), {}});
    return table.sections_.size() - 1;
}

std::string lower_case(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

// Sections of the table being parsed by lower-cased name, the first of each name, so that a file
// with many sections loads in time linear in its size.
using SectionIndex = std::unordered_map<std::string, size_t>;

size_t find_or_add_section(SettingsTable& table, SectionIndex& index, std::string_view name) {
    auto [it, added] = index.try_emplace(lower_case(name), table.sections_.size());
    if (added) table.sections_.push_back(SettingsSection{std::string(name), {}});
    return it->second;
}

// Removes element i; the last element takes its place.
template <typename T>
void remove_by_swap(std::vector<T>& items, size_t i) {
    if (i + 1 != items.size()) items[i] = std::move(items.back());
    items.pop_back();
}

void parse_line(std::string_view line, SettingsTable& table, SectionIndex& index, size_t& current,
                bool& have_current) {
    size_t i = 0;
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i == line.size() || line[i] == ';') return;
    if (line[i] == '[') {
        ++i;
        while (i < line.size() && is_blank(line[i])) ++i;
        size_t start = i;
        while (i < line.size() && !ends_name(line[i])) ++i;
        std::string_view name = line.substr(start, i - start);
        if (!name.empty() && name.back() == ']') name.remove_suffix(1);
        if (name.empty()) return;
        current = find_or_add_section(table, index, name);
        have_current = true;
        return;
    }
    size_t start = i;
    while (i < line.size() && !ends_name(line[i])) ++i;
    std::string_view key = line.substr(start, i - start);
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i == line.size() || line[i] != '=') return;
    ++i;
    while (i < line.size() && is_blank(line[i])) ++i;
    std::string_view value = line.substr(i);
    // Trailing control bytes (CR, tab, ...) go; bytes of 128 and above are text and stay.
    while (!value.empty() && static_cast<unsigned char>(value.back()) < 32) value.remove_suffix(1);
    if (!have_current) {
        current = find_or_add_section(table, index, "");
        have_current = true;
    }
    table.sections_[current].entries_.push_back(SettingsEntry{std::string(key), std::string(value)});
}

}  // namespace

void settings_parse(FileReader& reader, SettingsTable& table) {
    char line[kLineMaxBytes];
    size_t current = 0;
    bool have_current = false;
    SectionIndex index;
    for (size_t i = 0; i < table.sections_.size(); ++i) index.try_emplace(lower_case(table.sections_[i].name_), i);
    for (;;) {
        int32_t length = reader.read_line(line);
        if (length < 0) return;
        // The line is a C text: a 0 byte ends it.
        const void* zero = std::memchr(line, '\0', static_cast<size_t>(length));
        size_t used = zero ? static_cast<size_t>(static_cast<const char*>(zero) - line) : static_cast<size_t>(length);
        if (used == 0) continue;
        parse_line(std::string_view(line, used), table, index, current, have_current);
    }
}

std::string settings_format(const SettingsTable& table) {
    std::string text;
    for (const SettingsSection& section : table.sections_) {
        text += '[';
        text += section.name_;
        text += "]\r\n";
        for (const SettingsEntry& entry : section.entries_) {
            text += entry.key_;
            text += '=';
            text += entry.value_;
            text += "\r\n";
        }
    }
    return text;
}

bool settings_write_back(const SettingsTable& table) {
    if (!table.changed_ || table.name_.empty() || is_memory_file_name(table.name_.c_str())) return true;
    std::string text = settings_format(table);
    return write_whole_file(table.name_.c_str(), text.data(), text.size());
}

}  // namespace rt

void settings_open(const RtString& name) {
    rt::SettingsTable& table = rt::file_service().settings_;
    // The table held cannot stay once another file is selected: a failed write-back is reported
    // with code 3 (the file on disk is still the complete old one).
    if (!rt::settings_write_back(table)) error_code_set(kErrNoSuchFile);
    table.sections_.clear();
    table.changed_ = false;
    table.name_.clear();
    table.name_refused_ = false;
    const char* requested = name.c_str();
    // A name the layer cannot hand on selects nothing, so nothing is written under a cut name;
    // puts report that they cannot be kept.
    if (!*requested) return;
    if (std::strlen(requested) > rt::kNameMaxBytes) {
        table.name_refused_ = true;
        return;
    }
    table.name_ = requested;
    std::string resolved;
    FileReader reader;
    if (path_resolve(rt::main_resolver(), requested, resolved, true) && reader.open(resolved.c_str())) {
        rt::settings_parse(reader, table);
    }
}

RtString settings_get(const RtString& section, const RtString& key, const RtString& default_value) {
    rt::SettingsTable& table = rt::file_service().settings_;
    if (rt::SettingsSection* found = rt::find_section(table, rt::text_of(section))) {
        for (const rt::SettingsEntry& entry : found->entries_) {
            if (rt::same_ignoring_case(entry.key_, rt::text_of(key))) {
                return RtString(entry.value_.data(), static_cast<uint32_t>(entry.value_.size()));
            }
        }
    }
    return default_value;
}

void settings_put(const RtString& section, const RtString& key, const RtString& value) {
    rt::SettingsTable& table = rt::file_service().settings_;
    const std::string_view section_name = rt::text_of(section);
    const std::string_view key_name = rt::text_of(key);
    const std::string_view new_value = rt::text_of(value);
    // The change still lands in memory, but no file will hold it.
    if (table.name_refused_) error_code_set(kErrNoSuchFile);
    if (key_name.empty()) {
        size_t index = 0;
        if (!rt::find_section(table, section_name, &index)) return;
        rt::remove_by_swap(table.sections_, index);
        // The removal is a change like any other: without this it would be lost at write-back.
        table.changed_ = true;
        return;
    }
    rt::SettingsSection& target = table.sections_[rt::find_or_add_section(table, section_name)];
    for (size_t i = 0; i < target.entries_.size(); ++i) {
        if (!rt::same_ignoring_case(target.entries_[i].key_, key_name)) continue;
        if (new_value.empty()) {
            rt::remove_by_swap(target.entries_, i);
        } else {
            target.entries_[i].value_ = std::string(new_value);
        }
        table.changed_ = true;
        return;
    }
    target.entries_.push_back(rt::SettingsEntry{std::string(key_name), std::string(new_value)});
    table.changed_ = true;
}
