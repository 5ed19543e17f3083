// The reader pool: one walker thread lists folders ahead of the consumer and owns the scan
// index; reader threads count icons. Everything shared sits under one mutex; the work done
// under it is list and counter bookkeeping, never a system call.
#include "browser/ScanPool.h"

#include "platform/core/PseudoFileSystems.h"
#include "platform/icons/IconSource.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string_view>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace glyptor::scan {

namespace {

// How far the walk may run ahead of the consumer: enough to keep every reader busy across
// many small folders and while the window makes its first screen of pictures (tens of
// milliseconds for large bitmaps), small enough that a stopped or redirected scan wastes
// little (a stat each for files the index knows, or a file in hand per reader).
constexpr std::size_t kMaxFilesAhead = 16384;
constexpr std::size_t kMaxFoldersAhead = 1024;
// Descriptors the pool leaves to everything else in the process, and those each reader may
// hold besides its folders (its file, a .mun file, the folder of a path list, files opened
// ahead, files held to be closed in a run).
constexpr std::size_t kDescriptorsForOthers = 32;
constexpr std::size_t kDescriptorsPerReader = 4 + icons::DescriptorRun::kMaxHeld;
// Folders nest deeper than this only on purpose; the scanner's own recursion ends there too.
constexpr int kMaxDepth = 256;
// Files the index knows are checked in runs of at most this many per job.
constexpr std::size_t kKnownPerJob = 32;
// Each reader, as it takes a job, opens the files of this many jobs after it and has their
// first reads started: the disk then works on several files at once instead of one a reader.
constexpr std::size_t kJobsOpenedAhead = 8;
// Files a reader takes at once while they come from memory (a job of files the index knows
// is taken whole).
constexpr std::size_t kFilesTakenTogether = 8;
// The most folders the index names for looking up ahead of a walk.
constexpr std::size_t kMaxFoldersLookedAhead = 1 << 18;
// A list of paths is handed out in parts of this many.
constexpr std::size_t kPathsPerPart = 512;

// Readers are throughput threads: one that wakes for a job waits for the running thread's turn
// to end instead of taking the processor from it. The walker, which sets the pace of a re-scan,
// was otherwise switched out over a thousand times in a walk of 4,000 folders whose files the
// index knew, by readers woken for a few stats each; as it is now, a few hundred times. The
// window's thread keeps its turns the same way. Their share of the processor is unchanged (same
// niceness), so a busy machine slows readers no more than before. Where the scheduler refuses,
// the reader runs as it is.
void RunAsThroughputThread() {
    sched_param priority{};
    ::sched_setscheduler(0, SCHED_BATCH, &priority);
}

// Names the calling thread as `top -H` and profilers show it (at most 15 characters).
void NameThisThread(const char* name) {
    ::pthread_setname_np(::pthread_self(), name);
}

long KernelBlockInput() {
    struct rusage usage {};
    return ::getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_inblock : 0;
}

std::atomic<BlockInputProbe> blockInputProbe = KernelBlockInput;

// Blocks the disk has read for this thread so far.
long BlockInput() {
    return blockInputProbe.load(std::memory_order_relaxed)();
}

platform::FileStamp StampFrom(const struct stat& info) {
    platform::FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.mtimeNs = std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    stamp.inode = static_cast<std::uint64_t>(info.st_ino);
    stamp.device = static_cast<std::uint64_t>(info.st_dev);
    return stamp;
}

// A folder path without trailing slashes, so that the walk's and the consumer's spellings meet.
std::string Trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// An index entry written by a walk that fingerprinted the icons has one group per icon.
bool HasHashes(const platform::IndexEntry& entry) {
    return entry.iconCount < 1 || entry.groups.size() == static_cast<std::size_t>(entry.iconCount);
}

// The index entry of a file with `count` icons and their fingerprints (when taken); the groups
// are named by their number.
platform::IndexEntry IndexEntryOf(int count,
                                  const std::vector<std::optional<std::uint64_t>>& hashes) {
    platform::IndexEntry entry{count, {}};
    for (std::size_t group = 0; group < hashes.size(); ++group)
        entry.groups.push_back({std::to_string(group), hashes[group]});
    return entry;
}

std::vector<std::optional<std::uint64_t>> HashesOf(const platform::IndexEntry& entry) {
    std::vector<std::optional<std::uint64_t>> hashes;
    for (const platform::IndexedGroup& group : entry.groups)
        hashes.push_back(group.hash);
    return hashes;
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + '/' + name;
}

// Reads the folder's regular files and subfolders into `listing`, in listing order. A link
// counts as what it points to, but a link to a folder is never entered; sockets, FIFOs and
// devices are left out. The listing is no good for the index when it needed a look at an entry
// (a link, or a file system that does not tell types): what a link names can change without
// its folder changing. False when the folder cannot be read.
bool ReadListing(int dirFd, platform::FolderListing& listing) {
    const int listFd = ::dup(dirFd);
    if (listFd < 0)
        return false;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listFd), ::closedir);
    if (!dir) {
        ::close(listFd);
        return false;
    }
    bool plain = true;
    while (const dirent* item = ::readdir(dir.get())) {
        const char* name = item->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 ||
            std::strchr(name, '\\') != nullptr)
            continue;
        unsigned char type = item->d_type;
        if (type != DT_REG && type != DT_DIR) {
            plain = false;
            struct stat info {};
            if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISLNK(info.st_mode)) {
                if (::fstatat(dirFd, name, &info, 0) != 0 || !S_ISREG(info.st_mode))
                    continue;
                type = DT_REG;
            } else if (S_ISREG(info.st_mode)) {
                type = DT_REG;
            } else if (S_ISDIR(info.st_mode)) {
                type = DT_DIR;
            } else {
                continue;
            }
        }
        (type == DT_REG ? listing.files : listing.subfolders).emplace_back(name);
    }
    if (!plain)
        listing.listedNs = 0; // never old enough for the index to keep it
    return true;
}

