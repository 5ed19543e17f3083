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

CacheBounds AdjustCacheBounds(int maxCash, int minCash) {
    if (minCash < 500)
        minCash = 500;
    // Compared in 64 bits: a stored extreme value must not wrap the difference.
    if (static_cast<long long>(maxCash) - minCash < 300)
        maxCash = minCash > INT_MAX - 300 ? INT_MAX : minCash + 300;
    return {maxCash, minCash};
}

int LimitWidth(int width) {
    return width < 300 ? 370 : width;
}

int LimitHeight(int height) {
    return height < 100 ? 100 : height;
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
