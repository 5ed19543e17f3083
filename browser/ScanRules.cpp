#include "browser/ScanRules.h"

namespace glyptor {

const QStringList& TypeExtensions() {
    static const QStringList extensions = {".DLL", ".EXE", ".ICO", ".ICL", ".BMP"};
    return extensions;
}

QString ScanPattern(const QString& extMask) {
    return extMask.size() == 4 ? QStringLiteral("*") + extMask : QStringLiteral("*.*");
}

bool PassesTypeFilter(const QString& fileName, const QString& extMask) {
    const int dot = fileName.lastIndexOf('.');
    const QString ext = dot >= 0 ? fileName.mid(dot).toUpper() : QString();
    // A substring test on purpose: with ".DLL.EXE" a partial extension such as ".DL" passes too.
    if (!extMask.isEmpty() && (ext.isEmpty() || !extMask.contains(ext)))
        return false;
    return ext != QLatin1String(".CUR") && ext != QLatin1String(".ANI");
}

} // namespace glyptor
