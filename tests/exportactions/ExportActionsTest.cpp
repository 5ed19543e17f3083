// The export actions in the window, on a temporary folder mapped as drive T:: the save dialog
// (driven through its own widgets), the files it writes, the clipboard, the wallpaper through
// the real gsettings, the tool buttons and the icon menu.
#include "app/Umain.h"
#include "export/PropertiesWindow.h"
#include "platform/core/Settings.h"
#include "platform/ui/Application.h"

#include "IconFileBuilder.h"
#include "TempDrive.h"

#include <QAbstractFileIconProvider>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDrag>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPainter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <sys/inotify.h>
#include <unistd.h>

using namespace glyptor;
using glyptor::testing::TempDrive;
namespace build = glyptor::icons::testing;

namespace {

constexpr std::uint32_t kIconColour = 0xFF2080C0;

// A PE library with `groups` icons, each 32 x 32 at 24 bits: the left half transparent, the
// right half one colour.
std::string LibraryWithIcons(int groups) {
    std::vector<build::Resource> resources;
    build::DibOptions options;
    options.bitCount = 24;
    const icons::Bytes image = build::MakeDib(
        options, [](int, int) { return kIconColour; }, [](int x, int) { return x < 16; });
    for (int i = 0; i < groups; ++i) {
        const auto id = static_cast<std::uint16_t>(i + 1);
        resources.push_back({3, std::uint32_t{id}, image});
        resources.push_back({14, std::uint32_t{id}, build::MakeGroup({{id, image}})});
    }
    const icons::Bytes bytes = build::MakePe(resources);
    return std::string(bytes.begin(), bytes.end());
}

std::string Text(const icons::Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Bits per pixel of the image in a single-image icon file (its BITMAPINFOHEADER's biBitCount).
int IconFileBitCount(const QString& path) {
    const QByteArray bytes = ReadFile(path);
    if (bytes.size() < 22 + 16)
        return -1;
    return static_cast<unsigned char>(bytes[22 + 14]) | static_cast<unsigned char>(bytes[22 + 15])
                                                            << 8;
}

QImage CursorImage(const QCursor& cursor) {
    return cursor.pixmap().toImage();
}

// What the save dialog showed when it opened.
struct DialogVisit {
    bool shown = false;
    QString suggestedName;
    int type = 0;
    QStringList typeDescriptions;
    QString defaultSuffix;
    QString folder;
};

QString RunGSettings(const QStringList& arguments) {
    QProcess process;
    process.start("gsettings", arguments);
    process.waitForFinished(15000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace

class ExportActionsTest : public QObject {
    Q_OBJECT

    QTemporaryDir config_;
    QTemporaryDir data_;
    QTemporaryDir output_;
    std::unique_ptr<TempDrive> drive_;
    QStringList reported_;
    DialogVisit visit_;
    QString messageBoxText_;
    std::vector<std::unique_ptr<QTimer>> watchers_;

    // A window whose general error reports land in reported_.
    ProgramState RecordingState() {
        ProgramState state = drive_->State();
        state.ErrorReporter = [this](const QString& text) { reported_ << text; };
        return state;
    }

    std::unique_ptr<TFMain> ScannedWindow() {
        auto window = std::make_unique<TFMain>(RecordingState());
        window->resize(800, 500);
        window->show();
        window->FATView->setCurrentItem(window->FATView->topLevelItem(1));
        window->State.ShallowScan = true;
        window->TBClearClick();
        window->TBScanClick();
        return window;
    }

    int IndexOf(TFMain& window, const QString& fileName, int iconIndex) {
        for (int i = 0; i < window.IconBox->Count(); ++i)
            if (window.IconBox->Item(i).FileName == fileName &&
                window.IconBox->Item(i).IconIndex == iconIndex)
                return i;
        return -1;
    }

    // Answers the next showing of the save dialog as a user would: notes what it shows, picks
    // `type` in its type box (0: leave it), types `name` and presses Save (empty: Cancel).
    void AnswerSaveDialog(TFMain& window, int type, const QString& name) {
        visit_ = {};
        auto watcher = std::make_unique<QTimer>();
        QTimer* timer = watcher.get();
        timer->setInterval(5);
        connect(timer, &QTimer::timeout, this, [this, timer, &window, type, name] {
            QFileDialog* dialog = window.ExportActions->SPDlg;
            if (!dialog || !dialog->isVisible())
                return;
            timer->stop();
            auto* nameEdit = dialog->findChild<QLineEdit*>("fileNameEdit");
            auto* typeBox = dialog->findChild<QComboBox*>("fileTypeCombo");
            QVERIFY(nameEdit && typeBox);
            visit_.shown = true;
            visit_.suggestedName = nameEdit->text();
            visit_.type = typeBox->currentIndex() + 1;
            for (int i = 0; i < typeBox->count(); ++i)
                visit_.typeDescriptions << typeBox->itemText(i);
            visit_.defaultSuffix = dialog->defaultSuffix();
            visit_.folder = dialog->directory().absolutePath();
            if (name.isEmpty()) {
                dialog->reject();
                return;
            }
            // Picked with the keyboard, so that the box reports the choice as it does to a user.
            while (type > 0 && typeBox->currentIndex() < type - 1)
                QTest::keyClick(typeBox, Qt::Key_Down);
            while (type > 0 && typeBox->currentIndex() > type - 1)
                QTest::keyClick(typeBox, Qt::Key_Up);
            nameEdit->setText(name);
            // What the Save button does.
            QMetaObject::invokeMethod(dialog, "accept");
        });
        timer->start();
        watchers_.push_back(std::move(watcher));
    }

    // Closes the next message box, keeping its text.
    void CloseNextMessageBox() {
        messageBoxText_.clear();
        auto watcher = std::make_unique<QTimer>();
        QTimer* timer = watcher.get();
        timer->setInterval(5);
        connect(timer, &QTimer::timeout, this, [this, timer] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (box && box->isVisible()) {
                    timer->stop();
                    messageBoxText_ = box->text();
                    box->accept();
                    return;
                }
            }
        });
        timer->start();
        watchers_.push_back(std::move(watcher));
    }

    QString Out(const QString& name) const { return output_.path() + '/' + name; }

    // Runs `act` from the event loop, every few milliseconds, until it returns true: the way to
    // answer a dialog that is running its own loop.
    void WhenReady(std::function<bool()> act) {
        auto watcher = std::make_unique<QTimer>();
        QTimer* timer = watcher.get();
        timer->setInterval(5);
        connect(timer, &QTimer::timeout, this, [timer, act] {
            if (act())
                timer->stop();
        });
        timer->start();
        watchers_.push_back(std::move(watcher));
    }

    // Answers the next showing of an export file dialog with `name`.
    void AnswerFileDialog(QFileDialog* dialog, const QString& name) {
        WhenReady([dialog, name] {
            if (!dialog->isVisible())
                return false;
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
            QMetaObject::invokeMethod(dialog, "accept");
            return true;
        });
    }

    // Answers the batch dialog with `folder` and kind `kind`; `cancel` then presses
    // the progress dialog's "Отмена" as soon as it shows.
    void AnswerBatch(const QString& folder, int kind, bool cancel) {
        WhenReady([folder, kind] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || dialog->objectName() != "BatchSaveDialog")
                return false;
            dialog->findChild<QLineEdit*>("BatchFolder")->setText(folder);
            dialog->findChild<QComboBox*>("BatchKind")->setCurrentIndex(kind);
            dialog->accept();
            return true;
        });
        if (cancel)
            WhenReady([] {
                for (QWidget* widget : QApplication::topLevelWidgets())
                    if (auto* progress = qobject_cast<QProgressDialog*>(widget);
                        progress && progress->isVisible()) {
                        progress->findChild<QPushButton*>()->click();
                        return true;
                    }
                return false;
            });
        CloseNextMessageBox();
    }

private slots:
    void init() {
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        qputenv("XDG_DATA_HOME", data_.path().toUtf8());
        QFile::remove(platform::SettingsFilePath());
        QSettings(platform::SettingsFilePath(), QSettings::IniFormat).setValue("LastDir", "T:");
        drive_ = std::make_unique<TempDrive>();
        reported_.clear();
    }
    void cleanup() {
        watchers_.clear();
        drive_.reset();
    }

    void suggestedNamesAndTheTypeList_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("suggested");
        QTest::newRow("library") << "shell32.dll" << 3 << "shell32_dll_3";
        QTest::newRow("compressed setup") << "setup.ex_" << 0 << "setup_ex__0";
        QTest::newRow("no dots") << "README" << 1 << "README_1";
    }
    void suggestedNamesAndTheTypeList() {
        QFETCH(QString, file);
        QFETCH(int, index);
        QFETCH(QString, suggested);
        drive_->File(file.toStdString(), LibraryWithIcons(4));
        auto window = ScannedWindow();
        const int item = IndexOf(*window, file, index);
        QVERIFY(item >= 0);
        window->IconBox->SetItemIndex(item);
        AnswerSaveDialog(*window, 0, QString());
        window->c4b->trigger();
        QVERIFY(visit_.shown);
        QCOMPARE(visit_.suggestedName, suggested);
        QCOMPARE(visit_.typeDescriptions,
                 QStringList({"Icon files (16 color ico)", "Icon files (256 color ico)",
                              "Icon files (High-color ico)", "Icon files (True color ico)",
                              "Bitmap files (*.bmp)", "32-битный значок"}));
        QCOMPARE(visit_.defaultSuffix, QString("ico"));
        QCOMPARE(visit_.type, 1);
        QVERIFY(QDir(output_.path()).isEmpty());
    }

