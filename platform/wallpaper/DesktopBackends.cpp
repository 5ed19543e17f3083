// Telling each desktop about the wallpaper through the tool it reads its own settings with:
// gsettings for the GNOME family, xfconf-query for Xfce, Plasma's scripting interface for KDE.
// Each desktop has its own words for "centred" and "tiled"; the rule of Wallpaper.h is applied
// to those words.
#include "platform/wallpaper/Wallpaper.h"

#include <QUrl>

namespace glyptor::wallpaper {

namespace {

QString SavedTo(const QString& file) {
    return QStringLiteral("Рисунок сохранён в файл %1.").arg(file);
}

// Throws unless the tool ran and reported success.
void Require(const CommandResult& result, const QString& tool, const QString& file) {
    if (!result.started)
        throw WallpaperError(
            QStringLiteral("Не удалось установить обои: не запускается %1. ").arg(tool) +
            SavedTo(file));
    if (result.exitCode != 0) {
        QString reason = QString::fromLocal8Bit(result.errors).trimmed();
        if (reason.isEmpty())
            reason = QStringLiteral("код завершения %1").arg(result.exitCode);
        throw WallpaperError(
            QStringLiteral("Не удалось установить обои через %1: %2. ").arg(tool, reason) +
            SavedTo(file));
    }
}

// --- gsettings ------------------------------------------------------------------------------

struct GSettingsSchema {
    QString schema;
    QString pictureKey;
    bool pictureIsUri = true;
    bool darkKeyToo = false; // GNOME 42 and later show picture-uri-dark in dark style
};

// A string in GVariant text form, as gsettings set expects it.
QString GVariantString(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// The string gsettings get prints ('centered', or "it's" when the text holds a quote).
QString ParseGVariantString(const QByteArray& printed) {
    const QString text = QString::fromUtf8(printed).trimmed();
    if (text.size() < 2 ||
        (text.front() != QLatin1Char('\'') && text.front() != QLatin1Char('"')) ||
        text.back() != text.front())
        return text;
    QString inner;
    const QString quoted = text.mid(1, text.size() - 2);
    for (qsizetype i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == QLatin1Char('\\') && i + 1 < quoted.size())
            ++i;
        inner += quoted[i];
    }
    return inner;
}

void TellGSettings(const GSettingsSchema& keys, const QString& file, WallpaperMode mode,
                   const CommandRunner& run) {
    const QString tool = QStringLiteral("gsettings");
    const QString optionsKey = QStringLiteral("picture-options");
    const CommandResult current = run(tool, {QStringLiteral("get"), keys.schema, optionsKey});
    Require(current, tool, file);
    const QString option = ParseGVariantString(current.output);
    const QStringList scaling{QStringLiteral("zoom"), QStringLiteral("scaled"),
                              QStringLiteral("stretched"), QStringLiteral("spanned")};
    if (auto next = PictureOptionToWrite(option, QStringLiteral("centered"),
                                         QStringLiteral("wallpaper"), scaling, mode))
        Require(run(tool, {QStringLiteral("set"), keys.schema, optionsKey, GVariantString(*next)}),
                tool, file);

    const QString picture =
        keys.pictureIsUri ? QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded) : file;
    QStringList pictureKeys{keys.pictureKey};
    if (keys.darkKeyToo) {
        const CommandResult listed = run(tool, {QStringLiteral("list-keys"), keys.schema});
        Require(listed, tool, file);
        const QString darkKey = keys.pictureKey + QStringLiteral("-dark");
        if (QString::fromUtf8(listed.output).split(QLatin1Char('\n')).contains(darkKey))
            pictureKeys << darkKey;
    }
    // The file keeps its name, and a desktop shows the picture it has for an unchanged value:
    // the key is cleared first, so that it changes and the new picture is loaded.
    for (const QString& key : pictureKeys) {
        Require(run(tool, {QStringLiteral("set"), keys.schema, key, GVariantString(QString())}),
                tool, file);
        Require(run(tool, {QStringLiteral("set"), keys.schema, key, GVariantString(picture)}), tool,
                file);
    }

