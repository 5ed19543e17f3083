// The skin of the window and the choice of skin: the built-in look, themes read from theme
// archives through Store1, the composition of the title and tool-strip pictures, the placement
// of the title buttons, and the theme submenu "Вид".
#include "theme/skin/Skin.h"

#include "browser/IconGrid.h"

#include "platform/core/FileSystem.h"
#include "platform/core/Paths.h"
#include "resources/skin/SkinResources.h"
#include "theme/gy3Store.h"
#include "theme/skin/SkinLayout.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <memory>

namespace glyptor {

using namespace skin;

namespace {

// Layout values are sizes in pixels and points; beyond these a hostile theme could make the
// window ask for a gigantic surface or rasterise enormous glyphs.
constexpr int kMaxStripSize = 1000;
constexpr int kMaxFontPoints = 96;

void SetBackground(QWidget* widget, QPalette::ColorRole role, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}

// The panels of the window in their order of creation: the plain frames, not the frames that
// are tree views, labels or the grid, and none of the windows the main window owns (the about
// window is its child too).
QList<QFrame*> Panels(QWidget* window) {
    QList<QFrame*> panels;
    for (QFrame* frame : window->findChildren<QFrame*>())
        if (frame->metaObject() == &QFrame::staticMetaObject && frame->window() == window)
            panels.append(frame);
    return panels;
}

// The splitter's colour is its own palette's and its handles fill with it. (A style sheet would
// do the painting too, but it takes over the palettes of every control inside the splitter.)
void SetSplitterColor(QSplitter* splitter, const QColor& color) {
    SetBackground(splitter, QPalette::Window, color);
    for (int i = 0; i < splitter->count(); ++i) {
        QSplitterHandle* handle = splitter->handle(i);
        handle->setAutoFillBackground(true);
        SetBackground(handle, QPalette::Window, color);
    }
}

// The tree's scroll bars and selection take their shades from the tree's own colours, so that
// a dark tree does not carry light scroll bars or a selection that cannot be seen.
void ShadeScrollBars(QWidget* tree) {
    QPalette palette = tree->palette();
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    auto mix = [&](double share) {
        return QColor::fromRgbF(base.redF() + (text.redF() - base.redF()) * share,
                                base.greenF() + (text.greenF() - base.greenF()) * share,
                                base.blueF() + (text.blueF() - base.blueF()) * share);
    };
    palette.setColor(QPalette::Window, base);
    palette.setColor(QPalette::Button, mix(0.22));
    palette.setColor(QPalette::Light, mix(0.45));
    palette.setColor(QPalette::Midlight, mix(0.32));
    palette.setColor(QPalette::Mid, mix(0.16));
    palette.setColor(QPalette::Dark, mix(0.10));
    palette.setColor(QPalette::Shadow, mix(0.05));
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    // The selected folder stands out in the tree's own hues, whatever they are.
    const QColor highlight = mix(0.35);
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText,
                     highlight.lightness() < 128 ? QColor(Qt::white) : QColor(Qt::black));
    tree->setPalette(palette);
}

void SetTreeFont(QWidget* tree, const QString& face, int points) {
    QFont font(face);
    // A size of 0 or less means the platform's usual size, as a font of no height does.
    font.setPointSize(points > 0                ? std::min(points, kMaxFontPoints)
                      : QFont().pointSize() > 0 ? QFont().pointSize()
                                                : 9);
    tree->setFont(font);
}

void SetGlyph(QToolButton* button, const QImage& glyph) {
    if (glyph.isNull()) {
        button->setIcon(QIcon());
        return;
    }
    button->setIcon(QIcon(QPixmap::fromImage(GlyphWithTransparency(glyph))));
    button->setIconSize(glyph.size());
}

void SetPicture(QLabel* image, const QImage& picture) {
    image->setPixmap(picture.isNull() ? QPixmap() : QPixmap::fromImage(picture));
}

int StripSize(int value) {
    return std::clamp(value, 0, kMaxStripSize);
}

// The native path of a program path, or the text itself when it is no program path.
QString NativeOf(const platform::DriveTable& drives, const QString& path) {
    if (auto native = platform::ToNativePath(drives, path.toStdString()))
        return QString::fromStdString(*native);
    return path;
}

} // namespace