// Descriptors left over in half of what the process may open, once everything else in it and
// `threads` readers have theirs; none when there is no limit. Running out of descriptors would
// make files look unreadable, so the pool keeps to that half.
std::optional<std::size_t> SpareDescriptors(int threads) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::nullopt;
    const std::size_t reserved = kDescriptorsForOthers +
                                 kDescriptorsPerReader * static_cast<std::size_t>(threads) +
                                 kJobsOpenedAhead;
    const std::size_t half = static_cast<std::size_t>(limit.rlim_cur) / 2;
    return half > reserved ? half - reserved : 0;
}

// How many listed folders the walk may hold open ahead of the consumer; each holds a
// descriptor until its files are read.
std::size_t FoldersAheadFor(int threads) {
    const auto spare = SpareDescriptors(threads);
    return spare ? std::clamp<std::size_t>(*spare, 2, kMaxFoldersAhead) : kMaxFoldersAhead;
}

// The readers for a slow disk a pool of `readers` may add: as many as the defaults want, as
// long as their descriptors fit beside everything else.
int DiskReadersWithinLimit(int readers) {
    const int wanted = DefaultDiskReaderThreads(readers);
    const auto spare = SpareDescriptors(readers);
    if (!spare)
        return wanted;
    return static_cast<int>(
        std::min(*spare / kDescriptorsPerReader, static_cast<std::size_t>(wanted)));
}

// A folder's index rows by name. A re-scan looks up every file of every folder it walks: a hash
// of the name and nearly always one comparison, where a search of the sorted rows compared the
// name with several.
class RowsByName {
public:
    explicit RowsByName(const std::vector<platform::IndexedFile>& rows) : rows_(rows) {
        std::size_t size = 8;
        while (size < 2 * rows.size())
            size *= 2;
        slots_.assign(size, 0);
        mask_ = size - 1;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::size_t slot = Hash(rows[i].name);
            while (slots_[slot] != 0)
                slot = (slot + 1) & mask_;
            slots_[slot] = i + 1;
        }
    }
    const platform::IndexedFile* Find(const std::string& name) const {
        for (std::size_t slot = Hash(name); slots_[slot] != 0; slot = (slot + 1) & mask_)
            if (const platform::IndexedFile& row = rows_[slots_[slot] - 1]; row.name == name)
                return &row;
        return nullptr;
    }

private:
    std::size_t Hash(const std::string& name) const {
        const std::size_t hash = std::hash<std::string_view>{}(name);
        return hash & mask_;
    }

    const std::vector<platform::IndexedFile>& rows_;
    std::vector<std::size_t> slots_; // a row's position + 1; 0 is a free slot
    std::size_t mask_ = 0;
};

} // namespace

int DefaultReaderThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp(static_cast<int>(cores == 0 ? 1 : cores) * 2, 2, 8);
}

void SetBlockInputProbe(BlockInputProbe probe) {
    blockInputProbe = probe ? probe : KernelBlockInput;
}

int DefaultDiskReaderThreads(int readers) {
    // Sixteen files at once: five cold counts of the PE corpus in turns took 0.042 to 0.084 s
    // with sixteen readers against 0.068 to 0.103 s with four, on a virtual disk; more than
    // sixteen gained nothing there.
    constexpr int kReadersWhileDiskWaits = 16;
    return std::max(0, kReadersWhileDiskWaits - readers);
}

