// The pack command: builds a pack of files (LZO1X-999 or LZO1X-1), appends it to a program or
// writes it alone, and lists, extracts and verifies packs. Exit code 0 on success, 1 on a failure
// or refusal, 2 on wrong usage. A file it writes is replaced whole, never changed in place.
#include "runtime/files/pack.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "runtime/files/file_reader.h"
#include "runtime/platform/fs.h"

// The reading side (pack_tool::list, verify, extract, plan_cut) is also driven by the fuzz target
// fuzz/pack_tool_fuzz.cpp, which includes this file with PACK_TOOL_NO_MAIN defined.
namespace pack_tool {

const char kUsage[] =
    "usage:\n"
    "  pack create [-1|-9] PACK FILE...           write a pack of the files alone\n"
    "  pack append [-1|-9] [--force] [-o OUTPUT] PROGRAM FILE...\n"
    "                                             append a pack to PROGRAM (or to a copy of it\n"
    "                                             named OUTPUT); a pack already at its end is\n"
    "                                             replaced when every part of it checks out\n"
    "  pack list PACK                             name, stored and unpacked size of each entry\n"
    "  pack extract [--force] PACK [DIRECTORY]    write every entry as a new file in DIRECTORY\n"
    "                                             (default .); existing names are never replaced\n"
    "  pack verify PACK                           check every entry and decompress it\n"
    "-9 (default) packs smallest with LZO1X-999; -1 packs fastest with LZO1X-1.\n"
    "append --force: a pack at the end that does not check out is kept, the new one follows it.\n"
    "extract --force: write even when the entries unpack to more than 256 x the pack's size.\n"
    "Entries are named by the files' last path component; a game finds them by that name,\n"
    "ignoring case, whenever no file of the requested name exists on disk.\n";

// Most problems one message lists before it counts the rest.
constexpr size_t kProblemLines = 10;

// Where the tool's words go: normal output and complaints.
struct Console {
    std::FILE* out_;
    std::FILE* err_;
};

int usage(const Console& console) {
    std::fputs(kUsage, console.err_);
    return 2;
}

int fail(const Console& console, const std::string& message) {
    std::fprintf(console.err_, "pack: %s\n", message.c_str());
    return 1;
}

std::string system_error(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string last_component(const std::string& path) { return std::string(rt::pack_last_component(path)); }

// ---- reading an existing pack ----

uint32_t read_u32(const uint8_t* p, bool big) {
    return big ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
               : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
}
uint64_t read_u64(const uint8_t* p, bool big) {
    const uint64_t first = read_u32(p, big);
    const uint64_t second = read_u32(p + 4, big);
    return big ? first << 32 | second : second << 32 | first;
}
uint16_t read_u16(const uint8_t* p, bool big) {
    return static_cast<uint16_t>(big ? p[0] << 8 | p[1] : p[1] << 8 | p[0]);
}

// Where the program part of a file ends: for an ELF program, the furthest byte its headers,
// segments and sections occupy (at most the file's size); 0 for any other file. A pack before it
// would lie inside the program.
int64_t program_end(FileReader& file) {
    const int64_t size = file.size();
    uint8_t head[64];
    const uint8_t magic[4] = {0x7f, 'E', 'L', 'F'};
    if (size < 52 || file.read_at(0, head, 52) != 52 || std::memcmp(head, magic, 4) != 0) return 0;
    const bool wide = head[4] == 2;
    const bool big = head[5] == 2;
    if (wide && (size < 64 || file.read_at(0, head, 64) != 64)) return size;
    // Offsets of the fields in the file header, the program headers and the section headers.
    const uint64_t ph_offset = wide ? read_u64(head + 32, big) : read_u32(head + 28, big);
    const uint64_t sh_offset = wide ? read_u64(head + 40, big) : read_u32(head + 32, big);
    const uint16_t ph_size = read_u16(head + (wide ? 54 : 42), big);
    const uint16_t ph_count = read_u16(head + (wide ? 56 : 44), big);
    const uint16_t sh_size = read_u16(head + (wide ? 58 : 46), big);
    const uint16_t sh_count = read_u16(head + (wide ? 60 : 48), big);
    uint64_t end = wide ? 64 : 52;
    bool beyond = false;  // something claims bytes past the end of the file
    const auto claim = [&](uint64_t offset, uint64_t length) {
        if (offset > static_cast<uint64_t>(size) || length > static_cast<uint64_t>(size) - offset) {
            beyond = true;
        } else {
            end = std::max(end, offset + length);
        }
    };
    const auto table = [&](uint64_t offset, uint16_t entry_size, uint16_t count, bool sections) {
        if (count == 0) return;
        claim(offset, uint64_t{entry_size} * count);
        if (beyond) return;
        const size_t need = sections ? (wide ? 40 : 24) : (wide ? 40 : 20);
        if (entry_size < need) return;
        uint8_t record[40];
        for (uint16_t i = 0; i < count && !beyond; ++i) {
            if (file.read_at(static_cast<int64_t>(offset + uint64_t{entry_size} * i), record,
                             static_cast<int64_t>(need)) != static_cast<int64_t>(need)) {
                beyond = true;
                break;
            }
            if (sections) {
                const uint32_t kind = read_u32(record + 4, big);
                if (kind == 0 || kind == 8) continue;  // an unused section and one without file bytes
                claim(wide ? read_u64(record + 24, big) : read_u32(record + 16, big),
                      wide ? read_u64(record + 32, big) : read_u32(record + 20, big));
            } else {
                claim(wide ? read_u64(record + 8, big) : read_u32(record + 4, big),
                      wide ? read_u64(record + 32, big) : read_u32(record + 16, big));
            }
        }
    };
    table(ph_offset, ph_size, ph_count, false);
    table(sh_offset, sh_size, sh_count, true);
    return beyond ? size : static_cast<int64_t>(end);
}

// Opens a pack (or a program with one) named on the command line: a regular file, not a memory
// file name.
bool open_file(const std::string& path, FileReader& reader, std::string& error) {
    if (path.compare(0, 6, "mem://") == 0 || !reader.open(path.c_str())) {
        error = path + ": cannot be opened (missing, not a regular file, or above 2 GiB)";
        return false;
    }
    return true;
}

// Prints what a check found wrong, at most kProblemLines lines. Returns the count of problems.
size_t report_problems(const Console& console, const std::string& label, const rt::PackCheck& check) {
    size_t count = 0;
    const auto line = [&](const std::string& text) {
        if (count++ < kProblemLines) std::fprintf(console.err_, "pack: %s: %s\n", label.c_str(), text.c_str());
    };
    if (!check.directory_problem_.empty()) line(check.directory_problem_);
    for (const rt::PackCheckedEntry& checked : check.entries_) {
        if (!checked.problem_.empty()) line("entry \"" + checked.entry_.name_ + "\" " + checked.problem_);
    }
    if (count > kProblemLines) {
        std::fprintf(console.err_, "pack: %s: and %zu more problems\n", label.c_str(), count - kProblemLines);
    }
    return count;
}

// Checks the pack at the end of pack (decompressing every entry when decompress is set); false,
// with a message, when the file ends in no pack.
bool check_pack(const Console& console, const std::string& label, FileReader& pack, bool decompress,
                rt::PackCheck& check) {
    rt::pack_check(pack, program_end(pack), decompress, check);
    if (!check.found_) {
        fail(console, label + ": no pack at its end");
        return false;
    }
    return true;
}

int list(const Console& console, const std::string& label, FileReader& pack) {
    rt::PackCheck check;
    if (!check_pack(console, label, pack, false, check)) return 1;
    std::fprintf(console.out_, "%12s %12s  %s\n", "stored", "unpacked", "name");
    for (const rt::PackCheckedEntry& checked : check.entries_) {
        const std::string unpacked = checked.head_read_ ? std::to_string(checked.unpacked_size_) : "(bad)";
        std::fprintf(console.out_, "%12u %12s  %s%s\n", checked.entry_.stored_size_, unpacked.c_str(),
                     checked.entry_.name_.c_str(), checked.problem_.empty() ? "" : "  (damaged)");
    }
    return report_problems(console, label, check) == 0 ? 0 : 1;
}

int verify(const Console& console, const std::string& label, FileReader& pack) {
    rt::PackCheck check;
    if (!check_pack(console, label, pack, true, check)) return 1;
    size_t bad = 0;
    for (const rt::PackCheckedEntry& checked : check.entries_) bad += checked.problem_.empty() ? 0 : 1;
    report_problems(console, label, check);
    std::fprintf(console.out_, "%s: %zu entries good, %zu damaged%s\n", label.c_str(), check.entries_.size() - bad, bad,
                 check.directory_problem_.empty() ? "" : ", directory damaged");
    return check.sound() ? 0 : 1;
}

// A name extract may create inside its folder: no path, no "." or "..".
bool safe_entry_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string lower_ascii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    }
    return text;
}

