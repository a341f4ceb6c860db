// Name resolution, memory files and the pack reader: disk before pack, case-insensitive entry
// names, positions from the end, one live extraction per resolver, and damaged packs.
#include "runtime/files/resolver.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/files/file_reader.h"
#include "runtime/files/file_service.h"
#include "runtime/files/memory_files.h"
#include "runtime/files/pack.h"
#include "runtime/files/pack_commands.h"
#include "runtime/runtime.h"
#include "support/test_support.h"

namespace {

using rt_test::read_file;
using rt_test::TempDir;
using rt_test::write_file;

std::string make_pack(const std::vector<std::pair<std::string, std::string>>& entries,
                      rt::PackLevel level = rt::PackLevel::kFast) {
    std::vector<rt::PackSource> sources;
    for (const auto& [name, bytes] : entries)
        sources.push_back({name, std::vector<uint8_t>(bytes.begin(), bytes.end())});
    std::vector<uint8_t> pack;
    std::string error;
    EXPECT_TRUE(rt::pack_build(sources, level, pack, error)) << error;
    return std::string(pack.begin(), pack.end());
}

int32_t get_le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return static_cast<int32_t>(v);
}

void put_le32(std::string& bytes, size_t at, int32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<char>(static_cast<uint32_t>(value) >> (8 * i));
}

// Where the fields of a one-entry pack built by pack_build lie.
struct OneEntryLayout {
    size_t directory;  // offset of the entry's name length byte
    size_t position;   // offset of the entry's stored position
    size_t stored;     // offset of the entry's stored size
    size_t trailer;    // offset of the magic
};

OneEntryLayout layout_of(const std::string& pack) {
    OneEntryLayout l;
    l.trailer = pack.size() - 7;
    l.directory = static_cast<size_t>(static_cast<int64_t>(pack.size()) + get_le32(pack, pack.size() - 4));
    size_t name_length = static_cast<uint8_t>(pack[l.directory]);
    l.position = l.directory + 1 + name_length;
    l.stored = l.position + 4;
    return l;
}

// Some bytes that compress, but not to nothing.
std::string sample_bytes(size_t n, uint32_t seed) {
    std::string out(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        out[i] = static_cast<char>((i % 64 < 40) ? 'a' + (i % 7) : (seed >> 16) & 0xFF);
    }
    return out;
}

std::string read_via_reader(const std::string& name) {
    FileReader reader;
    if (!reader.open(name.c_str())) return "<unopenable>";
    std::string bytes(static_cast<size_t>(reader.size()), '\0');
    if (!bytes.empty() && !reader.read(bytes.data(), reader.size())) return "<unreadable>";
    return bytes;
}

// Points TMPDIR at a folder for the test's lifetime.
class ScopedTmpdir {
public:
    explicit ScopedTmpdir(const std::string& dir) {
        const char* old = std::getenv("TMPDIR");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TMPDIR", dir.c_str(), 1);
    }
    ~ScopedTmpdir() {
        if (had_) {
            setenv("TMPDIR", old_.c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }

private:
    bool had_ = false;
    std::string old_;
};

class ResolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        t1_ = sample_bytes(5000, 1);
        t2_ = sample_bytes(70000, 2);
        write_file(dir_.file("game.pack"), make_pack({{"t1.bmp", "packed t1"}, {"T2.BMP", t2_}, {"empty.txt", ""}}));
        write_file(dir_.file("t1.bmp"), t1_);
        resolver_.set_pack(dir_.file("game.pack").c_str());
    }

    TempDir dir_;
    PackResolver resolver_;
    std::string t1_;
    std::string t2_;
};

