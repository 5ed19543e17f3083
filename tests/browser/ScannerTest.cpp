// The scanner with its reader pool: the grid, the status texts and the scanned-file keys must
// come out exactly as the one-file-at-a-time scan makes them, also across odd trees, stops and
// files that change, and the scan index must answer only for files whose stamp is unchanged.
#include "app/Umain.h"
#include "platform/core/Paths.h"
#include "platform/core/Settings.h"
#include "platform/icons/IconSource.h"
#include "platform/scanindex/ScanIndex.h"

#include "IconFileBuilder.h"
#include "TempDrive.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace glyptor;
using glyptor::testing::TempDrive;
namespace build = glyptor::icons::testing;

namespace {

// A PE library with `groups` icon groups, padded with zeros to `size` bytes when given.
std::string Library(int groups, std::size_t size = 0) {
    const icons::Bytes bytes = build::MakeLibrary(groups);
    std::string text(bytes.begin(), bytes.end());
    if (text.size() < size)
        text.resize(size, '\0');
    return text;
}

// An hour ago: old enough for the index to keep what it learns about the file.
void MakeOld(const std::string& native, std::int64_t seconds = 3600) {
    const timespec times[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
    QVERIFY(::utimensat(AT_FDCWD, native.c_str(), times, 0) == 0);
}

struct ScanResult {
    QStringList records; // folder path, file name, icon index
    QStringList status;
    QList<quint64> hashes; // the records' image fingerprints (none unless folding)
    int cells = 0;
    int hashedByGrid = 0; // records the grid had to fingerprint itself while folding
    int scannedFiles = 0;
    QString label;       // the status line right after the scan, before any event is handled
    bool sorted = false; // the folder tree sorts again

    bool operator==(const ScanResult&) const = default;
};

char* toString(const ScanResult& result) {
    return QTest::toString(result.records.join('\n') + "\n--\n" + result.status.join('\n'));
}

} // namespace

class ScannerTest : public QObject {
    Q_OBJECT

    QTemporaryDir config_;
    QTemporaryDir cache_;
    std::unique_ptr<TempDrive> drive_;

    // Scans drive T: (all of it) in a fresh window; `stopAfterFolders` raises the stop key
    // when that many folders have been announced.
    ScanResult Scan(int threads, bool index = false, int stopAfterFolders = 0, bool fold = false) {
        TFMain window(drive_->State());
        window.IconBox->SetFoldDuplicates(fold);
        ScanResult result;
        window.IconBox->HashRecord = [&, fill = window.IconBox->HashRecord](TIconRes& record) {
            result.hashedByGrid += record.ImageHash == kNoImageHash;
            fill(record);
        };
        window.State.ScanReaderThreads = threads;
        window.State.ScanIndex = index;
        window.State.TickSource = [] { return std::uint32_t{0}; }; // no pumps: deterministic
        window.FATView->setCurrentItem(window.FATView->topLevelItem(1));
        QObject::connect(window.Scanner, &TScanner::StatusText, [&](const QString& text) {
            result.status << text;
            if (stopAfterFolders > 0 && result.status.size() == stopAfterFolders)
                window.State.StopRequested = true;
        });
        window.TBClearClick();
        window.TBScanClick();
        for (int i = 0; i < window.IconBox->RecordCount(); ++i) {
            const TIconRes& record = window.IconBox->Record(i);
            result.records << NodePath(record.FolderNode) + '|' + record.FileName + '|' +
                                  QString::number(record.IconIndex);
            result.hashes << record.ImageHash;
        }
        result.cells = window.IconBox->Count();
        result.scannedFiles = window.Scanner->ScannedFiles.Count();
        result.label = window.StatusLabel->text();
        result.sorted = window.FATView->isSortingEnabled();
        return result;
    }