// Writes one entry as a new file in directory; false, with a message, when it is refused or
// fails (a file it began is removed again). taken holds the names written or refused so far, in
// lower case.
bool extract_entry(const Console& console, FileReader& pack, const rt::PackEntry& entry, const std::string& directory,
                   std::unordered_set<std::string>& taken) {
    const std::string& name = entry.name_;
    if (!safe_entry_name(name)) {
        std::fprintf(console.err_, "pack: skipping entry with unsafe name \"%s\"\n", name.c_str());
        return false;
    }
    if (!taken.insert(lower_ascii(name)).second) {
        std::fprintf(console.err_, "pack: skipping entry \"%s\": an earlier entry has that name ignoring case\n",
                     name.c_str());
        return false;
    }
    rt::PackBlock block;
    if (!rt::pack_extract(pack, entry, block)) {
        std::fprintf(console.err_, "pack: %s: damaged entry\n", name.c_str());
        return false;
    }
    const std::string path = directory + "/" + name;
    rt::PlatformFile file = rt::platform_file_open(path.c_str(), rt::FileOpenMode::kCreateNew, 0644);
    if (!file) {
        const std::string why =
            errno == EEXIST ? path + ": exists already (not replaced; a link is not followed)" : system_error(path);
        std::fprintf(console.err_, "pack: %s\n", why.c_str());
        return false;
    }
    if (!rt::platform_file_write(file, block.bytes_.get(), block.size_)) {
        std::fprintf(console.err_, "pack: %s (removed)\n", system_error(path).c_str());
        file.reset();
        rt::platform_file_delete(path.c_str());
        return false;
    }
    return true;
}

