// Translation between the program's paths ("C:\DIR\FILE", drive letters, "\" separators,
// letters compared without regard to case) and native Linux paths.
#pragma once

#include "platform/core/Drives.h"

#include <optional>
#include <string>

namespace glyptor::platform {

// The native path of a program path. Each component that does not exist as written is looked
// up without regard to letter case among the entries of its folder; a component that matches
// nothing is kept as written (the path may name a file about to be created). Nothing when the
// drive letter has no drive.
std::optional<std::string> ToNativePath(const DriveTable& drives, const std::string& path);

// The program path of a native path: the drive with the longest matching folder, then the
// components joined by "\". Nothing when no drive holds it or a component contains "\",
// which a program path cannot represent.
std::optional<std::string> ToProgramPath(const DriveTable& drives, const std::string& nativePath);

// Upper-cases ASCII and Cyrillic letters of a UTF-8 text, as paths are compared.
std::string UpperCase(const std::string& text);

} // namespace glyptor::platform
