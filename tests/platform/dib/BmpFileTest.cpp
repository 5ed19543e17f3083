// BMP files: the header fields, failures of the file itself, and the files read back by
// independent readers at every depth and at the sizes of the built-in skin pictures.
#include "formats/BmpFile.h"
#include "platform/dib/OutputFile.h"
#include "tests/platform/dib/ExternalReaders.h"
#include "tests/platform/dib/TestColours.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace glyptor::dib {
namespace {

using glyptor::testing::DecodedImage;
using glyptor::testing::Expected;
using glyptor::testing::kColours;
using glyptor::testing::ReadFileBytes;
using glyptor::testing::TempDir;

std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::uint32_t{bytes.at(at)} | std::uint32_t{bytes.at(at + 1)} << 8 |
           std::uint32_t{bytes.at(at + 2)} << 16 | std::uint32_t{bytes.at(at + 3)} << 24;
}
std::uint16_t U16At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

Bitmap TestPicture(int width, int height) {
    Bitmap picture{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t pick = static_cast<std::size_t>(x * 3 + y * 7) % std::size(kColours);
            // Alpha varies too: a BMP keeps the colour of every pixel, transparent or not.
            picture.pixels.push_back((x % 2 ? 0xFF000000u : 0x00000000u) | kColours[pick].input);
        }
    }
    return picture;
}

void ExpectSamePicture(const DecodedImage& decoded, const Bitmap& picture, unsigned bits,
                       const char* reader) {
    ASSERT_EQ(decoded.width, picture.width) << reader;
    ASSERT_EQ(decoded.height, picture.height) << reader;
    int wrong = 0;
    for (int y = 0; y < picture.height && wrong < 5; ++y) {
        for (int x = 0; x < picture.width && wrong < 5; ++x) {
            const std::uint32_t input =
                picture.pixels[static_cast<std::size_t>(y * picture.width + x)] & 0xFFFFFF;
            const std::uint32_t got = decoded.At(x, y);
            bool same = (got >> 24) == 0xFF;
            if (bits == 16) {
                // Five bits per channel: the reader's value must come from the same 5 bits.
                same = same && ((got & 0xF8F8F8) == (input & 0xF8F8F8));
            } else if (bits == 24) {
                same = same && (got & 0xFFFFFF) == input;
            } else {
                same = same && (got & 0xFFFFFF) == Expected(input, bits);
            }
            if (!same) {
                ++wrong;
                ADD_FAILURE() << reader << " at " << bits << " bits, pixel " << x << "," << y
                              << ": input " << std::hex << input << " read " << got;
            }
        }
    }
}

TEST(EncodeBmp, FourBitFileOfTheTileSize) {
    const auto file = EncodeBmp(TestPicture(5, 23), 4);
    const std::size_t rows = 4 * 23;
    ASSERT_EQ(file.size(), 14 + 40 + 64 + rows);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(U32At(file, 2), file.size());
    EXPECT_EQ(U32At(file, 6), 0u); // both reserved fields
    EXPECT_EQ(U32At(file, 10), 14u + 40 + 64);
    EXPECT_EQ(U32At(file, 14), 40u);
    EXPECT_EQ(static_cast<std::int32_t>(U32At(file, 18)), 5);
    EXPECT_EQ(static_cast<std::int32_t>(U32At(file, 22)), 23); // positive: bottom-up
    EXPECT_EQ(U16At(file, 26), 1);
    EXPECT_EQ(U16At(file, 28), 4);
    EXPECT_EQ(U32At(file, 30), 0u);
    EXPECT_EQ(U32At(file, 34), rows);
}

TEST(EncodeBmp, SixteenAndTwentyFourBitFilesHaveNoColourTable) {
    const auto tool = EncodeBmp(TestPicture(20, 20), 16);
    EXPECT_EQ(tool.size(), 54u + 40 * 20);
    EXPECT_EQ(U32At(tool, 10), 54u);
    EXPECT_EQ(U16At(tool, 28), 16);
    const auto logo = EncodeBmp(TestPicture(7, 3), 24);
    EXPECT_EQ(logo.size(), 54u + 24 * 3);
    EXPECT_EQ(U16At(logo, 28), 24);
}

TEST(EncodeBmp, RefusesInvalidPicturesAndDepths) {
    EXPECT_THROW(EncodeBmp(Bitmap{2, 2, {0, 0, 0}}, 24), std::invalid_argument);
    EXPECT_THROW(EncodeBmp(TestPicture(2, 2), 32), std::invalid_argument);
    EXPECT_THROW(EncodeBmp(TestPicture(2, 2), 2), std::invalid_argument);
}

TEST(SaveBmpFile, ReplacesAnExistingFile) {
    TempDir dir;
    const std::string path = dir.File("picture.bmp");
    std::ofstream(path) << std::string(5000, 'x');
    SaveBmpFile(path, TestPicture(3, 3), 24);
    EXPECT_EQ(ReadFileBytes(path), EncodeBmp(TestPicture(3, 3), 24));
}

TEST(SaveBmpFile, ReportsFilesThatCannotBeCreatedOrWritten) {
    TempDir dir;
    const std::string missing = dir.File("no such folder/picture.bmp");
    try {
        SaveBmpFile(missing, TestPicture(3, 3), 24);
        FAIL() << "no error for a missing folder";
    } catch (const FileCreateError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create file " + missing);
    }
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "/dev/full is missing; the full-disk case is not run";
    }
    EXPECT_THROW(SaveBmpFile("/dev/full", TestPicture(3, 3), 24), FileWriteError);
    EXPECT_TRUE(std::filesystem::exists("/dev/full")) << "a device must never be removed";
}

struct ReaderCase {
    int width;
    int height;
    unsigned bits;
};
// The built-in skin pictures' sizes and depths, plus odd widths at every depth.
const ReaderCase kReaderCases[] = {{5, 23, 4},  {20, 20, 16}, {150, 42, 8}, {200, 200, 24},
                                   {16, 16, 1}, {7, 3, 24},   {9, 5, 4},    {3, 4, 8},
                                   {13, 2, 16}, {33, 3, 1}};

TEST(BmpReaders, ImageMagickReadsEveryDepth) {
    if (!glyptor::testing::HaveImageMagick()) {
        GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
    }
    TempDir dir;
    for (const ReaderCase& c : kReaderCases) {
        const Bitmap picture = TestPicture(c.width, c.height);
        const std::string path = dir.File("im" + std::to_string(c.bits) + ".bmp");
        SaveBmpFile(path, picture, c.bits);
        const auto decoded = glyptor::testing::ReadWithImageMagick(path);
        ASSERT_TRUE(decoded) << "ImageMagick cannot read " << c.width << "x" << c.height << " at "
                             << c.bits << " bits";
        ExpectSamePicture(*decoded, picture, c.bits, "ImageMagick");
    }
}

TEST(BmpReaders, PilReadsEveryDepth) {
    if (glyptor::testing::PythonWithPil().empty()) {
        GTEST_SKIP() << "Python with PIL (python3-pil) is not installed";
    }
    TempDir dir;
    for (const ReaderCase& c : kReaderCases) {
        const Bitmap picture = TestPicture(c.width, c.height);
        const std::string path = dir.File("pil" + std::to_string(c.bits) + ".bmp");
        SaveBmpFile(path, picture, c.bits);
        const auto decoded = glyptor::testing::ReadWithPil(path);
        ASSERT_TRUE(decoded) << "PIL cannot read " << c.width << "x" << c.height << " at " << c.bits
                             << " bits";
        ExpectSamePicture(*decoded, picture, c.bits, "PIL");
    }
}

} // namespace
} // namespace glyptor::dib
