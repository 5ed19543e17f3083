// The 32-bit icon file writer.
#include "export/IconFile32.h"

#include "formats/IconFile.h"

namespace glyptor::iconfile {

namespace {

void U16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void U32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    U16(out, static_cast<std::uint16_t>(value));
    U16(out, static_cast<std::uint16_t>(value >> 16));
}

} // namespace

std::vector<std::uint8_t> EncodeIconFile32(const IconImage& icon) {
    // Icons beyond 256 pixels have no directory entry size; none reach us from the icon source
    // at the sizes the program exports.
    if (!icon.IsValid() || icon.monochrome || icon.width > 256 || icon.height > 256) {
        throw InvalidBitmapError();
    }
    const auto width = static_cast<std::uint32_t>(icon.width);
    const auto height = static_cast<std::uint32_t>(icon.height);
    const std::uint32_t colourBytes = width * 4 * height;
    const auto maskRow = static_cast<std::uint32_t>(BytesPerScanline(width, 1));
    const std::uint32_t imageBytes = 40 + colourBytes + maskRow * height;

    std::vector<std::uint8_t> file;
    file.reserve(kIconImageOffset + imageBytes);
    U16(file, 0);                                     // idReserved
    U16(file, 1);                                     // idType
    U16(file, 1);                                     // idCount
    file.push_back(static_cast<std::uint8_t>(width)); // 256 becomes 0, as the format wants
    file.push_back(static_cast<std::uint8_t>(height));
    file.push_back(32); // planes x bits per pixel, where the other depths keep it too
    file.push_back(0);
    U16(file, 0); // wPlanes
    U16(file, 0); // wBitCount
    U32(file, imageBytes);
    U32(file, kIconImageOffset);

    U32(file, 40); // biSize
    U32(file, width);
    U32(file, height * 2); // colour rows and mask rows
    U16(file, 1);          // biPlanes
    U16(file, 32);         // biBitCount
    U32(file, 0);          // biCompression: BI_RGB
    U32(file, colourBytes);
    U32(file, 0);
    U32(file, 0);
    U32(file, 0);
    U32(file, 0);

    for (std::uint32_t row = height; row-- > 0;) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t argb = icon.pixels[row * width + x];
            file.push_back(static_cast<std::uint8_t>(argb));
            file.push_back(static_cast<std::uint8_t>(argb >> 8));
            file.push_back(static_cast<std::uint8_t>(argb >> 16));
            file.push_back(static_cast<std::uint8_t>(argb >> 24));
        }
    }
    for (std::uint32_t row = height; row-- > 0;) {
        std::vector<std::uint8_t> bits(maskRow, 0);
        for (std::uint32_t x = 0; x < width; ++x) {
            if (icon.mask[row * width + x] != 0) {
                bits[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
            }
        }
        file.insert(file.end(), bits.begin(), bits.end());
    }
    return file;
}

} // namespace glyptor::iconfile
