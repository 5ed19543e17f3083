// Draws the skin pictures and writes each as a BMP at the size and colour depth the skin
// expects, through the program's own BMP writer. One drawing serves every skin; a style gives
// the colours. Run by hand when a picture changes; the output is committed.
//
//   glyptor-skingen builtin OUTDIR   resources/skin: TITLE1.bmp ... LOGO.bmp
//   glyptor-skingen light OUTDIR     a theme folder: gy_title1.bmp ... gy_logo.bmp
//   glyptor-skingen blue OUTDIR      the same
//
// The 8-bit pictures are mapped to the writer's fixed colour table, so the styles pick their
// colours from that table (greys in steps of ten, the 6 x 6 x 6 cube, the VGA colours) and the
// pictures keep exactly the colours the theme layouts give the panels around them.
#include "platform/dib/OutputFile.h"
#include "theme/skin/SkinLayout.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

namespace {

using glyptor::skin::PictureKey;

struct Style {
    QColor titleTop, titleBottom, titleLine; // title band, gradient and lower edge
    QColor text, textDim, accent, accentHot; // title texts and marks
    QColor strip, stripText, stripHot;       // options and scan strips (the browser colour)
    QColor status;                           // status strip behind the about and web pictures
    QColor statusInk;
    QColor tool, toolLine, toolDots; // tool strip (VGA colours: its tile has 4 bits)
    QColor exit, exitHot;
    QColor glyphInk, glyphPaper, glyphAccent; // tool and title button glyphs
    QColor buttonFace;
    QColor logoBack;
};

const QColor kKey(255, 0, 255); // see-through colour of the glyphs (their lower-left pixel)

Style BuiltInStyle() {
    Style s;
    s.titleTop = QColor(68, 68, 68);
    s.titleBottom = QColor(18, 18, 18);
    s.titleLine = QColor(51, 153, 255);
    s.text = QColor(238, 238, 238);
    s.textDim = QColor(148, 148, 148);
    s.accent = QColor(51, 153, 255);
    s.accentHot = QColor(102, 204, 255);
    s.strip = QColor(0, 0, 0);
    s.stripText = QColor(192, 192, 192);
    s.stripHot = QColor(102, 204, 255);
    s.status = QColor(0, 0, 0);
    s.statusInk = QColor(192, 192, 192);
    s.tool = QColor(0, 0, 0);
    s.toolLine = QColor(128, 128, 128);
    s.toolDots = QColor(128, 128, 128);
    s.exit = QColor(153, 0, 0);
    s.exitHot = QColor(255, 51, 51);
    s.glyphInk = QColor(208, 208, 208);
    s.glyphPaper = QColor(38, 38, 38);
    s.glyphAccent = QColor(51, 153, 255);
    s.buttonFace = QColor(48, 48, 48);
    s.logoBack = QColor(0, 0, 0);
    return s;
}

Style LightStyle() {
    Style s;
    s.titleTop = QColor(255, 255, 255);
    s.titleBottom = QColor(208, 208, 208);
    s.titleLine = QColor(0, 102, 204);
    s.text = QColor(38, 38, 38);
    s.textDim = QColor(98, 98, 98);
    s.accent = QColor(0, 102, 204);
    s.accentHot = QColor(0, 153, 255);
    s.strip = QColor(255, 255, 255);
    s.stripText = QColor(58, 58, 58);
    s.stripHot = QColor(0, 102, 204);
    s.status = QColor(204, 204, 204);
    s.statusInk = QColor(68, 68, 68);
    s.tool = QColor(192, 192, 192);
    s.toolLine = QColor(255, 255, 255);
    s.toolDots = QColor(128, 128, 128);
    s.exit = QColor(204, 51, 51);
    s.exitHot = QColor(255, 0, 0);
    s.glyphInk = QColor(38, 38, 38);
    s.glyphPaper = QColor(255, 255, 255);
    s.glyphAccent = QColor(0, 102, 204);
    s.buttonFace = QColor(228, 228, 228);
    s.logoBack = QColor(255, 255, 255);
    return s;
}

Style BlueStyle() {
    Style s;
    s.titleTop = QColor(0, 51, 153);
    s.titleBottom = QColor(0, 0, 102);
    s.titleLine = QColor(0, 204, 255);
    s.text = QColor(255, 255, 255);
    s.textDim = QColor(153, 204, 255);
    s.accent = QColor(0, 204, 255);
    s.accentHot = QColor(102, 255, 255);
    s.strip = QColor(0, 0, 51);
    s.stripText = QColor(153, 204, 255);
    s.stripHot = QColor(102, 255, 255);
    s.status = QColor(0, 0, 102);
    s.statusInk = QColor(153, 204, 255);
    s.tool = QColor(0, 0, 128);
    s.toolLine = QColor(0, 0, 255);
    s.toolDots = QColor(0, 128, 128);
    s.exit = QColor(153, 0, 51);
    s.exitHot = QColor(255, 51, 102);
    s.glyphInk = QColor(255, 255, 255);
    s.glyphPaper = QColor(0, 51, 153);
    s.glyphAccent = QColor(0, 204, 255);
    s.buttonFace = QColor(0, 51, 153);
    s.logoBack = QColor(0, 0, 51);
    return s;
}

QImage Canvas(int w, int h, const QColor& fill) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

QFont Font(int pixels, bool bold = false, bool condensed = false) {
    QFont font(condensed ? QStringLiteral("DejaVu Sans Condensed") : QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// The title band: a vertical gradient with a coloured lower edge; the tile repeats it.
void TitleBand(QPainter& p, int w, const Style& s) {
    QLinearGradient band(0, 0, 0, 40);
    band.setColorAt(0, s.titleTop);
    band.setColorAt(1, s.titleBottom);
    p.fillRect(0, 0, w, 40, band);
    p.fillRect(0, 40, w, 1, s.titleLine);
    p.fillRect(0, 41, w, 1, s.titleBottom);
}

// The program's mark: four tiles of an icon grid, one of them lit.
void Mark(QPainter& p, int x, int y, int cell, const Style& s, bool hot) {
    p.setRenderHint(QPainter::Antialiasing);
    const QColor lit = hot ? s.accentHot : s.accent;
    const QColor dim = s.textDim;
    for (int i = 0; i < 4; ++i) {
        const QRectF r(x + (i % 2) * (cell + 3), y + (i / 2) * (cell + 3), cell, cell);
        p.setPen(Qt::NoPen);
        p.setBrush(i == 1 ? lit : dim);
        p.drawRoundedRect(r, 2.5, 2.5);
    }
}

QImage Title(const Style& s, bool hot) {
    QImage image = Canvas(150, 42, s.titleBottom);
    QPainter p(&image);
    TitleBand(p, 150, s);
    Mark(p, 9, 9, 10, s, hot);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(Font(19, true));
    p.setPen(hot ? s.accentHot : s.text);
    p.drawText(QPoint(38, 23), QStringLiteral("Glyptor"));
    p.setFont(Font(10, true));
    p.setPen(s.accent);
    p.drawText(QPoint(121, 14), QStringLiteral("3"));
    p.setFont(Font(10));
    p.setPen(hot ? s.text : s.textDim);
    p.drawText(QPoint(39, 35), QStringLiteral("значки Windows"));
    return image;
}

QImage Tile1(const Style& s) {
    QImage image = Canvas(6, 42, s.titleBottom);
    QPainter p(&image);
    TitleBand(p, 6, s);
    return image;
}

QImage Options(const Style& s, bool hot) {
    QImage image = Canvas(91, 10, s.strip);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = hot ? s.stripHot : s.stripText;
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPolygon(QPolygonF({QPointF(3, 3), QPointF(10, 3), QPointF(6.5, 7.5)}));
    p.setFont(Font(9, hot, true));
    p.setPen(ink);
    p.drawText(QPoint(14, 8), QStringLiteral("Параметры"));
    return image;
}

QImage Scan(const Style& s, bool hot) {
    QImage image = Canvas(121, 15, s.strip);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = hot ? s.stripHot : s.stripText;
    // A magnifying glass.
    p.setPen(QPen(ink, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(3.5, 2.5, 7, 7));
    p.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 9.5), QPointF(13, 12.5));
    p.setFont(Font(11, hot));
    p.setPen(ink);
    p.drawText(QPoint(19, 11), QStringLiteral("Сканировать"));
    return image;
}

QImage Round16(const Style& s, bool hot, const std::function<void(QPainter&, QColor)>& inside) {
    QImage image = Canvas(16, 16, s.status);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = hot ? s.accentHot : s.statusInk;
    if (hot) {
        p.setPen(Qt::NoPen);
        p.setBrush(s.accent);
        p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
        inside(p, s.status == QColor(255, 255, 255) ? s.strip : QColor(255, 255, 255));
    } else {
        p.setPen(QPen(ink, 1.3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(1, 1, 14, 14));
        inside(p, ink);
    }
    return image;
}

QImage About(const Style& s, bool hot) {
    return Round16(s, hot, [](QPainter& p, QColor ink) {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(QRectF(7, 3.5, 2.2, 2.2));
        p.drawRoundedRect(QRectF(7, 6.8, 2.2, 6), 0.8, 0.8);
    });
}

QImage Www(const Style& s, bool hot) {
    return Round16(s, hot, [](QPainter& p, QColor ink) {
        p.setPen(QPen(ink, 1));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(5.2, 1.5, 5.6, 13));
        p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
        p.drawLine(QPointF(3, 4.8), QPointF(13, 4.8));
        p.drawLine(QPointF(3, 11.2), QPointF(13, 11.2));
    });
}

void ToolStrip(QPainter& p, int w, const Style& s) {
    p.fillRect(0, 0, w, 23, s.tool);
    p.fillRect(0, 0, w, 1, s.toolLine);
}

QImage Tile2(const Style& s) {
    QImage image = Canvas(5, 23, s.tool);
    QPainter p(&image);
    ToolStrip(p, 5, s);
    return image;
}

QImage Tools1(const Style& s) {
    QImage image = Canvas(17, 23, s.tool);
    QPainter p(&image);
    ToolStrip(p, 17, s);
    // A grip of dots where the tool buttons begin.
    for (int y = 5; y <= 19; y += 3) {
        p.fillRect(6, y, 1, 1, s.toolDots);
        p.fillRect(9, y + 1, 1, 1, s.toolDots);
    }
    return image;
}

QImage Exit(const Style& s, bool hot) {
    QImage image = Canvas(29, 23, s.tool);
    QPainter p(&image);
    ToolStrip(p, 29, s);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(hot ? s.exitHot : s.exit);
    p.drawRoundedRect(QRectF(4, 4, 21, 16), 3, 3);
    // A power sign.
    const QColor ink(255, 255, 255);
    p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(10, 7.5, 9, 9), 120 * 16, 300 * 16);
    p.drawLine(QPointF(14.5, 6), QPointF(14.5, 11.5));
    return image;
}

QImage Resize1(const Style& s) {
    QImage image = Canvas(14, 23, s.tool);
    QPainter p(&image);
    ToolStrip(p, 14, s);
    // Dots along the diagonal of the lower-right corner.
    for (int row = 0; row < 4; ++row)
        for (int col = 3 - row; col < 4; ++col)
            p.fillRect(2 + col * 3, 9 + row * 3, 2, 2, s.toolDots);
    return image;
}

// Glyph canvas: the lower-left pixel stays the key colour, which the button shows see-through.
QImage GlyphCanvas(int size) {
    return Canvas(size, size, kKey);
}

// A small monitor: the frame and screen of the wallpaper glyphs.
void Monitor(QPainter& p, const Style& s) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(s.glyphInk);
    p.setBrush(s.glyphPaper);
    p.drawRect(2, 3, 15, 11);
    p.fillRect(8, 15, 4, 1, s.glyphInk);
    p.fillRect(6, 16, 8, 1, s.glyphInk);
}