std::vector<std::string> MountPointsBelow(std::string_view mountinfo, const std::string& root) {
    const std::string below = root.empty() || root.back() != '/' ? root + '/' : root;
    std::vector<std::string> mounts;
    while (!mountinfo.empty()) {
        const std::size_t end = std::min(mountinfo.find('\n'), mountinfo.size());
        std::string_view line = mountinfo.substr(0, end);
        mountinfo.remove_prefix(std::min(end + 1, mountinfo.size()));
        // ID, parent ID, device, root in its file system, then the mount point.
        for (int field = 0; field < 4 && !line.empty(); ++field)
            line.remove_prefix(std::min(line.find(' '), line.size() - 1) + 1);
        const std::string_view escaped = line.substr(0, line.find(' '));
        // A space, tab, newline or backslash in a mount point is written \ooo.
        const auto octal = [&](std::size_t at) {
            return at < escaped.size() && escaped[at] >= '0' && escaped[at] <= '7';
        };
        std::string point;
        for (std::size_t i = 0; i < escaped.size(); ++i) {
            if (escaped[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
                point += static_cast<char>((escaped[i + 1] - '0') * 64 +
                                           (escaped[i + 2] - '0') * 8 + (escaped[i + 3] - '0'));
                i += 3;
            } else {
                point += escaped[i];
            }
        }
        if (point.size() > below.size() && point.compare(0, below.size(), below) == 0)
            mounts.push_back(std::move(point));
    }
    std::sort(mounts.begin(), mounts.end());
    mounts.erase(std::unique(mounts.begin(), mounts.end()), mounts.end());
    return mounts;
}

FolderCounts::~FolderCounts() {
    if (dirFd_ >= 0)
        ::close(dirFd_);
}

void FolderCounts::CloseWhenRead() {
    // Nothing reads from the folder any more: its descriptor goes back for others to use, closed
    // by the walker outside the lock.
    if (outstanding_ == 0 && openingAhead_ == 0 && dirFd_ >= 0 && pool_) {
        pool_->closing_.push_back(dirFd_);
        dirFd_ = -1;
    }
}

std::vector<std::string> FolderCounts::Names() const {
    std::vector<std::string> names;
    names.reserve(entries_.size());
    for (const Entry& entry : entries_)
        names.push_back(entry.name);
    return names;
}

std::optional<std::size_t> FolderCounts::PositionOf(const std::string& name) {
    // The consumer asks in listing order, so the name is nearly always at the cursor.
    const auto named = [&](const Entry& entry) { return entry.name == name; };
    const auto cursor = entries_.begin() + static_cast<std::ptrdiff_t>(cursor_);
    auto found = std::find_if(cursor, entries_.end(), named);
    if (found == entries_.end() &&
        (found = std::find_if(entries_.begin(), cursor, named)) == cursor)
        return std::nullopt;
    cursor_ = static_cast<std::size_t>(found - entries_.begin()) + 1;
    return cursor_ - 1;
}

FolderCounts::State FolderCounts::WaitAt(std::size_t position, std::chrono::milliseconds timeout,
                                         int& count,
                                         std::vector<std::optional<std::uint64_t>>* hashes) {
    if (position >= entries_.size() || !pool_)
        return State::Unknown;
    Entry& entry = entries_[position];
    // A file counted ahead, as most are, is taken without the lock the readers keep busy.
    if (entry.ready) {
        count = entry.count;
        if (hashes)
            *hashes = entry.hashes;
        return State::Ready;
    }
    std::unique_lock lock(pool_->mutex_);
    if (!entry.ready && !entry.claimed && !dropped_) {
        // No reader has come to it: waiting would only leave this thread idle.
        entry.claimed = true;
        auto ahead = std::move(entry.ahead);
        lock.unlock();
        bool fromIndex = false;
        auto scanned =
            ScanPool::ReadEntry(pool_->consumerReading_, *this, entry, std::move(ahead), fromIndex);
        lock.lock();
        ScanPool::Publish(entry, std::move(scanned), fromIndex);
        pool_->Settle(*this, entry);
    }
    pool_->awaited_ = &entry;
    const bool done =
        pool_->resultReady_.wait_for(lock, timeout, [&] { return entry.ready || dropped_; });
    pool_->awaited_ = nullptr;
    if (!done)
        return State::Pending;
    if (!entry.ready)
        return State::Unknown;
    count = entry.count;
    if (hashes)
        *hashes = entry.hashes;
    return State::Ready;
}

ScanPool::ScanPool(int threads, IndexSettings index)
    : threadCount_(threads > 0 ? threads : DefaultReaderThreads()),
      diskThreadCount_(threads > 0 ? 0 : DiskReadersWithinLimit(threadCount_)),
      inline_(threadCount_ == 1),
      maxFoldersAhead_(FoldersAheadFor(threadCount_ + diskThreadCount_)),
      indexSettings_(std::move(index)) {}

ScanPool::~ScanPool() {
    Stop();
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    workReady_.notify_all();
    diskWork_.notify_all();
    for (std::thread& reader : readers_)
        reader.join();
    // None is started once the readers are gone.
    for (std::thread& reader : diskReaders_)
        reader.join();
    for (const int fd : closing_)
        ::close(fd);
}

bool ScanPool::Stopping() const {
    std::lock_guard lock(mutex_);
    return stopWalk_;
}

void ScanPool::StartReaders() {
    if (inline_ || !readers_.empty())
        return;
    for (int i = 0; i < threadCount_; ++i)
        readers_.emplace_back([this] { ReaderLoop(false); });
}

void ScanPool::StartDiskReaders() {
    if (diskReaders_.empty()) {
        // A machine out of threads keeps the readers it has.
        try {
            for (int i = 0; i < diskThreadCount_; ++i)
                diskReaders_.emplace_back([this] { ReaderLoop(true); });
        } catch (const std::system_error&) {
        }
    }
    diskWork_.notify_all();
}

void ScanPool::StartWalk(const std::string& root, WalkRules rules) {
    StartWalker(root, std::move(rules), {});
}

void ScanPool::StartPaths(std::vector<std::string> paths) {
    StartWalker({}, {}, std::move(paths));
}

void ScanPool::StartWalker(std::string root, WalkRules rules, std::vector<std::string> paths) {
    Stop();
    StartReaders();
    walk_ = WalkState{};
    if (!root.empty())
        walk_.folders.emplace_back(std::move(root), 0);
    walk_.rules = std::move(rules);
    walk_.paths = std::move(paths);
    {
        std::lock_guard lock(mutex_);
        stopWalk_ = false;
        stopping_ = false;
        walking_ = true;
    }
    if (inline_) {
        if (!indexSettings_.folder.empty())
            index_ = platform::ScanIndex::Open(indexSettings_.folder, indexSettings_.options);
        return;
    }
    // A list of paths that fits ahead of the consumer at once, with no index to ask, is handed
    // to the readers here: its walk only cuts it into parts, and a thread for that would cost
    // a short count more than the cutting does.
    if (walk_.folders.empty() && indexSettings_.folder.empty() &&
        walk_.paths.size() <= kMaxFilesAhead &&
        (walk_.paths.size() + kPathsPerPart - 1) / kPathsPerPart < maxFoldersAhead_) {
        while (WalkStep()) {
        }
        {
            std::lock_guard lock(mutex_);
            walking_ = false;
        }
        folderReady_.notify_all();
        EndWalk();
        return;
    }
    walker_ = std::thread([this] { WalkLoop(); });
}

void ScanPool::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopWalk_ = true;
        stopping_ = true;
        for (const Job& job : jobs_)
            job.folder->dropped_ = true;
        jobs_.clear();
        for (const auto& folder : walked_)
            folder->dropped_ = true;
        walked_.clear();
        filesAhead_ = 0;
    }
    roomAhead_.notify_all();
    resultReady_.notify_all();
    folderReady_.notify_all();
    if (walker_.joinable())
        walker_.join();
    else if (inline_ && walking_)
        EndWalk();
    // Readers finish the file in hand; none is left working once this returns.
    std::unique_lock lock(mutex_);
    resultReady_.wait(lock, [this] { return busyReaders_ == 0; });
    walking_ = false;
}

