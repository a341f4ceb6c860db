// File channels on real files in temporary folders and on pack entries: every reader and writer,
// the line rule, seeking, the fatal paths (in a child process), and the whole-file and directory
// commands.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/files/file_service.h"
#include "runtime/files/memory_files.h"
#include "runtime/files/pack.h"
#include "runtime/files/resolver.h"
#include "runtime/platform/os.h"
#include "runtime/runtime.h"
#include "support/test_support.h"

namespace {

using rt_test::read_file;
using rt_test::run_in_child;
using rt_test::TempDir;
using rt_test::write_file;
using rt_test::FileSizeLimit;
using rt_test::kind_of;
using rt_test::long_name_in;

std::string make_pack(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<rt::PackSource> sources;
    for (const auto& [name, bytes] : entries)
        sources.push_back({name, std::vector<uint8_t>(bytes.begin(), bytes.end())});
    std::vector<uint8_t> pack;
    std::string error;
    EXPECT_TRUE(rt::pack_build(sources, rt::PackLevel::kFast, pack, error)) << error;
    return std::string(pack.begin(), pack.end());
}

RtString rs(const std::string& s) { return RtString(s.data(), static_cast<uint32_t>(s.size())); }
std::string str(const RtString& s) { return std::string(s.c_str(), s.length()); }

// Each test starts with all channels closed and the main resolver on a pack of its folder.
class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        rt::files_close_channels();
        write_file(dir_.file("game.pack"),
                   make_pack({{"packed.txt", "abc\r\nde"}, {"four.bin", "\x01\x02\x03\x04\x05\x06"}}));
        rt::main_resolver().set_pack(dir_.file("game.pack").c_str());
        error_code_clear();
    }
    void TearDown() override {
        rt::files_close_channels();
        rt::main_resolver().set_pack("");
    }
    RtString path(const std::string& name) const { return rs(dir_.file(name)); }

    TempDir dir_;
};

TEST_F(ChannelTest, FindFreeCountsPlainAndMemoryChannels) {
    write_file(dir_.file("a"), "a");
    EXPECT_EQ(file_channel_find_free(), 0);
    ASSERT_TRUE(file_open(0, path("a"), 1));
    ASSERT_TRUE(file_open(1, rs("packed.txt"), 1));  // a memory file from the pack
    EXPECT_EQ(file_channel_find_free(), 2);
    for (int32_t c = 2; c < 8; ++c) ASSERT_TRUE(file_open(c, path("a"), 1));
    EXPECT_EQ(file_channel_find_free(), -1);
    file_close(1);
    EXPECT_EQ(file_channel_find_free(), 1);
    file_close(1);  // closing a closed channel does nothing
    EXPECT_EQ(rt::globals.error_code, 0);
}

TEST_F(ChannelTest, IntegerAndRealReaders) {
    write_file(dir_.file("v"), std::string("\xFF\xFF\x80\x7F\xFE\xFF\xFF\xFF", 8));
    ASSERT_TRUE(file_open(0, path("v"), 1));
    int32_t v = 0;
    file_read_word(0, v);
    EXPECT_EQ(v, -1);
    file_seek(0, 0, 0);
    file_read_uword(0, v);
    EXPECT_EQ(v, 65535);
    file_read_byte(0, v);
    EXPECT_EQ(v, -128);
    file_read_ubyte(0, v);
    EXPECT_EQ(v, 127);
    file_read_long(0, v);
    EXPECT_EQ(v, -2);
    EXPECT_TRUE(file_at_end(0));
    file_seek(0, -4, -1);
    file_read_ulong(0, v);
    EXPECT_EQ(static_cast<uint32_t>(v), 0xFFFFFFFEu);
    file_close(0);

    ASSERT_TRUE(file_open(1, path("w"), 0));
    file_write_double(1, -2.5e300);
    file_write_float(1, 0.1);
    file_write_float(1, 1e300);  // beyond a float: infinity, not undefined behaviour
    file_write_long(1, -7);
    file_write_word(1, 0x12345);
    file_write_uword(1, 0xFFFF);
    file_write_byte(1, 0x1FF);
    file_write_ubyte(1, 200);
    file_write_ulong(1, -1);
    file_close(1);
    EXPECT_EQ(read_file(dir_.file("w")).size(), 8u + 4 + 4 + 4 + 2 + 2 + 1 + 1 + 4);
    ASSERT_TRUE(file_open(1, path("w"), 1));
    double d = 0;
    file_read_double(1, d);
    EXPECT_EQ(d, -2.5e300);
    file_read_float(1, d);
    EXPECT_EQ(d, static_cast<double>(0.1f));
    file_read_float(1, d);
    EXPECT_TRUE(std::isinf(d) && d > 0);
    file_read_long(1, v);
    EXPECT_EQ(v, -7);
    file_read_uword(1, v);
    EXPECT_EQ(v, 0x2345);
    file_read_word(1, v);
    EXPECT_EQ(v, -1);
    file_read_ubyte(1, v);
    EXPECT_EQ(v, 255);
    file_read_ubyte(1, v);
    EXPECT_EQ(v, 200);
    file_read_long(1, v);
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(file_at_end(1));
}

