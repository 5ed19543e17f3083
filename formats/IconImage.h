// The icon model shared by the icon source, the grid and the icon file writer: plain pixel data,
// no toolkit types, so that parsers and writers can be tested and fuzzed without a display.
#pragma once

#include <cstdint>
#include <vector>

namespace glyptor {

struct IconImage {
    int width = 0;
    int height = 0;
    // What the window draws: 0xAARRGGBB, non-premultiplied, rows top to bottom. Always
    // width * height entries, also for a monochrome icon (black and white, transparent
    // where the mask is set).
    std::vector<std::uint32_t> pixels;
    // The AND mask: one byte per pixel, rows top to bottom, 1 where the mask bit is set
    // (the pixel is transparent, or inverts the screen for a monochrome icon).
    std::vector<std::uint8_t> mask;
    // The source image had 1 bit per pixel: the icon has a mask but no colour image, like a
    // Windows monochrome icon. Exporting it as an icon file fails with "Invalid Bitmap".
    bool monochrome = false;

    bool IsValid() const {
        const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        return width > 0 && height > 0 && pixels.size() == count && mask.size() == count;
    }
};

} // namespace glyptor
