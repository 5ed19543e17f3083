// What the two halves of the icon source share and nobody else sees: the parsed-file cache's
// state and the one way into it. Reading and counting (IconSource.cpp) need no toolkit;
// decoding (IconExtract.cpp) sits on top and opens files through the same cache, so that the
// grid's neighbouring icons still cost one parse.
#pragma once

#include "platform/icons/FileSource.h"
#include "platform/icons/IconSource.h"

#include <fcntl.h>

#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>

namespace glyptor::icons {

// One file's parsed directory, valid while the file (and its .mun file) keep size and time.
struct CachedFile {
    std::string path;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::string dataPath; // the file the icons come from (path itself, or its .mun file)
    std::uint64_t dataSize = 0;
    std::int64_t dataMtimeNs = 0;
    ContainerIndex index;
};

// Names of a folder's entries by their lower-case form. A scan of System32 asks for the same
// SystemResources folder once per library, so listings are kept while the folder is unchanged.
struct FolderListing {
    std::string folder;
    std::int64_t mtimeNs = 0;
    std::unordered_map<std::string, std::string> byLowerName;
};

struct IconSourceCache::State {
    std::list<CachedFile> files;
    std::list<FolderListing> listings;
    std::optional<DescriptorRun> scannedFiles; // closes the files scans are done with, in runs
};

struct IconSourceAccess {
    static IconSourceCache::State& Of(IconSourceCache& cache) { return *cache.state_; }
};

struct OpenedFile {
    FileSource source; // the data file, positioned for reads
    CachedFile* entry = nullptr;
};

// Opens the file (`name` in `dirFd`, or `nativePath` itself) and finds its parsed directory in
// the cache, parsing it when the cached one is missing or stale; the source returned is the
// icon data file (the .mun file for a redirected system library). `identity` receives what was
// opened; `forHashes` reads a small file whole, since hashing visits most of it. Nothing when
// the file cannot be opened as a regular file; throws what the parsers throw.
std::optional<OpenedFile> OpenIndexed(IconSourceCache::State& state, const std::string& nativePath,
                                      int dirFd = AT_FDCWD, const std::string* name = nullptr,
                                      bool listedRegular = false, FileIdentity* identity = nullptr,
                                      bool forHashes = false);
// The same for a file opened already (by OpenAhead): never nothing.
OpenedFile IndexOpened(IconSourceCache::State& state, const std::string& nativePath,
                       FileSource source, FileIdentity* identity, bool forHashes);

} // namespace glyptor::icons
