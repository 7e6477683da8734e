#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "config/ConfigStore.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;

std::set<std::string> FilesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 0777;
}

CConfigStore LargeStore() {
    CConfigStore store;
    for (int i = 0; i < 400; ++i) store.Set("Key" + std::to_string(i), std::string(60, 'v'));
    return store;
}

TEST(ConfigStoreSave, AFullDiskLeavesTheOldFileWholeAndNoTemporaryFile) {
    TempDir dir;
    const std::string disk = dir.File("disk");
    const std::string settings = disk + "/Settings.cfg";
    const int code = RunWithPrivateMounts(
        [&] {
            if (mkdir(disk.c_str(), 0755) != 0 || !MountTmpfs(disk, "64k")) return 10;
            CConfigStore old;
            old.Set("Window.X", "40");
            if (!old.Save(settings, CConfigStore::kSettingsHeader)) return 11;
            const std::string before = TempDir::Read(settings);
            // Fill the disk to the last byte.
            const int filler = open((disk + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
            if (filler < 0) return 12;
            const std::string block(4096, 'x');
            for (std::size_t size = block.size(); size > 0; size /= 2) {
                for (int i = 0; i < 100 && write(filler, block.data(), size) > 0; ++i) {
                }
            }
            close(filler);

            // More than the old file frees, so truncating it first could not have worked.
            if (LargeStore().Save(settings, CConfigStore::kSettingsHeader)) return 3;
            if (TempDir::Read(settings) != before) return 4;
            if (FilesIn(disk) != std::set<std::string>{"Settings.cfg", "filler"}) return 5;
            return 0;
        },
        20s);
    if (code == kNoMountNamespace) GTEST_SKIP() << "needs root to mount a small tmpfs";
    EXPECT_EQ(code, 0) << "3: Save reported success, 4: old file changed, 5: file left behind";
}

TEST(ConfigStoreSave, ReplacingKeepsPermissionsAndFollowsSymbolicLinks) {
    TempDir dir;
    const mode_t oldMask = umask(027);
    CConfigStore store;
    store.Set("a", "1");
    ASSERT_TRUE(store.Save(dir.File("new.cfg"), ""));
    umask(oldMask);
    EXPECT_EQ(ModeOf(dir.File("new.cfg")), 0640u);

    // A mode the user chose survives a rewrite.
    ASSERT_EQ(chmod(dir.File("new.cfg").c_str(), 0604), 0);
    store.Set("b", "2");
    ASSERT_TRUE(store.Save(dir.File("new.cfg"), ""));
    EXPECT_EQ(ModeOf(dir.File("new.cfg")), 0604u);
    EXPECT_EQ(TempDir::Read(dir.File("new.cfg")), "a = 1\nb = 2\n");

    // A link (relative, through a second link) stays a link; the file it points to changes.
    std::filesystem::create_directory(dir.File("real"));
    TempDir::Write(dir.File("real/Settings.cfg"), "old = 1\n");
    std::filesystem::create_symlink("real/Settings.cfg", dir.File("hop.cfg"));
    std::filesystem::create_symlink("hop.cfg", dir.File("link.cfg"));
    ASSERT_TRUE(store.Save(dir.File("link.cfg"), ""));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.cfg")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("hop.cfg")));
    EXPECT_EQ(TempDir::Read(dir.File("real/Settings.cfg")), "a = 1\nb = 2\n");
    EXPECT_EQ(FilesIn(dir.File("real")), std::set<std::string>{"Settings.cfg"});
    EXPECT_EQ(FilesIn(dir.Path()),
              (std::set<std::string>{"hop.cfg", "link.cfg", "new.cfg", "real"}));

    // A link that loops is a failure, not a hang.
    std::filesystem::create_symlink("loop2.cfg", dir.File("loop1.cfg"));
    std::filesystem::create_symlink("loop1.cfg", dir.File("loop2.cfg"));
    EXPECT_FALSE(store.Save(dir.File("loop1.cfg"), ""));
}

}  // namespace
