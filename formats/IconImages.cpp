// Decoding of icon images and bitmap files. A DIB is read in two steps: its header and colour
// table into a DibFormat (validated once, in ReadDibHeader), then its rows into ARGB pixels.
#include "formats/IconImages.h"

#include "formats/ByteCursor.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

namespace glyptor::icons {

namespace {

using formats::BI_RLE4;
using formats::BI_RLE8;
using formats::DibFormat;
using formats::DibUse;
using formats::ReadDibHeader;

std::uint64_t RowBytes(std::uint64_t width, int bitCount) {
    return formats::DibRowBytes(width, bitCount);
}

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// One colour channel of bit-field pixels, widened to 8 bits. The mask's shift and range are
// worked out once for a whole picture; eight-bit fields, by far the most common, need no
// division.
class Channel {
public:
    explicit Channel(std::uint32_t mask) : mask_(mask) {
        if (mask != 0) {
            shift_ = std::countr_zero(mask);
            max_ = (std::uint64_t{1} << std::bit_width(mask >> shift_)) - 1;
        }
    }
    std::uint32_t operator()(std::uint32_t value) const {
        const std::uint64_t field = (value & mask_) >> shift_;
        return static_cast<std::uint32_t>(max_ == 255 ? field : field * 255 / max_);
    }

private:
    std::uint32_t mask_;
    int shift_ = 0;
    std::uint64_t max_ = 255; // a zero mask gives 0 whatever the range
};

std::uint32_t PaletteColour(const DibFormat& f, std::uint32_t index) {
    // Indices past the colour table happen in hand-made files; Windows draws them black.
    return index < f.palette.size() ? f.palette[index] : 0;
}

// Expands RLE8/RLE4 data into palette indices, bottom row first as stored. Runs that leave the
// picture are clipped; the loop ends with the input, so its work is bounded by the data size.
std::vector<std::uint8_t> ExpandRle(const DibFormat& f, std::span<const std::uint8_t> data) {
    const auto w = static_cast<std::size_t>(f.width);
    const auto hgt = static_cast<std::size_t>(f.height);
    std::vector<std::uint8_t> indices(w * hgt, 0);
    const bool four = f.compression == BI_RLE4;
    std::size_t x = 0;
    std::size_t y = 0;
    auto put = [&](std::uint8_t index) {
        if (x < w && y < hgt) {
            indices[y * w + x] = index;
        }
        ++x;
    };
    ByteCursor c(data);
    while (c.Remaining() >= 2 && y < hgt) {
        const std::uint8_t count = c.ReadU8();
        const std::uint8_t value = c.ReadU8();
        if (count > 0) {
            for (int i = 0; i < count; ++i) {
                put(four ? static_cast<std::uint8_t>(i % 2 == 0 ? value >> 4 : value & 0x0F)
                         : value);
            }
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            x += c.ReadU8();
            y += c.ReadU8();
        } else {
            const std::size_t bytes = four ? (value + 1u) / 2 : value;
            const auto run = c.ReadBytes(bytes + bytes % 2);
            if (!c.Ok()) {
                break;
            }
            for (int i = 0; i < value; ++i) {
                const std::uint8_t b =
                    run[four ? static_cast<std::size_t>(i / 2) : static_cast<std::size_t>(i)];
                put(four ? static_cast<std::uint8_t>(i % 2 == 0 ? b >> 4 : b & 0x0F) : b);
            }
        }
    }
    return indices;
}

// The colour rows as 0xAARRGGBB, top row first; alpha is the image's own alpha channel, 0 where
// it has none. Fails when the pixel data is shorter than the rows need.
std::optional<std::vector<std::uint32_t>>
DecodeRows(const DibFormat& f, std::span<const std::uint8_t> data, bool& anyAlpha) {
    const auto w = static_cast<std::size_t>(f.width);
    const auto hgt = static_cast<std::size_t>(f.height);
    std::vector<std::uint32_t> out(w * hgt);
    anyAlpha = false;
    if (f.compression == BI_RLE8 || f.compression == BI_RLE4) {
        const auto indices = ExpandRle(f, data);
        for (std::size_t row = 0; row < hgt; ++row) {
            const std::size_t target = hgt - 1 - row;
            for (std::size_t x = 0; x < w; ++x) {
                out[target * w + x] = PaletteColour(f, indices[row * w + x]);
            }
        }
        return out;
    }
    const std::uint64_t stride = RowBytes(w, f.bitCount);
    if (hgt > data.size() / stride) {
        return std::nullopt;
    }
    const Channel red(f.masks[0]);
    const Channel green(f.masks[1]);
    const Channel blue(f.masks[2]);
    const Channel alpha(f.masks[3]);
    // One loop for each depth: pictures fitted into a cell can be large bitmap files.
    for (std::size_t row = 0; row < hgt; ++row) {
        const std::uint8_t* src = data.data() + row * stride;
        const std::size_t target = f.topDown ? row : hgt - 1 - row;
        std::uint32_t* dst = out.data() + target * w;
        switch (f.bitCount) {
        case 1:
            for (std::size_t x = 0; x < w; ++x)
                dst[x] = PaletteColour(f, (src[x / 8] >> (7 - x % 8)) & 1);
            break;
        case 4:
            for (std::size_t x = 0; x < w; ++x)
                dst[x] = PaletteColour(f, (src[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F);
            break;
        case 8:
            for (std::size_t x = 0; x < w; ++x)
                dst[x] = PaletteColour(f, src[x]);
            break;
        case 24:
            for (std::size_t x = 0; x < w; ++x)
                dst[x] = static_cast<std::uint32_t>(src[3 * x + 2]) << 16 |
                         static_cast<std::uint32_t>(src[3 * x + 1]) << 8 | src[3 * x];
            break;
        default:
            for (std::size_t x = 0; x < w; ++x) {
                std::uint32_t value = 0;
                if (f.bitCount == 16) {
                    value = static_cast<std::uint32_t>(src[2 * x] | src[2 * x + 1] << 8);
                } else {
                    value = static_cast<std::uint32_t>(src[4 * x]) |
                            static_cast<std::uint32_t>(src[4 * x + 1]) << 8 |
                            static_cast<std::uint32_t>(src[4 * x + 2]) << 16 |
                            static_cast<std::uint32_t>(src[4 * x + 3]) << 24;
                }
                const std::uint32_t a = alpha(value);
                anyAlpha = anyAlpha || a != 0;
                dst[x] = a << 24 | red(value) << 16 | green(value) << 8 | blue(value);
            }
        }
    }
    return out;
}

std::optional<IconImageInfo> ProbePng(std::span<const std::uint8_t> head) {
    ByteCursor c(head);
    c.Skip(kPngSignature.size());
    // PNG numbers are big-endian, unlike everything else in an icon container.
    const auto readBigEndian = [&c] {
        const auto b = c.ReadBytes(4);
        return b.empty() ? 0u
                         : static_cast<std::uint32_t>(b[0]) << 24 |
                               static_cast<std::uint32_t>(b[1]) << 16 |
                               static_cast<std::uint32_t>(b[2]) << 8 | b[3];
    };
    const std::uint32_t chunkLength = readBigEndian();
    const auto type = c.ReadBytes(4);
    const std::uint32_t width = readBigEndian();
    const std::uint32_t height = readBigEndian();
    if (!c.Ok() || chunkLength != 13 || std::memcmp(type.data(), "IHDR", 4) != 0) {
        return std::nullopt;
    }
    if (width == 0 || height == 0 || width > kMaxIconDimension || height > kMaxIconDimension) {
        return std::nullopt;
    }
    return IconImageInfo{static_cast<int>(width), static_cast<int>(height), 32, true};
}

} // namespace

bool IsPngImage(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= kPngSignature.size() &&
           std::equal(kPngSignature.begin(), kPngSignature.end(), bytes.begin());
}

std::optional<IconImageInfo> ProbeIconImage(std::span<const std::uint8_t> head) {
    if (IsPngImage(head)) {
        return ProbePng(head);
    }
    // Only the fixed header is needed; the colour table may lie beyond the probed bytes.
    ByteCursor c(head);
    const std::uint32_t size = c.ReadU32();
    if (size < 40 || size > 124) {
        if (size != 12) {
            return std::nullopt;
        }
        const std::uint16_t width = c.ReadU16();
        const auto height = static_cast<std::int16_t>(c.ReadU16());
        c.Skip(2);
        const std::uint16_t bits = c.ReadU16();
        if (!c.Ok() || width == 0 || height < 2 || width > kMaxIconDimension ||
            height / 2 > kMaxIconDimension) {
            return std::nullopt;
        }
        return IconImageInfo{width, height / 2, bits, false};
    }
    const std::int32_t width = c.ReadI32();
    const std::int32_t height = c.ReadI32();
    c.Skip(2);
    const std::uint16_t bits = c.ReadU16();
    if (!c.Ok() || width <= 0 || height < 2 || width > kMaxIconDimension ||
        height / 2 > kMaxIconDimension) {
        return std::nullopt;
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return std::nullopt;
    }
    return IconImageInfo{width, height / 2, bits, false};
}

std::optional<IconImage> DecodeDibIconImage(std::span<const std::uint8_t> image) {
    try {
        if (IsPngImage(image)) {
            return std::nullopt;
        }
        const auto format = ReadDibHeader(image, DibUse::Icon);
        if (!format) {
            return std::nullopt;
        }
        const auto pixelData = image.subspan(format->pixelOffset);
        bool anyAlpha = false;
        auto colours = DecodeRows(*format, pixelData, anyAlpha);
        if (!colours) {
            return std::nullopt;
        }
        const auto w = static_cast<std::size_t>(format->width);
        const auto hgt = static_cast<std::size_t>(format->height);
        const std::uint64_t colourBytes = RowBytes(w, format->bitCount) * hgt;
        const std::uint64_t maskStride = RowBytes(w, 1);
        const auto maskData = pixelData.subspan(static_cast<std::size_t>(colourBytes));
        const bool haveMask = hgt <= maskData.size() / maskStride;

        IconImage icon;
        icon.width = format->width;
        icon.height = format->height;
        icon.monochrome = format->bitCount == 1;
        icon.pixels = std::move(*colours);
        icon.mask.assign(w * hgt, 0);
        const bool useAlpha = format->bitCount == 32 && anyAlpha;
        if (!haveMask && !useAlpha) {
            return std::nullopt;
        }
        for (std::size_t y = 0; y < hgt; ++y) {
            const std::uint8_t* maskRow =
                haveMask ? maskData.data() + (hgt - 1 - y) * maskStride : nullptr;
            for (std::size_t x = 0; x < w; ++x) {
                std::uint32_t& px = icon.pixels[y * w + x];
                std::uint8_t& m = icon.mask[y * w + x];
                if (useAlpha) {
                    // Alpha icons often carry an empty or truncated AND mask; alpha decides.
                    m = (px >> 24) == 0 ? 1 : 0;
                    continue;
                }
                m = (maskRow[x / 8] >> (7 - x % 8)) & 1;
                if (icon.monochrome) {
                    // A monochrome icon is drawn black and white whatever its colour table says.
                    const bool white = (px & 0xFFFFFF) != 0;
                    px = white ? 0xFFFFFF : 0;
                }
                px = (px & 0xFFFFFF) | (m ? 0u : 0xFF000000u);
            }
        }
        return icon;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<BitmapInfo> ProbeBitmapFile(std::span<const std::uint8_t> head,
                                          std::uint64_t fileSize) {
    const auto check = formats::CheckBitmapFile(head, fileSize, DibUse::BitmapFile);
    if (!check.format) {
        return std::nullopt;
    }
    return BitmapInfo{check.format->width, check.format->height, check.format->bitCount};
}

std::optional<IconImage> DecodeBitmapFile(std::span<const std::uint8_t> file) {
    try {
        ByteCursor c(file);
        const std::uint16_t magic = c.ReadU16();
        c.Skip(4); // bfSize: often wrong in files from old tools, and never needed
        c.Skip(4); // bfReserved1, bfReserved2
        const std::uint32_t bfOffBits = c.ReadU32();
        if (!c.Ok() || magic != 0x4D42) {
            return std::nullopt;
        }
        const auto dib = file.subspan(14);
        const auto format = ReadDibHeader(dib, DibUse::BitmapFile);
        if (!format) {
            return std::nullopt;
        }
        const std::size_t pixelStart = formats::BitmapPixelStart(bfOffBits, *format, file.size());
        if (pixelStart > file.size()) {
            return std::nullopt;
        }
        bool anyAlpha = false;
        auto colours = DecodeRows(*format, file.subspan(pixelStart), anyAlpha);
        if (!colours) {
            return std::nullopt;
        }
        IconImage image;
        image.width = format->width;
        image.height = format->height;
        image.pixels = std::move(*colours);
        image.mask.assign(image.pixels.size(), 0);
        for (std::size_t i = 0; i < image.pixels.size(); ++i) {
            std::uint32_t& px = image.pixels[i];
            if (!anyAlpha) {
                px |= 0xFF000000u;
            } else if ((px >> 24) == 0) {
                image.mask[i] = 1;
            }
        }
        return image;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace glyptor::icons
