// The icon source: what the scanner and the grid ask of the platform about a file's icons.
// Formats are recognised by content (PE, NE, icon file, BMP), never by the file's name.
#pragma once

#include "platform/icons/IconImage.h"
#include "platform/icons/IconImages.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace glyptor::icons {

// The system's standard icon size; extracted icons have this width and height.
inline constexpr int kStandardIconSize = 32;

// Number of icons in the file at the native path; a number below 1 for a file without
// icons, a damaged or unreadable file, or anything that is not a regular file. Never throws.
int IconCount(const std::string& nativePath);

// Icon number `index` (0-based) of the file, 32 x 32, or nothing. Never throws.
std::optional<IconImage> ExtractIcon(const std::string& nativePath, int index);

// The functions above keep the parsed directories of the last few files (keyed by path, size and
// modification time), so extracting neighbouring icons of one file parses it once. The cache is
// not synchronised: call them from one thread.

// Like ExtractIcon, and says which of the icon's images was used (its own size and depth).
std::optional<IconImage> ExtractIcon(const std::string& nativePath, int index, int size,
                                     IconImageInfo* chosen);

// One of the images an icon is made of, at its own size.
struct SourceImage {
    IconImageInfo info;
    IconImage image;
};

// The images of icon `index` at their own sizes, in the order the file lists them (for a .bmp
// file: the picture itself). Images that cannot be decoded are left out. Never throws.
std::vector<SourceImage> ExtractSourceImages(const std::string& nativePath, int index);

// The file the icons of `nativePath` are read from: the file itself, or, for a system library
// whose icons Windows keeps in SystemResources\NAME.mun, that file. Empty when unreadable.
std::string IconDataPath(const std::string& nativePath);

class ByteSource;
struct ContainerIndex;

// Runs `use` on the file's icon data (the .mun file where IconDataPath names one) and its
// cached parsed directory, so that per-icon look-ups after a scan parse nothing again. Returns
// false, without calling `use`, when the file cannot be read. Exceptions of `use` pass through.
bool WithIndexedFile(const std::string& nativePath,
                     const std::function<void(ByteSource& source, ContainerIndex& index)>& use);

// Forgets every parsed directory.
void ClearIconCache();

} // namespace glyptor::icons
