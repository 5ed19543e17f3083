// The icon source behind the scanner and the grid: opens files safely, follows the Windows 10
// redirection of system library icons to SystemResources, and keeps the parsed directories of
// the last few files so that the grid's neighbouring icons cost one parse.
#include "platform/icons/IconSource.h"

#include "platform/icons/IconContainer.h"

#include <algorithm>
#include <filesystem>
#include <list>
#include <system_error>

namespace glyptor::icons {

namespace {

namespace fs = std::filesystem;

// The grid asks for icons of a handful of files at a time; more entries would only hold memory.
constexpr std::size_t kCacheCapacity = 8;

struct CachedFile {
    std::string path;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::string dataPath; // the file the icons come from (path itself, or its .mun file)
    std::uint64_t dataSize = 0;
    std::int64_t dataMtimeNs = 0;
    ContainerIndex index;
};

std::list<CachedFile>& Cache() {
    static std::list<CachedFile> cache;
    return cache;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) {
        return static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    });
    return text;
}

// The entry of `folder` whose name equals `name` without regard to letter case: the exact name
// first, since a Windows partition mounted on Linux usually keeps the letter case Windows wrote.
std::optional<fs::path> FindIgnoringCase(const fs::path& folder, const std::string& name,
                                         bool wantFolder) {
    std::error_code error;
    const auto matches = [&](const fs::path& candidate) {
        return wantFolder ? fs::is_directory(candidate, error)
                          : fs::is_regular_file(candidate, error);
    };
    if (const auto exact = folder / name; matches(exact)) {
        return exact;
    }
    const std::string wanted = Lower(name);
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (Lower(it->path().filename().string()) == wanted && matches(it->path())) {
            return it->path();
        }
    }
    return std::nullopt;
}

// Windows 10 and later keep the icons of system libraries such as shell32.dll out of the
// library, in ..\SystemResources\NAME.mun beside System32 and SysWOW64.
std::optional<std::string> SystemResourcesFile(const std::string& nativePath) {
    const fs::path file(nativePath);
    const fs::path folder = file.parent_path();
    const std::string folderName = Lower(folder.filename().string());
    if (folderName != "system32" && folderName != "syswow64") {
        return std::nullopt;
    }
    const auto resources = FindIgnoringCase(folder.parent_path(), "SystemResources", true);
    if (!resources) {
        return std::nullopt;
    }
    const auto mun = FindIgnoringCase(*resources, file.filename().string() + ".mun", false);
    if (!mun) {
        return std::nullopt;
    }
    return mun->string();
}

struct OpenedFile {
    FileSource source; // the data file, positioned for reads
    CachedFile* entry = nullptr;
};

std::optional<OpenedFile> OpenIndexed(const std::string& nativePath) {
    auto source = FileSource::Open(nativePath);
    if (!source) {
        return std::nullopt;
    }
    auto& cache = Cache();
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
    entry.index = IndexContainer(*source);
    if (entry.index.kind == ContainerKind::Pe && entry.index.Count() == 0) {
        if (const auto munPath = SystemResourcesFile(nativePath)) {
            if (auto mun = FileSource::Open(*munPath)) {
                auto munIndex = IndexContainer(*mun);
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

} // namespace

int IconCount(const std::string& nativePath) {
    try {
        const auto opened = OpenIndexed(nativePath);
        return opened ? opened->entry->index.Count() : 0;
    } catch (...) {
        return 0;
    }
}

std::optional<IconImage> ExtractIcon(const std::string& nativePath, int index) {
    return ExtractIcon(nativePath, index, kStandardIconSize, nullptr);
}

std::optional<IconImage> ExtractIcon(const std::string& nativePath, int index, int size,
                                     IconImageInfo* chosen) {
    try {
        auto opened = OpenIndexed(nativePath);
        if (!opened) {
            return std::nullopt;
        }
        return ExtractFromContainer(opened->source, opened->entry->index, index, size, chosen);
    } catch (...) {
        return std::nullopt;
    }
}

std::vector<SourceImage> ExtractSourceImages(const std::string& nativePath, int index) {
    std::vector<SourceImage> images;
    try {
        auto opened = OpenIndexed(nativePath);
        if (!opened) {
            return images;
        }
        ContainerIndex& container = opened->entry->index;
        if (container.kind == ContainerKind::Bmp) {
            IconImageInfo info;
            if (index == 0) {
                const auto bytes = ReadBitmapBytes(opened->source);
                if (auto picture = bytes ? DecodeBitmapFile(*bytes) : std::nullopt) {
                    const auto probe = ProbeBitmapFile(*bytes, bytes->size());
                    info = IconImageInfo{picture->width, picture->height,
                                         probe ? probe->bitCount : 0, false};
                    images.push_back(SourceImage{info, std::move(*picture)});
                }
            }
            return images;
        }
        for (const auto& candidate : GroupImages(opened->source, container, index)) {
            if (auto image = DecodeCandidate(opened->source, candidate)) {
                images.push_back(SourceImage{candidate.info, std::move(*image)});
            }
        }
    } catch (...) {
        images.clear();
    }
    return images;
}

std::string IconDataPath(const std::string& nativePath) {
    try {
        const auto opened = OpenIndexed(nativePath);
        return opened ? opened->entry->dataPath : std::string();
    } catch (...) {
        return {};
    }
}

void ClearIconCache() {
    Cache().clear();
}

} // namespace glyptor::icons
