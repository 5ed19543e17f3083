// The icon file writer: depth codes, the byte layout at every depth, the sizes of the known
// icons, and the save's failure path (message, removal of exactly the file written).
#include "export/IconSave.h"
#include "tests/platform/dib/ExternalReaders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace glyptor::iconfile {
namespace {

using glyptor::testing::ReadFileBytes;
using glyptor::testing::TempDir;

std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::uint32_t{bytes.at(at)} | std::uint32_t{bytes.at(at + 1)} << 8 |
           std::uint32_t{bytes.at(at + 2)} << 16 | std::uint32_t{bytes.at(at + 3)} << 24;
}
std::uint16_t U16At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

// Colours vary with x and y; the top-left 4 x 2 pixels are masked, the right column is
// transparent by alpha alone.
IconImage MakeIcon(int width, int height) {
    IconImage icon;
    icon.width = width;
    icon.height = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool masked = x < 4 && y < 2;
            const std::uint32_t alpha = masked || x == width - 1 ? 0u : 0xFFu;
            icon.pixels.push_back(alpha << 24 | static_cast<std::uint32_t>(x * 8 % 256) << 16 |
                                  static_cast<std::uint32_t>(y * 8 % 256) << 8 | 0x40u);
            icon.mask.push_back(masked ? 1 : 0);
        }
    }
    return icon;
}

struct Recorded {
    int calls = 0;
    std::string text;
    std::string caption;
    // Shows a failed save as the window would.
    void Show(const IconSaveResult& result) {
        if (!result.Saved()) {
            ++calls;
            text = result.errorText;
            caption = kSaveErrorCaption;
        }
    }
};

// Runs `work` in a forked child and returns the text it reports, so that limits and user
// changes made there bind nothing else in the test run.
std::string ReportFromChild(const std::function<std::string()>& work) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return "no pipe";
    }
    const pid_t child = ::fork();
    if (child < 0) {
        return "no fork";
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        const std::string report = work();
        [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    std::string report;
    char buffer[512];
    ssize_t got = 0;
    while ((got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status)) {
        report += "|child ended by signal " + std::to_string(WTERMSIG(status));
    }
    return report;
}

TEST(DepthCodes, MapToColourCountsAndDepths) {
    for (int code = 0; code < 256; ++code) {
        std::uint32_t expected = 16;
        if (code == 2) {
            expected = 256;
        } else if (code == 4) {
            expected = 65536;
        } else if (code == 5) {
            expected = 16777216;
        }
        EXPECT_EQ(ColourCountForDepthCode(static_cast<std::uint8_t>(code)), expected) << code;
    }
    EXPECT_EQ(BitsPerPixelForColourCount(2), 1u);
    EXPECT_EQ(BitsPerPixelForColourCount(16), 4u);
    EXPECT_EQ(BitsPerPixelForColourCount(256), 8u);
    EXPECT_EQ(BitsPerPixelForColourCount(65536), 16u);
    EXPECT_EQ(BitsPerPixelForColourCount(16777216), 24u);
    EXPECT_EQ(BitsPerPixelForColourCount(3), 0u);
    EXPECT_EQ(BitsPerPixelForColourCount(0), 0u);
}

TEST(BitmapHeaders, DescribeTheBitmapAtTheColourCount) {
    const dib::Bitmap bitmap{16, 16, std::vector<std::uint32_t>(256, 0xFF000000u)};
    const BITMAPINFOHEADER header = InitBitmapInfoHeader(&bitmap, 256);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 16);
    EXPECT_EQ(header.biHeight, 16);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 8);
    EXPECT_EQ(header.biCompression, 0u);
    EXPECT_EQ(header.biSizeImage, 256u);
    EXPECT_EQ(header.biClrUsed, 0u);

    const dib::Bitmap mask{32, 32, std::vector<std::uint32_t>(1024, 0xFF000000u)};
    const DibBlockSizes maskSizes = DibSizes(&mask, kMaskColourCount);
    EXPECT_EQ(maskSizes.headerBlockSize, 48u);
    EXPECT_EQ(maskSizes.imageSize, 128u);
    EXPECT_EQ(DibSizes(&mask, 16).headerBlockSize, 104u);
    EXPECT_EQ(DibSizes(&mask, 256).headerBlockSize, 1064u);
    EXPECT_EQ(DibSizes(&mask, 65536).headerBlockSize, 40u);

    BITMAPINFOHEADER bitFields = header;
    bitFields.biBitCount = 16;
    bitFields.biCompression = 3;
    EXPECT_EQ(HeaderBlockSize(bitFields), 52u);

    EXPECT_THROW(InitBitmapInfoHeader(&bitmap, 3), std::invalid_argument);
}

