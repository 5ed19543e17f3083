// The main window TFMain: the frameless window with its named controls. It builds one
// controller per subsystem (folder tree, scanner, picture cache, export actions, skin, chrome,
// settings), hands each the controls it drives and the program-wide state, and routes the
// window's events to them. Handler names used by menus and tests stay here as forwarders.
#pragma once

#include "app/Chrome.h"
#include "app/Settings.h"
#include "browser/FolderTree.h"
#include "browser/IconGrid.h"
#include "browser/IconRes.h"
#include "browser/PictureCache.h"
#include "browser/Scanner.h"
#include "export/actions/ExportActions.h"
#include "platform/core/ProgramState.h"
#include "theme/skin/Skin.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>

class QMenu;
class QAction;
class QSplitter;
class QToolButton;
class QUrl;

namespace glyptor {

class TFMain : public QWidget {
    Q_OBJECT
public:
    explicit TFMain(QWidget* parent = nullptr); // FormCreate
    // Starts from `state` instead of the defaults (the help file name, a test's recorders).
    explicit TFMain(ProgramState state, QWidget* parent = nullptr);
    ~TFMain() override;

    // --- Controls (object names as the window's design has them) ---------------------------
    QFrame* Panel_Right = nullptr;
    QFrame* PanelMain = nullptr;
    QSplitter* Splitter1 = nullptr;
    QFrame* PanelFiles = nullptr;
    QFrame* Panel_title = nullptr;
    QLabel* Image7 = nullptr;
    QToolButton* sb_max = nullptr;
    QToolButton* SB_Min = nullptr;
    QFrame* Panel_opt = nullptr;
    QLabel* Image_opt = nullptr;
    QTreeWidget* FATView = nullptr;
    QFrame* Panel_tools = nullptr;
    QFrame* Panel_scan = nullptr;
    QLabel* Image_scan = nullptr;
    QLabel* Image_tools = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QToolButton* SpeedButton5 = nullptr;
    QFrame* Panel_exit = nullptr;
    QLabel* Image_exit = nullptr;
    QFrame* Panelresize = nullptr;
    QLabel* Image_resize = nullptr;
    QFrame* PanelIconBox = nullptr;
    QFrame* Panel_top = nullptr;
    QLabel* StatusLabel = nullptr;
    QLabel* Image_about = nullptr;
    QLabel* Image_www = nullptr;
    QLabel* Image2 = nullptr;
    TIconBox* IconBox = nullptr;
    QFrame* Panel_bottom = nullptr;
    QFrame* Panel1 = nullptr;

    QMenu* maskmenu = nullptr;
    QMenu* Loadtheme1 = nullptr;
    QAction* Defaulttheme = nullptr;
    QAction* im1 = nullptr;
    QAction* im2 = nullptr;
    QAction* im3 = nullptr;
    QAction* im4 = nullptr;
    QAction* im5 = nullptr;
    QAction* im6 = nullptr;
    QAction* subfolders1 = nullptr;
    QMenu* IconSizeMenu = nullptr; // "Размер значков": one check per grid icon size
    QAction* FoldDuplicatesItem = nullptr; // "Скрывать повторы"

    QMenu* IconActionMenu = nullptr;
    QMenu* Save = nullptr;
    QAction* c4b = nullptr;
    QAction* c8b = nullptr;
    QAction* c16b = nullptr;
    QAction* c24b = nullptr;
    QAction* cbmp = nullptr;
    QAction* Copytoclipboard1 = nullptr;
    QAction* Wallpapercenter = nullptr;
    QAction* Wallpapertiled = nullptr;
    QAction* Backc1 = nullptr;
    QAction* c32b = nullptr;
    QAction* N5 = nullptr; // the separator before the full-quality export entries
    QAction* IconProperties1 = nullptr;
    QAction* SaveGroup1 = nullptr;
    QAction* SavePng1 = nullptr;
    QAction* SaveFileIcons1 = nullptr;
    QAction* SaveAllIcons1 = nullptr;
    QTimer* Timer1 = nullptr;
    QList<QIcon> FATImgList; // the tree's nine 16 x 16 pictures

