// The conversion of program pictures to DIB rows, and the fixed colour tables behind it.
#include "formats/Dib.h"

#include "formats/LittleEndian.h"

#include <algorithm>
#include <array>
#include <limits>

namespace glyptor::dib {
namespace {

constexpr RGBQUAD Rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return RGBQUAD{blue, green, red, 0};
}

constexpr std::array<RGBQUAD, 2> kMonochromeTable{Rgb(0, 0, 0), Rgb(255, 255, 255)};

// The 16 VGA colours in the order 16-colour DIBs have always used, so that a 4-bit file written
// here shows the same colours in every reader that ignores the table.
constexpr std::array<RGBQUAD, 16> kVgaTable{
    Rgb(0x00, 0x00, 0x00), Rgb(0x80, 0x00, 0x00), Rgb(0x00, 0x80, 0x00), Rgb(0x80, 0x80, 0x00),
    Rgb(0x00, 0x00, 0x80), Rgb(0x80, 0x00, 0x80), Rgb(0x00, 0x80, 0x80), Rgb(0xC0, 0xC0, 0xC0),
    Rgb(0x80, 0x80, 0x80), Rgb(0xFF, 0x00, 0x00), Rgb(0x00, 0xFF, 0x00), Rgb(0xFF, 0xFF, 0x00),
    Rgb(0x00, 0x00, 0xFF), Rgb(0xFF, 0x00, 0xFF), Rgb(0x00, 0xFF, 0xFF), Rgb(0xFF, 0xFF, 0xFF)};

// The fixed 256-colour table: entries 0 to 15 are the VGA colours (so a 16-colour picture keeps
// its exact colours at 8 bits), 16 to 231 a 6 x 6 x 6 cube with the levels 0, 51, 102, 153, 204,
// 255 per channel (red slowest), 232 to 255 a grey ramp 8, 18, ... 238 that fills the steps
// between the cube's greys. Icons are mostly flat colours and grey shading, which this covers
// evenly; a few cube entries repeat VGA colours, which only costs table space.
constexpr std::array<RGBQUAD, 256> MakeFixedTable() {
    std::array<RGBQUAD, 256> table{};
    std::size_t next = 0;
    for (const RGBQUAD& entry : kVgaTable) {
        table[next++] = entry;
    }
    for (int red = 0; red < 6; ++red) {
        for (int green = 0; green < 6; ++green) {
            for (int blue = 0; blue < 6; ++blue) {
                table[next++] =
                    Rgb(static_cast<std::uint8_t>(red * 51), static_cast<std::uint8_t>(green * 51),
                        static_cast<std::uint8_t>(blue * 51));
            }
        }
    }
    for (int grey = 0; grey < 24; ++grey) {
        const auto level = static_cast<std::uint8_t>(8 + grey * 10);
        table[next++] = Rgb(level, level, level);
    }
    return table;
}
constexpr std::array<RGBQUAD, 256> kFixedTable = MakeFixedTable();
static_assert(kFixedTable[231].rgbRed == 255 && kFixedTable[231].rgbBlue == 255);
static_assert(kFixedTable[255].rgbRed == 238);

// Remembers recent lookups in a small direct-mapped table: pictures repeat few colours, and
// the full search per pixel would dominate the conversion of large pictures. Fixed size, so a
// photograph of millions of distinct colours costs no memory beyond it.
class NearestColourCache {
public:
    explicit NearestColourCache(std::span<const RGBQUAD> table) : table_(table) {
        keys_.fill(kEmpty);
    }