TEST(BitmapHeaders, MissingOrBrokenBitmapsAreInvalid) {
    const dib::Bitmap broken{4, 4, std::vector<std::uint32_t>(15)};
    for (const dib::Bitmap* bitmap : {static_cast<const dib::Bitmap*>(nullptr), &broken}) {
        try {
            DibSizes(bitmap, 16);
            FAIL() << "no error";
        } catch (const InvalidBitmapError& error) {
            EXPECT_STREQ(error.what(), "Invalid Bitmap");
        }
    }
}

TEST(GetDibBits, FillsHeaderTableAndRowsOrRefusesSmallBuffers) {
    const dib::Bitmap bitmap{2, 1, {0xFFFF0000u, 0xFF0000FFu}};
    std::vector<std::uint8_t> block(104), bits(4);
    ASSERT_TRUE(GetDibBits(&bitmap, {}, block, bits, 16));
    EXPECT_EQ(U32At(block, 0), 40u);
    EXPECT_EQ(U16At(block, 14), 4);
    EXPECT_EQ(block[40 + 9 * 4 + 2], 255); // table entry 9 is red
    EXPECT_EQ(bits, (std::vector<std::uint8_t>{0x9C, 0, 0, 0}));
    std::vector<std::uint8_t> small(103);
    EXPECT_FALSE(GetDibBits(&bitmap, {}, small, bits, 16));
    EXPECT_FALSE(GetDibBits(&bitmap, {}, block, std::span(bits).first(3), 16));
}

struct LayoutCase {
    int size;
    std::uint8_t code;
    std::size_t headerBlock; // I
    std::size_t colourImage; // X
    std::size_t maskImage;   // A
    std::uint32_t sizeField;
    std::size_t fileLength;
    std::uint8_t bits;
};

class IconLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(IconLayout, MatchesTheFixedFileLayout) {
    const LayoutCase c = GetParam();
    const auto file = EncodeIconFile(MakeIcon(c.size, c.size), ColourCountForDepthCode(c.code));
    ASSERT_EQ(file.size(), c.fileLength);
    EXPECT_EQ(c.headerBlock + c.colourImage + c.maskImage, c.sizeField);
    // Directory header.
    EXPECT_EQ(U16At(file, 0), 0);
    EXPECT_EQ(U16At(file, 2), 1);
    EXPECT_EQ(U16At(file, 4), 1);
    // Directory entry: bytes 6 to 9, then planes and bit count left 0, size, offset.
    EXPECT_EQ(file[6], c.size % 256);
    EXPECT_EQ(file[7], c.size % 256);
    EXPECT_EQ(file[8], c.bits);
    EXPECT_EQ(file[9], 0);
    EXPECT_EQ(U16At(file, 10), 0);
    EXPECT_EQ(U16At(file, 12), 0);
    EXPECT_EQ(U32At(file, 14), c.sizeField);
    EXPECT_EQ(U32At(file, 18), 22u);
    // The image's header: height doubled for colour image plus mask.
    EXPECT_EQ(U32At(file, 22), 40u);
    EXPECT_EQ(U32At(file, 26), static_cast<std::uint32_t>(c.size));
    EXPECT_EQ(U32At(file, 30), static_cast<std::uint32_t>(2 * c.size));
    EXPECT_EQ(U16At(file, 34), 1);
    EXPECT_EQ(U16At(file, 36), c.bits);
    EXPECT_EQ(U32At(file, 38), 0u);
    EXPECT_EQ(U32At(file, 42), c.colourImage);
    for (std::size_t at = 46; at < 62; at += 4) {
        EXPECT_EQ(U32At(file, at), 0u) << "offset " << at;
    }
    if (c.bits <= 8) {
        // Colour table: entry 9 is red (blue, green, red, 0), entry 15 white.
        EXPECT_EQ(U32At(file, 62 + 9 * 4), 0x00FF0000u);
        EXPECT_EQ(U32At(file, 62 + 15 * 4), 0x00FFFFFFu);
    }
}

INSTANTIATE_TEST_SUITE_P(KnownSizes, IconLayout,
                         ::testing::Values(LayoutCase{32, 1, 104, 512, 128, 744, 766, 4},
                                           LayoutCase{32, 2, 1064, 1024, 128, 2216, 2238, 8},
                                           LayoutCase{32, 4, 40, 2048, 128, 2216, 2238, 16},
                                           LayoutCase{32, 5, 40, 3072, 128, 3240, 3262, 24},
                                           LayoutCase{16, 1, 104, 128, 64, 296, 318, 4},
                                           LayoutCase{16, 5, 40, 768, 64, 872, 894, 24}));