TEST_F(ResolverTest, DiskWinsOverPackAndPackNamesIgnoreCase) {
    std::string out;
    ASSERT_TRUE(path_resolve(resolver_, dir_.file("t1.bmp").c_str(), out, true));
    EXPECT_EQ(out, dir_.file("t1.bmp"));
    EXPECT_EQ(read_via_reader(out), t1_);

    // Not on disk: the pack's "T2.BMP" answers to any case and any folder in front.
    ASSERT_TRUE(path_resolve(resolver_, "Media/gfx/t2.bmp", out, true));
    ASSERT_TRUE(rt::is_memory_file_name(out.c_str()));
    FileReader reader;
    ASSERT_TRUE(reader.open(out.c_str()));
    EXPECT_EQ(reader.size(), 70000);
    EXPECT_EQ(read_via_reader(out), t2_);
    ASSERT_TRUE(path_resolve(resolver_, "C:\\games\\T2.bmp", out, true));
    EXPECT_EQ(read_via_reader(out), t2_);

    // An empty entry still resolves to a memory file of size 0.
    ASSERT_TRUE(path_resolve(resolver_, "empty.txt", out, true));
    EXPECT_EQ(read_via_reader(out), "");

    // Missing everywhere: 0 and an empty name, the resolver stays enabled.
    EXPECT_FALSE(path_resolve(resolver_, "nothing.bmp", out, true));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(resolver_.enabled());
    EXPECT_FALSE(path_resolve(resolver_, "", out, true));
    EXPECT_FALSE(path_resolve(resolver_, nullptr, out, true));
}

TEST_F(ResolverTest, MemoryFileNameFormat) {
    std::string out;
    ASSERT_TRUE(path_resolve(resolver_, "t2.bmp", out, true));
    // Size in eight columns from character 6, a point at 14, the address from character 15.
    ASSERT_GE(out.size(), 23u);
    EXPECT_EQ(out.substr(0, 6), "mem://");
    EXPECT_EQ(out.substr(6, 8), "   11170");  // 70000 bytes
    EXPECT_EQ(out[14], '.');
    EXPECT_EQ(std::strtoull(out.c_str() + 15, nullptr, 16) != 0, true);
}

TEST_F(ResolverTest, OneLiveExtractionPerResolver) {
    std::string first;
    ASSERT_TRUE(path_resolve(resolver_, "t2.bmp", first, true));
    FileReader open_before;
    ASSERT_TRUE(open_before.open(first.c_str()));

    std::string second;
    ASSERT_TRUE(path_resolve(resolver_, "t1.bmp", second, true));
    // The first name no longer opens ...
    FileReader late;
    EXPECT_FALSE(late.open(first.c_str()));
    // ... while a reader opened before keeps its bytes (no use after free under ASan).
    std::string bytes(70000, '\0');
    ASSERT_TRUE(open_before.read(bytes.data(), 70000));
    EXPECT_EQ(bytes, t2_);

    // A resolution that finds the file on disk releases the extraction too.
    ASSERT_TRUE(path_resolve(resolver_, "t2.bmp", first, true));
    ASSERT_TRUE(path_resolve(resolver_, dir_.file("t1.bmp").c_str(), second, true));
    EXPECT_FALSE(late.open(first.c_str()));
}

TEST_F(ResolverTest, TemporaryFileExtraction) {
    ScopedTmpdir tmp(dir_.path());
    std::string out;
    ASSERT_TRUE(path_resolve(resolver_, "t2.bmp", out, false));
    // "sbx" + two letters + the entry name, in the temporary folder.
    ASSERT_EQ(out.rfind(dir_.path() + "/sbx", 0), 0u) << out;
    EXPECT_EQ(out.substr(out.size() - 6), "T2.BMP");
    EXPECT_EQ(out.size(), dir_.path().size() + 1 + 3 + 2 + 6);
    EXPECT_EQ(read_file(out), t2_);
    EXPECT_EQ(resolver_.temporary_file(), out);

    std::string next;
    ASSERT_TRUE(path_resolve(resolver_, "t1.bmp", next, true));
    EXPECT_FALSE(rt_test::file_exists(out));
    EXPECT_TRUE(resolver_.temporary_file().empty());

    ASSERT_TRUE(path_resolve(resolver_, "t2.bmp", out, false));
    resolver_.release();
    EXPECT_FALSE(rt_test::file_exists(out));
}

TEST_F(ResolverTest, MissingPackDisablesUntilSetAgain) {
    std::string out;
    PackResolver none;
    EXPECT_FALSE(path_resolve(none, "t2.bmp", out, true));
    EXPECT_EQ(out, "t2.bmp");  // the name is left for the caller's open to fail on
    EXPECT_FALSE(none.enabled());

    PackResolver missing;
    missing.set_pack(dir_.file("no.pack").c_str());
    EXPECT_FALSE(path_resolve(missing, "t2.bmp", out, true));
    EXPECT_FALSE(missing.enabled());
    EXPECT_FALSE(path_resolve(missing, "t2.bmp", out, true));
    EXPECT_EQ(out, "t2.bmp");

    missing.set_pack(dir_.file("game.pack").c_str());
    EXPECT_TRUE(missing.enabled());
    EXPECT_TRUE(path_resolve(missing, "t2.bmp", out, true));

    // A file without the magic does not disable.
    write_file(dir_.file("plain.bin"), "just some bytes, no pack");
    PackResolver plain;
    plain.set_pack(dir_.file("plain.bin").c_str());
    EXPECT_FALSE(path_resolve(plain, "t2.bmp", out, true));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(plain.enabled());
}

