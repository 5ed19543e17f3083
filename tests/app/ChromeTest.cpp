// The window's own frame: moving by the title and status strips, resizing by the grip, the
// limits, maximise and restore, hover pictures, F1 and the web picture, dialogs kept on screen.
#include "app/Umain.h"
#include "platform/core/Settings.h"
#include "platform/ui/Application.h"

#include "TempDrive.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

using namespace glyptor;
using glyptor::testing::TempDrive;

class ChromeTest : public QObject {
    Q_OBJECT

    QTemporaryDir config_;
    std::unique_ptr<TempDrive> drive_;
    std::unique_ptr<TFMain> window_;

    // Sends a pointer event to a control the way the window system would: the event goes to
    // the deepest control and on to its parents when ignored.
    void Pointer(QWidget* target, QEvent::Type type, QPoint global, Qt::MouseButton button,
                 Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const QPointF local = target->mapFromGlobal(global);
        QMouseEvent event(type, local, local, QPointF(global), button, buttons, modifiers);
        QApplication::sendEvent(target, &event);
    }

    void Drag(QWidget* control, QPoint from, QPoint to,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        Pointer(control, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        Pointer(control, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton,
                modifiers);
        Pointer(control, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, modifiers);
        Pointer(control, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }

    QPoint CentreOf(QWidget* control) { return control->mapToGlobal(control->rect().center()); }

    // Whole inside the window, where a pointer can reach it.
    bool Reachable(QWidget* control) {
        return window_->rect().contains(
            QRect(control->mapTo(window_.get(), QPoint(0, 0)), control->size()));
    }

private slots:
    void init() {
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        QFile::remove(platform::SettingsFilePath());
        drive_ = std::make_unique<TempDrive>();
        QSettings(platform::SettingsFilePath(), QSettings::IniFormat).setValue("LastDir", "T:");
        window_ = std::make_unique<TFMain>(drive_->State());
        window_->setGeometry(100, 100, 640, 420);
        window_->show();
    }
    void cleanup() {
        window_.reset();
        drive_.reset();
    }

    void titleAndStatusStripMoveByThePointersMovement() {
        const QPoint start = window_->pos();
        const QPoint from = CentreOf(window_->Image7);
        Drag(window_->Image7, from, from + QPoint(37, -12));
        QCOMPARE(window_->pos(), start + QPoint(37, -12));
        const QPoint from2 = CentreOf(window_->Panel_top);
        Drag(window_->Panel_top, from2, from2 + QPoint(-5, 20));
        QCOMPARE(window_->pos(), start + QPoint(32, 8));
        // The status label passes the pointer to its strip.
        const QPoint from3 = CentreOf(window_->StatusLabel);
        Drag(window_->StatusLabel, from3, from3 + QPoint(3, 3));
        QCOMPARE(window_->pos(), start + QPoint(35, 11));
    }

    void shiftOrASecondButtonStopsTheDrag() {
        const QPoint start = window_->pos();
        const QPoint from = CentreOf(window_->Image7);
        Drag(window_->Image7, from, from + QPoint(40, 40), Qt::ShiftModifier);
        QCOMPARE(window_->pos(), start);
        Pointer(window_->Image7, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        Pointer(window_->Image7, QEvent::MouseMove, from + QPoint(9, 9), Qt::NoButton,
                Qt::LeftButton | Qt::RightButton);
        QCOMPARE(window_->pos(), start);
    }

    void dragStartingOnTheMaximiseButtonMovesToo() {
        const QPoint start = window_->pos();
        const QPoint from = CentreOf(window_->sb_max);
        Pointer(window_->sb_max, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        Pointer(window_->sb_max, QEvent::MouseMove, from + QPoint(15, 6), Qt::NoButton,
                Qt::LeftButton);
        QCOMPARE(window_->pos(), start + QPoint(15, 6));
    }

    void gripResizesWithinTheLimits() {
        const QPoint from = CentreOf(window_->Image_resize);
        Drag(window_->Image_resize, from, from + QPoint(30, 20));
        QCOMPARE(window_->size(), QSize(670, 440));
        const QPoint from2 = CentreOf(window_->Image_resize);
        Drag(window_->Image_resize, from2, from2 + QPoint(-400, -400));
        // 270 wide is below 300: 370. 40 high is below 100: 100.
        QCOMPARE(window_->size(), QSize(370, 100));
        QVERIFY(Reachable(window_->Image_resize));
        QVERIFY(Reachable(window_->Image_exit));
    }

    void gripAndSplitterCannotHideTheToolStrip() {
        // 310 wide passes the 300 rule, but the smallest window is 370 wide.
        QPoint from = CentreOf(window_->Image_resize);
        Drag(window_->Image_resize, from, from + QPoint(-330, -360));
        QCOMPARE(window_->size(), QSize(370, 100));
        for (QWidget* control : {static_cast<QWidget*>(window_->Image_resize),
                                 static_cast<QWidget*>(window_->Image_exit),
                                 static_cast<QWidget*>(window_->SpeedButton5)})
            QVERIFY2(Reachable(control), qPrintable(control->objectName()));
        from = CentreOf(window_->Image_resize);
        Drag(window_->Image_resize, from, from + QPoint(500, 400));
        // The splitter's handle dragged to the window's right edge and beyond.
        QSplitterHandle* handle = window_->Splitter1->handle(1);
        QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, QPoint(1, 50));
        QTest::mouseMove(handle, QPoint(window_->width(), 50));
        QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, QPoint(window_->width(), 50));
        QVERIFY(window_->PanelFiles->width() < 200);
        QVERIFY(Reachable(window_->Image_exit));
        QVERIFY(Reachable(window_->Image_resize));
        QVERIFY(window_->Image_exit->x() + window_->Panel_exit->x() >
                window_->SpeedButton5->geometry().right());
    }

    void closingMaximisedSavesTheNormalBounds_data() {
        QTest::addColumn<bool>("byTitleButton");
        QTest::newRow("title button") << true;
        QTest::newRow("window manager") << false;
    }
    void closingMaximisedSavesTheNormalBounds() {
        QFETCH(bool, byTitleButton);
        if (byTitleButton)
            window_->sb_maxClick();
        else
            window_->showMaximized();
        QTRY_COMPARE(window_->size(), window_->screen()->availableGeometry().size());
        window_->close();
        QSettings store(platform::SettingsFilePath(), QSettings::IniFormat);
        const QRect saved(store.value("WinLeft").toInt(), store.value("WinTop").toInt(),
                          store.value("WinWidth").toInt(), store.value("WinHeight").toInt());
        QCOMPARE(saved, QRect(100, 100, 640, 420));
    }

    void maximisedWindowNeitherMovesNorResizes() {
        const QRect normal = window_->geometry();
        window_->sb_maxClick();
        QVERIFY(window_->Maximized());
        const QRect maximised = window_->geometry();
        QCOMPARE(maximised, window_->screen()->availableGeometry());
        const QPoint from = CentreOf(window_->Image7);
        Drag(window_->Image7, from, from + QPoint(50, 50));
        const QPoint grip = CentreOf(window_->Image_resize);
        Drag(window_->Image_resize, grip, grip + QPoint(-50, -50));
        QCOMPARE(window_->geometry(), maximised);
        // A double click on the title restores.
        Pointer(window_->Image7, QEvent::MouseButtonDblClick, CentreOf(window_->Image7),
                Qt::LeftButton, Qt::LeftButton);
        QVERIFY(!window_->Maximized());
        QCOMPARE(window_->geometry(), normal);
    }

    void dialogsAreShownInsideTheScreen() {
        const QRect room = window_->screen()->availableGeometry();
        const int title = window_->style()->pixelMetric(QStyle::PM_TitleBarHeight);
        // Larger than the screen, with a list that can shrink: inside it, its title bar too.
        QDialog big(window_.get());
        (new QVBoxLayout(&big))->addWidget(new QListWidget);
        big.resize(room.size() + QSize(300, 300));
        big.show();
        QVERIFY2(room.contains(QRect(big.pos(), big.size() + QSize(0, title))),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(big.x())
                                .arg(big.y())
                                .arg(big.width())
                                .arg(big.height())));
        // One that fits keeps its place and size.
        QDialog small(window_.get());
        const QRect placed(room.topLeft() + QPoint(10, 10), QSize(200, 100));
        small.setGeometry(placed);
        small.show();
        QCOMPARE(small.geometry(), placed);
        // One that cannot shrink that far keeps its least width, from the screen's left edge.
        QDialog wide(window_.get());
        wide.setMinimumSize(room.width() + 100, 50);
        wide.show();
        QCOMPARE(wide.width(), room.width() + 100);
        QCOMPARE(wide.x(), room.left());
    }

    void hoverFlagsSwapOncePerEntryAndExit() {
        window_->Image_aboutMouseMove();
        QCOMPARE(window_->Image_about->property("Tag").toInt(), 1);
        // From the about picture straight to the web picture: the strip between restores it.
        Pointer(window_->Panel_top, QEvent::MouseMove, CentreOf(window_->Panel_top), Qt::NoButton,
                Qt::NoButton);
        QCOMPARE(window_->Image_about->property("Tag").toInt(), 0);
        Pointer(window_->Image_www, QEvent::MouseMove, CentreOf(window_->Image_www), Qt::NoButton,
                Qt::NoButton);
        QCOMPARE(window_->Image_www->property("Tag").toInt(), 1);
        QCOMPARE(window_->Image_about->property("Tag").toInt(), 0);
        // Title and options touch each other.
        window_->Image7MouseMove();
        window_->Image_optMouseMove();
        QCOMPARE(window_->Image7->property("Tag").toInt(), 0);
        QCOMPARE(window_->Image_opt->property("Tag").toInt(), 1);
    }

    void clicksThroughTheWindowSystemReachTheControls() {
        // A real click first reaches the QWindow, which the hook must tell from a control.
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QWindow* handle = window_->windowHandle();
        const QPoint inTree = window_->FATView->viewport()->mapTo(window_.get(), QPoint(5, 5));
        QTest::mouseClick(handle, Qt::LeftButton, Qt::NoModifier, inTree);
        QTest::mouseClick(handle, Qt::LeftButton, Qt::NoModifier,
                          window_->Image7->mapTo(window_.get(), QPoint(10, 10)));
        QVERIFY(window_->isVisible());
        // A drag through the window system moves the window like one sent to the control.
        const QPoint start = window_->pos();
        const QPoint title = window_->Image7->mapTo(window_.get(), QPoint(30, 10));
        QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, title);
        QTest::mouseMove(handle, title + QPoint(20, 10));
        // The window moved under the pointer: the same screen point is now `title` inside it.
        QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, title);
        QCOMPARE(window_->pos(), start + QPoint(20, 10));
    }

    void longStatusIsShortenedInTheMiddleWithTheWholeTextAsTooltip() {
        const QString path = QStringLiteral("T:\\") + QString("Каталог\\").repeated(12) + "конец";
        window_->ShowStatus(path);
        QLabel* label = window_->StatusLabel;
        QVERIFY(label->geometry().right() < window_->Image_about->x());
        QVERIFY(label->text().startsWith("T:\\Каталог"));
        QVERIFY(label->text().endsWith("конец"));
        QVERIFY(label->text().contains(QChar(0x2026)));
        QCOMPARE(window_->Panel_top->toolTip(), path);
        // Wide enough again: the whole text, no tooltip.
        window_->resize(1900, 420);
        QCOMPARE(label->text(), path);
        QVERIFY(window_->Panel_top->toolTip().isEmpty());
    }

    void pageThatCannotBeOpenedIsReported() {
        QTemporaryDir nowhere; // no launcher on the way
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", nowhere.path().toUtf8());
        QStringList reported;
        window_->State.ErrorReporter = [&](const QString& text) { reported << text; };
        window_->FormKeyDown(Qt::Key_F1);
        qputenv("PATH", path);
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].contains(TChrome::HelpPage().toLocalFile()), qPrintable(reported[0]));
    }

    void qtsOwnTextsAreRussian() {
        if (!platform::InstallQtTranslations())
            QSKIP("Qt's Russian translation (qt6-translations-l10n) is not installed");
        QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
    }

    void helpAndWebPagesOpen() {
        QList<QUrl> opened;
        window_->State.UrlOpener = [&](const QUrl& url) { opened << url; };
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QTest::keyClick(window_.get(), Qt::Key_F1);
        window_->Image_wwwClick();
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened[0].toLocalFile().endsWith(QLatin1String("/help/glyptor.html")));
        QVERIFY(opened[1].isValid());
    }
};

QTEST_MAIN(ChromeTest)
#include "ChromeTest.moc"
