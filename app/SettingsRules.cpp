// The arithmetic of the remembered values, and the one write of the settings file.
#include "app/SettingsRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <climits>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace glyptor {

int ParseSettingInteger(const QString& text, int fallback) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : fallback;
}

const std::vector<SettingKey>& SettingKeys() {
    using V = SettingsValues;
    static const std::vector<SettingKey> keys{
        {"MaxCash", "3000", &V::MaxCash, nullptr, {300, 300, "MinCash"}},
        {"MinCash", "2000", &V::MinCash, nullptr, {500, 500}},
        {"WinTop", "30", &V::WinTop, nullptr},
        {"WinLeft", "30", &V::WinLeft, nullptr},
        {"WinHeight", "400", &V::WinHeight, nullptr, {100, 100}},
        {"WinWidth", "600", &V::WinWidth, nullptr, {300, 370}},
        {"SubFolders", "1", &V::SubFolders, nullptr},
        {"iconboxcolor", "0", &V::iconboxcolor, nullptr},
        {"LastDir", "C:", nullptr, &V::LastDir},
        {"Mask", "", nullptr, &V::Mask},
        {"Theme", "default", nullptr, &V::Theme},
        {"browserwidth", "210", &V::browserwidth, nullptr},
        {"IconSize", "32", &V::IconSize, nullptr},
        {"FoldDuplicates", "0", &V::FoldDuplicates, nullptr},
        {"ScanIndex", "1", &V::ScanIndex, nullptr},
        {"ScanIndexMaxMB", "64", &V::ScanIndexMaxMB, nullptr},
    };
    return keys;
}

const SettingKey& SettingKeyNamed(const char* name) {
    for (const SettingKey& key : SettingKeys())
        if (qstrcmp(key.name, name) == 0)
            return key;
    throw std::logic_error("unknown setting");
}

namespace {

int ApplyBound(const SettingBound& bound, int value) {
    return value < bound.minimum ? bound.replacement : value;
}

} // namespace

CacheBounds AdjustCacheBounds(int maxCash, int minCash) {
    minCash = ApplyBound(SettingKeyNamed("MinCash").bound, minCash);
    // MaxCash's bound is relative to MinCash (its `above`).
    const SettingBound& above = SettingKeyNamed("MaxCash").bound;
    // Compared in 64 bits: a stored extreme value must not wrap the difference.
    if (static_cast<long long>(maxCash) - minCash < above.minimum)
        maxCash = minCash > INT_MAX - above.replacement ? INT_MAX : minCash + above.replacement;
    return {maxCash, minCash};
}

int LimitWidth(int width) {
    return ApplyBound(SettingKeyNamed("WinWidth").bound, width);
}

int LimitHeight(int height) {
    return ApplyBound(SettingKeyNamed("WinHeight").bound, height);
}

WindowBounds FitWindowBounds(WindowBounds bounds, int screenWidth, int screenHeight) {
    if (screenHeight < bounds.top)
        bounds.top = 30;
    if (screenWidth < bounds.left)
        bounds.left = 30;
    bounds.height = LimitHeight(bounds.height);
    bounds.width = LimitWidth(bounds.width);
    if (static_cast<long long>(screenHeight) - bounds.top < bounds.height)
        bounds.height = LimitHeight(screenHeight - bounds.top - 20);
    if (static_cast<long long>(screenWidth) - bounds.left < bounds.width)
        bounds.width = LimitWidth(screenWidth - bounds.left - 20);
    return bounds;
}

namespace {

[[noreturn]] void CannotWrite(const QString& path) {
    throw std::runtime_error(
        QStringLiteral("Cannot write settings file %1").arg(path).toStdString());
}

bool Sync(const QString& path, int flags) {
    const int descriptor = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool synced = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return synced;
}

} // namespace

void WriteSettingsFile(const QString& path, const QList<QPair<QString, QString>>& values) {
    const QString temporary = path + QStringLiteral(".new");
    const QString folder = QFileInfo(path).absolutePath();
    QDir().mkpath(folder);
    QFile::remove(temporary);
    bool oldIsDamaged = false;
    {
        // Keep whatever else the file holds (the Drives section, keys of later versions).
        QSettings old(path, QSettings::IniFormat);
        QSettings store(temporary, QSettings::IniFormat);
        oldIsDamaged = QFileInfo::exists(path) && old.status() != QSettings::NoError;
        for (const QString& key : old.allKeys())
            store.setValue(key, old.value(key));
        for (const auto& [name, value] : values)
            store.setValue(name, value);
        store.sync();
        if (store.status() != QSettings::NoError) {
            QFile::remove(temporary);
            CannotWrite(path);
        }
    }
    if (!Sync(temporary, O_RDONLY)) {
        QFile::remove(temporary);
        CannotWrite(path);
    }
    if (oldIsDamaged) {
        // Only what could be parsed was carried over; the rest may be all the user had.
        const QString bad = path + QStringLiteral(".bad");
        QFile::remove(bad);
        if (::link(QFile::encodeName(path).constData(), QFile::encodeName(bad).constData()) != 0 &&
            !QFile::copy(path, bad)) {
            QFile::remove(temporary);
            CannotWrite(path);
        }
    }
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) !=
        0) {
        QFile::remove(temporary);
        CannotWrite(path);
    }
    // Without this the rename may be lost in a power cut while the old file's blocks are gone.
    Sync(folder, O_RDONLY | O_DIRECTORY);
}

} // namespace glyptor
