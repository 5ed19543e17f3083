// The built-in skin's pictures, embedded in the program as BMP files (TITLE1 ... LOGO).
#pragma once

#include <QImage>
#include <QString>

namespace glyptor::resources {

// The built-in picture of that resource name, matched without regard to case; a null image
// when there is none.
QImage BuiltInSkinPicture(const QString& name);

} // namespace glyptor::resources
