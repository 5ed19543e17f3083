// The reader pool behind a scan: a walker thread lists the folders a scan is going to visit, in
// the order it will visit them, and a few reader threads count the icons of their files ahead of
// the consumer. The consumer (the window's scanner, or glyptor-icons) takes the folders back and
// waits for each count in its own order, so what it makes of them is exactly what a scan that
// counted one file at a time would make. The pool only ever hands out plain data; it knows no
// widgets. When a persistent scan index is given, the walker takes the count of an unchanged
// file from it without opening the file and records what the readers found.
//
// Every call belongs to one consumer thread. Stop (and the destructor) returns only when no
// worker thread is left running. The consumer never waits for a file no reader has taken yet:
// it counts that file itself, so a busy machine makes the pool no slower than counting alone.
// With one thread the pool starts none at all: the consumer lists and counts in its own calls.
#pragma once

#include "platform/icons/IconSource.h"
#include "platform/scanindex/ScanIndex.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace glyptor::scan {

// Reader threads for this machine: the work waits on the disk far more than on a core, so
// twice the cores, at least 2 and at most 8.
int DefaultReaderThreads();
// Readers a pool of `readers` adds by default that take files only while reads wait for the
// disk: then each file costs a core next to nothing, and what bounds a cold scan is how many
// reads the disk is given at once.
int DefaultDiskReaderThreads(int readers);

// The blocks the disk has read for the calling thread so far, by which readers judge whether
// their reads wait for the disk. Null restores the kernel's account; a test puts in one that
// always moves, to have every reader take part as on a slow disk.
using BlockInputProbe = long (*)();
void SetBlockInputProbe(BlockInputProbe probe);

// The mount points strictly below the native folder `root`, sorted, from the text of
// /proc/self/mountinfo (its escapes undone).
std::vector<std::string> MountPointsBelow(std::string_view mountinfo, const std::string& root);

// How a walk goes from folder to folder, as the consumer would go.
struct WalkRules {
    // Files of a folder the consumer will ask for (true for every file when unset).
    std::function<bool(const std::string& name)> wantFile;
    // The order in which the consumer visits subfolders (the file system's order when unset);
    // must be a strict weak order, applied with a stable sort over the listing.
    std::function<bool(const std::string& a, const std::string& b)> folderBefore;
    // Whether subfolders are visited at all.
    bool descend = true;
    // Whether each file's icons are also fingerprinted (ChosenImageHashes), for folding
    // repeats: read in the same open as the count, or taken from the index when it has them.
    bool hashes = false;
};

// What the scan index settings say; an empty folder means no index.
struct IndexSettings {
    std::string folder;
    platform::ScanIndex::Options options;
};

// One listed folder (or one list of paths) and the counts of its files.
class FolderCounts {
public:
    enum class State { Ready, Pending, Unknown };

    // The folder's native path (empty for a list of paths).
    const std::string& Folder() const { return folder_; }
    // The names the walk kept, in listing order.
    std::vector<std::string> Names() const;
    // Subfolders the walk went into after this folder's files, in visiting order.
    const std::vector<std::string>& Subfolders() const { return subfolders_; }

    // Where `name` is in Names(); none when the walk did not list it (the consumer counts it
    // itself). Asked in listing order, the answer is found at once.
    std::optional<std::size_t> PositionOf(const std::string& name);
    // The count of the file at `position` (below 1: no icons or unreadable): Ready with `count`
    // set, Pending when a reader has not finished within `timeout`, Unknown when the folder was
    // given up. `hashes`, when given, gets the icons' fingerprints when the walk was asked for
    // them.
    State WaitAt(std::size_t position, std::chrono::milliseconds timeout, int& count,
                 std::vector<std::optional<std::uint64_t>>* hashes = nullptr);

private:
    friend class ScanPool;
    // Set once, after everything else about the entry, by the thread that counted it (a reader
    // without the pool's lock); the consumer may look at it, and then at the entry, without the
    // lock. Whoever looks at an entry's count or stamp looks at the flag first.
    class ReadyFlag {
    public:
        ReadyFlag() = default;
        // noexcept, so that a growing vector of entries moves them instead of copying.
        ReadyFlag(const ReadyFlag& other) noexcept : set_(static_cast<bool>(other)) {}
        ReadyFlag& operator=(const ReadyFlag& other) noexcept {
            return *this = static_cast<bool>(other);
        }
        ReadyFlag& operator=(bool set) noexcept {
            set_.store(set, std::memory_order_release);
            return *this;
        }
        operator bool() const { return set_.load(std::memory_order_acquire); }

