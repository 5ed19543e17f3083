// Program paths to native paths and back, with the letter-case fallback.
#include "platform/core/Paths.h"

#include "TempDrive.h"

#include <gtest/gtest.h>

using namespace glyptor;
using glyptor::testing::TempDrive;

TEST(Paths, ExactAndCaseFoldedComponents) {
    TempDrive drive;
    drive.File("Windows/System32/Shell32.dll");
    EXPECT_EQ(platform::ToNativePath(drive.Drives(), "T:"), drive.Root());
    EXPECT_EQ(platform::ToNativePath(drive.Drives(), "T:\\Windows\\System32\\Shell32.dll"),
              drive.Native("Windows/System32/Shell32.dll"));
    EXPECT_EQ(platform::ToNativePath(drive.Drives(), "t:\\WINDOWS\\system32\\SHELL32.DLL"),
              drive.Native("Windows/System32/Shell32.dll"));
    // A missing last component is kept as written: it may be a file about to be created.
    EXPECT_EQ(platform::ToNativePath(drive.Drives(), "T:\\windows\\new.ico"),
              drive.Native("Windows/new.ico"));
    EXPECT_FALSE(platform::ToNativePath(drive.Drives(), "Q:\\x").has_value());
    EXPECT_FALSE(platform::ToNativePath(drive.Drives(), "relative\\x").has_value());
}

TEST(Paths, ExactNameWinsOverCaseVariant) {
    TempDrive drive;
    drive.Folder("abc");
    drive.Folder("ABC");
    EXPECT_EQ(platform::ToNativePath(drive.Drives(), "T:\\ABC"), drive.Native("ABC"));
    EXPECT_EQ(platform::ToNativePath(drive.Drives(), "T:\\abc"), drive.Native("abc"));
}

TEST(Paths, DotDotNeverLeavesTheDrive) {
    TempDrive drive;
    drive.Folder("a");
    EXPECT_EQ(platform::ToNativePath(drive.Drives(), "T:\\a\\..\\..\\.."), drive.Root());
}

TEST(Paths, NativeToProgramPath) {
    TempDrive drive;
    EXPECT_EQ(platform::ToProgramPath(drive.Drives(), drive.Native("Dir/File.ico")),
              "T:\\Dir\\File.ico");
    EXPECT_EQ(platform::ToProgramPath(drive.Drives(), drive.Root()), "T:");
    EXPECT_EQ(platform::ToProgramPath(drive.Drives(), "/usr/share"), "C:\\usr\\share");
    // A name with a backslash has no program path.
    EXPECT_FALSE(
        platform::ToProgramPath(drive.Drives(), drive.Native("odd\\name.dll")).has_value());
}