    void aRecordWithoutAFolderSuggestsItsNameWithoutTheFolders() {
        // Files whose folder has no tree node keep their whole program path as their name.
        drive_->File("sub.dir/tool.exe", LibraryWithIcons(2));
        TFMain window(RecordingState());
        TIconRes record;
        record.FileName = "T:\\sub.dir\\tool.exe";
        record.IconIndex = 1;
        window.IconBox->Append(std::move(record));
        window.IconBox->SetItemIndex(0);
        AnswerSaveDialog(window, 0, QString());
        window.c8b->trigger();
        QCOMPARE(visit_.suggestedName, QString("tool_exe_1"));
    }

    void eachMenuDepthWritesItsIconAndTheExtensionDecidesTheKind() {
        drive_->File("shell32.dll", LibraryWithIcons(4));
        auto window = ScannedWindow();
        window->IconBox->SetItemIndex(IndexOf(*window, "shell32.dll", 3));
        QCOMPARE(window->ExportActions->LastIconDepthCode, std::uint8_t{0});

        // Type 5 and ".ico" before any depth was chosen: 16 colours.
        AnswerSaveDialog(*window, 0, Out("first.ico"));
        window->cbmp->trigger();
        QCOMPARE(visit_.type, 5);
        QCOMPARE(IconFileBitCount(Out("first.ico")), 4);
        QCOMPARE(window->ExportActions->LastIconDepthCode, std::uint8_t{0});

        const struct {
            QAction* item;
            int type;
            int bits;
        } depths[] = {
            {window->c4b, 1, 4}, {window->c8b, 2, 8}, {window->c16b, 3, 16}, {window->c24b, 4, 24}};
        for (const auto& depth : depths) {
            const QString name = Out(QString("depth%1").arg(depth.bits));
            AnswerSaveDialog(*window, 0, name); // no extension typed: "ico" is added
            depth.item->trigger();
            QCOMPARE(visit_.type, depth.type);
            QCOMPARE(IconFileBitCount(name + ".ico"), depth.bits);
        }

        // Type 5 and ".ico" again: the depth chosen last (24 bits).
        AnswerSaveDialog(*window, 0, Out("again.ico"));
        window->cbmp->trigger();
        QCOMPARE(IconFileBitCount(Out("again.ico")), 24);

        // An icon type and ".bmp": a picture, and the depth is left as it was.
        AnswerSaveDialog(*window, 0, Out("picture.BMP"));
        window->c8b->trigger();
        QCOMPARE(window->ExportActions->LastIconDepthCode, std::uint8_t{5});
        const QImage picture(Out("picture.BMP"), "BMP");
        QCOMPARE(picture.size(), QSize(32, 32));
        QCOMPARE(ReadFile(Out("picture.BMP")).left(2), QByteArray("BM"));
        QCOMPARE(picture.pixel(20, 5), kIconColour);
        QCOMPARE(picture.pixel(3, 5), 0xFF000000u); // the colour image is black under the mask

        // "Рисунок" and a name without an extension: a picture. Switching a bare name to an
        // icon type in the dialog gives an icon again.
        AnswerSaveDialog(*window, 0, Out("bare"));
        window->cbmp->trigger();
        QCOMPARE(QImage(Out("bare.bmp"), "BMP").size(), QSize(32, 32));
        AnswerSaveDialog(*window, 2, Out("bare"));
        window->cbmp->trigger();
        QCOMPARE(IconFileBitCount(Out("bare.ico")), 8);

        // Any other extension writes nothing and says nothing.
        const int before = static_cast<int>(QDir(output_.path()).count());
        AnswerSaveDialog(*window, 0, Out("other.png"));
        window->c16b->trigger();
        QVERIFY(visit_.shown);
        QCOMPARE(static_cast<int>(QDir(output_.path()).count()), before);
        QVERIFY(reported_.isEmpty());
    }

