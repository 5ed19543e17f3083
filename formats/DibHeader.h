// Validation of DIB headers and BMP files, shared by every reader of bitmaps: the icon images of
// .ico files and resources, whole .bmp files, the pictures of themes and the theme checker. A
// refused header says why (a kind, the offset of the field, the value it held).
#pragma once

#include "formats/ByteCursor.h"
#include "formats/WindowsStructs.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace glyptor::formats {

// Icon images larger than this in either direction are refused: no real icon is, and the cap
// bounds the memory a hostile file can make us allocate.
inline constexpr int kMaxIconDimension = 1024;
// Whole .bmp files may be larger (wallpapers, theme pictures), but not without bound.
inline constexpr std::int64_t kMaxBitmapPixels = 4096 * 4096;
inline constexpr int kMaxBitmapDimension = 16384;
static_assert(std::uint64_t{kMaxBitmapDimension} * 32 * kMaxBitmapDimension < (1ull << 63),
              "row bytes times rows of a capped bitmap fit in 64 bits");

// Who reads the DIB. An icon image's height counts its AND mask too and may not be compressed;
// a .bmp file may be top-down or run-length encoded; a theme picture is a .bmp file with the
// 12- or 40-byte header the skin code was written for.
enum class DibUse { Icon, BitmapFile, ThemePicture };

enum class DibRefusal {
    None,
    NotBitmap,   // no "BM" file header
    HeaderSize,  // a header size this use does not read (value: the size)
    Truncated,   // the header or colour table ends early
    Depth,       // bits per pixel other than 1, 4, 8, 16, 24, 32 (value: the depth)
    Size,        // width or height zero or negative where they may not be
    TooLarge,    // beyond the size caps above
    Compression, // a compression this use cannot decode (value: biCompression)
    ColourTable, // more colour-table entries than the depth or the bytes allow
    RowsMissing, // the file ends before the last row of pixels (offset: where rows start)
};

struct DibProblem {
    DibRefusal kind = DibRefusal::None;
    std::uint64_t offset = 0; // of the field at fault, from the start of what was checked
    std::uint64_t value = 0;
};

// A validated DIB: the colour rows' size, where the rows start relative to the header, and how
// pixel values become colours.
struct DibFormat {
    int width = 0;
    int height = 0; // colour rows only (an icon's AND mask rows excluded)
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = BI_RGB;
    std::vector<std::uint32_t> palette;   // 0x00RRGGBB
    std::array<std::uint32_t, 4> masks{}; // red, green, blue, alpha
    std::size_t pixelOffset = 0;          // from the start of the header
};

// Bytes of one uncompressed row of `width` pixels at `bitCount`, padded to 32 bits.
std::uint64_t DibRowBytes(std::uint64_t width, int bitCount);

// Reads and validates a DIB header (BITMAPINFOHEADER or a later version, or BITMAPCOREHEADER)
// with its bit fields and colour table; nothing, and the reason in `why`, when refused.
std::optional<DibFormat> ReadDibHeader(std::span<const std::uint8_t> bytes, DibUse use,
                                       DibProblem* why = nullptr);

// Where the rows of a .bmp file start: at bfOffBits, unless that is unusable.
std::size_t BitmapPixelStart(std::uint32_t bfOffBits, const DibFormat& format,
                             std::uint64_t fileSize);

// A .bmp file judged from its first bytes (file header, DIB header and colour table) and its size.
struct BitmapCheck {
    std::optional<DibFormat> format; // set when usable
    std::uint64_t pixelStart = 0;
    DibProblem problem;
};
BitmapCheck CheckBitmapFile(std::span<const std::uint8_t> head, std::uint64_t fileSize, DibUse use);

// A short English phrase for the kind of refusal.
const char* DescribeDibRefusal(DibRefusal kind);

} // namespace glyptor::formats