    std::uint8_t Index(std::uint32_t argb) {
        const std::uint32_t rgb = argb & 0x00FFFFFFu;
        const std::size_t slot = ((rgb * 0x9E3779B1u) >> 20) & (kSlots - 1);
        if (keys_[slot] != rgb) {
            keys_[slot] = rgb;
            values_[slot] = NearestColourIndex(rgb, table_);
        }
        return values_[slot];
    }

private:
    static constexpr std::size_t kSlots = 4096;
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu; // never an RGB value
    std::span<const RGBQUAD> table_;
    std::array<std::uint32_t, kSlots> keys_{};
    std::array<std::uint8_t, kSlots> values_{};
};

int SquaredDistance(int red, int green, int blue, const RGBQUAD& entry) {
    const int dr = red - entry.rgbRed;
    const int dg = green - entry.rgbGreen;
    const int db = blue - entry.rgbBlue;
    return dr * dr + dg * dg + db * db;
}

// The nearest entry of the fixed table without trying all 256: the VGA part is searched, the
// cube's nearest entry is the nearest level per channel (a grid has no ties between integer
// inputs, the midpoints being halves), and the nearest grey is a ramp level next to the mean of
// the channels. Taking a later group only when strictly nearer keeps the lowest index on ties.
std::uint8_t NearestFixedIndex(int red, int green, int blue) {
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (int i = 0; i < 16; ++i) {
        const int distance = SquaredDistance(red, green, blue, kFixedTable[i]);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    const auto level = [](int channel) { return (channel + 25) / 51; };
    const int cube = 16 + level(red) * 36 + level(green) * 6 + level(blue);
    const int cubeDistance = SquaredDistance(red, green, blue, kFixedTable[cube]);
    if (cubeDistance < bestDistance) {
        best = cube;
        bestDistance = cubeDistance;
    }
    // Ramp level i is 8 + 10 i; the mean (red + green + blue) / 3 lies between levels
    // floor((sum - 24) / 30) and the one after.
    const int sum = red + green + blue;
    const int below = std::clamp(sum < 24 ? 0 : (sum - 24) / 30, 0, 23);
    for (int i = below; i <= std::min(below + 1, 23); ++i) {
        const int distance = SquaredDistance(red, green, blue, kFixedTable[232 + i]);
        if (distance < bestDistance) {
            best = 232 + i;
            bestDistance = distance;
        }
    }
    return static_cast<std::uint8_t>(best);
}

} // namespace

void StoreBitmapInfoHeader(const BITMAPINFOHEADER& header, std::span<std::uint8_t> out) {
    formats::StoreLe32(out.data() + 0, header.biSize);
    formats::StoreLe32(out.data() + 4, static_cast<std::uint32_t>(header.biWidth));
    formats::StoreLe32(out.data() + 8, static_cast<std::uint32_t>(header.biHeight));
    formats::StoreLe16(out.data() + 12, header.biPlanes);
    formats::StoreLe16(out.data() + 14, header.biBitCount);
    formats::StoreLe32(out.data() + 16, header.biCompression);
    formats::StoreLe32(out.data() + 20, header.biSizeImage);
    formats::StoreLe32(out.data() + 24, static_cast<std::uint32_t>(header.biXPelsPerMeter));
    formats::StoreLe32(out.data() + 28, static_cast<std::uint32_t>(header.biYPelsPerMeter));
    formats::StoreLe32(out.data() + 32, header.biClrUsed);
    formats::StoreLe32(out.data() + 36, header.biClrImportant);
}

bool IsSupportedDepth(unsigned bitsPerPixel) {
    return bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 || bitsPerPixel == 16 ||
           bitsPerPixel == 24;
}

std::span<const RGBQUAD> DefaultColourTable(unsigned bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1:
        return kMonochromeTable;
    case 4:
        return kVgaTable;
    case 8:
        return kFixedTable;
    default:
        return {};
    }
}