    void typeThreeWithIcoGivesSixteenBitsAndTheTypeIsRemembered() {
        drive_->File("shell32.dll", LibraryWithIcons(4));
        auto window = ScannedWindow();
        window->IconBox->SetItemIndex(0);
        // Opened at type 1, the user picks "High-color".
        AnswerSaveDialog(*window, 3, Out("high.ico"));
        window->c4b->trigger();
        QCOMPARE(visit_.type, 1);
        QCOMPARE(IconFileBitCount(Out("high.ico")), 16);
        QCOMPARE(window->ExportActions->LastIconDepthCode, std::uint8_t{4});

        // The tool button's save opens at the type chosen last, not at type 1.
        QTest::mouseClick(window->SpeedButton5, Qt::LeftButton);
        AnswerSaveDialog(*window, 0, QString());
        QTest::mouseClick(window->IconBox->viewport(), Qt::LeftButton, {},
                          window->IconBox->ItemRect(1).center());
        QVERIFY(visit_.shown);
        QCOMPARE(visit_.type, 3);

        // Picking the picture type for an ".ico" name keeps that depth.
        AnswerSaveDialog(*window, 5, Out("still16.ico"));
        window->SaveWithDialog(window->IconBox->Item(0));
        QCOMPARE(IconFileBitCount(Out("still16.ico")), 16);
        QCOMPARE(window->ExportActions->SaveDialogType, 5);
    }

    void theDialogOpensInTheFolderSavedToLast() {
        drive_->File("shell32.dll", LibraryWithIcons(1));
        auto window = ScannedWindow();
        QDir(output_.path()).mkdir("deeper");
        AnswerSaveDialog(*window, 0, Out("deeper/first.ico"));
        window->SaveWithDialog(window->IconBox->Item(0));
        QVERIFY(QFile::exists(Out("deeper/first.ico")));
        AnswerSaveDialog(*window, 0, QString());
        window->SaveWithDialog(window->IconBox->Item(0));
        QCOMPARE(visit_.folder, Out("deeper"));
    }