TEST(IconLayout, SixteenPixelMaskRowsArePaddedWithZeros) {
    const auto file = EncodeIconFile(MakeIcon(16, 16), 16);
    const std::size_t maskAt = 22 + 104 + 128;
    ASSERT_EQ(file.size(), maskAt + 64);
    for (std::size_t row = 0; row < 16; ++row) {
        EXPECT_EQ(file[maskAt + row * 4 + 2], 0) << row;
        EXPECT_EQ(file[maskAt + row * 4 + 3], 0) << row;
    }
}

TEST(IconLayout, PixelsAndMaskAreStoredBottomUp) {
    const IconImage icon = MakeIcon(32, 32);
    const auto file = EncodeIconFile(icon, 16777216);
    const std::size_t colourAt = 22 + 40;
    const std::size_t maskAt = colourAt + 3072;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const std::size_t row = static_cast<std::size_t>(31 - y);
            const std::size_t pixel = colourAt + row * 96 + static_cast<std::size_t>(x) * 3;
            const std::uint32_t stored = std::uint32_t{file[pixel]} |
                                         std::uint32_t{file[pixel + 1]} << 8 |
                                         std::uint32_t{file[pixel + 2]} << 16;
            const bool maskBit =
                (file[maskAt + row * 4 + static_cast<std::size_t>(x / 8)] >> (7 - x % 8)) & 1;
            const bool transparent = (x < 4 && y < 2) || x == 31;
            ASSERT_EQ(maskBit, transparent) << x << "," << y;
            const std::uint32_t source = icon.pixels[static_cast<std::size_t>(y * 32 + x)];
            ASSERT_EQ(stored, transparent ? 0u : (source & 0xFFFFFF)) << x << "," << y;
        }
    }
}

TEST(IconLayout, WidthAndHeightBytesAreModulo256) {
    const auto wide = EncodeIconFile(MakeIcon(256, 4), 16);
    EXPECT_EQ(wide[6], 0);
    EXPECT_EQ(wide[7], 4);
    EXPECT_EQ(U32At(wide, 26), 256u);
    const auto odd = EncodeIconFile(MakeIcon(3, 300), 65536);
    EXPECT_EQ(odd[6], 3);
    EXPECT_EQ(odd[7], 300 % 256);
    EXPECT_EQ(U32At(odd, 30), 600u);
}

TEST(SaveIconToFile, UnlistedDepthCodesWriteTheSixteenColourFile) {
    TempDir dir;
    const IconImage icon = MakeIcon(32, 32);
    Recorded box;
    box.Show(SaveIconToFile(dir.File("code1.ico"), icon, 1));
    const auto reference = ReadFileBytes(dir.File("code1.ico"));
    ASSERT_EQ(reference.size(), 766u);
    for (int code : {0, 3, 6, 7, 255}) {
        const std::string path = dir.File("code" + std::to_string(code) + ".ico");
        box.Show(SaveIconToFile(path, icon, static_cast<std::uint8_t>(code)));
        EXPECT_EQ(ReadFileBytes(path), reference) << "code " << code;
    }
    EXPECT_EQ(box.calls, 0) << box.text;
}

TEST(SaveIconToFile, ReplacesAnExistingFile) {
    TempDir dir;
    const std::string path = dir.File("old.ico");
    std::ofstream(path) << std::string(10000, 'x');
    Recorded box;
    box.Show(SaveIconToFile(path, MakeIcon(32, 32), 5));
    EXPECT_EQ(box.calls, 0) << box.text;
    EXPECT_EQ(ReadFileBytes(path), EncodeIconFile(MakeIcon(32, 32), 16777216));
}