QImage ToolCentre(const Style& s) {
    QImage image = GlyphCanvas(20);
    QPainter p(&image);
    Monitor(p, s);
    p.fillRect(7, 6, 6, 6, s.glyphAccent);
    return image;
}

QImage ToolTile(const Style& s) {
    QImage image = GlyphCanvas(20);
    QPainter p(&image);
    Monitor(p, s);
    for (int i = 0; i < 6; ++i)
        p.fillRect(4 + (i % 3) * 4, 5 + (i / 3) * 4, 3, 3, s.glyphAccent);
    return image;
}

QImage ToolCopy(const Style& s) {
    QImage image = GlyphCanvas(20);
    QPainter p(&image);
    p.setPen(s.glyphInk);
    p.setBrush(s.glyphPaper);
    p.drawRect(3, 2, 9, 11);
    p.drawRect(8, 6, 9, 11);
    for (int y = 9; y <= 14; y += 2)
        p.fillRect(10, y, 5, 1, s.glyphAccent);
    return image;
}

QImage ToolSave(const Style& s) {
    QImage image = GlyphCanvas(20);
    QPainter p(&image);
    p.setPen(s.glyphInk);
    p.setBrush(s.glyphAccent);
    p.drawRect(3, 3, 14, 14);
    p.fillRect(6, 4, 8, 5, s.glyphPaper);
    p.fillRect(11, 5, 2, 3, s.glyphInk);
    p.fillRect(6, 12, 8, 5, s.glyphInk);
    return image;
}

