// The settings controller: the twelve remembered values, read once while the window is created
// and written once when it closes. Each value is declared once, in one table of name and default
// that both the load and the save walk; the bounding rules (SettingsRules.h) apply on load.
#pragma once

#include "platform/core/ProgramState.h"

#include <QObject>
#include <QRect>

#include <functional>
#include <vector>

class QAction;
class QFrame;
class QSplitter;

namespace glyptor {

class TIconBox;

// The twelve values as they stand in the file's general section.
struct SettingsValues {
    int MaxCash = 0;
    int MinCash = 0;
    int WinTop = 0;
    int WinLeft = 0;
    int WinHeight = 0;
    int WinWidth = 0;
    int SubFolders = 0;
    int iconboxcolor = 0;
    int browserwidth = 0;
    QString LastDir;
    QString Mask;
    QString Theme;
    // Beside the twelve: the persistent scan index (absent in older files: the defaults).
    int ScanIndex = 0;
    int ScanIndexMaxMB = 0;
};

// One remembered value: its name in the file, its default, and where it lives in
// SettingsValues (an integer or a text field).
struct SettingKey {
    const char* name;
    const char* defaultText;
    int SettingsValues::*integer;
    QString SettingsValues::*text;
};

// The table, in the order the values are read.
const std::vector<SettingKey>& SettingKeys();

// The controls whose state is remembered.
struct SettingsControls {
    QWidget* Window = nullptr;
    QAction* subfolders1 = nullptr;
    TIconBox* IconBox = nullptr;
    QFrame* PanelFiles = nullptr;
    QSplitter* Splitter1 = nullptr;
};

class TSettings : public QObject {
    Q_OBJECT
public:
    // `normalBounds` gives the window's bounds in the normal state (what is saved).
    TSettings(ProgramState& state, SettingsControls controls, std::function<QRect()> normalBounds,
              QObject* parent = nullptr);

    // Reads the values in table order and applies them; a damaged value's error is thrown
    // after that, so that the program starts with what could be read.
    void LoadSettings();
    // Writes the values through WriteSettingsFile (a temporary file and a rename, so a failed
    // write never costs the user the settings they had).
    void SaveSettings();
    // Gives the grid the stored colour again, after a skin set its own.
    void LoadGridColorSetting();

private:
    ProgramState& state_;
    SettingsControls controls_;
    std::function<QRect()> normalBounds_;
};

} // namespace glyptor
