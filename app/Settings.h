// The settings controller: the remembered values, read once while the window is created
// and written once when it closes. Each value is declared once, in one table of name, default
// and bound (SettingsRules.h) that both the load and the save walk; the bounds apply on load.
#pragma once

#include "app/SettingsRules.h"
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
