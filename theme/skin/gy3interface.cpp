// The skin of the window and the choice of skin: the built-in look, themes read from theme
// archives through Store1, the composition of the title and tool-strip pictures, the placement
// of the title buttons, and the theme submenu "Вид". The sixteen picture slots, the glyph
// pictures and the composed title and tool-strip bitmaps are kept in one skin record owned by
// the window; controls only ever hold copies.
#include "app/Umain.h"

#include "platform/core/FileSystem.h"
#include "platform/core/Paths.h"
#include "resources/skin/SkinResources.h"
#include "theme/gy3Store.h"
#include "theme/skin/SkinLayout.h"
#include "theme/skin/SkinPictures.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>
#include <QSplitter>
#include <QToolButton>

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

// The skin record of one window: a child object, so it lives and dies with the window.
class TSkinState final : public QObject {
public:
    explicit TSkinState(QObject* owner) : QObject(owner) {
        setObjectName(QStringLiteral("SkinState"));
    }
    // The sixteen slots; null between FreePictureSlots and the next CreatePictureSlots.
    std::unique_ptr<std::array<QImage, SlotCount>> slotPictures;
    // The pictures behind the button glyphs and the logo, so that a theme lacking one keeps it.
    std::array<QImage, GlyphCount> glyphs;
    // The composed pictures of Image7 and Image_tools; they keep their pixels between two
    // compositions, which matters when a theme has no tile.
    QImage title;
    QImage tools;
};

TSkinState* FindState(const TFMain& window) {
    for (QObject* child : window.children())
        if (auto* state = dynamic_cast<TSkinState*>(child))
            return state;
    return nullptr;
}

TSkinState& StateOf(TFMain& window) {
    if (TSkinState* state = FindState(window))
        return *state;
    return *new TSkinState(&window);
}

QString& ProgramFolderOverride() {
    static QString folder;
    return folder;
}

void SetBackground(QWidget* widget, QPalette::ColorRole role, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}

// The panels of the window in their order of creation: the plain frames, not the frames that
// are tree views, labels or the grid, and none of the windows the main window owns (the about
// window is its child too).
QList<QFrame*> Panels(TFMain& window) {
    QList<QFrame*> panels;
    for (QFrame* frame : window.findChildren<QFrame*>())
        if (frame->metaObject() == &QFrame::staticMetaObject && frame->window() == &window)
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
QString NativeOf(const QString& path) {
    if (auto native = platform::ToNativePath(path.toStdString()))
        return QString::fromStdString(*native);
    return path;
}

} // namespace

namespace skin {

bool HasPictureSlots(const TFMain& window) {
    const TSkinState* state = FindState(window);
    return state && state->slotPictures;
}

QImage PictureSlot(const TFMain& window, SlotIndex slot) {
    const TSkinState* state = FindState(window);
    if (!state || !state->slotPictures || slot < 0 || slot >= SlotCount)
        return QImage();
    return (*state->slotPictures)[slot];
}

void DrawTitleLabel(TFMain& window, SlotIndex slot) {
    TSkinState& state = StateOf(window);
    DrawOpaque(state.title, PictureSlot(window, slot), 0, 0);
    SetPicture(window.Image7, state.title);
}

} // namespace skin

QString TFMain::ProgramFolder() {
    const QString native = ProgramFolderOverride().isEmpty()
                               ? QCoreApplication::applicationDirPath()
                               : ProgramFolderOverride();
    if (auto program = platform::ToProgramPath(native.toStdString())) {
        QString folder = QString::fromStdString(*program);
        if (!folder.endsWith('\\'))
            folder += '\\';
        return folder;
    }
    return native + '/';
}

void TFMain::SetProgramFolder(const QString& nativeFolder) {
    ProgramFolderOverride() = nativeFolder;
}

void TFMain::InitSkin() {
    StateOf(*this);
    if (!Store1)
        Store1 = new Tgy3Store(this);
    // The skin owns these colours and fonts; style sheets would hide what it sets.
    FATView->setStyleSheet(QString());
    StatusLabel->setStyleSheet(QString());
    Splitter1->setStyleSheet(QString());
    // Pictures sit at the top-left corner of their controls, the logo in the middle.
    for (QLabel* image : {Image7, Image_opt, Image_scan, Image_tools, Image_exit, Image_resize,
                          Image_about, Image_www})
        image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image_tools->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    Image_about->move(Image_about->x(), 4);
    Image_www->move(Image_www->x(), 4);
    Image7->lower();
    connect(Defaulttheme, &QAction::triggered, this, &TFMain::DefaultthemeClick,
            Qt::UniqueConnection);
}

