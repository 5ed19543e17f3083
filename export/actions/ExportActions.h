// The export actions controller: the actions on one found icon (save it as an icon file or a
// picture through the save dialog, copy it to the clipboard, make it the wallpaper), the four
// tool buttons that choose what a click on a grid icon does, and the full-quality export beside
// them: the properties window, the group .ico and PNG saves, dragging an icon out and saving
// many icons into a folder.
#pragma once

#include "platform/core/ProgramState.h"

#include "export/BatchSave.h"
#include "export/IconPayloads.h"

#include <QCursor>
#include <QObject>
#include <QPoint>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QFileDialog;
class QProgressDialog;
class QToolButton;
class QWidget;

namespace glyptor {

class TIconBox;
class TPictureCache;
class PropertiesWindow;

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
    // The full-quality export: the 32-bit entry at the end of "Сохранить значок как..." and the
    // entries after the icon menu's last separator.
    QAction* c32b = nullptr;
    QAction* IconProperties1 = nullptr;
    QAction* SaveGroup1 = nullptr;
    QAction* SavePng1 = nullptr;
    QAction* SaveFileIcons1 = nullptr;
    QAction* SaveAllIcons1 = nullptr;
    // Wears the skin's text colour, which the properties window takes over.
    QWidget* StatusLabel = nullptr;
};

// The depth LastIconDepthCode holds after a 32-bit save; not one of the icon writer's codes,
// which the 32-bit file does not go through.
inline constexpr std::uint8_t kAlphaIconDepthCode = 32;

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

    // Shows the properties window on the selected icon; it then follows the selection.
    void IconProperties1Click();
    void SaveGroup1Click();
    void SavePng1Click();
    void SaveFileIcons1Click();
    void SaveAllIcons1Click();
    void SaveGroupWithDialog(TIconRes& record);
    void SavePngWithDialog(TIconRes& record);
    // Asks for a folder and a kind, then saves the icons in slices behind a progress dialog
    // and ends with a summary. Does nothing while another batch runs.
    void SaveIconsWithDialog(std::vector<batchsave::Item> items);
    bool BatchRunning() const { return batch_ != nullptr; }

    bool eventFilter(QObject* watched, QEvent* event) override;

    QFileDialog* SPDlg = nullptr; // made by SaveDialog()
    int SaveDialogType = 1;       // the dialog's remembered file type, 1 to 6 (6: 32 bits)
    std::uint8_t LastIconDepthCode = 0;
    QFileDialog* GroupDlg = nullptr; // "*.ico", made by GroupDialog()
    QFileDialog* PngDlg = nullptr;   // "*.png", with the size box, made by PngDialog()
    QComboBox* PngSize = nullptr;
    QFileDialog* GroupDialog();
    QFileDialog* PngDialog();
    PropertiesWindow* Properties = nullptr; // made on first use
    QProgressDialog* BatchProgress = nullptr;

private:
    void FollowSelection();
    void StartDrag(TIconRes& record);
    void FinishBatch(const batchsave::Summary& summary);
    QFileDialog* SaveDialog();

    ProgramState& state_;
    QPointer<QWidget> gridViewport_; // the grid's viewport, watched for drags
    TPictureCache& pictures_;
    ExportControls controls_;
    IconAction plainClick_;
    payloads::DragFolder dragFolder_;
    QPoint pressedAt_;
    int pressedIndex_ = -1;
    std::unique_ptr<batchsave::BatchSave> batch_;
    QString batchFolder_;
    int batchKind_ = 0;
};

} // namespace glyptor
