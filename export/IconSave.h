// Saving one icon as an .ico file on disk: the file is replaced all or nothing, and every
// failure (an icon the format cannot hold, a file that cannot be created or written, memory)
// comes back as one message for the caller to show. The save itself never shows, prints or
// throws anything.
#pragma once

#include "formats/IconFile.h"

#include <cstdint>
#include <iosfwd>
#include <string>

namespace glyptor::iconfile {

// Caption of the box that shows a failed save.
inline constexpr const char* kSaveErrorCaption = "Glyptor";

// What a save did: written, or the text to show ("File save error: " and the reason).
struct IconSaveResult {
    std::string errorText;

    bool Saved() const { return errorText.empty(); }
};

// Saves the icon to the native path at the depth code's colour count, replacing an existing
// file all or nothing (see dib::ReplaceFileContents). On failure the old file, or its absence,
// stays exactly as it was.
IconSaveResult SaveIconToFile(const std::string& fileName, const IconImage& icon,
                              std::uint8_t depthCode);

// A run of saves that remembers the colour count of the latest save, for a stream written after
// it in the same format. The caller owns it; nothing is shared between two writers.
class IconWriter {
public:
    // As the free SaveIconToFile, and remembers the depth code's colour count.
    IconSaveResult SaveIconToFile(const std::string& fileName, const IconImage& icon,
                                  std::uint8_t depthCode);

    // Writes the icon file at the colour count of the latest save (16 colours before the
    // first). Throws as the free WriteIconStream.
    void WriteIconStream(std::ostream& stream, const IconImage& icon) const;

private:
    std::uint32_t chosenColourCount_ = 16;
};

// Removes the file of exactly this name, if it exists. The name is never taken as a pattern:
// Linux names may contain "*" and "?", and a failed save must not take neighbours with it.
// Returns false when the file exists and could not be removed.
bool DeleteMatchingFiles(const std::string& fileName);

} // namespace glyptor::iconfile