// Every descriptor taken for a moment: that lookup fails, the pack stays on for the next one.
TEST_F(ResolverTest, DescriptorShortageFailsOneLookupOnly) {
    std::string out;
    rlimit old_limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old_limit), 0);
    rlimit low = old_limit;
    low.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> taken;
    for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken.push_back(fd);
    const bool found_while_short = path_resolve(resolver_, "t2.bmp", out, true);
    for (int fd : taken) close(fd);
    setrlimit(RLIMIT_NOFILE, &old_limit);
    EXPECT_FALSE(found_while_short);
    EXPECT_TRUE(resolver_.enabled());
    ASSERT_TRUE(path_resolve(resolver_, "t2.bmp", out, true));
    EXPECT_EQ(read_via_reader(out), t2_);
}

TEST_F(ResolverTest, PackAppendedToAnotherFileAndAbsolutePositions) {
    const std::string pack = read_file(dir_.file("game.pack"));
    ASSERT_LT(get_le32(pack, pack.size() - 4), 0);
    // Positions from the end: the same pack works behind any prefix.
    write_file(dir_.file("program"), sample_bytes(123457, 9) + pack);
    PackResolver appended;
    appended.set_pack(dir_.file("program").c_str());
    std::string out;
    ASSERT_TRUE(path_resolve(appended, "t2.bmp", out, true));
    EXPECT_EQ(read_via_reader(out), t2_);

    // Absolute positions (directory position >= 0) hold for the file they were written for.
    std::string absolute = make_pack({{"a.txt", "absolute entry"}});
    OneEntryLayout l = layout_of(absolute);
    const int32_t size = static_cast<int32_t>(absolute.size());
    put_le32(absolute, l.position, size + get_le32(absolute, l.position));
    put_le32(absolute, absolute.size() - 4, size + get_le32(absolute, absolute.size() - 4));
    ASSERT_GE(get_le32(absolute, absolute.size() - 4), 0);
    write_file(dir_.file("absolute.pack"), absolute);
    PackResolver abs_resolver;
    abs_resolver.set_pack(dir_.file("absolute.pack").c_str());
    ASSERT_TRUE(path_resolve(abs_resolver, "A.TXT", out, true));
    EXPECT_EQ(read_via_reader(out), "absolute entry");
}

TEST_F(ResolverTest, PackHeldInMemory) {
    auto bytes = std::make_shared<std::string>(read_file(dir_.file("game.pack")));
    std::string name = rt::memory_file_register(bytes, reinterpret_cast<const uint8_t*>(bytes->data()),
                                                static_cast<uint32_t>(bytes->size()));
    PackResolver in_memory;
    in_memory.set_pack(name.c_str());
    std::string out;
    ASSERT_TRUE(path_resolve(in_memory, "t2.bmp", out, true));
    EXPECT_EQ(read_via_reader(out), t2_);
    rt::memory_file_unregister(bytes->data());
}

