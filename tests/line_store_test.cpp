// The line store on real files: markers and result codes, the line rule, write-back when the
// selection changes and at shut-down, files held in memory, and the exit clean-up.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/files/file_service.h"
#include "runtime/files/memory_files.h"
#include "runtime/files/pack.h"
#include "runtime/files/resolver.h"
#include "runtime/runtime.h"
#include "support/test_support.h"

namespace {

using rt_test::read_file;
using rt_test::TempDir;
using rt_test::write_file;
using rt_test::kind_of;
using rt_test::long_name_in;

RtString rs(const std::string& s) { return RtString(s.data(), static_cast<uint32_t>(s.size())); }
std::string str(const RtString& s) { return std::string(s.c_str(), s.length()); }

class LineStoreTest : public ::testing::Test {
protected:
    void SetUp() override { rt::files_flush(); }
    void TearDown() override { rt::files_flush(); }

    RtString path(const std::string& name) const { return rs(dir_.file(name)); }
    std::string read_line(const std::string& name, double n, double* result = nullptr) {
        RtString out;
        double r = line_store_read(path(name), n, out);
        if (result) *result = r;
        return str(out);
    }

    TempDir dir_;
};

TEST_F(LineStoreTest, ReadsLinesAndMarkers) {
    write_file(dir_.file("two"), "first\r\nsecond\t\n");
    double result = -1;
    EXPECT_EQ(read_line("two", 0, &result), "first");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(read_line("two", 1.9), "second");  // number truncated; trailing tab removed
    EXPECT_EQ(read_line("two", 3, &result), "NO_DATA");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(read_line("two", 256, &result), "NO_DATA");
    EXPECT_EQ(result, 7);
    EXPECT_EQ(rt::globals.error_code, 7);
    EXPECT_EQ(read_line("two", -1, &result), "NO_DATA");
    EXPECT_EQ(result, 7);
    EXPECT_EQ(read_line("missing", 0, &result), "NO_FILE");
    EXPECT_EQ(result, 3);
    EXPECT_EQ(rt::globals.error_code, 3);
}

TEST_F(LineStoreTest, TrailingControlBytesGoAndTextStays) {
    write_file(dir_.file("t"), "abc\t\ncaf\xC3\xA9\n   \n \x01\x02\n");
    EXPECT_EQ(read_line("t", 0), "abc");
    EXPECT_EQ(read_line("t", 1), "caf\xC3\xA9");  // bytes of 128 and above are text
    EXPECT_EQ(read_line("t", 2), "   ");
    EXPECT_EQ(read_line("t", 3), " ");
}

TEST_F(LineStoreTest, LineRules) {
    write_file(dir_.file("mixed"), "a\r\nb\nc");
    EXPECT_EQ(read_line("mixed", 0), "a");
    EXPECT_EQ(read_line("mixed", 1), "b");
    EXPECT_EQ(read_line("mixed", 2), "c");
    EXPECT_EQ(rt::file_service().line_store_.last_line_, 2);

    write_file(dir_.file("long"), std::string(1500, 'x') + "\nnext\n");
    EXPECT_EQ(read_line("long", 0), std::string(1024, 'x'));
    EXPECT_EQ(read_line("long", 1), std::string(476, 'x'));
    EXPECT_EQ(read_line("long", 2), "next");

    std::string many;
    for (int i = 0; i < 300; ++i) many += std::to_string(i) + "\n";
    write_file(dir_.file("many"), many);
    EXPECT_EQ(read_line("many", 255), "255");
    EXPECT_EQ(rt::file_service().line_store_.last_line_, 255);
}

TEST_F(LineStoreTest, WriteBackWhenAnotherFileIsSelected) {
    EXPECT_EQ(line_store_write(path("new"), 5, RtString("five")), 0);
    EXPECT_EQ(line_store_write(path("new"), 2.7, RtString("two")), 0);
    // Both lines are held; nothing is on disk until the selection moves.
    EXPECT_FALSE(rt_test::file_exists(dir_.file("new")));
    EXPECT_EQ(read_line("new", 5), "five");
    EXPECT_EQ(read_line("new", 2), "two");
    EXPECT_FALSE(rt_test::file_exists(dir_.file("new")));

    write_file(dir_.file("other"), "o\n");
    EXPECT_EQ(read_line("other", 0), "o");
    EXPECT_EQ(read_file(dir_.file("new")), "\r\n\r\ntwo\r\n\r\n\r\nfive\r\n");

    EXPECT_EQ(line_store_write(path("other"), 300, RtString("x")), 7);
    EXPECT_EQ(line_store_write_real(path("other"), 1, 0.25), 0);
    rt::files_flush();  // shut-down
    EXPECT_EQ(read_file(dir_.file("other")), "o\r\n0.25\r\n");
}

TEST_F(LineStoreTest, UnchangedFilesAreNotRewritten) {
    write_file(dir_.file("keep"), "a\nb\n");
    EXPECT_EQ(read_line("keep", 0), "a");
    write_file(dir_.file("other"), "");
    EXPECT_EQ(read_line("other", 0), "NO_DATA");
    EXPECT_EQ(read_file(dir_.file("keep")), "a\nb\n");
}

TEST_F(LineStoreTest, ChangedFileIsWrittenWhole) {
    write_file(dir_.file("f"), "zero\none\ntwo\nthree");
    EXPECT_EQ(line_store_write(path("f"), 1, RtString("ONE")), 0);
    line_store_select(nullptr);
    EXPECT_EQ(read_file(dir_.file("f")), "zero\r\nONE\r\ntwo\r\nthree\r\n");
    // Texts are held up to a 0 byte and at most 1024 bytes.
    EXPECT_EQ(line_store_write(path("f"), 0, RtString(std::string("ab\0cd", 5).c_str(), 5)), 0);
    EXPECT_EQ(line_store_write(path("f"), 1, rs(std::string(2000, 'y'))), 0);
    line_store_select(nullptr);
    EXPECT_EQ(read_file(dir_.file("f")), "ab\r\n" + std::string(1024, 'y') + "\r\ntwo\r\nthree\r\n");
}

TEST_F(LineStoreTest, NumbersFromLines) {
    write_file(dir_.file("n"), "42\n3.5\n");
    int32_t i = -1;
    double d = -1;
    EXPECT_EQ(line_store_read_int(path("n"), 0, i), 0);
    EXPECT_EQ(i, 42);
    EXPECT_EQ(line_store_read_real(path("n"), 1, d), 0);
    EXPECT_EQ(d, 3.5);
    EXPECT_EQ(line_store_read_int(path("n"), 9, i), 0);  // "NO_DATA" reads as 0
    EXPECT_EQ(i, 0);
    EXPECT_EQ(line_store_read_real(path("none"), 0, d), 3);
    EXPECT_EQ(d, 0);
}

TEST_F(LineStoreTest, MemoryFilesAndPackEntries) {
    auto block = std::make_shared<std::string>("m0\r\nm1");
    std::string name = rt::memory_file_register(block, reinterpret_cast<const uint8_t*>(block->data()),
                                                static_cast<uint32_t>(block->size()));
    RtString out;
    EXPECT_EQ(line_store_read(rs(name), 1, out), 0);
    EXPECT_EQ(str(out), "m1");
    EXPECT_EQ(line_store_write(rs(name), 0, RtString("changed")), 0);
    line_store_select(nullptr);  // dropped, never written
    EXPECT_EQ(*block, "m0\r\nm1");
    rt::memory_file_unregister(block->data());

    // A name missing on disk is read from the pack of the main resolver.
    std::vector<uint8_t> pack;
    std::string error;
    ASSERT_TRUE(rt::pack_build({{"store.txt", {'p', '0', '\n', 'p', '1'}}}, rt::PackLevel::kFast, pack, error));
    write_file(dir_.file("game.pack"), std::string(pack.begin(), pack.end()));
    rt::main_resolver().set_pack(dir_.file("game.pack").c_str());
    EXPECT_EQ(read_line("store.txt", 1), "p1");
    rt::main_resolver().set_pack("");
}

TEST_F(LineStoreTest, ExitCleanUpWritesBack) {
    const std::string file = dir_.file("at_exit");
    // The program ends without the shut-down sequence reaching the file layer (no display).
    rt_test::ChildResult result = rt_test::run_in_child([file] {
        line_store_write(rs(file), 1, RtString("kept"));
        program_end();
    });
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(file), "\r\nkept\r\n");
}