std::uint8_t NearestColourIndex(std::uint32_t argb, std::span<const RGBQUAD> table) {
    const int red = static_cast<int>((argb >> 16) & 0xFF);
    const int green = static_cast<int>((argb >> 8) & 0xFF);
    const int blue = static_cast<int>(argb & 0xFF);
    if (table.data() == kFixedTable.data() && table.size() == kFixedTable.size()) {
        return NearestFixedIndex(red, green, blue);
    }
    std::size_t best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (std::size_t i = 0; i < table.size() && i < 256 && bestDistance > 0; ++i) {
        const int dr = red - table[i].rgbRed;
        const int dg = green - table[i].rgbGreen;
        const int db = blue - table[i].rgbBlue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return static_cast<std::uint8_t>(best);
}

bool ConvertToDib(const Bitmap& bitmap, unsigned bitsPerPixel, std::span<const RGBQUAD> palette,
                  std::span<std::uint8_t> colourTable, std::span<std::uint8_t> bits) {
    if (!bitmap.IsValid() || !IsSupportedDepth(bitsPerPixel)) {
        return false;
    }
    const auto width = static_cast<std::size_t>(bitmap.width);
    const auto height = static_cast<std::size_t>(bitmap.height);
    const std::uint64_t rowSize = BytesPerScanline(width, bitsPerPixel);
    if (bits.size() / height < rowSize) {
        return false;
    }
    std::span<const RGBQUAD> table;
    if (bitsPerPixel <= 8) {
        const std::size_t entries = std::size_t{1} << bitsPerPixel;
        table = palette.empty() ? DefaultColourTable(bitsPerPixel) : palette;
        if (table.size() != entries || colourTable.size() < entries * 4) {
            return false;
        }
        for (std::size_t i = 0; i < entries; ++i) {
            colourTable[i * 4] = table[i].rgbBlue;
            colourTable[i * 4 + 1] = table[i].rgbGreen;
            colourTable[i * 4 + 2] = table[i].rgbRed;
            colourTable[i * 4 + 3] = 0;
        }
    }

    NearestColourCache nearest(table);
    for (std::size_t y = 0; y < height; ++y) {
        // DIB rows run bottom-up: the picture's top row is the last one stored.
        const std::span<std::uint8_t> row =
            bits.subspan(static_cast<std::size_t>((height - 1 - y) * rowSize),
                         static_cast<std::size_t>(rowSize));
        std::fill(row.begin(), row.end(), std::uint8_t{0});
        const std::uint32_t* source = bitmap.pixels.data() + y * width;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t argb = source[x];
            switch (bitsPerPixel) {
            case 1:
                row[x / 8] |= static_cast<std::uint8_t>(nearest.Index(argb) << (7 - x % 8));
                break;
            case 4:
                row[x / 2] |= static_cast<std::uint8_t>(nearest.Index(argb) << (x % 2 ? 0 : 4));
                break;
            case 8:
                row[x] = nearest.Index(argb);
                break;
            case 16: {
                const auto word =
                    static_cast<std::uint16_t>(((argb >> 19) & 0x1F) << 10 |
                                               ((argb >> 11) & 0x1F) << 5 | ((argb >> 3) & 0x1F));
                row[x * 2] = static_cast<std::uint8_t>(word);
                row[x * 2 + 1] = static_cast<std::uint8_t>(word >> 8);
                break;
            }
            default:
                row[x * 3] = static_cast<std::uint8_t>(argb);
                row[x * 3 + 1] = static_cast<std::uint8_t>(argb >> 8);
                row[x * 3 + 2] = static_cast<std::uint8_t>(argb >> 16);
                break;
            }
        }
    }
    return true;
}

IconBitmaps GetIconInfo(const IconImage& icon) {
    IconBitmaps result;
    if (!icon.IsValid()) {
        return result;
    }
    const std::size_t count = icon.pixels.size();
    result.mask.width = icon.width;
    result.mask.height = icon.height;
    result.mask.pixels.resize(count);
    Bitmap colour{icon.width, icon.height, std::vector<std::uint32_t>(count)};
    for (std::size_t i = 0; i < count; ++i) {
        // Icons read from 32-bit images may carry their transparency in alpha alone, with an
        // empty AND mask; at 24 bits or less only the mask can keep such pixels transparent.
        const bool transparent = icon.mask[i] != 0 || (icon.pixels[i] >> 24) < 0x80;
        result.mask.pixels[i] = transparent ? 0xFFFFFFFFu : 0xFF000000u;
        // Under a set mask bit the colour is XORed onto the screen, so anything but black
        // there would invert the background instead of leaving it visible.
        colour.pixels[i] = transparent ? 0xFF000000u : (icon.pixels[i] | 0xFF000000u);
    }
    if (!icon.monochrome) {
        result.colour = std::move(colour);
    }
    return result;
}

} // namespace glyptor::dib
