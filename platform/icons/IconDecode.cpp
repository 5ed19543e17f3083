// Decoding the images of icon containers: PNG images through Qt, DIB images through the format
// readers, each decode charged to the file's ledger; and the choice of the image to show.
#include "platform/icons/IconDecode.h"

#include <QImage>

#include <algorithm>
#include <climits>
#include <memory>

namespace glyptor::icons {

namespace {

std::optional<IconImage> DecodePng(std::span<const std::uint8_t> bytes) {
    const auto info = ProbeIconImage(bytes);
    if (!info || bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::nullopt;
    }
    QImage decoded;
    if (!decoded.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "PNG") ||
        decoded.width() != info->width || decoded.height() != info->height) {
        return std::nullopt;
    }
    decoded = decoded.convertToFormat(QImage::Format_ARGB32);
    IconImage icon;
    icon.width = info->width;
    icon.height = info->height;
    icon.pixels.resize(static_cast<std::size_t>(icon.width) * icon.height);
    icon.mask.resize(icon.pixels.size());
    for (int y = 0; y < icon.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(decoded.constScanLine(y));
        for (int x = 0; x < icon.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * icon.width + x;
            icon.pixels[i] = row[x];
            icon.mask[i] = (row[x] >> 24) == 0 ? 1 : 0;
        }
    }
    return icon;
}

} // namespace

std::optional<IconImage> DecodeIconImage(std::span<const std::uint8_t> image) {
    try {
        return IsPngImage(image) ? DecodePng(image) : DecodeDibIconImage(image);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<IconImage> DecodeCandidate(ByteSource& source, ContainerIndex& index,
                                         const ImageCandidate& candidate) {
    DecodeLedger& ledger = index.decoding;
    const std::pair<std::uint64_t, std::uint32_t> key{candidate.data.offset, candidate.data.size};
    if (std::binary_search(ledger.failed.begin(), ledger.failed.end(), key)) {
        return std::nullopt;
    }
    // Work grows with the pixels made (and scaled or copied afterwards) and with the bytes
    // read, whichever is more; a failure is charged too, since it may come late.
    const std::uint64_t cost =
        std::max<std::uint64_t>({std::uint64_t(std::max(candidate.info.width, 0)) *
                                     std::uint64_t(std::max(candidate.info.height, 0)),
                                 candidate.data.size / 4, 1});
    if (cost > kMaxDecodedPixels - std::min(ledger.pixels, kMaxDecodedPixels)) {
        ledger.pixels = kMaxDecodedPixels;
        return std::nullopt;
    }
    if (ledger.last && ledger.lastKey == key) {
        ledger.pixels += cost;
        return *ledger.last;
    }
    if (ledger.attempts >= kMaxDecodeAttempts) {
        return std::nullopt;
    }
    ++ledger.attempts;
    ledger.pixels += cost;
    const auto bytes = source.Read(candidate.data.offset, candidate.data.size);
    auto image = bytes ? DecodeIconImage(*bytes) : std::nullopt;
    if (!image || image->width != candidate.info.width || image->height != candidate.info.height) {
        ledger.failed.insert(std::upper_bound(ledger.failed.begin(), ledger.failed.end(), key),
                             key);
        return std::nullopt;
    }
    ledger.last = std::make_shared<const IconImage>(*image);
    ledger.lastKey = key;
    return image;
}

std::optional<IconImage> ExtractFromContainer(ByteSource& source, ContainerIndex& index, int group,
                                              int size, IconImageInfo* chosen) {
    try {
        if (group < 0 || group >= index.Count() || size <= 0) {
            return std::nullopt;
        }
        if (index.kind == ContainerKind::Bmp) {
            const auto bytes = ReadBitmapBytes(source);
            auto picture = bytes ? DecodeBitmapFile(*bytes) : std::nullopt;
            if (!picture) {
                return std::nullopt;
            }
            if (chosen) {
                *chosen = IconImageInfo{picture->width, picture->height, 0, false};
                const auto info = ProbeBitmapFile(*bytes, bytes->size());
                chosen->bitCount = info ? info->bitCount : 0;
            }
            return FitPicture(*picture, size);
        }
        const auto candidates = GroupImages(source, index, group);
        // A group whose preferred image is damaged still shows its next best one.
        for (const std::size_t i : RankForSize(candidates, size)) {
            auto image = DecodeCandidate(source, index, candidates[i]);
            if (!image) {
                continue;
            }
            if (chosen) {
                *chosen = candidates[i].info;
            }
            if (image->width == size && image->height == size) {
                return image;
            }
            return ScaleIcon(*image, size);
        }
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace glyptor::icons
