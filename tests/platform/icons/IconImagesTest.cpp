// Decoding of icon images at every depth, their masks, PNG images and .bmp files.
#include "IconFileBuilder.h"
#include "platform/icons/IconDecode.h"

#include <QImage>

#include <gtest/gtest.h>

namespace glyptor::icons {
namespace {

using testing::DibOptions;
using testing::MakeDib;

std::uint32_t At(const IconImage& icon, int x, int y) {
    return icon.pixels[static_cast<std::size_t>(y) * icon.width + x];
}
std::uint8_t MaskAt(const IconImage& icon, int x, int y) {
    return icon.mask[static_cast<std::size_t>(y) * icon.width + x];
}

// Left half masked out, so that mask placement and row order are both visible.
bool LeftHalf(int x, int) {
    return x < 8;
}

TEST(IconImages, PaletteDepthsKeepRowOrderColoursAndMask) {
    for (const int bits : {4, 8}) {
        SCOPED_TRACE(bits);
        DibOptions o;
        o.width = 16;
        o.height = 16;
        o.bitCount = bits;
        o.palette.assign(static_cast<std::size_t>(1) << bits, 0);
        o.palette[1] = 0xFF0000; // top row colour
        o.palette[2] = 0x0000FF; // everything else
        const auto dib = MakeDib(
            o, [](int, int y) { return y == 0 ? 1u : 2u; }, LeftHalf);
        const auto icon = DecodeIconImage(dib);
        ASSERT_TRUE(icon);
        EXPECT_TRUE(icon->IsValid());
        EXPECT_FALSE(icon->monochrome);
        EXPECT_EQ(At(*icon, 12, 0), 0xFFFF0000u);
        EXPECT_EQ(At(*icon, 12, 15), 0xFF0000FFu);
        EXPECT_EQ(MaskAt(*icon, 3, 5), 1);
        EXPECT_EQ(At(*icon, 3, 5) >> 24, 0u) << "masked pixels are transparent";
        EXPECT_EQ(MaskAt(*icon, 12, 5), 0);
    }
}

TEST(IconImages, OneBitImageIsMonochromeBlackAndWhite) {
    DibOptions o;
    o.width = 32;
    o.height = 32;
    o.bitCount = 1;
    o.palette = {0x000000, 0x00FF00}; // a coloured table does not make it a colour icon
    const auto icon = DecodeIconImage(MakeDib(
        o, [](int x, int) { return x % 2u; }, LeftHalf));
    ASSERT_TRUE(icon);
    EXPECT_TRUE(icon->monochrome);
    EXPECT_EQ(At(*icon, 20, 0), 0xFF000000u);
    EXPECT_EQ(At(*icon, 21, 0), 0xFFFFFFFFu);
    EXPECT_EQ(MaskAt(*icon, 0, 0), 1);
    EXPECT_EQ(MaskAt(*icon, 20, 0), 0);
}

TEST(IconImages, HighColourDepths) {
    struct Case {
        int bits;
        std::vector<std::uint32_t> fields;
        std::uint32_t value;
        std::uint32_t expected;
    };
    const std::vector<Case> cases = {
        {16, {}, 0x7C00, 0xFFFF0000},                       // 5-5-5 red
        {16, {}, 0x001F, 0xFF0000FF},                       // 5-5-5 blue
        {16, {0xF800, 0x07E0, 0x001F}, 0x07E0, 0xFF00FF00}, // 5-6-5 green
        {24, {}, 0x123456, 0xFF123456},
        {32, {}, 0x00ABCDEF, 0xFFABCDEF}, // no alpha anywhere: the AND mask decides
        {32, {0xFF0000, 0xFF00, 0xFF}, 0x00010203, 0xFF010203},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits);
        DibOptions o;
        o.width = 16;
        o.height = 16;
        o.bitCount = c.bits;
        o.bitFields = c.fields;
        const auto icon = DecodeIconImage(MakeDib(
            o, [&](int, int) { return c.value; }, LeftHalf));
        ASSERT_TRUE(icon);
        EXPECT_EQ(At(*icon, 10, 10), c.expected);
        EXPECT_EQ(MaskAt(*icon, 2, 2), 1);
        EXPECT_EQ(At(*icon, 2, 2) >> 24, 0u);
    }
}

TEST(IconImages, AlphaOverridesTheAndMaskAndMayLackIt) {
    DibOptions o;
    o.width = 8;
    o.height = 8;
    o.bitCount = 32;
    o.withMask = false; // alpha icons in the wild often have no usable mask
    const auto dib = MakeDib(
        o, [](int x, int) { return x < 4 ? 0x00FFFFFFu : 0x80102030u; },
        [](int, int) { return false; });
    const auto icon = DecodeIconImage(dib);
    ASSERT_TRUE(icon);
    EXPECT_EQ(MaskAt(*icon, 1, 1), 1);
    EXPECT_EQ(MaskAt(*icon, 6, 1), 0);
    EXPECT_EQ(At(*icon, 6, 1), 0x80102030u);
}

TEST(IconImages, DamagedImagesAreRefused) {
    const auto good = testing::MakeSolidDib(32, 32, 8);
    ASSERT_TRUE(DecodeIconImage(good));
    // Without its AND mask a non-alpha image has no defined transparency.
    EXPECT_FALSE(DecodeIconImage(std::span(good).first(good.size() - 32 * 4)));
    EXPECT_FALSE(DecodeIconImage(std::span(good).first(39)));
    EXPECT_FALSE(DecodeIconImage({}));

    auto patched = [&](std::size_t at, std::uint32_t value) {
        auto copy = good;
        testing::ByteWriter w;
        w.bytes = std::move(copy);
        w.Put32(at, value);
        return w.bytes;
    };
    EXPECT_FALSE(DecodeIconImage(patched(4, 0)));          // no width
    EXPECT_FALSE(DecodeIconImage(patched(8, 0xFFFFFFC0))); // negative height
    EXPECT_FALSE(DecodeIconImage(patched(4, 1025)));       // wider than any icon
    EXPECT_FALSE(DecodeIconImage(patched(4, 0x7FFFFFFF)));
    EXPECT_FALSE(DecodeIconImage(patched(16, 7)));          // unknown compression
    EXPECT_FALSE(DecodeIconImage(patched(32, 0xFFFFFFFF))); // colour table larger than data
    EXPECT_FALSE(DecodeIconImage(patched(0, 0xFFFF)));      // unknown header size

    // Found by fuzzing: a colour count of four billion on a 32-bit image once made the decoder
    // walk a table that is not there.
    auto trueColour = testing::MakeSolidDib(8, 8, 32);
    testing::ByteWriter tc;
    tc.bytes = trueColour;
    tc.Put32(32, 0xFFFFFFFF);
    EXPECT_FALSE(DecodeIconImage(tc.bytes));

    // A colour index past the table draws black instead of reading beyond it.
    DibOptions o;
    o.width = 8;
    o.height = 8;
    o.bitCount = 8;
    o.palette = {0xFFFFFF};
    const auto icon = DecodeIconImage(MakeDib(
        o, [](int, int) { return 200u; }, [](int, int) { return false; }));
    ASSERT_TRUE(icon);
    EXPECT_EQ(At(*icon, 0, 0), 0xFF000000u);
}

TEST(IconImages, PngImages) {
    const auto png = testing::MakePng(48, 48, 0x80FF0000);
    const auto info = ProbeIconImage(std::span(png).first(kIconProbeBytes));
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->png);
    EXPECT_EQ(info->width, 48);
    EXPECT_EQ(info->bitCount, 32);
    const auto icon = DecodeIconImage(png);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width, 48);
    EXPECT_EQ(At(*icon, 5, 5), 0x80FF0000u);
    EXPECT_EQ(MaskAt(*icon, 5, 5), 0);

    const auto clear = DecodeIconImage(testing::MakePng(4, 4, 0x00000000));
    ASSERT_TRUE(clear);
    EXPECT_EQ(MaskAt(*clear, 0, 0), 1);

    EXPECT_FALSE(DecodeIconImage(testing::MakePng(1100, 4, 0xFF000000))) << "over the size cap";
    EXPECT_FALSE(DecodeIconImage(std::span(png).first(png.size() / 2)));
}