    void BuildOddTree() {
        for (int f = 0; f < 6; ++f)
            for (int g = 0; g < 4; ++g)
                drive_->File("tree" + std::to_string(f) + "/sub" + std::to_string(g) + "/lib" +
                                 std::to_string(g) + ".dll",
                             Library(1 + (f + g) % 3));
        drive_->File("Zeta.exe", Library(2));
        drive_->File("alpha.DLL", Library(1));
        drive_->File(".hidden.dll", Library(1));     // hidden files are scanned
        drive_->File(".hid/inside.dll", Library(1)); // hidden folders are not
        drive_->File("damaged.dll", "MZ but nothing after it");
        drive_->File("tree1/empty.ico", "");
        QVERIFY(::mkfifo(drive_->Native("tree2/pipe.dll").c_str(), 0600) == 0);
        std::filesystem::create_symlink("..", drive_->Native("tree3/loop"));
        std::filesystem::create_symlink("nowhere.dll", drive_->Native("tree3/dangling.dll"));
        std::filesystem::create_symlink("../Zeta.exe", drive_->Native("tree4/link.exe"));
        std::filesystem::create_symlink("self", drive_->Native("tree5/self"));
    }

private slots:
    void init() {
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        qputenv("XDG_CACHE_HOME", cache_.path().toUtf8());
        QFile::remove(platform::SettingsFilePath());
        QSettings(platform::SettingsFilePath(), QSettings::IniFormat).setValue("LastDir", "T:");
        drive_ = std::make_unique<TempDrive>();
    }
    void cleanup() {
        drive_.reset();
        QFile::remove(cache_.path() + "/Brindlow/scanindex.sqlite");
    }

    void parallelScanMatchesSingleThreadedScan() {
        BuildOddTree();
        const ScanResult single = Scan(1);
        QVERIFY(single.records.size() > 40);
        QCOMPARE(single.label, single.status.last());
        QVERIFY(single.sorted);
        QCOMPARE(Scan(4), single);
        QCOMPARE(Scan(2, true), single);

        // Files change between scans: grown, shrunk, gone, new, turned into a FIFO.
        drive_->File("tree0/sub1/lib1.dll", Library(4));
        drive_->File("tree2/sub0/lib0.dll", "not a library any more");
        std::filesystem::remove(drive_->Native("alpha.DLL"));
        drive_->File("tree5/sub3/new.exe", Library(2));
        std::filesystem::remove(drive_->Native("Zeta.exe"));
        QVERIFY(::mkfifo(drive_->Native("Zeta.exe").c_str(), 0600) == 0);
        const ScanResult changed = Scan(1);
        QVERIFY(changed != single);
        QCOMPARE(Scan(3, true), changed);
    }

    // A stop keeps what was found before it, in order: a prefix of the whole scan.
    void stopDuringParallelScanKeepsAPrefix() {
        for (int f = 0; f < 40; ++f)
            for (int i = 0; i < 5; ++i) {
                const std::string name =
                    "f" + std::to_string(100 + f) + "/x" + std::to_string(i) + ".dll";
                drive_->File(name, Library(1 + i % 2));
                MakeOld(drive_->Native(name)); // old enough for the index
            }
        const ScanResult whole = Scan(1);
        const ScanResult stopped = Scan(4, false, 12);
        QCOMPARE(stopped.status, whole.status.mid(0, 12));
        QVERIFY(!stopped.records.isEmpty());
        QVERIFY(stopped.records.size() < whole.records.size());
        QCOMPARE(stopped.records, whole.records.mid(0, stopped.records.size()));
        // The next scan starts afresh and finds everything again.
        QCOMPARE(Scan(4), whole);
        // So it does after a stop that left the index with half-read folders.
        QCOMPARE(Scan(4, true, 12).status, whole.status.mid(0, 12));
        QCOMPARE(Scan(4, true), whole);
        QCOMPARE(Scan(4, true), whole);
    }

    // A folder whose entries did not change is taken from the index without being listed. One
    // that changed is listed again, also when its modification time was put back afterwards
    // (as archive tools do): its change time gives it away.
    void indexListingsFollowFolderChanges() {
        for (const char* name : {"a/one.dll", "a/b/two.dll", "c/three.exe", "c/d/e/four.dll"})
            drive_->File(name, Library(2));
        for (const char* name : {"a/one.dll", "a/b/two.dll", "c/three.exe", "c/d/e/four.dll", "a/b",
                                 "a", "c/d/e", "c/d", "c", ""})
            MakeOld(drive_->Native(name));
        const ScanResult first = Scan(2, true);
        QCOMPARE(first.records.size(), 8);
        {
            auto index = platform::ScanIndex::Open(cache_.path().toStdString() + "/Brindlow", {});
            std::optional<platform::FolderListing> listing;
            index->LookupFolder(drive_->Native("a"), &listing);
            QVERIFY(listing);
            QCOMPARE(listing->files, std::vector<std::string>{"one.dll"});
            QCOMPARE(listing->subfolders, std::vector<std::string>{"b"});
        }
        QCOMPARE(Scan(3, true), first);

        struct stat before {};
        QVERIFY(::stat(drive_->Native("a").c_str(), &before) == 0);
        drive_->File("a/new.dll", Library(1));
        MakeOld(drive_->Native("a/new.dll"));
        const timespec times[2] = {before.st_atim, before.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, drive_->Native("a").c_str(), times, 0) == 0);
        const ScanResult added = Scan(3, true);
        QCOMPARE(added.records.size(), 9);
        QCOMPARE(added, Scan(1));
    }