void TFMain::ApplyStartupTheme() {
    if (Theme == QLatin1String("default")) {
        ApplyDefaultTheme();
        return;
    }
    if (QFileInfo(NativeOf(Theme)).isFile())
        ApplyThemeFile();
    else
        ApplyDefaultTheme();
}

void TFMain::CreatePictureSlots() {
    StateOf(*this).slotPictures = std::make_unique<std::array<QImage, SlotCount>>();
}

void TFMain::FreePictureSlots() {
    StateOf(*this).slotPictures.reset();
}

void TFMain::LoadBuiltInPictures() {
    TSkinState& state = StateOf(*this);
    if (!state.slotPictures)
        CreatePictureSlots();
    for (int slot = 0; slot < SlotCount; ++slot)
        (*state.slotPictures)[slot] = resources::BuiltInSkinPicture(
            QLatin1String(SlotPicture(static_cast<SlotIndex>(slot)).resource));
    for (int glyph = 0; glyph < GlyphCount; ++glyph)
        state.glyphs[glyph] = resources::BuiltInSkinPicture(
            QLatin1String(GlyphPicture(static_cast<GlyphIndex>(glyph)).resource));
    SetGlyph(SpeedButton2, state.glyphs[TOOL1]);
    SetGlyph(SpeedButton3, state.glyphs[TOOL2]);
    SetGlyph(SpeedButton4, state.glyphs[TOOL3]);
    SetGlyph(SpeedButton5, state.glyphs[TOOL4]);
    SetGlyph(sb_max, state.glyphs[MAX]);
    SetGlyph(SB_Min, state.glyphs[MIN]);
    SetPicture(Image2, state.glyphs[LOGO]);
}

void TFMain::TilePicture(QImage& target, const QImage& tile) {
    skin::TilePicture(target, tile);
}

void TFMain::ComposeSkinPictures() {
    TSkinState& state = StateOf(*this);
    if (!state.slotPictures)
        CreatePictureSlots();
    const auto& slot = *state.slotPictures;
    SetPicture(Image_opt, slot[OPTIONS1]);
    SetPicture(Image_scan, slot[SCAN1]);
    SetPicture(Image_about, slot[ABOUT1]);
    SetPicture(Image_www, slot[WWW1]);
    SetPicture(Image_exit, slot[EXIT1]);
    SetPicture(Image_resize, slot[RESIZE1]);

    // The title picture fills its strip. The strip has no layout, since the title buttons
    // sit on it at places of their own, so the picture follows the strip here.
    Image7->setGeometry(0, 0, Panel_title->width(), Panel_title->height());
    ResizeBitmap(state.title, Image7->width(), Image7->height());
    TilePicture(state.title, slot[TILE1]);
    DrawOpaque(state.title, slot[TITLE1], 0, 0);
    SetPicture(Image7, state.title);

    ResizeBitmap(state.tools, Image_tools->width(), Image_tools->height());
    TilePicture(state.tools, slot[TILE2]);
    DrawOpaque(state.tools, slot[TOOLS1], 0, 0);
    SetPicture(Image_tools, state.tools);
}

void TFMain::ApplyDefaultTheme() {
    CreatePictureSlots();
    LoadBuiltInPictures();
    ComposeSkinPictures();
    for (QFrame* panel : Panels(*this)) {
        SetBackground(panel, QPalette::Window, Qt::black);
        panel->setFrameShape(QFrame::NoFrame);
        panel->setLineWidth(0);
    }
    SetBackground(FATView, QPalette::Base, Qt::black);
    IconBox->SetColor(0);
    IconBox->setFrameShape(QFrame::NoFrame);
    SetSplitterColor(Splitter1, ColorFromNumber(0x808080));
    SetBackground(Panel1, QPalette::Window, ColorFromNumber(0x404040));
    SetBackground(FATView, QPalette::Text, ColorFromNumber(0xC0C0C0));
    ShadeScrollBars(FATView);
    SetBackground(StatusLabel, QPalette::WindowText, ColorFromNumber(0xC0C0C0));
    SetTreeFont(FATView, QStringLiteral("ms sans serif"), 8);
    Panel_Right->setFixedWidth(8);
    Panel_bottom->setFixedHeight(8);
    Panel_top->setFixedHeight(24);
    Theme = QStringLiteral("default");
}

