// The 32-bit icon file: one icon as a single-image .ico with its alpha channel. It follows the
// layout of the other depths the icon file writer produces (the directory entry carries the bit
// depth where the format keeps the palette size and leaves planes and bit count 0; the image's
// header describes colour rows and mask together), with 32 bits per pixel and the AND mask, so
// a 32 x 32 icon is 22 + 40 + 4096 + 128 = 4286 bytes.
#pragma once

#include "formats/IconImage.h"

#include <cstdint>
#include <vector>

namespace glyptor::iconfile {

// The whole file. Throws InvalidBitmapError (export/IconFile.h) for an invalid or monochrome
// icon, as the other depths do.
std::vector<std::uint8_t> EncodeIconFile32(const IconImage& icon);

} // namespace glyptor::iconfile
