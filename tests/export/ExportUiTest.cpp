// The widgets side of full-quality export, without the main window: the properties window on a
// built 16/32/48/256 (PNG) group, the drag and clipboard payloads, and the batch save run in
// slices from the event loop.
#include "../platform/icons/IconFileBuilder.h"
#include "export/BatchSave.h"
#include "export/IconPayloads.h"
#include "export/PropertiesWindow.h"
#include "platform/icons/IconSource.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace glyptor {

namespace build = icons::testing;

class ExportUiTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    std::string Write(const QString& name, const icons::Bytes& bytes) {
        QFile file(dir_.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return file.fileName().toStdString();
    }

    // Group 0 holds 16, 32 and 48 (DIB) and 256 (PNG, half transparent); group 1 one image.
    std::string Module() {
        using build::Resource;
        const auto dib16 = build::MakeSolidDib(16, 16, 4);
        const auto dib32 = build::MakeSolidDib(32, 32, 32, 0xFF0000FF);
        const auto dib48 = build::MakeSolidDib(48, 48, 8);
        const auto png = build::MakePng(256, 256, 0x80FF0000);
        return Write(
            QStringLiteral("app.exe"),
            build::MakePe({{14, std::uint32_t{5},
                            build::MakeGroup({{1, dib16}, {2, dib32}, {3, dib48}, {4, png}})},
                           {14, std::uint32_t{6}, build::MakeGroup({{1, dib16}})},
                           {3, std::uint32_t{1}, dib16},
                           {3, std::uint32_t{2}, dib32},
                           {3, std::uint32_t{3}, dib48},
                           {3, std::uint32_t{4}, png}}));
    }

private slots:
    void propertiesWindowListsTheGroup() {
        const std::string module = Module();
        PropertiesWindow window;
        window.SetColours(QColor(Qt::black), QColor(Qt::yellow));
        window.SetIcon(QStringLiteral("C:\\APP.EXE"), module, 0);
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("Свойства значка"));
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("PathLabel"))->text(),
                 QStringLiteral("C:\\APP.EXE"));
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("IdentityLabel"))->text(),
                 QStringLiteral("Значок 0, ресурс 5"));
        QCOMPARE(window.ImageCount(), 4);
        QCOMPARE(window.ImageLabel(0), QStringLiteral("16 x 16, 4 бит, DIB, 296 байт"));
        QCOMPARE(window.ImageLabel(1), QStringLiteral("32 x 32, 32 бит, DIB, 4 264 байт"));
        QVERIFY(window.ImageLabel(3).startsWith(QStringLiteral("256 x 256, 32 бит, PNG, ")));
        // Each image is shown at its own size, side by side.
        const QList<int> widths{16, 32, 48, 256};
        for (int i = 0; i < 4; ++i) {
            const auto* cell = window.findChild<QWidget*>(QStringLiteral("Image%1").arg(i));
            QVERIFY(cell);
            const auto children = cell->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            QVERIFY(std::any_of(children.begin(), children.end(), [&](const QWidget* w) {
                return w->width() == widths[i] && w->height() == widths[i];
            }));
        }
        QCOMPARE(window.palette().color(QPalette::WindowText), QColor(Qt::yellow));

        // Saved as PNG the half-transparent image keeps its alpha; as .ico its own bytes.
        const QString png = dir_.filePath(QStringLiteral("big.png"));
        QVERIFY(window.SaveImage(3, png));
        QCOMPARE(QImage(png).pixel(10, 10), 0x80FF0000u);
        const QString ico = dir_.filePath(QStringLiteral("small.ico"));
        QVERIFY(window.SaveImage(0, ico));
        QCOMPARE(icons::ExtractSourceImages(ico.toStdString(), 0).size(), std::size_t{1});

        window.CopyImage(3);
        QVERIFY(QGuiApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("image/png")));

        // A deep path is cut at the window's edge instead of widening the window past the
        // screen's; the tip keeps it whole.
        const QString deep = QStringLiteral("C:\\") + QStringLiteral("FOLDER\\").repeated(80) +
                             QStringLiteral("APP.EXE");
        window.SetIcon(deep, module, 0);
        QVERIFY(window.minimumSizeHint().width() < 720);
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("PathLabel"))->toolTip(), deep);

        // It follows the selection, and Escape closes it.
        window.SetIcon(QStringLiteral("C:\\APP.EXE"), module, 1);
        QCOMPARE(window.ImageCount(), 1);
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }

    void dragCarriesPngAndAFileThatExists() {
        const std::string module = Module();
        QString folderPath;
        {
            payloads::DragFolder folder;
            const auto data = payloads::DragPayload(folder, module, 0);
            QVERIFY(data);
            const QImage image = QImage::fromData(data->data(QStringLiteral("image/png")), "PNG");
            QCOMPARE(image.size(), QSize(256, 256));
            QVERIFY(image.hasAlphaChannel());
            QCOMPARE(image.pixel(0, 0), 0x80FF0000u);
            QCOMPARE(data->urls().size(), 1);
            const QString file = data->urls().front().toLocalFile();
            QVERIFY(file.endsWith(QStringLiteral("/app_exe_0.png")));
            QVERIFY(QFile::exists(file));
            QCOMPARE(QImage(file), image);
            folderPath = folder.Path();
        }
        QVERIFY(!QFile::exists(folderPath)); // gone with its owner
        // A click without movement, or one within the drag distance, is not a drag.
        const QPoint at(40, 40);
        const int distance = QApplication::startDragDistance();
        QVERIFY(!payloads::StartsDrag(at, at));
        QVERIFY(!payloads::StartsDrag(at, at + QPoint(distance - 1, 0)));
        QVERIFY(payloads::StartsDrag(at, at + QPoint(distance, 0)));
    }

    void clipboardKeepsThePictureAndAddsPng() {
        IconImage icon;
        icon.width = icon.height = 2;
        icon.pixels = {0x00000000, 0xFF112233, 0x80445566, 0xFFFFFFFF};
        icon.mask = {1, 0, 0, 0};
        QImage picture(2, 2, QImage::Format_RGB32);
        picture.fill(Qt::white);
        QGuiApplication::clipboard()->setMimeData(
            payloads::ClipboardPayload(picture, icon).release());
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data->hasImage());
        QCOMPARE(qvariant_cast<QImage>(data->imageData()).pixel(0, 0), QColor(Qt::white).rgb());
        const QImage png = QImage::fromData(data->data(QStringLiteral("image/png")), "PNG");
        QCOMPARE(png.pixel(0, 0) >> 24, 0u);
        QCOMPARE(png.pixel(0, 1), 0x80445566u);
    }

    void batchRunsInSlicesAndCanBeCancelled() {
        const std::string module = Module();
        QTemporaryDir out;
        std::vector<batchsave::Item> items(200, batchsave::Item{module, 0});
        batchsave::BatchSave batch(items, {out.path().toStdString(), batchsave::Kind::Png, 48});
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(0);
        bool finished = false;
        batchsave::RunSliced(
            batch, this,
            [&](int done, int) {
                if (done >= 20) {
                    batch.Cancel();
                }
            },
            [&](const batchsave::Summary& summary) {
                finished = true;
                QVERIFY(summary.cancelled);
                QVERIFY(summary.written >= 20 && summary.written < 200);
            });
        QTRY_VERIFY(finished);
        QVERIFY(ticks > 0); // the event loop ran between slices
        QVERIFY(QFile::exists(out.filePath(QStringLiteral("app_exe_0 (2).png"))));
    }
};

} // namespace glyptor

QTEST_MAIN(glyptor::ExportUiTest)
#include "ExportUiTest.moc"