void TFMain::ApplyThemeFile() {
    CreatePictureSlots();
    if (!Store1)
        Store1 = new Tgy3Store(this);
    Store1->SetThemeFile(Theme.toStdString());

    // One holder serves all twelve reads, as a store without a layout leaves it untouched.
    TLayoutValue holder;
    auto read = [&](int index) -> const TLayoutValue& {
        ReadLayoutKey(*Store1, kLayoutKeys[static_cast<std::size_t>(index)], holder);
        return holder;
    };
    const QColor panelColor = ColorFromNumber(ValueAsInteger(read(0)));
    for (QFrame* panel : Panels(*this))
        SetBackground(panel, QPalette::Window, panelColor);
    SetBackground(FATView, QPalette::Base, ColorFromNumber(ValueAsInteger(read(1))));
    const QColor browserColor = FATView->palette().color(QPalette::Base);
    for (QFrame* panel : {Panel_scan, Panel_opt, PanelIconBox})
        SetBackground(panel, QPalette::Window, browserColor);
    IconBox->SetColor(FromQColor(ColorFromNumber(ValueAsInteger(read(2)))));
    SetSplitterColor(Splitter1, ColorFromNumber(ValueAsInteger(read(3))));
    SetBackground(Panel1, QPalette::Window, Splitter1->palette().color(QPalette::Window));
    SetBackground(StatusLabel, QPalette::WindowText, ColorFromNumber(ValueAsInteger(read(4))));
    SetBackground(FATView, QPalette::Text, ColorFromNumber(ValueAsInteger(read(5))));
    ShadeScrollBars(FATView);
    const QString fontFace = QString::fromStdString(ValueAsText(read(6)));
    SetTreeFont(FATView, fontFace, ValueAsInteger(read(7)));
    if (ValueIsOne(read(8))) {
        IconBox->setFrameShape(QFrame::Panel);
        IconBox->setFrameShadow(QFrame::Sunken);
        IconBox->setLineWidth(2);
    } else {
        IconBox->setFrameShape(QFrame::NoFrame);
    }
    Panel_Right->setFixedWidth(StripSize(ValueAsInteger(read(9))));
    Panel_bottom->setFixedHeight(StripSize(ValueAsInteger(read(10))));
    Panel_top->setFixedHeight(StripSize(ValueAsInteger(read(11))));

    TSkinState& state = StateOf(*this);
    QToolButton* const glyphButtons[] = {SpeedButton2, SpeedButton3, SpeedButton4,
                                         SpeedButton5, sb_max,       SB_Min};
    for (const PictureKey& picture : kPictureKeys) {
        QImage& target =
            picture.isSlot ? (*state.slotPictures)[picture.index] : state.glyphs[picture.index];
        const qint64 before = target.cacheKey();
        Store1->ReadPicture(picture.key, target);
        target = BoundedPicture(target);
        // A picture the archive lacks leaves its control as it was.
        if (picture.isSlot || target.cacheKey() == before)
            continue;
        if (picture.index == LOGO)
            SetPicture(Image2, target);
        else
            SetGlyph(glyphButtons[picture.index], target);
    }
    ComposeSkinPictures();
}

void TFMain::PlaceTitleButtons() {
    const int buttonsLeft = Panel_title->width() - 19;
    sb_max->move(buttonsLeft, sb_max->y());
    SB_Min->move(buttonsLeft, SB_Min->y());
    Image_about->move(Panel_top->width() - 65, Image_about->y());
    Image_www->move(Panel_top->width() - 37, Image_www->y());
}

void TFMain::RefreshThemeMenu() {
    while (Loadtheme1->actions().size() > 1)
        delete Loadtheme1->actions().at(1);
    const QString folder = ProgramFolder() + QStringLiteral("interface");
    for (const platform::FolderEntry& entry :
         platform::ListEntries(folder.toStdString(), "*.zip")) {
        const QString name = QString::fromStdString(entry.name);
        auto* item = new QAction(name.left(std::max<qsizetype>(0, name.size() - 4)), maskmenu);
        connect(item, &QAction::triggered, this, [this, item] { Open1Click(item); });
        Loadtheme1->addAction(item);
    }
}

void TFMain::Open1Click(QAction* sender) {
    Theme =
        ProgramFolder() + QStringLiteral("interface\\") + sender->text() + QStringLiteral(".zip");
    FreePictureSlots();
    ApplyThemeFile();
}

void TFMain::DefaultthemeClick() {
    FreePictureSlots();
    ApplyDefaultTheme();
}

} // namespace glyptor
