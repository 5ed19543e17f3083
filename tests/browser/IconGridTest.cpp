// The icon grid in the window: pictures loaded during a scan, idle prefetching, the cache trim
// while painting, the substitute icon, keyboard selection and the icon menu.
#include "app/Umain.h"
#include "platform/core/Settings.h"

#include "IconFileBuilder.h"
#include "TempDrive.h"

#include <QAction>
#include <QClipboard>
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
};

QTEST_MAIN(IconGridTest)
#include "IconGridTest.moc"