std::optional<icons::ScannedFile> ScanPool::KnownUnchanged(const FolderCounts& folder,
                                                           const FolderCounts::Entry& entry) {
    // What the index knows stands while the file's stamp is unchanged: one stat instead of an
    // open and its reads.
    struct stat info {};
    const int dirFd = folder.dirFd_ >= 0 ? folder.dirFd_ : AT_FDCWD;
    if (::fstatat(dirFd, entry.name.c_str(), &info, 0) != 0 || !S_ISREG(info.st_mode) ||
        StampFrom(info) != entry.known->stamp || (folder.hashes_ && !HasHashes(entry.known->entry)))
        return std::nullopt;
    icons::ScannedFile scanned;
    const platform::FileStamp& stamp = entry.known->stamp;
    scanned.count = entry.known->entry.iconCount;
    scanned.identity = {stamp.size, stamp.mtimeNs, stamp.inode, stamp.device};
    scanned.hashes = HashesOf(entry.known->entry);
    return scanned;
}

ScanPool::Reading::~Reading() {
    if (pathFolderFd >= 0)
        ::close(pathFolderFd);
}

int ScanPool::Reading::FolderOf(const std::string& path, std::string& name) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == path.size())
        return AT_FDCWD;
    const std::string_view folder(path.data(), slash);
    if (folder != pathFolder) {
        // Opened only when a second path in a row names it: a list in no order costs no more
        // than before.
        if (pathFolderFd >= 0)
            ::close(pathFolderFd);
        pathFolderFd = -1;
        pathFolder = folder;
        return AT_FDCWD;
    }
    if (pathFolderFd < 0)
        pathFolderFd = ::open(pathFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (pathFolderFd < 0)
        return AT_FDCWD;
    name = path.substr(slash + 1);
    return pathFolderFd;
}

bool ScanPool::Reading::WaitingForDisk(bool& looked) {
    constexpr int kFilesBetweenLooks = 32;
    looked = --filesToLook <= 0;
    if (looked) {
        filesToLook = kFilesBetweenLooks;
        // Blocks this thread had the disk read, its own reads and the first reads it started
        // ahead alike; none since the last look means the files were in memory.
        const long blocks = BlockInput();
        waitingForDisk = blocks != blocksAtLook;
        blocksAtLook = blocks;
    }
    return waitingForDisk;
}

std::optional<icons::ScannedFile> ScanPool::ReadEntry(Reading& reading, const FolderCounts& folder,
                                                      const FolderCounts::Entry& entry,
                                                      std::shared_ptr<icons::FileSource> ahead,
                                                      bool& fromIndex) {
    fromIndex = false;
    if (ahead)
        return icons::ScanOpenedFile(reading.cache, std::move(*ahead),
                                     Join(folder.folder_, entry.name), folder.hashes_);
    if (entry.known) {
        if (auto scanned = KnownUnchanged(folder, entry)) {
            fromIndex = true;
            return scanned;
        }
    }
    std::string name;
    const int dirFd = FolderFor(reading, folder, entry, name);
    return icons::ScanFileAt(reading.cache, dirFd, name, Join(folder.folder_, entry.name),
                             entry.type == DT_REG, folder.hashes_);
}

int ScanPool::FolderFor(Reading& reading, const FolderCounts& folder,
                        const FolderCounts::Entry& entry, std::string& name) {
    name = entry.name;
    // A path of a list: looked up from its open folder when the list stays in one folder, one
    // step instead of a walk of the whole path for the stat and again for the open.
    if (folder.folder_.empty())
        return reading.FolderOf(entry.name, name);
    return folder.dirFd_ >= 0 ? folder.dirFd_ : AT_FDCWD;
}

void ScanPool::Publish(FolderCounts::Entry& entry, std::optional<icons::ScannedFile> scanned,
                       bool fromIndex) {
    // An unreadable file counts -1: the scanner sees no icons, the tool reports it.
    entry.count = scanned ? scanned->count : -1;
    entry.fromIndex = fromIndex;
    if (scanned) {
        entry.hashes = std::move(scanned->hashes);
        // The index keys what was read by the version of the file that was read.
        const icons::FileIdentity& id = scanned->identity;
        if (!entry.stamp)
            entry.stamp = platform::FileStamp{id.size, id.mtimeNs, id.inode, id.device};
    }
    entry.ready = true; // last: the consumer may read the entry without the lock once it is set
}

void ScanPool::Settle(FolderCounts& folder, FolderCounts::Entry& entry) {
    if (entry.count >= 0 && folder.indexed_ && folder.folder_.empty() && !entry.fromIndex)
        found_.push_back(
            {Join(folder.folder_, entry.name), *entry.stamp, entry.count, entry.hashes});
    --folder.outstanding_;
    folder.CloseWhenRead();
}

