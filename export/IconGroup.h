// The icon as Windows stores it: for one found icon (file and index), its group's resource id or
// name and language, and every image of the group with its size, depth, format and bytes. The
// model is read on demand from the icon source's cached directory, so the scan and the grid's
// records stay as they are; image bytes are read only when asked for.
#pragma once

#include "formats/ByteCursor.h"
#include "formats/IconContainer.h"
#include "formats/IconImage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace glyptor::icongroup {

using icons::Bytes;

// One image of a group, as its directory entry and its header describe it.
struct GroupImage {
    int width = 0;  // 256 where the entry stores 0
    int height = 0; // likewise
    int bitCount = 0;
    int colourCount = 0; // the entry's palette size, else 2^bits up to 8 bits, else 0
    bool png = false;
    std::uint32_t byteSize = 0;
    // Where the bytes are in the data file, and the first 12 bytes of the directory entry as
    // stored (everything but the id or offset), which a rebuilt group keeps unchanged.
    std::uint64_t offset = 0;
    std::uint8_t entry[12]{};
};

struct IconGroupInfo {
    std::string path;     // the file the icon was found in
    std::string dataPath; // the file its bytes come from (the path, or its .mun file)
    int index = 0;
    icons::ContainerKind kind = icons::ContainerKind::None;
    // The resource key, for modules only (PE and NE).
    bool hasKey = false;
    bool named = false;
    std::uint32_t id = 0;
    std::string name;
    std::uint32_t language = 0;
    // The group directory's header fields as stored.
    std::uint16_t reserved = 0;
    std::uint16_t type = 1;
    // Size of the group directory resource (modules only). icoutils' wrestool writes this many
    // bytes of uninitialised memory after the images of a group it extracts; our files end
    // with the last image.
    std::uint32_t groupBytes = 0;
    // In the group's order; entries naming an image the file does not have are left out. A
    // .bmp file has one image: the picture itself.
    std::vector<GroupImage> images;
};

// The group of icon `index` of the file at the native path, or nothing when the file has no such
// icon. Never throws.
std::optional<IconGroupInfo> ReadIconGroup(const std::string& nativePath, int index);

// The original bytes of one image of the group, or nothing when they cannot be read (the file
// changed or went away).
std::optional<Bytes> ReadImageBytes(const IconGroupInfo& group, std::size_t image);

// One image of the group alone as an .ico file: its entry as stored with the real size and
// offset, then its bytes (a .bmp picture: the 32-bit icon of BuildGroupIconFile).
std::optional<Bytes> SingleImageIconFile(const IconGroupInfo& group, std::size_t image);

// One image of the group decoded at its own size (a DIB without alpha takes its AND mask).
std::optional<IconImage> DecodeGroupImage(const IconGroupInfo& group, std::size_t image);

// The icon index of the group with resource id `id` in a module (what "FILE,-ID" names in a
// Windows shell path), or nothing.
std::optional<int> IndexOfResourceId(const std::string& nativePath, std::uint32_t id);

// The whole group as a multi-image .ico file: the images in the group's order, each image's bytes
// as stored (PNG images stay PNG), each directory entry as the group stores it with the real
// offset, which is what resource extractors write. An .ico source gives its own bytes, a .bmp
// source a 32-bit icon of the picture fitted into the standard size. Nothing when the icon
// cannot be read.
std::optional<Bytes> BuildGroupIconFile(const std::string& nativePath, int index);

} // namespace glyptor::icongroup
