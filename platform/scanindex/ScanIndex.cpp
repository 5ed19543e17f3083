// The scan index on SQLite. Reading an untrusted cache file is the delicate part: the file is
// checked (SQLite header, our schema version, quick_check, our statements compile) before it is
// used, the group lists stored in it are decoded with bounds checks, and whatever fails makes the
// index rebuild the file (at open) or step aside (at run time) rather than hand back a guess.
#include "platform/scanindex/ScanIndex.h"

#include "platform/scanindex/SqliteLibrary.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <thread>

namespace glyptor::platform {

namespace {

// Bumped whenever the tables change; a file of any other version is rebuilt.
constexpr int SchemaVersion = 3;

// A folder row is a few hundred bytes to a few kilobytes. A table with row ids keeps such a row
// on its b-tree page up to about 4 KB; without row ids anything over about 1 KB spills into an
// overflow page of its own, which made the file twice as large for folders of a few dozen files.
constexpr const char* Schema = R"sql(
CREATE TABLE folders(
    path BLOB PRIMARY KEY,
    files BLOB NOT NULL,
    last_seen INTEGER NOT NULL
);
CREATE INDEX folders_by_last_seen ON folders(last_seen);
CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
)sql";

// The file system may keep one time for two writes that follow each other closely; a file
// younger than this could still change without its stamp changing.
constexpr std::int64_t JustModifiedNs = 2'000'000'000;

// A folder row, little-endian: u8 format (2), u32 file count, then per file u8 name length, the
// name bytes, u64 size, i64 mtime in nanoseconds, u64 inode, u64 device, u32 icon count, u32
// group count and per group u8 flags (bit 0: hash present), u32 id length, the id bytes and,
// when flagged, the u64 hash. Files are kept in the order they were stored, so that a folder
// over its share of the cap loses the files stored longest ago. The folder's listing may follow:
// i64 mtime and i64 ctime in nanoseconds, u64 inode, u64 device, then u32 count and the names
// (u8 length, bytes) of the files and then of the subfolders.
constexpr std::uint8_t FilesFormat = 2;
constexpr std::size_t ListingFixedBytes = 8 + 8 + 8 + 8 + 4 + 4;
constexpr std::size_t HeaderBytes = 1 + 4;
constexpr std::size_t FileFixedBytes = 1 + 8 + 8 + 8 + 8 + 4 + 4;
constexpr std::size_t GroupFixedBytes = 1 + 4;
// Linux names are at most 255 bytes, which the one-byte length holds.
constexpr std::size_t MaxNameBytes = 255;

bool ValidName(const std::string& name) {
    // Called for every name of every row read; names are short, so one plain pass beats the
    // library's searches.
    return !name.empty() && name.size() <= MaxNameBytes &&
           std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || c == '\0'; });
}

