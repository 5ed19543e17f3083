#include "app/Settings.h"

#include "app/SettingsRules.h"
#include "browser/IconGrid.h"
#include "platform/core/Settings.h"

#include <QAction>
#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QSplitter>

#include <algorithm>

#include <exception>
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

    // Reads one value of the table into `values`; a missing value takes its default.
    void Read(const SettingKey& key, SettingsValues& values) {
        const QString fallback = QString::fromLatin1(key.defaultText);
        const QString text = Text(key.name).value_or(fallback);
        if (key.integer)
            values.*key.integer = ParseSettingInteger(text, ParseSettingInteger(fallback, 0));
        else
            values.*key.text = text;
    }

private:
    QSettings store_;
};

SettingsValues Defaults() {
    SettingsValues values;
    for (const SettingKey& key : SettingKeys()) {
        const QString text = QString::fromLatin1(key.defaultText);
        if (key.integer)
            values.*key.integer = ParseSettingInteger(text, 0);
        else
            values.*key.text = text;
    }
    return values;
}

} // namespace

TSettings::TSettings(ProgramState& state, SettingsControls controls,
                     std::function<QRect()> normalBounds, QObject* parent)
    : QObject(parent), state_(state), controls_(controls), normalBounds_(std::move(normalBounds)) {
    setObjectName(QStringLiteral("Settings"));
}

void TSettings::LoadSettings() {
    SettingsReader store;
    SettingsValues values = Defaults();
    // Reading stops at a damaged value; it and the values after it keep their defaults.
    std::exception_ptr damaged;
    try {
        for (const SettingKey& key : SettingKeys())
            store.Read(key, values);
    } catch (const std::runtime_error&) {
        damaged = std::current_exception();
    }

    const CacheBounds cache = AdjustCacheBounds(values.MaxCash, values.MinCash);
    state_.MaxCash = cache.maxCash;
    state_.MinCash = cache.minCash;

    const QSize screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->geometry().size()
                             : QSize(1024, 768);
    const WindowBounds bounds =
        FitWindowBounds({values.WinTop, values.WinLeft, values.WinHeight, values.WinWidth},
                        screen.width(), screen.height());
    QWidget* window = controls_.Window;
    window->move(bounds.left, bounds.top);
    window->resize(bounds.width, bounds.height);

    state_.ScanSubfolders = values.SubFolders != 0;
    controls_.subfolders1->setChecked(state_.ScanSubfolders);
    controls_.IconBox->SetColor(values.iconboxcolor);
    state_.StartDir = values.LastDir;
    state_.ExtMask = values.Mask;
    state_.Theme = values.Theme;
    const int filesWidth = values.browserwidth;
    controls_.PanelFiles->resize(filesWidth, controls_.PanelFiles->height());
    controls_.Splitter1->setSizes({std::max(0, window->width() - 9 - filesWidth), filesWidth});
    controls_.IconBox->SetIconSize(ValidGridIconSize(values.IconSize));
    controls_.IconBox->SetFoldDuplicates(values.FoldDuplicates != 0);
    state_.ScanIndex = values.ScanIndex != 0;
    // Below one megabyte the index would prune itself empty on every scan; the top bound keeps
    // a typing error from filling the disk.
    state_.ScanIndexMaxMB = std::clamp(values.ScanIndexMaxMB, 1, 4096);
    if (damaged)
        std::rethrow_exception(damaged);
}

void TSettings::LoadGridColorSetting() {
    SettingsReader store;
    SettingsValues values = Defaults();
    store.Read(SettingKeyNamed("iconboxcolor"), values);
    controls_.IconBox->SetColor(values.iconboxcolor);
}

void TSettings::SaveSettings() {
    const QList<int> sizes = controls_.Splitter1->sizes();
    const QRect bounds = normalBounds_();
    SettingsValues values;
    values.MaxCash = state_.MaxCash;
    values.MinCash = state_.MinCash;
    values.WinTop = bounds.top();
    values.WinLeft = bounds.left();
    values.WinHeight = bounds.height();
    values.WinWidth = bounds.width();
    values.SubFolders = state_.ScanSubfolders ? 1 : 0;
    values.iconboxcolor = controls_.IconBox->Color();
    values.browserwidth = sizes.size() > 1 ? sizes[1] : controls_.PanelFiles->width();
    values.LastDir = state_.CurrentDir;
    values.Mask = state_.ExtMask;
    values.Theme = state_.Theme;
    values.IconSize = controls_.IconBox->IconSize();
    values.FoldDuplicates = controls_.IconBox->FoldDuplicates() ? 1 : 0;
    values.ScanIndex = state_.ScanIndex ? 1 : 0;
    values.ScanIndexMaxMB = state_.ScanIndexMaxMB;

    QList<QPair<QString, QString>> texts;
    for (const SettingKey& key : SettingKeys())
        texts.append({QLatin1String(key.name),
                      key.integer ? QString::number(values.*key.integer) : values.*key.text});
    WriteSettingsFile(platform::SettingsFilePath(), texts);
}

} // namespace glyptor
