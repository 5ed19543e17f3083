// The wallpaper file, the centred/tiled rule, the choice of desktop and running its tools.
#include "platform/wallpaper/Wallpaper.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace glyptor::wallpaper {

WallpaperError::WallpaperError(const QString& text) : std::runtime_error(text.toStdString()) {}

QString WallpaperFilePath() {
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    // The XDG rules ignore a relative value.
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/Brindlow/Glyptor/~wallpap.bmp");
}

void WriteWallpaperFile(const QString& path, const std::vector<std::uint8_t>& bytes) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw WallpaperError(QStringLiteral("Cannot create file %1").arg(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw WallpaperError(QStringLiteral("Cannot create file %1").arg(path));
    const auto size = static_cast<qint64>(bytes.size());
    if (file.write(reinterpret_cast<const char*>(bytes.data()), size) != size || !file.commit())
        throw WallpaperError(
            QStringLiteral("Не удалось записать файл %1: %2").arg(path, file.errorString()));
}

std::optional<QString> PictureOptionToWrite(const QString& current, const QString& centred,
                                            const QString& tiled, const QStringList& scaling,
                                            WallpaperMode mode) {
    const bool scaled = scaling.contains(current);
    if (mode == WallpaperMode::Tile && (current == centred || scaled))
        return tiled;
    if (mode == WallpaperMode::Center && (current == tiled || scaled))
        return centred;
    return std::nullopt;
}

Desktop DesktopFromList(const QString& currentDesktops) {
    // Distributions put their own name first ("ubuntu:GNOME", "Budgie:GNOME"); the first
    // name we know decides.
    for (const QString& name : currentDesktops.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString upper = name.trimmed().toUpper();
        if (upper == QLatin1String("GNOME") || upper == QLatin1String("GNOME-CLASSIC") ||
            upper == QLatin1String("GNOME-FLASHBACK") || upper == QLatin1String("UNITY"))
            return Desktop::Gnome;
        if (upper == QLatin1String("BUDGIE"))
            return Desktop::Budgie;
        if (upper == QLatin1String("X-CINNAMON") || upper == QLatin1String("CINNAMON"))
            return Desktop::Cinnamon;
        if (upper == QLatin1String("MATE"))
            return Desktop::Mate;
        if (upper == QLatin1String("XFCE"))
            return Desktop::Xfce;
        if (upper == QLatin1String("KDE"))
            return Desktop::Kde;
    }
    return Desktop::Unsupported;
}

CommandResult RunCommand(const QString& program, const QStringList& arguments) {
    CommandResult result;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return result;
    // A desktop service that hangs must not freeze the window for good.
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(1000);
        return result;
    }
    result.started = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.output = process.readAllStandardOutput();
    result.errors = process.readAllStandardError();
    return result;
}

QString SetDesktopWallpaper(const std::vector<std::uint8_t>& bmpFile, WallpaperMode mode,
                            const CommandRunner& run) {
    const QString path = WallpaperFilePath();
    WriteWallpaperFile(path, bmpFile);
    TellDesktop(DesktopFromList(qEnvironmentVariable("XDG_CURRENT_DESKTOP")), path, mode, run);
    return path;
}

} // namespace glyptor::wallpaper