    // --- Program-wide state and the subsystems' controllers -----------------------------------
    ProgramState State;
    TPictureCache* PictureCache = nullptr;
    TFolderTree* FolderTree = nullptr;
    TScanner* Scanner = nullptr;
    TExportActions* ExportActions = nullptr;
    TSkin* Skin = nullptr;
    TChrome* Chrome = nullptr;
    TSettings* Settings = nullptr;

    // --- Window events ----------------------------------------------------------------------
    void FormShow();
    void FormClose();
    // Returns true when the key was consumed.
    bool FormKeyPress(QChar key);
    void DropNames(const QStringList& programPaths);
    void PumpMessages() { glyptor::PumpMessages(State); }
    void SBExitClick();
    // Shows a text in the status line, shortened in the middle to the room left of the about
    // picture; the whole text is then the strip's tooltip.
    void ShowStatus(const QString& text);
    // Fits the status label to the latest text.
    void UpdateStatusLabel();
    bool Closing() const { return State.Closing; }

    // --- Grid ---------------------------------------------------------------------------------
    int PageSize() const { return PictureCache->PageSize(); }
    void PanelIconBoxResize();
    void IconBoxDrawItem(QPainter& painter, int index, const QRect& rect, bool selected);
    void PrefetchIcons() { PictureCache->PrefetchIcons(); }
    void IconClick();
    void IconActionMenuPopup();
    void Backc1Click();
    void ShowInStatus(TIconRes& record);

    // --- Forwarders to the controllers ----------------------------------------------------------
    void SaveSettings() { Settings->SaveSettings(); }
    void ListSubfolders(QTreeWidgetItem* node) { FolderTree->ListSubfolders(node); }
    QTreeWidgetItem* FindNodeByPath(const QString& path) {
        return FolderTree->FindNodeByPath(path);
    }
    void FATViewClick() { FolderTree->FATViewClick(); }
    bool FATViewKeyPress(QChar key) { return FolderTree->FATViewKeyPress(key); }
    int StateImage(const QTreeWidgetItem* node) const { return FolderTree->StateImage(node); }
    void TBScanClick() { Scanner->TBScanClick(); }
    void TBClearClick() { Scanner->TBClearClick(); }
    void Image_scanClick() { Scanner->Image_scanClick(); }
    void imTypeClick(QAction* item) { Scanner->imTypeClick(item); }
    // The options menu's popup: the type entries' checks, then the theme entries.
    void maskmenuPopup();
    void SaveWithDialog(TIconRes& record) { ExportActions->SaveWithDialog(record); }
    void Copytoclipboard1Click() { ExportActions->Copytoclipboard1Click(); }
    void WallpapercenterClick() { ExportActions->WallpapercenterClick(); }
    void ApplyThemeFile() { Skin->ApplyThemeFile(); }
    void CreatePictureSlots() { Skin->CreatePictureSlots(); }
    void FreePictureSlots() { Skin->FreePictureSlots(); }
    void PlaceTitleButtons() { Skin->PlaceTitleButtons(); }
    void RefreshThemeMenu() { Skin->RefreshThemeMenu(); }
    void Open1Click(QAction* sender) { Skin->Open1Click(sender); }
    void sb_maxClick() { Chrome->sb_maxClick(); }
    bool Maximized() const { return Chrome->Maximized(); }
    void Image7Click() { Chrome->Image7Click(); }
    void Image_wwwClick() { Chrome->Image_wwwClick(); }
    void Image7MouseMove() { Chrome->Image7MouseMove(); }
    void Image_optMouseMove() { Chrome->Image_optMouseMove(); }
    void Image_aboutMouseMove() { Chrome->Image_aboutMouseMove(); }
    void FormKeyDown(int key) { Chrome->FormKeyDown(key); }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    void CreateControllers();
    QFrame* NewPanel(QWidget* parent, const char* name);

    bool shown_ = false;
    QString statusText_;
    bool statusQueued_ = false; // the label waits for UpdateStatusLabel
};

} // namespace glyptor