TSkin::TSkin(ProgramState& state, SkinControls controls, QObject* parent)
    : QObject(parent), Store1(std::make_unique<Tgy3Store>()), state_(state), controls_(controls) {
    Store1->UseDrives(state_.Drives);
    setObjectName(QStringLiteral("Skin"));
    InitSkin();
}

TSkin::~TSkin() = default;

QImage TSkin::PictureSlot(SlotIndex slot) const {
    if (!slotPictures_ || slot < 0 || slot >= SlotCount)
        return QImage();
    return (*slotPictures_)[slot];
}

void TSkin::DrawTitleLabel(SlotIndex slot) {
    DrawOpaque(title_, PictureSlot(slot), 0, 0);
    SetPicture(controls_.Image7, title_);
}

QString TSkin::ProgramFolder() const {
    const QString native = state_.ProgramFolderOverride.isEmpty()
                               ? QCoreApplication::applicationDirPath()
                               : state_.ProgramFolderOverride;
    if (auto program = platform::ToProgramPath(state_.Drives, native.toStdString())) {
        QString folder = QString::fromStdString(*program);
        if (!folder.endsWith('\\'))
            folder += '\\';
        return folder;
    }
    return native + '/';
}

void TSkin::InitSkin() {
    // The skin owns these colours and fonts; style sheets would hide what it sets.
    controls_.FATView->setStyleSheet(QString());
    controls_.StatusLabel->setStyleSheet(QString());
    controls_.Splitter1->setStyleSheet(QString());
    // Pictures sit at the top-left corner of their controls, the logo in the middle.
    for (QLabel* image :
         {controls_.Image7, controls_.Image_opt, controls_.Image_scan, controls_.Image_tools,
          controls_.Image_exit, controls_.Image_resize, controls_.Image_about, controls_.Image_www})
        image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    controls_.Image_tools->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    controls_.Image_about->move(controls_.Image_about->x(), 4);
    controls_.Image_www->move(controls_.Image_www->x(), 4);
    controls_.Image7->lower();
    connect(controls_.Defaulttheme, &QAction::triggered, this, &TSkin::DefaultthemeClick);
}

void TSkin::ApplyStartupTheme() {
    if (state_.Theme == QLatin1String("default")) {
        ApplyDefaultTheme();
        return;
    }
    if (QFileInfo(NativeOf(state_.Drives, state_.Theme)).isFile())
        ApplyThemeFile();
    else
        ApplyDefaultTheme();
}

void TSkin::CreatePictureSlots() {
    slotPictures_ = std::make_unique<std::array<QImage, SlotCount>>();
}

void TSkin::FreePictureSlots() {
    slotPictures_.reset();
}

void TSkin::LoadBuiltInPictures() {
    if (!slotPictures_)
        CreatePictureSlots();
    for (int slot = 0; slot < SlotCount; ++slot)
        (*slotPictures_)[slot] = resources::BuiltInSkinPicture(
            QLatin1String(SlotPicture(static_cast<SlotIndex>(slot)).resource));
    for (int glyph = 0; glyph < GlyphCount; ++glyph)
        glyphs_[glyph] = resources::BuiltInSkinPicture(
            QLatin1String(GlyphPicture(static_cast<GlyphIndex>(glyph)).resource));
    SetGlyph(controls_.SpeedButton2, glyphs_[TOOL1]);
    SetGlyph(controls_.SpeedButton3, glyphs_[TOOL2]);
    SetGlyph(controls_.SpeedButton4, glyphs_[TOOL3]);
    SetGlyph(controls_.SpeedButton5, glyphs_[TOOL4]);
    SetGlyph(controls_.sb_max, glyphs_[MAX]);
    SetGlyph(controls_.SB_Min, glyphs_[MIN]);
    SetPicture(controls_.Image2, glyphs_[LOGO]);
}