    // The names of inotify's open events on a watched folder, read without waiting.
    static QStringList OpenedNames(int watch) {
        QStringList names;
        alignas(inotify_event) char buffer[16384];
        for (ssize_t got; (got = ::read(watch, buffer, sizeof buffer)) > 0;)
            for (char* at = buffer; at < buffer + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                const QString name = event->len ? QString::fromUtf8(event->name) : QString();
                if (!name.isEmpty() && !names.contains(name))
                    names << name;
                at += sizeof(inotify_event) + event->len;
            }
        return names;
    }

    // A save dialog lists a folder without reading its files, and once closed it stops
    // following the folder (the window's thread would go through all of it at every change
    // another program makes there); shown again, it lists the folder as it is now.
    void saveDialogsReadNoFilesAndFollowNoFolderWhileClosed() {
        drive_->File("shell32.dll", LibraryWithIcons(1));
        auto window = ScannedWindow();
        QDir(output_.path()).mkdir("busy");
        for (int i = 0; i < 20; ++i) {
            QFile file(Out(QStringLiteral("busy/data%1.q7z").arg(i)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("no name tells what this is");
        }
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(::inotify_add_watch(watch, QFile::encodeName(Out("busy")).constData(), IN_OPEN) >=
                0);
        AnswerSaveDialog(*window, 0, Out("busy/first.ico"));
        window->SaveWithDialog(window->IconBox->Item(0));
        QVERIFY(QFile::exists(Out("busy/first.ico")));
        // Shown on the folder for a second, then cancelled.
        QElapsedTimer shown;
        WhenReady([&] {
            QFileDialog* dialog = window->ExportActions->SPDlg;
            if (!dialog || !dialog->isVisible())
                return false;
            if (!shown.isValid())
                shown.start();
            if (shown.elapsed() < 1000)
                return false;
            dialog->reject();
            return true;
        });
        window->SaveWithDialog(window->IconBox->Item(0));
        QStringList opened = OpenedNames(watch);
        // Written by the save, through a temporary file beside it.
        opened.removeIf([](const QString& name) {
            return name == "first.ico" || name.startsWith(".glyptor-save-");
        });
        QVERIFY2(opened.isEmpty(), qPrintable("read while listed: " + opened.join(", ")));

        const auto* list = window->ExportActions->SPDlg->findChild<QFileSystemModel*>();
        QVERIFY(list);
        QStringList followed;
        connect(list, &QAbstractItemModel::rowsInserted, this,
                [&](const QModelIndex& parent, int first, int last) {
                    for (int row = first; row <= last; ++row)
                        followed << list->filePath(list->index(row, 0, parent));
                });
        QFile arrived(Out("busy/arrived.ico"));
        QVERIFY(arrived.open(QIODevice::WriteOnly));
        arrived.write("written by another program");
        arrived.close();
        QTest::qWait(1500); // the folder watcher's and the listing's delays
        QVERIFY2(!followed.contains(Out("busy/arrived.ico")),
                 "the closed dialog followed its folder");
        opened = OpenedNames(watch);
        opened.removeAll("arrived.ico");
        QVERIFY2(opened.isEmpty(), qPrintable("read while closed: " + opened.join(", ")));
        ::close(watch);

        bool listed = false;
        WhenReady([&] {
            QFileDialog* dialog = window->ExportActions->SPDlg;
            if (!dialog || !dialog->isVisible())
                return false;
            if (!followed.contains(Out("busy/arrived.ico")))
                return false;
            listed = true;
            dialog->reject();
            return true;
        });
        QTimer::singleShot(5000, window.get(), [&] {
            if (window->ExportActions->SPDlg->isVisible())
                window->ExportActions->SPDlg->reject();
        });
        window->SaveWithDialog(window->IconBox->Item(0));
        QVERIFY2(listed, "shown again, the dialog did not list the file that arrived");

        // Types are worked out once for each ending of a name: no name may get the answer of
        // another. Each name is asked after one that shares a shorter ending with it.
        const QAbstractFileIconProvider* types = window->ExportActions->SPDlg->iconProvider();
        QVERIFY(types);
        const QMimeDatabase database;
        for (const char* name : {"b.gz", "a.tar.gz", "c.ICO", "d.ico", "e.x.ico", "README",
                                 "README.txt", "f.txt", "Makefile", "g"}) {
            QFile file(Out(QStringLiteral("busy/") + name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            const QFileInfo info(file.fileName());
            const QMimeType mime = database.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
            QCOMPARE(types->type(info), mime.comment().isEmpty() ? mime.name() : mime.comment());
        }
    }

    void unwritableTargetsAreReportedAndLeaveNothing() {
        drive_->File("shell32.dll", LibraryWithIcons(1));
        auto window = ScannedWindow();
        window->IconBox->SetItemIndex(0);
        const QString missingFolder = Out("no such folder");

        AnswerSaveDialog(*window, 0, missingFolder + "/x.ico");
        CloseNextMessageBox();
        window->c24b->trigger();
        QTRY_VERIFY(!messageBoxText_.isEmpty());
        QVERIFY2(messageBoxText_.startsWith("File save error: "), qPrintable(messageBoxText_));
        QVERIFY(!QFileInfo::exists(missingFolder));

        // The picture's failure is not caught: it reaches the general error report.
        try {
            AnswerSaveDialog(*window, 0, missingFolder + "/x.bmp");
            window->SaveWithDialog(window->IconBox->Item(0));
            QFAIL("no error");
        } catch (const std::exception& error) {
            QVERIFY2(QString(error.what()).startsWith("Cannot create file"), error.what());
        }
        AnswerSaveDialog(*window, 0, missingFolder + "/y.bmp");
        window->cbmp->trigger();
        QCOMPARE(reported_.size(), 1);
        QVERIFY2(reported_[0].startsWith("Cannot create file"), qPrintable(reported_[0]));
        QVERIFY(!QFileInfo::exists(missingFolder));
    }

    void clipboardHoldsTheIconOnWhite() {
        drive_->File("shell32.dll", LibraryWithIcons(2));
        auto window = ScannedWindow();
        window->IconBox->SetItemIndex(1);
        QGuiApplication::clipboard()->clear();
        window->Copytoclipboard1->trigger();
        const QImage image = QGuiApplication::clipboard()->image();
        QCOMPARE(image.size(), QSize(32, 32));
        QCOMPARE(image.pixel(0, 0), 0xFFFFFFFFu);   // transparent: white
        QCOMPARE(image.pixel(15, 31), 0xFFFFFFFFu); // last transparent column
        QCOMPARE(image.pixel(16, 0), kIconColour);
        QCOMPARE(image.pixel(31, 31), kIconColour);
        // Beside it the same icon as PNG, transparent where the mask says so.
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data->hasFormat("image/png"));
        const QImage png = QImage::fromData(data->data("image/png"), "PNG");
        QCOMPARE(png.size(), QSize(32, 32));
        QCOMPARE(qAlpha(png.pixel(0, 0)), 0);
        QCOMPARE(png.pixel(16, 0), kIconColour);
    }

    void releasedAndUnreadablePicturesAreLoadedAgain() {
        drive_->File("shell32.dll", LibraryWithIcons(2));
        auto window = ScannedWindow();
        window->IconBox->SetItemIndex(1);
        TIconRes& record = window->IconBox->Item(1);
        window->PictureCache->ReleasePicture(record);
        QVERIFY(!record.Picture);
        window->Copytoclipboard1->trigger();
        QVERIFY(record.Picture);
        QCOMPARE(QGuiApplication::clipboard()->image().pixel(20, 20), kIconColour);

        // The file is gone: the program's own icon is exported in its place.
        window->PictureCache->ReleasePicture(record);
        QVERIFY(QFile::remove(QString::fromStdString(drive_->Native("shell32.dll"))));
        window->Copytoclipboard1->trigger();
        QImage expected(32, 32, QImage::Format_RGB32);
        expected.fill(Qt::white);
        QPainter(&expected).drawPixmap(0, 0, ApplicationIcon());
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                 expected);
    }

    void toolButtonsSwitchTheClickActionAndCursor() {
        drive_->File("shell32.dll", LibraryWithIcons(3));
        auto window = ScannedWindow();
        QWidget* grid = window->IconBox->viewport();
        const QPoint cell = window->IconBox->ItemRect(2).center();
        const QList<QToolButton*> buttons{window->SpeedButton2, window->SpeedButton3,
                                          window->SpeedButton4, window->SpeedButton5};
        const int cursors[] = {102, 103, 101, 100};
        for (int i = 0; i < buttons.size(); ++i) {
            QTest::mouseClick(buttons[i], Qt::LeftButton);
            for (int j = 0; j < buttons.size(); ++j)
                QCOMPARE(buttons[j]->isChecked(), i == j);
            QCOMPARE(CursorImage(grid->cursor()), CursorImage(ProgramCursor(cursors[i])));
            QCOMPARE(grid->cursor().hotSpot(), ProgramCursor(cursors[i]).hotSpot());
        }

        // Copy is down: a click on an icon copies it.
        QTest::mouseClick(window->SpeedButton4, Qt::LeftButton);
        QVERIFY(window->SpeedButton4->isChecked() && !window->SpeedButton5->isChecked());
        QGuiApplication::clipboard()->clear();
        window->StatusLabel->clear();
        QTest::mouseClick(grid, Qt::LeftButton, {}, cell);
        QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(32, 32));
        QVERIFY(window->StatusLabel->text().isEmpty());

        // A second click releases it: clicks show the name and index again, default cursor.
        QTest::mouseClick(window->SpeedButton4, Qt::LeftButton);
        for (QToolButton* button : buttons)
            QVERIFY(!button->isChecked());
        QCOMPARE(grid->cursor().shape(), Qt::ArrowCursor);
        QGuiApplication::clipboard()->clear();
        QTest::mouseClick(grid, Qt::LeftButton, {}, window->IconBox->ItemRect(1).center());
        QCOMPARE(window->StatusLabel->text(), QString("shell32.dll 1"));
        QVERIFY(QGuiApplication::clipboard()->image().isNull());
    }

    void theMenuHidesItsIconEntriesWithoutASelection() {
        drive_->File("shell32.dll", LibraryWithIcons(1));
        auto window = ScannedWindow();
        const QList<QAction*> entries = window->IconActionMenu->actions();
        QCOMPARE(entries.size(), 13);
        QCOMPARE(entries[6], window->Backc1);

        window->IconBox->SetItemIndex(-1);
        window->IconActionMenu->popup(window->mapToGlobal(QPoint(10, 10)));
        for (int i = 0; i < 6; ++i)
            QVERIFY2(!entries[i]->isVisible(), qPrintable(entries[i]->objectName()));
        QVERIFY(window->Backc1->isVisible());
        // The added entries hide too: without a selection the menu is "Цвет фона" alone.
        for (int i = 7; i < 13; ++i)
            QVERIFY2(!entries[i]->isVisible(), qPrintable(entries[i]->objectName()));
        window->IconActionMenu->hide();
        // Without a selection the handlers have nothing to act on.
        QGuiApplication::clipboard()->clear();
        window->Copytoclipboard1Click();
        QVERIFY(QGuiApplication::clipboard()->image().isNull());

        window->TBScanClick();
        window->IconBox->SetItemIndex(0);
        window->IconActionMenu->popup(window->mapToGlobal(QPoint(10, 10)));
        for (QAction* entry : entries)
            QVERIFY(entry->isVisible());
        window->IconActionMenu->hide();
    }

    void theNewEntriesFollowTheOldOnesAndWriteTheirFiles() {
        drive_->File("shell32.dll", LibraryWithIcons(2));
        auto window = ScannedWindow();
        const QList<QAction*> entries = window->IconActionMenu->actions();
        QVERIFY(entries[7]->isSeparator());
        QStringList captions;
        for (int i = 8; i < entries.size(); ++i)
            captions << entries[i]->text();
        QCOMPARE(captions, QStringList({"Свойства значка...", "Сохранить группу значков...",
                                        "Сохранить в PNG...", "Сохранить все значки файла...",
                                        "Сохранить все значки..."}));
        const QList<QAction*> depths = window->Save->actions();
        QCOMPARE(depths.size(), 7);
        QCOMPARE(depths[5], window->cbmp);
        QCOMPARE(depths.last(), window->c32b);
        QCOMPARE(window->c32b->text(), QString("32-битный значок"));

        // The 32-bit entry opens the dialog at its own type, the last one, and writes the
        // 32-bit layout; an ".ico" name at the picture type keeps that depth.
        window->IconBox->SetItemIndex(IndexOf(*window, "shell32.dll", 1));
        AnswerSaveDialog(*window, 0, Out("alpha"));
        window->c32b->trigger();
        QCOMPARE(visit_.type, 6);
        QCOMPARE(visit_.typeDescriptions.size(), 6);
        QCOMPARE(QFileInfo(Out("alpha.ico")).size(), qint64(4286));
        QCOMPARE(IconFileBitCount(Out("alpha.ico")), 32);
        const QImage read(Out("alpha.ico"), "ICO");
        QCOMPARE(qAlpha(read.pixel(0, 0)), 0);
        QCOMPARE(read.pixel(20, 20), kIconColour);
        AnswerSaveDialog(*window, 0, Out("alpha-again.ico"));
        window->cbmp->trigger();
        QCOMPARE(QFileInfo(Out("alpha-again.ico")).size(), qint64(4286));
        QCOMPARE(window->ExportActions->SaveDialogType, 5);

        // The group as stored, and a PNG at a size the dialog offers (default: the largest).
        AnswerFileDialog(window->ExportActions->GroupDialog(), Out("group"));
        window->SaveGroup1->trigger();
        const QByteArray group = ReadFile(Out("group.ico"));
        QCOMPARE(group.left(6), QByteArray("\0\0\1\0\1\0", 6));
        QCOMPARE(group.size(), 22 + 40 + 32 * 32 * 3 + 32 * 4);
        window->ExportActions->PngDialog();
        QComboBox* sizes = window->ExportActions->PngSize;
        int offered = 0;
        int preselected = 0;
        WhenReady([&] {
            if (!window->ExportActions->PngDlg->isVisible())
                return false;
            offered = sizes->count();
            preselected = sizes->currentData().toInt();
            sizes->setCurrentIndex(sizes->findData(48));
            return true;
        });
        AnswerFileDialog(window->ExportActions->PngDlg, Out("big"));
        window->SavePng1->trigger();
        QCOMPARE(offered, 7);
        QCOMPARE(preselected, 32);
        QCOMPARE(ReadFile(Out("big.png")).left(8), QByteArray("\x89PNG\r\n\x1a\n"));
        QCOMPARE(QImage(Out("big.png"), "PNG").size(), QSize(48, 48));
        QVERIFY(reported_.isEmpty());
    }

    void aPressAndMoveDragsTheIconOutAPlainClickDoesNot() {
        drive_->File("shell32.dll", LibraryWithIcons(3));
        auto window = ScannedWindow();
        window->IconBox->SetItemIndex(-1);
        int clicks = 0;
        window->State.IconClickAction = [&clicks](TIconRes&) { ++clicks; };
        QWidget* grid = window->IconBox->viewport();
        const QPoint cell = window->IconBox->ItemRect(IndexOf(*window, "shell32.dll", 2)).center();
        const auto send = [grid](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, grid->mapToGlobal(at),
                              type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                              Qt::NoModifier);
            QApplication::sendEvent(grid, &event);
        };
        // Any drag is ended with Escape and noted, so that a wrong one cannot hang the test.
        QStringList formats;
        QString file;
        WhenReady([&] {
            if (auto* drag = grid->findChild<QDrag*>()) {
                formats = drag->mimeData()->formats();
                if (!drag->mimeData()->urls().isEmpty())
                    file = drag->mimeData()->urls().front().toLocalFile();
                QTest::keyClick(window.get(), Qt::Key_Escape);
            }
            return false;
        });
        send(QEvent::MouseButtonPress, cell, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, cell, Qt::NoButton);
        QTest::qWait(20);
        QVERIFY(formats.isEmpty());
        QCOMPARE(clicks, 1);

        window->IconBox->SetItemIndex(-1);
        send(QEvent::MouseButtonPress, cell, Qt::LeftButton);
        send(QEvent::MouseMove, cell + QPoint(12, 0), Qt::LeftButton);
        // Without a platform drag (offscreen) the drag ends at once; its object lives on until
        // the event loop deletes it.
        if (auto* drag = grid->findChild<QDrag*>(); drag && formats.isEmpty()) {
            formats = drag->mimeData()->formats();
            file = drag->mimeData()->urls().value(0).toLocalFile();
        }
        QVERIFY2(formats.contains("image/png"), qPrintable(formats.join(',')));
        QVERIFY(formats.contains("text/uri-list"));
        QCOMPARE(QFileInfo(file).fileName(), QString("shell32_dll_2.png"));
        QCOMPARE(QImage(file, "PNG").size(), QSize(32, 32));
        QCOMPARE(clicks, 2); // the press selected as always
    }

