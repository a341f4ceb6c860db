// Settings files on real files: parsing, lookup ignoring case, put and delete, the written form,
// write-back on selection change and at shut-down.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "runtime/core/globals.h"
#include "runtime/files/file_service.h"
#include "runtime/files/memory_files.h"
#include "runtime/runtime.h"
#include "support/test_support.h"

namespace {

using rt_test::read_file;
using rt_test::TempDir;
using rt_test::write_file;
using rt_test::kind_of;
using rt_test::long_name_in;

RtString rs(const std::string& s) { return RtString(s.data(), static_cast<uint32_t>(s.size())); }

std::string get(const char* section, const char* key, const char* fallback = "DEF") {
    RtString value = settings_get(RtString(section), RtString(key), RtString(fallback));
    return std::string(value.c_str(), value.length());
}

void put(const char* section, const char* key, const char* value) {
    settings_put(RtString(section), RtString(key), RtString(value));
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { settings_open(RtString("")); }
    void TearDown() override { settings_open(RtString("")); }
    void open(const std::string& name) { settings_open(rs(dir_.file(name))); }

    TempDir dir_;
};

TEST_F(SettingsTest, ParsesSectionsKeysAndComments) {
    write_file(dir_.file("a.ini"),
               "top = level\r\n"
               "[Video]\r\n"
               "Width = 640\r\n"
               "  ; comment = no\r\n"
               "\r\n"
               "Height=480\n"
               "tabbed = v\t\n"
               "blank = v \n"
               "eq = a = b\n"
               "empty =\n"
               "no equals here\n"
               "Width = 800\n"
               "  [ Audio ]\n"
               "volume\t=\t7\n"
               "[My Section]\n"
               "k = in my\n"
               "[]\n"
               "still = my\n"
               "[video]\n"
               "depth = 32\n");
    open("a.ini");
    EXPECT_EQ(get("video", "WIDTH", "0"), "640");  // the first of two equal keys
    EXPECT_EQ(get("VIDEO", "height"), "480");
    EXPECT_EQ(get("Video", "tabbed"), "v");  // trailing tab removed
    EXPECT_EQ(get("Video", "blank"), "v ");  // trailing blank kept
    EXPECT_EQ(get("Video", "eq"), "a = b");
    EXPECT_EQ(get("Video", "empty"), "");
    EXPECT_EQ(get("Video", "no"), "DEF");
    EXPECT_EQ(get("Video", "; comment"), "DEF");
    EXPECT_EQ(get("Video", "depth"), "32");  // a repeated header continues its section
    EXPECT_EQ(get("", "top"), "level");      // before any header: the section without a name
    EXPECT_EQ(get("audio", "volume"), "7");
    EXPECT_EQ(get("My", "k"), "in my");   // a name ends at a blank
    EXPECT_EQ(get("My", "still"), "my");  // "[]" leaves the section unchanged
    EXPECT_EQ(get("Nowhere", "k"), "DEF");
}

TEST_F(SettingsTest, PutDeleteAndWrittenForm) {
    write_file(dir_.file("s.ini"), "[S]\nfirst=1\nsecond=2\nthird=3\n[T]\nx=y\n");
    open("s.ini");
    put("s", "SECOND", "");  // deletes: the last entry takes its place
    put("S", "fourth", "");  // a missing key is added even when empty
    put("t", "x", "z");
    put("New", "key", "value");
    settings_open(RtString(""));
    EXPECT_EQ(read_file(dir_.file("s.ini")),
              "[S]\r\nfirst=1\r\nthird=3\r\nfourth=\r\n[T]\r\nx=z\r\n[New]\r\nkey=value\r\n");

    // Removing a section is written back too.
    open("s.ini");
    put("s", "", "");
    settings_open(RtString(""));
    EXPECT_EQ(read_file(dir_.file("s.ini")), "[New]\r\nkey=value\r\n[T]\r\nx=z\r\n");

    open("s.ini");
    put("missing section", "", "");  // nothing to remove: no change, no write
    write_file(dir_.file("s.ini"), "changed on disk\n");
    settings_open(RtString(""));
    EXPECT_EQ(read_file(dir_.file("s.ini")), "changed on disk\n");
}

TEST_F(SettingsTest, ReselectingRereadsAfterWriteBack) {
    write_file(dir_.file("r.ini"), "[A]\nk=1\n");
    open("r.ini");
    put("A", "k", "2");
    open("r.ini");
    EXPECT_EQ(read_file(dir_.file("r.ini")), "[A]\r\nk=2\r\n");
    EXPECT_EQ(get("A", "k"), "2");
    EXPECT_FALSE(rt::file_service().settings_.changed_);
}

TEST_F(SettingsTest, MissingFileIsMadeOnWriteBackAndShutDown) {
    open("fresh.ini");
    EXPECT_EQ(get("A", "k"), "DEF");
    put("A", "k", "v");
    EXPECT_FALSE(rt_test::file_exists(dir_.file("fresh.ini")));
    rt::files_flush();  // shut-down
    EXPECT_EQ(read_file(dir_.file("fresh.ini")), "[A]\r\nk=v\r\n");
    // The unnamed section is written with an empty header and reads back the same.
    open("top.ini");
    put("", "k", "v");
    open("top.ini");
    EXPECT_EQ(read_file(dir_.file("top.ini")), "[]\r\nk=v\r\n");
    EXPECT_EQ(get("", "k"), "v");
}

TEST_F(SettingsTest, MemoryFilesAreNeverWrittenBack) {
    auto block = std::make_shared<std::string>("[A]\r\nk=1\r\n");
    std::string name = rt::memory_file_register(block, reinterpret_cast<const uint8_t*>(block->data()),
                                                static_cast<uint32_t>(block->size()));
    settings_open(rs(name));
    EXPECT_EQ(get("a", "K"), "1");
    put("A", "k", "2");
    settings_open(RtString(""));
    EXPECT_EQ(*block, "[A]\r\nk=1\r\n");
    rt::memory_file_unregister(block->data());
}

TEST_F(SettingsTest, LongLinesAndZeroBytes) {
    write_file(dir_.file("l.ini"),
               "[A]\nlong=" + std::string(1500, 'v') + "\nz=a" + std::string(1, '\0') + "b\nafter=1\n");
    open("l.ini");
    EXPECT_EQ(get("A", "long").size(), 1024u - 5);  // the first 1024-byte piece of the line
    EXPECT_EQ(get("A", "z"), "a");                  // a 0 byte ends the line's text
    EXPECT_EQ(get("A", "after"), "1");
}

// Write-back replaces the file in one step: through a link to its target, never over a FIFO;
// a name too long to be a file makes every put report code 3.
TEST_F(SettingsTest, WriteBackTargets) {
    write_file(dir_.file("real.ini"), "[A]\r\nk=old\r\n");
    symlink("real.ini", dir_.file("link.ini").c_str());
    open("link.ini");
    put("A", "k", "new");
    settings_open(RtString(""));
    EXPECT_EQ(read_file(dir_.file("real.ini")), "[A]\r\nk=new\r\n");
    EXPECT_EQ(kind_of(dir_.file("link.ini")), static_cast<mode_t>(S_IFLNK));

    mkfifo(dir_.file("fifo").c_str(), 0600);
    open("fifo");
    put("A", "k", "v");
    error_code_clear();
    settings_open(RtString(""));
    EXPECT_EQ(kind_of(dir_.file("fifo")), static_cast<mode_t>(S_IFIFO));
    EXPECT_EQ(rt::globals.error_code, 3) << "a refused write-back is reported";

    error_code_clear();
    put("A", "k", "v");  // no file selected: kept in memory, nothing to report
    EXPECT_EQ(rt::globals.error_code, 0);
    const std::string long_name = long_name_in(dir_.path());
    write_file(long_name, "[A]\r\nk=old\r\n");
    settings_open(rs(long_name));
    EXPECT_EQ(get("A", "k"), "DEF");
    put("A", "k", "new");
    EXPECT_EQ(rt::globals.error_code, 3);
    settings_open(RtString(""));
    EXPECT_EQ(read_file(long_name), "[A]\r\nk=old\r\n");
}

}  // namespace
