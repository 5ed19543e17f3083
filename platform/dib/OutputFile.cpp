// POSIX file output for the writers: the new contents go to a temporary file in the target's
// folder, are flushed with fsync, and replace the target with one rename, after which the folder
// is flushed too so that the rename itself survives a power cut. Partial writes are continued
// and EINTR is retried; every other failure removes the temporary file and is reported.
#include "platform/dib/OutputFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace glyptor::dib {

namespace {

int OpenRetrying(const std::string& path, int flags, mode_t mode = 0) {
    int descriptor = -1;
    do {
        descriptor = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The name a chain of symbolic links ends in; it need not exist yet (a dangling link is saved
// through, creating the file it names). After too many links the name is returned as it is, and
// the open that follows reports the loop.
std::string FollowLinks(std::string name) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info {};
        if (::lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return name;
        }
        char target[PATH_MAX];
        const ssize_t length = ::readlink(name.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) {
            return name;
        }
        const std::string next(target, static_cast<std::size_t>(length));
        name = next.front() == '/' ? next : FolderOf(name) + "/" + next;
    }
    return name;
}

void WriteAll(int descriptor, std::span<const std::uint8_t> bytes, const std::string& reportName) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileWriteError(reportName, errno);
        }
        if (written == 0) {
            throw FileWriteError(reportName, ENOSPC);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

// Network file systems may report a failed write only on close; EINTR leaves the file closed.
void CloseReporting(int descriptor, const std::string& reportName) {
    if (::close(descriptor) != 0 && errno != EINTR) {
        throw FileWriteError(reportName, errno);
    }
}

// Devices such as /dev/full and FIFOs: nothing to replace, so the bytes go straight in.
// Non-blocking only for the open itself: a FIFO without a reader must fail, not hang.
void WriteInPlace(const std::string& target, std::span<const std::uint8_t> bytes,
                  const std::string& reportName) {
    const int descriptor = OpenRetrying(target, O_WRONLY | O_NONBLOCK);
    if (descriptor < 0) {
        throw FileCreateError(reportName);
    }
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        ::close(descriptor);
        throw FileCreateError(reportName);
    }
    try {
        WriteAll(descriptor, bytes, reportName);
    } catch (...) {
        ::close(descriptor);
        throw;
    }
    CloseReporting(descriptor, reportName);
}

// A fresh hidden name in the folder, created exclusively with mode 0666 so that the umask
// applies as it does to any new file.
int CreateTemporary(const std::string& folder, std::string& temporary) {
    // Each call draws its own names; a clash with another save only costs a retry, since the
    // name is created exclusively.
    std::mt19937 names(std::random_device{}() ^ static_cast<unsigned>(::getpid()) << 16);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto tag = static_cast<unsigned>(names());
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", tag);
        temporary = folder + "/.glyptor-save-" + suffix + ".tmp";
        const int descriptor = OpenRetrying(temporary, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (descriptor >= 0 || errno != EEXIST) {
            return descriptor;
        }
    }
    errno = EEXIST;
    return -1;
}

void SyncFolder(const std::string& folder) {
    const int descriptor = OpenRetrying(folder, O_RDONLY | O_DIRECTORY);
    if (descriptor >= 0) {
        // Some file systems cannot flush a folder (EINVAL); the rename has happened either way.
        ::fsync(descriptor);
        ::close(descriptor);
    }
}

} // namespace

FileCreateError::FileCreateError(const std::string& fileName)
    : std::runtime_error("Cannot create file " + fileName) {}

FileWriteError::FileWriteError(const std::string& fileName, int errorNumber)
    : std::runtime_error("Cannot write file " + fileName + ": " + std::strerror(errorNumber)) {}

void ReplaceFileContents(const std::string& fileName, std::span<const std::uint8_t> bytes) {
    const std::string target = FollowLinks(fileName);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) {
        throw FileCreateError(fileName);
    }
    if (exists && !S_ISREG(old.st_mode)) {
        WriteInPlace(target, bytes, fileName);
        return;
    }
    // Renaming needs only the folder's permission; a read-only file says it is not to be changed.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        throw FileCreateError(fileName);
    }
    const std::string folder = FolderOf(target);
    std::string temporary;
    const int descriptor = CreateTemporary(folder, temporary);
    if (descriptor < 0) {
        throw FileCreateError(fileName);
    }
    try {
        if (exists) {
            // The owner first: changing it clears set-user-ID bits that the mode then restores.
            if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
                [[maybe_unused]] const int ignored = ::fchown(descriptor, old.st_uid, old.st_gid);
            }
            if (::fchmod(descriptor, old.st_mode & 07777) != 0) {
                throw FileWriteError(fileName, errno);
            }
        }
        WriteAll(descriptor, bytes, fileName);
        if (::fsync(descriptor) != 0) {
            throw FileWriteError(fileName, errno);
        }
    } catch (...) {
        ::close(descriptor);
        ::unlink(temporary.c_str());
        throw;
    }
    try {
        CloseReporting(descriptor, fileName);
        if (::rename(temporary.c_str(), target.c_str()) != 0) {
            throw FileWriteError(fileName, errno);
        }
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    SyncFolder(folder);
}

bool RemoveExactFile(const std::string& fileName) {
    struct stat info {};
    if (::lstat(fileName.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR;
    }
    // Only regular files: the name may be a device such as /dev/full or a folder, which a
    // failed write must not take away.
    if (!S_ISREG(info.st_mode)) {
        return true;
    }
    return ::unlink(fileName.c_str()) == 0 || errno == ENOENT;
}

void SaveBmpFile(const std::string& fileName, const Bitmap& picture, unsigned bitsPerPixel) {
    ReplaceFileContents(fileName, EncodeBmp(picture, bitsPerPixel));
}

} // namespace glyptor::dib
