// The icon source: what the scanner and the grid ask of the platform about a file's icons.
// Formats are recognised by content (PE, NE, icon file, BMP), never by the file's name.
#pragma once

#include "platform/icons/IconImage.h"

#include <optional>
#include <string>

namespace glyptor::icons {

// The system's standard icon size; extracted icons have this width and height.
inline constexpr int kStandardIconSize = 32;

// Number of icons in the file at the native path; a number below 1 for a file without
// icons, a damaged or unreadable file, or anything that is not a regular file. Never throws.
int IconCount(const std::string& nativePath);

// Icon number `index` (0-based) of the file, 32 x 32, or nothing. Never throws.
std::optional<IconImage> ExtractIcon(const std::string& nativePath, int index);

} // namespace glyptor::icons
