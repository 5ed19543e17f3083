// Device-independent bitmaps made from our pixel arrays: what the icon writer and the picture
// savers ask of the graphics layer. A Bitmap is a picture as the program holds it (ARGB, rows
// top to bottom); a DIB is the file form: BITMAPINFOHEADER, colour table, rows bottom to top at
// 1, 4, 8, 16 or 24 bits per pixel. Here are the header layout, the fixed colour tables, the
// conversion between the two, and the icon's colour image and mask as bitmaps.
#pragma once

#include "formats/IconImage.h"
#include "formats/WindowsStructs.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace glyptor::dib {

// A picture held by the program: 0xAARRGGBB, rows top to bottom, width * height entries.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    bool IsValid() const {
        const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        return width > 0 && height > 0 && pixels.size() == count;
    }
};

using formats::BITMAPINFOHEADER;
using formats::BytesPerScanline;
using formats::BI_RGB;
using formats::kBitmapInfoHeaderSize;
using formats::RGBQUAD;

// Stores the header little-endian, field by field, into the first 40 bytes of `out`
// (which must hold at least 40).
void StoreBitmapInfoHeader(const BITMAPINFOHEADER& header, std::span<std::uint8_t> out);

// True for the depths the conversion writes: 1, 4, 8, 16 and 24 bits per pixel.
bool IsSupportedDepth(unsigned bitsPerPixel);

// The colour table used at a depth when no palette is given: 2 entries (black, white) at 1 bit,
// the 16 VGA colours at 4 bits, the fixed 256-colour table at 8 bits, none above 8 bits.
std::span<const RGBQUAD> DefaultColourTable(unsigned bitsPerPixel);

// Index of the table entry nearest to the pixel's colour (alpha ignored): least squared
// distance in RGB, the lowest index on a tie. The table must not be empty.
std::uint8_t NearestColourIndex(std::uint32_t argb, std::span<const RGBQUAD> table);

// The conversion to an uncompressed DIB at `bitsPerPixel` (rows bottom-up, alpha dropped).
// For 8 bits or less the colour table (2^bits entries) goes to `colourTable` and pixels are
// mapped to the nearest entry of `palette`, or of the default table when `palette` is empty;
// 16 bits are 5-5-5 by truncation, 24 bits blue, green, red. Returns false, writing nothing,
// for an invalid bitmap, an unsupported depth, a palette of the wrong size or buffers too
// small for the colour table or the rows.
bool ConvertToDib(const Bitmap& bitmap, unsigned bitsPerPixel, std::span<const RGBQUAD> palette,
                  std::span<std::uint8_t> colourTable, std::span<std::uint8_t> bits);

// The icon's two bitmaps, as the icon file and the picture savers take them apart.
struct IconBitmaps {
    // The colour (XOR) image, opaque, black wherever the icon is transparent; absent for a
    // monochrome icon, which has no colour image.
    std::optional<Bitmap> colour;
    // The AND mask: white (0xFFFFFFFF) where the icon is transparent, black elsewhere.
    Bitmap mask;
};

// The colour image and mask of a valid icon. A pixel counts as transparent when its mask byte
// is set or its alpha is below one half.
IconBitmaps GetIconInfo(const IconImage& icon);

} // namespace glyptor::dib
