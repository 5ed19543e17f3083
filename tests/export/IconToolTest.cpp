// glyptor-icons writing .ico and .bmp files through the icon file writer: every --depth, the
// round trip of a 24-bit icon file, and refused depths.
#include "export/IconSave.h"
#include "tests/platform/dib/ExternalReaders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace glyptor::iconfile {
namespace {

using glyptor::testing::Quote;
using glyptor::testing::ReadFileBytes;
using glyptor::testing::TempDir;

// Opaque colours with a masked corner; transparent pixels are black, as the writer stores them,
// so that reading the file and writing it again must give the same bytes.
IconImage SourceIcon() {
    IconImage icon;
    icon.width = icon.height = 32;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const bool masked = x + y < 6;
            icon.pixels.push_back(masked ? 0u
                                         : 0xFF000000u | static_cast<std::uint32_t>(x * 8) << 16 |
                                               static_cast<std::uint32_t>(y * 8) << 8 | 0x80u);
            icon.mask.push_back(masked ? 1 : 0);
        }
    }
    return icon;
}

class IconTool : public ::testing::Test {
protected:
    void SetUp() override {
        source_ = dir_.File("source.ico");
        EXPECT_EQ(SaveIconToFile(source_, SourceIcon(), 5).errorText, "");
    }

    int Extract(const std::string& out, const std::string& depth) {
        std::string command = Quote(GLYPTOR_ICONS_TOOL) + " extract " + Quote(source_) + " 0 " +
                              Quote(out) + (depth.empty() ? "" : " --depth " + depth);
        return glyptor::testing::Run(command + " 2>/dev/null").exitCode;
    }

    TempDir dir_;
    std::string source_;
};

TEST_F(IconTool, WritesIconFilesAtEveryDepth) {
    struct Case {
        const char* depth;
        std::size_t length;
        std::uint8_t bits;
    };
    for (const Case& c : {Case{"4", 766, 4}, Case{"8", 2238, 8}, Case{"16", 2238, 16},
                          Case{"24", 3262, 24}, Case{"", 3262, 24}, Case{"32", 4286, 32}}) {
        const std::string out = dir_.File(std::string("out") + c.depth + ".ico");
        ASSERT_EQ(Extract(out, c.depth), 0) << "--depth " << c.depth;
        const auto bytes = ReadFileBytes(out);
        ASSERT_EQ(bytes.size(), c.length) << "--depth " << c.depth;
        EXPECT_EQ(bytes[8], c.bits);
    }
    // Read by the icon source and written again, a 24-bit icon file stays byte for byte.
    EXPECT_EQ(ReadFileBytes(dir_.File("out24.ico")), ReadFileBytes(source_));
}

TEST_F(IconTool, WritesBmpFilesOfTheColourImage) {
    for (const char* depth : {"1", "4", "8", "16", "24"}) {
        const std::string out = dir_.File(std::string("out") + depth + ".bmp");
        ASSERT_EQ(Extract(out, depth), 0) << depth;
        const auto bytes = ReadFileBytes(out);
        ASSERT_GE(bytes.size(), 54u);
        EXPECT_EQ(bytes[0], 'B');
        EXPECT_EQ(bytes[18], 32);                        // width
        EXPECT_EQ(bytes[22], 32);                        // height, bottom-up
        EXPECT_EQ(bytes[28], std::stoi(depth)) << depth; // bits per pixel
    }
    const auto truecolour = ReadFileBytes(dir_.File("out24.bmp"));
    ASSERT_EQ(truecolour.size(), 54u + 32 * 96);
    // Top-left pixel is the last row's first pixel: masked, black. Bottom-right is opaque.
    const std::size_t topLeft = 54 + 31 * 96;
    EXPECT_EQ(truecolour[topLeft] | truecolour[topLeft + 1] | truecolour[topLeft + 2], 0);
    const std::size_t bottomRight = 54 + 31 * 3;
    EXPECT_EQ(truecolour[bottomRight], 0x80);       // blue
    EXPECT_EQ(truecolour[bottomRight + 1], 31 * 8); // green
    EXPECT_EQ(truecolour[bottomRight + 2], 31 * 8); // red
}

TEST_F(IconTool, RefusesDepthsTheFormatsDoNotHave) {
    EXPECT_NE(Extract(dir_.File("bad.ico"), "2"), 0);
    EXPECT_NE(Extract(dir_.File("bad.ico"), "1"), 0);
    EXPECT_NE(Extract(dir_.File("bad.bmp"), "32"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("bad.ico")));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("bad.bmp")));
}

// A write cut short (a full disk; here a file size limit of 0, which fails every write the same
// way) fails the command and leaves the file it was to replace as it was, in every format.
TEST_F(IconTool, FailedWriteKeepsTheOldFile) {
    for (const char* name : {"keep.png", "keep.bmp", "keep.ico"}) {
        const std::string out = dir_.File(name);
        { std::ofstream(out) << "previous"; }
        const std::string command = "ulimit -f 0; " + Quote(GLYPTOR_ICONS_TOOL) + " extract " +
                                    Quote(source_) + " 0 " + Quote(out) + " 2>/dev/null";
        // The limit's signal is left as it is: the tool must not die of it halfway.
        EXPECT_EQ(glyptor::testing::Run("bash -c " + Quote(command)).exitCode, 1) << name;
        EXPECT_EQ(ReadFileBytes(out).size(), 8u) << name;
    }
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 4u) << "a temporary file was left behind";
}

} // namespace
} // namespace glyptor::iconfile
