// The main window TFMain: the frameless window with its control tree, its run-time state, and
// the window events that tie the subsystems together. The handlers of each subsystem are defined
// in that subsystem's files (the folder tree and the scanner in browser/, and so on); this header
// is the one place that declares them all.
#pragma once

#include "browser/IconGrid.h"
#include "browser/IconRes.h"

#include <QCursor>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMap>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>

class QMenu;
class QAction;
class QSplitter;
class QToolButton;
class QColorDialog;
class QFileDialog;
class QUrl;

namespace glyptor {

// --- Program-wide state, one instance for the whole program -------------------------------

extern std::uint32_t PumpInterval;
extern std::uint32_t LastPumpTick;
extern int MaxCash;
extern int MinCash;
extern QString ExtMask;
extern bool ScanSubfolders;
extern bool ShallowScan;
extern QString CurrentDir;
extern QString StartDir;
// The millisecond tick the pump reads; tests replace it to control time.
extern std::function<std::uint32_t()> TickSource;

using IconAction = std::function<void(TIconRes&)>;
extern IconAction IconClickAction;

// The cursors under their fixed numbers (100 save, 101 copy, 102 centre, 103 tile).
QCursor ProgramCursor(int number);

// Upper-cases a path for comparison (system locale rules).
QString UpperPath(const QString& path);

// One logical drive of the folder tree.
struct DriveRecord {
    int type = 0; // platform drive type code
    QString root; // "C:\"
};

// The sorted, case-insensitive key set of files whose icons are in the grid.
class ScannedFileList {
public:
    // False when the key is present already.
    bool Add(const QString& key);
    bool Contains(const QString& key) const;
    int Count() const { return static_cast<int>(keys_.size()); }
    void Clear() { keys_.clear(); }

private:
    std::set<QString> keys_; // upper-cased keys
};

// A tree node whose children sort by text without regard to case, like the system tree.
class FolderNode : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override;
};

// Path of a node: the texts from its top node down, joined by "\".
QString NodePath(const QTreeWidgetItem* node);

class TFMain : public QWidget {
    Q_OBJECT
public:
    explicit TFMain(QWidget* parent = nullptr); // FormCreate
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
    QTimer* Timer1 = nullptr;
    QList<QIcon> FATImgList; // the tree's nine 16 x 16 pictures

    // --- Window state -----------------------------------------------------------------------
    QList<DriveRecord> DriveList;
    ScannedFileList ScannedFiles;
    bool StopRequested = false;
    bool Scanning = false;
    int IconTotal = 0;
    int FirstNewIndex = 0;
    QTreeWidgetItem* LastScannedNode = nullptr;
    QString Theme = QStringLiteral("default");
    std::uint8_t LastIconDepthCode = 0;

    // --- Window events ----------------------------------------------------------------------
    void FormShow();
    void FormActivate();
    void FormClose();
    // Returns true when the key was consumed.
    bool FormKeyPress(QChar key);
    void DropNames(const QStringList& programPaths);
    void PumpMessages();
    void SBExitClick();
    // Shows a text in the status line, shortened in the middle to the room left of the about
    // picture; the whole text is then the strip's tooltip.
    void ShowStatus(const QString& text);
    // F5: lists the selected folder's subfolders again, adding those made since (nodes already
    // there stay, since grid records may refer to them).
    void RefreshSubfolders(QTreeWidgetItem* node);

    // --- Settings ---------------------------------------------------------------------------
    void LoadSettings();
    void SaveSettings();
    // Gives the grid the stored colour again, after a skin set its own.
    void LoadGridColorSetting();

    // --- Folder tree ------------------------------------------------------------------------
    void BuildDriveTree();
    void ListSubfolders(QTreeWidgetItem* node);
    QTreeWidgetItem* FindNodeByPath(const QString& path);
    void FATViewChange(QTreeWidgetItem* node);
    void FATViewExpanding(QTreeWidgetItem* node);
    void FATViewExpanded(QTreeWidgetItem* node);
    void FATViewClick();
    bool FATViewKeyPress(QChar key);
    // Node and state images (state 0 = none).
    void SetNodeImage(QTreeWidgetItem* node, int image, int selectedImage);
    void SetStateImage(QTreeWidgetItem* node, int state);
    int StateImage(const QTreeWidgetItem* node) const;
    quint64 NodeId(const QTreeWidgetItem* node) const;
    void SelectNode(QTreeWidgetItem* node);

    // --- Scanner ----------------------------------------------------------------------------
    void TBScanClick();
    void TBClearClick();
    void ScanFolder(QTreeWidgetItem* node);
    void ScanFile(QTreeWidgetItem* node, const QString& path);
    // ScanFile with the file's native path already known.
    void ScanNativeFile(QTreeWidgetItem* node, const QString& path, const std::string& native);
    void Image_scanClick();
    void im1Click();
    void imTypeClick(QAction* item);
    void maskset();
    void maskmenuPopup();
    void subfolders1Click();

