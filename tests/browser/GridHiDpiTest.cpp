// The grid on a screen of device pixel ratio 2: a cell's picture is made from the icon's
// 64-pixel image, not from its 32-pixel one blown up. Its own program, because the ratio is set
// before the application starts.
#include "app/Umain.h"
#include "platform/core/Settings.h"

#include "IconFileBuilder.h"
#include "TempDrive.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace glyptor;
using glyptor::testing::TempDrive;
namespace build = glyptor::icons::testing;

class GridHiDpiTest : public QObject {
    Q_OBJECT

    QTemporaryDir config_;

private slots:
    void cellPictureComesFromTheImageOfItsDeviceSize_data() {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QRgb>("expected");
        // 32 at ratio 2 wants 64 device pixels: the green image; 128 wants 256: none is that
        // large, so the largest smaller one (blue 128) is scaled up.
        QTest::newRow("32") << 32 << qRgb(0, 255, 0);
        QTest::newRow("64") << 64 << qRgb(0, 0, 255);
        QTest::newRow("128") << 128 << qRgb(0, 0, 255);
    }
    void cellPictureComesFromTheImageOfItsDeviceSize() {
        QFETCH(int, zoom);
        QFETCH(QRgb, expected);
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        QSettings(platform::SettingsFilePath(), QSettings::IniFormat).setValue("LastDir", "T:");
        TempDrive drive;
        const icons::Bytes ico = build::MakeIco({build::MakeSolidDib(32, 32, 32, 0xFFFF0000u),
                                                 build::MakeSolidDib(64, 64, 32, 0xFF00FF00u),
                                                 build::MakeSolidDib(128, 128, 32, 0xFF0000FFu)});
        drive.File("three.ico", std::string(ico.begin(), ico.end()));

        TFMain window;
        window.resize(800, 500);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.IconBox->devicePixelRatioF(), 2.0);
        window.findChild<QAction*>(QStringLiteral("IconSize%1").arg(zoom))->trigger();
        window.FATView->setCurrentItem(window.FATView->topLevelItem(1));
        window.TBScanClick();
        QCOMPARE(window.IconBox->Count(), 1);

        const QImage shot = window.IconBox->viewport()->grab().toImage();
        QCOMPARE(shot.devicePixelRatio(), 2.0);
        const QPixmap& picture = window.IconBox->Item(0).Picture->Pixmap;
        QCOMPARE(picture.size(), QSize(2 * zoom, 2 * zoom));
        QCOMPARE(picture.devicePixelRatio(), 2.0);
        // The cell shows the picture at its logical size, every device pixel of it.
        const int offset = 2 * window.IconBox->IconOffset();
        QCOMPARE(shot.pixel(offset + 1, offset + 1), expected);
        QCOMPARE(shot.pixel(offset + 2 * zoom - 2, offset + 2 * zoom - 2), expected);
        QVERIFY(shot.pixel(offset + 2 * zoom + 1, offset + 2 * zoom + 1) != expected);
        // The icon kept for export stays the 32-pixel image.
        QCOMPARE(window.IconBox->Item(0).Picture->Icon.width, 32);
        QCOMPARE(window.IconBox->Item(0).Picture->Icon.pixels.front(), 0xFFFF0000u);
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    GridHiDpiTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "GridHiDpiTest.moc"
