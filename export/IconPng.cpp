// PNG export of icons.
#include "export/IconPng.h"

#include "platform/icons/IconSource.h"

#include <QBuffer>
#include <QByteArray>

#include <algorithm>
#include <cstring>

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

std::optional<icongroup::Bytes> RenderPng(const std::string& nativePath, int index, int size) {
    if (size <= 0) {
        const auto group = icongroup::ReadIconGroup(nativePath, index);
        if (!group) {
            return std::nullopt;
        }
        size = LargestSize(*group);
    }
    const auto icon = IconAtSize(nativePath, index, size);
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