    private:
        std::atomic<bool> set_{false};
    };
    struct Entry {
        std::string name;
        unsigned char type = 0; // d_type of the listing
        std::optional<platform::FileStamp> stamp{};
        int count = 0;
        std::vector<std::optional<std::uint64_t>> hashes{}; // when the walk wants them

        ReadyFlag ready{};
        bool claimed = false;   // a reader or the consumer is counting it
        bool fromIndex = false; // the count came from the scan index
        // What the index knew of the file (in the folder's indexRows_), for the reader to
        // check against the file's stamp.
        const platform::IndexedFile* known = nullptr;
        // The file, opened by a reader ahead of its turn (icons::OpenAhead), for whoever counts
        // it; `openingAhead` while a reader is at it.
        std::shared_ptr<icons::FileSource> ahead{};
        bool openingAhead = false;
    };

    // Closes the folder once no file of it is left to read (lock held).
    void CloseWhenRead();

    std::string folder_;
    int dirFd_ = -1;       // the folder, open while its files are being read
    int openingAhead_ = 0; // its files a reader is opening ahead (icons::OpenAhead)
    std::vector<Entry> entries_;
    std::vector<std::string> subfolders_;
    std::size_t cursor_ = 0; // where the consumer's next name usually is
    std::size_t outstanding_ = 0;
    bool hashes_ = false;  // the walk's WalkRules::hashes
    bool indexed_ = false; // what readers find goes into the scan index
    // What the index knew about the folder's files (by name), and the regular files the walk's
    // filter passed over (sorted); neither changes once the folder is queued.
    std::vector<platform::IndexedFile> indexRows_;
    std::vector<std::string> passedOver_;
    // The folder's entries for the index: taken from it (`listingHeld_`) or read now. Left
    // empty when the listing named links or entries of unknown type.
    std::optional<platform::FolderListing> listing_;
    bool listingHeld_ = false;
    bool dropped_ = false;
    class ScanPool* pool_ = nullptr;

public:
    FolderCounts() = default;
    ~FolderCounts();
    FolderCounts(const FolderCounts&) = delete;
    FolderCounts& operator=(const FolderCounts&) = delete;
};

class ScanPool {
public:
    // `threads` below 1 means DefaultReaderThreads() and as many more that read only while the
    // disk is slow (DefaultDiskReaderThreads); 1 means no thread besides the consumer.
    explicit ScanPool(int threads = 0, IndexSettings index = {});
    ~ScanPool();
    ScanPool(const ScanPool&) = delete;
    ScanPool& operator=(const ScanPool&) = delete;

    int Threads() const { return threadCount_; }
    // The readers it adds while reads wait for the disk (none with an explicit thread count, or
    // fewer under a low open-file limit).
    int DiskThreads() const { return diskThreadCount_; }

    // Starts walking from the native folder `root` (stopping any walk before).
    void StartWalk(const std::string& root, WalkRules rules);
    // Counts a list of native paths instead (stopping any walk before): TakeNext hands them
    // out in the given order, in parts whose names are the paths and whose folder is empty.
    void StartPaths(std::vector<std::string> paths);

