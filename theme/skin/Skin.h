// The skin controller: the built-in look, themes read from theme archives through its store
// Store1, the composition of the title and tool-strip pictures, the placement of the title
// buttons, and the theme submenu "Вид". The sixteen picture slots, the glyph pictures and the
// composed title and tool-strip bitmaps are its own members; controls only ever hold copies.
#pragma once

#include "platform/core/ProgramState.h"
#include "theme/skin/SkinLayout.h"

#include <QImage>
#include <QObject>

#include <array>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QSplitter;
class QToolButton;
class QTreeWidget;

namespace glyptor {

class TIconBox;
class Tgy3Store;

// The controls the skin paints.
struct SkinControls {
    QWidget* Window = nullptr; // its plain frames are the panels the theme colours
    QFrame* Panel_Right = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* Panel_title = nullptr;
    QFrame* Panel_opt = nullptr;
    QFrame* Panel_scan = nullptr;
    QFrame* Panel_top = nullptr;
    QFrame* Panel_bottom = nullptr;
    QFrame* PanelIconBox = nullptr;
    QSplitter* Splitter1 = nullptr;
    QTreeWidget* FATView = nullptr;
    TIconBox* IconBox = nullptr;
    QLabel* StatusLabel = nullptr;
    QLabel* Image7 = nullptr;
    QLabel* Image_opt = nullptr;
    QLabel* Image_scan = nullptr;
    QLabel* Image_tools = nullptr;
    QLabel* Image_exit = nullptr;
    QLabel* Image_resize = nullptr;
    QLabel* Image_about = nullptr;
    QLabel* Image_www = nullptr;
    QLabel* Image2 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QToolButton* SpeedButton5 = nullptr;
    QToolButton* sb_max = nullptr;
    QToolButton* SB_Min = nullptr;
    QMenu* maskmenu = nullptr;
    QMenu* Loadtheme1 = nullptr;
    QAction* Defaulttheme = nullptr;
};

class TSkin : public QObject {
    Q_OBJECT
public:
    // Takes over the controls' colours and fonts and connects the theme submenu.
    TSkin(ProgramState& state, SkinControls controls, QObject* parent = nullptr);
    ~TSkin() override;

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
    void PlaceTitleButtons();
    // Rebuilds the theme items of "Вид" from the archives in the theme folder.
    void RefreshThemeMenu();
    void Open1Click(QAction* sender);
    void DefaultthemeClick();

    // Whether picture slots exist (between CreatePictureSlots and FreePictureSlots).
    bool HasPictureSlots() const { return slotPictures_ != nullptr; }
    // The picture of a slot: a null image when the slot is empty or no slots exist.
    QImage PictureSlot(skin::SlotIndex slot) const;
    // Draws a slot picture at (0, 0) over the composed title picture and shows the result; the
    // tiles around it stay. This is how TITLE1 and TITLE2 take turns.
    void DrawTitleLabel(skin::SlotIndex slot);

    // The program's own folder as a program path, ending in "\"; themes live in its
    // "interface" folder. ProgramFolderOverride (a native folder) replaces it.
    QString ProgramFolder() const;

    std::unique_ptr<Tgy3Store> Store1;

private:
    void InitSkin();

    ProgramState& state_;
    SkinControls controls_;
    // The sixteen slots; null between FreePictureSlots and the next CreatePictureSlots.
    std::unique_ptr<std::array<QImage, skin::SlotCount>> slotPictures_;
    // The pictures behind the button glyphs and the logo, so that a theme lacking one keeps it.
    std::array<QImage, skin::GlyphCount> glyphs_;
    // The composed pictures of Image7 and Image_tools; they keep their pixels between two
    // compositions, which matters when a theme has no tile.
    QImage title_;
    QImage tools_;
};

} // namespace glyptor
