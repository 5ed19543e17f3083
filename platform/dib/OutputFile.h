// Files the writers produce, replaced all or nothing: a save that fails for any reason (a
// picture that cannot be encoded, a full disk, a size limit, a crash) leaves the old file, or
// its absence, exactly as it was, and no partial file under any name.
#pragma once

#include "formats/BmpFile.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace glyptor::dib {

// The file could not be created or is not ours to replace; the message is
// "Cannot create file " + name.
class FileCreateError : public std::runtime_error {
public:
    explicit FileCreateError(const std::string& fileName);
};

// Writing, flushing or putting the file in place failed; the message names the file and the
// system's reason.
class FileWriteError : public std::runtime_error {
public:
    FileWriteError(const std::string& fileName, int errorNumber);
};

// Makes `bytes` the contents of the file at a native path. A regular file (or a new one) is
// written beside the old one under a hidden temporary name, flushed to the disk and renamed
// over it, so readers see the old contents or the new, never a mix; a replaced file keeps its
// mode, a new one gets 0666 less the umask. A symbolic link stays: the file it points to is
// replaced. A device or FIFO carrying the name is written in place, since it cannot be
// replaced. A file we may not write is refused rather than replaced through its folder.
// Throws FileCreateError or FileWriteError; on either, nothing has changed.
void ReplaceFileContents(const std::string& fileName, std::span<const std::uint8_t> bytes);

// Writes the BMP file of the picture (see EncodeBmp) to a native path through
// ReplaceFileContents. Throws FileCreateError or FileWriteError, or what EncodeBmp throws; after
// any of them the old file is untouched.
void SaveBmpFile(const std::string& fileName, const Bitmap& picture, unsigned bitsPerPixel);

// Removes exactly the regular file of that name: no wildcards; folders, devices and links are
// left alone. Returns false only when such a file exists and could not be removed.
bool RemoveExactFile(const std::string& fileName);

} // namespace glyptor::dib