// Writes every sound entry as a new file in directory. Nothing is written when the entries
// would unpack to more than 256 x the pack's size (unless force). Exit code 0 only when the pack
// was whole and every entry was written.
int extract(const Console& console, const std::string& label, FileReader& pack, const std::string& directory,
            bool force) {
    rt::PackCheck check;
    if (!check_pack(console, label, pack, false, check)) return 1;
    size_t failures = report_problems(console, label, check);
    uint64_t total = 0;
    for (const rt::PackCheckedEntry& checked : check.entries_) total += checked.unpacked_size_;
    const uint64_t bound = rt::kPackMaxExpansion * static_cast<uint64_t>(pack.size() - check.start_);
    if (total > bound && !force) {
        return fail(console, label + ": the entries would unpack to " + std::to_string(total) + " bytes, more than " +
                                 std::to_string(rt::kPackMaxExpansion) +
                                 " times the pack's size; nothing written (--force writes them anyway)");
    }
    std::unordered_set<std::string> taken;
    size_t written = 0;
    for (const rt::PackCheckedEntry& checked : check.entries_) {
        if (!checked.problem_.empty()) continue;  // reported above
        if (extract_entry(console, pack, checked.entry_, directory, taken)) {
            ++written;
        } else {
            ++failures;
        }
    }
    std::fprintf(console.out_, "%zu of %zu entries written to %s\n", written, check.entries_.size(), directory.c_str());
    return failures == 0 ? 0 : 1;
}

// How much of program append keeps: all of it when it ends in no pack, the part before its pack
// when every part of that pack checks out, and otherwise all of it with force, or nothing (false,
// the reasons printed) without.
bool plan_cut(const Console& console, const std::string& label, FileReader& program, bool force, int64_t& keep) {
    keep = program.size();
    rt::PackCheck check;
    rt::pack_check(program, program_end(program), true, check);
    if (!check.found_) return true;
    if (check.sound() && check.unaccounted_ == 0) {
        keep = check.start_;
        std::fprintf(console.out_, "%s: replacing the pack that started at byte %lld\n", label.c_str(),
                     static_cast<long long>(keep));
        return true;
    }
    if (force) {
        std::fprintf(console.out_, "%s: its pack does not check out; --force: kept, the new pack follows it\n",
                     label.c_str());
        return true;
    }
    std::fprintf(console.err_, "pack: %s ends in a pack that does not check out, so nothing was cut or written:\n",
                 label.c_str());
    report_problems(console, label, check);
    if (check.sound()) {
        std::fprintf(console.err_, "pack: %s: %lld bytes from byte %lld to the end belong to no part of the pack\n",
                     label.c_str(), static_cast<long long>(check.unaccounted_), static_cast<long long>(check.start_));
    }
    std::fprintf(console.err_, "pack: --force keeps all of %s and appends the new pack after it\n", label.c_str());
    return false;
}