TEST_F(ChannelTest, MemoryFileShortReadsKeepMissingBytesZero) {
    ASSERT_TRUE(file_open(0, rs("FOUR.BIN"), 1));
    EXPECT_EQ(rt::globals.error_code, 0);
    int32_t v = 0;
    file_read_long(0, v);
    EXPECT_EQ(v, 0x04030201);
    file_read_long(0, v);  // two bytes left: the high bytes stay 0, no error
    EXPECT_EQ(v, 0x0605);
    file_read_long(0, v);  // nothing left: 0, no error
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(file_at_end(0));
    file_seek(0, 4, 0);
    RtString text;
    file_read_text(0, text, 5);
    ASSERT_EQ(text.length(), 5u);
    EXPECT_EQ(std::memcmp(text.c_str(), "\x05\x06\0\0\0", 5), 0);
}

TEST_F(ChannelTest, TextReads) {
    write_file(dir_.file("t"), std::string("ab\0cdef", 7));
    ASSERT_TRUE(file_open(2, path("t"), 1));
    RtString text("old");
    file_read_text(2, text, 0);
    EXPECT_EQ(text.length(), 0u);
    file_read_text(2, text, -3);
    EXPECT_EQ(text.length(), 0u);
    file_read_text(2, text, 5);
    EXPECT_EQ(str(text), std::string("ab\0cd", 5));  // bytes after the 0 still count
    EXPECT_EQ(file_position(2), 5);
}

TEST_F(ChannelTest, LineRuleOnPlainAndMemoryFiles) {
    const std::string body = "abc\r\nde";
    write_file(dir_.file("crlf"), body);
    for (const RtString& name : {path("crlf"), rs("packed.txt")}) {
        ASSERT_TRUE(file_open(3, name, 1));
        RtString line;
        file_read_line(3, line);
        EXPECT_EQ(str(line), "abc");
        EXPECT_EQ(file_position(3), 5);
        file_read_line(3, line);
        EXPECT_EQ(str(line), "de");
        EXPECT_TRUE(file_at_end(3));
        file_close(3);
    }
    write_file(dir_.file("lf"), "one\n\ntwo\r\n\r\nlast\r");
    ASSERT_TRUE(file_open(3, path("lf"), 1));
    std::vector<std::string> lines;
    while (!file_at_end(3)) {
        RtString line;
        file_read_line(3, line);
        lines.push_back(str(line));
    }
    // A lone CR at the end is not before a line feed: it stays.
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "", "two", "", "last\r"}));
}

TEST_F(ChannelTest, LongLinesSplitAt1024Bytes) {
    const std::string a(1500, 'a');
    const std::string b(1024, 'b');
    const std::string c(1022, 'c');
    write_file(dir_.file("long"), a + "\n" + b + "\n" + c + "\r\nz");
    ASSERT_TRUE(file_open(0, path("long"), 1));
    std::vector<std::string> lines;
    while (!file_at_end(0)) {
        RtString line;
        file_read_line(0, line);
        lines.push_back(str(line));
    }
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], std::string(1024, 'a'));
    EXPECT_EQ(lines[1], std::string(476, 'a'));
    EXPECT_EQ(lines[2], b);   // exactly 1024 bytes: returned whole ...
    EXPECT_EQ(lines[3], "");  // ... and its line feed makes an empty line
    EXPECT_EQ(lines[4], c);   // CR LF at bytes 1023 and 1024: the line feed is found
    EXPECT_EQ(lines[5], "z");
}

