// The BMP encoder: a file header and one uncompressed DIB, built by the same conversion as the
// images inside icon files.
#include "formats/BmpFile.h"

#include "formats/LittleEndian.h"

#include <limits>
#include <stdexcept>

namespace glyptor::dib {

std::vector<std::uint8_t> EncodeBmp(const Bitmap& picture, unsigned bitsPerPixel) {
    if (!picture.IsValid()) {
        throw std::invalid_argument("Invalid Bitmap");
    }
    if (!IsSupportedDepth(bitsPerPixel)) {
        throw std::invalid_argument("Unsupported colour depth " + std::to_string(bitsPerPixel));
    }
    const std::uint64_t tableSize = bitsPerPixel <= 8 ? 4ull << bitsPerPixel : 0;
    const std::uint64_t offBits = kBitmapFileHeaderSize + kBitmapInfoHeaderSize + tableSize;
    const std::uint64_t imageSize =
        BytesPerScanline(static_cast<std::uint64_t>(picture.width), bitsPerPixel) *
        static_cast<std::uint64_t>(picture.height);
    if (imageSize > std::numeric_limits<std::uint32_t>::max() - offBits) {
        throw std::length_error("Picture too large for a BMP file");
    }
    const std::uint64_t fileSize = offBits + imageSize;

    std::vector<std::uint8_t> file(static_cast<std::size_t>(fileSize));
    const std::span<std::uint8_t> bytes(file);
    BITMAPFILEHEADER fileHeader;
    fileHeader.bfSize = static_cast<std::uint32_t>(fileSize);
    fileHeader.bfOffBits = static_cast<std::uint32_t>(offBits);
    formats::StoreLe16(bytes.data(), fileHeader.bfType);
    formats::StoreLe32(bytes.data() + 2, fileHeader.bfSize);
    formats::StoreLe16(bytes.data() + 6, fileHeader.bfReserved1);
    formats::StoreLe16(bytes.data() + 8, fileHeader.bfReserved2);
    formats::StoreLe32(bytes.data() + 10, fileHeader.bfOffBits);

    BITMAPINFOHEADER header;
    header.biSize = kBitmapInfoHeaderSize;
    header.biWidth = picture.width;
    header.biHeight = picture.height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<std::uint16_t>(bitsPerPixel);
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<std::uint32_t>(imageSize);
    StoreBitmapInfoHeader(header, bytes.subspan(kBitmapFileHeaderSize, kBitmapInfoHeaderSize));

    const std::size_t tableAt = kBitmapFileHeaderSize + kBitmapInfoHeaderSize;
    if (!ConvertToDib(picture, bitsPerPixel, {},
                      bytes.subspan(tableAt, static_cast<std::size_t>(tableSize)),
                      bytes.subspan(static_cast<std::size_t>(offBits)))) {
        throw std::invalid_argument("Invalid Bitmap");
    }
    return file;
}

std::vector<std::uint8_t> EncodeBmp(int width, int height, const std::vector<std::uint32_t>& argb,
                                    unsigned bitsPerPixel) {
    return EncodeBmp(Bitmap{width, height, argb}, bitsPerPixel);
}

} // namespace glyptor::dib