QImage TitleButton(const Style& s, bool maximise) {
    QImage image = GlyphCanvas(16);
    QPainter p(&image);
    p.setPen(s.textDim);
    p.setBrush(s.buttonFace);
    p.drawRect(1, 1, 13, 13);
    if (maximise) {
        p.setPen(s.text);
        p.setBrush(Qt::NoBrush);
        p.drawRect(4, 4, 7, 6);
        p.fillRect(4, 4, 8, 2, s.text);
    } else {
        p.fillRect(4, 9, 8, 2, s.text);
    }
    return image;
}

QImage Logo(const Style& s) {
    QImage image = Canvas(200, 200, s.logoBack);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A grid of nine icon cells, the middle one picked out.
    const QColor cells[] = {QColor(230, 80, 60),  QColor(240, 170, 40), QColor(90, 190, 80),
                            QColor(60, 150, 230), QColor(0, 0, 0),      QColor(150, 90, 210),
                            QColor(40, 190, 190), QColor(220, 90, 160), QColor(160, 160, 160)};
    const QColor frame = s.logoBack.lightness() > 128 ? QColor(200, 200, 200) : QColor(70, 70, 70);
    for (int i = 0; i < 9; ++i) {
        const QRectF cell(28 + (i % 3) * 50, 12 + (i / 3) * 50, 42, 42);
        p.setPen(QPen(frame, 1.5));
        p.setBrush(s.logoBack);
        p.drawRoundedRect(cell, 7, 7);
        const QRectF mark = cell.adjusted(11, 11, -11, -11);
        p.setPen(Qt::NoPen);
        if (i == 4) {
            p.setPen(QPen(s.accent, 3));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(cell.adjusted(-2, -2, 2, 2), 8, 8);
            p.setPen(Qt::NoPen);
            p.setBrush(s.accent);
            p.drawRoundedRect(cell.adjusted(9, 9, -9, -9), 4, 4);
            continue;
        }
        p.setBrush(cells[i]);
        switch (i % 3) {
        case 0:
            p.drawEllipse(mark);
            break;
        case 1:
            p.drawRoundedRect(mark, 3, 3);
            break;
        default:
            p.drawPolygon(QPolygonF(
                {QPointF(mark.center().x(), mark.top()), mark.bottomRight(), mark.bottomLeft()}));
            break;
        }
    }
    p.setFont(Font(20, true));
    p.setPen(s.logoBack.lightness() > 128 ? QColor(40, 40, 40) : QColor(230, 230, 230));
    p.drawText(QRect(0, 166, 200, 30), Qt::AlignCenter, QStringLiteral("Glyptor"));
    return image;
}