void TSkin::ComposeSkinPictures() {
    if (!slotPictures_)
        CreatePictureSlots();
    const auto& slot = *slotPictures_;
    SetPicture(controls_.Image_opt, slot[OPTIONS1]);
    SetPicture(controls_.Image_scan, slot[SCAN1]);
    SetPicture(controls_.Image_about, slot[ABOUT1]);
    SetPicture(controls_.Image_www, slot[WWW1]);
    SetPicture(controls_.Image_exit, slot[EXIT1]);
    SetPicture(controls_.Image_resize, slot[RESIZE1]);

    // The title picture fills its strip. The strip has no layout, since the title buttons
    // sit on it at places of their own, so the picture follows the strip here.
    controls_.Image7->setGeometry(0, 0, controls_.Panel_title->width(),
                                  controls_.Panel_title->height());
    ResizeBitmap(title_, controls_.Image7->width(), controls_.Image7->height());
    skin::TilePicture(title_, slot[TILE1]);
    DrawOpaque(title_, slot[TITLE1], 0, 0);
    SetPicture(controls_.Image7, title_);

    ResizeBitmap(tools_, controls_.Image_tools->width(), controls_.Image_tools->height());
    skin::TilePicture(tools_, slot[TILE2]);
    DrawOpaque(tools_, slot[TOOLS1], 0, 0);
    SetPicture(controls_.Image_tools, tools_);
}

void TSkin::ApplyDefaultTheme() {
    CreatePictureSlots();
    LoadBuiltInPictures();
    ComposeSkinPictures();
    for (QFrame* panel : Panels(controls_.Window)) {
        SetBackground(panel, QPalette::Window, Qt::black);
        panel->setFrameShape(QFrame::NoFrame);
        panel->setLineWidth(0);
    }
    SetBackground(controls_.FATView, QPalette::Base, Qt::black);
    controls_.IconBox->SetColor(0);
    controls_.IconBox->setFrameShape(QFrame::NoFrame);
    SetSplitterColor(controls_.Splitter1, ColorFromNumber(0x808080));
    SetBackground(controls_.Panel1, QPalette::Window, ColorFromNumber(0x404040));
    SetBackground(controls_.FATView, QPalette::Text, ColorFromNumber(0xC0C0C0));
    ShadeScrollBars(controls_.FATView);
    SetBackground(controls_.StatusLabel, QPalette::WindowText, ColorFromNumber(0xC0C0C0));
    SetTreeFont(controls_.FATView, QStringLiteral("ms sans serif"), 8);
    controls_.Panel_Right->setFixedWidth(8);
    controls_.Panel_bottom->setFixedHeight(8);
    controls_.Panel_top->setFixedHeight(24);
    state_.Theme = QStringLiteral("default");
}

