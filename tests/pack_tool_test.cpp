// Packs appended to a copy of a real executable: built by the library and by the `pack` command,
// resolved and read back byte for byte; damaged and hostile packs fail cleanly in the reader and
// the tool, which never loses the file it was given.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "runtime/files/file_reader.h"
#include "runtime/files/pack.h"
#include "runtime/files/resolver.h"
#include "runtime/platform/os.h"
#include "runtime/runtime.h"
#include "support/test_support.h"

namespace {

using rt_test::read_file;
using rt_test::run_program;
using rt_test::TempDir;
using rt_test::write_file;

std::string pack_tool() { return std::string(RT_TEST_PROGRAM_DIR) + "/../pack"; }

std::string self_executable() { return rt::platform_executable_path(); }

std::string noise(size_t n, uint32_t seed) {
    std::string out(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        out[i] = static_cast<char>(seed >> 24);
    }
    return out;
}

// Files of several kinds: text that packs well, noise that does not, an empty file.
std::vector<std::pair<std::string, std::string>> sample_files() {
    std::string text;
    for (int i = 0; i < 40000; ++i) text += "line " + std::to_string(i % 97) + " of the level data\n";
    return {{"level1.txt", text}, {"Noise.BIN", noise(300000, 7)}, {"empty.dat", ""}, {"t.bmp", "BM" + noise(77, 3)}};
}

std::string resolve_and_read(const std::string& pack_file, const std::string& name) {
    PackResolver resolver;
    resolver.set_pack(pack_file.c_str());
    std::string out;
    if (!path_resolve(resolver, name.c_str(), out, true)) return "<unresolved>";
    FileReader reader;
    if (!reader.open(out.c_str())) return "<unopenable>";
    std::string bytes(static_cast<size_t>(reader.size()), '\0');
    if (!bytes.empty() && !reader.read(bytes.data(), reader.size())) return "<unreadable>";
    return bytes;
}

// The stored bytes of one entry holding bytes.
std::string stored_entry(const std::string& bytes) {
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_TRUE(rt::pack_compress(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), rt::PackLevel::kFast,
                                  out, error))
        << error;
    return {out.begin(), out.end()};
}

struct Record {
    std::string name;
    size_t position;  // absolute
    size_t stored;
};

// A directory of records, to sit at byte at of its file, and the trailer. cut: the last record
// ends after its name and the end marker is missing.
std::string directory_at(const std::vector<Record>& records, size_t at, bool cut = false) {
    std::string out;
    const auto le32 = [&](size_t v) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
    };
    for (size_t i = 0; i < records.size(); ++i) {
        out += static_cast<char>(records[i].name.size());
        out += records[i].name;
        if (cut && i + 1 == records.size()) break;
        le32(records[i].position);
        le32(records[i].stored);
    }
    if (!cut) out += '\0';
    out += "sbX";
    le32(at);
    return out;
}

// A program (elf) whose tail holds a crafted pack the tool must not trust.
struct Hostile {
    const char* what;
    std::string bytes;
};

std::vector<Hostile> hostile_programs(const std::string& elf) {
    const std::string a = stored_entry(std::string(5000, 'x') + "level data");
    const std::string b = stored_entry("second");
    const std::string c = stored_entry("third");
    const size_t n = elf.size();
    std::string planted = elf;  // a genuine entry inside the program's own bytes
    planted.replace(n / 2, a.size(), a);
    return {
        {"entry at byte 0", elf + directory_at({{"a.bmp", 0, 42}}, n)},
        {"sound entry inside the program", planted + directory_at({{"a.bmp", n / 2, a.size()}}, n)},
        {"overlapping entries", elf + a + directory_at({{"a.bmp", n, a.size()}, {"b.bmp", n, a.size()}}, n + a.size())},
        {"cut directory",
         elf + a + b + c +
             directory_at({{"a", n, a.size()}, {"b", n + a.size(), b.size()}, {"c", n + a.size() + b.size(), c.size()}},
                          n + a.size() + b.size() + c.size(), true)},
    };
}

// Every file in folder, by name, with its content (links followed).
std::map<std::string, std::string> folder_files(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        out[entry.path().filename().string()] = read_file(entry.path().string());
    }
    return out;
}

class PackToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& [name, bytes] : sample_files()) {
            write_file(dir_.file(name), bytes);
            inputs_.push_back(dir_.file(name));
        }
    }
    bool have_tool() const { return rt_test::file_exists(pack_tool()); }
    rt_test::ProgramResult tool(std::vector<std::string> args) {
        args.insert(args.begin(), pack_tool());
        return run_program(args, {}, dir_.path(), 120);
    }

    TempDir dir_;
    std::vector<std::string> inputs_;
};