std::map<std::string, std::function<QImage(const Style&)>> Drawings() {
    return {
        {"TITLE1", [](const Style& s) { return Title(s, false); }},
        {"TITLE2", [](const Style& s) { return Title(s, true); }},
        {"TILE1", Tile1},
        {"TILE2", Tile2},
        {"OPTIONS1", [](const Style& s) { return Options(s, false); }},
        {"OPTIONS2", [](const Style& s) { return Options(s, true); }},
        {"SCAN1", [](const Style& s) { return Scan(s, false); }},
        {"SCAN2", [](const Style& s) { return Scan(s, true); }},
        {"ABOUT1", [](const Style& s) { return About(s, false); }},
        {"ABOUT2", [](const Style& s) { return About(s, true); }},
        {"WWW1", [](const Style& s) { return Www(s, false); }},
        {"WWW2", [](const Style& s) { return Www(s, true); }},
        {"EXIT1", [](const Style& s) { return Exit(s, false); }},
        {"EXIT2", [](const Style& s) { return Exit(s, true); }},
        {"TOOLS1", Tools1},
        {"RESIZE1", Resize1},
        {"TOOL1", ToolCentre},
        {"TOOL2", ToolTile},
        {"TOOL3", ToolCopy},
        {"TOOL4", ToolSave},
        {"MAX", [](const Style& s) { return TitleButton(s, true); }},
        {"MIN", [](const Style& s) { return TitleButton(s, false); }},
        {"LOGO", Logo},
    };
}

