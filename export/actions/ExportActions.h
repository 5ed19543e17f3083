// The export actions controller: the actions on one found icon (save it as an icon file or a
// picture through the save dialog, copy it to the clipboard, make it the wallpaper) and the four
// tool buttons that choose what a click on a grid icon does.
#pragma once

#include "platform/core/ProgramState.h"

#include <QCursor>
#include <QObject>

#include <cstdint>

class QAction;
class QFileDialog;
class QToolButton;
class QWidget;

namespace glyptor {

class TIconBox;
class TPictureCache;

// The cursors under their fixed numbers (100 save, 101 copy, 102 centre, 103 tile).
QCursor ProgramCursor(int number);

// The controls the export actions drive: the grid, the icon menu's entries, the tool buttons.
struct ExportControls {
    QWidget* Owner = nullptr; // the window: owns the save dialog and the message boxes
    TIconBox* IconBox = nullptr;
    QAction* c4b = nullptr;
    QAction* c8b = nullptr;
    QAction* c16b = nullptr;
    QAction* c24b = nullptr;
    QAction* cbmp = nullptr;
    QAction* Copytoclipboard1 = nullptr;
    QAction* Wallpapercenter = nullptr;
    QAction* Wallpapertiled = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QToolButton* SpeedButton5 = nullptr;
};

class TExportActions : public QObject {
    Q_OBJECT
public:
    // Creates the save dialog and wires the icon menu's export entries and the tool buttons.
    // `plainClick` is the click action while no tool button is down.
    TExportActions(ProgramState& state, TPictureCache& pictures, ExportControls controls,
                   IconAction plainClick, QObject* parent = nullptr);

    void SaveClick(QAction* item);
    void Copytoclipboard1Click();
    void WallpapercenterClick();
    void WallpapertiledClick();
    void SpeedButton2Click(QToolButton* button);
    void SaveWithDialog(TIconRes& record);
    void CopyToClipboard(TIconRes& record);
    void SetWallpaper(TIconRes& record, const QString& mode);
    void SetWallpaperTiled(TIconRes& record);
    void SetWallpaperCentered(TIconRes& record);
    // The record of the grid's selected cell, or none.
    TIconRes* SelectedRecord();

    QFileDialog* SPDlg = nullptr; // made by SaveDialog()
    int SaveDialogType = 1;       // the dialog's remembered file type, 1 to 5
    std::uint8_t LastIconDepthCode = 0;

private:
    QFileDialog* SaveDialog();

    ProgramState& state_;
    TPictureCache& pictures_;
    ExportControls controls_;
    IconAction plainClick_;
};

} // namespace glyptor
