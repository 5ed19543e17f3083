// The persistent scan index: what a scan learnt about a file (its icon count and icon groups),
// keyed by the file's native path and stamped with its size, modification time, inode and
// device, so that a later scan can take the count of an unchanged file without opening it.
// The files of one folder are kept together, so that a scanner asks once per folder.
//
// The index is a cache and never an authority: an entry is returned only when every stamp field
// matches, a file that is damaged, foreign or of another version is rebuilt, and any database
// failure at run time turns the index off for the rest of the session instead of reaching the
// scan. Several program instances may use one index at once (SQLite in WAL mode, short write
// transactions, a busy timeout; two instances writing one folder: the last one wins). It is
// bounded: folders not seen for a number of days go, and the folders seen longest ago go when
// the file outgrows its size cap.
//
// One ScanIndex belongs to one thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace glyptor::platform {

// What identifies one version of a file on disk.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0; // nanoseconds since the epoch
    std::uint64_t inode = 0;
    std::uint64_t device = 0;

    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at a native path (following links); none when it cannot be read.
std::optional<FileStamp> StampOf(const std::string& nativePath);

// One icon group of a file: the caller's id for it (opaque to the index; a resource name or a
// number written as text) and, when known, a 64-bit hash of its image.
struct IndexedGroup {
    std::string id;
    std::optional<std::uint64_t> hash;

    bool operator==(const IndexedGroup&) const = default;
};

// What the index keeps about one file.
struct IndexEntry {
    int iconCount = 0;
    std::vector<IndexedGroup> groups;

    bool operator==(const IndexEntry&) const = default;
};

// One file of a folder as the index keeps it.
struct IndexedFile {
    std::string name; // the file's name inside the folder (no slash)
    FileStamp stamp;
    IndexEntry entry;

    bool operator==(const IndexedFile&) const = default;
};

// The entries of a folder as a listing found them, with the folder's own stamp. Adding, removing
// or renaming an entry changes the folder's modification and change times, so while the stamp
// is unchanged a scan may take the names from here instead of listing the folder again (each
// file's own stamp is still checked). Links and entries of unknown type are never kept here: what
// a link names can change without its folder changing.
struct FolderListing {
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
    std::vector<std::string> files;      // regular files, in listing order
    std::vector<std::string> subfolders; // in listing order
    // When the listing was read (not stored): a folder whose times are both within two seconds
    // before that could change again without its stamp changing, so such a listing is not kept.
    std::int64_t listedNs = 0;

    bool SameFolder(const FolderListing& other) const {
        return mtimeNs == other.mtimeNs && ctimeNs == other.ctimeNs && inode == other.inode &&
               device == other.device;
    }
    bool operator==(const FolderListing& other) const {
        return SameFolder(other) && files == other.files && subfolders == other.subfolders;
    }
};

// $XDG_CACHE_HOME/Brindlow, or ~/.cache/Brindlow when XDG_CACHE_HOME is unset or relative.
std::string DefaultScanIndexFolder();

// Has the system read the whole of the open file `fd` into memory in the background, as long
// reads. The kernel takes a request for more than its read-ahead window (128 KiB on many disks)
// only as far as that window, so the file is asked for in parts no larger.
void ReadWholeFileAhead(int fd);

class ScanIndex {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    struct Options {
        bool enabled = true;
        // Upper bound for the database file; the folders seen longest ago go beyond it. One
        // folder keeps at most a quarter of it (its files stored longest ago go first).
        std::uint64_t maxBytes = 64ull << 20;
        // Folders not looked up or stored for this many days go.
        int maxAgeDays = 90;
        // Stores, folder stores and touches kept in memory before they are written in one
        // transaction.
        int batchSize = 256;
        // How long a write waits for another instance's transaction.
        int busyTimeoutMs = 5000;
        // Source of "now" (last-seen days, pruning, the just-modified rule); the system clock
        // when empty.
        Clock clock;
    };

    // File name of the database inside the index folder.
    static constexpr const char* FileName = "scanindex.sqlite";

    // Opens (creating the folder and the database when missing) the index in `folder`. Never
    // fails: when the index is disabled or cannot be opened, the result is an inactive index
    // whose calls do nothing. Runs the daily prune when the last one is a day old.
    static std::unique_ptr<ScanIndex> Open(const std::string& folder, Options options);

    ~ScanIndex(); // flushes
    ScanIndex(const ScanIndex&) = delete;
    ScanIndex& operator=(const ScanIndex&) = delete;