// Write-back replaces the file in one step: through a link to its target, never over a FIFO;
// a write under a name too long to be a file reports code 3.
TEST_F(LineStoreTest, WriteBackTargets) {
    write_file(dir_.file("real"), "old\r\n");
    symlink("real", dir_.file("link").c_str());
    EXPECT_EQ(line_store_write(path("link"), 0, RtString("new")), 0);
    line_store_select(nullptr);
    EXPECT_EQ(read_file(dir_.file("real")), "new\r\n");
    EXPECT_EQ(kind_of(dir_.file("link")), static_cast<mode_t>(S_IFLNK));

    mkfifo(dir_.file("fifo").c_str(), 0600);
    line_store_write(path("fifo"), 0, RtString("x"));
    EXPECT_EQ(line_store_select(nullptr), 3) << "a refused write-back is reported";
    EXPECT_EQ(rt::globals.error_code, 3);
    EXPECT_EQ(kind_of(dir_.file("fifo")), static_cast<mode_t>(S_IFIFO));

    const std::string long_name = long_name_in(dir_.path());
    write_file(long_name, "old\r\n");
    EXPECT_EQ(line_store_write(rs(long_name), 0, RtString("new")), 3);
    EXPECT_EQ(rt::globals.error_code, 3);
    line_store_select(nullptr);
    EXPECT_EQ(read_file(long_name), "old\r\n");
}

}  // namespace
