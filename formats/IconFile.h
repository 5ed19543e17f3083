// The icon file writer: one icon as a single-image .ico file at 16 colours, 256 colours, 16 bits
// or 24 bits per pixel. The layout is fixed byte for byte because files written by earlier
// versions exist and must stay the same: in particular the directory entry carries the bit
// depth where the format keeps the palette size, and leaves its planes and bit-count fields 0.
// Encoding fails by exception; the save (export/IconSave.h) turns any failure into one message
// its caller shows.
#pragma once

#include "formats/Dib.h"
#include "formats/IconImage.h"
#include "formats/WindowsStructs.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace glyptor::iconfile {

using dib::BITMAPINFOHEADER;
using dib::BytesPerScanline;

using formats::ICONDIR;
using formats::ICONDIRENTRY;
using formats::kIconDirEntrySize;
using formats::kIconDirSize;

inline constexpr std::uint32_t kIconImageOffset = kIconDirSize + kIconDirEntrySize; // 22
// The mask is always fetched as a two-colour bitmap.
inline constexpr std::uint32_t kMaskColourCount = 2;

// "Invalid Bitmap": a bitmap that cannot be queried, such as the colour image of a monochrome
// icon (which has none), or one too large for the format's 32-bit fields.
class InvalidBitmapError : public std::runtime_error {
public:
    InvalidBitmapError() : std::runtime_error("Invalid Bitmap") {}
};

// Depth code of the save dialog -> colour count: 1 -> 16, 2 -> 256, 4 -> 65536, 5 -> 16777216,
// every other code (3 included) -> 16.
std::uint32_t ColourCountForDepthCode(std::uint8_t depthCode);

// Colour count -> bits per pixel (2 -> 1, 16 -> 4, 256 -> 8, 65536 -> 16, 16777216 -> 24);
// 0 for any other count.
unsigned BitsPerPixelForColourCount(std::uint32_t colourCount);

// The 40-byte header for the bitmap at the colour count: its size, planes 1, the depth, no
// compression, image size = row size x height. Throws InvalidBitmapError for a missing or
// invalid bitmap, std::invalid_argument for a colour count without a depth.
BITMAPINFOHEADER InitBitmapInfoHeader(const dib::Bitmap* bitmap, std::uint32_t colourCount);

// Size of the block in front of the pixels: the header plus 2^bits colour-table entries for 8
// bits or less, the header alone above that (plus three colour masks for bit-field headers).
std::size_t HeaderBlockSize(const BITMAPINFOHEADER& header);

struct DibBlockSizes {
    std::size_t headerBlockSize = 0;
    std::size_t imageSize = 0;
};

// Header block size and image size of the bitmap at the colour count; throws as
// InitBitmapInfoHeader.
DibBlockSizes DibSizes(const dib::Bitmap* bitmap, std::uint32_t colourCount);

// Builds the header into `headerBlock`, then the colour table after it and the bottom-up rows
// into `bits`, at the colour count. An empty palette means the default table of the depth.
// Returns whether the conversion succeeded; throws as InitBitmapInfoHeader.
bool GetDibBits(const dib::Bitmap* bitmap, std::span<const dib::RGBQUAD> palette,
                std::span<std::uint8_t> headerBlock, std::span<std::uint8_t> bits,
                std::uint32_t colourCount);

// The whole icon file for the icon at the colour count. Throws InvalidBitmapError (invalid or
// monochrome icon) or std::bad_alloc.
std::vector<std::uint8_t> EncodeIconFile(const IconImage& icon, std::uint32_t colourCount);

// Writes the icon file into the stream at the colour count. Throws as EncodeIconFile, and
// std::runtime_error when the stream fails.
void WriteIconStream(std::ostream& stream, const IconImage& icon, std::uint32_t colourCount);

} // namespace glyptor::iconfile
