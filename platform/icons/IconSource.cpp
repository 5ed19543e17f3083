// The icon source behind the scanner and the grid: opens files safely, follows the Windows 10
// redirection of system library icons to SystemResources, and keeps the parsed directories of
// the last few files so that the grid's neighbouring icons cost one parse. Counting and
// fingerprinting need no toolkit and live here; decoding pictures is IconExtract.cpp.
#include "platform/icons/IconSource.h"

#include "formats/IconContainer.h"
#include "platform/icons/FileSource.h"
#include "platform/icons/IconSourceInternal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <list>
#include <memory>
#include <system_error>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>

namespace glyptor::icons {

namespace {

namespace fs = std::filesystem;

// The grid asks for icons of a handful of files at a time; more entries would only hold memory.
constexpr std::size_t kCacheCapacity = 8;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) {
        return static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    });
    return text;
}

constexpr std::size_t kListingCapacity = 4;

const FolderListing* ListFolder(std::list<FolderListing>& listings, const fs::path& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return nullptr;
    }
    const std::int64_t mtimeNs =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    const auto hit = std::find_if(listings.begin(), listings.end(), [&](const FolderListing& l) {
        return l.folder == folder.string();
    });
    if (hit != listings.end()) {
        if (hit->mtimeNs == mtimeNs) {
            listings.splice(listings.begin(), listings, hit);
            return &listings.front();
        }
        listings.erase(hit);
    }
    FolderListing listing;
    listing.folder = folder.string();
    listing.mtimeNs = mtimeNs;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        listing.byLowerName.emplace(Lower(name), name);
    }
    listings.push_front(std::move(listing));
    while (listings.size() > kListingCapacity) {
        listings.pop_back();
    }
    return &listings.front();
}

// The entry of `folder` whose name equals `name` without regard to letter case: the exact name
// first, since a Windows partition mounted on Linux usually keeps the letter case Windows wrote.
std::optional<fs::path> FindIgnoringCase(std::list<FolderListing>& listings, const fs::path& folder,
                                         const std::string& name, bool wantFolder) {
    const auto matches = [wantFolder](const fs::path& candidate) {
        struct stat st {};
        return ::stat(candidate.c_str(), &st) == 0 &&
               (wantFolder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode));
    };
    // Once the folder is listed (the exact name was missing before), a listing without the name
    // in any letter case answers alone: a System32 of thousands of libraries asks for the same
    // missing name for each of them.
    const bool listed = std::any_of(listings.begin(), listings.end(), [&](const FolderListing& l) {
        return l.folder == folder.string();
    });
    if (listed) {
        const FolderListing* current = ListFolder(listings, folder);
        if (current && !current->byLowerName.contains(Lower(name))) {
            return std::nullopt;
        }
    }
    if (const auto exact = folder / name; matches(exact)) {
        return exact;
    }
    const FolderListing* listing = ListFolder(listings, folder);
    if (!listing) {
        return std::nullopt;
    }
    const auto found = listing->byLowerName.find(Lower(name));
    if (found == listing->byLowerName.end() || !matches(folder / found->second)) {
        return std::nullopt;
    }
    return folder / found->second;
}

// Windows 10 and later keep the icons of system libraries such as shell32.dll out of the
// library, in ..\SystemResources\NAME.mun beside System32 and SysWOW64.
std::optional<std::string> SystemResourcesFile(std::list<FolderListing>& listings,
                                               const std::string& nativePath) {
    // Every module without icons of its own comes here; few are in such a folder, and telling
    // that from the text costs no path objects.
    const std::string lowerPath = Lower(nativePath);
    if (lowerPath.find("system32") == std::string::npos &&
        lowerPath.find("syswow64") == std::string::npos) {
        return std::nullopt;
    }
    const fs::path file(nativePath);
    const fs::path folder = file.parent_path();
    const std::string folderName = Lower(folder.filename().string());
    if (folderName != "system32" && folderName != "syswow64") {
        return std::nullopt;
    }
    const auto resources =
        FindIgnoringCase(listings, folder.parent_path(), "SystemResources", true);
    if (!resources) {
        return std::nullopt;
    }
    const auto mun =
        FindIgnoringCase(listings, *resources, file.filename().string() + ".mun", false);
    if (!mun) {
        return std::nullopt;
    }
    return mun->string();
}

// Fingerprinting a small file visits most of it (headers, directories, the group and image
// entries, the images): one read of all of it is cheaper than a read for each.
void ReadWholeForHashes(FileSource& source) {
    constexpr std::uint64_t kReadWholeForHashes = 64 * 1024;
    source.ReadWholeUpTo(kReadWholeForHashes);
}

} // namespace

