// The icon source: what the scanner and the grid ask of the platform about a file's icons.
// Formats are recognised by content (PE, NE, icon file, BMP), never by the file's name.
#pragma once

#include "formats/IconImage.h"
#include "platform/icons/FileSource.h"
#include "platform/icons/IconDecode.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace glyptor::formats {
class ByteSource;
}

namespace glyptor::icons {

using formats::ByteSource;
struct ContainerIndex;

// The system's standard icon size; extracted icons have this width and height.
inline constexpr int kStandardIconSize = 32;

// The parsed directories of the last few files (keyed by path, size and modification time) and
// the folder listings used to find SystemResources\NAME.mun, so that extracting neighbouring
// icons of one file parses it once. The caller owns it (the window keeps one for the grid and
// the scanner); it is not synchronised, so one cache serves one thread.
class IconSourceCache {
public:
    IconSourceCache();
    ~IconSourceCache();
    IconSourceCache(const IconSourceCache&) = delete;
    IconSourceCache& operator=(const IconSourceCache&) = delete;

    // Forgets every parsed directory and folder listing.
    void Clear();
    // Has the files that scans (ScanFileAt, ScanOpenedFile) are done with closed in runs, one
    // system call for many (see DescriptorRun): a few then stay open until a run is full,
    // CloseScannedFiles or the cache's end. For a cache that scans many files in a row, whose
    // owner calls CloseScannedFiles before it idles.
    void CloseScannedFilesInRuns();
    void CloseScannedFiles();

    struct State;

private:
    friend struct IconSourceAccess;
    std::unique_ptr<State> state_;
};

// Each call below exists with and without a cache; without one the file is parsed afresh.

// Number of icons in the file at the native path; a number below 1 for a file without
// icons, a damaged or unreadable file, or anything that is not a regular file. Never throws.
int IconCount(IconSourceCache& cache, const std::string& nativePath);
int IconCount(const std::string& nativePath);

// IconCount for the file `name` of the open folder `dirFd` (AT_FDCWD: `name` is a path), whose
// native path is `nativePath`; `listedRegular` as for FileSource::OpenAt. Nothing when the file
// could not be opened as a regular file, so that callers can tell unreadable from icon-less.
std::optional<int> IconCountAt(IconSourceCache& cache, int dirFd, const std::string& name,
                               const std::string& nativePath, bool listedRegular);

// The calls from here to ExtractSourceImages decode pictures: they are in glyptor_icons, which
// needs Qt Gui; everything else here is in glyptor_iconsource, which needs no toolkit.

// Icon number `index` (0-based) of the file, 32 x 32, or nothing. Never throws.
std::optional<IconImage> ExtractIcon(IconSourceCache& cache, const std::string& nativePath,
                                     int index);
std::optional<IconImage> ExtractIcon(const std::string& nativePath, int index);

// Like ExtractIcon, and says which of the icon's images was used (its own size and depth).
std::optional<IconImage> ExtractIcon(IconSourceCache& cache, const std::string& nativePath,
                                     int index, int size, IconImageInfo* chosen);
std::optional<IconImage> ExtractIcon(const std::string& nativePath, int index, int size,
                                     IconImageInfo* chosen);

// One of the images an icon is made of, at its own size.
struct SourceImage {
    IconImageInfo info;
    IconImage image;
};

// The images of icon `index` at their own sizes, in the order the file lists them (for a .bmp
// file: the picture itself). Images that cannot be decoded are left out. Never throws.
std::vector<SourceImage> ExtractSourceImages(IconSourceCache& cache, const std::string& nativePath,
                                             int index);
std::vector<SourceImage> ExtractSourceImages(const std::string& nativePath, int index);

// A fingerprint of the stored bytes of the image that icon `index` shows at 32 x 32 (for a .bmp
// file: of the file's bytes), so that repeats of one icon across files are found without
// decoding them. Reads the group's headers and that one image. Nothing when the icon has no
// readable image. Never throws.
std::optional<std::uint64_t> ChosenImageHash(IconSourceCache& cache, const std::string& nativePath,
                                             int index);
// The same for every icon of the file at once (one entry per icon), for callers that hash a
// whole file's icons: the file is opened and its directory looked up once.
std::vector<std::optional<std::uint64_t>> ChosenImageHashes(IconSourceCache& cache,
                                                            const std::string& nativePath);

// What a scan learns from a file in one open: its icon count (below 1 for none or damaged),
// which version of the file it was and, when asked for, ChosenImageHashes.
struct ScannedFile {
    int count = 0;
    FileIdentity identity;
    std::vector<std::optional<std::uint64_t>> hashes; // one per icon, or empty when not asked
};

// IconCountAt with the rest of what a scan wants from the same open. Nothing when the file
// could not be opened as a regular file. Never throws.
std::optional<ScannedFile> ScanFileAt(IconSourceCache& cache, int dirFd, const std::string& name,
                                      const std::string& nativePath, bool listedRegular,
                                      bool withHashes);

// Opens a file for ScanOpenedFile some time later (what ScanFileAt would open, with the same
// checks) and has the kernel start reading what that scan reads first: a reader can so keep
// several files' first reads in flight while it parses one.
std::optional<FileSource> OpenAhead(int dirFd, const std::string& name, bool listedRegular,
                                    bool withHashes);
// ScanFileAt for a file OpenAhead opened.
std::optional<ScannedFile> ScanOpenedFile(IconSourceCache& cache, FileSource source,
                                          const std::string& nativePath, bool withHashes);

// The file the icons of `nativePath` are read from: the file itself, or, for a system library
// whose icons Windows keeps in SystemResources\NAME.mun, that file. Empty when unreadable.
std::string IconDataPath(IconSourceCache& cache, const std::string& nativePath);
std::string IconDataPath(const std::string& nativePath);

// Runs `use` on the file's icon data (the .mun file where IconDataPath names one) and its parsed
// directory from `cache`, so that per-icon look-ups after a scan parse nothing again. Returns
// false, without calling `use`, when the file cannot be read. Exceptions of `use` pass through.
bool WithIndexedFile(IconSourceCache& cache, const std::string& nativePath,
                     const std::function<void(ByteSource& source, ContainerIndex& index)>& use);
bool WithIndexedFile(const std::string& nativePath,
                     const std::function<void(ByteSource& source, ContainerIndex& index)>& use);

} // namespace glyptor::icons
