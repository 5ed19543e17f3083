// Icons as pictures: the part of the icon source that decodes images (PNG through Qt) and
// scales them, on top of the toolkit-free reading and counting in IconSource.cpp. Files are
// opened through the same parsed-file cache, so extracting after a count parses nothing again.
#include "platform/icons/IconDecode.h"
#include "platform/icons/IconSource.h"
#include "platform/icons/IconSourceInternal.h"

namespace glyptor::icons {

std::optional<IconImage> ExtractIcon(IconSourceCache& cache, const std::string& nativePath,
                                     int index) {
    return ExtractIcon(cache, nativePath, index, kStandardIconSize, nullptr);
}

std::optional<IconImage> ExtractIcon(IconSourceCache& cache, const std::string& nativePath,
                                     int index, int size, IconImageInfo* chosen) {
    try {
        auto opened = OpenIndexed(IconSourceAccess::Of(cache), nativePath);
        if (!opened) {
            return std::nullopt;
        }
        return ExtractFromContainer(opened->source, opened->entry->index, index, size, chosen);
    } catch (...) {
        return std::nullopt;
    }
}

std::vector<SourceImage> ExtractSourceImages(IconSourceCache& cache, const std::string& nativePath,
                                             int index) {
    std::vector<SourceImage> images;
    try {
        auto opened = OpenIndexed(IconSourceAccess::Of(cache), nativePath);
        if (!opened) {
            return images;
        }
        ContainerIndex& container = opened->entry->index;
        if (container.kind == ContainerKind::Bmp) {
            IconImageInfo info;
            if (index == 0) {
                const auto bytes = ReadBitmapBytes(opened->source);
                if (auto picture = bytes ? DecodeBitmapFile(*bytes) : std::nullopt) {
                    const auto probe = ProbeBitmapFile(*bytes, bytes->size());
                    info = IconImageInfo{picture->width, picture->height,
                                         probe ? probe->bitCount : 0, false};
                    images.push_back(SourceImage{info, std::move(*picture)});
                }
            }
            return images;
        }
        for (const auto& candidate : GroupImages(opened->source, container, index)) {
            if (auto image = DecodeCandidate(opened->source, container, candidate)) {
                images.push_back(SourceImage{candidate.info, std::move(*image)});
            }
        }
    } catch (...) {
        images.clear();
    }
    return images;
}

std::optional<IconImage> ExtractIcon(const std::string& nativePath, int index) {
    IconSourceCache cache;
    return ExtractIcon(cache, nativePath, index);
}

std::optional<IconImage> ExtractIcon(const std::string& nativePath, int index, int size,
                                     IconImageInfo* chosen) {
    IconSourceCache cache;
    return ExtractIcon(cache, nativePath, index, size, chosen);
}

std::vector<SourceImage> ExtractSourceImages(const std::string& nativePath, int index) {
    IconSourceCache cache;
    return ExtractSourceImages(cache, nativePath, index);
}

} // namespace glyptor::icons