    void thePropertiesWindowFollowsTheSelectionAndClosesWithEscape() {
        drive_->File("shell32.dll", LibraryWithIcons(3));
        auto window = ScannedWindow();
        window->IconBox->SetItemIndex(IndexOf(*window, "shell32.dll", 0));
        window->IconProperties1->trigger();
        PropertiesWindow* properties = window->ExportActions->Properties;
        QVERIFY(properties && properties->isVisible());
        auto* identity = properties->findChild<QLabel*>("IdentityLabel");
        QCOMPARE(identity->text(), QString("Значок 0, ресурс 1"));
        QCOMPARE(properties->ImageCount(), 1);
        QCOMPARE(properties->palette().color(QPalette::Window), ToQColor(window->IconBox->Color()));

        QTest::mouseClick(window->IconBox->viewport(), Qt::LeftButton, {},
                          window->IconBox->ItemRect(IndexOf(*window, "shell32.dll", 2)).center());
        QCOMPARE(identity->text(), QString("Значок 2, ресурс 3"));
        // Typed where the user types it: in the properties window, active.
        QApplication::setActiveWindow(properties);
        QVERIFY(properties->isActiveWindow() && !window->isActiveWindow());
        QTest::keyClick(properties, Qt::Key_Escape);
        QVERIFY(!properties->isVisible());
    }