    // The index answers for a file whose size, time and inode are as stored, even when its
    // bytes changed behind its back; any changed stamp field makes the scan read the file.
    void indexAnswersOnlyForUnchangedStamps() {
        const std::string three = Library(3);
        drive_->File("same.dll", three);
        drive_->File("touched.dll", Library(2));
        MakeOld(drive_->Native("same.dll"));
        MakeOld(drive_->Native("touched.dll"));
        QCOMPARE(Scan(2, true).records.size(), 5);

        struct stat before {};
        QVERIFY(::stat(drive_->Native("same.dll").c_str(), &before) == 0);
        {
            std::ofstream rewrite(drive_->Native("same.dll"), std::ios::binary | std::ios::in);
            const std::string one = Library(1, three.size());
            rewrite.write(one.data(), static_cast<std::streamsize>(one.size()));
        }
        const timespec times[2] = {before.st_atim, before.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, drive_->Native("same.dll").c_str(), times, 0) == 0);
        drive_->File("touched.dll", Library(1));
        MakeOld(drive_->Native("touched.dll"), 7200);

        const ScanResult indexed = Scan(2, true);
        QCOMPARE(indexed.records.filter("same.dll").size(), 3);    // from the index
        QCOMPARE(indexed.records.filter("touched.dll").size(), 1); // read again
        const ScanResult read = Scan(2, false);
        QCOMPARE(read.records.filter("same.dll").size(), 1);
        QCOMPARE(Scan(1, true).records.filter("same.dll").size(), 1); // no pool, no index
    }

    // Folding takes each icon's fingerprint from the scan's own read of the file (or from the
    // index): the same fingerprints the grid would compute, with or without reader threads.
    void foldedScanFingerprintsWhileCounting() {
        BuildOddTree();
        for (int f = 0; f < 5; ++f)
            drive_->File("copies/copy" + std::to_string(f) + ".dll", Library(3));
        const icons::Bytes bmp = build::MakeBmp(20, 10, 24, [](int x, int y) {
            return 0xFF000000u + static_cast<std::uint32_t>(x * 4096 + y);
        });
        drive_->File("copies/picture.bmp", std::string(bmp.begin(), bmp.end()));
        for (const auto& entry : std::filesystem::recursive_directory_iterator(drive_->Native("")))
            if (!entry.is_symlink() && entry.is_regular_file())
                MakeOld(entry.path().string());
        const ScanResult unfolded = Scan(1);
        const ScanResult folded = Scan(1, false, 0, true);
        QCOMPARE(folded.records, unfolded.records);
        QVERIFY(folded.cells < unfolded.cells);
        QCOMPARE(folded.hashedByGrid, 0);
        icons::IconSourceCache cache;
        for (int i = 0; i < folded.records.size(); ++i) {
            const QStringList parts = folded.records[i].split('|');
            const auto native = platform::ToNativePath(drive_->State().Drives,
                                                       (parts[0] + '\\' + parts[1]).toStdString());
            QVERIFY(native);
            QCOMPARE(folded.hashes[i],
                     RecordImageHash(icons::ChosenImageHash(cache, *native, parts[2].toInt())));
        }
        QCOMPARE(Scan(3, false, 0, true), folded);
        QCOMPARE(Scan(2, true, 0, true), folded);
        QCOMPARE(Scan(2, true, 0, true), folded); // from the index this time
        // An index filled by a scan that did not fingerprint answers for the count only.
        QFile::remove(cache_.path() + "/Brindlow/scanindex.sqlite");
        QCOMPARE(Scan(2, true).cells, unfolded.cells);
        QCOMPARE(Scan(2, true, 0, true), folded);
    }

    // A damaged index file is rebuilt, not trusted, and the scan is unharmed.
    void garbageIndexIsRebuilt() {
        drive_->File("a.dll", Library(2));
        MakeOld(drive_->Native("a.dll"));
        QDir().mkpath(cache_.path() + "/Brindlow");
        QFile garbage(cache_.path() + "/Brindlow/scanindex.sqlite");
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(8192, '\x5a'));
        garbage.close();
        QCOMPARE(Scan(2, true).records.size(), 2);
        QCOMPARE(Scan(2, true).records.size(), 2);
    }
};

QTEST_MAIN(ScannerTest)
#include "ScannerTest.moc"