void ScanPool::ReaderLoop(bool onlyWhileDiskWaits) {
    NameThisThread(onlyWhileDiskWaits ? "scan-diskreader" : "scan-reader");
    RunAsThroughputThread();
    Reading reading;
    // One taken entry: its folder, where it is, and the file a reader opened ahead for it.
    struct Taken {
        FolderCounts* folder;
        std::size_t position;
        std::shared_ptr<icons::FileSource> ahead;
    };
    std::vector<std::shared_ptr<FolderCounts>> holding;
    std::vector<Taken> taken;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (jobs_.empty()) {
            // Files held for closing in a run would stay open as long as the reader waits.
            lock.unlock();
            reading.cache.CloseScannedFiles();
            lock.lock();
        }
        if (onlyWhileDiskWaits)
            diskWork_.wait(lock, [this] { return quit_ || (diskWaits_ && !jobs_.empty()); });
        else
            workReady_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
        if (quit_)
            return;
        // Files in memory take a few microseconds each: taken one at a time, the readers spend
        // more on the lock and on waking each other than on the files. While reads wait for the
        // disk, each job goes to a reader of its own, so that the disk gets them all at once.
        bool looked = false;
        const bool waiting = reading.WaitingForDisk(looked);
        // The readers for a slow disk come in on what a look saw, not on the first files'
        // guess: in memory, a dozen more threads only fight over the lock and the cores.
        if (looked && waiting != diskWaits_) {
            diskWaits_ = waiting;
            if (waiting)
                StartDiskReaders();
        }
        if (onlyWhileDiskWaits && !diskWaits_)
            continue;
        const std::size_t wanted = waiting ? 1 : kFilesTakenTogether;
        holding.clear();
        taken.clear();
        while (!jobs_.empty() && taken.size() < wanted) {
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            FolderCounts& folder = *job.folder;
            if (folder.dropped_)
                continue;
            bool any = false;
            for (std::size_t p = job.position; p < job.position + job.span; ++p) {
                FolderCounts::Entry& entry = folder.entries_[p];
                if (!entry.claimed) {
                    entry.claimed = true;
                    taken.push_back({&folder, p, std::move(entry.ahead)});
                    any = true;
                }
            }
            if (any)
                holding.push_back(std::move(job.folder));
        }
        if (taken.empty())
            continue;
        ++busyReaders_;
        if (waiting)
            OpenAheadOfJobs(reading, lock);
        lock.unlock();
        // A stop waits for the file in hand only: the rest are given back unread.
        std::size_t read = 0;
        for (; read < taken.size() && (read == 0 || !stopping_.load(std::memory_order_relaxed));
             ++read) {
            // Each count is handed over as soon as it is known: the consumer, often right
            // behind, need not wait for the rest of a run of files.
            Taken& item = taken[read];
            FolderCounts::Entry& entry = item.folder->entries_[item.position];
            bool fromIndex = false;
            auto scanned =
                ReadEntry(reading, *item.folder, entry, std::move(item.ahead), fromIndex);
            Publish(entry, std::move(scanned), fromIndex);
        }
        lock.lock();
        bool awaited = false;
        for (std::size_t i = 0; i < taken.size(); ++i) {
            Taken& item = taken[i];
            FolderCounts::Entry& entry = item.folder->entries_[item.position];
            awaited = awaited || &entry == awaited_;
            if (i < read)
                Settle(*item.folder, entry);
            else
                entry.claimed = false;
        }
        // The consumer is woken for the file it waits for, and a stop for the last reader.
        if (--busyReaders_ == 0 || awaited)
            resultReady_.notify_all();
    }
}

void ScanPool::OpenAheadOfJobs(Reading& reading, std::unique_lock<std::mutex>& lock) {
    // Files the index knows are only stat'ed, and most are unchanged: only the others are
    // worth opening ahead.
    std::vector<std::pair<std::shared_ptr<FolderCounts>, std::size_t>> toOpen;
    for (std::size_t j = 0; j < jobs_.size() && j < kJobsOpenedAhead; ++j) {
        const Job& job = jobs_[j];
        FolderCounts::Entry& entry = job.folder->entries_[job.position];
        if (job.span == 1 && !job.folder->dropped_ && !entry.claimed && !entry.known &&
            !entry.ahead && !entry.openingAhead) {
            entry.openingAhead = true;
            ++job.folder->openingAhead_;
            toOpen.emplace_back(job.folder, job.position);
        }
    }
    if (toOpen.empty())
        return;
    std::vector<std::optional<icons::FileSource>> opened;
    opened.reserve(toOpen.size());
    lock.unlock();
    for (const auto& [folder, position] : toOpen) {
        // Each open may wait for the disk; a stop waits for none it need not.
        if (stopping_.load(std::memory_order_relaxed)) {
            opened.emplace_back();
            continue;
        }
        const FolderCounts::Entry& entry = folder->entries_[position];
        std::string name;
        const int dirFd = FolderFor(reading, *folder, entry, name);
        opened.push_back(icons::OpenAhead(dirFd, name, entry.type == DT_REG, folder->hashes_));
    }
    lock.lock();
    for (std::size_t i = 0; i < toOpen.size(); ++i) {
        auto& [folder, position] = toOpen[i];
        FolderCounts::Entry& entry = folder->entries_[position];
        entry.openingAhead = false;
        --folder->openingAhead_;
        // Whoever took the entry meanwhile opened it again; this copy is closed unused.
        if (opened[i] && !entry.claimed && !folder->dropped_)
            entry.ahead = std::make_shared<icons::FileSource>(std::move(*opened[i]));
        folder->CloseWhenRead();
    }
}

