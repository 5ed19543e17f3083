// BMP files written from program pictures at 1, 4, 8, 16 or 24 bits per pixel: the saved
// pictures, the wallpaper and the built-in skin pictures (4 and 16 bits among them, depths that
// common toolkits do not write). Writing them to disk is platform/dib/OutputFile.h.
#pragma once

#include "formats/Dib.h"

#include <cstdint>
#include <vector>

namespace glyptor::dib {

using formats::BITMAPFILEHEADER;
using formats::kBitmapFileHeaderSize;

// The whole BMP file for the picture: file header, BITMAPINFOHEADER, colour table for 8 bits or
// less (the default table of that depth), rows bottom-up. Throws std::invalid_argument for an
// invalid picture or an unsupported depth, and std::length_error for a picture too large for
// the format's 32-bit sizes.
std::vector<std::uint8_t> EncodeBmp(const Bitmap& picture, unsigned bitsPerPixel);

// Same, from top-down ARGB pixels.
std::vector<std::uint8_t> EncodeBmp(int width, int height, const std::vector<std::uint32_t>& argb,
                                    unsigned bitsPerPixel);

} // namespace glyptor::dib