// ---- writing a new pack ----

struct Input {
    std::string path_;
    std::string name_;
};

// Opens an input: a regular file of at most 1 GiB (never waits on a FIFO or device).
bool open_input(const std::string& path, rt::PlatformFile& file, int64_t& size, std::string& error) {
    file = rt::platform_file_open(path.c_str(), rt::FileOpenMode::kRead);
    rt::PlatformFileInfo info;
    if (!file || !rt::platform_file_info(file, info)) {
        error = system_error(path);
        return false;
    }
    if (!info.is_regular) {
        error = path + ": not a regular file (FIFOs, devices and folders are not packed)";
        return false;
    }
    if (static_cast<uint64_t>(info.size) > rt::kPackMaxUnpacked) {
        error = path + ": larger than the 1 GiB an entry may hold";
        return false;
    }
    size = info.size;
    return true;
}

// Checks every input before anything is written: each opens as a regular file, and the names are
// valid and distinct ignoring case.
bool gather_inputs(const std::vector<std::string>& paths, std::vector<Input>& inputs, std::string& error) {
    std::unordered_set<std::string> names;
    for (const std::string& path : paths) {
        rt::PlatformFile file;
        int64_t size = 0;
        if (!open_input(path, file, size, error)) return false;
        Input input{path, last_component(path)};
        if (!rt::pack_name_check(input.name_, error)) return false;
        if (!names.insert(lower_ascii(input.name_)).second) {
            error = "two entries named \"" + input.name_ + "\" (names match ignoring case)";
            return false;
        }
        inputs.push_back(std::move(input));
    }
    return true;
}

// Writes a pack of the inputs into file from byte at on, one entry in memory at a time; size is
// the pack's size in bytes. The file with the pack must stay below 2 GiB.
bool write_pack(const rt::PlatformFile& file, int64_t at, const std::vector<Input>& inputs, rt::PackLevel level,
                int64_t& size, std::string& error) {
    std::vector<rt::PackPlaced> placed;
    int64_t data = 0;
    for (const Input& input : inputs) {
        std::vector<uint8_t> stored;
        {
            rt::PlatformFile source;
            int64_t length = 0;
            if (!open_input(input.path_, source, length, error)) return false;
            std::vector<uint8_t> bytes(static_cast<size_t>(length));
            if (rt::platform_file_read(source, bytes.data(), bytes.size()) != length) {
                error = input.path_ + ": could not be read whole (changed while packing?)";
                return false;
            }
            if (!rt::pack_compress(bytes.data(), bytes.size(), level, stored, error)) {
                error += ": " + input.path_;
                return false;
            }
        }
        if (at + data + static_cast<int64_t>(stored.size()) > INT32_MAX) {
            error = "the file with its pack would reach 2 GiB; the runtime would not open it";
            return false;
        }
        if (!rt::platform_file_write_at(file, at + data, stored.data(), stored.size())) {
            error = system_error("writing");
            return false;
        }
        placed.push_back({input.name_, data, static_cast<uint32_t>(stored.size())});
        data += static_cast<int64_t>(stored.size());
    }
    std::vector<uint8_t> tail;
    if (!rt::pack_directory(placed, data, tail, error)) return false;
    if (at + data + static_cast<int64_t>(tail.size()) > INT32_MAX) {
        error = "the file with its pack would reach 2 GiB; the runtime would not open it";
        return false;
    }
    if (!rt::platform_file_write_at(file, at + data, tail.data(), tail.size())) {
        error = system_error("writing");
        return false;
    }
    size = data + static_cast<int64_t>(tail.size());
    return true;
}

// Copies the first count bytes of source to the start of file.
bool copy_prefix(FileReader& source, int64_t count, const rt::PlatformFile& file, std::string& error) {
    std::vector<uint8_t> block(1 << 20);
    for (int64_t at = 0; at < count;) {
        const int64_t n = std::min<int64_t>(count - at, static_cast<int64_t>(block.size()));
        if (source.read_at(at, block.data(), n) != n) {
            error = "reading the program failed";
            return false;
        }
        if (!rt::platform_file_write_at(file, at, block.data(), static_cast<size_t>(n))) {
            error = system_error("writing");
            return false;
        }
        at += n;
    }
    return true;
}

// Options before the operands: [-1|-9], and where allowed --force and -o OUTPUT.
struct Options {
    rt::PackLevel level_ = rt::PackLevel::kBest;
    bool force_ = false;
    std::string output_;
};

