// The type filter, the enumeration pattern, the cache trim and the mounts a walk keeps off.
#include "browser/ScanRules.h"
#include "browser/CacheRules.h"
#include "browser/ScanPool.h"

#include <gtest/gtest.h>

#include <vector>

using namespace glyptor;

TEST(TypeFilter, PatternOnlyForASingleType) {
    EXPECT_EQ(ScanPattern(""), "*.*");
    EXPECT_EQ(ScanPattern(".DLL"), "*.DLL");
    EXPECT_EQ(ScanPattern(".DLL.EXE"), "*.*");
}

TEST(TypeFilter, Extensions) {
    EXPECT_TRUE(PassesTypeFilter("a.dll", ""));
    EXPECT_TRUE(PassesTypeFilter("noext", ""));
    EXPECT_FALSE(PassesTypeFilter("noext", ".DLL"));
    EXPECT_TRUE(PassesTypeFilter("A.Dll", ".DLL"));
    EXPECT_FALSE(PassesTypeFilter("a.exe", ".DLL"));
    // The substring rule lets a leading part of a chosen extension through.
    EXPECT_TRUE(PassesTypeFilter("a.dl", ".DLL.EXE"));
    EXPECT_TRUE(PassesTypeFilter("a.e", ".DLL.EXE"));
    EXPECT_FALSE(PassesTypeFilter("a.ico", ".DLL.EXE"));
    // Cursors never, whatever the filter and the letter case.
    for (const char* name : {"x.cur", "x.CUR", "x.Ani", "x.ANI"}) {
        EXPECT_FALSE(PassesTypeFilter(name, "")) << name;
        EXPECT_FALSE(PassesTypeFilter(name, ".CUR.ANI")) << name;
    }
    // Only the last dot counts.
    EXPECT_TRUE(PassesTypeFilter("setup.ex_.ico", ".ICO"));
    EXPECT_FALSE(PassesTypeFilter("a.ico.bak", ".ICO"));
}

namespace {

struct Cache {
    std::vector<bool> loaded;
    int count = 0;
    explicit Cache(int items) : loaded(static_cast<std::size_t>(items), true), count(items) {}
};

std::vector<int> Trim(Cache& cache, int top, int pageSize, int minCash) {
    std::vector<int> released;
    TrimPictureCache(
        static_cast<int>(cache.loaded.size()), [top] { return top; }, pageSize,
        [&] { return cache.count > minCash; },
        [&](int i) {
            released.push_back(i);
            cache.loaded[static_cast<std::size_t>(i)] = false;
            --cache.count;
        });
    return released;
}

} // namespace

TEST(CacheTrim, ReleasesFromBothEndsDownToTheLowMark) {
    Cache cache(10000);
    cache.count = 3001;
    const auto released = Trim(cache, 5000, 90, 2000);
    // Each round frees one picture at each end, so the count may end one below the mark.
    EXPECT_EQ(cache.count, 1999);
    ASSERT_GE(released.size(), 4u);
    // Alternating: low end first, then high end.
    EXPECT_EQ(released[0], 0);
    EXPECT_EQ(released[1], 9999);
    EXPECT_EQ(released[2], 1);
    EXPECT_EQ(released[3], 9998);
}

TEST(CacheTrim, StopsAtTheKeepRange) {
    Cache cache(1000);
    const auto released = Trim(cache, 500, 90, 0);
    // Kept: 500 - 180 .. 500 + 270.
    for (int i : released)
        EXPECT_TRUE(i < 320 || i > 770) << i;
    EXPECT_EQ(released.size(), 320u + (999u - 770u));
}

TEST(CacheTrim, SingleColumnKeepsOnlyTheFirstVisibleCell) {
    Cache cache(50);
    const auto released = Trim(cache, 20, 0, 0);
    EXPECT_EQ(released.size(), 49u);
    EXPECT_TRUE(cache.loaded[20]);
}

TEST(CacheTrim, ViewAtTheStartReleasesOnlyTheHighEnd) {
    Cache cache(100);
    const auto released = Trim(cache, 0, 10, 0);
    for (int i : released)
        EXPECT_GT(i, 30);
    EXPECT_EQ(released.size(), 69u);
}

// Mount points as /proc/self/mountinfo writes them: the fifth field, with a space, tab, newline
// or backslash written as \ooo. "Below" means inside, not beside ("/media/usbx").
TEST(MountPoints, BelowAFolderWithTheirEscapesUndone) {
    const std::string mountinfo = "22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
                                  "25 1 254:0 / / rw - ext4 /dev/vda rw\n"
                                  "40 25 0:35 / /media/usb\\040disk rw - fuseblk /dev/sdb1 rw\n"
                                  "41 40 0:36 / /media/usb\\040disk/inner rw - nfs s:/x rw\n"
                                  "42 25 0:37 / /media/usb rw shared:5 - vfat /dev/sdc1 rw\n"
                                  "43 25 0:38 / /media/usbx rw - vfat /dev/sdd1 rw\n"
                                  "44 25 0:39 / /back\\134slash rw - tmpfs t rw"; // no last newline
    using Mounts = std::vector<std::string>;
    EXPECT_EQ(scan::MountPointsBelow(mountinfo, "/media/usb disk"),
              Mounts{"/media/usb disk/inner"});
    EXPECT_EQ(scan::MountPointsBelow(mountinfo, "/media/"),
              (Mounts{"/media/usb", "/media/usb disk", "/media/usb disk/inner", "/media/usbx"}));
    EXPECT_EQ(scan::MountPointsBelow(mountinfo, "/"),
              (Mounts{"/back\\slash", "/media/usb", "/media/usb disk", "/media/usb disk/inner",
                      "/media/usbx", "/proc"}));
    EXPECT_EQ(scan::MountPointsBelow(mountinfo, "/media/usb"), Mounts{});
    EXPECT_EQ(scan::MountPointsBelow(mountinfo, "/proc"), Mounts{});
    EXPECT_EQ(scan::MountPointsBelow("", "/"), Mounts{});
    EXPECT_EQ(scan::MountPointsBelow("1 2 3:4 / /cut\\04", "/"), Mounts{"/cut\\04"});
}