    // The folder at `nativeFolder` once the walk has listed it, waiting up to `timeout`; the
    // folders the walk listed before it are given up (the consumer skipped them). Null when the
    // walk has not listed it: the consumer then counts the folder's files itself. `mayCome`
    // tells whether asking again later could still find it (the time ran out, not the walk).
    std::shared_ptr<FolderCounts> TakeFolder(const std::string& nativeFolder,
                                             std::chrono::milliseconds timeout, bool& mayCome);
    // The next folder in walk order, waiting up to `timeout`; null when the walk is over
    // (`finished` true) or the time ran out.
    std::shared_ptr<FolderCounts> TakeNext(std::chrono::milliseconds timeout, bool& finished);

    // Ends the walk, drops every queued read and waits for the threads; the index gets what
    // was found so far.
    void Stop();

private:
    friend class FolderCounts;
    // Entries position .. position + span - 1 of a folder; a span of more than one holds
    // files the index knows, whose check is a stat each.
    struct Job {
        std::shared_ptr<FolderCounts> folder;
        std::size_t position = 0;
        std::size_t span = 1;
    };
    struct Found {
        std::string path;
        platform::FileStamp stamp;
        int count = 0;
        std::vector<std::optional<std::uint64_t>> hashes;
    };

    void StartReaders();
    // Starts the readers for a slow disk, once, and wakes them (lock held).
    void StartDiskReaders();
    // `onlyWhileDiskWaits`: a reader that sleeps while the files come from memory.
    void ReaderLoop(bool onlyWhileDiskWaits);
    void WalkLoop();
    void StartWalker(std::string root, WalkRules rules, std::vector<std::string> paths);
    void Queue(const std::shared_ptr<FolderCounts>& folder);
    // Lists the next folder (or part of the path list) of the walk and queues its files;
    // false once the walk is over.
    bool WalkStep();
    void ListFolder(const std::string& path, int depth);
    // What a thread that reads files keeps between them: parsed directories, and the open
    // folder of the paths of a list it reads.
    struct Reading {
        icons::IconSourceCache cache;
        std::string pathFolder;
        int pathFolderFd = -1;

        Reading() { cache.CloseScannedFilesInRuns(); }
        ~Reading();
        Reading(const Reading&) = delete;
        Reading& operator=(const Reading&) = delete;
        // The folder to look `path` up in, with `name` set to its last part; AT_FDCWD (and
        // `name` untouched) for a path to look up whole.
        int FolderOf(const std::string& path, std::string& name);
        // Whether this thread's reads have been waiting for the disk lately, judged again
        // every few files: opening files ahead only pays when they do. `looked` tells whether
        // this call judged anew.
        bool WaitingForDisk(bool& looked);

