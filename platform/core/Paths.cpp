#include "platform/core/Paths.h"

#include "platform/core/Drives.h"

#include <QString>

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <memory>

namespace glyptor::platform {

namespace {

bool Exists(const std::string& nativePath) {
    struct stat info {};
    return ::lstat(nativePath.c_str(), &info) == 0;
}

// The entry of `folder` whose name equals `name` without regard to case, or nothing.
std::optional<std::string> FindIgnoringCase(const std::string& folder, const std::string& name) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return std::nullopt;
    const QString wanted = QString::fromStdString(name);
    while (const dirent* entry = ::readdir(dir.get())) {
        const QString candidate = QString::fromUtf8(entry->d_name);
        if (candidate.compare(wanted, Qt::CaseInsensitive) == 0)
            return std::string(entry->d_name);
    }
    return std::nullopt;
}

std::string JoinNative(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

} // namespace

std::string UpperCase(const std::string& text) {
    return QString::fromStdString(text).toUpper().toStdString();
}

std::optional<std::string> ToNativePath(const DriveTable& drives, const std::string& path) {
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0])))
        return std::nullopt;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    const DriveEntry* drive = nullptr;
    for (const DriveEntry& entry : drives.Entries())
        if (!entry.root.empty() && entry.root[0] == letter)
            drive = &entry;
    if (!drive)
        return std::nullopt;

    std::string native = drive->nativeRoot;
    std::size_t start = 2;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string component = path.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".")
            continue;
        if (component == "..") {
            // Never climb above the drive's own folder.
            if (native.size() > drive->nativeRoot.size()) {
                native.erase(native.find_last_of('/'));
                if (native.size() < drive->nativeRoot.size())
                    native = drive->nativeRoot;
            }
            continue;
        }
        std::string candidate = JoinNative(native, component);
        if (!Exists(candidate))
            if (auto match = FindIgnoringCase(native, component))
                candidate = JoinNative(native, *match);
        native = std::move(candidate);
    }
    return native;
}

std::optional<std::string> ToProgramPath(const DriveTable& drives, const std::string& nativePath) {
    const DriveEntry* best = nullptr;
    for (const DriveEntry& entry : drives.Entries()) {
        const std::string& root = entry.nativeRoot;
        const bool inside = nativePath.compare(0, root.size(), root) == 0 &&
                            (nativePath.size() == root.size() || root.back() == '/' ||
                             nativePath[root.size()] == '/');
        if (inside && (!best || root.size() > best->nativeRoot.size()))
            best = &entry;
    }
    if (!best)
        return std::nullopt;
    std::string result = best->root.substr(0, 2);
    std::size_t start = best->nativeRoot.size();
    while (start < nativePath.size()) {
        if (nativePath[start] == '/') {
            ++start;
            continue;
        }
        std::size_t end = nativePath.find('/', start);
        if (end == std::string::npos)
            end = nativePath.size();
        const std::string component = nativePath.substr(start, end - start);
        if (component.find('\\') != std::string::npos)
            return std::nullopt;
        result += "\\" + component;
        start = end;
    }
    return result;
}

} // namespace glyptor::platform