TEST_F(PackToolTest, LibraryPackOnACopyOfAnExecutable) {
    std::vector<rt::PackSource> sources;
    for (const auto& [name, bytes] : sample_files()) sources.push_back({name, {bytes.begin(), bytes.end()}});
    std::vector<uint8_t> pack;
    std::string error;
    ASSERT_TRUE(rt::pack_build(sources, rt::PackLevel::kBest, pack, error)) << error;
    const std::string program = dir_.file("program");
    write_file(program, read_file(self_executable()) + std::string(pack.begin(), pack.end()));
    for (const auto& [name, bytes] : sample_files()) {
        EXPECT_EQ(resolve_and_read(program, "assets/" + name), bytes) << name;
    }
    EXPECT_EQ(resolve_and_read(program, "NOISE.bin").size(), 300000u);
    EXPECT_EQ(resolve_and_read(program, "absent.txt"), "<unresolved>");
}

TEST_F(PackToolTest, AppendListExtractVerify) {
    if (!have_tool()) GTEST_SKIP() << "the pack tool is not built here";
    const std::string program = dir_.file("game");
    std::vector<std::string> args = {"append", "-o", program, self_executable()};
    args.insert(args.end(), inputs_.begin(), inputs_.end());
    rt_test::ProgramResult appended = tool(args);
    ASSERT_EQ(appended.exit_code, 0) << appended.output;

    // Still a working program: the copy runs and lists its own tests.
    rt_test::ProgramResult runs = run_program({program, "--gtest_list_tests"}, {}, dir_.path(), 120);
    EXPECT_EQ(runs.exit_code, 0);
    EXPECT_NE(runs.output.find("PackToolTest."), std::string::npos);
    struct stat st;
    ASSERT_EQ(::stat(program.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);

    for (const auto& [name, bytes] : sample_files()) EXPECT_EQ(resolve_and_read(program, name), bytes) << name;

    rt_test::ProgramResult listed = tool({"list", program});
    EXPECT_EQ(listed.exit_code, 0);
    EXPECT_NE(listed.output.find("level1.txt"), std::string::npos);
    EXPECT_NE(listed.output.find("300000"), std::string::npos);
    EXPECT_EQ(tool({"verify", program}).exit_code, 0);

    ASSERT_EQ(::mkdir(dir_.file("out").c_str(), 0755), 0);
    rt_test::ProgramResult extracted = tool({"extract", program, dir_.file("out")});
    EXPECT_EQ(extracted.exit_code, 0) << extracted.output;
    for (const auto& [name, bytes] : sample_files()) EXPECT_EQ(read_file(dir_.file("out/" + name)), bytes) << name;

    // Appending again replaces the pack instead of piling a second one on.
    const size_t with_four = read_file(program).size();
    ASSERT_EQ(tool({"append", "-1", program, inputs_[3]}).exit_code, 0);
    const std::string replaced = read_file(program);
    EXPECT_LT(replaced.size(), with_four);
    EXPECT_EQ(replaced.compare(0, read_file(self_executable()).size(), read_file(self_executable())), 0);
    EXPECT_EQ(resolve_and_read(program, "t.bmp"), sample_files()[3].second);
    EXPECT_EQ(resolve_and_read(program, "level1.txt"), "<unresolved>");
}

TEST_F(PackToolTest, PackAloneWithTheFastLevel) {
    if (!have_tool()) GTEST_SKIP() << "the pack tool is not built here";
    std::vector<std::string> args = {"create", "-1", dir_.file("alone.pack")};
    args.insert(args.end(), inputs_.begin(), inputs_.end());
    ASSERT_EQ(tool(args).exit_code, 0);
    for (const auto& [name, bytes] : sample_files()) {
        EXPECT_EQ(resolve_and_read(dir_.file("alone.pack"), name), bytes) << name;
    }
    // The same bytes work behind any file.
    write_file(dir_.file("joined"), "prefix" + read_file(dir_.file("alone.pack")));
    EXPECT_EQ(resolve_and_read(dir_.file("joined"), "level1.txt"), sample_files()[0].second);
}

TEST_F(PackToolTest, DamagedPacksFailCleanly) {
    std::vector<rt::PackSource> sources;
    for (const auto& [name, bytes] : sample_files()) sources.push_back({name, {bytes.begin(), bytes.end()}});
    std::vector<uint8_t> built;
    std::string error;
    ASSERT_TRUE(rt::pack_build(sources, rt::PackLevel::kFast, built, error));
    const std::string pack(built.begin(), built.end());
    const std::string text = sample_files()[0].second;

    struct Damage {
        const char* what;
        std::string bytes;
    };
    std::vector<Damage> damaged;
    damaged.push_back({"last byte cut", pack.substr(0, pack.size() - 1)});
    damaged.push_back({"half cut", pack.substr(pack.size() / 2)});
    std::string bad_size = pack;
    bad_size[0] = static_cast<char>(bad_size[0] + 1);  // unpacked size of the first entry off by one
    damaged.push_back({"bad unpacked size", bad_size});
    std::string bad_stream = pack;
    for (size_t i = 4; i < 4 + 2000; i += 50) bad_stream[i] = static_cast<char>(~bad_stream[i]);
    damaged.push_back({"bad LZO stream", bad_stream});

    for (const Damage& d : damaged) {
        const std::string file = dir_.file("damaged");
        write_file(file, d.bytes);
        std::string got = resolve_and_read(file, "level1.txt");
        EXPECT_TRUE(got == "<unresolved>") << d.what;
        if (have_tool()) {
            rt_test::ProgramResult verified = tool({"verify", file});
            EXPECT_EQ(verified.exit_code, 1) << d.what << "\n" << verified.output;
            EXPECT_TRUE(verified.exited) << d.what;
            rt_test::ProgramResult listed = tool({"list", file});
            EXPECT_TRUE(listed.exited) << d.what;
        }
    }
}

TEST_F(PackToolTest, RefusesWhatAPackCannotHold) {
    if (!have_tool()) GTEST_SKIP() << "the pack tool is not built here";
    EXPECT_EQ(tool({}).exit_code, 2);
    EXPECT_EQ(tool({"frobnicate"}).exit_code, 2);
    EXPECT_EQ(tool({"create", dir_.file("x.pack")}).exit_code, 2);
    write_file(dir_.file("T.BMP"), "other");
    EXPECT_EQ(tool({"create", dir_.file("x.pack"), inputs_[3], dir_.file("T.BMP")}).exit_code, 1);
    EXPECT_EQ(tool({"create", dir_.file("x.pack"), dir_.file("missing")}).exit_code, 1);
    EXPECT_EQ(tool({"create", dir_.file("x.pack"), dir_.path()}).exit_code, 1);
    EXPECT_EQ(tool({"verify", inputs_[0]}).exit_code, 1);  // no pack at its end
}

TEST_F(PackToolTest, AppendRefusesAPackThatDoesNotCheckOut) {
    if (!have_tool()) GTEST_SKIP() << "the pack tool is not built here";
    const std::string program = dir_.file("program");
    for (const Hostile& hostile : hostile_programs(read_file(self_executable()))) {
        SCOPED_TRACE(hostile.what);
        write_file(program, hostile.bytes);
        rt_test::ProgramResult refused = tool({"append", program, inputs_[3]});
        EXPECT_EQ(refused.exit_code, 1) << refused.output;
        EXPECT_NE(refused.output.find("does not check out"), std::string::npos) << refused.output;
        EXPECT_TRUE(read_file(program) == hostile.bytes) << "the program was changed";

        // --force cuts nothing: the whole old file stays in front of the new pack.
        rt_test::ProgramResult forced = tool({"append", "--force", program, inputs_[3]});
        EXPECT_EQ(forced.exit_code, 0) << forced.output;
        const std::string after = read_file(program);
        EXPECT_TRUE(after.size() > hostile.bytes.size() && after.compare(0, hostile.bytes.size(), hostile.bytes) == 0);
        EXPECT_EQ(resolve_and_read(program, "t.bmp"), sample_files()[3].second);
    }
}

TEST_F(PackToolTest, ExtractWritesOnlyNewFilesFromAWholePack) {
    if (!have_tool()) GTEST_SKIP() << "the pack tool is not built here";
    const std::string a = stored_entry("first"), b = stored_entry("second"), c = stored_entry("third");
    const std::string level_a = stored_entry("level A"), level_b = stored_entry("level B");
    const std::string zeros = stored_entry(std::string(65536, '\0'));
    std::vector<Record> sixteen;  // sixteen names for one 64 KiB stream
    for (int i = 0; i < 16; ++i) sixteen.push_back({"z" + std::to_string(i), 0, zeros.size()});
    std::vector<rt::PackSource> sources;
    for (const auto& [name, bytes] : sample_files()) sources.push_back({name, {bytes.begin(), bytes.end()}});
    std::vector<uint8_t> whole;
    std::string error;
    ASSERT_TRUE(rt::pack_build(sources, rt::PackLevel::kFast, whole, error)) << error;
    write_file(dir_.file("victim"), "someone else's file");

    struct Case {
        const char* what;
        std::string pack;
        bool plant_link;  // level1.txt in the folder is a link to the victim file
        std::map<std::string, std::string> expected;
    };
    std::map<std::string, std::string> linked;
    for (const auto& [name, bytes] : sample_files()) linked[name] = bytes;
    linked["level1.txt"] = "someone else's file";
    const std::vector<Case> cases = {
        {"cut directory",
         a + b + c +
             directory_at({{"a", 0, a.size()}, {"b", a.size(), b.size()}, {"c", a.size() + b.size(), c.size()}},
                          a.size() + b.size() + c.size(), true),
         false,
         {{"a", "first"}, {"b", "second"}}},
        {"names equal ignoring case",
         level_a + level_b +
             directory_at({{"Level.txt", 0, level_a.size()}, {"level.TXT", level_a.size(), level_b.size()}},
                          level_a.size() + level_b.size()),
         false,
         {{"Level.txt", "level A"}}},
        {"sixteen entries on one stream", zeros + directory_at(sixteen, zeros.size()), false, {}},
        {"link planted in the folder", std::string(whole.begin(), whole.end()), true, linked},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& test = cases[i];
        SCOPED_TRACE(test.what);
        const std::string pack = dir_.file("hostile" + std::to_string(i) + ".pack");
        const std::string out = dir_.file("out" + std::to_string(i));
        write_file(pack, test.pack);
        ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
        if (test.plant_link) {
            ASSERT_EQ(::symlink(dir_.file("victim").c_str(), (out + "/level1.txt").c_str()), 0);
        }
        rt_test::ProgramResult extracted = tool({"extract", pack, out});
        EXPECT_TRUE(extracted.exited);
        EXPECT_EQ(extracted.exit_code, 1) << extracted.output;
        EXPECT_TRUE(folder_files(out) == test.expected) << extracted.output;
        EXPECT_TRUE(read_file(dir_.file("victim")) == "someone else's file") << "written through the link";
        if (test.plant_link) {
            EXPECT_TRUE(std::filesystem::is_symlink(out + "/level1.txt"));
        }
    }
}

TEST_F(PackToolTest, CreateRefusesAFifoWithoutWaiting) {
    if (!have_tool()) GTEST_SKIP() << "the pack tool is not built here";
    ASSERT_EQ(::mkfifo(dir_.file("fifo").c_str(), 0644), 0);
    write_file(dir_.file("old.pack"), "the old pack");
    rt_test::ProgramResult created = tool({"create", dir_.file("old.pack"), inputs_[0], dir_.file("fifo")});
    EXPECT_TRUE(created.exited);
    EXPECT_EQ(created.exit_code, 1) << created.output;
    EXPECT_NE(created.output.find("not a regular file"), std::string::npos) << created.output;
    EXPECT_EQ(read_file(dir_.file("old.pack")), "the old pack");
}

// A 64 KiB file system that fills up, mounted for the test's life (needs root).
class SmallDisk {
public:
    explicit SmallDisk(const std::string& path) : path_(path) {
        mounted_ =
            ::geteuid() == 0 && ::mkdir(path.c_str(), 0755) == 0 &&
            run_program({"/bin/mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", path}, {}, "/", 30).exit_code == 0;
    }
    ~SmallDisk() {
        if (mounted_) run_program({"/bin/umount", path_}, {}, "/", 30);
    }
    bool mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_ = false;
};

TEST_F(PackToolTest, FullDiskLeavesTheOriginal) {
    if (!have_tool()) GTEST_SKIP() << "the pack tool is not built here";
    SmallDisk disk(dir_.file("disk"));
    if (!disk.mounted()) GTEST_SKIP() << "NOTE: not run: mounting a 64 KiB tmpfs needs root";
    // About 31 KB of program with a pack, and 70 KB of input that does not compress: the new
    // version fits neither beside the old one nor in its place.
    std::vector<uint8_t> pack;
    std::string error;
    ASSERT_TRUE(rt::pack_build({{"old.bmp", {'o', 'l', 'd'}}}, rt::PackLevel::kFast, pack, error)) << error;
    const std::string original = noise(30000, 11) + std::string(pack.begin(), pack.end());
    write_file(dir_.file("big.bin"), noise(70000, 12));
    const std::string file = dir_.file("disk/program");
    const std::vector<std::vector<std::string>> commands = {
        {"append", file, dir_.file("big.bin")},
        {"append", "-o", file, file, dir_.file("big.bin")},
        {"create", file, dir_.file("big.bin")},
    };
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command[0] + " " + command[1]);
        write_file(file, original);
        rt_test::ProgramResult result = tool(command);
        EXPECT_NE(result.exit_code, 0) << result.output;
        EXPECT_TRUE(read_file(file) == original) << "the original was changed";
        EXPECT_EQ(folder_files(dir_.file("disk")).size(), 1u) << "a temporary file was left behind";
    }
}

}  // namespace
