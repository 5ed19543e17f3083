// PNG export of icons.
#include "export/IconPng.h"

#include "platform/icons/IconDecode.h"
#include "platform/icons/IconSource.h"

#include <QBuffer>
#include <QByteArray>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace glyptor::iconpng {

std::vector<int> OfferedSizes(const icongroup::IconGroupInfo& group) {
    std::vector<int> sizes{16, 24, 32, 48, 64, 128, 256};
    if (group.kind != icons::ContainerKind::Bmp) {
        for (const auto& image : group.images) {
            if (image.width == image.height && image.width > 0) {
                sizes.push_back(image.width);
            }
        }
    }
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

int LargestSize(const icongroup::IconGroupInfo& group) {
    int largest = 0;
    for (const auto& image : group.images) {
        largest = std::max({largest, image.width, image.height});
    }
    if (group.kind == icons::ContainerKind::Bmp) {
        // A picture is fitted into a square; wallpapers would make needlessly huge icons.
        largest = std::min(largest, 256);
    }
    return largest > 0 ? largest : icons::kStandardIconSize;
}

std::optional<IconImage> IconAtSize(const std::string& nativePath, int index, int size) {
    // The icon source ranks the group's images exactly by this rule and scales smoothly.
    return icons::ExtractIcon(nativePath, index, size, nullptr);
}

QImage ToQImage(const IconImage& icon) {
    QImage image(icon.width, icon.height, QImage::Format_ARGB32);
    for (int y = 0; y < icon.height; ++y) {
        std::memcpy(image.scanLine(y),
                    icon.pixels.data() + static_cast<std::size_t>(y) * icon.width,
                    static_cast<std::size_t>(icon.width) * 4);
    }
    return image;
}

icongroup::Bytes EncodePng(const IconImage& icon) {
    QByteArray encoded;
    QBuffer buffer(&encoded);
    if (!icon.IsValid() || !buffer.open(QIODevice::WriteOnly) ||
        !ToQImage(icon).save(&buffer, "PNG")) {
        return {};
    }
    return icongroup::Bytes(encoded.begin(), encoded.end());
}

std::optional<IconImage> LargestImage(const std::string& nativePath, int index) {
    std::optional<IconImage> result;
    try {
        bool picture = false;
        icons::WithIndexedFile(
            nativePath, [&](icons::ByteSource& source, icons::ContainerIndex& container) {
                if (container.kind == icons::ContainerKind::Bmp) {
                    picture = true;
                    return;
                }
                const auto candidates = icons::GroupImages(source, container, index);
                std::vector<std::size_t> order(candidates.size());
                std::iota(order.begin(), order.end(), std::size_t{0});
                // Largest area first, the deepest among equals; a damaged image gives way to the
                // next one.
                std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
                    const auto& x = candidates[a].info;
                    const auto& y = candidates[b].info;
                    const auto areaX = std::int64_t{x.width} * x.height;
                    const auto areaY = std::int64_t{y.width} * y.height;
                    return areaX != areaY ? areaX > areaY : x.bitCount > y.bitCount;
                });
                for (const std::size_t i : order) {
                    if ((result = icons::DecodeCandidate(source, container, candidates[i]))) {
                        return;
                    }
                }
            });
        if (picture) {
            if (const auto group = icongroup::ReadIconGroup(nativePath, index)) {
                result = IconAtSize(nativePath, index, LargestSize(*group));
            }
        }
    } catch (...) {
        result.reset();
    }
    return result;
}

std::optional<icongroup::Bytes> RenderPng(const std::string& nativePath, int index, int size) {
    const auto icon =
        size > 0 ? IconAtSize(nativePath, index, size) : LargestImage(nativePath, index);
    if (!icon) {
        return std::nullopt;
    }
    auto bytes = EncodePng(*icon);
    if (bytes.empty()) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace glyptor::iconpng