// Ordered 2 x 2 dithering towards the 8-bit table, so that gradients do not fall into wide
// bands. Each pixel moves by up to three eighths of the gap between its two nearest table
// colours, so a colour that is in the table stays itself; the pattern repeats every two
// pixels, which keeps even-sized tiles seamless.
QImage Dithered(const QImage& image) {
    using glyptor::dib::RGBQUAD;
    const auto table = glyptor::dib::DefaultColourTable(8);
    auto distance = [](QRgb a, const RGBQUAD& b) {
        const int dr = qRed(a) - b.rgbRed, dg = qGreen(a) - b.rgbGreen, db = qBlue(a) - b.rgbBlue;
        return dr * dr + dg * dg + db * db;
    };
    static constexpr double kThreshold[2][2] = {{-0.375, 0.125}, {0.375, -0.125}};
    QImage result = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < result.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            const QRgb pixel = row[x];
            int first = -1, second = -1;
            for (int i = 0; i < int(table.size()); ++i) {
                if (first < 0 || distance(pixel, table[i]) < distance(pixel, table[first])) {
                    second = first;
                    first = i;
                } else if ((second < 0 ||
                            distance(pixel, table[i]) < distance(pixel, table[second])) &&
                           distance(pixel, table[i]) != distance(pixel, table[first])) {
                    second = i;
                }
            }
            const RGBQUAD& a = table[first];
            const RGBQUAD& b = table[second];
            const double t = kThreshold[y % 2][x % 2];
            auto shift = [&](int value, int from, int to) {
                return std::clamp(int(std::lround(value + (to - from) * t)), 0, 255);
            };
            row[x] = qRgb(shift(qRed(pixel), a.rgbRed, b.rgbRed),
                          shift(qGreen(pixel), a.rgbGreen, b.rgbGreen),
                          shift(qBlue(pixel), a.rgbBlue, b.rgbBlue));
        }
    }
    return result;
}

bool Write(const QImage& drawn, const PictureKey& picture, const QString& path) {
    if (drawn.size() != picture.size) {
        std::fprintf(stderr, "%s: drawn at the wrong size\n", picture.resource);
        return false;
    }
    const QImage rgb = drawn.convertToFormat(QImage::Format_RGB32);
    glyptor::dib::Bitmap bitmap;
    bitmap.width = rgb.width();
    bitmap.height = rgb.height();
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        bitmap.pixels.insert(bitmap.pixels.end(), row, row + rgb.width());
    }
    try {
        glyptor::dib::SaveBmpFile(QFile::encodeName(path).toStdString(), bitmap,
                                  static_cast<unsigned>(picture.depth));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), error.what());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: glyptor-skingen builtin|light|blue OUTDIR\n");
        return 2;
    }
    const std::string kind = argv[1];
    Style style;
    if (kind == "builtin")
        style = BuiltInStyle();
    else if (kind == "light")
        style = LightStyle();
    else if (kind == "blue")
        style = BlueStyle();
    else {
        std::fprintf(stderr, "unknown skin '%s'\n", argv[1]);
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[2]));
    const auto drawings = Drawings();
    bool ok = true;
    for (const PictureKey& picture : glyptor::skin::kPictureKeys) {
        const QString name = kind == "builtin" ? QString::fromLatin1(picture.resource)
                                               : QString::fromLatin1(picture.key);
        QImage drawn = drawings.at(picture.resource)(style);
        // The title band is the one gradient of the skin.
        const std::string resource = picture.resource;
        if (resource == "TITLE1" || resource == "TITLE2" || resource == "TILE1")
            drawn = Dithered(drawn);
        ok = Write(drawn, picture, out.filePath(name + QStringLiteral(".bmp"))) && ok;
    }
    return ok ? 0 : 1;
}
