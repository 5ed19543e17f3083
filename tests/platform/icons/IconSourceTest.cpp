// The icon source on real files in a temporary folder: file kinds by content, special files,
// the parse cache and the SystemResources redirection of system libraries.
#include "platform/icons/IconSource.h"
#include "IconFileBuilder.h"
#include "platform/icons/IconDecode.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace glyptor::icons {
namespace {

namespace fs = std::filesystem;
using testing::Resource;

class IconSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        cache_.Clear();
        char pattern[] = "/tmp/glyptor-icons-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        cache_.Clear();
        std::error_code error;
        fs::remove_all(root_, error);
    }
    std::string Write(const std::string& relative, const Bytes& bytes) {
        const fs::path path = root_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    fs::path root_;
    IconSourceCache cache_;
};

Bytes Module(const std::vector<std::uint32_t>& colours) {
    std::vector<Resource> resources;
    std::uint16_t id = 1;
    for (const std::uint32_t colour : colours) {
        auto image = testing::MakeSolidDib(32, 32, 24, colour);
        resources.push_back({14, std::uint32_t{id}, testing::MakeGroup({{id, image}})});
        resources.push_back({3, std::uint32_t{id}, image});
        ++id;
    }
    return testing::MakePe(resources);
}

std::uint32_t Centre(const IconImage& icon) {
    return icon.pixels[16 * 32 + 16];
}

TEST_F(IconSourceTest, FormatsAreRecognisedByContentNotName) {
    const auto pe = Write("control.ocx", Module({0xFF0000FF, 0xFF00FF00, 0xFFFF0000}));
    const auto noExtension = Write("program", Module({0xFF0000FF}));
    const auto ico = Write("picture.dll", testing::MakeIco({testing::MakeSolidDib(32, 32, 8)}));
    const auto bmp = Write("photo.gif", testing::MakeBmp(10, 10, 24, [](int, int) { return 5u; }));
    const auto text = Write("readme.exe", Bytes(100, 'x'));
    const auto empty = Write("empty.ico", {});
    EXPECT_EQ(IconCount(cache_, pe), 3);
    EXPECT_EQ(IconCount(cache_, noExtension), 1);
    EXPECT_EQ(IconCount(cache_, ico), 1);
    EXPECT_EQ(IconCount(cache_, bmp), 1);
    EXPECT_EQ(IconCount(cache_, text), 0);
    EXPECT_EQ(IconCount(cache_, empty), 0);
    EXPECT_EQ(IconCount(cache_, (root_ / "missing.dll").string()), 0);

    const auto icon = ExtractIcon(cache_, pe, 2);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width, kStandardIconSize);
    EXPECT_EQ(Centre(*icon), 0xFFFF0000u);
    EXPECT_TRUE(ExtractIcon(cache_, bmp, 0));
    EXPECT_FALSE(ExtractIcon(cache_, text, 0));
    EXPECT_FALSE(ExtractIcon(cache_, pe, 3));
}

TEST_F(IconSourceTest, SpecialFilesAreNeverOpened) {
    const std::string fifo = (root_ / "pipe.exe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opening a FIFO without a writer would block; the count must come back at once.
    EXPECT_EQ(IconCount(cache_, fifo), 0);
    EXPECT_FALSE(ExtractIcon(cache_, fifo, 0));

    const std::string socketPath = (root_ / "s.dll").string();
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    EXPECT_EQ(IconCount(cache_, socketPath), 0);
    ::close(s);

    EXPECT_EQ(IconCount(cache_, "/dev/zero"), 0);
    EXPECT_EQ(IconCount(cache_, root_.string()), 0);
    // A link to a regular file is that file.
    const auto target = Write("real.dll", Module({0xFF0000FF}));
    fs::create_symlink(target, root_ / "link.dll");
    EXPECT_EQ(IconCount(cache_, (root_ / "link.dll").string()), 1);
}

TEST_F(IconSourceTest, ChangedFilesAreParsedAgain) {
    const auto path = Write("lib.dll", Module({0xFF0000FF}));
    ASSERT_EQ(IconCount(cache_, path), 1);
    Write("lib.dll", Module({0xFF00FF00, 0xFF00FF00, 0xFF00FF00}));
    // Same second, different size: the cache key still changes.
    EXPECT_EQ(IconCount(cache_, path), 3);
    const auto icon = ExtractIcon(cache_, path, 0);
    ASSERT_TRUE(icon);
    EXPECT_EQ(Centre(*icon), 0xFF00FF00u);

    // Same size, new modification time.
    Write("lib.dll", Module({0xFFFF0000, 0xFFFF0000, 0xFFFF0000}));
    const auto later = fs::last_write_time(path) + std::chrono::seconds(5);
    fs::last_write_time(path, later);
    const auto again = ExtractIcon(cache_, path, 0);
    ASSERT_TRUE(again);
    EXPECT_EQ(Centre(*again), 0xFFFF0000u);
}

TEST_F(IconSourceTest, SystemLibrariesTakeTheirIconsFromSystemResources) {
    const auto library = Write("WINDOWS/system32/Shell32.dll",
                               testing::MakePe({{16, std::uint32_t{1}, Bytes(40, 1)}}));
    Write("WINDOWS/systemresources/shell32.DLL.mun", Module({0xFF0000FF, 0xFF00FF00}));
    EXPECT_EQ(IconCount(cache_, library), 2);
    const auto icon = ExtractIcon(cache_, library, 1);
    ASSERT_TRUE(icon);
    EXPECT_EQ(Centre(*icon), 0xFF00FF00u);
    EXPECT_NE(IconDataPath(cache_, library).find(".mun"), std::string::npos);

    const auto wow = Write("WINDOWS/SysWOW64/shell32.dll", testing::MakePe({}));
    EXPECT_EQ(IconCount(cache_, wow), 2);

    // A library with icons of its own keeps them.
    const auto own = Write("WINDOWS/System32/own.dll", Module({0xFFFFFFFF}));
    Write("WINDOWS/SystemResources/own.dll.mun", Module({1, 2, 3, 4}));
    EXPECT_EQ(IconCount(cache_, own), 1);

    // Outside System32 nothing is redirected.
    const auto elsewhere = Write("WINDOWS/Other/shell32.dll", testing::MakePe({}));
    Write("WINDOWS/Other/../SystemResources/shell32.dll.mun", Module({1}));
    EXPECT_EQ(IconCount(cache_, elsewhere), 0);

    // No .mun file: no icons.
    const auto lonely = Write("WINDOWS/System32/lonely.dll", testing::MakePe({}));
    EXPECT_EQ(IconCount(cache_, lonely), 0);

    // A .mun file that appears later is found once the library is asked again afresh.
    Write("WINDOWS/SystemResources/LONELY.DLL.MUN", Module({1, 2, 3}));
    cache_.Clear();
    EXPECT_EQ(IconCount(cache_, lonely), 3);

    // So is a SystemResources folder made after a library beside it was found to have none.
    const auto first = Write("W2/System32/first.dll", testing::MakePe({}));
    const auto second = Write("W2/System32/second.dll", testing::MakePe({}));
    EXPECT_EQ(IconCount(cache_, first), 0);
    Write("W2/SystemResources/second.dll.mun", Module({1, 2}));
    EXPECT_EQ(IconCount(cache_, second), 2);
}

TEST_F(IconSourceTest, SourceImagesAreTheGroupsOwnImages) {
    auto small = testing::MakeSolidDib(16, 16, 8, 0xFF00FF00);
    auto big = testing::MakePng(48, 48, 0xFF0000FF);
    const auto ico = Write("two.ico", testing::MakeIco({small, big}));
    const auto images = ExtractSourceImages(cache_, ico, 0);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].info.width, 16);
    EXPECT_EQ(images[0].info.bitCount, 8);
    EXPECT_EQ(images[1].image.width, 48);
    EXPECT_TRUE(images[1].info.png);
    IconImageInfo chosen;
    ASSERT_TRUE(ExtractIcon(cache_, ico, 0, 32, &chosen));
    EXPECT_EQ(chosen.width, 48);
    EXPECT_TRUE(ExtractSourceImages(cache_, ico, 1).empty());
}

} // namespace
} // namespace glyptor::icons