IconSourceCache::IconSourceCache() : state_(std::make_unique<State>()) {}
IconSourceCache::~IconSourceCache() = default;

void IconSourceCache::Clear() {
    state_->files.clear();
    state_->listings.clear();
}

void IconSourceCache::CloseScannedFilesInRuns() {
    if (!state_->scannedFiles) {
        state_->scannedFiles.emplace();
    }
}

void IconSourceCache::CloseScannedFiles() {
    if (state_->scannedFiles) {
        state_->scannedFiles->Flush();
    }
}

std::optional<OpenedFile> OpenIndexed(IconSourceCache::State& state, const std::string& nativePath,
                                      int dirFd, const std::string* name, bool listedRegular,
                                      FileIdentity* identity, bool forHashes) {
    auto source = FileSource::OpenAt(dirFd, name ? *name : nativePath, listedRegular);
    // Out of descriptors with some of them only held for closing: they were never needed.
    if (!source && errno == EMFILE && state.scannedFiles && state.scannedFiles->Flush()) {
        source = FileSource::OpenAt(dirFd, name ? *name : nativePath, listedRegular);
    }
    if (!source) {
        return std::nullopt;
    }
    return IndexOpened(state, nativePath, std::move(*source), identity, forHashes);
}

OpenedFile IndexOpened(IconSourceCache::State& state, const std::string& nativePath,
                       FileSource opened, FileIdentity* identity, bool forHashes) {
    std::optional<FileSource> source(std::move(opened));
    if (forHashes) {
        ReadWholeForHashes(*source);
    }
    if (identity) {
        *identity = source->Identity();
    }
    auto& cache = state.files;
    const auto hit = std::find_if(cache.begin(), cache.end(),
                                  [&](const CachedFile& f) { return f.path == nativePath; });
    if (hit != cache.end()) {
        if (hit->size == source->Size() && hit->mtimeNs == source->ModifiedNanoseconds()) {
            cache.splice(cache.begin(), cache, hit);
            if (hit->dataPath == nativePath) {
                return OpenedFile{std::move(*source), &*hit};
            }
            auto data = FileSource::Open(hit->dataPath);
            if (data && hit->dataSize == data->Size() &&
                hit->dataMtimeNs == data->ModifiedNanoseconds()) {
                return OpenedFile{std::move(*data), &*hit};
            }
        }
        cache.erase(hit);
    }

    CachedFile entry;
    entry.path = nativePath;
    entry.size = source->Size();
    entry.mtimeNs = source->ModifiedNanoseconds();
    entry.index = IndexContainer(*source, forHashes);
    if (entry.index.kind == ContainerKind::Pe && entry.index.Count() == 0) {
        if (const auto munPath = SystemResourcesFile(state.listings, nativePath)) {
            if (auto mun = FileSource::Open(*munPath)) {
                auto munIndex = IndexContainer(*mun, forHashes);
                if (munIndex.kind == ContainerKind::Pe && munIndex.Count() > 0) {
                    entry.dataPath = *munPath;
                    entry.dataSize = mun->Size();
                    entry.dataMtimeNs = mun->ModifiedNanoseconds();
                    entry.index = std::move(munIndex);
                    source = std::move(mun);
                }
            }
        }
    }
    if (entry.dataPath.empty()) {
        entry.dataPath = nativePath;
        entry.dataSize = entry.size;
        entry.dataMtimeNs = entry.mtimeNs;
    }
    cache.push_front(std::move(entry));
    while (cache.size() > kCacheCapacity) {
        cache.pop_back();
    }
    return OpenedFile{std::move(*source), &cache.front()};
}

int IconCount(IconSourceCache& cache, const std::string& nativePath) {
    try {
        const auto opened = OpenIndexed(IconSourceAccess::Of(cache), nativePath);
        return opened ? opened->entry->index.Count() : 0;
    } catch (...) {
        return 0;
    }
}

std::optional<int> IconCountAt(IconSourceCache& cache, int dirFd, const std::string& name,
                               const std::string& nativePath, bool listedRegular) {
    const auto scanned = ScanFileAt(cache, dirFd, name, nativePath, listedRegular, false);
    return scanned ? std::optional<int>(scanned->count) : std::nullopt;
}