void TSkin::ApplyThemeFile() {
    CreatePictureSlots();
    Store1->SetThemeFile(state_.Theme.toStdString());

    // One holder serves all twelve reads, as a store without a layout leaves it untouched.
    TLayoutValue holder;
    auto read = [&](int index) -> const TLayoutValue& {
        ReadLayoutKey(*Store1, kLayoutKeys[static_cast<std::size_t>(index)], holder);
        return holder;
    };
    const QColor panelColor = ColorFromNumber(ValueAsInteger(read(0)));
    for (QFrame* panel : Panels(controls_.Window))
        SetBackground(panel, QPalette::Window, panelColor);
    SetBackground(controls_.FATView, QPalette::Base, ColorFromNumber(ValueAsInteger(read(1))));
    const QColor browserColor = controls_.FATView->palette().color(QPalette::Base);
    for (QFrame* panel : {controls_.Panel_scan, controls_.Panel_opt, controls_.PanelIconBox})
        SetBackground(panel, QPalette::Window, browserColor);
    controls_.IconBox->SetColor(FromQColor(ColorFromNumber(ValueAsInteger(read(2)))));
    SetSplitterColor(controls_.Splitter1, ColorFromNumber(ValueAsInteger(read(3))));
    SetBackground(controls_.Panel1, QPalette::Window,
                  controls_.Splitter1->palette().color(QPalette::Window));
    SetBackground(controls_.StatusLabel, QPalette::WindowText,
                  ColorFromNumber(ValueAsInteger(read(4))));
    SetBackground(controls_.FATView, QPalette::Text, ColorFromNumber(ValueAsInteger(read(5))));
    ShadeScrollBars(controls_.FATView);
    const QString fontFace = QString::fromStdString(ValueAsText(read(6)));
    SetTreeFont(controls_.FATView, fontFace, ValueAsInteger(read(7)));
    if (ValueIsOne(read(8))) {
        controls_.IconBox->setFrameShape(QFrame::Panel);
        controls_.IconBox->setFrameShadow(QFrame::Sunken);
        controls_.IconBox->setLineWidth(2);
    } else {
        controls_.IconBox->setFrameShape(QFrame::NoFrame);
    }
    controls_.Panel_Right->setFixedWidth(StripSize(ValueAsInteger(read(9))));
    controls_.Panel_bottom->setFixedHeight(StripSize(ValueAsInteger(read(10))));
    controls_.Panel_top->setFixedHeight(StripSize(ValueAsInteger(read(11))));

    QToolButton* const glyphButtons[] = {controls_.SpeedButton2, controls_.SpeedButton3,
                                         controls_.SpeedButton4, controls_.SpeedButton5,
                                         controls_.sb_max,       controls_.SB_Min};
    for (const PictureKey& picture : kPictureKeys) {
        QImage& target = picture.isSlot ? (*slotPictures_)[picture.index] : glyphs_[picture.index];
        const qint64 before = target.cacheKey();
        Store1->ReadPicture(picture.key, target);
        target = BoundedPicture(target);
        // A picture the archive lacks leaves its control as it was.
        if (picture.isSlot || target.cacheKey() == before)
            continue;
        if (picture.index == LOGO)
            SetPicture(controls_.Image2, target);
        else
            SetGlyph(glyphButtons[picture.index], target);
    }
    ComposeSkinPictures();
}

void TSkin::PlaceTitleButtons() {
    const int buttonsLeft = controls_.Panel_title->width() - 19;
    controls_.sb_max->move(buttonsLeft, controls_.sb_max->y());
    controls_.SB_Min->move(buttonsLeft, controls_.SB_Min->y());
    controls_.Image_about->move(controls_.Panel_top->width() - 65, controls_.Image_about->y());
    controls_.Image_www->move(controls_.Panel_top->width() - 37, controls_.Image_www->y());
}

void TSkin::RefreshThemeMenu() {
    while (controls_.Loadtheme1->actions().size() > 1)
        delete controls_.Loadtheme1->actions().at(1);
    const QString folder = ProgramFolder() + QStringLiteral("interface");
    for (const platform::FolderEntry& entry :
         platform::ListEntries(state_.Drives, folder.toStdString(), "*.zip")) {
        const QString name = QString::fromStdString(entry.name);
        auto* item =
            new QAction(name.left(std::max<qsizetype>(0, name.size() - 4)), controls_.maskmenu);
        connect(item, &QAction::triggered, this, [this, item] { Open1Click(item); });
        controls_.Loadtheme1->addAction(item);
    }
}

void TSkin::Open1Click(QAction* sender) {
    state_.Theme =
        ProgramFolder() + QStringLiteral("interface\\") + sender->text() + QStringLiteral(".zip");
    FreePictureSlots();
    ApplyThemeFile();
}

void TSkin::DefaultthemeClick() {
    FreePictureSlots();
    ApplyDefaultTheme();
}

} // namespace glyptor
