// The pack command: builds a pack of files (LZO1X-999 or LZO1X-1), appends it to an executable
// or writes it alone, and lists, extracts and verifies packs. Exit code 0 on success, 1 on a
// failure, 2 on wrong usage.
#include "runtime/files/pack.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/files/file_reader.h"
#include "runtime/platform/fs.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  pack create [-1|-9] PACK FILE...               write a pack of the files alone\n"
    "  pack append [-1|-9] [-o OUTPUT] PROGRAM FILE...  append a pack to PROGRAM (or to a copy\n"
    "                                                 of it named OUTPUT); a pack already at its\n"
    "                                                 end is replaced\n"
    "  pack list PACK                                 name, stored and unpacked size of each entry\n"
    "  pack extract PACK [DIRECTORY]                  write every entry into DIRECTORY (default .)\n"
    "  pack verify PACK                               decompress every entry and check its size\n"
    "-9 (default) packs smallest with LZO1X-999; -1 packs fastest with LZO1X-1.\n"
    "Entries are named by the files' last path component; a game finds them by that name,\n"
    "ignoring case, whenever no file of the requested name exists on disk.\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "pack: %s\n", message.c_str());
    return 1;
}

std::string system_error(const std::string& what) { return what + ": " + std::strerror(errno); }

bool read_whole(const std::string& path, std::vector<uint8_t>& out, std::string& error) {
    rt::PlatformFile file = rt::platform_file_open(path.c_str(), rt::FileOpenMode::kRead);
    rt::PlatformFileInfo info;
    if (!file || !rt::platform_file_info(file, info)) {
        error = system_error(path);
        return false;
    }
    if (!info.is_regular) {
        error = path + ": not a regular file";
        return false;
    }
    if (static_cast<uint64_t>(info.size) > rt::kPackMaxUnpacked) {
        error = path + ": larger than the 1 GiB an entry may hold";
        return false;
    }
    out.resize(static_cast<size_t>(info.size));
    if (rt::platform_file_read(file, out.data(), out.size()) != static_cast<int64_t>(out.size())) {
        error = system_error(path);
        return false;
    }
    return true;
}

std::string last_component(const std::string& path) { return std::string(rt::pack_last_component(path)); }

