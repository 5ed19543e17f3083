// The scan index: trusted only for exact stamps, rebuilt when damaged, bounded by age and size,
// safe with two processes writing at once, silent when turned off.
#include "platform/scanindex/ScanIndex.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

using namespace glyptor::platform;
using namespace std::chrono;
namespace fs = std::filesystem;

namespace {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "scanindex-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }
    std::string Database() const { return path_ + "/" + ScanIndex::FileName; }

private:
    std::string path_;
};

// A clock the test moves by hand; starts on 1 June 2024.
struct TestClock {
    system_clock::time_point now = sys_days{2024y / 6 / 1} + 12h;
    ScanIndex::Clock Source() {
        return [this] { return now; };
    }
};

ScanIndex::Options OptionsWith(TestClock& clock) {
    ScanIndex::Options options;
    options.clock = clock.Source();
    return options;
}

std::int64_t Ns(system_clock::time_point t) {
    return duration_cast<nanoseconds>(t.time_since_epoch()).count();
}

FileStamp StampFor(int i, const TestClock& clock) {
    const auto modified = clock.now - days(10) - seconds(i);
    return FileStamp{std::uint64_t(1000 + i),
                     duration_cast<nanoseconds>(modified.time_since_epoch()).count() + 123,
                     std::uint64_t(50000 + i), 2049};
}

IndexEntry EntryFor(int i) {
    IndexEntry entry;
    entry.iconCount = i % 7 + 1;
    for (int g = 0; g < entry.iconCount; ++g)
        entry.groups.push_back(
            {g % 2 ? "MAINICON" : "#" + std::to_string(g + 1),
             g % 3 ? std::optional<std::uint64_t>(0xFEDCBA9876543210ull + g) : std::nullopt});
    return entry;
}

std::string PathFor(const std::string& prefix, int i) {
    return "/home/user/.wine/drive_c/windows/" + prefix + "/file" + std::to_string(i) + ".dll";
}

