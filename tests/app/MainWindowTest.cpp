// The main window on a temporary folder mapped as a drive: tree, pump, keys, scans, drops,
// grid and settings, driven through the window's own handlers.
#include "app/Umain.h"
#include "platform/core/Settings.h"
#include "platform/core/System.h"
#include "platform/ui/Application.h"

#include "TempDrive.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using namespace glyptor;
using glyptor::testing::TempDrive;

namespace {

// A valid one-image icon file: 32 x 32, 32 bits per pixel, a red square on transparency.
std::string IconFile() {
    std::string bytes;
    auto u8 = [&](unsigned v) { bytes.push_back(static_cast<char>(v & 0xFF)); };
    auto u16 = [&](unsigned v) {
        u8(v);
        u8(v >> 8);
    };
    auto u32 = [&](unsigned v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    const unsigned pixels = 32 * 32 * 4, mask = 32 * 4;
    u16(0);
    u16(1);
    u16(1); // ICONDIR
    u8(32);
    u8(32);
    u8(0);
    u8(0);
    u16(1);
    u16(32); // ICONDIRENTRY
    u32(40 + pixels + mask);
    u32(22);
    u32(40);
    u32(32);
    u32(64);
    u16(1);
    u16(32);
    u32(0); // BITMAPINFOHEADER
    u32(pixels + mask);
    u32(0);
    u32(0);
    u32(0);
    u32(0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            u32(x >= 8 && x < 24 && y >= 8 && y < 24 ? 0xFFFF0000u : 0x00000000u);
    for (unsigned i = 0; i < mask; ++i)
        u8(0);
    return bytes;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir config_;
    std::unique_ptr<TempDrive> drive_;

    std::unique_ptr<TFMain> NewWindow() {
        auto window = std::make_unique<TFMain>(drive_->State());
        window->resize(800, 500);
        window->show();
        return window;
    }

    QTreeWidgetItem* DriveNode(TFMain& window, const QString& text) {
        for (int i = 0; i < window.FATView->topLevelItemCount(); ++i)
            if (window.FATView->topLevelItem(i)->text(0) == text)
                return window.FATView->topLevelItem(i);
        return nullptr;
    }

    void Click(TFMain& window, QTreeWidgetItem* node) {
        window.FATView->setCurrentItem(node);
        window.FATViewClick();
    }

private slots:
    void init() {
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        QFile::remove(platform::SettingsFilePath());
        drive_ = std::make_unique<TempDrive>();
        {
            QSettings store(platform::SettingsFilePath(), QSettings::IniFormat);
            store.setValue("LastDir", "T:");
        }
    }

    void cleanup() { drive_.reset(); }

    void statusShowsHostNameAndDrivesBecomeNodes() {
        ProgramState state;
        state.Drives.Set({{"C:\\", platform::DriveFixed, drive_->Root()},
                          {"E:\\", platform::DriveNoRootDir, "/nonexistent"},
                          {"F:\\", platform::DriveCdRom, drive_->Root()}});
        QSettings(platform::SettingsFilePath(), QSettings::IniFormat).setValue("LastDir", "Q:");
        TFMain window(std::move(state));
        QCOMPARE(window.StatusLabel->text(),
                 QStringLiteral("\\\\") + QString::fromStdString(platform::ComputerName()));
        QCOMPARE(window.FATView->topLevelItemCount(), 2);
        QVERIFY(DriveNode(window, "C:"));
        QVERIFY(!DriveNode(window, "E:")); // a drive without a root folder has no node
        QVERIFY(DriveNode(window, "F:"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Главное"));
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(window.findChild<QWidget*>("Panel_title"));
        QVERIFY(window.findChild<QWidget*>("IconBox"));
    }

    void findNodeByPathRespectsComponentBoundaries() {
        drive_->Folder("PROGRAM");
        drive_->Folder("PROGRAM FILES/App");
        auto window = NewWindow();
        QTreeWidgetItem* node = window->FindNodeByPath("T:\\PROGRAM FILES\\App");
        QVERIFY(node);
        QCOMPARE(NodePath(node), QStringLiteral("T:\\PROGRAM FILES\\App"));
        QCOMPARE(window->FATView->currentItem(), node);
        QCOMPARE(window->State.CurrentDir, QStringLiteral("T:\\PROGRAM FILES\\App"));
        // Small letters find the same node.
        QCOMPARE(window->FindNodeByPath("t:\\program files\\app"), node);
        QVERIFY(!window->FindNodeByPath("T:\\PROGRAM FILES\\Missing"));
        QVERIFY(!window->FindNodeByPath("Z:\\x"));
    }

    void missingStartFolderSelectsNothing() {
        drive_->Folder("a/b");
        QSettings(platform::SettingsFilePath(), QSettings::IniFormat)
            .setValue("LastDir", "T:\\a\\gone");
        auto window = NewWindow();
        QVERIFY(!window->FATView->currentItem());
        // The ancestors were listed on the way.
        QTreeWidgetItem* a = DriveNode(*window, "T:")->child(0);
        QVERIFY(a);
        QCOMPARE(a->childCount(), 1);
    }

    void expandingDoesNotScanButEnterDoes() {
        drive_->File("top/sub/x.ico", IconFile());
        drive_->Folder("top/sub/deeper");
        auto window = NewWindow();
        QTreeWidgetItem* top = window->FindNodeByPath("T:\\top");
        QVERIFY(top);
        top->setExpanded(true);
        QCOMPARE(window->IconBox->Count(), 0);
        QTreeWidgetItem* sub = top->child(0);
        sub->setExpanded(true); // lists "deeper" one level ahead and selects sub
        QCOMPARE(window->FATView->currentItem(), sub);
        QCOMPARE(sub->child(0)->text(0), QStringLiteral("deeper"));
        window->FATViewClick();
        QCOMPARE(window->IconBox->Count(), 0); // the last "scanned" node: no scan
        window->FATViewKeyPress(QChar(13));
        QCOMPARE(window->IconBox->Count(), 1);
    }

    void pumpIsThrottledAndSurvivesTickWrap() {
        auto window = NewWindow();
        std::uint32_t now = 1000;
        window->State.TickSource = [&now] { return now; };
        window->State.LastPumpTick = 0;
        int timerRuns = 0;
        QTimer::singleShot(0, [&] { ++timerRuns; });
        window->PumpMessages();
        QCOMPARE(window->State.LastPumpTick, 1000u);
        QCOMPARE(timerRuns, 1);
        QTimer::singleShot(0, [&] { ++timerRuns; });
        now = 1200; // less than 300 ms later: nothing is processed
        window->PumpMessages();
        QCOMPARE(timerRuns, 1);
        QCOMPARE(window->State.LastPumpTick, 1000u);
        now = 1301;
        window->PumpMessages();
        QCOMPARE(timerRuns, 2);
        // Across the wrap of the 32-bit tick the difference stays small and positive.
        window->State.LastPumpTick = 0xFFFFFF00u;
        now = 0x00000010u; // 0x110 = 272 ms later
        window->PumpMessages();
        QCOMPARE(window->State.LastPumpTick, 0xFFFFFF00u);
        now = 0x00000040u; // 320 ms later
        window->PumpMessages();
        QCOMPARE(window->State.LastPumpTick, 0x40u);
    }

    void clickOnDriveScansOnlyItsRoot() {
        drive_->File("root.ico", IconFile());
        drive_->File("sub/inner.ico", IconFile());
        auto window = NewWindow();
        Click(*window, DriveNode(*window, "T:"));
        QCOMPARE(window->IconBox->Count(), 1);
        QCOMPARE(window->IconBox->Item(0).FileName, QStringLiteral("root.ico"));
        QCOMPARE(window->State.IconTotal, 1);
        QTreeWidgetItem* sub = DriveNode(*window, "T:")->child(0);
        const qint64 unmarked = sub->icon(0).cacheKey();
        // The scan picture takes the whole drive.
        window->Image_scanClick();
        QCOMPARE(window->IconBox->Count(), 2);
        QCOMPARE(window->StateImage(sub), 8);
        // The mark is in the picture the view is given.
        QVERIFY(sub->icon(0).cacheKey() != unmarked);
    }

    void filterAndDuplicateFiles() {
        drive_->File("a.ico", IconFile());
        drive_->File("b.ICO", IconFile());
        drive_->File("c.cur", IconFile());
        drive_->File("noext", IconFile());
        drive_->File("d.bmp.txt", IconFile());
        auto window = NewWindow();
        Click(*window, DriveNode(*window, "T:"));
        // Everything but the cursor; content decides what has icons.
        QCOMPARE(window->IconBox->Count(), 4);
        window->imTypeClick(window->im4);
        QCOMPARE(window->State.ExtMask, QStringLiteral(".ICO"));
        QVERIFY(!window->im1->isChecked());
        QVERIFY(!window->State.LastScannedNode);
        Click(*window, DriveNode(*window, "T:"));
        QCOMPARE(window->IconBox->Count(), 2);
        // Dropping a file that is in the grid adds nothing; a new one adds its icons once.
        window->DropNames({"T:\\a.ico", "T:\\a.ico"});
        QCOMPARE(window->IconBox->Count(), 2);
        window->DropNames({"T:\\noext", "T:\\NOEXT"});
        QCOMPARE(window->IconBox->Count(), 3);
        QCOMPARE(window->Scanner->ScannedFiles.Count(), 3);
        // Unchecking the last type leaves all files.
        window->imTypeClick(window->im4);
        QVERIFY(window->State.ExtMask.isEmpty());
        window->maskmenuPopup();
        QVERIFY(window->im1->isChecked());
    }

    void escapeDuringScanStopsAndMarksEnteredFolders() {
        for (int i = 0; i < 5; ++i)
            drive_->File(QStringLiteral("f%1/x.ico").arg(i).toStdString(), IconFile());
        auto window = NewWindow();
        std::uint32_t now = 0;
        window->State.TickSource = [&now] { return now += 1000; }; // every pump processes events
        // The first pump sees Escape: the scan ends in the first folder it entered.
        QTimer::singleShot(0, [&] { window->FormKeyPress(QChar(27)); });
        window->FATView->setCurrentItem(DriveNode(*window, "T:"));
        window->State.ShallowScan = false;
        window->TBScanClick();
        QVERIFY(!window->State.Scanning);
        QTreeWidgetItem* drive = DriveNode(*window, "T:");
        QCOMPARE(window->StateImage(drive), 8);
        int unmarked = 0;
        for (int i = 0; i < drive->childCount(); ++i)
            unmarked += window->StateImage(drive->child(i)) == 0;
        QVERIFY(unmarked >= 4);
        QVERIFY(window->IconBox->isVisible());
    }

    void f5ListsFoldersMadeSinceAndKeepsTheOthers() {
        drive_->Folder("old");
        auto window = NewWindow();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTreeWidgetItem* drive = DriveNode(*window, "T:");
        window->FATView->setCurrentItem(drive);
        window->ListSubfolders(drive);
        QCOMPARE(drive->childCount(), 1);
        QTreeWidgetItem* old = drive->child(0);
        drive_->Folder("New");
        drive_->Folder("Another");
        window->FATView->setFocus();
        QTest::keyClick(window->FATView, Qt::Key_F5);
        QCOMPARE(drive->childCount(), 3);
        QCOMPARE(drive->child(0)->text(0), QStringLiteral("Another"));
        QCOMPARE(drive->child(2), old); // the node grid records may hold is the same
        QTest::keyClick(window->FATView, Qt::Key_F5);
        QCOMPARE(drive->childCount(), 3);
    }

    void secondScanClickOnlyAsksToStop() {
        auto window = NewWindow();
        window->State.Scanning = true;
        window->State.StopRequested = false;
        window->TBScanClick();
        QVERIFY(window->State.StopRequested);
        window->State.Scanning = false;
    }

    void narrowGridIsOneColumn() {
        auto window = NewWindow();
        window->IconBox->resize(38, 200);
        window->PanelIconBoxResize();
        QCOMPARE(window->IconBox->Columns(), 0);
        QCOMPARE(window->PageSize(), 0);
        window->IconBox->resize(372, 200);
        window->PanelIconBoxResize();
        QCOMPARE(window->IconBox->Columns(), 9);
        QCOMPARE(window->IconBox->ColumnWidth(), 42);
    }

    void settingsRoundTrip() {
        {
            QSettings store(platform::SettingsFilePath(), QSettings::IniFormat);
            store.setValue("MinCash", "100");
            store.setValue("MaxCash", "700");
            store.setValue("WinTop", "abc");
            store.setValue("SubFolders", "2");
            store.setValue("iconboxcolor", "255");
            store.setValue("Mask", ".DLL.EXE");
        }
        {
            auto window = NewWindow();
            QCOMPARE(window->State.MinCash, 500);
            QCOMPARE(window->State.MaxCash, 800);
            QCOMPARE(window->y(), 30);
            QVERIFY(window->State.ScanSubfolders);
            QCOMPARE(window->State.ExtMask, QStringLiteral(".DLL.EXE"));
            QCOMPARE(window->IconBox->Color(), 255); // the grid colour wins over the skin's
            window->IconBox->SetColor(0x00FF00);
            window->close();
        }
        QSettings store(platform::SettingsFilePath(), QSettings::IniFormat);
        QCOMPARE(store.value("MinCash").toString(), QStringLiteral("500"));
        QCOMPARE(store.value("MaxCash").toString(), QStringLiteral("800"));
        QCOMPARE(store.value("iconboxcolor").toString(), QStringLiteral("65280"));
        QCOMPARE(store.value("SubFolders").toString(), QStringLiteral("1"));
        QCOMPARE(store.value("LastDir").toString(), QStringLiteral("T:"));
    }

    void emptyStoreGivesTheDefaults() {
        QFile::remove(platform::SettingsFilePath());
        TFMain window(drive_->State());
        QCOMPARE(window.pos(), QPoint(30, 30));
        QCOMPARE(window.State.MaxCash, 3000);
        QCOMPARE(window.State.MinCash, 2000);
        QVERIFY(window.State.ScanSubfolders);
        QVERIFY(window.subfolders1->isChecked());
        QVERIFY(window.State.ExtMask.isEmpty());
        QCOMPARE(window.State.StartDir, QStringLiteral("C:"));
        QCOMPARE(window.State.Theme, QStringLiteral("default"));
        QCOMPARE(window.IconBox->Color(), 0);
    }

    void everyValueSurvivesARoundTrip() {
        drive_->Folder("keep/me");
        {
            QSettings store(platform::SettingsFilePath(), QSettings::IniFormat);
            store.setValue("SubFolders", "0");
            store.setValue("Mask", ".ICO.BMP");
            store.setValue("LastDir", "T:\\keep\\me");
            store.setValue("browserwidth", "250");
            store.setValue("WinTop", "40");
            store.setValue("WinLeft", "50");
            store.setValue("WinHeight", "450");
            store.setValue("WinWidth", "700");
            store.setValue("iconboxcolor", "12632256");
            store.setValue("MaxCash", "2600");
            store.setValue("MinCash", "2500");
        }
        {
            TFMain window(drive_->State());
            window.show();
            QVERIFY(!window.State.ScanSubfolders);
            window.close();
        }
        QSettings store(platform::SettingsFilePath(), QSettings::IniFormat);
        QCOMPARE(store.value("SubFolders").toString(), QStringLiteral("0"));
        QCOMPARE(store.value("Mask").toString(), QStringLiteral(".ICO.BMP"));
        QCOMPARE(store.value("LastDir").toString(), QStringLiteral("T:\\keep\\me"));
        QCOMPARE(store.value("browserwidth").toString(), QStringLiteral("250"));
        QCOMPARE(store.value("WinTop").toString(), QStringLiteral("40"));
        QCOMPARE(store.value("WinLeft").toString(), QStringLiteral("50"));
        QCOMPARE(store.value("WinHeight").toString(), QStringLiteral("450"));
        QCOMPARE(store.value("WinWidth").toString(), QStringLiteral("700"));
        QCOMPARE(store.value("iconboxcolor").toString(), QStringLiteral("12632256"));
        QCOMPARE(store.value("MaxCash").toString(), QStringLiteral("2800"));
        QCOMPARE(store.value("MinCash").toString(), QStringLiteral("2500"));
        QCOMPARE(store.value("Theme").toString(), QStringLiteral("default"));
    }

    void binaryGarbageStartsWithDefaults() {
        {
            QFile file(platform::SettingsFilePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            QByteArray garbage;
            for (int i = 0; i < 4096; ++i)
                garbage.append(static_cast<char>((i * 7919) & 0xFF));
            file.write(garbage);
        }
        QStringList reports;
        ProgramState recording = drive_->State();
        recording.ErrorReporter = [&](const QString& text) { reports << text; };
        {
            TFMain window(std::move(recording));
            window.show();
            QVERIFY(window.isVisible());
            QVERIFY(window.State.MinCash >= 500);
            QVERIFY(window.State.MaxCash >= window.State.MinCash + 300);
        }
    }

    void failedSettingsWriteKeepsTheOldFileAndSaysSo() {
        const QString path = platform::SettingsFilePath();
        {
            QSettings store(path, QSettings::IniFormat);
            store.setValue("WinTop", "77");
        }
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        const QByteArray before = old.readAll();
        old.close();
        // A folder where the temporary file must go makes the write fail, even for root.
        const QString blocker = path + QStringLiteral(".new");
        QVERIFY(QDir().mkpath(blocker + QStringLiteral("/inside")));
        TFMain window(drive_->State());
        bool failed = false;
        try {
            window.SaveSettings();
        } catch (const std::exception& error) {
            failed = QString::fromUtf8(error.what()).contains(path);
        }
        QDir(blocker).removeRecursively();
        QVERIFY(failed);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), before);
    }

    void settingsWithAListFailClearly() {
        {
            QFile file(platform::SettingsFilePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[General]\nMaxCash=3000\nWinTop=1,2\n");
        }
        QStringList reports;
        ProgramState recording = drive_->State();
        recording.ErrorReporter = [&](const QString& text) { reports << text; };
        {
            TFMain window(std::move(recording));
            QCOMPARE(reports, QStringList{"Invalid data type for 'WinTop'"});
            QCOMPARE(window.State.MaxCash, 3000); // read before the damaged value
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