    void thePropertiesWindowListsWhereAFoldedIconOccurs() {
        drive_->File("one.dll", LibraryWithIcons(2));
        drive_->File("two.dll", LibraryWithIcons(1));
        auto window = ScannedWindow();
        window->IconBox->SetFoldDuplicates(true);
        QCOMPARE(window->IconBox->Count(), 1);
        window->IconBox->SetItemIndex(0);
        window->IconProperties1->trigger();
        auto* places = window->ExportActions->Properties->findChild<QLabel*>("OccurrencesLabel");
        QVERIFY(places && places->isVisible());
        for (const char* place : {"one.dll, значок 0", "one.dll, значок 1", "two.dll, значок 0"})
            QVERIFY2(places->text().contains(QString::fromUtf8(place)), qPrintable(places->text()));
        window->IconBox->SetFoldDuplicates(false);
        QTest::mouseClick(window->IconBox->viewport(), Qt::LeftButton, {},
                          window->IconBox->ItemRect(1).center());
        QVERIFY(!places->isVisible());
    }

    void batchSaveWritesEveryGridIconAndCanBeCancelled() {
        drive_->File("shell32.dll", LibraryWithIcons(3));
        drive_->File("many.dll", LibraryWithIcons(1500));
        auto window = ScannedWindow();
        const QDir first(Out("batch"));
        const QDir second(Out("cancelled"));
        QVERIFY(first.mkpath(".") && second.mkpath("."));
        // The icons of shell32.dll, as groups; a name taken gets " (2)".
        QFile taken(first.filePath("shell32_dll_1.ico"));
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.close();
        window->IconBox->SetItemIndex(IndexOf(*window, "shell32.dll", 0));
        AnswerBatch(first.path(), 0, false);
        window->SaveFileIcons1->trigger();
        QTRY_VERIFY(!messageBoxText_.isEmpty());
        QCOMPARE(messageBoxText_, QString("Записано файлов: 3 из 3."));
        QStringList written = first.entryList(QDir::Files, QDir::Name);
        QCOMPARE(written, QStringList({"shell32_dll_0.ico", "shell32_dll_1 (2).ico",
                                       "shell32_dll_1.ico", "shell32_dll_2.ico"}));
        QCOMPARE(ReadFile(first.filePath("shell32_dll_2.ico")).left(4), QByteArray("\0\0\1\0", 4));

        // The whole grid at 16 x 16, cancelled at once: fewer files than icons, and it says so.
        const int total = window->IconBox->Count();
        QVERIFY(total > 100);
        AnswerBatch(second.path(), 2, true);
        window->SaveAllIcons1->trigger();
        QTRY_VERIFY(!messageBoxText_.isEmpty());
        QVERIFY2(messageBoxText_.contains("прервано"), qPrintable(messageBoxText_));
        written = second.entryList(QDir::Files);
        QVERIFY(written.size() < total);
        QVERIFY(messageBoxText_.startsWith(
            QString("Записано файлов: %1 из %2.").arg(written.size()).arg(total)));
        for (const QString& name : written)
            QCOMPARE(QImage(second.filePath(name), "PNG").size(), QSize(16, 16));
        QVERIFY(!window->ExportActions->BatchRunning());
    }