TEST(IconImages, BitmapFiles) {
    const auto bmp = testing::MakeBmp(
        5, 3, 24, [](int x, int y) { return static_cast<std::uint32_t>(x * 16 + y); });
    const auto info = ProbeBitmapFile(bmp, bmp.size());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 5);
    EXPECT_EQ(info->height, 3);
    const auto picture = DecodeBitmapFile(bmp);
    ASSERT_TRUE(picture);
    EXPECT_EQ(At(*picture, 4, 2), 0xFF000042u);
    EXPECT_EQ(MaskAt(*picture, 4, 2), 0);

    EXPECT_FALSE(ProbeBitmapFile(bmp, bmp.size() - 1)) << "rows end past the file";
    const auto truncated = std::span(bmp).first(bmp.size() - 4);
    EXPECT_FALSE(ProbeBitmapFile(truncated, truncated.size()));
    EXPECT_FALSE(DecodeBitmapFile(truncated));
}

// Pictures go to Qt's smooth scaler without a copy of their pixels. What comes out must be what
// the scaler makes of an ordinary picture with the same pixels: for an opaque picture, a
// premultiplied one would be scaled another way at some sizes.
TEST(IconImages, ScaledPicturesAreQtsSmoothScaling) {
    struct Case {
        int width, height, size;
        bool opaque, fit;
    };
    for (const Case& c : {Case{640, 480, 32, true, true}, Case{37, 211, 48, true, true},
                          Case{200, 150, 32, false, true}, Case{48, 48, 32, true, false},
                          Case{64, 64, 32, true, false}, Case{256, 256, 20, false, false},
                          Case{7, 5, 64, true, false}}) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " to " << c.size);
        IconImage picture;
        picture.width = c.width;
        picture.height = c.height;
        std::uint32_t seed = 12345;
        for (int i = 0; i < c.width * c.height; ++i) {
            seed = seed * 1103515245 + 12345;
            const std::uint32_t alpha = c.opaque ? 0xFF : (i % 3 == 0 ? 0 : seed >> 24);
            picture.pixels.push_back(alpha << 24 | (seed & 0xFFFFFF));
            picture.mask.push_back(alpha == 0);
        }
        const IconImage scaled = c.fit ? FitPicture(picture, c.size) : ScaleIcon(picture, c.size);
        const int longest = std::max(c.width, c.height);
        const int width = c.fit ? (c.size * c.width + longest / 2) / longest : c.size;
        const int height = c.fit ? (c.size * c.height + longest / 2) / longest : c.size;
        const QImage expected =
            ToQImage(picture)
                .scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_ARGB32);
        const int left = (c.size - width) / 2;
        const int top = (c.size - height) / 2;
        int wrong = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                wrong += At(scaled, left + x, top + y) != expected.pixel(x, y);
        EXPECT_EQ(wrong, 0);
        if (!c.opaque) {
            EXPECT_LT(qAlpha(expected.pixel(0, 0)), 0xFF) << "the case must have transparency";
        }
    }
}