TEST(SaveIconToFile, FileThatCannotBeCreatedIsReportedAndNothingIsRemoved) {
    TempDir dir;
    const std::string inMissingFolder = dir.File("missing/icon.ico");
    Recorded box;
    box.Show(SaveIconToFile(inMissingFolder, MakeIcon(32, 32), 1));
    EXPECT_EQ(box.calls, 1);
    EXPECT_EQ(box.text, "File save error: Cannot create file " + inMissingFolder);
    EXPECT_EQ(box.caption, "Glyptor");

    // A folder carrying the name is not ours to remove, nor is anything in it.
    const std::string folder = dir.File("folder.ico");
    std::filesystem::create_directory(folder);
    std::ofstream(folder + "/inside.txt") << "keep";
    box.Show(SaveIconToFile(folder, MakeIcon(32, 32), 1));
    EXPECT_EQ(box.calls, 2);
    EXPECT_EQ(box.text, "File save error: Cannot create file " + folder);
    EXPECT_TRUE(std::filesystem::exists(folder + "/inside.txt"));

    // A FIFO nobody reads would block the save for ever; it fails instead and stays.
    const std::string fifo = dir.File("fifo.ico");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    box.Show(SaveIconToFile(fifo, MakeIcon(32, 32), 1));
    EXPECT_EQ(box.calls, 3);
    EXPECT_EQ(box.text, "File save error: Cannot create file " + fifo);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST(SaveIconToFile, MonochromeIconLeavesNoFile) {
    TempDir dir;
    IconImage icon = MakeIcon(32, 32);
    icon.monochrome = true;
    const std::string path = dir.File("mono.ico");
    Recorded box;
    box.Show(SaveIconToFile(path, icon, 2));
    EXPECT_EQ(box.calls, 1);
    EXPECT_EQ(box.text, "File save error: Invalid Bitmap");
    EXPECT_EQ(box.caption, "Glyptor");
    EXPECT_FALSE(std::filesystem::exists(path));

    // Over an existing file the icon fails before the disk is touched: the old file stays.
    std::ofstream(path) << "previous";
    box.Show(SaveIconToFile(path, icon, 2));
    EXPECT_EQ(box.calls, 2);
    EXPECT_EQ(ReadFileBytes(path).size(), 8u);

    IconImage broken = MakeIcon(8, 8);
    broken.mask.resize(3);
    std::filesystem::remove(path);
    box.Show(SaveIconToFile(path, broken, 5));
    EXPECT_EQ(box.text, "File save error: Invalid Bitmap");
    EXPECT_FALSE(std::filesystem::exists(path));
}

// Names left in the folder besides the ones listed: a failed or finished save leaves no
// temporary file behind.
std::vector<std::string> OtherNames(const TempDir& dir, std::initializer_list<std::string> known) {
    std::vector<std::string> others;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        const std::string name = entry.path().filename().string();
        if (std::find(known.begin(), known.end(), name) == known.end()) {
            others.push_back(name);
        }
    }
    return others;
}

// A full disk (here a file size limit, which fails the write the same way) must not cost the
// user the file being replaced.
TEST(SaveIconToFile, WriteFailureKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.File("old.ico");
    std::ofstream(path) << "previous";
    const std::string report = ReportFromChild([&path] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const IconSaveResult saved = SaveIconToFile(path, MakeIcon(32, 32), 5);
        std::string text = saved.Saved() ? "no message" : saved.errorText;
        return text;
    });
    EXPECT_EQ(report, "File save error: Cannot write file " + path + ": File too large");
    EXPECT_EQ(ReadFileBytes(path).size(), 8u);
    EXPECT_EQ(OtherNames(dir, {"old.ico"}), std::vector<std::string>{});
}

// Saving through a symbolic link replaces the file it points to and keeps the link; the
// replaced file keeps its mode.
TEST(SaveIconToFile, LinkStaysAndItsTargetIsReplacedWithItsMode) {
    TempDir dir;
    const std::string target = dir.File("real.ico");
    const std::string link = dir.File("link.ico");
    std::ofstream(target) << "previous";
    ::chmod(target.c_str(), 0604);
    std::filesystem::create_symlink("real.ico", link);
    Recorded box;
    box.Show(SaveIconToFile(link, MakeIcon(16, 16), 1));
    EXPECT_EQ(box.calls, 0) << box.text;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(target), EncodeIconFile(MakeIcon(16, 16), 16));
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(OtherNames(dir, {"real.ico", "link.ico"}), std::vector<std::string>{});
}

