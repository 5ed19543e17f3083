// The skin's rules without a window: layout value conversions, colours, tiling and the opaque
// drawing of labels, glyph transparency.
#include "theme/skin/SkinLayout.h"

#include <QtTest>

using namespace glyptor;
using namespace glyptor::skin;

namespace {

QImage Filled(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Two-colour tile: the left column marked, so tile starts can be found in the target.
QImage MarkedTile(int w, int h) {
    QImage tile = Filled(w, h, qRgb(0, 0, 255));
    for (int y = 0; y < h; ++y)
        tile.setPixel(0, y, qRgb(255, 0, 0));
    return tile;
}

} // namespace

class SkinLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void textToInteger_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "8" << 8;
        QTest::newRow("blanks around") << "  12\t " << 12;
        QTest::newRow("signs") << "-7" << -7;
        QTest::newRow("plus") << "+7" << 7;
        QTest::newRow("fraction rounds") << "7.6" << 8;
        QTest::newRow("half to even down") << "2.5" << 2;
        QTest::newRow("half to even up") << "3.5" << 4;
        QTest::newRow("bare fraction") << ".9" << 1;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << int(-2147483648LL);
    }
    void textToInteger() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(TextToInteger(text.toStdString()), value);
    }

    void textToIntegerRefuses_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("blank") << "   ";
        QTest::newRow("word") << "wide";
        QTest::newRow("trailing letters") << "8px";
        QTest::newRow("hex") << "$10";
        QTest::newRow("sign only") << "-";
        QTest::newRow("beyond 32 bits") << "2147483648";
        QTest::newRow("far beyond") << "99999999999999999999";
        QTest::newRow("two points") << "1.2.3";
    }
    void textToIntegerRefuses() {
        QFETCH(QString, text);
        try {
            TextToInteger(text.toStdString());
            QFAIL("accepted");
        } catch (const EVariantError& error) {
            QCOMPARE(QString(error.what()), QStringLiteral("Invalid variant type conversion"));
        }
    }

    // What the one result holder turns into for each use of a layout key.
    void holderConversions() {
        QCOMPARE(ValueAsInteger(TLayoutValue{}), 0);
        QCOMPARE(ValueAsInteger(TLayoutValue{std::int32_t{255}}), 255);
        QCOMPARE(ValueAsInteger(TLayoutValue{std::string(" 9 ")}), 9);
        QCOMPARE(ValueAsText(TLayoutValue{}), std::string());
        QCOMPARE(ValueAsText(TLayoutValue{std::string("Tahoma")}), std::string("Tahoma"));
        QCOMPARE(ValueAsText(TLayoutValue{std::int32_t{-3}}), std::string("-3"));
    }

    void iconBoxBorder_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("border");
        QTest::newRow("1") << 1 << true;
        QTest::newRow("0") << 0 << false;
        QTest::newRow("2") << 2 << false;
        QTest::newRow("-1") << -1 << false;
    }
    void iconBoxBorder() {
        QFETCH(int, value);
        QFETCH(bool, border);
        QCOMPARE(ValueIsOne(TLayoutValue{std::int32_t{value}}), border);
    }

    void emptyHolderCannotBeCompared() {
        try {
            ValueIsOne(TLayoutValue{});
            QFAIL("compared");
        } catch (const EVariantError& error) {
            QCOMPARE(QString(error.what()), QStringLiteral("Invalid variant operation"));
        }
    }

    void colours() {
        QCOMPARE(ColorFromNumber(255), QColor(255, 0, 0));
        QCOMPARE(ColorFromNumber(0xFF0000), QColor(0, 0, 255));
        QCOMPARE(ColorFromNumber(12632256), QColor(192, 192, 192));
        // A palette-relative number keeps its colour bytes.
        QCOMPARE(ColorFromNumber(0x02008000), QColor(0, 128, 0));
        // System colours: button face and window text.
        QCOMPARE(ColorFromNumber(int(0x8000000F)), QColor(192, 192, 192));
        QCOMPARE(ColorFromNumber(int(0x80000008)), QColor(0, 0, 0));
        // An index beyond the known ones is black rather than garbage.
        QCOMPARE(ColorFromNumber(int(0x800000FF)), QColor(0, 0, 0));
    }

    // A 6-pixel tile across a 206-pixel title: tile starts every 6 pixels, the last one cut.
    void tileRepeatsFromTheCorner() {
        QImage target = Filled(206, 42, qRgb(0, 255, 0));
        TilePicture(target, MarkedTile(6, 21));
        for (int x = 0; x < 206; ++x) {
            const QRgb expected = x % 6 == 0 ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
            QCOMPARE(target.pixel(x, 0), expected);
            QCOMPARE(target.pixel(x, 41), expected);
        }
    }

    void wideTileIsDrawnOnceAndCut() {
        QImage target = Filled(100, 42, qRgb(0, 255, 0));
        QImage tile = MarkedTile(150, 42);
        tile.setPixel(99, 0, qRgb(255, 255, 0));
        TilePicture(target, tile);
        QCOMPARE(target.pixel(0, 10), qRgb(255, 0, 0));
        QCOMPARE(target.pixel(99, 0), qRgb(255, 255, 0));
        QCOMPARE(target.pixel(99, 41), qRgb(0, 0, 255));
    }

    void emptyTileDrawsNothing() {
        for (QSize size : {QSize(0, 42), QSize(6, 0), QSize(0, 0)}) {
            QImage target = Filled(50, 42, qRgb(0, 255, 0));
            const QImage tile(size, QImage::Format_RGB32);
            TilePicture(target, tile);
            QCOMPARE(target, Filled(50, 42, qRgb(0, 255, 0)));
        }
    }

    // Drawing is opaque: a see-through tile or label replaces what was below, alpha and all.
    void drawingIsOpaque() {
        QImage target = Filled(20, 10, qRgb(0, 255, 0)).convertToFormat(QImage::Format_ARGB32);
        QImage clear(5, 10, QImage::Format_ARGB32);
        clear.fill(Qt::transparent);
        TilePicture(target, clear);
        QCOMPARE(target.pixel(3, 3), 0u);
        QImage label = Filled(30, 4, qRgb(9, 9, 9));
        DrawOpaque(target, label, 0, 0);
        QCOMPARE(target.pixel(19, 0), qRgb(9, 9, 9)); // cut at the right edge
        QCOMPARE(target.pixel(19, 4), 0u);
    }

    void resizeKeepsWhatFits() {
        QImage bitmap = Filled(10, 10, qRgb(1, 2, 3));
        ResizeBitmap(bitmap, 20, 5);
        QCOMPARE(bitmap.size(), QSize(20, 5));
        QCOMPARE(bitmap.pixel(9, 4), qRgb(1, 2, 3));
        QCOMPARE(bitmap.pixel(10, 4), qRgb(0, 0, 0));
        ResizeBitmap(bitmap, -4, 3);
        QCOMPARE(bitmap.size(), QSize(0, 0));
    }

    void glyphLowerLeftColourIsSeeThrough() {
        QImage glyph = Filled(4, 4, qRgb(255, 0, 255));
        glyph.setPixel(1, 1, qRgb(10, 20, 30));
        const QImage shown = GlyphWithTransparency(glyph);
        QCOMPARE(qAlpha(shown.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(shown.pixel(3, 3)), 0);
        QCOMPARE(shown.pixel(1, 1), qRgb(10, 20, 30));
    }

    void hugePicturesAreCut() {
        QImage mono(5000, 3, QImage::Format_Mono);
        mono.fill(1);
        const QImage cut = BoundedPicture(mono);
        QCOMPARE(cut.size(), QSize(kMaxPictureSide, 3));
        QCOMPARE(cut.format(), QImage::Format_Mono);
        QCOMPARE(cut.pixelIndex(kMaxPictureSide - 1, 2), 1);
        const QImage small = Filled(20, 20, qRgb(1, 2, 3));
        QCOMPARE(BoundedPicture(small).cacheKey(), small.cacheKey());
    }

    void pictureTable() {
        QCOMPARE(int(kPictureKeys.size()), int(SlotCount) + int(GlyphCount));
        QCOMPARE(SlotPicture(TILE2).size, QSize(5, 23));
        QCOMPARE(SlotPicture(TILE2).depth, 4);
        QCOMPARE(QString(GlyphPicture(LOGO).key), QStringLiteral("gy_logo"));
        // The glyphs and the logo come first, then the slots in the order a theme reads them.
        QCOMPARE(QString(kPictureKeys[7].key), QStringLiteral("gy_title1"));
        QCOMPARE(QString(kPictureKeys[15].key), QStringLiteral("gy_tools1"));
        QCOMPARE(QString(kPictureKeys[18].key), QStringLiteral("gy_resize1"));
    }
};

QTEST_MAIN(SkinLayoutTest)
#include "SkinLayoutTest.moc"
