// Decoders for the pictures inside icon containers: device-independent bitmaps with their AND
// mask (the images of .ico files and RT_ICON resources) and whole .bmp files, and the headers of
// PNG icon images. They are pure functions over the bytes of one image; they never touch files.
// PNG pixels need a PNG decoder, which platform/icons/IconDecode.h adds.
#pragma once

#include "formats/DibHeader.h"
#include "formats/IconImage.h"

#include "formats/ByteCursor.h"

#include <cstdint>
#include <optional>
#include <span>

namespace glyptor::icons {

using formats::ByteCursor;
using formats::Bytes;
using formats::ByteSource;
using formats::SpanSource;

using formats::kMaxBitmapDimension;
using formats::kMaxBitmapPixels;
using formats::kMaxIconDimension;

// Enough leading bytes of an icon image to tell its size and depth.
inline constexpr std::size_t kIconProbeBytes = 40;

// What an icon image's header says about it. PNG images count as 32 bits per pixel.
struct IconImageInfo {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    bool png = false;
};

// Reads size and depth from the first bytes (up to kIconProbeBytes) of an icon image, or nothing
// when they are not a plausible DIB or PNG header.
std::optional<IconImageInfo> ProbeIconImage(std::span<const std::uint8_t> head);

// Whether the image bytes start with the PNG signature.
bool IsPngImage(std::span<const std::uint8_t> bytes);

// Decodes one DIB icon image at its own size: its height counts the colour rows and the AND
// mask rows. A 1-bit image becomes a monochrome icon. Nothing for a PNG image.
std::optional<IconImage> DecodeDibIconImage(std::span<const std::uint8_t> image);

// Size of the picture in a .bmp file from its first bytes (file header and DIB header), or
// nothing when they are not a usable bitmap of `fileSize` bytes.
struct BitmapInfo {
    int width = 0;
    int height = 0;
    int bitCount = 0;
};
// File header, the largest DIB header, bit fields and a full colour table.
inline constexpr std::size_t kBitmapProbeBytes = 14 + 124 + 12 + 256 * 4;
std::optional<BitmapInfo> ProbeBitmapFile(std::span<const std::uint8_t> head,
                                          std::uint64_t fileSize);

// Decodes a whole .bmp file (BITMAPFILEHEADER and DIB) at its own size; no transparency unless
// the bitmap carries an alpha channel.
std::optional<IconImage> DecodeBitmapFile(std::span<const std::uint8_t> file);

} // namespace glyptor::icons