namespace {

// A word-at-a-time multiply-and-fold hash: images are a few kilobytes (a bitmap file up to a
// few megabytes), the hash only has to tell repeats apart, and a scan that folds repeats hashes
// every icon, so speed counts more than strength. Four lanes take turns over the words, so that
// the processor works on four multiplications at once.
class RangeHasher {
public:
    explicit RangeHasher(std::uint64_t length) {
        const std::uint64_t seed = 0xcbf29ce484222325ull ^ (length * kMultiplier);
        for (int lane = 0; lane < 4; ++lane) {
            lanes_[lane] = seed + static_cast<std::uint64_t>(lane);
        }
    }
    // Takes the whole 32-byte blocks at the front of `bytes`; returns how many bytes it took.
    std::size_t Blocks(std::span<const std::uint8_t> bytes) {
        std::size_t i = 0;
        for (; i + 32 <= bytes.size(); i += 32) {
            for (int lane = 0; lane < 4; ++lane) {
                std::uint64_t word;
                std::memcpy(&word, bytes.data() + i + 8 * lane, 8);
                Mix(lanes_[lane], word);
            }
        }
        return i;
    }
    // The hash of the range, given its last bytes after the blocks (fewer than 32).
    std::uint64_t Finish(std::span<const std::uint8_t> rest) const {
        std::uint64_t hash = lanes_[0];
        for (int lane = 1; lane < 4; ++lane) {
            Mix(hash, lanes_[lane]);
        }
        std::size_t i = 0;
        for (; i + 8 <= rest.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, rest.data() + i, 8);
            Mix(hash, word);
        }
        std::uint64_t tail = 0;
        if (i < rest.size()) {
            std::memcpy(&tail, rest.data() + i, rest.size() - i);
        }
        Mix(hash, tail);
        return hash;
    }

private:
    static constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    static void Mix(std::uint64_t& hash, std::uint64_t word) {
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    }
    std::uint64_t lanes_[4];
};

// The hash of `length` bytes at `offset`: straight from the source's memory when it holds them
// (a small file read whole), else through one small buffer that stays in the processor's cache.
// Nothing when the range cannot be read.
std::optional<std::uint64_t> HashRange(ByteSource& source, std::uint64_t offset,
                                       std::uint64_t length) {
    constexpr std::size_t kChunk = 64 * 1024; // a multiple of the 32 bytes the lanes take
    if (!source.Contains(offset, length)) {
        return std::nullopt;
    }
    RangeHasher hasher(length);
    if (const auto held = source.View(offset, length); length > 0 && held.size() == length) {
        return hasher.Finish(held.subspan(hasher.Blocks(held)));
    }
    std::vector<std::uint8_t> chunk(
        static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk)));
    for (std::uint64_t done = 0;;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length - done, kChunk));
        const std::span<std::uint8_t> part(chunk.data(), n);
        if (!source.ReadAt(offset + done, part)) {
            return std::nullopt;
        }
        const std::size_t taken = hasher.Blocks(part);
        done += n;
        if (done == length) {
            return hasher.Finish(std::span<const std::uint8_t>(part).subspan(taken));
        }
    }
}

// Throws what the parsers throw; the callers catch.
std::vector<std::optional<std::uint64_t>> HashesOf(OpenedFile& opened) {
    ContainerIndex& container = opened.entry->index;
    std::vector<std::optional<std::uint64_t>> hashes(static_cast<std::size_t>(container.Count()));
    if (container.kind == ContainerKind::Bmp) {
        if (!hashes.empty()) {
            hashes.front() = HashRange(opened.source, 0, BitmapBytesLength(opened.source));
        }
        return hashes;
    }
    // The image each group shows: the first in rank order whose bytes lie in the file.
    std::vector<std::optional<ResourceSpan>> chosen(hashes.size());
    std::uint64_t first = opened.source.Size(), end = 0;
    for (int group = 0; group < container.Count(); ++group) {
        const auto candidates = GroupImages(opened.source, container, group);
        for (const std::size_t i : RankForSize(candidates, kStandardIconSize)) {
            const auto& data = candidates[i].data;
            if (opened.source.Contains(data.offset, data.size)) {
                chosen[static_cast<std::size_t>(group)] = data;
                first = std::min(first, data.offset);
                end = std::max(end, data.offset + data.size);
                break;
            }
        }
    }
    // A file's icon images usually sit side by side: one read for all of them, when they are
    // close enough together, instead of one for each.
    constexpr std::uint64_t kOneRead = 256 * 1024;
    std::optional<Bytes> together;
    if (first < end && end - first <= kOneRead &&
        opened.source.View(first, end - first).size() != end - first) {
        together = opened.source.Read(first, end - first);
    }
    SpanSource inMemory(together ? std::span<const std::uint8_t>(*together)
                                 : std::span<const std::uint8_t>());
    for (std::size_t group = 0; group < hashes.size(); ++group) {
        if (const auto& data = chosen[group]) {
            hashes[group] = together ? HashRange(inMemory, data->offset - first, data->size)
                                     : HashRange(opened.source, data->offset, data->size);
        }
    }
    return hashes;
}

} // namespace

