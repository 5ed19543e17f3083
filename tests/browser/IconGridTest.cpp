// The icon grid in the window: pictures loaded during a scan, idle prefetching, the cache trim
// while painting, the substitute icon, keyboard selection and the icon menu; zoom, folded
// repeats and the name filter.
#include "app/Umain.h"
#include "platform/core/Settings.h"

#include "IconFileBuilder.h"
#include "TempDrive.h"

#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace glyptor;
using glyptor::testing::TempDrive;
namespace build = glyptor::icons::testing;

namespace {

// A PE library with `groups` icon groups, each holding one 32 x 32 image.
std::string LibraryWithIcons(int groups) {
    std::vector<build::Resource> resources;
    for (int i = 0; i < groups; ++i) {
        const auto id = static_cast<std::uint16_t>(i + 1);
        const icons::Bytes image = build::MakeSolidDib(32, 32, 32, 0xFF000000u + 0x010203u * i);
        resources.push_back({3, std::uint32_t{id}, image});
        resources.push_back({14, std::uint32_t{id}, build::MakeGroup({{id, image}})});
    }
    const icons::Bytes bytes = build::MakePe(resources);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

class IconGridTest : public QObject {
    Q_OBJECT

    QTemporaryDir config_;
    std::unique_ptr<TempDrive> drive_;

    // What a user sees of the grid's arithmetic: columns, their width, rows, the first visible
    // cell and where the scroll bar stands.
    static QList<int> GridLayout(TFMain& window) {
        TIconBox* box = window.IconBox;
        return {box->Columns(),
                box->ColumnWidth(),
                box->RowsPerColumn(),
                box->TopIndex(),
                box->horizontalScrollBar()->value(),
                box->horizontalScrollBar()->maximum(),
                box->horizontalScrollBar()->isVisible()};
    }

    std::unique_ptr<TFMain> ScannedWindow(QSize size = QSize(800, 500)) {
        auto window = std::make_unique<TFMain>();
        window->resize(size);
        window->show();
        window->FATView->setCurrentItem(window->FATView->topLevelItem(1));
        window->State.ShallowScan = true;
        window->TBClearClick();
        window->TBScanClick();
        return window;
    }

private slots:
    void init() {
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        QFile::remove(platform::SettingsFilePath());
        QSettings(platform::SettingsFilePath(), QSettings::IniFormat).setValue("LastDir", "T:");
        drive_ = std::make_unique<TempDrive>();
    }
    void cleanup() { drive_.reset(); }

    void bigFileIsLoadedWholeOnTheFirstScreen() {
        drive_->File("many.dll", LibraryWithIcons(300));
        drive_->File("second.dll", LibraryWithIcons(3));
        auto window = ScannedWindow();
        QCOMPARE(window->IconBox->Count(), 303);
        QCOMPARE(window->State.IconTotal, 303);
        QVERIFY(window->PageSize() < 300);
        // The first file met started below PageSize, so all its pictures were loaded; the
        // second file started above it and loads nothing during the scan.
        int loaded = 0;
        for (int i = 0; i < window->IconBox->Count(); ++i)
            loaded += window->IconBox->Item(i).Picture != nullptr;
        const bool manyFirst = window->IconBox->Item(0).FileName == QLatin1String("many.dll");
        QCOMPARE(loaded, manyFirst ? 300 : 303);
        QCOMPARE(window->State.LoadedPictureCount, loaded);
    }

    void prefetchLoadsTwoPerCallAndStopsShortOfTheHighMark() {
        drive_->File("many.dll", LibraryWithIcons(400));
        auto window = ScannedWindow();
        // Start from an empty cache with the view in the middle.
        for (int i = 0; i < window->IconBox->Count(); ++i)
            window->PictureCache->ReleasePicture(window->IconBox->Item(i));
        QCOMPARE(window->State.LoadedPictureCount, 0);
        window->IconBox->SetTopIndex(window->IconBox->RowsPerColumn() * 2);
        const int top = window->IconBox->TopIndex();
        QVERIFY(top > 0);
        window->State.MaxCash = 3000;
        window->PrefetchIcons();
        QCOMPARE(window->State.LoadedPictureCount, 2);
        QVERIFY(window->IconBox->Item(top).Picture);                      // behind the view
        QVERIFY(window->IconBox->Item(top + window->PageSize()).Picture); // beyond one screen
        window->State.MaxCash = 6;
        for (int i = 0; i < 10; ++i)
            window->PrefetchIcons();
        QCOMPARE(window->State.LoadedPictureCount, 4); // stops at MaxCash - 2
        window->State.MaxCash = 3000;
    }

    void paintingTrimsFromBothEnds() {
        drive_->File("many.dll", LibraryWithIcons(400));
        auto window = ScannedWindow();
        for (int i = 0; i < window->IconBox->Count(); ++i) {
            bool loaded = true;
            window->PictureCache->GetPicture(window->IconBox->Item(i), loaded);
        }
        QCOMPARE(window->State.LoadedPictureCount, 400);
        window->IconBox->SetColumns(2); // PageSize 20: the keep range is small
        window->IconBox->SetTopIndex(200);
        const int top = window->IconBox->TopIndex();
        window->State.MaxCash = 399;
        window->State.MinCash = 100;
        window->PictureCache->ReleasePicture(
            window->IconBox->Item(top)); // this cell will load again while painting
        QImage canvas(window->IconBox->viewport()->size(), QImage::Format_ARGB32);
        QPainter painter(&canvas);
        window->IconBoxDrawItem(painter, top, window->IconBox->ItemRect(top), false);
        QVERIFY(window->State.LoadedPictureCount <= 101);
        QVERIFY(!window->IconBox->Item(0).Picture);
        QVERIFY(!window->IconBox->Item(399).Picture);
        QVERIFY(window->IconBox->Item(top).Picture);
        window->State.MaxCash = 3000;
        window->State.MinCash = 2000;
    }

    void missingFileShowsTheProgramIcon() {
        TFMain window;
        TIconRes record;
        record.FileName = "T:\\gone.dll";
        bool loaded = false;
        const int before = window.State.LoadedPictureCount;
        const QPixmap& picture = window.PictureCache->GetPicture(record, loaded);
        QVERIFY(!loaded);
        QCOMPARE(window.State.LoadedPictureCount, before);
        QCOMPARE(picture.toImage(), ApplicationIcon().toImage());
        window.PictureCache->ReleasePicture(record); // lowers the count without having raised it
        QCOMPARE(window.State.LoadedPictureCount, before - 1);
        window.State.LoadedPictureCount = before;
    }

    void arrowKeysRunTheClickActionPerCell() {
        drive_->File("many.dll", LibraryWithIcons(30));
        auto window = ScannedWindow();
        QStringList seen;
        window->State.IconClickAction = [&](TIconRes& record) {
            seen << QString::number(record.IconIndex);
        };
        window->IconBox->setFocus();
        window->IconBox->SetItemIndex(0);
        QTest::keyClick(window->IconBox, Qt::Key_Down);
        QTest::keyClick(window->IconBox, Qt::Key_Down);
        QTest::keyClick(window->IconBox, Qt::Key_Up);
        QCOMPARE(seen, (QStringList{"1", "2", "1"}));
        window->State.IconClickAction = [&](TIconRes& record) { window->ShowInStatus(record); };
        QTest::keyClick(window->IconBox, Qt::Key_Down);
        QCOMPARE(window->StatusLabel->text(), QStringLiteral("many.dll 2"));
    }

    void scrollBarAndWheelFromTheEndOfTheScan() {
        drive_->File("many.dll", LibraryWithIcons(300));
        auto window = ScannedWindow();
        TIconBox* box = window->IconBox;
        QScrollBar* bar = box->horizontalScrollBar();
        const int rows = box->RowsPerColumn();
        const int columns = (box->Count() + rows - 1) / rows;
        QCOMPARE(bar->maximum(), columns - box->viewport()->width() / box->ColumnWidth());
        QTRY_VERIFY(bar->isVisible());
        auto wheel = [&](QPoint delta) {
            const QPointF at = box->viewport()->rect().center();
            QWheelEvent event(at, box->viewport()->mapToGlobal(at), QPoint(), delta, Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(box->viewport(), &event);
        };
        wheel(QPoint(0, -120)); // a notch down: one column on
        QCOMPARE(box->TopIndex(), rows);
        QCOMPARE(bar->value(), 1);
        wheel(QPoint(0, -240));
        QCOMPARE(box->TopIndex(), 3 * rows);
        for (int i = 0; i < 3; ++i) // a fine wheel: three small steps make one notch
            wheel(QPoint(0, 40));
        QCOMPARE(box->TopIndex(), 2 * rows);
        wheel(QPoint(120, 0)); // a sideways wheel
        QCOMPARE(box->TopIndex(), rows);
    }

    void maximiseAndRestoreLookLikeAFreshWindow() {
        drive_->File("many.dll", LibraryWithIcons(300));
        auto window = ScannedWindow(QSize(520, 360));
        const QRect screen = window->screen()->availableGeometry();
        auto fresh = ScannedWindow(screen.size());
        fresh->move(screen.topLeft());
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const int rows = window->IconBox->RowsPerColumn();
        window->IconBox->SetTopIndex(3 * rows);
        fresh->IconBox->SetTopIndex(3 * rows);
        QTRY_VERIFY(window->IconBox->horizontalScrollBar()->isVisible());
        const QList<int> normal = GridLayout(*window);
        const QImage normalPicture = window->IconBox->viewport()->grab().toImage();
        QCOMPARE(normal.at(0), window->IconBox->width() / 39);
        QCOMPARE(normal.at(4), 3);

        auto roundTrip = [&](const std::function<void()>& maximise,
                             const std::function<void()>& restore) {
            maximise();
            QTRY_COMPARE(window->size(), screen.size());
            QTRY_COMPARE(GridLayout(*window), GridLayout(*fresh));
            restore();
            QTRY_COMPARE(window->size(), QSize(520, 360));
            QTRY_COMPARE(GridLayout(*window), normal);
            QCOMPARE(window->IconBox->viewport()->grab().toImage(), normalPicture);
        };
        roundTrip([&] { window->sb_maxClick(); }, [&] { window->sb_maxClick(); });
        roundTrip([&] { window->showMaximized(); }, [&] { window->showNormal(); });
    }

    void droppedFileShowsAtOnce() {
        drive_->File("dropped.dll", LibraryWithIcons(2));
        auto window = ScannedWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->IconBox->Count(), 2);
        window->TBClearClick();
        QCoreApplication::processEvents();
        struct PaintCounter : QObject {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* event) override {
                paints += event->type() == QEvent::Paint;
                return false;
            }
        } counter;
        window->IconBox->viewport()->installEventFilter(&counter);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(drive_->Native("dropped.dll")))});
        const QPoint at = window->IconBox->mapTo(window.get(), QPoint(20, 20));
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &drop);
        QCOMPARE(window->IconBox->Count(), 2);
        QTRY_VERIFY(counter.paints > 0);
    }

    void ctrlCCopiesTheSelectedIcon() {
        drive_->File("many.dll", LibraryWithIcons(3));
        auto window = ScannedWindow();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->IconBox->setFocus();
        window->IconBox->SetItemIndex(1);
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(window->IconBox, Qt::Key_C, Qt::ControlModifier);
        const QImage copied = QGuiApplication::clipboard()->image();
        QGuiApplication::clipboard()->clear();
        window->Copytoclipboard1->trigger();
        QVERIFY(!copied.isNull());
        QCOMPARE(copied, QGuiApplication::clipboard()->image());
    }

    void menuShowsOnlyTheColourWithoutSelection() {
        auto window = ScannedWindow();
        window->IconBox->SetItemIndex(-1);
        window->IconActionMenuPopup();
        int visible = 0;
        for (QAction* entry : window->IconActionMenu->actions())
            visible += entry->isVisible();
        QCOMPARE(visible, 1);
        QVERIFY(window->Backc1->isVisible());
        QCOMPARE(window->Backc1->text(), QStringLiteral("Цвет фона"));
    }

    void zoomScalesCellsAndColumns_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("rowHeight");
        QTest::addColumn<int>("pitch"); // grid width per column
        QTest::addColumn<int>("offset");
        QTest::newRow("32") << 32 << 36 << 39 << 3;
        QTest::newRow("48") << 48 << 54 << 58 << 4;
        QTest::newRow("64") << 64 << 72 << 78 << 6;
        QTest::newRow("96") << 96 << 108 << 117 << 9;
        QTest::newRow("128") << 128 << 144 << 156 << 12;
        QTest::newRow("256") << 256 << 288 << 312 << 24;
    }
    void zoomScalesCellsAndColumns() {
        QFETCH(int, size);
        QFETCH(int, rowHeight);
        QFETCH(int, pitch);
        QFETCH(int, offset);
        drive_->File("many.dll", LibraryWithIcons(300));
        auto window = ScannedWindow(QSize(1000, 700));
        TIconBox* box = window->IconBox;
        const QList<int> unzoomed = GridLayout(*window);
        window->findChild<QAction*>(QStringLiteral("IconSize%1").arg(size))->trigger();
        QCOMPARE(box->IconSize(), size);
        QCOMPARE(box->Columns(), box->width() / pitch);
        QCOMPARE(box->RowsPerColumn(), std::max(1, box->viewport()->height() / rowHeight));
        QCOMPARE(box->ItemRect(box->RowsPerColumn() + 1),
                 QRect(box->ColumnWidth(), rowHeight, box->ColumnWidth(), rowHeight));
        QCOMPARE(box->IndexAt(QPoint(box->ColumnWidth() + 1, rowHeight + 1)),
                 box->RowsPerColumn() + 1);
        QCOMPARE(box->IconOffset(), offset);
        // Each picture is made at the new size.
        box->viewport()->grab();
        QCOMPARE(box->Item(0).Picture->Pixmap.width(), qRound(size * box->devicePixelRatioF()));
        // Ctrl+0 brings back the grid as it was.
        box->setFocus();
        QTest::keyClick(box, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(box->IconSize(), 32);
        QCOMPARE(GridLayout(*window), unzoomed);
    }

    void zoomKeysAndWheelStepThroughTheSizes() {
        drive_->File("many.dll", LibraryWithIcons(3));
        auto window = ScannedWindow();
        TIconBox* box = window->IconBox;
        QSignalSpy zoomed(box, &TIconBox::IconSizeChanged);
        QTest::keyClick(box, Qt::Key_Plus, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(box->IconSize(), 64);
        QCOMPARE(box->Columns(), box->width() / 78); // the window counted the columns again
        QTest::keyClick(box, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(box->IconSize(), 48);
        const QPointF at = box->viewport()->rect().center();
        QWheelEvent up(at, box->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 360), Qt::NoButton,
                       Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box->viewport(), &up);
        QCOMPARE(box->IconSize(), 128);
        QWheelEvent far(at, box->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 1200),
                        Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box->viewport(), &far);
        QCOMPARE(box->IconSize(), 256); // stops at the largest size
        QCOMPARE(box->TopIndex(), 0);   // the wheel zoomed instead of scrolling
        QCOMPARE(zoomed.count(), 5);
    }

    void iconSizeAndFoldingAreRemembered_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("size");
        QTest::newRow("older file") << QVariant() << 32;
        QTest::newRow("96") << QVariant("96") << 96;
        QTest::newRow("256") << QVariant("256") << 256;
        QTest::newRow("not a listed size") << QVariant("100") << 32;
        QTest::newRow("negative") << QVariant("-64") << 32;
        QTest::newRow("not a number") << QVariant("big") << 32;
    }
    void iconSizeAndFoldingAreRemembered() {
        QFETCH(QVariant, stored);
        QFETCH(int, size);
        if (stored.isValid())
            QSettings(platform::SettingsFilePath(), QSettings::IniFormat)
                .setValue("IconSize", stored);
        {
            TFMain window;
            QCOMPARE(window.IconBox->IconSize(), size);
            QVERIFY(!window.IconBox->FoldDuplicates());
            window.maskmenuPopup();
            QVERIFY(
                window.findChild<QAction*>(QStringLiteral("IconSize%1").arg(size))->isChecked());
            window.findChild<QAction*>(QStringLiteral("IconSize48"))->trigger();
            window.FoldDuplicatesItem->trigger();
            QVERIFY(window.IconBox->FoldDuplicates());
            window.SaveSettings();
        }
        QSettings file(platform::SettingsFilePath(), QSettings::IniFormat);
        QCOMPARE(file.value("IconSize").toString(), QStringLiteral("48"));
        QCOMPARE(file.value("FoldDuplicates").toString(), QStringLiteral("1"));
        TFMain again;
        QCOMPARE(again.IconBox->IconSize(), 48);
        QVERIFY(again.IconBox->FoldDuplicates());
        again.maskmenuPopup();
        QVERIFY(again.FoldDuplicatesItem->isChecked());
    }

    void foldingShowsEachImageOnce() {
        // Three libraries whose first two icons are the same images; the third icon of c.dll
        // is its own.
        drive_->File("a.dll", LibraryWithIcons(2));
        drive_->File("b.dll", LibraryWithIcons(2));
        drive_->File("c.dll", LibraryWithIcons(3));
        auto window = ScannedWindow();
        TIconBox* box = window->IconBox;
        QCOMPARE(box->Count(), 7);
        QStringList scanOrder;
        for (int i = 0; i < box->Count(); ++i)
            scanOrder << box->Item(i).FullPath() + ' ' + QString::number(box->Item(i).IconIndex);
        box->SetItemIndex(6);
        const TIconRes* selected = &box->Item(6);

        window->FoldDuplicatesItem->trigger();
        QCOMPARE(box->Count(), 3);
        QCOMPARE(box->RecordCount(), 7);
        QCOMPARE(QList<int>({box->Item(0).IconIndex, box->Item(1).IconIndex}), QList<int>({0, 1}));
        QCOMPARE(&box->Item(box->ItemIndex()), selected); // the selection kept its record
        box->SetItemIndex(1);
        window->ShowInStatus(box->Item(1));
        QCOMPARE(window->StatusLabel->text(),
                 box->Item(1).FileName + QStringLiteral(" 1 (ещё в 2 файлах)"));
        const auto places = box->Occurrences(1);
        QCOMPARE(int(places.size()), 3);
        for (const auto& [file, index] : places)
            QCOMPARE(index, 1);
        window->ShowInStatus(box->Item(2)); // not selected: the plain text
        QCOMPARE(window->StatusLabel->text(), QStringLiteral("c.dll 2"));
        box->SetItemIndex(2);
        window->ShowInStatus(box->Item(2)); // its image is its own
        QCOMPARE(window->StatusLabel->text(), QStringLiteral("c.dll 2"));

        // A file scanned while folding adds only images not seen yet.
        drive_->File("sub/d.dll", LibraryWithIcons(4));
        window->DropNames({QStringLiteral("T:\\sub\\d.dll")});
        QCOMPARE(box->RecordCount(), 11);
        QCOMPARE(box->Count(), 4);

        window->FoldDuplicatesItem->trigger();
        QStringList unfolded;
        for (int i = 0; i < 7; ++i)
            unfolded << box->Item(i).FullPath() + ' ' + QString::number(box->Item(i).IconIndex);
        QCOMPARE(unfolded, scanOrder);
        QCOMPARE(box->Count(), 11);
        QCOMPARE(FoldedSuffix(1), QStringLiteral(" (ещё в 1 файле)"));
        QCOMPARE(FoldedSuffix(11), QStringLiteral(" (ещё в 11 файлах)"));
        QCOMPARE(FoldedSuffix(21), QStringLiteral(" (ещё в 21 файле)"));
    }

    void typingFiltersByFileName() {
        drive_->File("Beta.dll", LibraryWithIcons(3));
        drive_->File("bet2.dll", LibraryWithIcons(2));
        drive_->File("other.dll", LibraryWithIcons(4));
        auto window = ScannedWindow();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        TIconBox* box = window->IconBox;
        const QImage unfiltered = box->viewport()->grab().toImage();
        const QList<int> layout = GridLayout(*window);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_B, Qt::NoModifier, 'b');
        QVERIFY(box->FilterLine()->isVisible());
        QCOMPARE(QApplication::focusWidget(), box->FilterLine());
        QCOMPARE(box->Count(), 5);
        QTest::keyClicks(box->FilterLine(), QStringLiteral("ET2"));
        QCOMPARE(box->NameFilter(), QStringLiteral("bET2"));
        QCOMPARE(box->Count(), 2);
        QCOMPARE(box->Item(0).FileName, QStringLiteral("bet2.dll"));
        QTest::keyClick(box->FilterLine(), Qt::Key_Backspace);
        QCOMPARE(box->Count(), 5);
        QTest::keyClick(box->FilterLine(), Qt::Key_Escape);
        QVERIFY(!box->FilterLine()->isVisible());
        QVERIFY(box->NameFilter().isEmpty());
        QCOMPARE(box->Count(), 9);
        QCOMPARE(GridLayout(*window), layout);
        QCOMPARE(box->viewport()->grab().toImage(), unfiltered);
        // Ctrl+F opens it empty; a text that matches nothing leaves an empty grid.
        QTest::keyClick(box, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(box->FilterLine()->isVisible());
        QTest::keyClicks(box->FilterLine(), QStringLiteral("zzz"));
        QCOMPARE(box->Count(), 0);
        QTest::keyClick(box, Qt::Key_End); // keys on an empty view do nothing
        QCOMPARE(box->ItemIndex(), -1);
    }

    void cacheStaysWithinItsPixelBudgetAtZoom256() {
        drive_->File("many.dll", LibraryWithIcons(600));
        auto window = ScannedWindow(QSize(1200, 800));
        TIconBox* box = window->IconBox;
        window->findChild<QAction*>(QStringLiteral("IconSize256"))->trigger();
        const int device = window->PictureCache->DeviceIconSize();
        QCOMPARE(device, qRound(256 * box->devicePixelRatioF()));
        const qint64 budget = qint64(window->State.MaxCash) * 32 * 32;
        const auto pixelsHeld = [&] {
            qint64 pixels = 0;
            int pictures = 0;
            for (int i = 0; i < box->RecordCount(); ++i)
                if (const auto& picture = box->Record(i).Picture) {
                    pixels += qint64(picture->Pixmap.width()) * picture->Pixmap.height();
                    ++pictures;
                }
            return std::pair(pixels, pictures);
        };
        for (const int top : {0, 150, 300, 599, 10}) {
            box->SetTopIndex(top);
            box->viewport()->grab();
            for (int i = 0; i < 200; ++i)
                window->PrefetchIcons();
            const auto [pixels, pictures] = pixelsHeld();
            QCOMPARE(pictures, window->State.LoadedPictureCount);
            QVERIFY2(pixels <= budget, qPrintable(QString::number(pixels)));
            QVERIFY(pictures > 20); // the prefetch still works
        }
        // Back at 32 the old-size pictures are gone and the usual limits hold again.
        window->findChild<QAction*>(QStringLiteral("IconSize32"))->trigger();
        box->viewport()->grab();
        for (int i = 0; i < box->Count(); ++i)
            if (box->Item(i).Picture)
                QCOMPARE(box->Item(i).Picture->Pixmap.width(),
                         window->PictureCache->DeviceIconSize());
    }
};

QTEST_MAIN(IconGridTest)
#include "IconGridTest.moc"
