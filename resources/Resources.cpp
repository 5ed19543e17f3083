#include "resources/Resources.h"

#include <QFile>

// The resource data lives in a static library, where nothing would pull its initialiser in;
// register it explicitly before the first look-up.
static void EnsureResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)registered;
}

namespace glyptor::resources {

QPixmap TreeImage(int index) {
    EnsureResources();
    return QPixmap(QStringLiteral(":/tree/%1.png").arg(index));
}

QList<QIcon> TreeImages() {
    QList<QIcon> images;
    for (int i = 0; i < 9; ++i)
        images.append(QIcon(TreeImage(i)));
    return images;
}

QCursor LoadCursor(const char* name) {
    EnsureResources();
    const QPixmap picture(QStringLiteral(":/cursors/%1.png").arg(QLatin1String(name)));
    if (picture.isNull())
        return QCursor(Qt::ArrowCursor);
    // The arrow's tip is the hot spot, where a user aims.
    return QCursor(picture, 0, 0);
}

QPixmap ProgramIcon(int size) {
    EnsureResources();
    return QPixmap(QStringLiteral(":/icon/glyptor-%1.png").arg(size));
}

} // namespace glyptor::resources