TEST_F(ChannelTest, NumbersAsLines) {
    ASSERT_TRUE(file_open(0, path("n"), 0));
    file_write_line_int(0, -42);
    file_write_line_real(0, 2.5);
    file_write_line(0, RtString("x"));
    file_write_text(0, RtString("raw"));
    file_close(0);
    EXPECT_EQ(read_file(dir_.file("n")), "-42\r\n2.5\r\nx\r\nraw");
    ASSERT_TRUE(file_open(0, path("n"), 1));
    int32_t i = 0;
    double d = 0;
    file_read_line_int(0, i);
    file_read_line_real(0, d);
    EXPECT_EQ(i, -42);
    EXPECT_EQ(d, 2.5);
}

TEST_F(ChannelTest, OpenModes) {
    write_file(dir_.file("f"), "old contents");
    ASSERT_TRUE(file_open(0, path("f"), 0));
    // Write mode starts a new file beside the old one, which stays until the close.
    EXPECT_EQ(read_file(dir_.file("f")), "old contents");
    file_write_line(0, RtString("x"));
    // Writes leave size and position alone.
    EXPECT_EQ(file_position(0), 0);
    EXPECT_TRUE(file_at_end(0));
    file_close(0);
    EXPECT_EQ(read_file(dir_.file("f")), "x\r\n");

    ASSERT_TRUE(file_open(0, path("f"), -1));
    file_write_text(0, RtString("yz"));
    file_close(0);
    EXPECT_EQ(read_file(dir_.file("f")), "x\r\nyz");
    ASSERT_TRUE(file_open(0, path("new"), -1));  // append creates a missing file
    file_close(0);
    EXPECT_TRUE(rt_test::file_exists(dir_.file("new")));

    // Memory file names are never written; the open fails with code 3 and nothing ends.
    auto block = std::make_shared<std::string>("data");
    std::string name = rt::memory_file_register(block, reinterpret_cast<const uint8_t*>(block->data()), 4);
    EXPECT_FALSE(file_open(0, rs(name), 0));
    EXPECT_EQ(rt::globals.error_code, 3);
    EXPECT_FALSE(file_open(0, rs(name), -1));
    EXPECT_TRUE(file_open(0, rs(name), 1));
    EXPECT_EQ(rt::globals.error_code, 0);
    rt::memory_file_unregister(block->data());

    EXPECT_FALSE(file_open(0, path("missing"), 1));
    EXPECT_EQ(rt::globals.error_code, 3);
    EXPECT_FALSE(file_open(0, rs(dir_.path()), 1));  // a directory is not a file
    EXPECT_FALSE(file_open(0, path("no/such/dir/f"), 0));
    EXPECT_EQ(file_channel_find_free(), 0);
}

TEST_F(ChannelTest, Seeking) {
    write_file(dir_.file("ten"), "0123456789");
    ASSERT_TRUE(file_open(0, path("ten"), 1));
    file_seek(0, -4, -1);
    EXPECT_EQ(file_position(0), 6);
    EXPECT_FALSE(file_at_end(0));
    RtString text;
    file_read_text(0, text, 4);
    EXPECT_EQ(str(text), "6789");
    file_seek(0, -7, 1);
    EXPECT_EQ(file_position(0), 3);
    file_read_text(0, text, 2);
    EXPECT_EQ(str(text), "34");
    file_seek(0, 1, 0);
    RtString line;
    file_read_line(0, line);
    EXPECT_EQ(str(line), "123456789");
    file_seek(5, 3, 0);  // a channel not in use is left alone
    EXPECT_EQ(file_position(5), 0);

    // A write channel's pointer moves by the file's own end, its position field by size 0.
    ASSERT_TRUE(file_open(1, path("w"), 0));
    file_write_text(1, RtString("abcdef"));
    file_seek(1, -2, -1);
    EXPECT_EQ(file_position(1), -2);
    file_write_text(1, RtString("XY"));
    file_close(1);
    EXPECT_EQ(read_file(dir_.file("w")), "abcdXY");
}

