#include "resources/skin/SkinResources.h"

// The resource data lives in a static library, where nothing would pull its initialiser in;
// register it before the first look-up.
static void EnsureSkinResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(skin);
        return true;
    }();
    (void)registered;
}

namespace glyptor::resources {

QImage BuiltInSkinPicture(const QString& name) {
    EnsureSkinResources();
    QImage picture;
    picture.load(QStringLiteral(":/skin/%1.bmp").arg(name.toUpper()), "BMP");
    return picture;
}

} // namespace glyptor::resources