    void wallpaperThroughGSettings() {
        if (QStandardPaths::findExecutable("gsettings").isEmpty())
            QSKIP("gsettings is not installed (Debian libglib2.0-bin)");
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        const QString schema = "org.gnome.desktop.background";
        if (RunGSettings({"get", schema, "picture-options"}).isEmpty())
            QSKIP("the GNOME background schema is not installed (gsettings-desktop-schemas)");
        drive_->File("shell32.dll", LibraryWithIcons(1));
        build::PixelFn stripes = [](int x, int y) {
            return 0xFF000000u | (x * 2) << 16 | (y * 3) << 8 | 0x40;
        };
        drive_->File("photo.bmp", Text(build::MakeBmp(100, 60, 24, stripes)));
        auto window = ScannedWindow();
        window->IconBox->SetColor(0x0000FF); // red, in the settings' blue-green-red order
        const QString file = data_.path() + "/Brindlow/Glyptor/~wallpap.bmp";
        const QString uri = "'file://" + file + "'";

        RunGSettings({"set", schema, "picture-options", "centered"});
        window->IconBox->SetItemIndex(IndexOf(*window, "shell32.dll", 0));
        window->Wallpapertiled->trigger();
        QCOMPARE(RunGSettings({"get", schema, "picture-options"}), QString("'wallpaper'"));
        QCOMPARE(RunGSettings({"get", schema, "picture-uri"}), uri);
        QImage wallpaper(file, "BMP");
        QCOMPARE(wallpaper.size(), QSize(32, 32));
        QCOMPARE(wallpaper.pixel(0, 0), 0xFFFF0000u); // the grid's colour where transparent
        QCOMPARE(wallpaper.pixel(31, 31), kIconColour);

        window->Wallpapertiled->trigger(); // tiled stays tiled
        QCOMPARE(RunGSettings({"get", schema, "picture-options"}), QString("'wallpaper'"));
        window->Wallpapercenter->trigger();
        QCOMPARE(RunGSettings({"get", schema, "picture-options"}), QString("'centered'"));
        // A scaling mode would blow the icon up over the screen: it is set as asked.
        RunGSettings({"set", schema, "picture-options", "scaled"});
        window->Wallpapertiled->trigger();
        QCOMPARE(RunGSettings({"get", schema, "picture-options"}), QString("'wallpaper'"));
        // No picture at all stays so.
        RunGSettings({"set", schema, "picture-options", "none"});
        window->Wallpapercenter->trigger();
        window->Wallpapertiled->trigger();
        QCOMPARE(RunGSettings({"get", schema, "picture-options"}), QString("'none'"));

        // A picture file is the wallpaper whole, whatever the grid's colour.
        window->IconBox->SetItemIndex(IndexOf(*window, "photo.bmp", 0));
        window->Wallpapercenter->trigger();
        wallpaper = QImage(file, "BMP");
        QCOMPARE(wallpaper.size(), QSize(100, 60));
        for (const QPoint point : {QPoint(0, 0), QPoint(99, 59), QPoint(37, 21)})
            QCOMPARE(wallpaper.pixel(point), stripes(point.x(), point.y()));
        QVERIFY(reported_.isEmpty());
        qunsetenv("GSETTINGS_BACKEND");
        qunsetenv("XDG_CURRENT_DESKTOP");
    }