TEST_F(ChannelTest, FatalPathsEndWithTheirCodes) {
    write_file(dir_.file("two"), "ab");
    write_file(dir_.file("lines"), "abc\r\nde");
    struct Case {
        const char* what;
        std::function<void()> body;
        int code;
    };
    const std::string two = dir_.file("two");
    const std::string lines = dir_.file("lines");
    std::vector<Case> cases = {
        {"read on channel 8",
         [] {
             int32_t v;
             file_read_long(8, v);
         },
         7},
        {"read on channel -1",
         [] {
             double d;
             file_read_double(-1, d);
         },
         7},
        {"write on channel 8", [] { file_write_byte(8, 1); }, 7},
        {"open on channel 8", [] { file_open(8, RtString("x"), 1); }, 7},
        {"close channel 9", [] { file_close(9); }, 7},
        {"seek channel 8", [] { file_seek(8, 0, 0); }, 7},
        {"position of channel 8", [] { file_position(8); }, 7},
        {"read a closed channel",
         [] {
             int32_t v;
             file_read_byte(0, v);
         },
         3},
        {"plain file too short",
         [two] {
             file_open(0, rs(two), 1);
             int32_t v;
             file_read_long(0, v);
         },
         3},
        {"text past the end",
         [two] {
             file_open(0, rs(two), 1);
             RtString t;
             file_read_text(0, t, 3);
         },
         3},
        {"huge text",
         [two] {
             file_open(0, rs(two), 1);
             RtString t;
             file_read_text(0, t, INT32_MAX);
         },
         3},
        {"third line",
         [lines] {
             file_open(0, rs(lines), 1);
             RtString l;
             file_read_line(0, l);
             file_read_line(0, l);
             file_read_line(0, l);
         },
         3},
        {"write on a read channel",
         [two] {
             file_open(0, rs(two), 1);
             file_write_long(0, 1);
         },
         3},
        {"write on a memory channel",
         [] {
             file_open(0, RtString("packed.txt"), 1);
             file_write_long(0, 1);
         },
         3},
        {"write on a closed channel", [] { file_write_line(0, RtString("x")); }, 3},
        {"read on an append channel",
         [two] {
             file_open(0, rs(two), -1);
             int32_t v;
             file_read_byte(0, v);
         },
         3},
    };
    for (const Case& c : cases) {
        rt_test::ChildResult result = run_in_child(c.body);
        EXPECT_TRUE(result.exited) << c.what;
        EXPECT_EQ(result.exit_code, 0) << c.what;
        EXPECT_FALSE(result.returned) << c.what;
        EXPECT_EQ(result.error_code(), c.code) << c.what;
    }
    // at_end reads nothing outside the table and does not end the program.
    rt_test::ChildResult quiet = run_in_child([] {
        file_at_end(8);
        file_at_end(-1);
    });
    EXPECT_TRUE(quiet.returned);
}

TEST_F(ChannelTest, ChannelOnPackEntrySurvivesLaterResolutions) {
    ASSERT_TRUE(file_open(0, rs("packed.txt"), 1));
    ASSERT_TRUE(file_open(1, rs("four.bin"), 1));  // releases the first extraction
    std::string out;
    path_resolve(rt::main_resolver(), "four.bin", out, true);
    RtString line;
    file_read_line(0, line);
    EXPECT_EQ(str(line), "abc");
    int32_t v = 0;
    file_read_long(1, v);
    EXPECT_EQ(v, 0x04030201);
}