        // Until the first look, which comes soon (the next ones every 32 files), a reader
        // assumes the disk is slow: a cold start gains the most from opening ahead.
        bool waitingForDisk = true;
        int filesToLook = 4;
        long blocksAtLook = 0;
    };
    // Where to open the entry's file from: the folder to look `name` up in (set to the name to
    // look up there).
    static int FolderFor(Reading& reading, const FolderCounts& folder,
                         const FolderCounts::Entry& entry, std::string& name);
    // Reads one entry (no lock held) and records what was found (lock held).
    // `fromIndex` tells that the file's stamp matched what the index knew, so it was not read;
    // `ahead` is the entry's file when a reader opened it ahead.
    static std::optional<icons::ScannedFile> ReadEntry(Reading& reading, const FolderCounts& folder,
                                                       const FolderCounts::Entry& entry,
                                                       std::shared_ptr<icons::FileSource> ahead,
                                                       bool& fromIndex);
    // Opens the files of the next few jobs no one has taken yet and has their first reads
    // started (lock held on entry and on return; released while opening).
    void OpenAheadOfJobs(Reading& reading, std::unique_lock<std::mutex>& lock);
    // What the index knows of the entry, when the file's stamp still matches it.
    static std::optional<icons::ScannedFile> KnownUnchanged(const FolderCounts& folder,
                                                            const FolderCounts::Entry& entry);
    // Sets what was found about an entry, and then its ready flag (the consumer may take it
    // from then on without the lock); only the thread that claimed the entry calls it.
    static void Publish(FolderCounts::Entry& entry, std::optional<icons::ScannedFile> scanned,
                        bool fromIndex);
    // The pool's part once an entry is published: the index's list, the folder's count of
    // files still to read (lock held).
    void Settle(FolderCounts& folder, FolderCounts::Entry& entry);
    // Whether the folder's index row would differ from what the index had.
    static bool FolderChanged(const FolderCounts& folder);
    // The folder's new index row: what was read now, what was known of the files not read.
    static std::vector<platform::IndexedFile> FolderRows(const FolderCounts& folder);
    // Writes to the index what was found: the folders whose reads are over (every folder
    // waiting, with `all`) and the files of path lists.
    void StoreFound(bool all = false);
    // The end of a walk: the index gets what was found and is closed.
    void EndWalk();
    // Has the folders the index knows below `root` looked up ahead of the walk, by threads of
    // their own; StopLookingAhead ends that and waits for them.
    void LookAhead(const std::string& root);
    void StopLookingAhead();
    void LookAheadLoop();
    bool Stopping() const;

    // Where the walk stands: folders still to list (with their depth, the next one last) or
    // the paths of a list still to hand out. Owned by the walker thread while it runs, by the
    // consumer otherwise.
    struct WalkState {
        std::vector<std::pair<std::string, int>> folders;
        WalkRules rules;
        std::vector<std::string> paths;
        std::size_t nextPath = 0;
    };

    const int threadCount_;
    const int diskThreadCount_;
    const bool inline_; // no threads: the consumer walks and counts
    const std::size_t maxFoldersAhead_;
    IndexSettings indexSettings_;
    WalkState walk_;
    std::unique_ptr<platform::ScanIndex> index_; // open during a walk, when active
    Reading consumerReading_;
    std::vector<std::thread> readers_;
    // The readers for a slow disk, started when a reader first finds it slow.
    std::vector<std::thread> diskReaders_;
    std::thread walker_;
    // The walk's look ahead: folders to look up, the next one to take, whether to give up.
    std::vector<std::thread> lookingAhead_;
    std::vector<std::string> aheadFolders_;
    std::atomic<std::size_t> nextAhead_ = 0;
    std::atomic<bool> stopAhead_ = false;

    mutable std::mutex mutex_;
    std::condition_variable workReady_;   // readers wait for jobs
    std::condition_variable diskWork_;    // the readers for a slow disk wait for jobs and it
    std::condition_variable resultReady_; // the consumer waits for a count, a stop for readers
    std::condition_variable folderReady_; // the consumer waits for a listed folder
    std::condition_variable roomAhead_;   // the walker waits for the consumer to catch up
    std::deque<Job> jobs_;
    std::deque<std::shared_ptr<FolderCounts>> walked_;
    std::vector<Found> found_;                           // files of path lists
    std::vector<std::shared_ptr<FolderCounts>> toStore_; // folders with reads for the index
    std::vector<int> closing_;   // folders whose files are read, for StoreFound to close
    std::size_t filesAhead_ = 0; // listed by the walk, not yet taken or dropped
    int busyReaders_ = 0;
    // The entry the consumer waits for in WaitAt, if any: readers wake it only for that one.
    const FolderCounts::Entry* awaited_ = nullptr;
    bool walking_ = false;
    bool stopWalk_ = false;
    // stopWalk_, for readers to look at between the files they took without taking the lock.
    std::atomic<bool> stopping_ = false;
    bool quit_ = false;
    // What the readers' last look found: their reads wait for the disk.
    bool diskWaits_ = false;
};

} // namespace glyptor::scan