    // Without a session bus the dconf back end drops the change with a warning and gsettings
    // still exits with 0; reading the value back tells whether the desktop will see it.
    const CommandResult stored = run(tool, {QStringLiteral("get"), keys.schema, keys.pictureKey});
    Require(stored, tool, file);
    if (ParseGVariantString(stored.output) != picture)
        throw WallpaperError(
            QStringLiteral("Не удалось установить обои: gsettings не сохранил новое значение "
                           "(запущен ли сеанс рабочего стола?). ") +
            SavedTo(file));
}

// --- Xfce -----------------------------------------------------------------------------------

void TellXfce(const QString& file, WallpaperMode mode, const CommandRunner& run) {
    const QString tool = QStringLiteral("xfconf-query");
    const QString channel = QStringLiteral("xfce4-desktop");
    const CommandResult listed = run(tool, {QStringLiteral("-c"), channel, QStringLiteral("-l")});
    Require(listed, tool, file);
    // One backdrop per monitor and workspace; xfdesktop creates them, so their names (which
    // carry the monitors' names) are known only from the list.
    const QString imageSuffix = QStringLiteral("/last-image");
    QStringList images;
    for (const QString& line : QString::fromUtf8(listed.output).split(QLatin1Char('\n'))) {
        const QString property = line.trimmed();
        if (property.startsWith(QLatin1String("/backdrop/")) && property.endsWith(imageSuffix))
            images << property;
    }
    if (images.isEmpty())
        throw WallpaperError(
            QStringLiteral(
                "Не удалось установить обои: рабочий стол Xfce не назвал ни одного фона. ") +
            SavedTo(file));
    for (const QString& image : images) {
        const QString style = image.chopped(imageSuffix.size()) + QStringLiteral("/image-style");
        const CommandResult current =
            run(tool, {QStringLiteral("-c"), channel, QStringLiteral("-p"), style});
        // A backdrop without a style of its own shows the default, which is neither.
        if (current.started && current.exitCode == 0) {
            const QString value = QString::fromUtf8(current.output).trimmed();
            // xfdesktop's styles: 0 none, 1 centred, 2 tiled, 3 stretched, 4 scaled, 5 zoomed,
            // 6 spanning the screens.
            const QStringList scaling{QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5"),
                                      QStringLiteral("6")};
            if (auto next = PictureOptionToWrite(value, QStringLiteral("1"), QStringLiteral("2"),
                                                 scaling, mode))
                Require(run(tool, {QStringLiteral("-c"), channel, QStringLiteral("-p"), style,
                                   QStringLiteral("-s"), *next}),
                        tool, file);
        }
        // Cleared first: xfdesktop reloads the picture only when the value changes.
        for (const QString& value : {QString(), file})
            Require(run(tool, {QStringLiteral("-c"), channel, QStringLiteral("-p"), image,
                               QStringLiteral("-s"), value}),
                    tool, file);
    }
}

// --- KDE Plasma -----------------------------------------------------------------------------

// The Plasma script for every desktop containment. Plasma's FillMode: 6 centred, 3 tiled; its
// scaling modes are 0 stretched, 1 fitted and 2 cropped, the last also when none is set.
QString PlasmaScript(const QString& file, WallpaperMode mode) {
    QString uri = QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
    uri.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    uri.replace(QLatin1Char('"'), QLatin1String("\\\""));
    const QString from = mode == WallpaperMode::Tile ? QStringLiteral("6") : QStringLiteral("3");
    const QString to = mode == WallpaperMode::Tile ? QStringLiteral("3") : QStringLiteral("6");
    return QStringLiteral("var all = desktops();\n"
                          "for (var i = 0; i < all.length; i++) {\n"
                          "    var d = all[i];\n"
                          "    d.wallpaperPlugin = \"org.kde.image\";\n"
                          "    d.currentConfigGroup = Array(\"Wallpaper\", \"org.kde.image\", "
                          "\"General\");\n"
                          "    var fill = String(d.readConfig(\"FillMode\"));\n"
                          "    if (fill == \"%2\" || fill == \"0\" || fill == \"1\" || "
                          "fill == \"2\" || fill == \"undefined\")\n"
                          "        d.writeConfig(\"FillMode\", %3);\n"
                          "    d.writeConfig(\"Image\", \"\");\n"
                          "    d.writeConfig(\"Image\", \"%1\");\n"
                          "}\n")
        .arg(uri, from, to);
}

void TellPlasma(const QString& file, WallpaperMode mode, const CommandRunner& run) {
    const QString tool = QStringLiteral("dbus-send");
    Require(run(tool, {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                       QStringLiteral("--dest=org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
                       QStringLiteral("org.kde.PlasmaShell.evaluateScript"),
                       QStringLiteral("string:") + PlasmaScript(file, mode)}),
            tool, file);
}

} // namespace

void TellDesktop(Desktop desktop, const QString& file, WallpaperMode mode,
                 const CommandRunner& run) {
    switch (desktop) {
    case Desktop::Gnome:
    case Desktop::Budgie:
        TellGSettings({QStringLiteral("org.gnome.desktop.background"),
                       QStringLiteral("picture-uri"), true, true},
                      file, mode, run);
        return;
    case Desktop::Cinnamon:
        TellGSettings({QStringLiteral("org.cinnamon.desktop.background"),
                       QStringLiteral("picture-uri"), true, false},
                      file, mode, run);
        return;
    case Desktop::Mate:
        TellGSettings({QStringLiteral("org.mate.background"), QStringLiteral("picture-filename"),
                       false, false},
                      file, mode, run);
        return;
    case Desktop::Xfce:
        TellXfce(file, mode, run);
        return;
    case Desktop::Kde:
        TellPlasma(file, mode, run);
        return;
    case Desktop::Unsupported:
        break;
    }
    throw WallpaperError(
        QStringLiteral("Не удалось установить обои: рабочий стол не поддерживается "
                       "(XDG_CURRENT_DESKTOP = \"%1\"). ")
            .arg(qEnvironmentVariable("XDG_CURRENT_DESKTOP")) +
        SavedTo(file));
}

} // namespace glyptor::wallpaper