std::string SplitFolder(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

std::string IntegrityCheck(const std::string& database) {
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return result;
}

void ExecSql(const std::string& database, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

void FillIndex(const TempFolder& folder, TestClock& clock, const std::string& prefix, int count) {
    auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    ASSERT_TRUE(index->Active()) << index->Problem();
    for (int i = 0; i < count; ++i)
        index->Store(PathFor(prefix, i), StampFor(i, clock), EntryFor(i));
}

// --- stamps ------------------------------------------------------------------------------------

struct StampCase {
    const char* name;
    std::function<void(FileStamp&)> change;
    bool hit;
};

class ScanIndexStamp : public ::testing::TestWithParam<StampCase> {};

TEST_P(ScanIndexStamp, HitsOnlyWhenEveryFieldMatches) {
    TempFolder folder;
    TestClock clock;
    const std::string path = PathFor("system32", 5);
    const FileStamp stored = StampFor(5, clock);
    FileStamp asked = stored;
    GetParam().change(asked);
    {
        auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
        index->Store(path, stored, EntryFor(5));
        // Before and after the write reaches the file.
        EXPECT_EQ(index->Lookup(path, asked).has_value(), GetParam().hit);
        index->Flush();
        EXPECT_EQ(index->Lookup(path, asked).has_value(), GetParam().hit);
    }
    auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    const auto found = index->Lookup(path, asked);
    ASSERT_EQ(found.has_value(), GetParam().hit);
    if (found) {
        EXPECT_EQ(*found, EntryFor(5));
        return;
    }
    // The scan reads the changed file and records it; the old version is no longer an answer.
    index->Store(path, asked, EntryFor(6));
    index.reset();
    index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    EXPECT_EQ(index->Lookup(path, asked), EntryFor(6));
    EXPECT_FALSE(index->Lookup(path, stored));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ScanIndexStamp,
    ::testing::Values(StampCase{"Unchanged", [](FileStamp&) {}, true},
                      StampCase{"Size", [](FileStamp& s) { s.size += 1; }, false},
                      StampCase{"MtimeByOneNanosecond", [](FileStamp& s) { s.mtimeNs += 1; },
                                false},
                      StampCase{"Inode", [](FileStamp& s) { s.inode += 1; }, false},
                      StampCase{"Device", [](FileStamp& s) { s.device += 1; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScanIndex, FileModifiedJustNowIsNotRecorded) {
    TempFolder folder;
    TestClock clock;
    auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    FileStamp fresh = StampFor(0, clock);
    fresh.mtimeNs = duration_cast<nanoseconds>((clock.now - 1s).time_since_epoch()).count();
    index->Store("/tmp/fresh.dll", fresh, EntryFor(0));
    EXPECT_FALSE(index->Lookup("/tmp/fresh.dll", fresh));
}

// --- damage ------------------------------------------------------------------------------------

struct DamageCase {
    const char* name;
    std::function<void(const std::string& database)> damage;
};

void Truncate(const std::string& database, std::uintmax_t size) {
    fs::resize_file(database, size);
}

void Garbage(const std::string& database, std::uintmax_t keep) {
    const auto size = fs::file_size(database);
    std::fstream file(database, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(keep));
    std::mt19937 random(7);
    for (auto i = keep; i < size; ++i)
        file.put(static_cast<char>(random()));
}

class ScanIndexDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(ScanIndexDamage, FileIsRebuiltAndNothingOldIsTrusted) {
    TempFolder folder;
    TestClock clock;
    FillIndex(folder, clock, "old", 2000);
    ASSERT_GT(fs::file_size(folder.Database()), 65536u);
    GetParam().damage(folder.Database());

    {
        auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
        ASSERT_TRUE(index->Active()) << index->Problem();
        for (int i = 0; i < 2000; i += 97)
            EXPECT_FALSE(index->Lookup(PathFor("old", i), StampFor(i, clock))) << i;
        index->Store(PathFor("new", 1), StampFor(1, clock), EntryFor(1));
    }
    EXPECT_EQ(IntegrityCheck(folder.Database()), "ok");
    auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    EXPECT_EQ(index->Lookup(PathFor("new", 1), StampFor(1, clock)), EntryFor(1));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ScanIndexDamage,
    ::testing::Values(
        DamageCase{"AllGarbage", [](const std::string& db) { Garbage(db, 0); }},
        DamageCase{"HeaderThenGarbage", [](const std::string& db) { Garbage(db, 100); }},
        DamageCase{"FirstPageThenGarbage", [](const std::string& db) { Garbage(db, 4096); }},
        // A session that closed the file sound lets the next open skip its check while the
        // file is unchanged; damage that keeps the size and the modification time is a change.
        DamageCase{"GarbageWithSizeAndTimeKept",
                   [](const std::string& db) {
                       ASSERT_TRUE(fs::exists(db + "-checked"));
                       const auto modified = fs::last_write_time(db);
                       Garbage(db, 4096);
                       fs::last_write_time(db, modified);
                   }},
        DamageCase{"TruncatedToHalf",
                   [](const std::string& db) { Truncate(db, fs::file_size(db) / 2); }},
        DamageCase{"TruncatedInHeader", [](const std::string& db) { Truncate(db, 50); }},
        DamageCase{"Empty", [](const std::string& db) { Truncate(db, 0); }},
        // Nothing ever writes to them: opening one to read must not wait for a writer.
        DamageCase{"ReplacedByAFifo",
                   [](const std::string& db) {
                       fs::remove(db);
                       ASSERT_EQ(::mkfifo(db.c_str(), 0600), 0);
                   }},
        DamageCase{
            "FifoForItsLog",
            [](const std::string& db) { ASSERT_EQ(::mkfifo((db + "-wal").c_str(), 0600), 0); }},
        DamageCase{"OtherVersion",
                   [](const std::string& db) { ExecSql(db, "PRAGMA user_version=99"); }},
        DamageCase{"ForeignDatabase",
                   [](const std::string& db) {
                       ExecSql(db,
                               "DROP TABLE folders; CREATE TABLE folders(path TEXT, n INTEGER)");
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

// Rewrites the stored file list of one folder as the damage asks.
void DamageRow(const std::string& database, const std::string& folder,
               const std::function<void(std::string&)>& damage) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* select = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "SELECT files FROM folders WHERE path=?1", -1, &select, nullptr),
        SQLITE_OK);
    sqlite3_bind_blob(select, 1, folder.data(), static_cast<int>(folder.size()), SQLITE_STATIC);
    ASSERT_EQ(sqlite3_step(select), SQLITE_ROW);
    std::string files(static_cast<const char*>(sqlite3_column_blob(select, 0)),
                      static_cast<std::size_t>(sqlite3_column_bytes(select, 0)));
    sqlite3_finalize(select);
    damage(files);
    sqlite3_stmt* update = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "UPDATE folders SET files=?2 WHERE path=?1", -1, &update, nullptr),
        SQLITE_OK);
    sqlite3_bind_blob(update, 1, folder.data(), static_cast<int>(folder.size()), SQLITE_STATIC);
    sqlite3_bind_blob(update, 2, files.data(), static_cast<int>(files.size()), SQLITE_STATIC);
    EXPECT_EQ(sqlite3_step(update), SQLITE_DONE);
    sqlite3_finalize(update);
    sqlite3_close(db);
}

void Replace(std::string& files, const std::string& from, const std::string& to) {
    const auto at = files.find(from);
    ASSERT_NE(at, std::string::npos);
    files.replace(at, from.size(), to);
}

struct RowDamageCase {
    const char* name;
    std::function<void(std::string& files)> damage;
};

class ScanIndexRowDamage : public ::testing::TestWithParam<RowDamageCase> {};

TEST_P(ScanIndexRowDamage, WholeRowIsAMissAndIsReplacedByTheNextStore) {
    TempFolder folder;
    TestClock clock;
    const std::string damaged = "/data/damaged";
    const std::string intact = "/data/intact";
    const std::vector<IndexedFile> files = {{"a.dll", StampFor(1, clock), EntryFor(1)},
                                            {"b.dll", StampFor(2, clock), EntryFor(2)}};
    {
        auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
        index->StoreFolder(damaged, files);
        index->StoreFolder(intact, files);
    }
    DamageRow(folder.Database(), damaged, GetParam().damage);

    auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    EXPECT_TRUE(index->LookupFolder(damaged).empty());
    for (const auto& file : files)
        EXPECT_FALSE(index->Lookup(damaged + "/" + file.name, file.stamp)) << file.name;
    EXPECT_EQ(index->LookupFolder(intact).size(), 2u);
    EXPECT_EQ(index->Lookup(intact + "/b.dll", files[1].stamp), files[1].entry);
    // A file stored into the damaged folder is merged into nothing rather than into the damage.
    index->Store(damaged + "/c.dll", StampFor(3, clock), EntryFor(3));
    index->Flush();
    EXPECT_EQ(index->LookupFolder(damaged),
              (std::vector<IndexedFile>{{"c.dll", StampFor(3, clock), EntryFor(3)}}));
    EXPECT_TRUE(index->Active());
}

// Offsets: format byte, u32 file count, then the first file: u8 name length, "a.dll", four u64
// stamp fields, u32 icon count, u32 group count, and its first group's flags byte.
constexpr std::size_t FirstIconCount = 1 + 4 + 1 + 5 + 32;
constexpr std::size_t FirstGroupFlags = FirstIconCount + 4 + 4;

INSTANTIATE_TEST_SUITE_P(
    Kinds, ScanIndexRowDamage,
    ::testing::Values(
        RowDamageCase{"Empty", [](std::string& f) { f.clear(); }},
        RowDamageCase{"FormatByteOnly", [](std::string& f) { f.resize(1); }},
        RowDamageCase{"OtherFormat", [](std::string& f) { f[0] = 9; }},
        RowDamageCase{"CountBeyondTheBytes", [](std::string& f) { f.replace(1, 4, 4, '\xFF'); }},
        RowDamageCase{"OneFileMoreThanStored", [](std::string& f) { ++f[1]; }},
        RowDamageCase{"OneFileFewerThanStored", [](std::string& f) { --f[1]; }},
        RowDamageCase{"LastByteMissing", [](std::string& f) { f.pop_back(); }},
        RowDamageCase{"OneByteTooMany", [](std::string& f) { f.push_back('\0'); }},
        RowDamageCase{"NameTwice", [](std::string& f) { Replace(f, "b.dll", "a.dll"); }},
        RowDamageCase{"NameWithSlash", [](std::string& f) { Replace(f, "b.dll", "b/dll"); }},
        RowDamageCase{"IconCountOverflows",
                      [](std::string& f) { f.replace(FirstIconCount, 4, 4, '\xFF'); }},
        RowDamageCase{"UnknownGroupFlags", [](std::string& f) { f[FirstGroupFlags] = 2; }},
        RowDamageCase{"Garbage",
                      [](std::string& f) {
                          std::mt19937 random(11);
                          for (std::size_t i = 1; i < f.size(); ++i)
                              f[i] = static_cast<char>(random());
                      }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScanIndex, OldVersionFileIsRebuiltAndAnswersNothing) {
    TempFolder folder;
    TestClock clock;
    const std::string path = PathFor("old", 1);
    ExecSql(folder.Database(),
            "CREATE TABLE files(path BLOB PRIMARY KEY, size INTEGER NOT NULL, mtime_ns INTEGER "
            "NOT NULL, inode INTEGER NOT NULL, device INTEGER NOT NULL, icon_count INTEGER NOT "
            "NULL, groups BLOB NOT NULL, last_seen INTEGER NOT NULL) WITHOUT ROWID;"
            "CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;"
            "INSERT INTO files VALUES(CAST('" +
                path + "' AS BLOB), 1001, " + std::to_string(StampFor(1, clock).mtimeNs) +
                ", 50001, 2049, 2, x'0100000000', 19875);"
                "PRAGMA user_version=1;");
    auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    ASSERT_TRUE(index->Active()) << index->Problem();
    EXPECT_FALSE(index->Lookup(path, StampFor(1, clock)));
    EXPECT_TRUE(index->LookupFolder(SplitFolder(path)).empty());
    index->Store(path, StampFor(1, clock), EntryFor(1));
    index.reset();
    index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    EXPECT_EQ(index->Lookup(path, StampFor(1, clock)), EntryFor(1));
}

// --- folders -----------------------------------------------------------------------------------

std::vector<IndexedFile> ByName(std::vector<IndexedFile> files) {
    std::sort(files.begin(), files.end(),
              [](const IndexedFile& a, const IndexedFile& b) { return a.name < b.name; });
    return files;
}

std::int64_t FolderRows(const std::string& database) {
    sqlite3* db = nullptr;
    std::int64_t rows = -1;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT count(*) FROM folders", -1, &statement, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        rows = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

TEST(ScanIndex, FolderRoundTripReplacesAndForgets) {
    TempFolder folder;
    TestClock clock;
    const std::string icons = "/srv/icons";
    const std::vector<IndexedFile> files = {
        {"shell32.dll", StampFor(1, clock), EntryFor(6)}, // groups with and without hashes
        {"empty.ico", StampFor(2, clock), IndexEntry{0, {}}},
        {std::string("\xFF\x01 \\x\x7F\xD0\xAF.ICO"), StampFor(3, clock), EntryFor(2)},
        {std::string(255, 'n'), StampFor(4, clock), IndexEntry{3, {{"", std::nullopt}}}},
    };
    auto stored = files;
    FileStamp fresh = StampFor(5, clock);
    fresh.mtimeNs = duration_cast<nanoseconds>((clock.now - 1s).time_since_epoch()).count();
    stored.push_back({"fresh.dll", fresh, EntryFor(5)});

    auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    index->StoreFolder(icons, stored);
    index->StoreFolder("/", {{"vmlinuz", StampFor(9, clock), EntryFor(9)}});
    EXPECT_EQ(ByName(index->LookupFolder(icons)), ByName(files)) << "before the write";
    index->Flush();
    EXPECT_EQ(ByName(index->LookupFolder(icons)), ByName(files)) << "after the write";
    index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    EXPECT_EQ(ByName(index->LookupFolder(icons)), ByName(files)) << "after reopening";
    for (const auto& file : files)
        EXPECT_EQ(index->Lookup(icons + "/" + file.name, file.stamp), file.entry) << file.name;
    EXPECT_FALSE(index->Lookup(icons + "/fresh.dll", fresh));
    EXPECT_EQ(index->Lookup("/vmlinuz", StampFor(9, clock)), EntryFor(9));

    // A store adds to the folder; a folder store replaces it, also over a folder just read.
    index->Store(icons + "/new.exe", StampFor(7, clock), EntryFor(7));
    index->Flush();
    EXPECT_EQ(index->LookupFolder(icons).size(), files.size() + 1);
    ASSERT_TRUE(index->Lookup(icons + "/empty.ico", files[1].stamp));
    index->StoreFolder(icons, {files[0]});
    EXPECT_FALSE(index->Lookup(icons + "/empty.ico", files[1].stamp));
    index->Flush();
    EXPECT_FALSE(index->Lookup(icons + "/empty.ico", files[1].stamp));
    EXPECT_EQ(index->LookupFolder(icons), std::vector<IndexedFile>{files[0]});

    index->StoreFolder(icons, {});
    index->Flush();
    EXPECT_TRUE(index->LookupFolder(icons).empty());
    index.reset();
    EXPECT_EQ(FolderRows(folder.Database()), 1); // only the root is left
}

// Below "/a" means inside it: not "/a" itself, nor its neighbours in byte order ("/a.b" sorts
// before "/a/b", "/a0" right after everything in "/a/").
TEST(ScanIndex, FoldersBelowAFolderAreExactlyThoseInsideIt) {
    TempFolder folder;
    TestClock clock;
    auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    int i = 0;
    for (const char* path : {"/", "/a", "/a.b", "/a/b", "/a/b/c", "/a0", "/ab", "/b"})
        index->StoreFolder(path, {{"f.dll", StampFor(++i, clock), EntryFor(1)}});
    using Paths = std::vector<std::string>;
    EXPECT_EQ(index->FoldersBelow("/a", 100), Paths{}) << "rows not yet written";
    index->Flush();
    EXPECT_EQ(index->FoldersBelow("/a", 100), (Paths{"/a/b", "/a/b/c"}));
    EXPECT_EQ(index->FoldersBelow("/a/", 100), (Paths{"/a/b", "/a/b/c"}));
    EXPECT_EQ(index->FoldersBelow("/a", 1), Paths{"/a/b"});
    EXPECT_EQ(index->FoldersBelow("/a/b/c", 100), Paths{});
    EXPECT_EQ(index->FoldersBelow("/", 100),
              (Paths{"/a", "/a.b", "/a/b", "/a/b/c", "/a0", "/ab", "/b"}));
}

TEST(ScanIndex, FolderListingKeptWithItsStampUnlessJustChanged) {
    TempFolder folder;
    TestClock clock;
    const std::string icons = "/srv/icons";
    FolderListing listing{Ns(clock.now - 1h),       Ns(clock.now - 30min), 77,           2049,
                          {"shell32.dll", "a.ico"}, {"Sub", "en-US"},      Ns(clock.now)};
    auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    // A folder with subfolders and no files keeps its row for the listing.
    index->StoreFolder(icons, {}, listing);
    index->Flush();
    index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    std::optional<FolderListing> found;
    EXPECT_TRUE(index->LookupFolder(icons, &found).empty());
    EXPECT_EQ(found, listing);

    // A store of one file keeps the listing; a folder store without one drops it.
    index->Store(icons + "/shell32.dll", StampFor(1, clock), EntryFor(6));
    index->Flush();
    EXPECT_EQ(index->LookupFolder(icons, &found).size(), 1u);
    EXPECT_EQ(found, listing);
    index->StoreFolder(icons, {{"shell32.dll", StampFor(1, clock), EntryFor(6)}});
    index->Flush();
    EXPECT_EQ(index->LookupFolder(icons, &found).size(), 1u);
    EXPECT_FALSE(found);

    // A folder changed a second before its listing was read may change again unseen; one time
    // older than that is enough, since a change would set both.
    listing.ctimeNs = Ns(clock.now - 1s);
    index->StoreFolder(icons, {}, listing);
    index->Flush();
    index->LookupFolder(icons, &found);
    EXPECT_EQ(found, listing);
    listing.mtimeNs = Ns(clock.now - 1s);
    index->StoreFolder(icons, {}, listing);
    index->Flush();
    index->LookupFolder(icons, &found);
    EXPECT_FALSE(found);

    // Names no listing can hold would send a walk in circles or off the folder.
    listing.mtimeNs = Ns(clock.now - 1h);
    for (const auto& bad : {std::vector<std::string>{".."}, {"."}, {"a\\b"}, {"a/b"}, {"Sub"}}) {
        FolderListing odd = listing;
        odd.subfolders.insert(odd.subfolders.end(), bad.begin(), bad.end());
        index->StoreFolder(icons, {}, odd);
        index->Flush();
        index->LookupFolder(icons, &found);
        EXPECT_FALSE(found) << bad.front();
    }
    index->StoreFolder(icons, {}, listing);
    index->Flush();
    index->LookupFolder(icons, &found);
    EXPECT_EQ(found, listing);
}

// A listing read back is held to what a store lets in: a damaged one takes the whole row with it.
TEST(ScanIndex, DamagedListingMakesItsRowAMiss) {
    TempFolder folder;
    TestClock clock;
    const std::string path = "/data/listed";
    const std::vector<IndexedFile> files = {{"a.dll", StampFor(1, clock), EntryFor(1)},
                                            {"b.dll", StampFor(2, clock), EntryFor(2)}};
    const FolderListing listing{Ns(clock.now - 1h), Ns(clock.now - 1h),    77,           2049,
                                {"b.dll", "a.dll"}, {"c.dll", "xy", "zz"}, Ns(clock.now)};
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"zz", ".."}, {"zz", "z\\"}, {"zz", "z/"}, {"zz", "xy"}, {"c.dll", "b.dll"}}) {
        {
            auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
            index->StoreFolder(path, files, listing);
        }
        DamageRow(folder.Database(), path, [&](std::string& row) {
            // The listing follows the files, whose names come first.
            const auto at = row.rfind(from);
            ASSERT_NE(at, std::string::npos);
            row.replace(at, from.size(), to);
        });
        auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
        std::optional<FolderListing> found;
        EXPECT_TRUE(index->LookupFolder(path, &found).empty()) << to;
        EXPECT_FALSE(found) << to;
    }
}

// --- two processes -----------------------------------------------------------------------------

TEST(ScanIndex, TwoProcessesWritingAtOnceKeepEveryEntry) {
    TempFolder folder;
    TestClock clock;
    constexpr int perProcess = 4000;
    // Both processes open a folder that has no index yet, so creation races too.
    const auto work = [&](const std::string& mine, const std::string& theirs) {
        auto options = OptionsWith(clock);
        options.batchSize = 40;
        auto index = ScanIndex::Open(folder.Path(), options);
        for (int i = 0; i < perProcess; ++i) {
            index->Store(PathFor(mine, i), StampFor(i, clock), EntryFor(i));
            index->Lookup(PathFor(theirs, i), StampFor(i, clock));
        }
        index->Flush();
        return index->Active();
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(work("child", "parent") ? 0 : 1);
    EXPECT_TRUE(work("parent", "child"));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    EXPECT_EQ(IntegrityCheck(folder.Database()), "ok");
    auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    int found = 0;
    for (const char* who : {"parent", "child"})
        for (int i = 0; i < perProcess; ++i)
            found += index->Lookup(PathFor(who, i), StampFor(i, clock)) == EntryFor(i);
    EXPECT_EQ(found, 2 * perProcess);
}

// --- bounds ------------------------------------------------------------------------------------

TEST(ScanIndex, EntriesNotSeenFor90DaysGoAtTheDailyPrune) {
    TempFolder folder;
    TestClock clock;
    const TestClock stampClock = clock;
    // Age is kept per folder: every folder here holds the files of one name prefix.
    FillIndex(folder, clock, "aged", 1);
    FillIndex(folder, clock, "listed", 1);
    FillIndex(folder, clock, "unseen", 2);
    clock.now += days(60);
    {
        // Looking an entry or its folder up counts as seeing it.
        auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
        ASSERT_TRUE(index->Lookup(PathFor("aged", 0), StampFor(0, stampClock)));
        ASSERT_EQ(index->LookupFolder(SplitFolder(PathFor("listed", 0))).size(), 1u);
    }
    clock.now += days(40);
    auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    EXPECT_TRUE(index->Lookup(PathFor("aged", 0), StampFor(0, stampClock)));
    EXPECT_TRUE(index->Lookup(PathFor("listed", 0), StampFor(0, stampClock)));
    EXPECT_FALSE(index->Lookup(PathFor("unseen", 1), StampFor(1, stampClock)));
}

TEST(ScanIndex, SizeCapKeepsTheFileSmallAndTheNewestEntries) {
    TempFolder folder;
    TestClock clock;
    const TestClock stampClock = clock;
    constexpr std::uint64_t cap = 256 * 1024;
    constexpr int total = 20000;
    {
        auto options = OptionsWith(clock);
        options.maxBytes = cap;
        auto index = ScanIndex::Open(folder.Path(), options);
        for (int i = 0; i < total; ++i) {
            if (i % 1000 == 0)
                clock.now += days(1);
            index->Store(PathFor("capped", i), StampFor(i, stampClock), EntryFor(i));
        }
    }
    EXPECT_LE(fs::file_size(folder.Database()), cap);
    EXPECT_EQ(IntegrityCheck(folder.Database()), "ok");
    auto index = ScanIndex::Open(folder.Path(), OptionsWith(clock));
    EXPECT_FALSE(index->Lookup(PathFor("capped", 0), StampFor(0, stampClock)));
    for (int i = total - 500; i < total; ++i)
        ASSERT_TRUE(index->Lookup(PathFor("capped", i), StampFor(i, stampClock))) << i;
}

// --- read ahead at open ----------------------------------------------------------------------

// The index's pages are asked for before its check reads them one by one. A request for the
// whole file reaches only as far as the disk's read-ahead window, which is far smaller than this
// file on most disks (128 KiB) and 8 MiB on the largest usual ones.
TEST(ScanIndex, ReadAheadReachesTheEndOfAFileLargerThanTheReadAheadWindow) {
    TempFolder folder;
    const std::string path = folder.Path() + "/large";
    const std::size_t size = 40u << 20;
    {
        std::ofstream out(path, std::ios::binary);
        const std::string block(1 << 20, 'x');
        for (std::size_t written = 0; written < size; written += block.size())
            out << block;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ::fdatasync(fd);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(map, MAP_FAILED);
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident(size / page);
    const auto residentPages = [&] {
        ::mincore(map, size, resident.data());
        return std::count_if(resident.begin(), resident.end(), [](auto p) { return p & 1; });
    };
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    if (residentPages() > 0) {
        ::munmap(map, size);
        ::close(fd);
        GTEST_SKIP() << "the page cache keeps this file (a file system in memory?)";
    }

    ReadWholeFileAhead(fd);
    // The reads run in the background; a disk takes well under a second for 40 MiB.
    const auto deadline = steady_clock::now() + seconds(20);
    while (residentPages() < static_cast<long>(resident.size()) && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(residentPages(), static_cast<long>(resident.size()));
    ::munmap(map, size);
    ::close(fd);
}

// --- off ---------------------------------------------------------------------------------------

TEST(ScanIndex, DisabledOrUnusableIndexDoesNothing) {
    TempFolder folder;
    TestClock clock;
    const std::string off = folder.Path() + "/off";
    auto options = OptionsWith(clock);
    options.enabled = false;
    auto disabled = ScanIndex::Open(off, options);
    // A folder below a regular file can never be created.
    auto unusable = ScanIndex::Open("/dev/null/Brindlow", OptionsWith(clock));
    for (ScanIndex* index : {disabled.get(), unusable.get()}) {
        EXPECT_FALSE(index->Active());
        index->Store(PathFor("off", 1), StampFor(1, clock), EntryFor(1));
        index->Flush();
        index->Prune(clock.now);
        EXPECT_FALSE(index->Lookup(PathFor("off", 1), StampFor(1, clock)));
    }
    EXPECT_FALSE(fs::exists(off));
    EXPECT_FALSE(unusable->Problem().empty());
}

} // namespace