    void wallpaperWithoutADesktopNamesTheFile() {
        qputenv("XDG_CURRENT_DESKTOP", "");
        drive_->File("shell32.dll", LibraryWithIcons(2));
        auto window = ScannedWindow();
        window->IconBox->SetItemIndex(0);
        const QString file = data_.path() + "/Brindlow/Glyptor/~wallpap.bmp";
        QFile::remove(file);
        try {
            window->WallpapercenterClick();
            QFAIL("no error");
        } catch (const std::exception& error) {
            QVERIFY2(QString(error.what()).contains(file), error.what());
        }
        QCOMPARE(QImage(file, "BMP").size(), QSize(32, 32));

        // From the menu and from a grid click the text reaches the general error report.
        window->Wallpapertiled->trigger();
        QTest::mouseClick(window->SpeedButton3, Qt::LeftButton);
        QTest::mouseClick(window->IconBox->viewport(), Qt::LeftButton, {},
                          window->IconBox->ItemRect(1).center());
        QCOMPARE(reported_.size(), 2);
        for (const QString& text : std::as_const(reported_))
            QVERIFY2(text.contains(file), qPrintable(text));
        qunsetenv("XDG_CURRENT_DESKTOP");
    }
};

QTEST_MAIN(ExportActionsTest)
#include "ExportActionsTest.moc"