bool parse_options(std::vector<std::string>& args, Options& options, bool levels, bool force, bool output) {
    while (!args.empty() && args[0].size() > 1 && args[0][0] == '-') {
        if (levels && args[0] == "-1") {
            options.level_ = rt::PackLevel::kFast;
        } else if (levels && args[0] == "-9") {
            options.level_ = rt::PackLevel::kBest;
        } else if (force && args[0] == "--force") {
            options.force_ = true;
        } else if (output && args[0] == "-o" && args.size() > 1) {
            options.output_ = args[1];
            args.erase(args.begin());
        } else if (args[0] == "--") {
            args.erase(args.begin());
            break;
        } else {
            return false;
        }
        args.erase(args.begin());
    }
    return true;
}

// Builds target's new version beside it (keeping the first keep bytes of prefix, then the new
// pack) and puts it in place only when complete; on any failure target stays as it was.
int write_target(const Console& console, const std::string& target, FileReader* prefix, int64_t keep,
                 uint32_t permissions, const std::vector<Input>& inputs, rt::PackLevel level) {
    rt::PlatformReplacement replacement;
    if (!replacement.begin(target.c_str(), permissions)) {
        return fail(console, system_error(target) +
                                 " (a new version cannot be made: not a regular file, not writable, or its folder"
                                 " takes no new file)");
    }
    std::string error;
    int64_t pack_size = 0;
    if ((prefix && !copy_prefix(*prefix, keep, replacement.file(), error)) ||
        !write_pack(replacement.file(), keep, inputs, level, pack_size, error)) {
        replacement.abandon();
        return fail(console, target + ": " + error + "; " + target + " is unchanged");
    }
    if (!replacement.commit()) return fail(console, system_error(target) + "; " + target + " is unchanged");
    std::fprintf(console.out_, "%s: %zu entries, a pack of %lld bytes\n", target.c_str(), inputs.size(),
                 static_cast<long long>(pack_size));
    return 0;
}

int command_create(const Console& console, std::vector<std::string> args) {
    Options options;
    if (!parse_options(args, options, true, false, false) || args.size() < 2) return usage(console);
    std::vector<Input> inputs;
    std::string error;
    if (!gather_inputs({args.begin() + 1, args.end()}, inputs, error)) return fail(console, error);
    return write_target(console, args[0], nullptr, 0, 0644, inputs, options.level_);
}

int command_append(const Console& console, std::vector<std::string> args) {
    Options options;
    if (!parse_options(args, options, true, true, true) || args.size() < 2) return usage(console);
    const std::string& program_path = args[0];
    std::vector<Input> inputs;
    std::string error;
    if (!gather_inputs({args.begin() + 1, args.end()}, inputs, error)) return fail(console, error);
    FileReader program;
    rt::PlatformFileInfo info;
    if (!open_file(program_path, program, error) || !rt::platform_path_info(program_path.c_str(), info)) {
        return fail(console, error.empty() ? system_error(program_path) : error);
    }
    int64_t keep = 0;
    if (!plan_cut(console, program_path, program, options.force_, keep)) return 1;
    const std::string target = options.output_.empty() ? program_path : options.output_;
    return write_target(console, target, &program, keep, info.permissions, inputs, options.level_);
}

int command_read(const Console& console, const std::string& command, std::vector<std::string> args) {
    Options options;
    const bool extracting = command == "extract";
    if (!parse_options(args, options, false, extracting, false)) return usage(console);
    if (args.empty() || args.size() > (extracting ? 2u : 1u)) return usage(console);
    FileReader pack;
    std::string error;
    if (!open_file(args[0], pack, error)) return fail(console, error);
    if (command == "list") return list(console, args[0], pack);
    if (command == "verify") return verify(console, args[0], pack);
    return extract(console, args[0], pack, args.size() == 2 ? args[1] : ".", options.force_);
}

int run(const Console& console, const std::vector<std::string>& argv) {
    if (argv.empty()) return usage(console);
    const std::string& command = argv[0];
    std::vector<std::string> args(argv.begin() + 1, argv.end());
    if (command == "create") return command_create(console, std::move(args));
    if (command == "append") return command_append(console, std::move(args));
    if (command == "list" || command == "extract" || command == "verify") {
        return command_read(console, command, std::move(args));
    }
    return usage(console);
}

}  // namespace pack_tool

#ifndef PACK_TOOL_NO_MAIN
int main(int argc, char** argv) {
    return pack_tool::run({stdout, stderr}, std::vector<std::string>(argv + 1, argv + argc));
}
#endif
