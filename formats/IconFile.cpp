// The icon file writer: sizes, headers and the byte layout of a single-image icon file.
#include "formats/IconFile.h"

#include <limits>
#include <new>
#include <ostream>
#include <utility>

namespace glyptor::iconfile {
namespace {

class ByteAppender {
public:
    explicit ByteAppender(std::vector<std::uint8_t>& out) : out_(out) {}
    void U8(std::uint8_t value) { out_.push_back(value); }
    void U16(std::uint16_t value) {
        U8(static_cast<std::uint8_t>(value));
        U8(static_cast<std::uint8_t>(value >> 8));
    }
    void U32(std::uint32_t value) {
        U16(static_cast<std::uint16_t>(value));
        U16(static_cast<std::uint16_t>(value >> 16));
    }
    void Bytes(std::span<const std::uint8_t> bytes) {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }

private:
    std::vector<std::uint8_t>& out_;
};

} // namespace

std::uint32_t ColourCountForDepthCode(std::uint8_t depthCode) {
    switch (depthCode) {
    case 1:
        return 16;
    case 2:
        return 256;
    case 4:
        return 65536;
    case 5:
        return 16777216;
    default:
        // Code 3 and every unknown code: files saved with them have always been 16 colours.
        return 16;
    }
}

unsigned BitsPerPixelForColourCount(std::uint32_t colourCount) {
    switch (colourCount) {
    case 2:
        return 1;
    case 16:
        return 4;
    case 256:
        return 8;
    case 65536:
        return 16;
    case 16777216:
        return 24;
    default:
        return 0;
    }
}

BITMAPINFOHEADER InitBitmapInfoHeader(const dib::Bitmap* bitmap, std::uint32_t colourCount) {
    if (bitmap == nullptr || !bitmap->IsValid()) {
        throw InvalidBitmapError();
    }
    const unsigned bitsPerPixel = BitsPerPixelForColourCount(colourCount);
    if (bitsPerPixel == 0) {
        throw std::invalid_argument("No colour depth for " + std::to_string(colourCount) +
                                    " colours");
    }
    // Program bitmaps carry no DIB header of their own, so every header starts fresh.
    BITMAPINFOHEADER header;
    header.biSize = static_cast<std::uint32_t>(dib::kBitmapInfoHeaderSize);
    header.biWidth = bitmap->width;
    header.biHeight = bitmap->height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<std::uint16_t>(bitsPerPixel);
    header.biCompression = dib::BI_RGB;
    const std::uint64_t imageSize =
        BytesPerScanline(static_cast<std::uint64_t>(bitmap->width), bitsPerPixel) *
        static_cast<std::uint64_t>(bitmap->height);
    // A size the 32-bit field cannot hold would describe a different picture than the one
    // written; such a bitmap cannot be put into the format at all.
    if (imageSize > std::numeric_limits<std::uint32_t>::max()) {
        throw InvalidBitmapError();
    }
    header.biSizeImage = static_cast<std::uint32_t>(imageSize);
    return header;
}

std::size_t HeaderBlockSize(const BITMAPINFOHEADER& header) {
    if (header.biBitCount <= 8) {
        return dib::kBitmapInfoHeaderSize + (std::size_t{4} << header.biBitCount);
    }
    // Bit-field headers are followed by three 32-bit colour masks.
    return (header.biCompression & 3) != 0 ? dib::kBitmapInfoHeaderSize + 12
                                           : dib::kBitmapInfoHeaderSize;
}

DibBlockSizes DibSizes(const dib::Bitmap* bitmap, std::uint32_t colourCount) {
    const BITMAPINFOHEADER header = InitBitmapInfoHeader(bitmap, colourCount);
    return DibBlockSizes{HeaderBlockSize(header), header.biSizeImage};
}

bool GetDibBits(const dib::Bitmap* bitmap, std::span<const dib::RGBQUAD> palette,
                std::span<std::uint8_t> headerBlock, std::span<std::uint8_t> bits,
                std::uint32_t colourCount) {
    const BITMAPINFOHEADER header = InitBitmapInfoHeader(bitmap, colourCount);
    if (headerBlock.size() < HeaderBlockSize(header) || bits.size() < header.biSizeImage) {
        return false;
    }
    dib::StoreBitmapInfoHeader(header, headerBlock);
    return dib::ConvertToDib(*bitmap, header.biBitCount, palette,
                             headerBlock.subspan(dib::kBitmapInfoHeaderSize), bits);
}

std::vector<std::uint8_t> EncodeIconFile(const IconImage& icon, std::uint32_t colourCount) {
    dib::IconBitmaps bitmaps = dib::GetIconInfo(icon);
    const dib::Bitmap* colour = bitmaps.colour ? &*bitmaps.colour : nullptr;

    // Sizes first: a bitmap that cannot be queried fails before anything is allocated.
    const DibBlockSizes maskSizes = DibSizes(&bitmaps.mask, kMaskColourCount);
    const DibBlockSizes colourSizes = DibSizes(colour, colourCount);
    const std::uint64_t imageBytes =
        std::uint64_t{colourSizes.headerBlockSize} + colourSizes.imageSize + maskSizes.imageSize;
    if (imageBytes > std::numeric_limits<std::uint32_t>::max() - kIconImageOffset ||
        colour->height > std::numeric_limits<std::int32_t>::max() / 2) {
        throw InvalidBitmapError();
    }

    std::vector<std::uint8_t> maskHeaderBlock(maskSizes.headerBlockSize);
    std::vector<std::uint8_t> maskBits(maskSizes.imageSize);
    std::vector<std::uint8_t> colourHeaderBlock(colourSizes.headerBlockSize);
    std::vector<std::uint8_t> colourBits(colourSizes.imageSize);
    // The buffers are sized from the same headers, so these conversions cannot fail; the mask's
    // header and two-entry table are fetched with its bits but not written.
    GetDibBits(&bitmaps.mask, {}, maskHeaderBlock, maskBits, kMaskColourCount);
    GetDibBits(colour, {}, colourHeaderBlock, colourBits, colourCount);

    BITMAPINFOHEADER colourHeader = InitBitmapInfoHeader(colour, colourCount);
    ICONDIR dir;
    dir.idType = 1;
    dir.idCount = 1;
    ICONDIRENTRY entry;
    entry.bWidth = static_cast<std::uint8_t>(colourHeader.biWidth);
    entry.bHeight = static_cast<std::uint8_t>(colourHeader.biHeight);
    // Where the format keeps the palette size this writer has always stored planes x bits per
    // pixel (4 for a 16-colour icon), leaving the planes and bit-count fields 0.
    const auto planesTimesBits =
        static_cast<std::uint16_t>(colourHeader.biPlanes * colourHeader.biBitCount);
    entry.bColorCount = static_cast<std::uint8_t>(planesTimesBits);
    entry.bReserved = static_cast<std::uint8_t>(planesTimesBits >> 8);
    entry.dwBytesInRes = static_cast<std::uint32_t>(imageBytes);
    entry.dwImageOffset = kIconImageOffset;

    // The image's header describes the colour image and the mask stacked together.
    colourHeader.biHeight *= 2;
    dib::StoreBitmapInfoHeader(colourHeader, colourHeaderBlock);

    std::vector<std::uint8_t> file;
    file.reserve(static_cast<std::size_t>(kIconImageOffset + imageBytes));
    ByteAppender out(file);
    out.U16(dir.idReserved);
    out.U16(dir.idType);
    out.U16(dir.idCount);
    out.U8(entry.bWidth);
    out.U8(entry.bHeight);
    out.U8(entry.bColorCount);
    out.U8(entry.bReserved);
    out.U16(entry.wPlanes);
    out.U16(entry.wBitCount);
    out.U32(entry.dwBytesInRes);
    out.U32(entry.dwImageOffset);
    out.Bytes(colourHeaderBlock);
    out.Bytes(colourBits);
    out.Bytes(maskBits);
    return file;
}

void WriteIconStream(std::ostream& stream, const IconImage& icon, std::uint32_t colourCount) {
    const std::vector<std::uint8_t> file = EncodeIconFile(icon, colourCount);
    stream.write(reinterpret_cast<const char*>(file.data()),
                 static_cast<std::streamsize>(file.size()));
    stream.flush();
    if (!stream) {
        throw std::runtime_error("Stream write error");
    }
}

} // namespace glyptor::iconfile
