// The twelve remembered values: read once while the window is created, written once when it
// closes. They live as strings in the per-user INI file; the write (WriteSettingsFile) goes
// through a temporary file and a rename, so a failed write never costs the user the settings
// they had.
#include "app/Umain.h"

#include "app/SettingsRules.h"
#include "platform/core/Settings.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QSplitter>

#include <stdexcept>

namespace glyptor {

namespace {

// Values sit directly in the file's general section; the Drives section is the platform's.
class SettingsReader {
public:
    SettingsReader() : store_(platform::SettingsFilePath(), QSettings::IniFormat) {}

    std::optional<QString> Text(const char* name) {
        const QVariant value = store_.value(QLatin1String(name));
        if (!value.isValid())
            return std::nullopt;
        if (value.typeId() != QMetaType::QString)
            throw std::runtime_error(QStringLiteral("Invalid data type for '%1'")
                                         .arg(QLatin1String(name))
                                         .toStdString());
        return value.toString();
    }

    int Integer(const char* name, int fallback) {
        const auto text = Text(name);
        return text ? ParseSettingInteger(*text, fallback) : fallback;
    }

private:
    QSettings store_;
};

} // namespace

void TFMain::LoadSettings() {
    SettingsReader store;
    const CacheBounds cache =
        AdjustCacheBounds(store.Integer("MaxCash", 3000), store.Integer("MinCash", 2000));
    MaxCash = cache.maxCash;
    MinCash = cache.minCash;

    const QSize screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->geometry().size()
                             : QSize(1024, 768);
    WindowBounds bounds;
    bounds.top = store.Integer("WinTop", 30);
    bounds.left = store.Integer("WinLeft", 30);
    bounds.height = store.Integer("WinHeight", 400);
    bounds.width = store.Integer("WinWidth", 600);
    bounds = FitWindowBounds(bounds, screen.width(), screen.height());
    move(bounds.left, bounds.top);
    resize(bounds.width, bounds.height);

    ScanSubfolders = store.Integer("SubFolders", 1) != 0;
    subfolders1->setChecked(ScanSubfolders);
    IconBox->SetColor(store.Integer("iconboxcolor", 0));
    StartDir = store.Text("LastDir").value_or(QStringLiteral("C:"));
    ExtMask = store.Text("Mask").value_or(QString());
    Theme = store.Text("Theme").value_or(QStringLiteral("default"));
    const int filesWidth = store.Integer("browserwidth", 210);
    PanelFiles->resize(filesWidth, PanelFiles->height());
    Splitter1->setSizes({std::max(0, width() - 9 - filesWidth), filesWidth});
}

void TFMain::LoadGridColorSetting() {
    SettingsReader store;
    IconBox->SetColor(store.Integer("iconboxcolor", 0));
}

void TFMain::SaveSettings() {
    const QList<int> sizes = Splitter1->sizes();
    const int filesWidth = sizes.size() > 1 ? sizes[1] : PanelFiles->width();
    const QRect bounds = NormalBounds();
    WriteSettingsFile(platform::SettingsFilePath(),
                      {{"SubFolders", ScanSubfolders ? "1" : "0"},
                       {"Mask", ExtMask},
                       {"Theme", Theme},
                       {"LastDir", CurrentDir},
                       {"browserwidth", QString::number(filesWidth)},
                       {"WinTop", QString::number(bounds.top())},
                       {"WinLeft", QString::number(bounds.left())},
                       {"WinHeight", QString::number(bounds.height())},
                       {"WinWidth", QString::number(bounds.width())},
                       {"iconboxcolor", QString::number(IconBox->Color())},
                       {"MaxCash", QString::number(MaxCash)},
                       {"MinCash", QString::number(MinCash)}});
}

} // namespace glyptor
