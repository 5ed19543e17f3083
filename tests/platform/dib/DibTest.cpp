// The conversion to DIB rows: row sizes, pixel packing at every depth, the colour tables and
// nearest-colour mapping, and the icon's colour image and mask.
#include "formats/Dib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace glyptor::dib {
namespace {

std::vector<std::uint8_t> Converted(const Bitmap& bitmap, unsigned bits,
                                    std::vector<std::uint8_t>* table = nullptr) {
    std::vector<std::uint8_t> rows(BytesPerScanline(bitmap.width, bits) * bitmap.height, 0xEE);
    std::vector<std::uint8_t> colourTable(bits <= 8 ? 4u << bits : 0u, 0xEE);
    EXPECT_TRUE(ConvertToDib(bitmap, bits, {}, colourTable, rows));
    if (table != nullptr) {
        *table = colourTable;
    }
    return rows;
}

TEST(BytesPerScanline, PadsRowsToWholeWords) {
    struct Case {
        std::uint64_t width;
        unsigned bits;
        std::uint64_t bytes;
    };
    const Case cases[] = {{32, 1, 4}, {16, 1, 4},   {33, 1, 8},  {32, 4, 16}, {16, 4, 8},
                          {5, 4, 4},  {9, 4, 8},    {32, 8, 32}, {3, 8, 4},   {32, 16, 64},
                          {3, 16, 8}, {32, 24, 96}, {1, 24, 4},  {3, 24, 12}, {0, 24, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(BytesPerScanline(c.width, c.bits), c.bytes) << c.width << " x " << c.bits;
    }
    EXPECT_EQ(BytesPerScanline(3, 8, 16), 4u);
    EXPECT_EQ(BytesPerScanline(3, 8, 8), 3u);
    // Widths beyond 32 bits of bit count must not wrap around.
    EXPECT_EQ(BytesPerScanline(0x80000000ull, 24), 0x80000000ull * 3);
}

TEST(ColourTables, VgaColoursInTheUsualOrder) {
    const auto vga = DefaultColourTable(4);
    ASSERT_EQ(vga.size(), 16u);
    const std::uint32_t expected[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                        0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                        0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    for (std::size_t i = 0; i < 16; ++i) {
        const std::uint32_t rgb = std::uint32_t{vga[i].rgbRed} << 16 |
                                  std::uint32_t{vga[i].rgbGreen} << 8 | vga[i].rgbBlue;
        EXPECT_EQ(rgb, expected[i]) << "entry " << i;
        EXPECT_EQ(vga[i].rgbReserved, 0);
    }
    const auto mono = DefaultColourTable(1);
    ASSERT_EQ(mono.size(), 2u);
    EXPECT_EQ(mono[0].rgbRed + mono[0].rgbGreen + mono[0].rgbBlue, 0);
    EXPECT_EQ(mono[1].rgbRed & mono[1].rgbGreen & mono[1].rgbBlue, 255);
    EXPECT_TRUE(DefaultColourTable(16).empty());
    EXPECT_TRUE(DefaultColourTable(24).empty());
}

TEST(ColourTables, FixedTableStartsWithVgaAndCoversTheCube) {
    const auto table = DefaultColourTable(8);
    ASSERT_EQ(table.size(), 256u);
    const auto vga = DefaultColourTable(4);
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(table[i].rgbRed, vga[i].rgbRed);
        EXPECT_EQ(table[i].rgbGreen, vga[i].rgbGreen);
        EXPECT_EQ(table[i].rgbBlue, vga[i].rgbBlue);
    }
    // Every cube colour is in the table exactly, so mapping it loses nothing.
    for (std::uint32_t r = 0; r < 256; r += 51) {
        for (std::uint32_t g = 0; g < 256; g += 51) {
            for (std::uint32_t b = 0; b < 256; b += 51) {
                const std::uint32_t argb = 0xFF000000u | r << 16 | g << 8 | b;
                const RGBQUAD& entry = table[NearestColourIndex(argb, table)];
                EXPECT_EQ(entry.rgbRed, r);
                EXPECT_EQ(entry.rgbGreen, g);
                EXPECT_EQ(entry.rgbBlue, b);
            }
        }
    }
    for (const RGBQUAD& entry : table) {
        EXPECT_EQ(entry.rgbReserved, 0);
    }
}

TEST(NearestColour, PicksTheClosestEntryAndTheFirstOnATie) {
    const auto vga = DefaultColourTable(4);
    EXPECT_EQ(NearestColourIndex(0x00FF0000u, vga), 9);  // exact red, alpha ignored
    EXPECT_EQ(NearestColourIndex(0xFF700808u, vga), 1);  // dark red -> maroon
    EXPECT_EQ(NearestColourIndex(0xFFF0F010u, vga), 11); // near yellow
    EXPECT_EQ(NearestColourIndex(0xFFD0D0D0u, vga), 7);  // light grey -> silver
    // 0xA0 grey is equally far from silver (7) and grey (8): the lower index wins.
    EXPECT_EQ(NearestColourIndex(0xFFA0A0A0u, vga), 7);
    const auto fixed = DefaultColourTable(8);
    EXPECT_EQ(fixed[NearestColourIndex(0xFF0A0A0Au, fixed)].rgbRed, 8); // grey ramp
    const RGBQUAD& orange = fixed[NearestColourIndex(0xFFFA9A0Au, fixed)];
    EXPECT_EQ(orange.rgbRed, 255);
    EXPECT_EQ(orange.rgbGreen, 153);
    EXPECT_EQ(orange.rgbBlue, 0);
}

// The fixed table's shortcut search must agree with trying every entry, ties included
// (grey means halfway between two ramp levels, colours halfway between cube levels).
TEST(NearestColour, FixedTableSearchAgreesWithTryingEveryEntry) {
    const auto table = DefaultColourTable(8);
    const auto bruteForce = [&table](std::uint32_t rgb) {
        int best = 0;
        long bestDistance = -1;
        for (int i = 0; i < 256; ++i) {
            long distance = 0;
            for (int shift : {16, 8, 0}) {
                const std::uint8_t entry = shift == 16  ? table[i].rgbRed
                                           : shift == 8 ? table[i].rgbGreen
                                                        : table[i].rgbBlue;
                const long d = static_cast<long>((rgb >> shift) & 0xFF) - entry;
                distance += d * d;
            }
            if (bestDistance < 0 || distance < bestDistance) {
                best = i;
                bestDistance = distance;
            }
        }
        return best;
    };
    std::vector<std::uint32_t> colours;
    for (std::uint32_t r = 0; r < 256; r += 7) {
        for (std::uint32_t g = 0; g < 256; g += 7) {
            for (std::uint32_t b = 0; b < 256; b += 7) {
                colours.push_back(r << 16 | g << 8 | b);
            }
        }
    }
    for (std::uint32_t c = 0; c < 256; ++c) {
        const std::uint32_t up = std::min(c + 1, 255u);
        colours.insert(colours.end(), {c * 0x010101u, c << 16 | c << 8 | up, c << 16 | up << 8 | up,
                                       c << 16 | 25u << 8 | 26u});
    }
    std::uint32_t state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1664525u + 1013904223u;
        colours.push_back(state >> 8);
    }
    int wrong = 0;
    for (std::uint32_t rgb : colours) {
        const int expected = bruteForce(rgb);
        const int got = NearestColourIndex(0xFF000000u | rgb, table);
        if (got != expected && ++wrong <= 5) {
            ADD_FAILURE() << std::hex << rgb << std::dec << ": " << got << " instead of "
                          << expected;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(ConvertToDib, OneBitRowsAreBottomUpWithTheLeftmostPixelHighest) {
    // 10 x 2: top row white at x = 0 and x = 9, bottom row white at x = 1.
    Bitmap bitmap{10, 2, std::vector<std::uint32_t>(20, 0xFF000000u)};
    bitmap.pixels[0] = bitmap.pixels[9] = 0xFFFFFFFFu;
    bitmap.pixels[11] = 0xFFF0F0F0u;
    std::vector<std::uint8_t> table;
    const auto rows = Converted(bitmap, 1, &table);
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(std::vector<std::uint8_t>(rows.begin(), rows.begin() + 4),
              (std::vector<std::uint8_t>{0x40, 0x00, 0, 0})); // bottom row first, padding 0
    EXPECT_EQ(std::vector<std::uint8_t>(rows.begin() + 4, rows.end()),
              (std::vector<std::uint8_t>{0x80, 0x40, 0, 0}));
    EXPECT_EQ(table, (std::vector<std::uint8_t>{0, 0, 0, 0, 255, 255, 255, 0}));
}

TEST(ConvertToDib, FourAndEightBitIndexesIntoTheTable) {
    // 3 x 1: red, blue, near-white.
    const Bitmap bitmap{3, 1, {0xFFFF0000u, 0xFF0000FFu, 0xFFFEFEFEu}};
    std::vector<std::uint8_t> table;
    EXPECT_EQ(Converted(bitmap, 4, &table), (std::vector<std::uint8_t>{0x9C, 0xF0, 0, 0}));
    ASSERT_EQ(table.size(), 64u);
    EXPECT_EQ(table[9 * 4 + 2], 255); // red stored as blue, green, red, 0
    EXPECT_EQ(table[9 * 4], 0);
    EXPECT_EQ(Converted(bitmap, 8), (std::vector<std::uint8_t>{9, 12, 15, 0}));
}

TEST(ConvertToDib, SixteenBitsTruncateToFiveBitsEach) {
    const Bitmap bitmap{3, 1, {0x00FF8040u, 0xFF070707u, 0xFFFFFFFFu}};
    // 0xFF8040: red 31, green 16, blue 8 -> 0x7E08; 0x070707 truncates to 0; white -> 0x7FFF.
    EXPECT_EQ(Converted(bitmap, 16),
              (std::vector<std::uint8_t>{0x08, 0x7E, 0x00, 0x00, 0xFF, 0x7F, 0, 0}));
}

TEST(ConvertToDib, TwentyFourBitsAreBlueGreenRedWithPaddedRows) {
    const Bitmap bitmap{1, 2, {0xFF112233u, 0x80445566u}};
    EXPECT_EQ(Converted(bitmap, 24),
              (std::vector<std::uint8_t>{0x66, 0x55, 0x44, 0, 0x33, 0x22, 0x11, 0}));
}

TEST(ConvertToDib, UsesAGivenPalette) {
    const RGBQUAD palette[2] = {{0, 0, 255, 0}, {255, 0, 0, 0}}; // red, blue
    const Bitmap bitmap{2, 1, {0xFF0000F0u, 0xFFF00000u}};
    std::vector<std::uint8_t> table(8), rows(4);
    ASSERT_TRUE(ConvertToDib(bitmap, 1, palette, table, rows));
    EXPECT_EQ(rows[0], 0x80);
    EXPECT_EQ(table, (std::vector<std::uint8_t>{0, 0, 255, 0, 255, 0, 0, 0}));
}

TEST(ConvertToDib, RefusesWhatItCannotConvertAndWritesNothing) {
    const Bitmap good{2, 2, std::vector<std::uint32_t>(4, 0xFFFFFFFFu)};
    std::vector<std::uint8_t> table(1024, 0xEE), rows(64, 0xEE);
    EXPECT_FALSE(ConvertToDib(Bitmap{2, 2, {1, 2, 3}}, 24, {}, table, rows));
    EXPECT_FALSE(ConvertToDib(Bitmap{0, 0, {}}, 24, {}, table, rows));
    EXPECT_FALSE(ConvertToDib(good, 2, {}, table, rows));
    EXPECT_FALSE(ConvertToDib(good, 32, {}, table, rows));
    EXPECT_FALSE(ConvertToDib(good, 8, {}, std::span(table).first(1020), rows));
    EXPECT_FALSE(ConvertToDib(good, 24, {}, table, std::span(rows).first(15)));
    const RGBQUAD threeEntries[3] = {};
    EXPECT_FALSE(ConvertToDib(good, 1, threeEntries, table, rows));
    for (std::uint8_t byte : table) {
        ASSERT_EQ(byte, 0xEE);
    }
    for (std::uint8_t byte : rows) {
        ASSERT_EQ(byte, 0xEE);
    }
}

TEST(GetIconInfo, SplitsColourAndMaskWithBlackUnderTransparentPixels) {
    IconImage icon;
    icon.width = 4;
    icon.height = 1;
    // Opaque, masked, alpha-only transparent, half alpha without mask.
    icon.pixels = {0xFF123456u, 0xFF654321u, 0x00ABCDEFu, 0x80102030u};
    icon.mask = {0, 1, 0, 0};
    const IconBitmaps bitmaps = GetIconInfo(icon);
    ASSERT_TRUE(bitmaps.colour.has_value());
    EXPECT_EQ(bitmaps.colour->pixels,
              (std::vector<std::uint32_t>{0xFF123456u, 0xFF000000u, 0xFF000000u, 0xFF102030u}));
    EXPECT_EQ(bitmaps.mask.pixels,
              (std::vector<std::uint32_t>{0xFF000000u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFF000000u}));
    EXPECT_EQ(bitmaps.mask.width, 4);
    EXPECT_EQ(bitmaps.mask.height, 1);
}

TEST(GetIconInfo, MonochromeAndInvalidIconsHaveNoColourImage) {
    IconImage icon;
    icon.width = icon.height = 2;
    icon.pixels.assign(4, 0xFFFFFFFFu);
    icon.mask.assign(4, 0);
    icon.monochrome = true;
    const IconBitmaps mono = GetIconInfo(icon);
    EXPECT_FALSE(mono.colour.has_value());
    EXPECT_TRUE(mono.mask.IsValid());

    icon.monochrome = false;
    icon.mask.pop_back();
    const IconBitmaps broken = GetIconInfo(icon);
    EXPECT_FALSE(broken.colour.has_value());
    EXPECT_FALSE(broken.mask.IsValid());
}

} // namespace
} // namespace glyptor::dib