std::vector<std::optional<std::uint64_t>> ChosenImageHashes(IconSourceCache& cache,
                                                            const std::string& nativePath) {
    try {
        auto opened = OpenIndexed(IconSourceAccess::Of(cache), nativePath);
        return opened ? HashesOf(*opened) : std::vector<std::optional<std::uint64_t>>{};
    } catch (...) {
        return {};
    }
}

namespace {

// A scan's read of one file: opened here, or already (`ahead`).
std::optional<ScannedFile> ScanFile(IconSourceCache& cache, int dirFd, const std::string& name,
                                    const std::string& nativePath, bool listedRegular,
                                    bool withHashes, FileSource* ahead) {
    ScannedFile scanned;
    std::optional<OpenedFile> opened;
    try {
        auto& state = IconSourceAccess::Of(cache);
        if (ahead) {
            opened =
                IndexOpened(state, nativePath, std::move(*ahead), &scanned.identity, withHashes);
        } else {
            opened = OpenIndexed(state, nativePath, dirFd, &name, listedRegular, &scanned.identity,
                                 withHashes);
        }
    } catch (...) {
        // The file was opened and found damaged: it holds no icons.
        return scanned;
    }
    if (!opened) {
        return std::nullopt;
    }
    if (auto& run = IconSourceAccess::Of(cache).scannedFiles) {
        opened->source.CloseThrough(&*run);
    }
    scanned.count = opened->entry->index.Count();
    if (withHashes && scanned.count > 0) {
        try {
            scanned.hashes = HashesOf(*opened);
        } catch (...) {
            scanned.hashes.assign(static_cast<std::size_t>(scanned.count), std::nullopt);
        }
    }
    return scanned;
}

} // namespace

std::optional<ScannedFile> ScanFileAt(IconSourceCache& cache, int dirFd, const std::string& name,
                                      const std::string& nativePath, bool listedRegular,
                                      bool withHashes) {
    return ScanFile(cache, dirFd, name, nativePath, listedRegular, withHashes, nullptr);
}

std::optional<FileSource> OpenAhead(int dirFd, const std::string& name, bool listedRegular,
                                    bool withHashes) {
    auto source = FileSource::OpenAt(dirFd, name, listedRegular);
    if (source) {
        if (withHashes) {
            ReadWholeForHashes(*source);
        }
        source->AdviseFirstRead();
    }
    return source;
}

std::optional<ScannedFile> ScanOpenedFile(IconSourceCache& cache, FileSource source,
                                          const std::string& nativePath, bool withHashes) {
    return ScanFile(cache, AT_FDCWD, nativePath, nativePath, false, withHashes, &source);
}

std::optional<std::uint64_t> ChosenImageHash(IconSourceCache& cache, const std::string& nativePath,
                                             int index) {
    const auto hashes = ChosenImageHashes(cache, nativePath);
    return index >= 0 && static_cast<std::size_t>(index) < hashes.size()
               ? hashes[static_cast<std::size_t>(index)]
               : std::nullopt;
}

std::string IconDataPath(IconSourceCache& cache, const std::string& nativePath) {
    try {
        const auto opened = OpenIndexed(IconSourceAccess::Of(cache), nativePath);
        return opened ? opened->entry->dataPath : std::string();
    } catch (...) {
        return {};
    }
}

// The calls without a cache parse the file afresh each time: correct, but a caller that asks for
// several icons of one file should own an IconSourceCache and pass it.
int IconCount(const std::string& nativePath) {
    IconSourceCache cache;
    return IconCount(cache, nativePath);
}

std::string IconDataPath(const std::string& nativePath) {
    IconSourceCache cache;
    return IconDataPath(cache, nativePath);
}

bool WithIndexedFile(IconSourceCache& cache, const std::string& nativePath,
                     const std::function<void(ByteSource& source, ContainerIndex& index)>& use) {
    auto opened = OpenIndexed(IconSourceAccess::Of(cache), nativePath);
    if (!opened) {
        return false;
    }
    use(opened->source, opened->entry->index);
    return true;
}

bool WithIndexedFile(const std::string& nativePath,
                     const std::function<void(ByteSource& source, ContainerIndex& index)>& use) {
    IconSourceCache cache;
    return WithIndexedFile(cache, nativePath, use);
}

} // namespace glyptor::icons
