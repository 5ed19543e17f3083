// The one validator of DIB headers and BMP files: every reader of bitmaps (icon images, .bmp
// files, theme pictures, the theme checker) decides through here whether bytes are a bitmap it
// can use, with the same size caps, so no reader meets a size that overflows its arithmetic.
#include "formats/DibHeader.h"

#include <algorithm>
#include <climits>

namespace glyptor::formats {

namespace {

std::nullopt_t Refuse(DibProblem* why, DibRefusal kind, std::uint64_t offset, std::uint64_t value) {
    if (why) {
        *why = DibProblem{kind, offset, value};
    }
    return std::nullopt;
}

} // namespace

std::uint64_t DibRowBytes(std::uint64_t width, int bitCount) {
    return (width * static_cast<std::uint64_t>(bitCount) + 31) / 32 * 4;
}

static bool ValidMaskedDepth(int bitCount) {
    return bitCount == 16 || bitCount == 32;
}

std::optional<DibFormat> ReadDibHeader(std::span<const std::uint8_t> bytes, DibUse use,
                                       DibProblem* why) {
    ByteCursor c(bytes);
    BITMAPINFOHEADER h;
    std::array<std::uint32_t, 4> fieldMasks{}; // red, green, blue, alpha of bit-field headers
    h.biSize = c.ReadU32();
    std::size_t paletteEntrySize = 4;
    if (h.biSize == 12) {
        // BITMAPCOREHEADER of OS/2 and Windows 2 bitmaps, still found in old .bmp files.
        h.biWidth = c.ReadU16();
        h.biHeight = static_cast<std::int16_t>(c.ReadU16());
        h.biPlanes = c.ReadU16();
        h.biBitCount = c.ReadU16();
        paletteEntrySize = 3;
    } else if (h.biSize >= 40 && h.biSize <= 124 &&
               (use != DibUse::ThemePicture || h.biSize == kBitmapInfoHeaderSize)) {
        h.biWidth = c.ReadI32();
        h.biHeight = c.ReadI32();
        h.biPlanes = c.ReadU16();
        h.biBitCount = c.ReadU16();
        h.biCompression = c.ReadU32();
        h.biSizeImage = c.ReadU32();
        h.biXPelsPerMeter = c.ReadI32();
        h.biYPelsPerMeter = c.ReadI32();
        h.biClrUsed = c.ReadU32();
        h.biClrImportant = c.ReadU32();
        if (h.biSize >= 52) {
            fieldMasks[0] = c.ReadU32();
            fieldMasks[1] = c.ReadU32();
            fieldMasks[2] = c.ReadU32();
        }
        if (h.biSize >= 56) {
            fieldMasks[3] = c.ReadU32();
        }
        c.Seek(h.biSize);
        if (h.biSize == 40 &&
            (h.biCompression == BI_BITFIELDS || h.biCompression == BI_ALPHABITFIELDS)) {
            fieldMasks[0] = c.ReadU32();
            fieldMasks[1] = c.ReadU32();
            fieldMasks[2] = c.ReadU32();
            if (h.biCompression == BI_ALPHABITFIELDS) {
                fieldMasks[3] = c.ReadU32();
            }
        }
    } else {
        return Refuse(why, DibRefusal::HeaderSize, 0, h.biSize);
    }
    if (!c.Ok()) {
        return Refuse(why, DibRefusal::Truncated, c.Position(), 0);
    }
    // biPlanes is not checked: the decoder never needs it, and icon editors of the 1990s left
    // it 0 in some images that Windows shows without complaint.

    DibFormat f;
    f.bitCount = h.biBitCount;
    f.compression = h.biCompression;
    const int bc = f.bitCount;
    if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) {
        return Refuse(why, DibRefusal::Depth, 14, bc);
    }
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) {
        return Refuse(why, DibRefusal::Size, 4, 0);
    }
    f.width = h.biWidth;
    if (use == DibUse::Icon) {
        if (h.biHeight < 2) {
            return Refuse(why, DibRefusal::Size, 8, 0);
        }
        f.height = h.biHeight / 2;
        if (f.width > kMaxIconDimension || f.height > kMaxIconDimension) {
            return Refuse(why, DibRefusal::TooLarge, 4, 0);
        }
    } else {
        f.topDown = h.biHeight < 0;
        f.height = f.topDown ? -h.biHeight : h.biHeight;
        if (f.width > kMaxBitmapDimension || f.height > kMaxBitmapDimension ||
            static_cast<std::int64_t>(f.width) * f.height > kMaxBitmapPixels) {
            return Refuse(why, DibRefusal::TooLarge, 4, 0);
        }
    }

    switch (f.compression) {
    case BI_RGB:
        if (bc == 16) {
            f.masks = {0x7C00, 0x03E0, 0x001F, 0};
        } else if (bc == 24 || bc == 32) {
            // The fourth byte of a 32-bit icon pixel is alpha; in a plain .bmp file it is unused.
            f.masks = {0xFF0000, 0xFF00, 0xFF, use == DibUse::Icon && bc == 32 ? 0xFF000000u : 0u};
        }
        break;
    case BI_ALPHABITFIELDS:
        if (use == DibUse::ThemePicture) {
            return Refuse(why, DibRefusal::Compression, 16, f.compression);
        }
        [[fallthrough]];
    case BI_BITFIELDS:
        if (!ValidMaskedDepth(bc)) {
            return Refuse(why, DibRefusal::Compression, 16, f.compression);
        }
        f.masks = fieldMasks;
        break;
    case BI_RLE8:
    case BI_RLE4:
        if (use == DibUse::Icon || f.topDown || bc != (f.compression == BI_RLE8 ? 8 : 4)) {
            return Refuse(why, DibRefusal::Compression, 16, f.compression);
        }
        break;
    default:
        return Refuse(why, DibRefusal::Compression, 16, f.compression);
    }

    std::uint64_t tableEntries = h.biClrUsed;
    if (h.biSize == 12 || (bc <= 8 && tableEntries == 0)) {
        tableEntries = bc <= 8 ? 1u << bc : 0;
    } else if (bc <= 8 && tableEntries > (1u << bc)) {
        if (use == DibUse::Icon) {
            return Refuse(why, DibRefusal::ColourTable, 32,
                          tableEntries); // the rows would start somewhere no reader agrees on
        }
        // Some paint programs write a 256-entry count into 4-bit files; the rows of a .bmp
        // file are found through bfOffBits, so only the usable entries matter.
        tableEntries = 1u << bc;
    } else if (bc > 8 && use != DibUse::Icon) {
        tableEntries = 0; // an optional palette for display; bfOffBits locates the rows
    }
    if (tableEntries > c.Remaining() / paletteEntrySize) {
        return Refuse(why, DibRefusal::ColourTable, c.Position(), tableEntries);
    }
    const std::uint64_t used = bc <= 8 ? std::min<std::uint64_t>(tableEntries, 1u << bc) : 0;
    for (std::uint64_t i = 0; i < tableEntries; ++i) {
        const std::uint8_t blue = c.ReadU8();
        const std::uint8_t green = c.ReadU8();
        const std::uint8_t red = c.ReadU8();
        if (paletteEntrySize == 4) {
            c.Skip(1);
        }
        if (i < used) {
            f.palette.push_back(static_cast<std::uint32_t>(red) << 16 |
                                static_cast<std::uint32_t>(green) << 8 | blue);
        }
    }
    if (!c.Ok()) {
        return Refuse(why, DibRefusal::Truncated, c.Position(), 0);
    }
    f.pixelOffset = c.Position();
    return f;
}