    // --- Grid -------------------------------------------------------------------------------
    int PageSize() const;
    void PanelIconBoxResize();
    void IconBoxDrawItem(QPainter& painter, int index, const QRect& rect, bool selected);
    void PrefetchIcons();
    void IconClick();
    void IconActionMenuPopup();
    void Backc1Click();
    void ShowInStatus(TIconRes& record);

    // --- Export actions (defined in export/actions/) -----------------------------------------
    // Only the export code edits this block.
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
    QFileDialog* SPDlg = nullptr;
    int SaveDialogType = 1; // the dialog's remembered file type, 1 to 5
    // Creates the save dialog and wires the icon menu's export entries and the tool buttons;
    // called once, at the end of construction.
    void ConnectExportActions();
    // The record of the grid's selected cell, or none.
    TIconRes* SelectedRecord();
    // --- End of export actions -----------------------------------------------------------------

    // --- Skin and theme selection (defined in theme/skin/) ---------------------------------------
    // Only the skin code edits this block.
    // Connects the theme submenu; runs once while the window is created.
    void InitSkin();
    // The start-up choice: the built-in skin for exactly "default", else the archive the Theme
    // setting names when it is a file, else the built-in skin (which resets the setting).
    void ApplyStartupTheme();
    // The built-in skin; sets Theme to "default".
    void ApplyDefaultTheme();
    // The theme archive Theme names, read through Store1. A failure stops it at that step.
    void ApplyThemeFile();
    void CreatePictureSlots();
    void FreePictureSlots();
    void LoadBuiltInPictures();
    // Gives the skinned images their pictures and builds the title and tool-strip pictures.
    void ComposeSkinPictures();
    static void TilePicture(QImage& target, const QImage& tile);
    void PlaceTitleButtons();
    // Rebuilds the theme items of "Вид" from the archives in the theme folder.
    void RefreshThemeMenu();
    void Open1Click(QAction* sender);
    void DefaultthemeClick();
    // The program's own folder as a program path, ending in "\"; themes live in its
    // "interface" folder. Tests may point it elsewhere with a native folder.
    static QString ProgramFolder();
    static void SetProgramFolder(const QString& nativeFolder);
    class Tgy3Store* Store1 = nullptr; // owned by the window, created with it
    // --- End of skin ---------------------------------------------------------------------------

    // --- Window chrome (defined in app/Chrome.cpp) -------------------------------------------
    // Only the chrome code edits this block.
    // The application-wide hook: sees every event before it is delivered; never consumes it.
    void AppMessage(QObject* target, QEvent* event);
    void sb_maxClick();
    void SB_MinClick();
    void Image7Click();
    void Image_wwwClick();
    void Image_optMouseDown();
    void Image7MouseMove();
    void Image_optMouseMove();
    void Image_scanMouseMove();
    void Image_aboutMouseMove();
    void Image_wwwMouseMove();
    void Image_exitMouseMove();
    void FATViewMouseMove();
    void FormResize();
    void Splitter1Moved();
    void FormKeyDown(int key);
    // Maximised into the work area by sb_maxClick (the window draws its own frame, so the state
    // is kept here rather than left to a window manager that may not exist).
    bool Maximized() const { return maximized_; }
    // The window's bounds in the normal state, also while it is maximised: what is saved.
    QRect NormalBounds() const;
    // The drag anchor: the screen point of the last left-button press, moved with each step.
    QPoint DragAnchor;
    // The help page and the home page the web picture opens.
    static QUrl HelpPage();
    static QUrl HomePage();
    // --- End of window chrome ------------------------------------------------------------------

    bool Closing() const { return closing_; }
    // Opens a page with the desktop's handler; when that fails, says so naming the page.
    void OpenPage(const QUrl& page);

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
    QFrame* NewPanel(QWidget* parent, const char* name);

    bool shown_ = false;
    bool closing_ = false;
    bool quietExpand_ = false;
    bool maximized_ = false;
    QRect normalBounds_;
    // Each pointer event is seen once, at the control it was first sent to: Qt passes a copy
    // of an ignored event on to the parent, which the hook must not count twice.
    quint64 lastEventTime_ = 0;
    QEvent::Type lastEventType_ = QEvent::None;
    QPointF lastEventPoint_;
    void ShowHover(QLabel* control, int slot, bool hover);
    void ChromePointer(QObject* target, QEvent* event);
    quint64 nextNodeId_ = 1;
    QString statusText_;
    QMap<QTreeWidgetItem*, int> pendingState_;
};

} // namespace glyptor
