// The drive table built from sample mount lists.
#include "platform/core/Drives.h"

#include <gtest/gtest.h>

using namespace glyptor::platform;

namespace {

MountInfo Mount(const char* point, const char* fs, const char* device, bool removable = false) {
    return MountInfo{point, fs, device, removable};
}

} // namespace

TEST(DriveTable, LettersFollowUserMountsAndSkipSystemOnes) {
    const std::vector<MountInfo> mounts = {
        Mount("/", "ext4", "/dev/sda2"),
        Mount("/boot", "vfat", "/dev/sda1"),
        Mount("/proc", "proc", "proc"),
        Mount("/run/user/1000", "tmpfs", "tmpfs"),
        Mount("/media/ann/STICK", "vfat", "/dev/sdb1", true),
        Mount("/media/ann/DISC", "iso9660", "/dev/sr0"),
        Mount("/mnt/share", "cifs", "//server/share"),
        Mount("/home/ann/ram", "tmpfs", "tmpfs"),
        Mount("/mnt/windows", "ntfs3", "/dev/sda3"),
        Mount("/snap/core/1", "squashfs", "/dev/loop0"),
        Mount("/mnt/windows", "ntfs3", "/dev/sda3"), // mounted twice: one drive
    };
    const auto table = BuildDriveTable(mounts, "/home/ann", {});
    ASSERT_EQ(table.size(), 6u);
    EXPECT_EQ(table[0].root, "C:\\");
    EXPECT_EQ(table[0].nativeRoot, "/");
    EXPECT_EQ(table[0].type, DriveFixed);
    EXPECT_EQ(table[1].root, "D:\\");
    EXPECT_EQ(table[1].type, DriveRemovable);
    EXPECT_EQ(table[2].type, DriveCdRom);
    EXPECT_EQ(table[3].type, DriveRemote);
    EXPECT_EQ(table[4].nativeRoot, "/home/ann/ram");
    EXPECT_EQ(table[4].type, DriveRamDisk);
    EXPECT_EQ(table[5].root, "H:\\");
    EXPECT_EQ(table[5].nativeRoot, "/mnt/windows");
    EXPECT_EQ(table[5].type, DriveFixed);
}

TEST(DriveTable, OverridesReplaceOrAddLetters) {
    const std::vector<MountInfo> mounts = {Mount("/media/a", "vfat", "/dev/sdb1", true),
                                           Mount("/media/b", "ext4", "/dev/sdc1")};
    const auto table = BuildDriveTable(mounts, "/home/x", {{'d', "/srv/win"}, {'Q', "/data"}});
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[1].root, "D:\\");
    EXPECT_EQ(table[1].nativeRoot, "/srv/win");
    EXPECT_EQ(table[2].root, "E:\\");
    EXPECT_EQ(table[2].nativeRoot, "/media/b");
    EXPECT_EQ(table[3].root, "Q:\\");
}

TEST(DriveTable, HomeFolderItselfAndLookalikeFoldersAreNotDrives) {
    const std::vector<MountInfo> mounts = {Mount("/home/ann", "ext4", "/dev/sda4"),
                                           Mount("/mediation", "ext4", "/dev/sdd1"),
                                           Mount("/home/annex/x", "ext4", "/dev/sde1")};
    EXPECT_EQ(BuildDriveTable(mounts, "/home/ann", {}).size(), 1u);
}
