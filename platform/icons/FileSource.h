// The icon source's view of a file on disk: a ByteSource (see formats/ByteCursor.h) read with
// pread, for the parsers that only ever see byte sources.
#pragma once

#include "formats/ByteCursor.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace glyptor::icons {

using formats::ByteCursor;
using formats::Bytes;
using formats::ByteSource;
using formats::SpanSource;

// Which version of which file was opened: what a scan index keys its entries by.
struct FileIdentity {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0; // nanoseconds since the epoch
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
};

// Closes a thread's files in runs. A scan closes each file moments after opening it, and the
// files one thread opens in a row mostly get consecutive descriptors: one close_range then
// closes a run of them, a system call where there were up to kMaxHeld. Only descriptors
// handed to Close are ever closed: a run is always exactly the range it closes. Not
// synchronised: one thread's.
class DescriptorRun {
public:
    // Holds up to kMaxHeld descriptors only where the open-file limit leaves room for far more;
    // under a low limit each is closed at once.
    DescriptorRun();
    ~DescriptorRun() { Flush(); }
    DescriptorRun(const DescriptorRun&) = delete;
    DescriptorRun& operator=(const DescriptorRun&) = delete;

    // Closes `fd` now or with the run it extends.
    void Close(int fd);
    // Closes what is held; false when nothing was.
    bool Flush();

    static constexpr int kMaxHeld = 16;

private:
    int maxHeld_ = 0;
    int first_ = -1;
    int last_ = -1;
};

// A regular file read with pread. Small reads are served from one cached block, since the
// structures of a resource directory sit close together.
class FileSource final : public ByteSource {
public:
    // Opens only regular files: sockets, FIFOs and devices are refused before and after open.
    static std::optional<FileSource> Open(const std::string& nativePath);
    // Opens `name` relative to the open folder `dirFd` (or AT_FDCWD). `listedRegular` says the
    // folder's listing named it a regular file already, so it is not stat'ed before the open;
    // the opened object is checked all the same. One open, one fstat, one fadvise: the reads
    // that follow are few and scattered, and readahead would fetch far more than they need.
    static std::optional<FileSource> OpenAt(int dirFd, const std::string& name, bool listedRegular);
    FileSource(FileSource&& other) noexcept;
    FileSource& operator=(FileSource&& other) noexcept;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    ~FileSource() override;

    std::uint64_t Size() const override { return identity_.size; }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
    std::span<const std::uint8_t> View(std::uint64_t offset, std::uint64_t length) override;
    // Has the first read that needs the disk read the whole file when it is no larger than
    // `limit` (a file of up to kWholeFileBytes always is), so that later reads are served from
    // memory.
    void ReadWholeUpTo(std::uint64_t limit) { wholeFileBytes_ = std::max(wholeFileBytes_, limit); }
    // Has the kernel start fetching what the first read will take, so that the file can wait
    // its turn while the disk works on it and on others.
    void AdviseFirstRead() const;
    std::int64_t ModifiedNanoseconds() const { return identity_.mtimeNs; }
    const FileIdentity& Identity() const { return identity_; }
    std::uint64_t BytesRead() const { return bytesRead_; }
    // Has the file's descriptor closed through `run` (which must outlive this source) rather
    // than at once.
    void CloseThrough(DescriptorRun* run) { closeThrough_ = run; }

    // Files no larger than this are read whole by their first read: a count needs a block at
    // the start and often one further in, and there is nothing beyond the file for readahead
    // to fetch, so they get no readahead advice either.
    static constexpr std::uint64_t kWholeFileBytes = 8 * 1024;

private:
    struct Block {
        std::uint64_t offset = 0;
        // Left as allocated, not zeroed: a read fills all `size` bytes before any is looked at.
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t size = 0;
        std::size_t capacity = 0;
    };

    FileSource(int fd, const FileIdentity& identity) : fd_(fd), identity_(identity) {}
    void CloseDescriptor();
    bool PreadFully(std::uint64_t offset, std::uint8_t* out, std::size_t length);
    // The cached block holding [offset, offset + length), with the range's place in it.
    const Block* CachedBlock(std::uint64_t offset, std::uint64_t length, std::uint64_t& at) const;

    int fd_ = -1;
    DescriptorRun* closeThrough_ = nullptr;
    FileIdentity identity_;
    std::uint64_t bytesRead_ = 0;
    std::uint64_t wholeFileBytes_ = kWholeFileBytes;
    // A few recently read blocks: a resource walk goes back and forth between the directory and
    // the entries it points to, which one block alone would read again every time.
    static constexpr std::size_t kBlocks = 4;
    std::array<Block, kBlocks> blocks_;
    std::size_t nextBlock_ = 0;
};

} // namespace glyptor::icons
