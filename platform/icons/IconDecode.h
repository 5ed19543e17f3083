// The toolkit side of the icon containers: decoding the images a container names (PNG ones
// through Qt), charged to the file's decode budget, and scaling them to the icon size with Qt's
// smooth scaler. The parsing itself is formats/IconContainer.h.
#pragma once

#include "formats/IconContainer.h"
#include "formats/IconImages.h"

#include <cstdint>
#include <optional>
#include <span>

namespace glyptor::icons {

// Decodes one icon image at its own size: a DIB whose height counts the colour rows and the AND
// mask rows, or a PNG. A 1-bit image becomes a monochrome icon.
std::optional<IconImage> DecodeIconImage(std::span<const std::uint8_t> image);

// Decodes one candidate at its own size, charged to the file's ledger: nothing once the file's
// budget is spent or when the same image failed before.
std::optional<IconImage> DecodeCandidate(ByteSource& source, ContainerIndex& index,
                                         const ImageCandidate& candidate);

// Icon `group` of the container at `size` x `size`: the preferred image, scaled smoothly when
// it has another size (a bitmap is fitted with its aspect kept). `chosen` receives the facts of
// the image used.
std::optional<IconImage> ExtractFromContainer(ByteSource& source, ContainerIndex& index, int group,
                                              int size, IconImageInfo* chosen = nullptr);

// Resizes an icon to `size` x `size`: smoothly for colour icons, by nearest pixel for monochrome
// ones so they stay black and white.
IconImage ScaleIcon(const IconImage& icon, int size);
// Fits a picture into `size` x `size` with its aspect kept, centred, transparent around it.
IconImage FitPicture(const IconImage& picture, int size);

} // namespace glyptor::icons
