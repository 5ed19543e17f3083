// The scanner's small rules, kept apart from the window so they can be tested alone.
#pragma once

#include <QString>
#include <QStringList>

namespace glyptor {

// ".DLL", ".EXE", ".ICO", ".ICL", ".BMP": the extensions of the filter menu's type items.
const QStringList& TypeExtensions();

// The enumeration pattern: "*" + mask when exactly one type is chosen, else "*.*".
QString ScanPattern(const QString& extMask);

// The extension test: the text from the last "." (upper-cased) must occur in the mask, an
// empty mask lets everything pass, a name without an extension passes only an empty mask, and
// cursor files (".CUR", ".ANI") never pass.
bool PassesTypeFilter(const QString& fileName, const QString& extMask);

} // namespace glyptor