// Parses [-1|-9] [-o OUTPUT] (output only when allowed) and leaves the rest in args.
bool parse_options(std::vector<std::string>& args, rt::PackLevel& level, std::string* output) {
    level = rt::PackLevel::kBest;
    while (!args.empty() && args[0].size() > 1 && args[0][0] == '-') {
        if (args[0] == "-1") {
            level = rt::PackLevel::kFast;
        } else if (args[0] == "-9") {
            level = rt::PackLevel::kBest;
        } else if (args[0] == "-o" && output && args.size() > 1) {
            *output = args[1];
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

bool build(const std::vector<std::string>& files, rt::PackLevel level, std::vector<uint8_t>& pack, std::string& error) {
    std::vector<rt::PackSource> sources;
    for (const std::string& path : files) {
        rt::PackSource source;
        source.name_ = last_component(path);
        if (!read_whole(path, source.bytes_, error)) return false;
        sources.push_back(std::move(source));
    }
    return rt::pack_build(sources, level, pack, error);
}

int command_create(std::vector<std::string> args) {
    rt::PackLevel level;
    if (!parse_options(args, level, nullptr) || args.size() < 2) return usage();
    std::vector<uint8_t> pack;
    std::string error;
    if (!build({args.begin() + 1, args.end()}, level, pack, error)) return fail(error);
    rt::platform_file_delete(args[0].c_str());
    rt::PlatformFile file = rt::platform_file_open(args[0].c_str(), rt::FileOpenMode::kWriteEmpty);
    if (!file) return fail(system_error(args[0]));
    if (!rt::platform_file_write(file, pack.data(), pack.size())) return fail(system_error(args[0]));
    std::printf("%s: %zu entries, %zu bytes\n", args[0].c_str(), args.size() - 1, pack.size());
    return 0;
}

// Copies source to target (target replaced), keeping the source's permission bits.
bool copy_file(const std::string& source, const std::string& target, std::string& error) {
    rt::PlatformFile in = rt::platform_file_open(source.c_str(), rt::FileOpenMode::kRead);
    rt::PlatformFileInfo info;
    if (!in || !rt::platform_file_info(in, info) || !info.is_regular) {
        error = in ? source + ": not a regular file" : system_error(source);
        return false;
    }
    rt::platform_file_delete(target.c_str());
    rt::PlatformFile out = rt::platform_file_open(target.c_str(), rt::FileOpenMode::kCreateNew, info.permissions);
    if (!out) {
        error = system_error(target);
        return false;
    }
    uint8_t block[1 << 16];
    for (;;) {
        const int64_t r = rt::platform_file_read(in, block, sizeof block);
        if (r < 0) {
            error = system_error(source);
            return false;
        }
        if (r == 0) return true;
        if (!rt::platform_file_write(out, block, static_cast<size_t>(r))) {
            error = system_error(target);
            return false;
        }
    }
}

int command_append(std::vector<std::string> args) {
    rt::PackLevel level;
    std::string output;
    if (!parse_options(args, level, &output) || args.size() < 2) return usage();
    std::vector<uint8_t> pack;
    std::string error;
    if (!build({args.begin() + 1, args.end()}, level, pack, error)) return fail(error);
    std::string target = args[0];
    if (!output.empty()) {
        if (!copy_file(args[0], output, error)) return fail(error);
        target = output;
    }
    // A pack already at the end is cut off first, so packs never pile up.
    int64_t keep = -1;
    {
        FileReader existing;
        int64_t start = 0;
        if (existing.open(target.c_str()) && rt::pack_start_offset(existing, start)) keep = start;
    }
    rt::PlatformFile file = rt::platform_file_open(target.c_str(), rt::FileOpenMode::kWrite);
    if (!file) return fail(system_error(target));
    if (keep >= 0) {
        if (!rt::platform_file_truncate(file, keep)) return fail(system_error(target));
        std::printf("%s: replacing the pack that started at byte %lld\n", target.c_str(), static_cast<long long>(keep));
    }
    rt::PlatformFileInfo info;
    if (!rt::platform_file_info(file, info) || !rt::platform_file_write_at(file, info.size, pack.data(), pack.size())) {
        return fail(system_error(target));
    }
    if (rt::platform_file_info(file, info) && info.size > INT32_MAX) {
        return fail(target + ": larger than 2 GiB with the pack; the runtime will not open it");
    }
    std::printf("%s: appended %zu entries, %zu bytes\n", target.c_str(), args.size() - 1, pack.size());
    return 0;
}

bool open_pack(const std::string& path, FileReader& reader, std::string& error) {
    if (!reader.open(path.c_str())) {
        error = path + ": cannot be opened (missing, not a regular file, or above 2 GiB)";
        return false;
    }
    int32_t directory = 0;
    if (!rt::pack_read_trailer(reader, directory)) {
        error = path + ": no pack at its end";
        return false;
    }
    return true;
}

int command_list(std::vector<std::string> args) {
    if (args.size() != 1) return usage();
    FileReader reader;
    std::string error;
    if (!open_pack(args[0], reader, error)) return fail(error);
    std::printf("%12s %12s  %s\n", "stored", "unpacked", "name");
    rt::pack_walk(reader, [&](const rt::PackEntry& entry) {
        uint8_t head[4] = {};
        if (entry.valid_ && reader.read_at(entry.offset_, head, 4) == 4) {
            uint32_t unpacked = static_cast<uint32_t>(head[0]) | static_cast<uint32_t>(head[1]) << 8 |
                                static_cast<uint32_t>(head[2]) << 16 | static_cast<uint32_t>(head[3]) << 24;
            std::printf("%12u %12u  %s\n", entry.stored_size_, unpacked, entry.name_.c_str());
        } else {
            std::printf("%12u %12s  %s\n", entry.stored_size_, "(bad)", entry.name_.c_str());
        }
        return true;
    });
    return 0;
}

// A name safe to create inside the target directory.
bool safe_entry_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

int command_extract(std::vector<std::string> args) {
    if (args.empty() || args.size() > 2) return usage();
    std::string directory = args.size() == 2 ? args[1] : ".";
    FileReader reader;
    std::string error;
    if (!open_pack(args[0], reader, error)) return fail(error);
    int failures = 0;
    size_t written = 0;
    rt::pack_walk(reader, [&](const rt::PackEntry& entry) {
        rt::PackBlock block;
        if (!safe_entry_name(entry.name_)) {
            std::fprintf(stderr, "pack: skipping entry with unsafe name \"%s\"\n", entry.name_.c_str());
            ++failures;
        } else if (!rt::pack_extract(reader, entry, block)) {
            std::fprintf(stderr, "pack: %s: damaged entry\n", entry.name_.c_str());
            ++failures;
        } else {
            std::string path = directory + "/" + entry.name_;
            if (!rt::write_whole_file(path.c_str(), block.bytes_.get(), block.size_)) {
                std::fprintf(stderr, "pack: %s\n", system_error(path).c_str());
                ++failures;
            } else {
                ++written;
            }
        }
        return true;
    });
    std::printf("%zu entries written to %s\n", written, directory.c_str());
    return failures == 0 ? 0 : 1;
}

int command_verify(std::vector<std::string> args) {
    if (args.size() != 1) return usage();
    FileReader reader;
    std::string error;
    if (!open_pack(args[0], reader, error)) return fail(error);
    size_t good = 0;
    size_t bad = 0;
    bool walked = rt::pack_walk(reader, [&](const rt::PackEntry& entry) {
        rt::PackBlock block;
        if (rt::pack_extract(reader, entry, block)) {
            ++good;
        } else {
            std::fprintf(stderr, "pack: %s: damaged entry\n", entry.name_.c_str());
            ++bad;
        }
        return true;
    });
    if (!walked) return fail(args[0] + ": directory outside the file or cut short");
    std::printf("%s: %zu entries good, %zu damaged\n", args[0].c_str(), good, bad);
    return bad == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "create") return command_create(std::move(args));
    if (command == "append") return command_append(std::move(args));
    if (command == "list") return command_list(std::move(args));
    if (command == "extract") return command_extract(std::move(args));
    if (command == "verify") return command_verify(std::move(args));
    return usage();
}