TEST_F(ChannelTest, WholeFileCommands) {
    write_file(dir_.file("src"), std::string(10000, 'q') + "end");
    EXPECT_TRUE(file_exists(path("src")));
    EXPECT_FALSE(file_exists(path("none")));
    EXPECT_FALSE(file_exists(rs(dir_.path())));
    EXPECT_FALSE(file_exists(RtString("packed.txt")));  // the pack is not consulted
    EXPECT_EQ(file_size(path("src")), 10003);
    EXPECT_EQ(rt::globals.error_code, 0);
    EXPECT_EQ(file_size(path("none")), 0);
    EXPECT_EQ(rt::globals.error_code, 3);
    // A name too long for the layer names nothing, even when the system would find a file there.
    const std::string long_name = long_name_in(dir_.path());
    write_file(long_name, "abc");
    EXPECT_FALSE(file_exists(rs(long_name)));
    EXPECT_EQ(file_size(rs(long_name)), 0);
    EXPECT_EQ(rt::globals.error_code, 3);

    EXPECT_TRUE(file_copy(path("src"), path("dst")));
    EXPECT_EQ(rt::globals.error_code, 0);
    EXPECT_EQ(read_file(dir_.file("dst")), read_file(dir_.file("src")));
    EXPECT_TRUE(file_copy(path("src"), path("src")));  // onto itself: the bytes survive
    EXPECT_EQ(read_file(dir_.file("src")).size(), 10003u);
    EXPECT_FALSE(file_copy(path("none"), path("dst2")));
    EXPECT_EQ(rt::globals.error_code, 3);
    EXPECT_FALSE(rt_test::file_exists(dir_.file("dst2")));

    auto block = std::make_shared<std::string>("memory bytes");
    std::string name = rt::memory_file_register(block, reinterpret_cast<const uint8_t*>(block->data()), 12);
    EXPECT_TRUE(file_exists(rs(name)));
    EXPECT_EQ(file_size(rs(name)), 12);
    EXPECT_TRUE(file_copy(rs(name), path("from_memory")));
    EXPECT_EQ(read_file(dir_.file("from_memory")), "memory bytes");
    EXPECT_FALSE(file_copy(path("src"), rs(name)));
    EXPECT_EQ(rt::globals.error_code, 3);
    EXPECT_EQ(*block, "memory bytes");
    EXPECT_FALSE(file_delete(rs(name)));
    rt::memory_file_unregister(block->data());

    EXPECT_TRUE(file_delete(path("dst")));
    EXPECT_FALSE(file_delete(path("dst")));
}

// Both writers of whole files put the new content in place in one step: through a link to its
// target, never over a FIFO, folder or a name too long, and a failure leaves the old file whole.
TEST_F(ChannelTest, WritersReplaceWholeOrRefuse) {
    struct Writer {
        const char* what;
        std::function<bool(const RtString&)> write;  // writes "new"; false when refused
    };
    const std::string source = dir_.file("source");
    write_file(source, "new");
    const std::vector<Writer> writers = {
        {"channel",
         [](const RtString& name) {
             if (!file_open(0, name, 0)) return false;
             file_write_text(0, RtString("new"));
             file_close(0);
             return rt::globals.error_code == 0;
         }},
        {"copy", [source](const RtString& name) { return file_copy(rs(source), name); }},
    };
    struct Target {
        const char* what;
        std::function<std::string(const std::string&)> prepare;  // makes it in a folder; the name
        bool accepted;
        const char* holds_new;  // the file that holds "new" afterwards, or "" when refused
        mode_t kind;            // of the name afterwards
    };
    const std::vector<Target> targets = {
        {"plain", [](const std::string& d) { write_file(d + "/f", "old"); return d + "/f"; }, true, "f", S_IFREG},
        {"link",
         [](const std::string& d) {
             write_file(d + "/real", "old");
             symlink("real", (d + "/link").c_str());
             return d + "/link";
         },
         true, "real", S_IFLNK},
        {"fifo",
         [](const std::string& d) {
             mkfifo((d + "/fifo").c_str(), 0600);
             return d + "/fifo";
         },
         false, "", S_IFIFO},
        {"folder",
         [](const std::string& d) {
             mkdir((d + "/sub").c_str(), 0700);
             return d + "/sub";
         },
         false, "", S_IFDIR},
        {"too long",
         [](const std::string& d) {
             const std::string name = long_name_in(d);
             write_file(name, "old");
             return name;
         },
         false, "", S_IFREG},
    };
    int round = 0;
    for (const Writer& w : writers) {
        for (const Target& t : targets) {
            SCOPED_TRACE(std::string(w.what) + " onto " + t.what);
            const std::string folder = dir_.file("round" + std::to_string(round++));
            mkdir(folder.c_str(), 0700);
            const std::string name = t.prepare(folder);
            EXPECT_EQ(w.write(rs(name)), t.accepted);
            EXPECT_EQ(rt::globals.error_code, t.accepted ? 0 : 3);
            EXPECT_EQ(kind_of(name), t.kind);
            const std::string holder = t.accepted ? folder + "/" + t.holds_new : name;
            if (t.kind != S_IFIFO && t.kind != S_IFDIR) {
                EXPECT_EQ(read_file(holder), t.accepted ? "new" : "old");
            }
            rt::files_close_channels();
        }
    }
}

