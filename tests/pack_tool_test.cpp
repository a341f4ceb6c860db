// Packs appended to a copy of a real executable: built by the library and by the `pack` command,
// resolved and read back byte for byte; damaged packs fail cleanly in the reader and the tool.
#include <gtest/gtest.h>
#include <sys/stat.h>

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

}  // namespace