// Where the rows of a .bmp file start: at bfOffBits, unless that is unusable.
std::size_t BitmapPixelStart(std::uint32_t bfOffBits, const DibFormat& format,
                             std::uint64_t fileSize) {
    // Some writers leave bfOffBits 0 or point it past the file; the rows then follow the
    // colour table, as they always do in a packed DIB.
    if (bfOffBits >= 14 + 12 && bfOffBits < fileSize) {
        return bfOffBits;
    }
    return 14 + format.pixelOffset;
}

BitmapCheck CheckBitmapFile(std::span<const std::uint8_t> head, std::uint64_t fileSize,
                            DibUse use) {
    BitmapCheck check;
    ByteCursor c(head);
    const std::uint16_t magic = c.ReadU16();
    c.Skip(8); // bfSize (often wrong in files of old tools, never needed), bfReserved1 and 2
    const std::uint32_t bfOffBits = c.ReadU32();
    if (!c.Ok() || magic != 0x4D42 || head.size() > fileSize) {
        check.problem = DibProblem{DibRefusal::NotBitmap, 0, 0};
        return check;
    }
    DibProblem why;
    const auto format = ReadDibHeader(head.subspan(kBitmapFileHeaderSize), use, &why);
    if (!format) {
        why.offset += kBitmapFileHeaderSize;
        check.problem = why;
        return check;
    }
    const std::uint64_t start = BitmapPixelStart(bfOffBits, *format, fileSize);
    // Caps on width and height keep the product far below 2^64.
    if (start >= fileSize ||
        (format->compression != BI_RLE8 && format->compression != BI_RLE4 &&
         static_cast<std::uint64_t>(format->height) >
             (fileSize - start) /
                 DibRowBytes(static_cast<std::uint64_t>(format->width), format->bitCount))) {
        check.problem = DibProblem{DibRefusal::RowsMissing, start, 0};
        return check;
    }
    check.format = format;
    check.pixelStart = start;
    return check;
}

const char* DescribeDibRefusal(DibRefusal kind) {
    switch (kind) {
    case DibRefusal::None:
        return "no problem";
    case DibRefusal::NotBitmap:
        return "not a BMP file";
    case DibRefusal::HeaderSize:
        return "unsupported bitmap header size";
    case DibRefusal::Truncated:
        return "header or colour table cut short";
    case DibRefusal::Depth:
        return "unsupported bits per pixel";
    case DibRefusal::Size:
        return "impossible size";
    case DibRefusal::TooLarge:
        return "picture too large";
    case DibRefusal::Compression:
        return "compression not supported";
    case DibRefusal::ColourTable:
        return "colour table too large";
    case DibRefusal::RowsMissing:
        return "pixel data cut short";
    }
    return "unknown";
}

} // namespace glyptor::formats
