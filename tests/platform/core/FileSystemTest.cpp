// Folder listing: hidden names, links, special files, patterns.
#include "platform/core/FileSystem.h"

#include "TempDrive.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>

using namespace glyptor;
using glyptor::testing::TempDrive;

namespace {

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FileNames(const std::vector<platform::FolderEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries)
        if (!entry.isDirectory)
            names.push_back(entry.name);
    return Sorted(names);
}

} // namespace

TEST(FileSystem, SubfoldersSkipHiddenLinksAndBackslashNames) {
    TempDrive drive;
    drive.Folder("Program");
    drive.Folder("Program Files");
    drive.Folder(".hidden");
    drive.Folder("odd\\name");
    drive.File("file.dll");
    ASSERT_EQ(::symlink(drive.Root().c_str(), drive.Native("loop").c_str()), 0);
    EXPECT_EQ(Sorted(platform::ListSubfolders(drive.Drives(), "T:\\")),
              (std::vector<std::string>{"Program", "Program Files"}));
    EXPECT_TRUE(platform::ListSubfolders(drive.Drives(), "T:\\missing").empty());
    EXPECT_TRUE(platform::ListSubfolders(drive.Drives(), "T:\\file.dll").empty());
}

TEST(FileSystem, EntriesNeverOfferSpecialFiles) {
    TempDrive drive;
    drive.File("a.exe");
    drive.File(".hidden.dll");
    drive.File("target.ico");
    ASSERT_EQ(::mkfifo(drive.Native("fifo.exe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(drive.Native("target.ico").c_str(), drive.Native("link.ico").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent", drive.Native("dangling.dll").c_str()), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = drive.Native("sock.dll");
    if (socketPath.size() < sizeof address.sun_path) {
        std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
        ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ::close(sock);
    EXPECT_EQ(FileNames(platform::ListEntries(drive.Drives(), "T:\\", "*.*")),
              (std::vector<std::string>{".hidden.dll", "a.exe", "link.ico", "target.ico"}));
}

TEST(FileSystem, PatternsIgnoreCase) {
    EXPECT_TRUE(platform::MatchesPattern("shell32.dll", "*.DLL"));
    EXPECT_TRUE(platform::MatchesPattern("SHELL32.Dll", "*.dll"));
    EXPECT_FALSE(platform::MatchesPattern("shell32.dll.bak", "*.DLL"));
    EXPECT_TRUE(platform::MatchesPattern("noextension", "*.*"));
    EXPECT_TRUE(platform::MatchesPattern("a.b.c", "*.C"));
    EXPECT_TRUE(platform::MatchesPattern("x.ico", "?.ICO"));
    EXPECT_FALSE(platform::MatchesPattern("xy.ico", "?.ICO"));
    EXPECT_TRUE(platform::MatchesPattern("файл.ICO", "*.ico"));
}

TEST(FileSystem, FolderAndFileTests) {
    TempDrive drive;
    drive.File("dir/f.bmp");
    ASSERT_EQ(::mkfifo(drive.Native("pipe.bmp").c_str(), 0600), 0);
    EXPECT_TRUE(platform::IsFolder(drive.Drives(), "T:\\DIR"));
    EXPECT_FALSE(platform::IsFolder(drive.Drives(), "T:\\dir\\f.bmp"));
    EXPECT_TRUE(platform::IsRegularFile(drive.Drives(), "T:\\dir\\F.BMP"));
    EXPECT_FALSE(platform::IsRegularFile(drive.Drives(), "T:\\pipe.bmp"));
    EXPECT_FALSE(platform::IsRegularFile(drive.Drives(), "T:\\dir"));
}
