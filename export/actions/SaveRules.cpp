#include "export/actions/SaveRules.h"

#include <QRegularExpression>

#include <algorithm>

namespace glyptor {

QString SaveFileTypes() {
    return QStringLiteral("Icon files (16 color ico)|*.ico|Icon files (256 color ico)|*.ico|"
                          "Icon files (High-color ico)|*.ico|Icon files (True color ico)|*.ico|"
                          "Bitmap files (*.bmp)|*.bmp|32-битный значок|*.ico");
}

QStringList TypeDescriptions(const QString& typeList) {
    const QStringList parts = typeList.split(QLatin1Char('|'));
    QStringList descriptions;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        descriptions << parts[i];
    return descriptions;
}

QStringList NameFiltersFromTypeList(const QString& typeList) {
    const QStringList parts = typeList.split(QLatin1Char('|'));
    QStringList filters;
    // Qt takes the patterns from the last parentheses; the descriptions carry parentheses of
    // their own, so the pattern is always appended.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
    return filters;
}

int TypeOfNameFilter(const QString& typeList, const QString& filter) {
    qsizetype index = NameFiltersFromTypeList(typeList).indexOf(filter);
    if (index < 0)
        index = TypeDescriptions(typeList).indexOf(filter);
    return static_cast<int>(index) + 1;
}

QString DefaultSuffixForType(const QString& typeList, int type, const QString& fallback) {
    const QStringList parts = typeList.split(QLatin1Char('|'));
    const QString pattern = type >= 1 ? parts.value(2 * (type - 1) + 1) : QString();
    // Only a plain "*.ext" names one extension; "*.*" or a list of patterns do not.
    if (!pattern.startsWith(QLatin1String("*.")) || pattern.size() < 3 ||
        pattern.indexOf(QRegularExpression(QStringLiteral("[*?;\\[\\] ]")), 2) >= 0)
        return fallback;
    return pattern.mid(2);
}

QString SuggestedSaveName(const QString& fileName, int iconIndex) {
    QString name = fileName + QLatin1Char('_') + QString::number(iconIndex);
    name.replace(QLatin1Char('.'), QLatin1Char('_'));
    return name;
}

std::optional<std::uint8_t> DepthCodeForSaveType(int type) {
    switch (type) {
    case 1:
        return 1;
    case 2:
        return 2;
    case 3:
        return 4;
    case 4:
        return 5;
    default:
        return std::nullopt;
    }
}

QString LowerExtension(const QString& path) {
    // Program paths separate folders with "\", native ones with "/".
    const qsizetype slash =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return {};
    return path.mid(dot).toLower();
}

SaveKind SaveKindForName(const QString& path) {
    const QString extension = LowerExtension(path);
    if (extension == QLatin1String(".ico"))
        return SaveKind::Icon;
    if (extension == QLatin1String(".bmp"))
        return SaveKind::Picture;
    return SaveKind::Nothing;
}

} // namespace glyptor