TEST(SaveIconToFile, WildcardCharactersInTheNameNeverRemoveNeighbours) {
    TempDir dir;
    const char* neighbours[] = {"a.ico", "ab.ico", "abc.ico", "aX.ico", "a1.ico", "b.ico"};
    for (const char* name : neighbours) {
        std::ofstream(dir.File(name)) << name;
    }
    IconImage mono = MakeIcon(16, 16);
    mono.monochrome = true;
    Recorded box;
    for (const char* failing : {"a*.ico", "a?.ico", "*", "*.*", "?.ico"}) {
        box.Show(SaveIconToFile(dir.File(failing), mono, 1));
        EXPECT_FALSE(std::filesystem::exists(dir.File(failing))) << failing;
    }
    EXPECT_EQ(box.calls, 5);
    for (const char* name : neighbours) {
        EXPECT_EQ(ReadFileBytes(dir.File(name)).size(), std::string(name).size()) << name;
    }
    // A successful save under such a name is an ordinary file.
    box.Show(SaveIconToFile(dir.File("a*.ico"), MakeIcon(16, 16), 1));
    EXPECT_EQ(ReadFileBytes(dir.File("a*.ico")).size(), 318u);
    EXPECT_TRUE(DeleteMatchingFiles(dir.File("a?.ico")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("a*.ico")));
    EXPECT_TRUE(DeleteMatchingFiles(dir.File("a*.ico")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("a*.ico")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              6);
}

TEST(SaveIconToFile, FullDeviceIsAFailureAndTheDeviceStays) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "/dev/full is missing";
    }
    Recorded box;
    box.Show(SaveIconToFile("/dev/full", MakeIcon(32, 32), 5));
    EXPECT_EQ(box.calls, 1);
    EXPECT_EQ(box.text.rfind("File save error: Cannot write file /dev/full", 0), 0u) << box.text;
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

// A file size limit cuts the write short, as a full disk does: the save must report it and
// remove the partial file. Run in a child so that the limit binds nothing else.
TEST(SaveIconToFile, ShortWriteUnderAFileSizeLimitIsReportedAndTheFileRemoved) {
    TempDir dir;
    const std::string path = dir.File("limited.ico");
    const std::string report = ReportFromChild([&path] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const IconSaveResult saved = SaveIconToFile(path, MakeIcon(32, 32), 5);
        std::string text = saved.Saved() ? "no message" : saved.errorText;
        return text + (std::filesystem::exists(path) ? "|file left" : "|no file");
    });
    EXPECT_EQ(report, "File save error: Cannot write file " + path + ": File too large|no file");
}

// A file the save cannot open for writing was never replaced, so it must survive the failure,
// even where its folder would let it be deleted.
TEST(SaveIconToFile, FileThatCannotBeReplacedIsKept) {
    TempDir dir;
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
    const std::string path = dir.File("readonly.ico");
    std::ofstream(path) << "keep me";
    std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    const std::string report = ReportFromChild([&path] {
        // Permissions do not bind the super-user: try as an ordinary user instead.
        if (::geteuid() == 0 && ::setuid(65534) != 0) {
            return std::string("cannot drop privileges");
        }
        const IconSaveResult saved = SaveIconToFile(path, MakeIcon(32, 32), 1);
        std::string text = saved.Saved() ? "no message" : saved.errorText;
        return text;
    });
    if (report == "cannot drop privileges") {
        GTEST_SKIP() << "running as root and cannot switch to an ordinary user";
    }
    EXPECT_EQ(report, "File save error: Cannot create file " + path);
    EXPECT_EQ(ReadFileBytes(path).size(), 7u);
}

// The caller shows a failure; the save itself neither prints nor throws.
TEST(SaveIconToFile, AFailureComesBackAsItsMessageOnly) {
    IconImage mono = MakeIcon(4, 4);
    mono.monochrome = true;
    TempDir dir;
    IconWriter writer;
    ::testing::internal::CaptureStderr();
    const IconSaveResult saved = writer.SaveIconToFile(dir.File("x.ico"), mono, 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(saved.Saved());
    EXPECT_EQ(saved.errorText, "File save error: Invalid Bitmap");
}

TEST(WriteIconStream, UsesTheColourCountOfTheLatestSave) {
    TempDir dir;
    const IconImage icon = MakeIcon(32, 32);
    IconWriter writer;
    for (std::uint8_t code : {4, 2, 9}) {
        const std::string path = dir.File("latest.ico");
        writer.SaveIconToFile(path, icon, code);
        std::ostringstream stream;
        writer.WriteIconStream(stream, icon);
        const std::string written = stream.str();
        EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), ReadFileBytes(path))
            << "code " << int{code};
    }
}

TEST(WriteIconStream, FailingStreamOrIconThrows) {
    std::ostringstream failing;
    failing.setstate(std::ios::badbit);
    EXPECT_THROW(WriteIconStream(failing, MakeIcon(8, 8), 16), std::runtime_error);
    IconImage mono = MakeIcon(8, 8);
    mono.monochrome = true;
    std::ostringstream stream;
    EXPECT_THROW(WriteIconStream(stream, mono, 16), InvalidBitmapError);
    EXPECT_TRUE(stream.str().empty());
}

} // namespace
} // namespace glyptor::iconfile
