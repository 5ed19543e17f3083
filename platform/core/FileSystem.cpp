#include "platform/core/FileSystem.h"

#include "platform/core/Paths.h"
#include "platform/core/PseudoFileSystems.h"

#include <QString>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <memory>
#include <optional>

namespace glyptor::platform {

namespace {

struct NativeFolder {
    std::string path;
    dev_t device = 0;
};

std::optional<NativeFolder> OpenFolder(const DriveTable& drives, const std::string& programPath) {
    auto native = ToNativePath(drives, programPath);
    if (!native)
        return std::nullopt;
    struct stat info {};
    if (::stat(native->c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::nullopt;
    return NativeFolder{*native, info.st_dev};
}

std::string Join(const std::string& folder, const char* name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

// A real folder we may enter: not a link, and not the mount point of a pseudo file system.
bool IsEnterableFolder(const NativeFolder& parent, const std::string& full) {
    struct stat info {};
    if (::lstat(full.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    if (info.st_dev != parent.device) {
        struct statfs fs {};
        if (::statfs(full.c_str(), &fs) != 0 ||
            IsPseudoFileSystemMagic(static_cast<unsigned long>(fs.f_type)))
            return false;
    }
    return true;
}

// Visits the entries of a folder with the type readdir reports (DT_UNKNOWN when the file system
// does not say), skipping "." and ".." and names no program path can hold.
template <typename Visit> void ForEachEntry(const std::string& folder, Visit visit) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* name = entry->d_name;
        if (std::string_view(name) == "." || std::string_view(name) == "..")
            continue;
        if (std::string_view(name).find('\\') != std::string_view::npos)
            continue;
        visit(name, entry->d_type);
    }
}

} // namespace

bool MatchesPattern(const std::string& name, const std::string& pattern) {
    if (pattern == "*.*" || pattern == "*")
        return true;
    const QString text = QString::fromStdString(name).toUpper();
    const QString mask = QString::fromStdString(pattern).toUpper();
    // Iterative "*" / "?" matcher with one backtrack point: linear in practice, never recursive.
    qsizetype t = 0, m = 0, starM = -1, starT = 0;
    while (t < text.size()) {
        if (m < mask.size() && (mask[m] == '?' || mask[m] == text[t])) {
            ++t;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starT = t;
        } else if (starM >= 0) {
            m = starM + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

std::vector<std::string> ListSubfolders(const DriveTable& drives, const std::string& path) {
    std::vector<std::string> names;
    const auto folder = OpenFolder(drives, path);
    if (!folder)
        return names;
    ForEachEntry(folder->path, [&](const char* name, unsigned char type) {
        // Only a folder, or a name the listing gave no type, needs a look: files and links
        // (a link to a folder is never entered) are passed over without a system call.
        if (name[0] == '.' || (type != DT_DIR && type != DT_UNKNOWN))
            return;
        if (IsEnterableFolder(*folder, Join(folder->path, name)))
            names.emplace_back(name);
    });
    return names;
}

std::vector<FolderEntry> ListEntries(const DriveTable& drives, const std::string& path,
                                     const std::string& pattern, std::string* nativeFolder) {
    std::vector<FolderEntry> entries;
    const auto folder = OpenFolder(drives, path);
    if (!folder)
        return entries;
    if (nativeFolder)
        *nativeFolder = folder->path;
    ForEachEntry(folder->path, [&](const char* name, unsigned char type) {
        if (!MatchesPattern(name, pattern))
            return;
        // Most file systems name the type in the listing: a regular file needs no stat call.
        if (type == DT_REG) {
            entries.push_back({name, false});
            return;
        }
        const std::string full = Join(folder->path, name);
        if (type == DT_DIR) {
            if (name[0] != '.' && IsEnterableFolder(*folder, full))
                entries.push_back({name, true});
            return;
        }
        struct stat info {};
        if (::lstat(full.c_str(), &info) != 0)
            return;
        if (S_ISDIR(info.st_mode)) {
            if (name[0] != '.' && IsEnterableFolder(*folder, full))
                entries.push_back({name, true});
            return;
        }
        // A link counts as what it points to; only regular files are ever opened.
        if (S_ISLNK(info.st_mode) && ::stat(full.c_str(), &info) != 0)
            return;
        if (S_ISREG(info.st_mode))
            entries.push_back({name, false});
    });
    return entries;
}

bool IsFolder(const DriveTable& drives, const std::string& path) {
    return OpenFolder(drives, path).has_value();
}

bool IsRegularFile(const DriveTable& drives, const std::string& path) {
    auto native = ToNativePath(drives, path);
    struct stat info {};
    return native && ::stat(native->c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace glyptor::platform
