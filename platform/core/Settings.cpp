#include "platform/core/Settings.h"

#include <QDir>
#include <QSettings>

namespace glyptor::platform {

QString SettingsFilePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + "/.config";
    return base + "/Brindlow/Glyptor.conf";
}

std::map<char, std::string> DriveOverrides() {
    std::map<char, std::string> overrides;
    QSettings store(SettingsFilePath(), QSettings::IniFormat);
    store.beginGroup("Drives");
    for (const QString& key : store.childKeys()) {
        const QVariant value = store.value(key);
        if (key.size() != 1 || value.typeId() != QMetaType::QString)
            continue;
        overrides[key.at(0).toUpper().toLatin1()] = value.toString().toStdString();
    }
    return overrides;
}

} // namespace glyptor::platform