TEST_F(ResolverTest, OverlongNamesFailWithoutTruncation) {
    std::string longname = dir_.path() + "/" + std::string(1100, 'x');
    std::string out;
    EXPECT_FALSE(path_resolve(resolver_, longname.c_str(), out, true));
    EXPECT_EQ(out, "");
    char buffer[1024];
    EXPECT_EQ(path_resolve(resolver_, longname.c_str(), buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(path_resolve(resolver_, "t2.bmp", buffer, 1), 1);
    EXPECT_EQ(std::strncmp(buffer, "mem://", 6), 0);
}

TEST_F(ResolverTest, StartAndReleaseOfTheTwoResolvers) {
    ScopedTmpdir tmp(dir_.path());
    rt::files_start(dir_.file("game.pack"));
    EXPECT_EQ(rt::main_resolver().pack_name(), dir_.file("game.pack"));
    EXPECT_EQ(rt::media_resolver().pack_name(), dir_.file("game.pack"));
    std::string memory_name;
    std::string temporary;
    ASSERT_TRUE(path_resolve(rt::main_resolver(), "t2.bmp", memory_name, true));
    ASSERT_TRUE(path_resolve(rt::media_resolver(), "t2.bmp", temporary, false));
    rt::files_release();
    EXPECT_FALSE(rt::file_readable(memory_name.c_str()));
    EXPECT_FALSE(rt_test::file_exists(temporary));
    pack_set(RtString(""), "");
}

// ---- memory files ----

TEST(MemoryFiles, OnlyLiveRegisteredBlocksOpen) {
    auto block = std::make_shared<std::vector<uint8_t>>(std::vector<uint8_t>{1, 2, 3, 4, 5, 6});
    std::string name = rt::memory_file_register(block, block->data(), 6);
    FileReader reader;
    ASSERT_TRUE(reader.open(name.c_str()));
    EXPECT_EQ(reader.size(), 6);

    // A shorter size over the same block reads its prefix; a larger one is refused.
    std::string shorter = rt::memory_file_name(block->data(), 4);
    ASSERT_TRUE(reader.open(shorter.c_str()));
    EXPECT_EQ(reader.size(), 4);
    EXPECT_FALSE(reader.open(rt::memory_file_name(block->data(), 7).c_str()));
    // An address inside the block, or any other address, is refused.
    EXPECT_FALSE(reader.open(rt::memory_file_name(block->data() + 1, 2).c_str()));
    uint8_t elsewhere[16] = {};
    EXPECT_FALSE(reader.open(rt::memory_file_name(elsewhere, 16).c_str()));
    EXPECT_FALSE(rt::file_readable("mem://"));
    EXPECT_FALSE(rt::file_readable("mem://       6."));
    EXPECT_FALSE(rt::file_readable("mem://zzzzzzzz.zzzzzzzz"));
    EXPECT_FALSE(file_exists(RtString(rt::memory_file_name(elsewhere, 16).c_str())));
    std::string out;
    PackResolver resolver;
    EXPECT_FALSE(path_resolve(resolver, rt::memory_file_name(elsewhere, 16).c_str(), out, true));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(path_resolve(resolver, name.c_str(), out, true));
    EXPECT_EQ(out, name);

    // Unregistered: the name is dead, an open reader keeps the bytes.
    ASSERT_TRUE(reader.open(name.c_str()));
    rt::memory_file_unregister(block->data());
    block.reset();
    EXPECT_FALSE(rt::file_readable(name.c_str()));
    uint8_t got[6] = {};
    ASSERT_TRUE(reader.read(got, 6));
    EXPECT_EQ(got[5], 6);
}

TEST(MemoryFiles, ReadsAtTheEndDeliverWhatIsLeft) {
    auto block = std::make_shared<std::vector<uint8_t>>(std::vector<uint8_t>{10, 20, 30, 40, 50, 60});
    std::string name = rt::memory_file_register(block, block->data(), 6);
    FileReader reader;
    ASSERT_TRUE(reader.open(name.c_str()));
    uint8_t got[4] = {};
    ASSERT_TRUE(reader.read(got, 4));
    std::memset(got, 0xEE, sizeof got);
    // Two left: four asked, two delivered, success.
    ASSERT_TRUE(reader.read(got, 4));
    EXPECT_EQ(got[0], 50);
    EXPECT_EQ(got[1], 60);
    EXPECT_EQ(got[2], 0xEE);
    EXPECT_EQ(reader.position(), 6);
    // At the very end: nothing delivered, still success.
    ASSERT_TRUE(reader.read(got, 4));
    EXPECT_EQ(reader.position(), 6);
    EXPECT_FALSE(reader.read(got, -1));
    // Outside the data after a seek: fails instead of reading outside the block.
    reader.seek(-3, 0);
    EXPECT_FALSE(reader.read(got, 1));
    reader.seek(8, 0);
    EXPECT_FALSE(reader.read(got, 1));
    rt::memory_file_unregister(block->data());
}

// ---- damaged packs ----

class DamagedPackTest : public ::testing::Test {
protected:
    void SetUp() override {
        content_ = sample_bytes(20000, 5);
        good_ = make_pack({{"data.bin", content_}});
        layout_ = layout_of(good_);
    }

    // True when "data.bin" resolves from bytes as a pack and reads back as content_.
    bool resolves(const std::string& bytes) {
        write_file(dir_.file("p"), bytes);
        PackResolver resolver;
        resolver.set_pack(dir_.file("p").c_str());
        std::string out;
        if (!path_resolve(resolver, "data.bin", out, true)) {
            EXPECT_EQ(out, "");
            return false;
        }
        EXPECT_EQ(read_via_reader(out), content_);
        return true;
    }

    TempDir dir_;
    std::string content_;
    std::string good_;
    OneEntryLayout layout_{};
};

TEST_F(DamagedPackTest, TruncatedAnywhere) {
    ASSERT_TRUE(resolves(good_));
    for (size_t cut : {size_t{0}, size_t{3}, size_t{6}, size_t{7}, layout_.directory, layout_.stored + 2,
                       layout_.trailer + 3, good_.size() - 1}) {
        EXPECT_FALSE(resolves(good_.substr(0, cut))) << "cut at " << cut;
    }
    // Bytes cut from the front: positions from the end now point before the file.
    EXPECT_FALSE(resolves(good_.substr(10)));
}

TEST_F(DamagedPackTest, BadPositionsAndSizes) {
    auto patched = [&](size_t at, int32_t value) {
        std::string bytes = good_;
        put_le32(bytes, at, value);
        return bytes;
    };
    const int32_t size = static_cast<int32_t>(good_.size());
    EXPECT_FALSE(resolves(patched(good_.size() - 4, -size - 1)));  // directory before the start
    EXPECT_FALSE(resolves(patched(good_.size() - 4, 0x7FFFFFFF)));
    EXPECT_FALSE(resolves(patched(good_.size() - 4, INT32_MIN)));
    EXPECT_FALSE(resolves(patched(layout_.position, -size - 5)));  // entry before the start
    EXPECT_FALSE(resolves(patched(layout_.position, 5)));          // sign differs from the directory's
    EXPECT_FALSE(resolves(patched(layout_.stored, 3)));            // no room for the unpacked size
    EXPECT_FALSE(resolves(patched(layout_.stored, get_le32(good_, layout_.stored) + 100)));  // past the end
    EXPECT_FALSE(resolves(patched(layout_.stored, -1)));
    // A directory name length running past the end of the file.
    std::string long_name = good_;
    long_name[layout_.directory] = static_cast<char>(250);
    EXPECT_FALSE(resolves(long_name));
}

TEST_F(DamagedPackTest, UnpackedSizeChecks) {
    auto with_unpacked = [&](uint32_t unpacked) {
        std::string bytes = good_;
        put_le32(bytes, 0, static_cast<int32_t>(unpacked));
        return bytes;
    };
    EXPECT_FALSE(resolves(with_unpacked(static_cast<uint32_t>(content_.size()) - 1)));
    EXPECT_FALSE(resolves(with_unpacked(static_cast<uint32_t>(content_.size()) + 1)));
    EXPECT_FALSE(resolves(with_unpacked((1u << 30) + 1)));  // above 1 GiB
    EXPECT_FALSE(resolves(with_unpacked(0xFFFFFFFFu)));
    // Below 1 GiB, but more than the stored stream could ever expand to.
    const uint32_t stored = static_cast<uint32_t>(get_le32(good_, layout_.stored));
    EXPECT_FALSE(resolves(with_unpacked((stored - 4) * 256 + 1)));
}

TEST_F(DamagedPackTest, DamagedStreams) {
    const size_t stream_end = 4 + static_cast<size_t>(get_le32(good_, layout_.stored)) - 4;
    int refused = 0;
    for (size_t at = 4; at < stream_end; at += 97) {
        std::string bytes = good_;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
        // A flipped byte either still decodes to exactly the unpacked size (a literal changed) or
        // is refused; it never reads or writes outside its buffers (ASan).
        write_file(dir_.file("p"), bytes);
        PackResolver resolver;
        resolver.set_pack(dir_.file("p").c_str());
        std::string out;
        if (!path_resolve(resolver, "data.bin", out, true)) {
            ++refused;
        } else {
            EXPECT_EQ(read_via_reader(out).size(), content_.size());
        }
    }
    EXPECT_GT(refused, 0);
    // The stream's end marker gone: refused.
    std::string bytes = good_;
    bytes[stream_end - 3] = 0x00;
    bytes[stream_end - 2] = 0x7F;
    EXPECT_FALSE(resolves(bytes));
}

}  // namespace