    // False when disabled by the options or after a database failure.
    bool Active() const { return db_ != nullptr; }
    // Why the index is inactive (empty when active or disabled by the options).
    const std::string& Problem() const { return problem_; }

    // The entry stored for the path, only when it was stored with exactly this stamp. Marks the
    // path's folder as seen today. Consecutive lookups in one folder read it once.
    std::optional<IndexEntry> Lookup(const std::string& nativePath, const FileStamp& stamp);

    // Records what a scan found in the file with this stamp (replacing any older entry of the
    // file, keeping the other files of its folder). A file modified in the last two seconds is
    // not recorded: another write within the file system's time resolution could leave size and
    // time unchanged.
    void Store(const std::string& nativePath, const FileStamp& stamp, const IndexEntry& entry);

    // Every file stored for the native folder path (no trailing slash; "/" for the root), in any
    // order; empty when the folder is unknown, its row cannot be decoded, or the index is
    // inactive. The caller compares stamps itself. Marks the folder as seen today. `listing`,
    // when given, gets the folder's stored listing, if it has one.
    std::vector<IndexedFile> LookupFolder(const std::string& nativeFolder,
                                          std::optional<FolderListing>* listing = nullptr);

    // The folders below the native folder (not the folder itself) whose rows are written, in
    // path order, at most `limit` of them; empty when there are none or the index is inactive.
    std::vector<std::string> FoldersBelow(const std::string& nativeFolder, std::size_t limit);

    // Replaces what the index keeps for the folder with `files` and `listing` (no files and no
    // listing forget the folder). Files modified in the last two seconds are left out, as in
    // Store, and so are names that no file can have (empty, with a slash, longer than 255
    // bytes); a listing with such a name, or of a folder changed within two seconds of its
    // listing, is not kept. Stores of single files keep the folder's listing.
    void StoreFolder(const std::string& nativeFolder, std::vector<IndexedFile> files,
                     std::optional<FolderListing> listing = std::nullopt);

    // Writes the pending stores in one short transaction (a Store is merged into its folder's
    // row there, so that two instances storing files of one folder keep both). Lookups share one
    // read transaction for up to a thousand calls; Flush ends it too, so call it when a scan pauses
    // or ends.
    void Flush();

    // Removes folders not seen for maxAgeDays before `now`, then the oldest-seen ones while the
    // database is over maxBytes, and hands the freed pages back to the file system.
    void Prune(std::chrono::system_clock::time_point now);

private:
    // What is waiting to be written for one folder: either its whole new file list or files
    // to merge into the stored one.
    struct PendingFolder {
        bool replace = false;
        std::map<std::string, IndexedFile> files; // by name
        std::optional<FolderListing> listing;     // with `replace`
    };
    // The last folder read from the database, by name, valid while the read transaction lasts.
    struct ReadFolder {
        std::string folder;
        std::vector<IndexedFile> files; // sorted by name
        std::optional<FolderListing> listing;
        bool valid = false;
    };

    enum class OpenResult { Ok, Damaged, Failed };

    ScanIndex(Options options, std::string folder);
    bool OpenDatabase();
    OpenResult OpenOnce();
    void CloseDatabase();
    // Notes the stamps of the database and its log as a sound session leaves them, for the next
    // open to skip its check while they are unchanged.
    void RecordSound();
    void Fail(int code);
    bool Exec(const char* sql);
    std::int64_t PragmaInt(const char* sql);
    std::int64_t Today() const;
    std::chrono::system_clock::time_point Now() const;
    void PruneToCap();
    void EndRead();
    const ReadFolder& Read(const std::string& folder);
    std::int64_t NowNs() const;
    bool Recordable(const IndexedFile& file, std::int64_t nowNs) const;
    void Pending(std::size_t added);
    bool WriteFolder(const std::string& folder, const PendingFolder& pending, std::int64_t today);

    Options options_;
    std::string folder_;
    std::string path_;
    std::string problem_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* select_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* touch_ = nullptr;
    sqlite3_stmt* remove_ = nullptr;
    // In key order: fewer pages touched per write.
    std::map<std::string, PendingFolder> pendingFolders_;
    std::set<std::string> pendingTouches_;
    std::size_t pendingCount_ = 0; // stores, folder stores and touches since the last write
    int lookupsInRead_ = 0;        // > 0 while a read transaction is open
    ReadFolder read_;
};

} // namespace glyptor::platform
