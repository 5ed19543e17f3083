// The file byte source of the icon source: pread over a regular file with a small block cache.
#include "platform/icons/FileSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace glyptor::icons {

namespace {

// Reads below this size are widened to one block so that neighbouring directory entries
// cost no further system call.
constexpr std::uint64_t kBlockSize = 4096;

std::int64_t MtimeNs(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

DescriptorRun::DescriptorRun() {
    // Held descriptors count against the limit like open ones. Every thread that scans holds a
    // run, and the scan's folders take half the limit; at the usual soft limit of 1024 a run
    // holds its full length, under 128 none at all.
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        maxHeld_ = limit.rlim_cur == RLIM_INFINITY
                       ? kMaxHeld
                       : static_cast<int>(std::min<rlim_t>(limit.rlim_cur / 64, kMaxHeld));
    }
}

void DescriptorRun::Close(int fd) {
    if (maxHeld_ < 2) {
        ::close(fd);
        return;
    }
    if (first_ >= 0 && fd == last_ + 1) {
        last_ = fd;
    } else if (first_ >= 0 && fd == first_ - 1) {
        first_ = fd;
    } else {
        Flush();
        first_ = last_ = fd;
    }
    if (last_ - first_ + 1 >= maxHeld_) {
        Flush();
    }
}

bool DescriptorRun::Flush() {
    if (first_ < 0) {
        return false;
    }
    // Where close_range is missing or forbidden (older kernels, some sandboxes) it fails having
    // closed nothing, and the run is closed one by one.
    if (first_ == last_ ||
        ::close_range(static_cast<unsigned>(first_), static_cast<unsigned>(last_), 0) != 0) {
        for (int fd = first_; fd <= last_; ++fd) {
            ::close(fd);
        }
    }
    first_ = last_ = -1;
    return true;
}

std::optional<FileSource> FileSource::Open(const std::string& nativePath) {
    return OpenAt(AT_FDCWD, nativePath, false);
}

std::optional<FileSource> FileSource::OpenAt(int dirFd, const std::string& name,
                                             bool listedRegular) {
    struct stat before {};
    // stat first: opening a FIFO would block and opening a device can have side effects.
    if (!listedRegular &&
        (::fstatat(dirFd, name.c_str(), &before, 0) != 0 || !S_ISREG(before.st_mode))) {
        return std::nullopt;
    }
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    // A listed file is checked once open. After a stat the object is not checked again: a name
    // replaced in between by a FIFO fails its first read (O_NONBLOCK keeps that from waiting),
    // and anything else is read no further than the size the stat saw.
    struct stat after = before;
    if ((listedRegular && ::fstat(fd, &after) != 0) || !S_ISREG(after.st_mode) ||
        after.st_size < 0) {
        ::close(fd);
        return std::nullopt;
    }
    // A count reads a few kilobytes of headers and directories; without this the kernel reads
    // ahead tens of kilobytes after each of them, most of a cold scan's disk traffic.
    if (static_cast<std::uint64_t>(after.st_size) > kWholeFileBytes) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    }
    return FileSource(fd, {static_cast<std::uint64_t>(after.st_size), MtimeNs(after),
                           static_cast<std::uint64_t>(after.st_ino),
                           static_cast<std::uint64_t>(after.st_dev)});
}

void FileSource::AdviseFirstRead() const {
    if (fd_ < 0) {
        return;
    }
    const std::uint64_t length =
        identity_.size <= wholeFileBytes_ ? identity_.size : std::min(identity_.size, kBlockSize);
    ::posix_fadvise(fd_, 0, static_cast<off_t>(length), POSIX_FADV_WILLNEED);
}

FileSource::FileSource(FileSource&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), closeThrough_(other.closeThrough_),
      identity_(other.identity_), bytesRead_(other.bytesRead_),
      wholeFileBytes_(other.wholeFileBytes_), blocks_(std::move(other.blocks_)),
      nextBlock_(other.nextBlock_) {}

FileSource& FileSource::operator=(FileSource&& other) noexcept {
    if (this != &other) {
        CloseDescriptor();
        fd_ = std::exchange(other.fd_, -1);
        closeThrough_ = other.closeThrough_;
        identity_ = other.identity_;
        bytesRead_ = other.bytesRead_;
        wholeFileBytes_ = other.wholeFileBytes_;
        blocks_ = std::move(other.blocks_);
        nextBlock_ = other.nextBlock_;
    }
    return *this;
}

FileSource::~FileSource() {
    CloseDescriptor();
}

void FileSource::CloseDescriptor() {
    if (fd_ < 0) {
        return;
    }
    if (closeThrough_) {
        closeThrough_->Close(fd_);
    } else {
        ::close(fd_);
    }
    fd_ = -1;
}

bool FileSource::PreadFully(std::uint64_t offset, std::uint8_t* out, std::size_t length) {
    while (length > 0) {
        const ssize_t got = ::pread(fd_, out, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false; // error, or the file shrank under us
        }
        const auto n = static_cast<std::size_t>(got);
        bytesRead_ += n;
        out += n;
        offset += n;
        length -= n;
    }
    return true;
}

const FileSource::Block* FileSource::CachedBlock(std::uint64_t offset, std::uint64_t length,
                                                 std::uint64_t& at) const {
    for (const Block& block : blocks_) {
        if (block.size > 0 && offset >= block.offset && length <= block.size &&
            offset - block.offset <= block.size - length) {
            at = offset - block.offset;
            return &block;
        }
    }
    return nullptr;
}

std::span<const std::uint8_t> FileSource::View(std::uint64_t offset, std::uint64_t length) {
    std::uint64_t at = 0;
    const Block* block = Contains(offset, length) ? CachedBlock(offset, length, at) : nullptr;
    return block ? std::span<const std::uint8_t>(block->data.get() + at,
                                                 static_cast<std::size_t>(length))
                 : std::span<const std::uint8_t>();
}

bool FileSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (fd_ < 0 || !Contains(offset, out.size())) {
        return false;
    }
    std::uint64_t at = 0;
    if (const Block* block = CachedBlock(offset, out.size(), at)) {
        std::copy_n(block->data.get() + at, out.size(), out.begin());
        return true;
    }
    const bool whole = identity_.size <= wholeFileBytes_;
    if (out.size() >= kBlockSize && !whole) {
        return PreadFully(offset, out.data(), out.size());
    }
    const std::uint64_t start = whole ? 0 : offset - offset % kBlockSize;
    const auto length = static_cast<std::size_t>(
        whole ? identity_.size
              : std::min<std::uint64_t>(
                    identity_.size - start,
                    std::max<std::uint64_t>(kBlockSize, offset + out.size() - start)));
    Block& block = blocks_[nextBlock_];
    nextBlock_ = (nextBlock_ + 1) % kBlocks;
    block.size = 0;
    if (block.capacity < length) {
        block.data = std::make_unique_for_overwrite<std::uint8_t[]>(length);
        block.capacity = length;
    }
    if (!PreadFully(start, block.data.get(), length)) {
        return false;
    }
    block.offset = start;
    block.size = length;
    std::copy_n(block.data.get() + (offset - start), out.size(), out.begin());
    return true;
}

} // namespace glyptor::icons