template <int Bytes> void Put(std::string& out, std::uint64_t value) {
    char bytes[Bytes];
    for (int i = 0; i < Bytes; ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    out.append(bytes, Bytes);
}
void PutU32(std::string& out, std::uint32_t value) {
    Put<4>(out, value);
}
void PutU64(std::string& out, std::uint64_t value) {
    Put<8>(out, value);
}

std::size_t EncodedSize(const IndexedFile& file) {
    std::size_t size = FileFixedBytes + file.name.size();
    for (const auto& group : file.entry.groups)
        size += GroupFixedBytes + group.id.size() + (group.hash ? 8 : 0);
    return size;
}

std::size_t EncodedSize(const FolderListing& listing) {
    std::size_t size = ListingFixedBytes;
    for (const auto* names : {&listing.files, &listing.subfolders})
        for (const auto& name : *names)
            size += 1 + name.size();
    return size;
}

std::string EncodeRow(const std::vector<const IndexedFile*>& files,
                      const std::optional<FolderListing>& listing, std::size_t size) {
    std::string out;
    out.reserve(size);
    out.push_back(static_cast<char>(FilesFormat));
    PutU32(out, static_cast<std::uint32_t>(files.size()));
    for (const IndexedFile* file : files) {
        out.push_back(static_cast<char>(file->name.size()));
        out += file->name;
        PutU64(out, file->stamp.size);
        PutU64(out, static_cast<std::uint64_t>(file->stamp.mtimeNs));
        PutU64(out, file->stamp.inode);
        PutU64(out, file->stamp.device);
        PutU32(out, static_cast<std::uint32_t>(file->entry.iconCount));
        PutU32(out, static_cast<std::uint32_t>(file->entry.groups.size()));
        for (const auto& group : file->entry.groups) {
            out.push_back(static_cast<char>(group.hash ? 1 : 0));
            PutU32(out, static_cast<std::uint32_t>(group.id.size()));
            out += group.id;
            if (group.hash)
                PutU64(out, *group.hash);
        }
    }
    if (listing) {
        PutU64(out, static_cast<std::uint64_t>(listing->mtimeNs));
        PutU64(out, static_cast<std::uint64_t>(listing->ctimeNs));
        PutU64(out, listing->inode);
        PutU64(out, listing->device);
        for (const auto* names : {&listing->files, &listing->subfolders}) {
            PutU32(out, static_cast<std::uint32_t>(names->size()));
            for (const auto& name : *names) {
                out.push_back(static_cast<char>(name.size()));
                out += name;
            }
        }
    }
    return out;
}

// A bounds-checked reader over a stored file list.
class Cursor {
public:
    Cursor(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    bool Read(std::uint64_t& value, int bytes) {
        if (size_ - pos_ < static_cast<std::size_t>(bytes))
            return false;
        value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= std::uint64_t{data_[pos_ + i]} << (8 * i);
        pos_ += bytes;
        return true;
    }
    bool ReadText(std::string& text, std::uint64_t length) {
        if (length > size_ - pos_)
            return false;
        text.assign(reinterpret_cast<const char*>(data_ + pos_), length);
        pos_ += length;
        return true;
    }
    std::size_t Remaining() const { return size_ - pos_; }

private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

bool DecodeGroups(Cursor& cursor, std::vector<IndexedGroup>& groups) {
    std::uint64_t count = 0;
    // A count beyond what the remaining bytes can hold is damage, not a reason to reserve memory.
    if (!cursor.Read(count, 4) || count > cursor.Remaining() / GroupFixedBytes)
        return false;
    groups.resize(count);
    for (auto& group : groups) {
        std::uint64_t flags = 0;
        std::uint64_t length = 0;
        if (!cursor.Read(flags, 1) || flags > 1 || !cursor.Read(length, 4) ||
            !cursor.ReadText(group.id, length))
            return false;
        if (flags == 1) {
            std::uint64_t hash = 0;
            if (!cursor.Read(hash, 8))
                return false;
            group.hash = hash;
        }
    }
    return true;
}

bool ByName(const IndexedFile& a, const IndexedFile& b) {
    return a.name < b.name;
}

// Whether no two of the names are the same. Names are ordered by a hash of theirs first, so
// that two names are compared only when their hashes tie: sorting them as strings compared
// each name with several others, about a quarter of decoding a folder's row.
bool AllDifferent(const std::vector<std::string_view>& names) {
    std::vector<std::pair<std::size_t, std::string_view>> keyed;
    keyed.reserve(names.size());
    for (const std::string_view name : names)
        keyed.emplace_back(std::hash<std::string_view>{}(name), name);
    std::sort(keyed.begin(), keyed.end());
    return std::adjacent_find(keyed.begin(), keyed.end()) == keyed.end();
}

// Whether a folder's listing may hold the name: one a file can have, never "." or ".." (a walk
// would go round in circles), never a backslash (the walk leaves such names out).
bool ValidListingName(const std::string& name) {
    return ValidName(name) && name != "." && name != ".." && name.find('\\') == std::string::npos;
}

// Whether each name of the listing, file or subfolder, appears in it once.
bool ListedOnce(const FolderListing& listing) {
    std::vector<std::string_view> names;
    names.reserve(listing.files.size() + listing.subfolders.size());
    for (const auto* list : {&listing.files, &listing.subfolders})
        names.insert(names.end(), list->begin(), list->end());
    return AllDifferent(names);
}

// Whether a listing could have come from a folder. The walk takes a listing it finds here
// instead of the folder's own.
bool ValidListing(const FolderListing& listing) {
    for (const auto* list : {&listing.files, &listing.subfolders})
        if (!std::all_of(list->begin(), list->end(), ValidListingName))
            return false;
    return ListedOnce(listing);
}

// A listing's names; false when a count or a name is off.
bool DecodeNames(Cursor& cursor, std::vector<std::string>& names) {
    std::uint64_t count = 0;
    if (!cursor.Read(count, 4) || count > cursor.Remaining())
        return false;
    names.resize(count);
    for (auto& name : names) {
        std::uint64_t length = 0;
        if (!cursor.Read(length, 1) || !cursor.ReadText(name, length) || !ValidListingName(name))
            return false;
    }
    return true;
}

struct StoredRow {
    std::vector<IndexedFile> files;
    std::optional<FolderListing> listing;
};

// The files of a stored row, in their stored order or sorted by name, and its listing; none when
// anything about the row is off (a name no file can have or that appears twice included), since
// a guess could hand a scan another file's count.
std::optional<StoredRow> DecodeRow(const void* data, std::size_t size, bool byName) {
    if (!data)
        return std::nullopt;
    Cursor cursor(static_cast<const unsigned char*>(data), size);
    std::uint64_t format = 0;
    std::uint64_t count = 0;
    if (!cursor.Read(format, 1) || format != FilesFormat || !cursor.Read(count, 4) ||
        count > cursor.Remaining() / FileFixedBytes)
        return std::nullopt;
    StoredRow row;
    std::vector<IndexedFile>& files = row.files;
    files.resize(count);
    for (auto& file : files) {
        std::uint64_t length = 0;
        std::uint64_t mtime = 0;
        std::uint64_t iconCount = 0;
        if (!cursor.Read(length, 1) || !cursor.ReadText(file.name, length) ||
            !ValidName(file.name) || !cursor.Read(file.stamp.size, 8) || !cursor.Read(mtime, 8) ||
            !cursor.Read(file.stamp.inode, 8) || !cursor.Read(file.stamp.device, 8) ||
            !cursor.Read(iconCount, 4) || iconCount > INT32_MAX ||
            !DecodeGroups(cursor, file.entry.groups))
            return std::nullopt;
        file.stamp.mtimeNs = static_cast<std::int64_t>(mtime);
        file.entry.iconCount = static_cast<int>(iconCount);
    }
    if (cursor.Remaining() != 0) {
        FolderListing& listing = row.listing.emplace();
        std::uint64_t mtime = 0;
        std::uint64_t ctime = 0;
        if (!cursor.Read(mtime, 8) || !cursor.Read(ctime, 8) || !cursor.Read(listing.inode, 8) ||
            !cursor.Read(listing.device, 8) || !DecodeNames(cursor, listing.files) ||
            !DecodeNames(cursor, listing.subfolders) || cursor.Remaining() != 0 ||
            !ListedOnce(listing))
            return std::nullopt;
        listing.mtimeNs = static_cast<std::int64_t>(mtime);
        listing.ctimeNs = static_cast<std::int64_t>(ctime);
    }
    if (byName) {
        // A folder store writes its files in name order, so most rows need no sorting: one
        // pass finds them in order and each name once.
        const auto notBefore = [](const IndexedFile& a, const IndexedFile& b) {
            return !ByName(a, b);
        };
        if (std::adjacent_find(files.begin(), files.end(), notBefore) == files.end())
            return row;
        std::sort(files.begin(), files.end(), ByName);
        const auto sameName = [](const IndexedFile& a, const IndexedFile& b) {
            return a.name == b.name;
        };
        if (std::adjacent_find(files.begin(), files.end(), sameName) != files.end())
            return std::nullopt;
        return row;
    }
    std::vector<std::string_view> names;
    names.reserve(files.size());
    for (const auto& file : files)
        names.push_back(file.name);
    if (!AllDifferent(names))
        return std::nullopt;
    return row;
}

// Splits a native path at its last slash: "/a/b" is "/a" and "b", "/b" is "/" and "b".
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash == 0 ? 1 : slash), path.substr(slash + 1)};
}