TEST_F(ChannelTest, FailedWritesKeepTheOldFile) {
    const std::string big(10000, 'q');
    write_file(dir_.file("f"), big);
    {
        // A copy onto itself on a full disk: the file stays whole.
        FileSizeLimit limit(100);
        EXPECT_FALSE(file_copy(path("f"), path("f")));
        EXPECT_EQ(rt::globals.error_code, 3);
    }
    EXPECT_TRUE(read_file(dir_.file("f")) == big) << "now " << read_file(dir_.file("f")).size() << " bytes";

    // A channel write that fails ends the program; the old file is still whole afterwards.
    const std::string f = dir_.file("f");
    rt_test::ChildResult child = run_in_child([f, big] {
        FileSizeLimit limit(100);
        if (!file_open(0, rs(f), 0)) return;
        file_write_text(0, rs(big));
    });
    EXPECT_EQ(child.error_code(), 3);
    EXPECT_TRUE(read_file(f) == big) << "now " << read_file(f).size() << " bytes";

    // A new file that cannot take its name at the close: code 3 from the close, the name as it was.
    ASSERT_TRUE(file_open(0, path("g"), 0));
    file_write_text(0, RtString("new"));
    mkdir(dir_.file("g").c_str(), 0700);
    file_close(0);
    EXPECT_EQ(rt::globals.error_code, 3);
    EXPECT_EQ(kind_of(dir_.file("g")), static_cast<mode_t>(S_IFDIR));
    // The same when the channel is taken for another file.
    ASSERT_TRUE(file_open(0, path("h"), 0));
    mkdir(dir_.file("h").c_str(), 0700);
    EXPECT_TRUE(file_open(0, path("f"), 1));
    EXPECT_EQ(rt::globals.error_code, 3);
}

TEST_F(ChannelTest, DirectoryCommands) {
    const std::string before = rt::platform_current_dir();
    EXPECT_TRUE(directory_create(path("sub")));
    EXPECT_FALSE(directory_create(path("sub")));
    EXPECT_TRUE(path_is_directory(path("sub")));
    write_file(dir_.file("plain"), "x");
    EXPECT_FALSE(path_is_directory(path("plain")));
    EXPECT_FALSE(path_is_directory(path("none")));

    EXPECT_TRUE(directory_set_current(path("sub")));
    EXPECT_EQ(rt::globals.error_code, 0);
    EXPECT_EQ(str(directory_get_current()), dir_.file("sub") + "/");
    EXPECT_FALSE(directory_set_current(path("none")));
    EXPECT_EQ(rt::globals.error_code, 3);
    EXPECT_TRUE(directory_set_current(RtString("/")));
    EXPECT_EQ(str(directory_get_current()), "/");  // the root still ends in exactly one "/"
    ASSERT_TRUE(rt::platform_set_current_dir(before));

    RtString p("a\\b\\c/d");
    EXPECT_EQ(path_to_forward_slashes(p), 7);
    EXPECT_EQ(str(p), "a/b/c/d");
    RtString empty;
    EXPECT_EQ(path_to_forward_slashes(empty), 0);
}

TEST_F(ChannelTest, CloseAllAtShutDown) {
    write_file(dir_.file("a"), "a");
    for (int32_t c = 0; c < 8; ++c) ASSERT_TRUE(file_open(c, path("a"), 1));
    rt::files_close_channels();
    EXPECT_EQ(file_channel_find_free(), 0);
    for (int32_t c = 0; c < 8; ++c) EXPECT_TRUE(file_at_end(c));
}

}  // namespace
