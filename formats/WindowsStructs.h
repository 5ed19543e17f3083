// The on-disk structures of Windows icon and bitmap files, named and laid out as the format's own
// documentation has them. Each mirrors its layout byte for byte, which static_assert pins; the
// readers and writers still go field by field (ByteCursor, StoreLe16/32), so the host's byte
// order and padding never matter. The two 14-byte structures pack a 32-bit field at an offset of
// 2 or 6, which is why they are declared with 2-byte packing, as Windows declares them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glyptor::formats {

// ICONDIR / GRPICONDIR: the six bytes in front of an icon directory's entries.
struct ICONDIR {
    std::uint16_t idReserved = 0;
    std::uint16_t idType = 0; // 1 for icons
    std::uint16_t idCount = 0;
};
static_assert(sizeof(ICONDIR) == 6);

// One image of an .ico file: where its bytes are in the file.
struct ICONDIRENTRY {
    std::uint8_t bWidth = 0;
    std::uint8_t bHeight = 0;
    std::uint8_t bColorCount = 0;
    std::uint8_t bReserved = 0;
    std::uint16_t wPlanes = 0;
    std::uint16_t wBitCount = 0;
    std::uint32_t dwBytesInRes = 0;
    std::uint32_t dwImageOffset = 0;
};
static_assert(sizeof(ICONDIRENTRY) == 16);

#pragma pack(push, 2)
// One image of an RT_GROUP_ICON resource: the id of the RT_ICON resource holding its bytes.
struct GRPICONDIRENTRY {
    std::uint8_t bWidth = 0;
    std::uint8_t bHeight = 0;
    std::uint8_t bColorCount = 0;
    std::uint8_t bReserved = 0;
    std::uint16_t wPlanes = 0;
    std::uint16_t wBitCount = 0;
    std::uint32_t dwBytesInRes = 0;
    std::uint16_t nID = 0;
};
static_assert(sizeof(GRPICONDIRENTRY) == 14);

// The file header in front of the DIB of a .bmp file ("BM").
struct BITMAPFILEHEADER {
    std::uint16_t bfType = 0x4D42; // "BM"
    std::uint32_t bfSize = 0;
    std::uint16_t bfReserved1 = 0;
    std::uint16_t bfReserved2 = 0;
    std::uint32_t bfOffBits = 0;
};
static_assert(sizeof(BITMAPFILEHEADER) == 14);
#pragma pack(pop)

// The 40-byte header in front of every DIB. Later versions (52 to 124 bytes) extend it with
// colour masks and colour space fields; the 12-byte BITMAPCOREHEADER of OS/2 is read into it.
struct BITMAPINFOHEADER {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// One colour-table entry of a DIB.
struct RGBQUAD {
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
};
static_assert(sizeof(RGBQUAD) == 4);

inline constexpr std::size_t kIconDirSize = sizeof(ICONDIR);
inline constexpr std::size_t kIconDirEntrySize = sizeof(ICONDIRENTRY);
inline constexpr std::size_t kGrpIconDirEntrySize = sizeof(GRPICONDIRENTRY);
inline constexpr std::size_t kBitmapFileHeaderSize = sizeof(BITMAPFILEHEADER);
inline constexpr std::size_t kBitmapInfoHeaderSize = sizeof(BITMAPINFOHEADER);
inline constexpr std::size_t kBitmapCoreHeaderSize = 12;
inline constexpr std::size_t kBitmapV5HeaderSize = 124;

// biCompression values.
inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t BI_RLE8 = 1;
inline constexpr std::uint32_t BI_RLE4 = 2;
inline constexpr std::uint32_t BI_BITFIELDS = 3;
inline constexpr std::uint32_t BI_ALPHABITFIELDS = 6;

// Row size of a DIB: `pixelsPerRow` pixels at `bitsPerPixel`, padded to whole `alignment`-bit
// units (alignment a power of two). 64-bit, so no picture size can overflow it.
constexpr std::uint64_t BytesPerScanline(std::uint64_t pixelsPerRow, unsigned bitsPerPixel,
                                         unsigned alignment = 32) {
    const std::uint64_t unit = alignment;
    return ((pixelsPerRow * bitsPerPixel + unit - 1) & ~(unit - 1)) / 8;
}

} // namespace glyptor::formats