void ScanPool::Queue(const std::shared_ptr<FolderCounts>& folder) {
    folder->pool_ = this;
    folder->hashes_ = walk_.rules.hashes;
    platform::ScanIndex* index = index_ && index_->Active() ? index_.get() : nullptr;
    folder->indexed_ = index != nullptr;
    std::vector<std::size_t> unread;
    if (index && !folder->folder_.empty()) {
        // The walk looked at the index once for the whole folder. Each file it knows goes to a
        // reader with what it knows, for the reader to stat the file and compare; a file it
        // does not know is read at once, and the read tells its stamp.
        if (!folder->indexRows_.empty()) {
            const RowsByName rows(folder->indexRows_);
            for (FolderCounts::Entry& entry : folder->entries_)
                entry.known = rows.Find(entry.name);
        }
        for (std::size_t i = 0; i < folder->entries_.size(); ++i)
            unread.push_back(i);
        if (!unread.empty() || (folder->listing_ && !folder->listingHeld_)) {
            std::lock_guard lock(mutex_);
            toStore_.push_back(folder);
        }
    } else {
        for (std::size_t i = 0; i < folder->entries_.size(); ++i) {
            FolderCounts::Entry& entry = folder->entries_[i];
            if (index) {
                // A list of paths: the index is asked file by file.
                struct stat info {};
                if (::stat(entry.name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
                    entry.stamp = StampFrom(info);
                    if (auto known = index->Lookup(entry.name, *entry.stamp);
                        known && (!folder->hashes_ || HasHashes(*known))) {
                        entry.count = known->iconCount;
                        entry.hashes = HashesOf(*known);
                        entry.ready = true;
                        entry.fromIndex = true;
                        continue;
                    }
                }
            }
            unread.push_back(i);
        }
    }
    std::unique_lock lock(mutex_);
    // Without threads the consumer walks only when it has nothing listed, so there is room.
    if (!inline_)
        roomAhead_.wait(lock, [this] {
            return stopWalk_ || (filesAhead_ < kMaxFilesAhead && walked_.size() < maxFoldersAhead_);
        });
    if (stopWalk_)
        return;
    folder->outstanding_ = unread.size();
    folder->CloseWhenRead();
    std::size_t jobs = 0;
    if (!inline_)
        for (std::size_t i = 0; i < unread.size();) {
            // Files the index knows go in runs: a stat each is too little work for a job of
            // its own. A file to be read is a job by itself, so that reads spread over readers.
            std::size_t span = 1;
            while (folder->entries_[unread[i]].known && span < kKnownPerJob &&
                   i + span < unread.size() && unread[i + span] == unread[i] + span &&
                   folder->entries_[unread[i + span]].known)
                ++span;
            jobs_.push_back({folder, unread[i], span});
            ++jobs;
            i += span;
        }
    walked_.push_back(folder);
    filesAhead_ += folder->entries_.size();
    const bool diskWaits = diskWaits_;
    lock.unlock();
    // One reader for each job: waking them all for the one job of a small folder only has
    // them fight over the lock.
    if (jobs >= static_cast<std::size_t>(threadCount_))
        workReady_.notify_all();
    else
        for (std::size_t k = 0; k < jobs; ++k)
            workReady_.notify_one();
    if (diskWaits && jobs > 0)
        diskWork_.notify_all();
    folderReady_.notify_all();
}

bool ScanPool::FolderChanged(const FolderCounts& folder) {
    // Asked of every folder of a re-scan, under the lock: the answer is nearly always no, and
    // needs no rows built.
    bool changed = folder.listing_ && !folder.listingHeld_;
    std::size_t keptOld = 0;
    for (const FolderCounts::Entry& entry : folder.entries_) {
        if (entry.ready && entry.stamp && entry.count >= 0) {
            changed = changed || !entry.fromIndex;
            keptOld += entry.known != nullptr;
        } else if (entry.known && !entry.ready) {
            ++keptOld;
        }
    }
    for (const platform::IndexedFile& row : folder.indexRows_)
        keptOld +=
            std::binary_search(folder.passedOver_.begin(), folder.passedOver_.end(), row.name);
    return changed || keptOld != folder.indexRows_.size();
}

std::vector<platform::IndexedFile> ScanPool::FolderRows(const FolderCounts& folder) {
    std::vector<platform::IndexedFile> rows;
    for (const FolderCounts::Entry& entry : folder.entries_) {
        if (entry.ready && entry.stamp && entry.count >= 0)
            rows.push_back({entry.name, *entry.stamp, IndexEntryOf(entry.count, entry.hashes)});
        else if (entry.known && !entry.ready)
            rows.push_back(*entry.known); // not looked at this time: what was known stays
    }
    // Files the walk passed over (another type filter) keep their rows; the rest are gone.
    for (const platform::IndexedFile& row : folder.indexRows_)
        if (std::binary_search(folder.passedOver_.begin(), folder.passedOver_.end(), row.name))
            rows.push_back(row);
    return rows;
}

void ScanPool::StoreFound(bool all) {
    std::vector<Found> found;
    struct FolderRow {
        std::string path;
        std::vector<platform::IndexedFile> files;
        std::optional<platform::FolderListing> listing;
    };
    std::vector<FolderRow> folders;
    std::vector<int> closing;
    {
        std::lock_guard lock(mutex_);
        found.swap(found_);
        closing.swap(closing_);
        // A folder is written once every read of it is over, or once the consumer gave it up.
        std::erase_if(toStore_, [&](const std::shared_ptr<FolderCounts>& folder) {
            if (!all && folder->outstanding_ > 0 && !folder->dropped_)
                return false;
            // A folder whose files all came from the index has nothing new to tell it.
            if (FolderChanged(*folder))
                folders.push_back(
                    {folder->folder_, FolderRows(*folder), std::move(folder->listing_)});
            return true;
        });
    }
    for (const int fd : closing)
        ::close(fd);
    if (!index_ || !index_->Active())
        return;
    for (auto& [path, rows, listing] : folders)
        index_->StoreFolder(path, std::move(rows), std::move(listing));
    for (const Found& file : found)
        index_->Store(file.path, file.stamp, IndexEntryOf(file.count, file.hashes));
}

void ScanPool::LookAhead(const std::string& root) {
    // On a cold disk a re-scan waits for the walker, and the walker for the disk: each folder
    // it opens is an inode to read, and each subfolder it checks a directory block, one after
    // the other. The index names the folders ahead; looked up by several threads at once, their
    // inodes and directory blocks come in together, and the walker finds them in memory. A
    // folder that is gone or renamed costs a failed lookup and nothing else.
    aheadFolders_ = index_->FoldersBelow(root, kMaxFoldersLookedAhead);
    // Only the scanned folder's own file system is looked at ahead. A lookup on a mount below it
    // may never return (a network share whose server went away): the walk meets such a mount
    // only when it gets there, but a thread looking ahead would meet it first, and a stop would
    // wait for that thread.
    std::string mountinfo;
    if (std::ifstream file("/proc/self/mountinfo"); file)
        mountinfo.assign(std::istreambuf_iterator<char>(file), {});
    for (const std::string& mount : MountPointsBelow(mountinfo, root)) {
        const auto from = std::lower_bound(aheadFolders_.begin(), aheadFolders_.end(), mount);
        const auto to = std::lower_bound(from, aheadFolders_.end(), mount + '0');
        // The mount point and what lies below it; names such as "mount.old" sort between.
        const std::string inside = mount + '/';
        aheadFolders_.erase(std::remove_if(from, to,
                                           [&](const std::string& path) {
                                               return path == mount || path.starts_with(inside);
                                           }),
                            to);
    }
    if (aheadFolders_.empty())
        return;
    nextAhead_ = 0;
    stopAhead_ = false;
    // As many as readers: the lookups wait for the disk, not the processor.
    for (int i = 0; i < threadCount_; ++i)
        lookingAhead_.emplace_back([this] { LookAheadLoop(); });
}

void ScanPool::LookAheadLoop() {
    NameThisThread("scan-lookahead");
    RunAsThroughputThread();
    for (std::size_t next = 0; !stopAhead_.load(std::memory_order_relaxed) &&
                               (next = nextAhead_.fetch_add(1)) < aheadFolders_.size();) {
        struct stat info {};
        ::fstatat(AT_FDCWD, aheadFolders_[next].c_str(), &info,
                  AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT);
    }
}

void ScanPool::StopLookingAhead() {
    stopAhead_ = true;
    for (std::thread& thread : lookingAhead_)
        thread.join();
    lookingAhead_.clear();
    aheadFolders_.clear();
}

void ScanPool::EndWalk() {
    StopLookingAhead();
    StoreFound(true);
    if (index_ && index_->Active())
        index_->Flush();
    index_.reset();
    walk_ = WalkState{};
}

void ScanPool::ListFolder(const std::string& path, int depth) {
    const WalkRules& rules = walk_.rules;
    auto folder = std::make_shared<FolderCounts>();
    folder->folder_ = Trimmed(path);
    folder->dirFd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder->dirFd_ < 0)
        return;
    struct stat self {};
    if (::fstat(folder->dirFd_, &self) != 0)
        return;

    platform::FolderListing listing;
    listing.mtimeNs = std::int64_t{self.st_mtim.tv_sec} * 1'000'000'000 + self.st_mtim.tv_nsec;
    listing.ctimeNs = std::int64_t{self.st_ctim.tv_sec} * 1'000'000'000 + self.st_ctim.tv_nsec;
    listing.inode = static_cast<std::uint64_t>(self.st_ino);
    listing.device = static_cast<std::uint64_t>(self.st_dev);
    listing.listedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    const bool indexed = index_ && index_->Active() && !folder->folder_.empty();
    std::optional<platform::FolderListing> held;
    if (indexed)
        folder->indexRows_ = index_->LookupFolder(folder->folder_, &held);
    if (held && held->SameFolder(listing)) {
        // Nothing was added, removed or renamed since the listing was read: on a big tree,
        // reading folders is much of what a scan that finds its files unchanged costs.
        held->listedNs = listing.listedNs;
        listing = std::move(*held);
        folder->listingHeld_ = true;
    } else if (!ReadListing(folder->dirFd_, listing)) {
        return;
    }

    std::vector<std::string> subfolders;
    folder->entries_.reserve(listing.files.size());
    for (const std::string& name : listing.files) {
        if (!rules.wantFile || rules.wantFile(name))
            folder->entries_.push_back({.name = name, .type = DT_REG});
        else if (indexed)
            folder->passedOver_.push_back(name);
    }
    if (rules.descend)
        for (const std::string& name : listing.subfolders)
            if (name[0] != '.')
                subfolders.push_back(name);
    std::sort(folder->passedOver_.begin(), folder->passedOver_.end());
    // Kept for the folder's index row: a listing read now when it is fit to be kept, a held
    // one for being written again with the row.
    if (folder->listingHeld_ || (indexed && listing.listedNs != 0))
        folder->listing_ = std::move(listing);

    // Subfolders on another file system are checked for being pseudo file systems.
    std::erase_if(subfolders, [&](const std::string& name) {
        struct stat info {};
        if (::fstatat(folder->dirFd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(info.st_mode))
            return true;
        if (info.st_dev == self.st_dev)
            return false;
        struct statfs fs {};
        return ::statfs(Join(path, name).c_str(), &fs) != 0 ||
               platform::IsPseudoFileSystemMagic(static_cast<unsigned long>(fs.f_type));
    });
    if (rules.folderBefore)
        std::stable_sort(subfolders.begin(), subfolders.end(), rules.folderBefore);
    folder->subfolders_ = subfolders;

    Queue(folder);
    // The first subfolder is listed next, its own subfolders before its sisters.
    if (depth < kMaxDepth)
        for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
            walk_.folders.emplace_back(Join(path, *it), depth + 1);
}

bool ScanPool::WalkStep() {
    if (Stopping())
        return false;
    if (!walk_.folders.empty()) {
        auto [path, depth] = std::move(walk_.folders.back());
        walk_.folders.pop_back();
        ListFolder(path, depth);
    } else if (walk_.nextPath < walk_.paths.size()) {
        auto part = std::make_shared<FolderCounts>();
        const std::size_t end = std::min(walk_.paths.size(), walk_.nextPath + kPathsPerPart);
        for (; walk_.nextPath < end; ++walk_.nextPath)
            part->entries_.push_back({.name = std::move(walk_.paths[walk_.nextPath])});
        Queue(part);
    } else {
        return false;
    }
    StoreFound();
    return true;
}

void ScanPool::WalkLoop() {
    NameThisThread("scan-walker");
    if (!indexSettings_.folder.empty())
        index_ = platform::ScanIndex::Open(indexSettings_.folder, indexSettings_.options);
    // Looking ahead pays only where folders come from the disk, which the walk's own reads
    // tell; in memory, it is work the walk has no use for. (The window has often listed the
    // first folders already, so the first steps alone do not tell.)
    constexpr int kStepsBetweenLooks = 16;
    std::string root;
    if (walk_.folders.size() == 1 && walk_.rules.descend && index_ && index_->Active())
        root = walk_.folders.front().first;
    long blocks = BlockInput();
    for (int steps = 1; WalkStep(); ++steps) {
        if (root.empty() || steps % kStepsBetweenLooks != 0)
            continue;
        const long now = BlockInput();
        if (now != blocks)
            LookAhead(std::exchange(root, {}));
        blocks = now;
    }
    {
        std::unique_lock lock(mutex_);
        walking_ = false;
        folderReady_.notify_all();
        // What the readers still find goes into the index too, unless the scan was stopped.
        while (index_ && index_->Active() && !stopWalk_ && (!jobs_.empty() || busyReaders_ > 0)) {
            resultReady_.wait_for(lock, std::chrono::milliseconds(50));
            lock.unlock();
            StoreFound();
            lock.lock();
        }
    }
    EndWalk();
}

std::shared_ptr<FolderCounts> ScanPool::TakeFolder(const std::string& folderPath,
                                                   std::chrono::milliseconds timeout,
                                                   bool& mayCome) {
    const std::string nativeFolder = Trimmed(folderPath);
    std::unique_lock lock(mutex_);
    std::shared_ptr<FolderCounts> taken;
    bool skipped = false;
    const auto find = [&] {
        const auto it = std::find_if(walked_.begin(), walked_.end(),
                                     [&](const auto& f) { return f->folder_ == nativeFolder; });
        if (it == walked_.end())
            return false;
        // The folders listed before this one were skipped by the consumer.
        skipped = it != walked_.begin();
        for (auto drop = walked_.begin(); drop != it; ++drop) {
            (*drop)->dropped_ = true;
            filesAhead_ -= (*drop)->entries_.size();
        }
        taken = *it;
        filesAhead_ -= taken->entries_.size();
        walked_.erase(walked_.begin(), it + 1);
        return true;
    };
    // While the walk runs and has room to go on, the folder may still come.
    const auto hopeless = [&] {
        return !walking_ || stopWalk_ || filesAhead_ >= kMaxFilesAhead ||
               walked_.size() >= maxFoldersAhead_;
    };
    if (inline_) {
        while (!find() && !hopeless()) {
            lock.unlock();
            const bool more = WalkStep();
            lock.lock();
            if (!more) {
                walking_ = false;
                lock.unlock();
                EndWalk();
                lock.lock();
            }
        }
    } else {
        folderReady_.wait_for(lock, timeout, [&] { return find() || hopeless(); });
        if (!taken)
            find();
    }
    mayCome = !taken && !hopeless();
    if (taken) {
        // The dropped folders' queued reads are of no use any more. (The consumer nearly always
        // takes the folder at the front: then there is nothing to look for in the queue.)
        if (skipped)
            std::erase_if(jobs_, [](const Job& job) { return job.folder->dropped_; });
        lock.unlock();
        roomAhead_.notify_all();
    }
    return taken;
}

std::shared_ptr<FolderCounts> ScanPool::TakeNext(std::chrono::milliseconds timeout,
                                                 bool& finished) {
    if (inline_) {
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (!walking_ || !walked_.empty())
                    break;
            }
            if (!WalkStep()) {
                {
                    std::lock_guard lock(mutex_);
                    walking_ = false;
                }
                EndWalk();
            }
        }
    }
    std::unique_lock lock(mutex_);
    finished = false;
    folderReady_.wait_for(lock, timeout, [&] { return !walked_.empty() || !walking_; });
    if (walked_.empty()) {
        finished = !walking_;
        return nullptr;
    }
    auto taken = walked_.front();
    walked_.pop_front();
    filesAhead_ -= taken->entries_.size();
    lock.unlock();
    roomAhead_.notify_all();
    return taken;
}

} // namespace glyptor::scan