// Serialises the check-and-rebuild step of Open (and the removal of a damaged file) between
// program instances, so that one instance never removes a file another has just rebuilt.
class FolderLock {
public:
    FolderLock(const std::string& folder, int timeoutMs) {
        fd_ = ::open((folder + "/scanindex.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0)
            return;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Beside the database: its log, SQLite's shared memory, and the stamps of a file found sound.
constexpr const char* CheckedSuffix = "-checked";

void RemoveDatabaseFiles(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm", CheckedSuffix})
        ::unlink((path + suffix).c_str());
}

bool IsDamage(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// One line of the stamps of a file found sound: which file, and its device, inode, size,
// modification and change times ("-" when there is no such file). Every write moves a file's
// change time, and no program can set it back.
std::string StampLine(const char* role, const struct stat* info) {
    std::string line = role;
    if (!info)
        return line + " -\n";
    for (const auto value :
         {std::uint64_t(info->st_dev), std::uint64_t(info->st_ino), std::uint64_t(info->st_size),
          std::uint64_t(info->st_mtim.tv_sec), std::uint64_t(info->st_mtim.tv_nsec),
          std::uint64_t(info->st_ctim.tv_sec), std::uint64_t(info->st_ctim.tv_nsec)})
        line += ' ' + std::to_string(value);
    return line + '\n';
}

// The few bytes of a regular file (at most `limit`); empty when it is missing or anything else.
std::string ReadSmallFile(const std::string& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0)
        return {};
    std::string text;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        text.resize(limit);
        const ssize_t got = ::pread(fd, text.data(), limit, 0);
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    ::close(fd);
    return text;
}

// Runs a statement that yields one value and returns SQLite's code (SQLITE_OK when the value was
// read).
int QueryInt(sqlite3* db, const char* sql, std::int64_t& value) {
    sqlite3_stmt* statement = nullptr;
    int code = Sqlite()->prepare_v2(db, sql, -1, &statement, nullptr);
    if (code == SQLITE_OK) {
        code = Sqlite()->step(statement);
        if (code == SQLITE_ROW) {
            value = Sqlite()->column_int64(statement, 0);
            code = SQLITE_OK;
        } else if (code == SQLITE_DONE) {
            code = SQLITE_ERROR;
        }
    }
    Sqlite()->finalize(statement);
    return code;
}

int QueryText(sqlite3* db, const char* sql, std::string& value) {
    sqlite3_stmt* statement = nullptr;
    int code = Sqlite()->prepare_v2(db, sql, -1, &statement, nullptr);
    if (code == SQLITE_OK) {
        code = Sqlite()->step(statement);
        if (code == SQLITE_ROW) {
            const auto* text = Sqlite()->column_text(statement, 0);
            value = text ? reinterpret_cast<const char*>(text) : "";
            code = SQLITE_OK;
        } else if (code == SQLITE_DONE) {
            code = SQLITE_ERROR;
        }
    }
    Sqlite()->finalize(statement);
    return code;
}

} // namespace

std::optional<FileStamp> StampOf(const std::string& nativePath) {
    struct stat info {};
    if (::stat(nativePath.c_str(), &info) != 0)
        return std::nullopt;
    FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.mtimeNs = std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    stamp.inode = static_cast<std::uint64_t>(info.st_ino);
    stamp.device = static_cast<std::uint64_t>(info.st_dev);
    return stamp;
}

std::string DefaultScanIndexFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/')
        return std::string(cache) + "/Brindlow";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.cache/Brindlow";
}

void ReadWholeFileAhead(int fd) {
    constexpr off_t kPart = 128 << 10;
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return;
    for (off_t offset = 0; offset < info.st_size; offset += kPart)
        ::posix_fadvise(fd, offset, kPart, POSIX_FADV_WILLNEED);
}

ScanIndex::ScanIndex(Options options, std::string folder)
    : options_(std::move(options)), folder_(std::move(folder)), path_(folder_ + "/" + FileName) {
    options_.batchSize = std::max(options_.batchSize, 1);
}

ScanIndex::~ScanIndex() {
    Flush();
    const bool sound = db_ != nullptr;
    CloseDatabase();
    if (sound)
        RecordSound();
}

void ScanIndex::RecordSound() {
    // Another instance at it now will change the files again; it is not waited for.
    FolderLock lock(folder_, 0);
    if (!lock.Held())
        return;
    std::string stamps;
    for (const auto& [role, file] : {std::pair{"db", path_}, std::pair{"wal", path_ + "-wal"}}) {
        struct stat info {};
        if (::stat(file.c_str(), &info) != 0) {
            stamps += StampLine(role, nullptr);
        } else if (S_ISREG(info.st_mode)) {
            stamps += StampLine(role, &info);
        } else {
            return;
        }
    }
    const std::string checked = path_ + CheckedSuffix;
    const std::string written = checked + ".new";
    const int fd = ::open(written.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return;
    const bool whole =
        ::write(fd, stamps.data(), stamps.size()) == static_cast<ssize_t>(stamps.size());
    ::close(fd);
    if (!whole || ::rename(written.c_str(), checked.c_str()) != 0)
        ::unlink(written.c_str());
}

std::unique_ptr<ScanIndex> ScanIndex::Open(const std::string& folder, Options options) {
    std::unique_ptr<ScanIndex> index(new ScanIndex(std::move(options), folder));
    if (!index->options_.enabled)
        return index;
    if (!Sqlite()) {
        index->problem_ = "the SQLite library cannot be loaded";
        return index;
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        index->problem_ = error.message();
        return index;
    }
    if (!index->OpenDatabase())
        return index;

    // The daily prune; a fresh file starts its day count here.
    std::int64_t lastPrune = -1;
    sqlite3_stmt* statement = nullptr;
    int code = Sqlite()->prepare_v2(index->db_, "SELECT value FROM meta WHERE key='last_prune'", -1,
                                    &statement, nullptr);
    if (code == SQLITE_OK) {
        code = Sqlite()->step(statement);
        if (code == SQLITE_ROW)
            lastPrune = Sqlite()->column_int64(statement, 0);
    }
    Sqlite()->finalize(statement);
    if (code != SQLITE_ROW && code != SQLITE_DONE) {
        index->Fail(code);
        return index;
    }
    if (lastPrune < 0) {
        const std::string sql = "INSERT OR IGNORE INTO meta VALUES('last_prune'," +
                                std::to_string(index->Today()) + ")";
        index->Exec(sql.c_str());
    } else if (lastPrune < index->Today()) {
        index->Prune(index->Now());
    }
    return index;
}

bool ScanIndex::OpenDatabase() {
    FolderLock lock(folder_, options_.busyTimeoutMs);
    if (!lock.Held()) {
        problem_ = "the index folder cannot be locked";
        return false;
    }
    OpenResult result = OpenResult::Failed;
    for (int attempt = 0; attempt < 2; ++attempt) {
        result = OpenOnce();
        if (result != OpenResult::Damaged)
            break;
        CloseDatabase();
        RemoveDatabaseFiles(path_);
    }
    if (result != OpenResult::Ok) {
        CloseDatabase();
        return false;
    }
    problem_.clear();
    return true;
}

ScanIndex::OpenResult ScanIndex::OpenOnce() {
    // The check below, and a walk over most folders, read nearly every page of the file in the
    // order of its trees, not of the file: on a cold disk that is a wait for each page on its own
    // (0.15 s of a 0.4 s re-scan of 100,000 files). Asked for in full first
    // (ReadWholeFileAhead), the file and its log come in as a few long reads. Their stamps are
    // taken here, before SQLite opens them, for the check to know whether they changed.
    // Anything but a regular file in their place is no index. It is looked at before it is
    // opened, since opening a device can have side effects; a FIFO put there in between would
    // hold up a reader for ever (hence O_NONBLOCK, and the second look).
    std::string stamps;
    for (const auto& [role, file] : {std::pair{"db", path_}, std::pair{"wal", path_ + "-wal"}}) {
        struct stat info {};
        if (::stat(file.c_str(), &info) != 0) {
            stamps += StampLine(role, nullptr);
            continue;
        }
        bool regular = S_ISREG(info.st_mode);
        if (regular) {
            const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            if (fd >= 0) {
                regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
                if (regular) {
                    ReadWholeFileAhead(fd);
                    stamps += StampLine(role, &info);
                }
                ::close(fd);
            }
        }
        if (!regular) {
            problem_ = file + " is not a regular file";
            return OpenResult::Damaged;
        }
    }
    int code = Sqlite()->open_v2(path_.c_str(), &db_,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
    const auto failure = [this](int code) {
        problem_ = Sqlite()->errstr(code);
        return IsDamage(code) ? OpenResult::Damaged : OpenResult::Failed;
    };
    if (code != SQLITE_OK)
        return failure(code);
    Sqlite()->busy_timeout(db_, options_.busyTimeoutMs);

    std::int64_t version = 0;
    if ((code = QueryInt(db_, "PRAGMA user_version", version)) != SQLITE_OK)
        return failure(code);
    if (version == 0) {
        std::int64_t objects = 0;
        if ((code = QueryInt(db_, "SELECT count(*) FROM sqlite_schema", objects)) != SQLITE_OK)
            return failure(code);
        if (objects != 0) {
            problem_ = "not a scan index";
            return OpenResult::Damaged;
        }
        // Incremental vacuum lets pruning shrink the file; it must be chosen before the first
        // table exists.
        if ((code = Sqlite()->exec(db_, "PRAGMA auto_vacuum=INCREMENTAL", nullptr, nullptr,
                                   nullptr)) != SQLITE_OK)
            return failure(code);
        const std::string create = std::string("BEGIN IMMEDIATE;") + Schema +
                                   "PRAGMA user_version=" + std::to_string(SchemaVersion) +
                                   ";COMMIT;";
        if ((code = Sqlite()->exec(db_, create.c_str(), nullptr, nullptr, nullptr)) != SQLITE_OK)
            return failure(code);
    } else if (version != SchemaVersion) {
        problem_ = "schema version " + std::to_string(version);
        return OpenResult::Damaged;
    }

    std::string mode;
    if ((code = QueryText(db_, "PRAGMA journal_mode=WAL", mode)) != SQLITE_OK)
        return failure(code);
    if (mode != "wal") {
        problem_ = "journal mode " + mode;
        return OpenResult::Failed;
    }
    // NORMAL is safe against corruption in WAL mode; a power cut may lose the last commits only.
    // The WAL is cut back to 4 MiB after each checkpoint. A scan reads each folder's row once,
    // so a page cache beyond the trees' inner pages only adds memory to fault in: a warm re-scan
    // of 100,000 files took 6 % longer with 8 MiB than with 2.
    if ((code = Sqlite()->exec(db_,
                               "PRAGMA synchronous=NORMAL; PRAGMA journal_size_limit=4194304; "
                               "PRAGMA cache_size=-2048",
                               nullptr, nullptr, nullptr)) != SQLITE_OK)
        return failure(code);

    // The check is the open's largest cost (15 to 20 ms for 100,000 files in memory, a read
    // of the whole file from the disk). A file that no one has changed since a session closed
    // it sound need not be checked again; damage found while it is used removes it all the same.
    std::string check = "ok";
    if (ReadSmallFile(path_ + CheckedSuffix, stamps.size() + 1) != stamps &&
        (code = QueryText(db_, "PRAGMA quick_check(1)", check)) != SQLITE_OK)
        return failure(code);
    if (check != "ok") {
        problem_ = check;
        return OpenResult::Damaged;
    }

    const std::pair<sqlite3_stmt**, const char*> statements[] = {
        {&select_, "SELECT files, last_seen FROM folders WHERE path=?1"},
        {&insert_, "INSERT OR REPLACE INTO folders(path, files, last_seen) VALUES(?1, ?2, ?3)"},
        {&touch_, "UPDATE folders SET last_seen=?1 WHERE path=?2 AND last_seen<?1"},
        {&remove_, "DELETE FROM folders WHERE path=?1"},
    };
    for (const auto& [statement, sql] : statements) {
        code = Sqlite()->prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, statement, nullptr);
        // A file with our version number but other tables does not compile our statements.
        if (code == SQLITE_ERROR) {
            problem_ = Sqlite()->errmsg(db_);
            return OpenResult::Damaged;
        }
        if (code != SQLITE_OK)
            return failure(code);
    }
    return OpenResult::Ok;
}

void ScanIndex::CloseDatabase() {
    if (!db_)
        return; // nothing was opened, nor any statement prepared
    for (sqlite3_stmt** statement : {&select_, &insert_, &touch_, &remove_}) {
        Sqlite()->finalize(*statement);
        *statement = nullptr;
    }
    Sqlite()->close_v2(db_);
    db_ = nullptr;
}

void ScanIndex::Fail(int code) {
    problem_ = db_ ? Sqlite()->errmsg(db_) : Sqlite()->errstr(code);
    pendingFolders_.clear();
    pendingTouches_.clear();
    pendingCount_ = 0;
    lookupsInRead_ = 0;
    read_ = ReadFolder{};
    CloseDatabase();
    // A file found damaged while in use goes now; otherwise a damage that quick_check misses
    // would switch the index off in every session.
    if (IsDamage(code)) {
        FolderLock lock(folder_, options_.busyTimeoutMs);
        if (lock.Held())
            RemoveDatabaseFiles(path_);
    }
}

bool ScanIndex::Exec(const char* sql) {
    if (!db_)
        return false;
    const int code = Sqlite()->exec(db_, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) {
        // A failed statement inside a transaction leaves it open; closing rolls it back.
        Fail(code);
        return false;
    }
    return true;
}

std::int64_t ScanIndex::PragmaInt(const char* sql) {
    std::int64_t value = -1;
    if (!db_)
        return -1;
    const int code = QueryInt(db_, sql, value);
    if (code != SQLITE_OK) {
        Fail(code);
        return -1;
    }
    return value;
}

std::chrono::system_clock::time_point ScanIndex::Now() const {
    return options_.clock ? options_.clock() : std::chrono::system_clock::now();
}

std::int64_t ScanIndex::Today() const {
    return std::chrono::floor<std::chrono::days>(Now()).time_since_epoch().count();
}

const ScanIndex::ReadFolder& ScanIndex::Read(const std::string& folder) {
    if (lookupsInRead_ > 0 && read_.valid && read_.folder == folder)
        return read_;
    read_ = ReadFolder{folder, {}, {}, true};
    // A read transaction per folder costs more in file locking than the read itself, so one
    // spans many. It pins a snapshot, which keeps the other instance's checkpoints waiting,
    // hence the bound.
    constexpr int ReadsPerTransaction = 1024;
    if (lookupsInRead_ == 0 && !Exec("BEGIN"))
        return read_;
    ++lookupsInRead_;
    Sqlite()->bind_blob(select_, 1, folder.data(), static_cast<int>(folder.size()), SQLITE_STATIC);
    const int code = Sqlite()->step(select_);
    bool touch = false;
    if (code == SQLITE_ROW) {
        const void* blob = Sqlite()->column_blob(select_, 0);
        const auto blobSize = static_cast<std::size_t>(Sqlite()->column_bytes(select_, 0));
        if (auto row = DecodeRow(blob, blobSize, true)) {
            read_.files = std::move(row->files);
            read_.listing = std::move(row->listing);
            touch = Sqlite()->column_int64(select_, 1) < Today();
        }
    }
    Sqlite()->reset(select_);
    if (code != SQLITE_ROW && code != SQLITE_DONE) {
        Fail(code);
        return read_;
    }
    // Counted, but written only after the caller is done with read_.
    if (touch && pendingTouches_.insert(folder).second)
        ++pendingCount_;
    if (lookupsInRead_ >= ReadsPerTransaction)
        EndRead();
    return read_;
}

std::optional<IndexEntry> ScanIndex::Lookup(const std::string& nativePath, const FileStamp& stamp) {
    if (!db_)
        return std::nullopt;
    const auto [folder, name] = SplitPath(nativePath);
    // What waits to be written is newer than anything read, and the folder read is cached only
    // until the next write, so no stored answer outlives a store.
    if (const auto pending = pendingFolders_.find(folder); pending != pendingFolders_.end()) {
        if (const auto file = pending->second.files.find(name);
            file != pending->second.files.end()) {
            if (file->second.stamp != stamp)
                return std::nullopt;
            return file->second.entry;
        }
        if (pending->second.replace)
            return std::nullopt;
    }
    const ReadFolder& read = Read(folder);
    const IndexedFile key{name, {}, {}};
    const auto file = std::lower_bound(read.files.begin(), read.files.end(), key, ByName);
    std::optional<IndexEntry> result;
    if (file != read.files.end() && file->name == name && file->stamp == stamp)
        result = file->entry;
    Pending(0);
    return result;
}

std::vector<IndexedFile> ScanIndex::LookupFolder(const std::string& nativeFolder,
                                                 std::optional<FolderListing>* listing) {
    if (listing)
        listing->reset();
    if (!db_)
        return {};
    const auto pending = pendingFolders_.find(nativeFolder);
    std::vector<IndexedFile> files;
    if (pending == pendingFolders_.end() || !pending->second.replace) {
        Read(nativeFolder);
        if (!db_)
            return {};
        // A scanner that asks for the whole folder does not ask for its files one by one, so
        // the folder read is handed over instead of copied.
        files = std::move(read_.files);
        if (listing)
            *listing = std::move(read_.listing);
        read_ = ReadFolder{};
    } else if (listing) {
        *listing = pending->second.listing;
    }
    if (pending != pendingFolders_.end()) {
        const auto& waiting = pending->second.files;
        std::erase_if(files, [&](const IndexedFile& file) { return waiting.contains(file.name); });
        for (const auto& [name, file] : waiting)
            files.push_back(file);
    }
    Pending(0);
    return files;
}

std::vector<std::string> ScanIndex::FoldersBelow(const std::string& nativeFolder,
                                                 std::size_t limit) {
    std::vector<std::string> paths;
    if (!db_)
        return paths;
    // Paths below "/a" lie between "/a/" and "/a0" ('0' follows '/'), both left out: "/" itself
    // is the one folder whose path ends in a slash.
    std::string low = nativeFolder;
    if (low.empty() || low.back() != '/')
        low += '/';
    std::string high = low;
    high.back() = '0';
    sqlite3_stmt* below = nullptr;
    int code = Sqlite()->prepare_v2(
        db_, "SELECT path FROM folders WHERE path>?1 AND path<?2 ORDER BY path", -1, &below,
        nullptr);
    if (code == SQLITE_OK) {
        Sqlite()->bind_blob(below, 1, low.data(), static_cast<int>(low.size()), SQLITE_STATIC);
        Sqlite()->bind_blob(below, 2, high.data(), static_cast<int>(high.size()), SQLITE_STATIC);
        while (paths.size() < limit && (code = Sqlite()->step(below)) == SQLITE_ROW) {
            const auto* bytes = static_cast<const char*>(Sqlite()->column_blob(below, 0));
            std::string path(bytes ? bytes : "",
                             static_cast<std::size_t>(Sqlite()->column_bytes(below, 0)));
            if (path.find('\0') == std::string::npos)
                paths.push_back(std::move(path));
        }
    }
    Sqlite()->finalize(below);
    if (code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE)
        Fail(code);
    return paths;
}

std::int64_t ScanIndex::NowNs() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Now().time_since_epoch()).count();
}

bool ScanIndex::Recordable(const IndexedFile& file, std::int64_t nowNs) const {
    return file.entry.iconCount >= 0 && file.stamp.mtimeNs <= nowNs - JustModifiedNs &&
           ValidName(file.name);
}

void ScanIndex::Pending(std::size_t added) {
    pendingCount_ += added;
    if (pendingCount_ >= static_cast<std::size_t>(options_.batchSize))
        Flush();
}

void ScanIndex::Store(const std::string& nativePath, const FileStamp& stamp,
                      const IndexEntry& entry) {
    if (!db_)
        return;
    auto [folder, name] = SplitPath(nativePath);
    IndexedFile file{std::move(name), stamp, entry};
    if (!Recordable(file, NowNs()))
        return;
    auto& pending = pendingFolders_[folder];
    pending.files.insert_or_assign(file.name, std::move(file));
    Pending(1);
}

void ScanIndex::StoreFolder(const std::string& nativeFolder, std::vector<IndexedFile> files,
                            std::optional<FolderListing> listing) {
    if (!db_)
        return;
    PendingFolder pending{true, {}, {}};
    const std::int64_t nowNs = NowNs();
    for (auto& file : files)
        if (Recordable(file, nowNs))
            pending.files.insert_or_assign(file.name, std::move(file));
    // A later change sets both times to its own: while one of them is older than the file
    // system's time resolution, a change cannot leave the stamp as it was.
    if (listing &&
        std::min(listing->mtimeNs, listing->ctimeNs) <= listing->listedNs - JustModifiedNs &&
        ValidListing(*listing)) {
        listing->listedNs = 0;
        pending.listing = std::move(listing);
    }
    pendingFolders_.insert_or_assign(nativeFolder, std::move(pending));
    Pending(1);
}

void ScanIndex::EndRead() {
    if (lookupsInRead_ > 0) {
        lookupsInRead_ = 0;
        Exec("COMMIT");
    }
}

// Runs inside the write transaction, so that a merge starts from what another instance may
// have committed just before.
bool ScanIndex::WriteFolder(const std::string& folder, const PendingFolder& pending,
                            std::int64_t today) {
    std::vector<IndexedFile> stored;
    std::optional<FolderListing> listing = pending.listing;
    if (!pending.replace) {
        Sqlite()->bind_blob(select_, 1, folder.data(), static_cast<int>(folder.size()),
                            SQLITE_STATIC);
        const int code = Sqlite()->step(select_);
        if (code == SQLITE_ROW) {
            // A row that cannot be decoded is replaced by the files at hand.
            if (auto row = DecodeRow(Sqlite()->column_blob(select_, 0),
                                     static_cast<std::size_t>(Sqlite()->column_bytes(select_, 0)),
                                     false)) {
                stored = std::move(row->files);
                listing = std::move(row->listing);
            }
        }
        Sqlite()->reset(select_);
        if (code != SQLITE_ROW && code != SQLITE_DONE) {
            Fail(code);
            return false;
        }
    }
    std::vector<const IndexedFile*> files;
    files.reserve(stored.size() + pending.files.size());
    for (const auto& file : stored)
        if (!pending.files.contains(file.name))
            files.push_back(&file);
    for (const auto& [name, file] : pending.files)
        files.push_back(&file);

    // One huge folder must not push every other folder out, nor be dropped whole over and over
    // while its files are stored one by one.
    const std::uint64_t share = std::min<std::uint64_t>(options_.maxBytes / 4, 256ull << 20);
    std::uint64_t bytes = HeaderBytes + (listing ? EncodedSize(*listing) : 0);
    if (bytes > share) {
        bytes -= EncodedSize(*listing);
        listing.reset();
    }
    for (const IndexedFile* file : files)
        bytes += EncodedSize(*file);
    auto first = files.begin();
    while (bytes > share && first != files.end())
        bytes -= EncodedSize(**first++);
    files.erase(files.begin(), first);

    int code = SQLITE_DONE;
    if (files.empty() && !listing) {
        Sqlite()->bind_blob(remove_, 1, folder.data(), static_cast<int>(folder.size()),
                            SQLITE_STATIC);
        code = Sqlite()->step(remove_);
        Sqlite()->reset(remove_);
    } else {
        const std::string blob = EncodeRow(files, listing, bytes);
        Sqlite()->bind_blob(insert_, 1, folder.data(), static_cast<int>(folder.size()),
                            SQLITE_STATIC);
        Sqlite()->bind_blob(insert_, 2, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
        Sqlite()->bind_int64(insert_, 3, today);
        code = Sqlite()->step(insert_);
        Sqlite()->reset(insert_);
    }
    if (code != SQLITE_DONE) {
        Fail(code);
        return false;
    }
    return true;
}

void ScanIndex::Flush() {
    EndRead();
    if (!db_ || (pendingFolders_.empty() && pendingTouches_.empty()))
        return;
    const auto folders = std::move(pendingFolders_);
    const auto touches = std::move(pendingTouches_);
    pendingFolders_.clear();
    pendingTouches_.clear();
    pendingCount_ = 0;
    if (!Exec("BEGIN IMMEDIATE"))
        return;
    const std::int64_t today = Today();
    for (const auto& [folder, pending] : folders)
        if (!WriteFolder(folder, pending, today))
            return;
    for (const auto& folder : touches) {
        if (folders.contains(folder))
            continue;
        Sqlite()->bind_int64(touch_, 1, today);
        Sqlite()->bind_blob(touch_, 2, folder.data(), static_cast<int>(folder.size()),
                            SQLITE_STATIC);
        const int code = Sqlite()->step(touch_);
        Sqlite()->reset(touch_);
        if (code != SQLITE_DONE) {
            Fail(code);
            return;
        }
    }
    if (!Exec("COMMIT"))
        return;
    const std::int64_t pages = PragmaInt("PRAGMA page_count");
    const std::int64_t pageSize = PragmaInt("PRAGMA page_size");
    if (db_ && static_cast<std::uint64_t>(pages * pageSize) > options_.maxBytes)
        PruneToCap();
}

void ScanIndex::Prune(std::chrono::system_clock::time_point now) {
    Flush();
    if (!db_)
        return;
    const std::int64_t day = std::chrono::floor<std::chrono::days>(now).time_since_epoch().count();
    const std::string sql = "BEGIN IMMEDIATE; DELETE FROM folders WHERE last_seen<" +
                            std::to_string(day - options_.maxAgeDays) +
                            "; INSERT OR REPLACE INTO meta VALUES('last_prune'," +
                            std::to_string(day) + "); COMMIT";
    if (Exec(sql.c_str()))
        PruneToCap();
}

void ScanIndex::PruneToCap() {
    // Each round removes the share of folders by which the file is over 90% of the cap, oldest
    // seen first; folders differ in size, so a few rounds may be needed.
    for (int round = 0; round < 32; ++round) {
        if (!Exec("PRAGMA incremental_vacuum"))
            return;
        const std::int64_t pages = PragmaInt("PRAGMA page_count");
        const std::int64_t pageSize = PragmaInt("PRAGMA page_size");
        const std::int64_t rows = PragmaInt("SELECT count(*) FROM folders");
        if (!db_)
            return;
        const double bytes = static_cast<double>(pages) * static_cast<double>(pageSize);
        if (bytes <= static_cast<double>(options_.maxBytes) || rows <= 0)
            break;
        const double target = static_cast<double>(options_.maxBytes) * 0.9;
        const auto remove = std::min<std::int64_t>(
            rows,
            static_cast<std::int64_t>(static_cast<double>(rows) * (bytes - target) / bytes) + 1);
        const std::string sql = "BEGIN IMMEDIATE; DELETE FROM folders WHERE path IN (SELECT "
                                "path FROM folders ORDER BY last_seen LIMIT " +
                                std::to_string(remove) + "); COMMIT";
        if (!Exec(sql.c_str()))
            return;
    }
    // Hands the freed pages back to the file once no reader needs the old ones; a busy reader
    // only postpones it.
    Sqlite()->wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

} // namespace glyptor::platform
