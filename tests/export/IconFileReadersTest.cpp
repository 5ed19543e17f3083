// Icon files written at each depth code, read back by independent readers: ImageMagick, PIL and
// icoutils (listing, and extraction to PNG). Sizes must match, opaque pixels keep their colour
// (exactly at 24 bits, to 5 bits per channel at 16, the nearest table colour at 4 and 8), and
// transparent pixels, by mask or by alpha alone, are transparent in every reader.
#include "export/IconSave.h"
#include "tests/platform/dib/ExternalReaders.h"
#include "tests/platform/dib/TestColours.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace glyptor::iconfile {
namespace {

using glyptor::testing::DecodedImage;
using glyptor::testing::TempDir;

constexpr int kSize = 32;

bool Masked(int x, int y) {
    return (x + y) % 5 == 0;
}
bool AlphaOnlyTransparent(int y) {
    return y == kSize - 1;
}

std::uint32_t OpaqueColour(int x, int y) {
    return glyptor::testing::kColours[static_cast<std::size_t>(x * 3 + y * 7) %
                                      std::size(glyptor::testing::kColours)]
        .input;
}

IconImage ReaderIcon() {
    IconImage icon;
    icon.width = icon.height = kSize;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            if (Masked(x, y) || AlphaOnlyTransparent(y)) {
                // Whatever colour a transparent pixel carries must not show through.
                icon.pixels.push_back(0x00ABCDEFu);
            } else {
                icon.pixels.push_back(0xFF000000u | OpaqueColour(x, y));
            }
            icon.mask.push_back(Masked(x, y) ? 1 : 0);
        }
    }
    return icon;
}

unsigned BitsOf(std::uint8_t code) {
    return BitsPerPixelForColourCount(ColourCountForDepthCode(code));
}

void ExpectIconPixels(const DecodedImage& decoded, std::uint8_t code, const std::string& reader) {
    const unsigned bits = BitsOf(code);
    ASSERT_EQ(decoded.width, kSize) << reader;
    ASSERT_EQ(decoded.height, kSize) << reader;
    int wrong = 0;
    for (int y = 0; y < kSize && wrong < 5; ++y) {
        for (int x = 0; x < kSize && wrong < 5; ++x) {
            const std::uint32_t got = decoded.At(x, y);
            bool same = false;
            std::uint32_t input = 0;
            if (Masked(x, y) || AlphaOnlyTransparent(y)) {
                same = (got >> 24) == 0;
            } else {
                input = OpaqueColour(x, y);
                same = (got >> 24) == 0xFF;
                if (bits == 16) {
                    same = same && (got & 0xF8F8F8) == (input & 0xF8F8F8);
                } else if (bits == 24) {
                    same = same && (got & 0xFFFFFF) == input;
                } else {
                    same = same && (got & 0xFFFFFF) == glyptor::testing::Expected(input, bits);
                }
            }
            if (!same) {
                ++wrong;
                ADD_FAILURE() << reader << " at " << bits << " bits, pixel " << x << "," << y
                              << ": input " << std::hex << input << " read " << got;
            }
        }
    }
}

// ImageMagick 6 and icoutils take every icon image up to 16 bits per pixel as palette-indexed,
// so no 16-bit icon file (ours or any other) can be read by them.
bool ReadableByImageMagickAndIcoutils(std::uint8_t code) {
    return BitsOf(code) != 16;
}

class IconReaders : public ::testing::TestWithParam<std::uint8_t> {
protected:
    void SetUp() override {
        path_ = dir_.File("icon" + std::to_string(GetParam()) + ".ico");
        EXPECT_EQ(SaveIconToFile(path_, ReaderIcon(), GetParam()).errorText, "");
        ASSERT_TRUE(std::filesystem::exists(path_));
    }

    TempDir dir_;
    std::string path_;
};

TEST_P(IconReaders, ImageMagick) {
    if (!glyptor::testing::HaveImageMagick()) {
        GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
    }
    if (!ReadableByImageMagickAndIcoutils(GetParam())) {
        GTEST_SKIP() << "ImageMagick cannot read 16-bit icon images; PIL checks them";
    }
    const auto decoded = glyptor::testing::ReadWithImageMagick(path_);
    ASSERT_TRUE(decoded) << "ImageMagick cannot read " << path_;
    ExpectIconPixels(*decoded, GetParam(), "ImageMagick");
}

TEST_P(IconReaders, Pil) {
    if (glyptor::testing::PythonWithPil().empty()) {
        GTEST_SKIP() << "Python with PIL (python3-pil) is not installed";
    }
    const auto decoded = glyptor::testing::ReadWithPil(path_);
    ASSERT_TRUE(decoded) << "PIL cannot read " << path_;
    ExpectIconPixels(*decoded, GetParam(), "PIL");
}

TEST_P(IconReaders, Icoutils) {
    if (!glyptor::testing::HaveCommand("icotool")) {
        GTEST_SKIP() << "icoutils (icotool) is not installed";
    }
    if (!ReadableByImageMagickAndIcoutils(GetParam())) {
        GTEST_SKIP() << "icotool cannot read 16-bit icon images; PIL checks them";
    }
    using glyptor::testing::Quote;
    using glyptor::testing::Run;
    const auto listing = Run("icotool -l " + Quote(path_));
    ASSERT_EQ(listing.exitCode, 0);
    EXPECT_NE(listing.output.find("--width=32 --height=32 --bit-depth=" +
                                  std::to_string(BitsOf(GetParam()))),
              std::string::npos)
        << listing.output;

    const std::string out = dir_.File("extracted");
    std::filesystem::create_directory(out);
    ASSERT_EQ(Run("icotool -x -o " + Quote(out) + " " + Quote(path_)).exitCode, 0);
    std::vector<std::filesystem::path> pngs;
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
        pngs.push_back(entry.path());
    }
    ASSERT_EQ(pngs.size(), 1u);
    std::optional<DecodedImage> decoded;
    if (!glyptor::testing::PythonWithPil().empty()) {
        decoded = glyptor::testing::ReadWithPil(pngs[0].string());
    } else if (glyptor::testing::HaveImageMagick()) {
        decoded = glyptor::testing::ReadWithImageMagick(pngs[0].string());
    } else {
        GTEST_SKIP() << "no PNG reader (PIL or ImageMagick) for icotool's extraction";
    }
    ASSERT_TRUE(decoded) << "cannot read icotool's PNG";
    ExpectIconPixels(*decoded, GetParam(), "icotool -x");
}

INSTANTIATE_TEST_SUITE_P(EveryDepthCode, IconReaders, ::testing::Values(1, 2, 4, 5),
                         [](const auto& info) { return "code" + std::to_string(info.param); });

} // namespace
} // namespace glyptor::iconfile
