// Atomic replacement of the platform layer: what the name holds after a replacement that
// succeeded, was refused, failed while writing or was given up, and that no temporary file stays.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime/platform/fs.h"
#include "support/test_support.h"

namespace {

using rt_test::read_file;
using rt_test::TempDir;
using rt_test::write_file;
using rt_test::FileSizeLimit;
using rt_test::kind_of;

// The set-up most cases share: a file "f" holding "old".
std::string old_file(const TempDir& d) {
    write_file(d.file("f"), "old");
    return d.file("f");
}

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = opendir(folder.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
    return names;
}

mode_t permissions_of(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

bool replace_with(const std::string& path, const std::string& bytes) {
    return rt::platform_file_replace(path.c_str(), bytes.data(), bytes.size(), 0640);
}

TEST(PlatformReplacement, ReplacesWholeOrLeavesTheOldFile) {
    const mode_t mask = umask(0);
    umask(mask);
    const std::string big(10000, 'n');
    struct Case {
        const char* what;
        // Makes what the folder holds before; returns the name handed to the replacement.
        std::function<std::string(const TempDir&)> prepare;
        // Runs the replacement; the default writes "new".
        std::function<bool(const std::string&)> act;
        bool succeeds;
        const char* read_at;  // the name whose content is checked ("" for none)
        const char* content;  // what it holds afterwards
        mode_t kind;          // the kind of the name handed over afterwards
        mode_t permissions;   // of read_at afterwards (0: not checked)
    };
    const std::vector<Case> cases = {
        {"a new file gets the asked bits less the mask", [](const TempDir& d) { return d.file("f"); }, nullptr, true,
         "f", "new", S_IFREG, static_cast<mode_t>(0640 & ~mask)},
        {"an existing file keeps its bits",
         [](const TempDir& d) {
             write_file(d.file("f"), "old");
             chmod(d.file("f").c_str(), 0604);
             return d.file("f");
         },
         nullptr, true, "f", "new", S_IFREG, 0604},
        {"a link is followed and stays a link",
         [](const TempDir& d) {
             write_file(d.file("real"), "old");
             symlink("real", d.file("link").c_str());
             return d.file("link");
         },
         nullptr, true, "real", "new", S_IFLNK, 0},
        {"a dangling link makes its target",
         [](const TempDir& d) {
             symlink("made", d.file("link").c_str());
             return d.file("link");
         },
         nullptr, true, "made", "new", S_IFLNK, 0},
        {"a FIFO is refused",
         [](const TempDir& d) {
             mkfifo(d.file("fifo").c_str(), 0600);
             return d.file("fifo");
         },
         nullptr, false, "", "", S_IFIFO, 0},
        {"a folder is refused",
         [](const TempDir& d) {
             mkdir(d.file("sub").c_str(), 0700);
             return d.file("sub");
         },
         nullptr, false, "", "", S_IFDIR, 0},
        {"a folder that does not exist is refused", [](const TempDir& d) { return d.file("no/f"); }, nullptr, false,
         "", "", 0, 0},
        {"a write that fails keeps the old content",
         old_file,
         [&big](const std::string& path) {
             FileSizeLimit limit(100);
             return replace_with(path, big);
         },
         false, "f", "old", S_IFREG, 0},
        {"an abandoned replacement keeps the old content",
         old_file,
         [](const std::string& path) {
             rt::PlatformReplacement r;
             if (!r.begin(path.c_str())) return true;
             rt::platform_file_write(r.file(), "new", 3);
             r.abandon();
             return r.active();
         },
         false, "f", "old", S_IFREG, 0},
        {"a target turned into a folder before the commit stays",
         old_file,
         [](const std::string& path) {
             rt::PlatformReplacement r;
             if (!r.begin(path.c_str())) return true;
             rt::platform_file_write(r.file(), "new", 3);
             unlink(path.c_str());
             mkdir(path.c_str(), 0700);
             return r.commit();
         },
         false, "", "", S_IFDIR, 0},
        {"an empty content replaces too",
         old_file,
         [](const std::string& path) { return replace_with(path, ""); }, true, "f", "", S_IFREG, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string target = c.prepare(dir);
        const bool ok = c.act ? c.act(target) : replace_with(target, "new");
        EXPECT_EQ(ok, c.succeeds);
        EXPECT_EQ(kind_of(target), c.kind);
        if (*c.read_at) {
            EXPECT_EQ(read_file(dir.file(c.read_at)), c.content);
            if (c.permissions != 0) {
                EXPECT_EQ(permissions_of(dir.file(c.read_at)), c.permissions);
            }
        }
        // No temporary file stays behind, whatever happened.
        for (const std::string& name : names_in(dir.path())) {
            EXPECT_NE(name.rfind('.', 0), 0u) << name;
        }
    }
}

TEST(PlatformReplacement, ReadOnlyFileIsRefused) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root: a read-only file is writable here, so nothing to refuse";
    TempDir dir;
    write_file(dir.file("f"), "old");
    chmod(dir.file("f").c_str(), 0444);
    EXPECT_FALSE(replace_with(dir.file("f"), "new"));
    EXPECT_EQ(read_file(dir.file("f")), "old");
    EXPECT_EQ(permissions_of(dir.file("f")), 0444u);
}

}  // namespace
