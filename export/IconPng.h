// An icon as a PNG picture at a chosen size, with its transparency. The exact image of that size
// is taken when the group has one (the deepest, PNG counting as 32 bits), else the nearest larger
// image is scaled down smoothly (a smaller one scaled up only when none is larger); an image
// without alpha takes its AND mask as transparency. The program's save, drag and batch export
// and the command-line tool all go through here, so they agree pixel for pixel.
#pragma once

#include "export/IconGroup.h"

#include <QImage>

#include <optional>
#include <vector>

namespace glyptor::iconpng {

// The sizes offered for the group: its own square sizes plus 16, 24, 32, 48, 64, 128 and 256,
// ascending, each once.
std::vector<int> OfferedSizes(const icongroup::IconGroupInfo& group);

// The size of the group's largest image (256 at most for a .bmp picture); the default choice.
int LargestSize(const icongroup::IconGroupInfo& group);

// The icon at `size` x `size` by the rule above, or nothing when it cannot be decoded.
std::optional<IconImage> IconAtSize(const std::string& nativePath, int index, int size);

// The group's largest image (by area, the deepest among equals) at its own size, which need
// not be square; a .bmp picture fitted into LargestSize. Nothing when none can be decoded.
std::optional<IconImage> LargestImage(const std::string& nativePath, int index);

// The icon's pixels as a 32-bit picture with alpha.
QImage ToQImage(const IconImage& icon);

// The picture encoded as PNG; empty when encoding fails.
icongroup::Bytes EncodePng(const IconImage& icon);

// Icon `index` of the file as PNG bytes at `size` (0: its largest image as it is), or nothing.
std::optional<icongroup::Bytes> RenderPng(const std::string& nativePath, int index, int size = 0);

} // namespace glyptor::iconpng