namespace glyptor::icons {
namespace {

// A count walks the group directory and the entries it points to, which lie blocks apart in a
// large library; the file must not be read again for every group.
TEST(FileSourceReads, CountOfManyGroupsReadsEachBlockOnce) {
    std::vector<Resource> resources;
    for (std::uint16_t id = 1; id <= 300; ++id) {
        auto image = testing::MakeSolidDib(32, 32, 24, 0xFF000000u + id);
        resources.push_back({14, std::uint32_t{id}, testing::MakeGroup({{id, image}})});
        resources.push_back({3, std::uint32_t{id}, image});
    }
    const Bytes bytes = testing::MakePe(resources);
    char pattern[] = "/tmp/glyptor-reads-XXXXXX";
    const int fd = ::mkstemp(pattern);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
    auto source = FileSource::Open(pattern);
    ASSERT_TRUE(source);
    EXPECT_EQ(IndexContainer(*source).Count(), 300);
    // The file is about 1 MB; the headers and the directory are a few blocks of it.
    EXPECT_GT(bytes.size(), 900000u);
    EXPECT_LT(source->BytesRead(), 64u * 1024u) << "read " << source->BytesRead() << " bytes";
    ::unlink(pattern);
}

// Descriptors closed in runs: whatever order they come in, exactly those handed over are
// closed, and none is held past a flush. A descriptor between two of them belongs to someone
// else and must stay open.
TEST(FileSourceReads, ARunClosesExactlyTheDescriptorsHandedToIt) {
    struct rlimit limit {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_cur < 1024 && limit.rlim_max >= 1024) {
        limit.rlim_cur = 1024; // room for runs: under a low limit each descriptor closes at once
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    }
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(null, 0);
    constexpr int kBase = 700; // far above what the test runner has open
    const auto open = [&](int fd) { return ::dup2(null, fd) == fd; };
    const auto isOpen = [](int fd) { return ::fcntl(fd, F_GETFD) != -1; };
    const int foreign = kBase + 3;
    ASSERT_TRUE(open(foreign));
    {
        DescriptorRun run;
        // Up, down, across the foreign one, and one run past the longest held.
        const std::vector<int> handed = {kBase + 1, kBase + 2, kBase, kBase + 4, kBase + 5};
        for (int fd : handed) {
            ASSERT_TRUE(open(fd));
            run.Close(fd);
        }
        for (int fd = kBase + 10; fd < kBase + 10 + DescriptorRun::kMaxHeld + 3; ++fd) {
            ASSERT_TRUE(open(fd));
            run.Close(fd);
        }
        for (int fd = kBase; fd < kBase + 3; ++fd)
            EXPECT_FALSE(isOpen(fd)) << fd << " stayed open after its run was left";
        EXPECT_TRUE(run.Flush());
        for (int fd = kBase; fd < kBase + 10 + DescriptorRun::kMaxHeld + 3; ++fd) {
            if (fd == foreign)
                continue;
            EXPECT_FALSE(isOpen(fd)) << fd << " stayed open after the flush";
        }
        EXPECT_FALSE(run.Flush());
    }
    EXPECT_TRUE(isOpen(foreign));
    ::close(foreign);
    ::close(null);
}

} // namespace
} // namespace glyptor::icons
