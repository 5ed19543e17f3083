// Recognition of icon containers by content, the icon directories of .ico files and group
// resources, and the choice of the image that stands for a group at one size.
#include "formats/IconContainer.h"

#include "formats/IconDirectory.h"
#include "formats/ModuleResources.h"

#include <algorithm>
#include <numeric>

namespace glyptor::icons {

namespace {

// A group lists at most this many images; the rest are not looked at, which bounds the reads a
// hostile group can cause. Real groups hold a dozen or so.
constexpr std::size_t kMaxGroupEntries = 256;
// Icon image bytes beyond this are never read: a 1024 x 1024 image at 32 bits with its mask
// needs less.
constexpr std::uint32_t kMaxImageBytes = 1024 * 1024 * 4 + 1024 * 128 + 2048;

using formats::ICONDIR;
using formats::kIconDirEntrySize;
using formats::kIconDirSize;

std::optional<ImageCandidate> Probe(ByteSource& source, ResourceSpan span) {
    Bytes storage;
    const auto head =
        source.Look(span.offset, std::min<std::uint64_t>(span.size, kIconProbeBytes), storage);
    if (!head) {
        return std::nullopt;
    }
    const auto info = ProbeIconImage(*head);
    if (!info) {
        return std::nullopt;
    }
    return ImageCandidate{*info, span};
}

// The image bytes an icon file's directory names that the file can deliver: entries whose bytes
// lie in the file past the directory, each offset once, at most `limit` of them. Unusable
// entries cost no reads, so a directory of 65535 entries with one real image among them is
// cheap to walk. The count and the extraction both go through here, so they agree on which
// entries an icon file has.
std::vector<ResourceSpan> IcoSpans(ByteSource& source, std::span<const std::uint8_t> bytes,
                                   std::uint32_t dirSize, std::size_t limit) {
    std::vector<ResourceSpan> spans;
    ByteCursor c(bytes);
    c.Skip(4);
    const std::uint16_t count = c.ReadU16();
    for (std::size_t i = 0; i < count && spans.size() < limit && c.Ok(); ++i) {
        const auto entry = formats::ReadIconDirEntry(c);
        if (!c.Ok() || entry.dwBytesInRes == 0 || entry.dwImageOffset < dirSize) {
            continue;
        }
        const ResourceSpan span{entry.dwImageOffset, std::min(entry.dwBytesInRes, kMaxImageBytes)};
        if (!source.Contains(span.offset, span.size)) {
            continue;
        }
        // The same image listed again is the same image: one span, its longest extent.
        const auto same = std::find_if(spans.begin(), spans.end(), [&](const ResourceSpan& seen) {
            return seen.offset == span.offset;
        });
        if (same != spans.end()) {
            same->size = std::max(same->size, span.size);
        } else {
            spans.push_back(span);
        }
    }
    return spans;
}

// An .ico file: a valid directory naming at least one image whose bytes are in the file.
ContainerIndex IndexIcoFile(ByteSource& source) {
    ContainerIndex index;
    index.refusal = {RefusalKind::NotAContainer, 0};
    const auto head = source.Read(0, kIconDirSize);
    if (!head) {
        return index;
    }
    ByteCursor c(*head);
    const ICONDIR dir = formats::ReadIconDir(c);
    if (dir.idReserved != 0 || dir.idType != 1 || dir.idCount == 0) {
        return index;
    }
    const auto dirSize = static_cast<std::uint32_t>(kIconDirSize + kIconDirEntrySize * dir.idCount);
    const auto bytes = source.Read(0, dirSize);
    if (!bytes) {
        index.refusal = {RefusalKind::TruncatedHeader, kIconDirSize};
        return index;
    }
    if (IcoSpans(source, *bytes, dirSize, 1).empty()) {
        index.refusal = {RefusalKind::NoIconImages, kIconDirSize};
        return index;
    }
    index.refusal = {};
    index.kind = ContainerKind::Ico;
    index.groups.push_back(ResourceSpan{0, dirSize});
    return index;
}

ContainerIndex IndexBmpFile(ByteSource& source) {
    ContainerIndex index;
    index.refusal = {RefusalKind::NotAContainer, 0};
    const auto head = source.Read(0, std::min<std::uint64_t>(source.Size(), kBitmapProbeBytes));
    if (!head || head->size() < 2 || (*head)[0] != 'B' || (*head)[1] != 'M') {
        return index;
    }
    if (source.Size() > UINT32_MAX) {
        index.refusal = {RefusalKind::BadBitmap, 2}; // bfSize cannot hold the file's size
        return index;
    }
    const auto check = formats::CheckBitmapFile(*head, source.Size(), formats::DibUse::BitmapFile);
    if (!check.format) {
        index.refusal = {RefusalKind::BadBitmap, check.problem.offset, check.problem.kind};
        return index;
    }
    index.refusal = {};
    index.kind = ContainerKind::Bmp;
    index.groups.push_back(ResourceSpan{0, static_cast<std::uint32_t>(source.Size())});
    return index;
}

std::vector<ImageCandidate> IcoImages(ByteSource& source, ResourceSpan directory) {
    const auto bytes = source.Read(directory.offset, directory.size);
    if (!bytes) {
        return {};
    }
    std::vector<ImageCandidate> candidates;
    for (const ResourceSpan& span : IcoSpans(source, *bytes, directory.size, kMaxGroupEntries)) {
        if (auto candidate = Probe(source, span)) {
            candidates.push_back(*candidate);
        }
    }
    return candidates;
}

std::vector<ImageCandidate> ResourceGroupImages(ByteSource& source, ContainerIndex& index,
                                                ResourceSpan group) {
    std::vector<ImageCandidate> candidates;
    const auto size = std::min<std::uint32_t>(group.size, 6 + 14 * kMaxGroupEntries);
    // A copy, not a look: the probes below read on, and may reuse the memory a look points into.
    const auto bytes = source.Read(group.offset, size);
    if (!bytes) {
        return candidates;
    }
    IndexIcons(source, index);
    ByteCursor c(*bytes);
    // idReserved and idType are not checked: the resource type already says this is an icon
    // group, and some resource compilers leave both fields 0.
    c.Skip(4);
    const std::uint16_t count = c.ReadU16();
    for (std::size_t i = 0; i < count && i < kMaxGroupEntries; ++i) {
        const auto entry = formats::ReadGrpIconDirEntry(c);
        if (!c.Ok()) {
            break;
        }
        const auto found =
            std::lower_bound(index.icons.begin(), index.icons.end(), entry.nID,
                             [](const auto& icon, std::uint32_t id) { return icon.first < id; });
        if (found == index.icons.end() || found->first != entry.nID) {
            continue; // the group names an image the module does not have
        }
        ResourceSpan span = found->second;
        span.size = std::min(span.size, kMaxImageBytes);
        // Groups that list one image many times (under one id or several ids sharing its
        // bytes) give it once: probing and decoding it again would only cost time.
        const auto same = std::find_if(candidates.begin(), candidates.end(), [&](const auto& seen) {
            return seen.data.offset == span.offset;
        });
        if (same != candidates.end()) {
            same->data.size = std::max(same->data.size, span.size);
            continue;
        }
        if (auto candidate = Probe(source, span)) {
            candidates.push_back(*candidate);
        }
    }
    return candidates;
}

} // namespace

const char* DescribeRefusal(RefusalKind kind) {
    switch (kind) {
    case RefusalKind::None:
        return "has icons";
    case RefusalKind::NotAContainer:
        return "not a PE or NE module, icon or bitmap file";
    case RefusalKind::TruncatedHeader:
        return "header runs past the end of the file";
    case RefusalKind::UnsupportedHeader:
        return "unsupported executable header";
    case RefusalKind::NoResources:
        return "no resource directory";
    case RefusalKind::ResourceOutOfFile:
        return "resource data outside the file";
    case RefusalKind::ResourceDirectoryLoop:
        return "resource directory loop";
    case RefusalKind::TooManyResources:
        return "too many resource entries";
    case RefusalKind::NoIconGroups:
        return "no icon groups";
    case RefusalKind::NoIconImages:
        return "icon directory names no image in the file";
    case RefusalKind::BadBitmap:
        return "bitmap header refused";
    case RefusalKind::OutOfMemory:
        return "out of memory";
    }
    return "unknown";
}

ContainerIndex IndexContainer(ByteSource& source, bool withIcons) {
    try {
        auto module = IndexModule(source, withIcons);
        if (module.kind != ContainerKind::None) {
            return module;
        }
        auto ico = IndexIcoFile(source);
        if (ico.kind != ContainerKind::None) {
            return ico;
        }
        auto bmp = IndexBmpFile(source);
        // Nothing recognised: the reason comes from the format the file started out as.
        if (bmp.kind == ContainerKind::None) {
            for (const ContainerIndex* refused : {&module, &ico}) {
                if (refused->refusal.kind != RefusalKind::NotAContainer) {
                    bmp.refusal = refused->refusal;
                    break;
                }
            }
        }
        return bmp;
    } catch (const std::bad_alloc&) {
        ContainerIndex index;
        index.refusal = {RefusalKind::OutOfMemory, 0};
        return index;
    }
}

void IndexIcons(ByteSource& source, ContainerIndex& index) {
    if (index.iconsIndexed ||
        (index.kind != ContainerKind::Pe && index.kind != ContainerKind::Ne)) {
        return;
    }
    auto full = IndexModule(source, true);
    index.icons = std::move(full.icons);
    index.iconsIndexed = true;
}

std::vector<ImageCandidate> GroupImages(ByteSource& source, ContainerIndex& index, int group) {
    if (group < 0 || group >= index.Count()) {
        return {};
    }
    const ResourceSpan span = index.groups[static_cast<std::size_t>(group)];
    switch (index.kind) {
    case ContainerKind::Pe:
    case ContainerKind::Ne:
        return ResourceGroupImages(source, index, span);
    case ContainerKind::Ico:
        return IcoImages(source, span);
    default:
        return {};
    }
}

std::uint64_t BitmapBytesLength(const ByteSource& source) {
    // Rows of the largest bitmap at 32 bits, plus room for headers, a colour table and a gap
    // before the rows.
    constexpr std::uint64_t kMaxBitmapFileBytes = kMaxBitmapPixels * 4 + (1u << 20);
    return std::min(source.Size(), kMaxBitmapFileBytes);
}

std::optional<Bytes> ReadBitmapBytes(ByteSource& source) {
    return source.Read(0, BitmapBytesLength(source));
}

std::vector<std::size_t> RankForSize(const std::vector<ImageCandidate>& candidates, int size) {
    enum Fit { Exact = 0, Larger = 1, Smaller = 2 };
    const auto fitOf = [size](const IconImageInfo& info) {
        if (info.width == size && info.height == size) {
            return Exact;
        }
        return info.width >= size && info.height >= size ? Larger : Smaller;
    };
    std::vector<std::size_t> order(candidates.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const auto& x = candidates[a].info;
        const auto& y = candidates[b].info;
        const Fit fx = fitOf(x);
        const Fit fy = fitOf(y);
        if (fx != fy) {
            return fx < fy;
        }
        const std::int64_t areaX = std::int64_t{x.width} * x.height;
        const std::int64_t areaY = std::int64_t{y.width} * y.height;
        if (fx == Larger && areaX != areaY) {
            return areaX < areaY;
        }
        if (fx == Smaller && areaX != areaY) {
            return areaX > areaY;
        }
        return x.bitCount > y.bitCount;
    });
    return order;
}

} // namespace glyptor::icons