TEST(IconImages, RunLengthBitmap) {
    testing::ByteWriter w;
    w.U16(0x4D42);
    w.U32(0); // bfSize left 0, as some writers do
    w.U32(0);
    w.U32(14 + 40 + 8); // bfOffBits
    w.U32(40);
    w.U32(4); // width
    w.U32(2); // height, bottom-up
    w.U16(1);
    w.U16(8);
    w.U32(1); // BI_RLE8
    w.U32(0);
    w.U32(0);
    w.U32(0);
    w.U32(2); // two colours
    w.U32(0);
    w.U32(0x0000FF); // index 0: blue
    w.U32(0xFF0000); // index 1: red
    w.U8(4);         // bottom row: four of index 1
    w.U8(1);
    w.U8(0); // end of line
    w.U8(0);
    w.U8(0); // absolute run of three
    w.U8(3);
    w.U8(1);
    w.U8(0);
    w.U8(1);
    w.U8(0);   // pad to a word
    w.U8(200); // a run far past the row is clipped
    w.U8(1);
    w.U8(0); // end of bitmap
    w.U8(1);
    const auto picture = DecodeBitmapFile(w.bytes);
    ASSERT_TRUE(picture);
    EXPECT_EQ(At(*picture, 0, 1), 0xFFFF0000u);
    EXPECT_EQ(At(*picture, 1, 0), 0xFF0000FFu);
    EXPECT_EQ(At(*picture, 3, 0), 0xFFFF0000u);
}

} // namespace
} // namespace glyptor::icons
