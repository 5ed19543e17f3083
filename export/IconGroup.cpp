// Reading an icon's whole group from the icon source's cached directory, and rebuilding it as an
// .ico file. Group directories are read entry by entry here (not through GroupImages), because a
// rebuilt group must keep every entry as stored, including repeats that the scanner folds.
#include "export/IconGroup.h"

#include "export/IconFile32.h"
#include "formats/IconDirectory.h"
#include "formats/ModuleResources.h"
#include "platform/icons/FileSource.h"
#include "platform/icons/IconSource.h"

#include <algorithm>
#include <cstring>

namespace glyptor::icongroup {

namespace {

using icons::ByteCursor;
using icons::ByteSource;
using icons::ContainerIndex;
using icons::ContainerKind;

// A group lists at most this many images, as the scanner reads them; real groups hold a dozen.
constexpr std::size_t kMaxGroupEntries = 256;
// No real icon image comes near this; it bounds what a hostile entry makes us read.
constexpr std::uint32_t kMaxImageBytes = 16u << 20;
// An .ico file given back whole is still read into memory once.
constexpr std::uint64_t kMaxIconFileBytes = 64u << 20;

// The fields ICONDIRENTRY and GRPICONDIRENTRY share, from the 12 bytes they are stored in.
formats::ICONDIRENTRY SharedFields(std::span<const std::uint8_t> stored) {
    ByteCursor e(stored);
    formats::ICONDIRENTRY fields;
    formats::ReadIconEntryCommon(e, fields);
    return fields;
}

// Keeps an image's entry as stored and fills in its size, depth and colours; its offset and
// byte size are set already.
void Describe(ByteSource& source, GroupImage& image, std::span<const std::uint8_t> stored) {
    std::memcpy(image.entry, stored.data(), sizeof image.entry);
    const formats::ICONDIRENTRY fields = SharedFields(stored);
    image.width = fields.bWidth == 0 ? 256 : fields.bWidth;
    image.height = fields.bHeight == 0 ? 256 : fields.bHeight;
    image.bitCount = fields.wBitCount;
    const auto head =
        source.Read(image.offset, std::min<std::uint64_t>(image.byteSize, icons::kIconProbeBytes));
    // The image's own header is the truth where the entry disagrees (many .ico files leave the
    // entry's depth 0).
    if (const auto info = head ? icons::ProbeIconImage(*head) : std::nullopt) {
        image.width = info->width;
        image.height = info->height;
        image.bitCount = info->bitCount;
        image.png = info->png;
    }
    image.colourCount = fields.bColorCount != 0
                            ? fields.bColorCount
                            : (image.bitCount > 0 && image.bitCount <= 8 ? 1 << image.bitCount : 0);
}

void ReadModuleGroup(ByteSource& source, ContainerIndex& index, IconGroupInfo& group,
                     bool withKey) {
    const icons::ResourceSpan span = index.groups[static_cast<std::size_t>(group.index)];
    const auto bytes =
        source.Read(span.offset, std::min<std::uint32_t>(span.size, 6 + 14 * kMaxGroupEntries));
    if (!bytes) {
        return;
    }
    group.groupBytes = span.size;
    icons::IndexIcons(source, index);
    ByteCursor c(*bytes);
    const formats::ICONDIR dir = formats::ReadIconDir(c);
    group.reserved = dir.idReserved;
    group.type = dir.idType;
    const std::uint16_t count = dir.idCount;
    for (std::size_t i = 0; i < count && i < kMaxGroupEntries; ++i) {
        const auto stored = c.ReadBytes(12);
        const std::uint16_t nID = c.ReadU16();
        if (!c.Ok()) {
            break;
        }
        const auto found =
            std::lower_bound(index.icons.begin(), index.icons.end(), nID,
                             [](const auto& icon, std::uint32_t id) { return icon.first < id; });
        if (found == index.icons.end() || found->first != nID ||
            found->second.size > kMaxImageBytes) {
            continue;
        }
        GroupImage image;
        image.offset = found->second.offset;
        image.byteSize = found->second.size;
        Describe(source, image, stored);
        group.images.push_back(image);
    }
    // The keys cost a walk of the whole group directory: a batch that saves every group of a
    // large library would pay it once per group, and the group file does not need them.
    const auto keys = withKey ? icons::ModuleGroupKeys(source) : std::vector<icons::GroupKey>{};
    if (withKey && keys.size() == index.groups.size()) {
        const auto& key = keys[static_cast<std::size_t>(group.index)];
        group.hasKey = true;
        group.named = key.named;
        group.id = key.id;
        group.name = key.name;
        group.language = key.language;
    }
}

void ReadIcoGroup(ByteSource& source, ContainerIndex& index, IconGroupInfo& group) {
    const icons::ResourceSpan span = index.groups[static_cast<std::size_t>(group.index)];
    const auto bytes = source.Read(span.offset, span.size);
    if (!bytes) {
        return;
    }
    ByteCursor c(*bytes);
    const formats::ICONDIR dir = formats::ReadIconDir(c);
    group.reserved = dir.idReserved;
    group.type = dir.idType;
    const std::uint16_t count = dir.idCount;
    for (std::size_t i = 0; i < count && group.images.size() < kMaxGroupEntries; ++i) {
        const auto stored = c.ReadBytes(12);
        const std::uint32_t dwImageOffset = c.ReadU32();
        if (!c.Ok()) {
            break;
        }
        const std::uint32_t dwBytesInRes = SharedFields(stored).dwBytesInRes;
        if (dwBytesInRes == 0 || dwBytesInRes > kMaxImageBytes || dwImageOffset < span.size ||
            !source.Contains(dwImageOffset, dwBytesInRes)) {
            continue;
        }
        GroupImage image;
        image.offset = dwImageOffset;
        image.byteSize = dwBytesInRes;
        Describe(source, image, stored);
        group.images.push_back(image);
    }
}

void ReadBmpGroup(ByteSource& source, IconGroupInfo& group) {
    const auto head =
        source.Read(0, std::min<std::uint64_t>(source.Size(), icons::kBitmapProbeBytes));
    const auto info = head ? icons::ProbeBitmapFile(*head, source.Size()) : std::nullopt;
    if (!info) {
        return;
    }
    GroupImage image;
    image.width = info->width;
    image.height = info->height;
    image.bitCount = info->bitCount;
    image.colourCount = info->bitCount <= 8 ? 1 << info->bitCount : 0;
    image.byteSize = static_cast<std::uint32_t>(source.Size());
    group.images.push_back(image);
}

void AppendU16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void AppendU32(Bytes& out, std::uint32_t value) {
    AppendU16(out, static_cast<std::uint16_t>(value));
    AppendU16(out, static_cast<std::uint16_t>(value >> 16));
}

std::optional<IconGroupInfo> ReadGroup(const std::string& nativePath, int index, bool withKey) {
    std::optional<IconGroupInfo> result;
    try {
        const std::string dataPath = icons::IconDataPath(nativePath);
        icons::WithIndexedFile(nativePath, [&](ByteSource& source, ContainerIndex& container) {
            if (index < 0 || index >= container.Count()) {
                return;
            }
            IconGroupInfo group;
            group.path = nativePath;
            group.dataPath = dataPath.empty() ? nativePath : dataPath;
            group.index = index;
            group.kind = container.kind;
            switch (container.kind) {
            case ContainerKind::Pe:
            case ContainerKind::Ne:
                ReadModuleGroup(source, container, group, withKey);
                break;
            case ContainerKind::Ico:
                ReadIcoGroup(source, container, group);
                break;
            case ContainerKind::Bmp:
                ReadBmpGroup(source, group);
                break;
            case ContainerKind::None:
                return;
            }
            result = std::move(group);
        });
    } catch (...) {
        result.reset();
    }
    return result;
}

} // namespace

std::optional<IconGroupInfo> ReadIconGroup(const std::string& nativePath, int index) {
    return ReadGroup(nativePath, index, true);
}

std::optional<Bytes> ReadImageBytes(const IconGroupInfo& group, std::size_t image) {
    if (image >= group.images.size()) {
        return std::nullopt;
    }
    auto source = icons::FileSource::Open(group.dataPath);
    if (!source) {
        return std::nullopt;
    }
    return source->Read(group.images[image].offset, group.images[image].byteSize);
}

std::optional<Bytes> SingleImageIconFile(const IconGroupInfo& group, std::size_t image) {
    if (group.kind == ContainerKind::Bmp) {
        return BuildGroupIconFile(group.path, group.index);
    }
    const auto bytes = ReadImageBytes(group, image);
    if (!bytes) {
        return std::nullopt;
    }
    Bytes file;
    AppendU16(file, 0);
    AppendU16(file, 1);
    AppendU16(file, 1);
    file.insert(file.end(), group.images[image].entry, group.images[image].entry + 8);
    AppendU32(file, static_cast<std::uint32_t>(bytes->size()));
    AppendU32(file, 22);
    file.insert(file.end(), bytes->begin(), bytes->end());
    return file;
}

std::optional<IconImage> DecodeGroupImage(const IconGroupInfo& group, std::size_t image) {
    const auto bytes = ReadImageBytes(group, image);
    if (!bytes) {
        return std::nullopt;
    }
    try {
        return group.kind == ContainerKind::Bmp ? icons::DecodeBitmapFile(*bytes)
                                                : icons::DecodeIconImage(*bytes);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<int> IndexOfResourceId(const std::string& nativePath, std::uint32_t id) {
    std::optional<int> found;
    try {
        icons::WithIndexedFile(nativePath, [&](ByteSource& source, ContainerIndex& container) {
            if (container.kind != ContainerKind::Pe && container.kind != ContainerKind::Ne) {
                return;
            }
            const auto keys = icons::ModuleGroupKeys(source);
            for (std::size_t i = 0; i < keys.size() && i < container.groups.size(); ++i) {
                if (!keys[i].named && keys[i].id == id) {
                    found = static_cast<int>(i);
                    return;
                }
            }
        });
    } catch (...) {
        found.reset();
    }
    return found;
}

std::optional<Bytes> BuildGroupIconFile(const std::string& nativePath, int index) {
    try {
        const auto group = ReadGroup(nativePath, index, false);
        if (!group || group->images.empty()) {
            return std::nullopt;
        }
        if (group->kind == ContainerKind::Ico) {
            auto source = icons::FileSource::Open(group->dataPath);
            if (!source || source->Size() > kMaxIconFileBytes) {
                return std::nullopt;
            }
            return source->Read(0, source->Size());
        }
        if (group->kind == ContainerKind::Bmp) {
            const auto icon = icons::ExtractIcon(nativePath, index);
            if (!icon) {
                return std::nullopt;
            }
            return iconfile::EncodeIconFile32(*icon);
        }
        auto source = icons::FileSource::Open(group->dataPath);
        if (!source) {
            return std::nullopt;
        }
        const auto count = static_cast<std::uint32_t>(group->images.size());
        Bytes file;
        AppendU16(file, group->reserved);
        AppendU16(file, group->type);
        AppendU16(file, static_cast<std::uint16_t>(count));
        std::uint32_t offset = 6 + 16 * count;
        for (const auto& image : group->images) {
            file.insert(file.end(), std::begin(image.entry), std::end(image.entry));
            AppendU32(file, offset);
            offset += image.byteSize;
        }
        for (const auto& image : group->images) {
            const auto bytes = source->Read(image.offset, image.byteSize);
            if (!bytes) {
                return std::nullopt;
            }
            file.insert(file.end(), bytes->begin(), bytes->end());
        }
        return file;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace glyptor::icongroup
