// Draws the program's small built-in pictures (tree images, cursors, program icon) and writes
// them into resources/. Run by hand when a picture changes; its output is committed, so a build
// never needs to run it.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

QImage Canvas(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

void Save(const QImage& image, const QString& path) {
    if (!image.save(path, "PNG"))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

void Folder(QPainter& p, bool open) {
    const QColor edge(0x80, 0x60, 0x00), fill(0xf8, 0xd0, 0x40), light(0xff, 0xe8, 0x90);
    p.setPen(edge);
    p.setBrush(fill);
    p.drawRect(1, 4, 13, 9);
    p.drawRect(1, 2, 5, 2);
    if (open) {
        QPolygon flap;
        flap << QPoint(3, 7) << QPoint(15, 7) << QPoint(13, 13) << QPoint(1, 13);
        p.setBrush(light);
        p.drawPolygon(flap);
    } else {
        p.setPen(light);
        p.drawLine(2, 5, 13, 5);
    }
}

void Hourglass(QPainter& p) {
    p.setPen(QColor(0x40, 0x20, 0x00));
    p.setBrush(QColor(0xe0, 0xc0, 0x80));
    QPolygon glass;
    glass << QPoint(3, 1) << QPoint(12, 1) << QPoint(8, 7) << QPoint(12, 14) << QPoint(3, 14)
          << QPoint(7, 7);
    p.drawPolygon(glass);
    p.setBrush(QColor(0xc0, 0x80, 0x20));
    p.setPen(Qt::NoPen);
    QPolygon sand;
    sand << QPoint(5, 13) << QPoint(10, 13) << QPoint(7, 10);
    p.drawPolygon(sand);
}

void Drive(QPainter& p, const QColor& body, const QColor& light) {
    p.setPen(QColor(0x30, 0x30, 0x30));
    p.setBrush(body);
    p.drawRect(1, 6, 13, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawRect(11, 9, 2, 2);
}

void Removable(QPainter& p) {
    Drive(p, QColor(0xc0, 0xc0, 0xc0), QColor(0x00, 0xa0, 0x00));
    p.setPen(QColor(0x30, 0x30, 0x30));
    p.drawLine(3, 8, 9, 8);
}

void Disc(QPainter& p) {
    QRadialGradient shine(8, 8, 7);
    shine.setColorAt(0, QColor(0xff, 0xff, 0xff));
    shine.setColorAt(0.6, QColor(0xa0, 0xc8, 0xff));
    shine.setColorAt(1, QColor(0xd0, 0xa0, 0xff));
    p.setPen(QColor(0x50, 0x50, 0x70));
    p.setBrush(shine);
    p.drawEllipse(1, 1, 13, 13);
    p.setBrush(Qt::white);
    p.drawEllipse(6, 6, 3, 3);
}

void Network(QPainter& p) {
    Drive(p, QColor(0xc0, 0xc0, 0xc0), QColor(0x00, 0xa0, 0x00));
    p.setPen(QPen(QColor(0x20, 0x40, 0xa0), 2));
    p.drawLine(7, 12, 7, 15);
    p.drawLine(2, 15, 13, 15);
}

void Chip(QPainter& p) {
    p.setPen(QColor(0x30, 0x30, 0x30));
    p.setBrush(QColor(0x20, 0x60, 0x20));
    p.drawRect(1, 5, 13, 6);
    p.setPen(QColor(0xe0, 0xc0, 0x40));
    for (int x = 2; x < 14; x += 2) {
        p.drawLine(x, 3, x, 4);
        p.drawLine(x, 12, x, 13);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRect(3, 7, 3, 2);
    p.drawRect(9, 7, 3, 2);
}

void Check(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x00, 0xb0, 0x00), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPolygonF mark;
    mark << QPointF(2.5, 8.5) << QPointF(6, 12.5) << QPointF(13.5, 3);
    p.drawPolyline(mark);
}

// A 32 x 32 cursor: an arrow with a small badge at its lower right.
QImage Cursor(const std::function<void(QPainter&)>& badge) {
    QImage image = Canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF arrow;
    arrow << QPointF(0.5, 0.5) << QPointF(0.5, 15) << QPointF(4, 11.5) << QPointF(6.5, 17)
          << QPointF(9, 16) << QPointF(6.5, 10.5) << QPointF(11.5, 10.5);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPolygon(arrow);
    p.translate(14, 14);
    badge(p);
    return image;
}

void Monitor(QPainter& p, bool tiled) {
    p.setPen(Qt::black);
    p.setBrush(QColor(0x30, 0x60, 0xc0));
    p.drawRect(0, 0, 16, 12);
    p.setBrush(QColor(0xf0, 0xd0, 0x40));
    if (tiled) {
        for (int y = 2; y < 11; y += 5)
            for (int x = 2; x < 15; x += 5)
                p.drawRect(x, y, 3, 3);
    } else {
        p.drawRect(6, 4, 4, 4);
    }
    p.drawLine(8, 12, 8, 15);
    p.drawLine(4, 15, 12, 15);
}

void Pages(QPainter& p) {
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(0, 0, 10, 12);
    p.drawRect(5, 4, 10, 12);
}

void Disk(QPainter& p) {
    p.setPen(Qt::black);
    p.setBrush(QColor(0x20, 0x40, 0x90));
    p.drawRect(0, 0, 15, 15);
    p.setBrush(Qt::white);
    p.drawRect(3, 0, 9, 6);
    p.setBrush(QColor(0xa0, 0xa0, 0xa0));
    p.drawRect(3, 9, 9, 6);
}

QImage ProgramIcon(int size) {
    QImage image = Canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    QLinearGradient back(0, 0, 32, 32);
    back.setColorAt(0, QColor(0x3a, 0x6e, 0xd8));
    back.setColorAt(1, QColor(0x18, 0x2c, 0x6c));
    p.setPen(QPen(QColor(0x10, 0x18, 0x40), 1));
    p.setBrush(back);
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 6, 6);
    // A magnifier over a small grid of icons: finding pictures in files.
    const QColor cells[] = {QColor(0xf8, 0xd0, 0x40), QColor(0xe8, 0x50, 0x40),
                            QColor(0x60, 0xd0, 0x60), QColor(0xf0, 0xf0, 0xf0)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(cells[i]);
        p.drawRoundedRect(QRectF(6 + (i % 2) * 9, 6 + (i / 2) * 9, 7, 7), 1.5, 1.5);
    }
    p.setPen(QPen(Qt::white, 2.5));
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawEllipse(QPointF(17, 17), 6.5, 6.5);
    p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(22, 22), QPointF(27, 27));
    return image;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources");
    const std::function<void(QPainter&)> tree[9] = {
        [](QPainter& p) { Folder(p, false); },
        Hourglass,
        Removable,
        [](QPainter& p) { Drive(p, QColor(0xa0, 0xa0, 0xa0), QColor(0x00, 0xe0, 0x00)); },
        Disc,
        Network,
        Chip,
        [](QPainter& p) { Folder(p, true); },
        Check,
    };
    for (int i = 0; i < 9; ++i) {
        QImage image = Canvas(16, 16);
        QPainter p(&image);
        tree[i](p);
        p.end();
        Save(image, QStringLiteral("%1/tree/%2.png").arg(out).arg(i));
    }
    Save(Cursor([](QPainter& p) { Monitor(p, false); }), out + "/cursors/cursor_center.png");
    Save(Cursor([](QPainter& p) { Monitor(p, true); }), out + "/cursors/cursor_tile.png");
    Save(Cursor(Pages), out + "/cursors/cursor_copy.png");
    Save(Cursor(Disk), out + "/cursors/cursor_save.png");
    for (int size : {16, 32, 48, 64, 128, 256})
        Save(ProgramIcon(size), QStringLiteral("%1/icon/glyptor-%2.png").arg(out).arg(size));
    return 0;
}
