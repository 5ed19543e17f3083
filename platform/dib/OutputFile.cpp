// POSIX file output for the writers: partial writes are continued, EINTR is retried, and a
// short write or a failing close is an error instead of a silently truncated file.
#include "platform/dib/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace glyptor::dib {

FileCreateError::FileCreateError(const std::string& fileName)
    : std::runtime_error("Cannot create file " + fileName) {}

FileWriteError::FileWriteError(const std::string& fileName, int errorNumber)
    : std::runtime_error("Cannot write file " + fileName + ": " + std::strerror(errorNumber)) {}

OutputFile::OutputFile(std::string fileName) : fileName_(std::move(fileName)) {
    // Non-blocking only for the open itself: a FIFO without a reader must fail, not hang.
    do {
        descriptor_ =
            ::open(fileName_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    } while (descriptor_ < 0 && errno == EINTR);
    if (descriptor_ < 0) {
        throw FileCreateError(fileName_);
    }
    const int flags = ::fcntl(descriptor_, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor_, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        CloseQuietly();
        throw FileCreateError(fileName_);
    }
}

OutputFile::~OutputFile() {
    CloseQuietly();
}

void OutputFile::Write(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileWriteError(fileName_, errno);
        }
        if (written == 0) {
            throw FileWriteError(fileName_, ENOSPC);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

void OutputFile::Close() {
    if (descriptor_ < 0) {
        return;
    }
    const int result = ::close(descriptor_);
    descriptor_ = -1;
    // Network file systems may report a failed write only here; EINTR leaves the file closed.
    if (result != 0 && errno != EINTR) {
        throw FileWriteError(fileName_, errno);
    }
}

void OutputFile::CloseQuietly() noexcept {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
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

} // namespace glyptor::dib
